#pragma once

#include <string>

struct DatasetInputs;
struct RunState;

/// What a comparison of two revisions is asked to do.
struct FollowRequest {
    std::string datasetRoot; ///< the dataset whose model is the new revision; "" for a model alone
    std::string sinceFile;   ///< the old revision
    bool rewrite = false;    ///< carry the dataset's lists over to the new revision
    bool allowSplitMerge = false; ///< also carry split and merged faces over
    bool allowReshaped = false;   ///< also carry reshaped faces over
};

/// tarnfold-faces --since: reads both revisions (the new one is `inputs.modelPath`), prints the
/// table that matches the old faces to the new ones, and with `rewrite` carries the dataset's
/// lists over. Returns the exit status, every problem having been reported on stderr; in a
/// supervised worker (`state` not null) it ends the process itself. `complete` is false when a
/// problem was already reported.
int followRevision(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                   RunState* state);
