#pragma once

// The pairs of revisions that the since benchmark follows the faces of, and how it counts.

#include "bench.hpp"
#include "revision_pairs.hpp"

#include <string>
#include <vector>

/// One pair of revisions, made in memory, with the group it is counted in.
struct RevisionPair {
    std::string group; ///< "moved", "moved, framed anew" or "changed dimension"
    std::string name;
    Revision revision;
};

/// The generated pairs: parts shifted, turned, both, and moved and drilled; the same with their
/// surfaces framed anew, as another CAD system would write them; and one dimension of a feature
/// changed, each revision built from the same base with its own size.
std::vector<RevisionPair> makeRevisionPairs();

/// The pairs made of a model read from a file: turned and shifted, and turned, shifted and
/// drilled through the middle of its bounds.
std::vector<RevisionPair> makeModelPairs(const TopoDS_Shape& model, const std::string& name);

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
    std::vector<std::string> notes; ///< one line per wrong answer and per skipped pair
    bool listUncertain = false;     ///< a note for every face without a certain answer too
};

/// Writes the pair's revisions into `work` as STEP files, reads them back with the tool's
/// import, matches them and adds what it finds to `count`.
void countFollowed(const RevisionPair& pair, const fs::path& work, FollowCount& count);
