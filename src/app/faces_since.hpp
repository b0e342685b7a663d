#pragma once

#include "faces_arguments.hpp"

struct RunState;

/// tarnfold-faces --since: reads both revisions, prints the table that matches the old faces to
/// the new ones, and with --rewrite carries the dataset's lists over. Returns the exit status,
/// every problem having been reported on stderr; in a supervised worker (`state` not null) it
/// ends the process itself.
int followRevision(const FacesOptions& options, RunState* state);
