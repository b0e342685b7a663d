#pragma once

#include <string>
#include <vector>

/// One message for each entry of `list` (the force or restraint list, as `listName` says) that
/// selects none of the faces numbered 1 to `faceCount`, in list order.
std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount);
