#pragma once

#include <ostream>

struct FacesOptions;

/// tarnfold-faces as `options` ask: the face table, picture and page of a model, or the
/// following of its revisions (--since, --follow) and the binding of a dataset's lists
/// (--accept), in a supervised worker, so that whatever the library does to it ends in one line
/// on stderr. The worker's own lines (the table on `out`, notes and errors on `err`) are the
/// transcript of the run. Returns the exit status.
int superviseFaces(const FacesOptions& options, std::ostream& out, std::ostream& err);
