#pragma once

// The pairs of revisions that the since benchmark follows the faces of.

#include "bench.hpp"
#include "revision_pairs.hpp"

#include <string>
#include <vector>

/// One pair of revisions, made in memory, with the group it is counted in.
struct RevisionPair {
    std::string group; ///< the kind of revision it is counted with, such as "moved"
    std::string name;
    Revision revision;
    int digits = 0; ///< significant digits the new revision is written with; 0 for all
};

/// The generated pairs: parts shifted, turned, both, and moved and drilled; the same with their
/// surfaces framed anew, as another CAD system would write them; one dimension of a feature
/// changed, each revision built from the same base with its own size; an end or a corner cut
/// away by a tilted plane that removes a whole face; symmetric parts revised; and parts, most of
/// them symmetric, written again unchanged, with all digits and with fewer.
std::vector<RevisionPair> makeRevisionPairs();

/// The pairs made of a model read from a file: turned and shifted, and turned, shifted and
/// drilled through the middle of its bounds.
std::vector<RevisionPair> makeModelPairs(const TopoDS_Shape& model, const std::string& name);
