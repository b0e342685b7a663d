#pragma once

#include <functional>
#include <ostream>
#include <string>

/// Installs the library's signal handlers, which turn a fault inside it into one of its
/// exceptions, while the signals that ask a run to stop keep the meaning they had before.
void installLibrarySignalHandlers();

/// The problem that the exception being handled stands for; call it inside a catch block.
std::string describeCurrentException();

/// Runs `body` and returns its status; anything it throws becomes one error line on `err` and
/// status 1.
int runReportingFailures(std::ostream& err, const std::function<int()>& body);

/// Ends a worker process with `status` once its output is flushed, without freeing the model
/// object by object: the process is over anyway.
[[noreturn]] void endWorker(int status);
