#pragma once

#include "../binding/list_rewrite.hpp"
#include "../match/revision_match.hpp"

#include "../intake/dataset_inputs.hpp"

#include <ostream>
#include <string>
#include <vector>

struct RunModel;
struct RunRecord;
struct RunState;

/// What a comparison of two revisions is asked to do.
struct FollowRequest {
    std::string sinceFile;   ///< the old revision; "" to take it from each dataset's record
    bool rewrite = false;    ///< carry the datasets' lists over to the new revision
    bool allowSplitMerge = false; ///< also carry split and merged faces over
    bool allowReshaped = false;   ///< also carry reshaped faces over
};

/// One dataset whose lists are followed, or the model alone (`root` "").
struct FollowedDataset {
    std::string root;     ///< as named on the command line; "" for a model alone
    DatasetInputs inputs; ///< what its walk found; for a model alone, only the model's path
    bool complete = true; ///< false once a problem of its own has been reported
    bool done = false;    ///< nothing more is to be done with it (it could not be walked, or
                          ///< was refused)
};

/// The one table that following prints, over one dataset or several.
struct MatchTableOutput {
    bool withDataset = false;   ///< several datasets: each row begins with its dataset
    bool headerWritten = false;
};

/// tarnfold-faces --since: reads the old revision once and each new one (each dataset's model,
/// or the model alone) once for all the datasets that name it, prints the table that matches
/// the old faces to the new ones, and with `rewrite` carries each dataset's lists over, all or
/// nothing for each, then records them as bound to the new revision; it refuses to carry lists
/// that a dataset's record binds to another model than the old one. The table goes to `out`,
/// notes and errors to `err`. Returns the exit status, every problem having been reported
/// (with several datasets, a last line names those that did not come through whole); in a
/// supervised worker (`state` not null) it ends the process itself.
int followRevision(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                   RunState* state, std::ostream& out, std::ostream& err);

/// What the matching of an old revision with the new one found, to be shown and acted on.
struct FollowOutcome {
    std::vector<FaceMatch> matches;        ///< one per face number of the old revision, in order
    const DatasetInputs* listed = nullptr; ///< the lists whose faces the table shows; null: all
    const std::vector<std::string>* carried = nullptr; ///< the list files to carry; null: all
    const KeptEntries* kept = nullptr;     ///< entries of theirs left as they are; null: none
    /// The record the lists were bound by (or the face files standing for it): its face files
    /// that the carried lists make untrue are removed with the carry. Null: none.
    const RunRecord* oldRecord = nullptr;
    RunModel* newModel = nullptr;          ///< the new revision, read whole
};

/// The exit status for `datasets`, the line that names those with doubts printed on `err` when
/// there are several; or ends the supervised worker with it.
int endFollowing(const std::vector<FollowedDataset>& datasets, RunState* state,
                 std::ostream& err);

/// The end of both ways of following one dataset (or the model alone): prints the table's rows
/// of the outcome's listed faces on `out`, reports on `err` their entries that select no old
/// face and the rows that are not certain, and with `request.rewrite` carries the lists over
/// and renews the dataset's record for the new model. Clears `dataset.complete` for any of
/// these.
void finishFollowing(const FollowRequest& request, FollowedDataset& dataset,
                     const FollowOutcome& outcome, MatchTableOutput& table, RunState* state,
                     std::ostream& out, std::ostream& err);

/// Prints the table's header on `out`, once, when it was not yet.
void printMatchHeader(MatchTableOutput& table, std::ostream& out);
