#pragma once

#include <initializer_list>
#include <string>
#include <vector>

/// Whether a list entry selects a face: it equals one of the face numbers 1..faceCount exactly.
bool selectsFace(double entry, int faceCount);

/// The face numbers that the entries of `lists` can select, each once and in increasing order:
/// the entries that are whole numbers from 1 up. Looking faces up in this, rather than scanning
/// the lists for every face, keeps a long list on a large model from costing billions of
/// comparisons.
std::vector<int> listedFaceNumbers(std::initializer_list<const std::vector<double>*> lists);

/// One message for each entry of `list` (the force or restraint list, as `listName` says) that
/// selects none of the faces numbered 1 to `faceCount`, in list order: the first 20 named, the
/// rest counted in one more message. `model` names the model the faces are of.
std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount,
                                                   const char* model = "the model");
