#include "error_printer.hpp"

#include <cstring>
#include <iostream>

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

void printError(const std::string& problem)
{
    // Through std::cerr, so that a progress line on the terminal is taken away first.
    std::cerr << errorLine(problem) << '\n';
}

std::string noteLine(const char* command, const std::string& note)
{
    return std::string(command) + ": note: " + note;
}

void printNote(const std::string& note)
{
    std::cerr << noteLine(currentCommand, note) << '\n';
}

void printNotes(const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) printNote(note);
}

void reportProblems(const std::vector<std::string>& problems, bool& complete)
{
    for (const std::string& problem : problems) printError(problem);
    if (!problems.empty()) complete = false;
}

std::string systemReason(int error)
{
    return error != 0 ? std::strerror(error) : "reason unknown";
}
