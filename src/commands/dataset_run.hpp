#pragma once

struct ToolArguments;

/// tarnfold <dataset-root>: writes the faces that the dataset's lists name, in a supervised
/// worker, so that whatever the library does to it ends in one line on stderr and a clean data
/// directory. The worker's own lines (the program's name and the root on stdout, the STEP
/// reader's messages, its notes and errors on stderr) are the transcript of the run. Returns
/// the exit status.
int superviseDatasetRun(const ToolArguments& arguments, const char* programName);
