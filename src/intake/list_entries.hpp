#pragma once

#include <string>
#include <vector>

/// Whether a list entry selects a face: it equals one of the face numbers 1..faceCount exactly.
bool selectsFace(double entry, int faceCount);

/// One message for each entry of `list` (the force or restraint list, as `listName` says) that
/// selects none of the faces numbered 1 to `faceCount`, in list order: the first 20 named, the
/// rest counted in one more message.
std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount);
