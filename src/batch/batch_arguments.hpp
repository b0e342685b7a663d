#pragma once

#include "../cache/model_cache.hpp"

#include <string>
#include <vector>

/// What the command line of tarnfold-batch asks for.
struct BatchOptions {
    std::vector<std::string> roots; ///< dataset roots given as arguments, in order
    std::string listFile;           ///< --from: one dataset root a line, "-" for stdin; "" if none
    std::string logFile;            ///< --log: where the library's messages go; "" for stderr
    int jobs = 1;                   ///< model workers at once
    double timeoutSeconds = 0;      ///< limit of each model worker; 0 for none
    std::string timeoutText;        ///< the limit as given, for the lines that name it
    bool listGroups = false;        ///< --list-groups: print the groups, read no model
    CacheSettings cache;            ///< --cache, --cache-size, or TARNFOLD_CACHE
    bool cacheStats = false;        ///< --cache-stats: tell what the model cache held and gave
};

/// The usage lines, each ended by a newline.
extern const char* const batchUsageText;

/// The text of --help.
std::string batchHelpText();

/// Reads the arguments after the command's name. Throws std::invalid_argument, worded for the
/// user, for a command line it cannot follow.
BatchOptions parseBatchArguments(int argc, char** argv);

/// Appends the dataset roots of the list file (one a line, empty lines skipped) to `roots`.
/// Returns "" or why the file could not be read.
std::string readDatasetList(const std::string& listFile, std::vector<std::string>& roots);
