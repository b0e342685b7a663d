#pragma once

#include "../cache/model_cache.hpp"

#include <string>

/// What tarnfold's command line asks for beside a run: its help, its version, or the usage line
/// for want of a dataset root.
enum class ToolAction { run, help, version, usage };

/// What the command line of tarnfold asks for.
struct ToolArguments {
    ToolAction action = ToolAction::run;
    std::string root;    ///< the dataset root, exactly as given
    CacheSettings cache; ///< from the options, else from TARNFOLD_CACHE
};

/// The usage line, without its newline.
extern const char* const toolUsageLine;

/// The text of --help.
std::string toolHelpText();

/// Reads the arguments after the command's name: the cache's options wherever they stand, the
/// first other argument the dataset root, any after it ignored. Throws std::invalid_argument,
/// worded for the user, for an option's value it cannot take.
ToolArguments parseToolArguments(int argc, char** argv);
