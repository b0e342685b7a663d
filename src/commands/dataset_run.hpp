#pragma once

#include <ostream>

struct ToolArguments;

/// tarnfold <dataset-root>: writes the faces that the dataset's lists name, in a supervised
/// worker, so that whatever the library does to it ends in one line on stderr and a clean data
/// directory. The worker's own lines (the program's name and the root on `out`, its notes and
/// errors on `err`, the STEP reader's messages on stderr) are the transcript of the run.
/// Returns the exit status.
int superviseDatasetRun(const ToolArguments& arguments, const char* programName,
                        std::ostream& out, std::ostream& err);
