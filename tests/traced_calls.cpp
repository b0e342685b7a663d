#include "traced_calls.hpp"

#include "test_support.hpp"

#include <map>
#include <regex>
#include <sstream>

std::vector<TracedCall> readTracedCalls(const std::filesystem::path& log)
{
    static const std::regex call(R"re(^(?:\d+ +)?(\w+)\((.*)$)re");
    static const std::regex quoted(R"re("((?:[^"\\]|\\.)*)")re");
    std::map<std::string, int> counts;
    std::vector<TracedCall> calls;
    std::istringstream lines(readFile(log));
    for (std::string line; std::getline(lines, line);) {
        std::smatch found;
        if (!std::regex_match(line, found, call)) continue;
        TracedCall& traced = calls.emplace_back();
        traced.name = found[1];
        traced.ordinal = ++counts[traced.name];
        const std::string arguments = found[2];
        for (std::sregex_iterator path(arguments.begin(), arguments.end(), quoted), end;
             path != end; ++path) {
            traced.path = (*path)[1];
        }
    }
    return calls;
}

std::string killEntering(const TracedCall& call)
{
    return call.name + ":signal=SIGKILL:when=" + std::to_string(call.ordinal);
}
