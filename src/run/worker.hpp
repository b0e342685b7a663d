#pragma once

#include <functional>
#include <string>
#include <vector>

/// The line a command prints for `problem`: "<commandName>: error: <problem>", no newline.
std::string errorLine(const char* commandName, const std::string& problem);

/// Prints each problem as one "<commandName>: error: " line on stderr; clears `complete` if any.
void reportProblems(const char* commandName, const std::vector<std::string>& problems,
                    bool& complete);

/// The line a command prints for `note`: "<commandName>: note: <note>", no newline.
std::string noteLine(const char* commandName, const std::string& note);

/// Prints each note as one "<commandName>: note: " line on stderr. A note is no error.
void reportNotes(const char* commandName, const std::vector<std::string>& notes);

/// Installs the library's signal handlers, which turn a fault inside it into one of its
/// exceptions, while the signals that ask a run to stop keep the meaning they had before.
void installLibrarySignalHandlers();

/// The problem that the exception being handled stands for; call it inside a catch block.
std::string describeCurrentException();

/// Runs `body` and returns its status; anything it throws becomes one error line and status 1.
int runReportingFailures(const char* commandName, const std::function<int()>& body);

/// Ends a worker process with `status` once its output is flushed, without freeing the model
/// object by object: the process is over anyway.
[[noreturn]] void endWorker(int status);
