#pragma once

// How the since benchmark counts the faces of its pairs of revisions that the matching follows.

#include "since_pairs.hpp"

#include <map>
#include <string>
#include <vector>

/// How the old faces of one kind (what the history says became of them) were answered.
struct KindCount {
    int faces = 0;
    int right = 0; ///< certain and naming the history's new faces; for a gone face, gone
    int wrong = 0; ///< certain and naming other new faces, or any for a gone face
};

/// How the faces of some pairs were followed, against what the modelling history says.
struct FollowCount {
    int pairs = 0, skipped = 0;
    int faces = 0;    ///< old faces
    int followed = 0; ///< of them with a certain answer that names the new faces the truth names
    int wrong = 0;    ///< with a certain answer that names other new faces, or any for a gone one
    int onChangedSurfaces = 0; ///< old faces whose truth is reshaped
    int reshaped = 0;          ///< of them followed as reshaped
    /// Of the other faces of pairs in place, those answered otherwise than by place alone.
    int otherAnswersChanged = 0;
    std::map<std::string, KindCount> kinds; ///< by what the history says: "same", "gone", ...
    std::vector<std::string> notes; ///< one line per wrong answer and per skipped pair
    bool listUncertain = false;     ///< a note for every face without a certain answer too
};

/// Writes the pair's revisions into `work` as STEP files, reads them back with the tool's
/// import, matches them and adds what it finds to `count`.
void countFollowed(const RevisionPair& pair, const fs::path& work, FollowCount& count);
