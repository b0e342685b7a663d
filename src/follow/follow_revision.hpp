#pragma once

#include "revision_match.hpp"

#include <string>
#include <vector>

struct DatasetInputs;
struct RunModel;
struct RunState;

/// What a comparison of two revisions is asked to do.
struct FollowRequest {
    std::string datasetRoot; ///< the dataset whose model is the new revision; "" for a model alone
    std::string sinceFile;   ///< the old revision; "" to take it from the dataset's record
    bool rewrite = false;    ///< carry the dataset's lists over to the new revision
    bool allowSplitMerge = false; ///< also carry split and merged faces over
    bool allowReshaped = false;   ///< also carry reshaped faces over
};

/// tarnfold-faces --since: reads both revisions (the new one is `inputs.modelPath`), prints the
/// table that matches the old faces to the new ones, and with `rewrite` carries the dataset's
/// lists over, then records them as bound to the new revision; it refuses to carry lists that
/// the dataset's record binds to another model than the old one. Returns the exit status,
/// every problem having been reported on stderr; in a supervised worker (`state` not null) it
/// ends the process itself. `complete` is false when a problem was already reported.
int followRevision(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                   RunState* state);

/// What the matching of an old revision with the new one found, to be shown and acted on.
struct FollowOutcome {
    std::vector<FaceMatch> matches;        ///< one per face number of the old revision, in order
    const DatasetInputs* listed = nullptr; ///< the lists whose faces the table shows; null: all
    const std::vector<std::string>* carried = nullptr; ///< the list files to carry; null: all
    RunModel* newModel = nullptr;          ///< the new revision, read whole
};

/// Returns the exit status for `complete`, or ends the supervised worker with it.
int endFollowing(bool complete, RunState* state);

/// The end of both ways of following a model: prints the table of the outcome's listed faces,
/// reports their entries that select no old face and the rows that are not certain, and with
/// `request.rewrite` carries the lists over and renews the dataset's record for the new model.
/// Returns the exit status, or ends the supervised worker, as followRevision does.
int finishFollowing(const FollowRequest& request, const FollowOutcome& outcome, bool complete,
                    RunState* state);
