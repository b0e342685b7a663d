#include "error_printer.hpp"

#include <cstring>
#include <ostream>

namespace {

const char* currentCommand = commands::tool;

} // namespace

void nameCommand(const char* name)
{
    currentCommand = name;
}

const char* commandName()
{
    return currentCommand;
}

std::string errorLine(const std::string& problem)
{
    return errorLine(currentCommand, problem);
}

std::string errorLine(const char* command, const std::string& problem)
{
    return std::string(command) + ": error: " + problem;
}

void printError(std::ostream& err, const std::string& problem)
{
    // Through a stream, never straight to the descriptor: std::cerr takes a progress line on
    // the terminal away first.
    err << errorLine(problem) << '\n';
}

std::string noteLine(const char* command, const std::string& note)
{
    return std::string(command) + ": note: " + note;
}

void printNote(std::ostream& err, const std::string& note)
{
    err << noteLine(currentCommand, note) << '\n';
}

void printNotes(std::ostream& err, const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) printNote(err, note);
}

void reportProblems(std::ostream& err, const std::vector<std::string>& problems, bool& complete)
{
    for (const std::string& problem : problems) printError(err, problem);
    if (!problems.empty()) complete = false;
}

std::string systemReason(int error)
{
    return error != 0 ? std::strerror(error) : "reason unknown";
}
