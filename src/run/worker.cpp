#include "worker.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>

#include <OSD.hxx>
#include <Standard_Failure.hxx>

std::string errorLine(const char* commandName, const std::string& problem)
{
    return std::string(commandName) + ": error: " + problem;
}

void reportProblems(const char* commandName, const std::vector<std::string>& problems,
                    bool& complete)
{
    for (const std::string& problem : problems) {
        std::cerr << errorLine(commandName, problem) << '\n';
    }
    if (!problems.empty()) complete = false;
}

std::string noteLine(const char* commandName, const std::string& note)
{
    return std::string(commandName) + ": note: " + note;
}

void reportNotes(const char* commandName, const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) std::cerr << noteLine(commandName, note) << '\n';
}

void installLibrarySignalHandlers()
{
    // With the library's handlers, a fault inside it (such as a null entity met in a damaged
    // file) becomes a check message instead of killing the run. Floating-point traps stay off,
    // as the library expects. The handlers would also take over the stop signals (and ignore
    // Ctrl-C outright), so those are put back as they were.
    const int stopSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM};
    struct sigaction before[std::size(stopSignals)];
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], nullptr, &before[i]);
    }
    OSD::SetSignal(Standard_False);
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], &before[i], nullptr);
    }
}

std::string describeCurrentException()
{
    try {
        throw;
    } catch (const Standard_Failure& e) {
        const char* message = e.GetMessageString();
        return std::string("OpenCASCADE ") + e.DynamicType()->Name() + ": " +
               (message ? message : "");
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

int runReportingFailures(const char* commandName, const std::function<int()>& body)
{
    // One line on stderr and status 1, rather than an abort and a core dump in a batch job.
    try {
        return body();
    } catch (...) {
        std::cerr << errorLine(commandName, describeCurrentException()) << '\n';
    }
    return 1;
}

void endWorker(int status)
{
    // Freeing a large model's millions of small objects one by one costs about a second per
    // 10,000 faces, for nothing.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}
