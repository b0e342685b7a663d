#include "face_list.hpp"

#include <algorithm>

FaceList findInLists(int faceNumber, const std::vector<int>& force,
                     const std::vector<int>& restraint)
{
    const bool inForce = std::binary_search(force.begin(), force.end(), faceNumber);
    const bool inRestraint = std::binary_search(restraint.begin(), restraint.end(), faceNumber);
    if (inForce && inRestraint) return FaceList::both;
    if (inForce) return FaceList::force;
    return inRestraint ? FaceList::restraint : FaceList::none;
}

const char* listName(FaceList list)
{
    switch (list) {
    case FaceList::force: return "force";
    case FaceList::restraint: return "restraint";
    case FaceList::both: return "both";
    default: return "-";
    }
}
