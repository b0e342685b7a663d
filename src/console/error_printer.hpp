#pragma once

#include <ostream>
#include <string>
#include <vector>

/// The names that the commands' own lines begin with, spelled here and nowhere else.
namespace commands {
constexpr const char* tool = "tarnfold";
constexpr const char* faces = "tarnfold-faces";
constexpr const char* batch = "tarnfold-batch";
constexpr const char* mesh = "tarnfold-mesh";
} // namespace commands

/// Names the command this process runs as, for its own lines; each main calls it first.
void nameCommand(const char* name);

/// The name that nameCommand gave ("tarnfold" until then).
const char* commandName();

/// The error line of this process's command for `problem`: "<command>: error: <problem>".
std::string errorLine(const std::string& problem);

/// The error line that `command` prints for `problem`: a batch repeats tarnfold's lines.
std::string errorLine(const char* command, const std::string& problem);

/// The note line that `command` prints: "<command>: note: <note>", worth knowing but no error.
std::string noteLine(const char* command, const std::string& note);

/// Prints `problem` as one error line on `err` (the stderr that an entry point hands down).
void printError(std::ostream& err, const std::string& problem);

/// Prints `note` as one note line of this process's command on `err`.
void printNote(std::ostream& err, const std::string& note);

/// Prints each note as one note line of this process's command on `err`.
void printNotes(std::ostream& err, const std::vector<std::string>& notes);

/// Prints each problem as one error line on `err`; clears `complete` if there is any.
void reportProblems(std::ostream& err, const std::vector<std::string>& problems, bool& complete);

/// The system's wording of an errno value.
std::string systemReason(int error);
