#pragma once

#include "follow_revision.hpp"

#include <ostream>
#include <vector>

struct RunState;

/// tarnfold-faces DATASET... --follow: what became of the faces each dataset's lists named at
/// its last run, in its model as it is now, the old faces taken from the record of that run and
/// its face files (without a record, the face files of an earlier run); no old model file is
/// needed. Each model file is read once for all the datasets that name it. Exactly the entries
/// that a run checks (see findBoundEntries) are followed and, with `request.rewrite`, carried
/// over, all or nothing for each dataset; the others are left as they are. The table goes to
/// `out`, notes and errors to `err`. Returns the exit status or ends the supervised worker, as
/// followRevision does.
int followRecords(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                  RunState* state, std::ostream& out, std::ostream& err);
