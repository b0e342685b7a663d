#pragma once

#include "follow_revision.hpp"

struct DatasetInputs;
struct RunState;

/// tarnfold-faces DATASET --follow: what became of the faces the dataset's lists named at its
/// last run, in its model as it is now, the old faces taken from the record of that run and its
/// face files; no old model file is needed. Only the lists that are as they were then are
/// followed and, with `request.rewrite`, carried over. Returns the exit status or ends the
/// supervised worker, as followRevision does.
int followRecord(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                 RunState* state);
