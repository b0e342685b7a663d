#pragma once

#include <vector>

/// Which of a dataset's lists name a face.
enum class FaceList { none, force, restraint, both };

/// Which of the lists name `faceNumber`, given each list's face numbers, sorted.
FaceList findInLists(int faceNumber, const std::vector<int>& force,
                     const std::vector<int>& restraint);

/// "force", "restraint", "both" or "-".
const char* listName(FaceList list);
