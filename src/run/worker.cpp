#include "worker.hpp"

#include "stop_signals.hpp"

#include "../console/error_printer.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <OSD.hxx>
#include <Standard_Failure.hxx>

void installLibrarySignalHandlers()
{
    // With the library's handlers, a fault inside it (such as a null entity met in a damaged
    // file) becomes a check message instead of killing the run. Floating-point traps stay off,
    // as the library expects. The handlers would also take over the stop signals (and ignore
    // Ctrl-C outright), so those are put back as they were.
    keepingStopHandlers([] { OSD::SetSignal(Standard_False); });
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

int runReportingFailures(std::ostream& err, const std::function<int()>& body)
{
    // One line on stderr and status 1, rather than an abort and a core dump in a batch job.
    try {
        return body();
    } catch (...) {
        printError(err, describeCurrentException());
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
