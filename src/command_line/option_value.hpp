#pragma once

#include "cache_options.hpp"

#include <stdexcept>
#include <string>
#include <vector>

/// Reads the value of option `name` at argv[i], given as "--name value" (i then moves on to the
/// value) or "--name=value". False when argv[i] is another argument; throws
/// std::invalid_argument when the value is missing.
inline bool takeOptionValue(const std::string& name, int argc, char** argv, int& i,
                            std::string& value)
{
    const std::string argument = argv[i];
    if (argument == name) {
        if (i + 1 >= argc) throw std::invalid_argument("option " + name + " needs a value");
        value = argv[++i];
        return true;
    }
    if (argument.compare(0, name.size() + 1, name + "=") == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

/// Takes `argument` into `operands` when it is one: every argument after "--", and any that does
/// not begin with a dash ("-" alone included). "--" itself ends the options. False for an option.
inline bool takeOperand(const std::string& argument, bool& optionsEnded,
                        std::vector<std::string>& operands)
{
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
        operands.push_back(argument);
        return true;
    }
    if (argument == "--") {
        optionsEnded = true;
        return true;
    }
    return false;
}

/// Walks the arguments after the command's name: operands into `operands` (takeOperand), each
/// option to `takeOption(argument, i)`, which reads it, moving i past a value given apart, and
/// returns false for one it does not know; the cache's options are every command's. Throws
/// std::invalid_argument for an unknown option, and as the readers of the options do.
template <typename TakeOption>
void walkArguments(int argc, char** argv, std::vector<std::string>& operands,
                   CacheSettings& cache, TakeOption takeOption)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (takeOperand(argument, optionsEnded, operands)) continue;
        if (!takeOption(argument, i) && !takeCacheOption(argc, argv, i, cache)) {
            throw std::invalid_argument("unknown option '" + argument + "'");
        }
    }
}
