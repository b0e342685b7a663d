#pragma once

#include "follow_revision.hpp"

#include <ostream>

struct RunState;

/// tarnfold-faces DATASET --accept: binds the dataset's lists, as they stand, to its model as it
/// is now, on purpose. Prints one row per entry that selects a face (list, line, face, and what
/// it was bound to before: same, this very face; other, another face; none, nothing; - when the
/// record cannot be read), renews the record, and removes the face files of the last run that no
/// longer hold the face their number names; tarnfold writes the listed faces' files. The rows go
/// to `out`, notes and errors to `err`. Returns the exit status, or ends the supervised worker
/// with it.
int acceptDatasetLists(FollowedDataset& dataset, RunState* state, std::ostream& out,
                       std::ostream& err);
