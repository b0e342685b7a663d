#include "temporaries.hpp"

#include "../run_state/run_state.hpp"

#include "../paths/file_names.hpp"

#include <unistd.h>

namespace {

// Whether text[at...] is a decimal number from 1 to `largest` without leading zeros, and
// nothing else.
bool isNumberTo(const std::string& text, std::size_t at, long largest)
{
    if (at >= text.size() || text[at] == '0' || text.size() - at > 10) return false;
    long number = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
    }
    return number <= largest;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether `name` is temporaryName(target, pid, k) for some attempt k.
bool isTemporaryOf(const std::string& name, const std::string& target, pid_t pid)
{
    const std::string first = temporaryName(target, pid, 0);
    if (!startsWith(name, first)) return false;
    if (name.size() == first.size()) return true;
    return name[first.size()] == '.' && isNumberTo(name, first.size() + 1, temporaryAttempts - 1);
}

// Whether `name` is a temporary of some face file <root>/data/face<N>.brep of worker `pid`.
bool isFaceTemporary(const std::string& name, const std::string& root, pid_t pid)
{
    const std::string prefix = root + "/data/face";
    if (!startsWith(name, prefix)) return false;
    const std::size_t brep = name.find(".brep.tmp", prefix.size());
    if (brep == std::string::npos) return false;
    const std::string target = name.substr(0, brep + 5);
    return isNumberTo(target.substr(0, brep), prefix.size(), 2147483647) &&
           isTemporaryOf(name, target, pid);
}

} // namespace

std::string temporaryName(const std::string& target, pid_t pid, int attempt)
{
    const std::string first = target + ".tmp" + std::to_string(pid);
    return attempt == 0 ? first : first + "." + std::to_string(attempt);
}

std::string endingTemporaryName(const std::string& target, pid_t pid)
{
    const std::size_t slash = target.rfind('/');
    const std::size_t dot = target.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return temporaryName(target, pid, 0) + (hasExtension ? target.substr(dot) : "");
}

bool isWorkerTemporary(const std::string& name, pid_t pid, const WorkerProducts& products)
{
    for (const std::string& root : products.datasetRoots) {
        if (isFaceTemporary(name, root, pid)) return true;
    }
    for (const std::string& file : products.files) {
        if (file.empty()) continue;
        if (isTemporaryOf(name, file, pid) || name == endingTemporaryName(file, pid)) return true;
    }
    return false;
}

void removeWorkerTemporary(const RunState& state, pid_t pid, const WorkerProducts& products)
{
    // The worker removes its own temporaries; one is recorded here only if it could not. What
    // the record names is checked, not trusted: a worker that died inside the library may have
    // left anything in memory it shares.
    const std::string temporary = readText(state.temporary);
    if (!temporary.empty() && isWorkerTemporary(temporary, pid, products)) {
        removeFile(temporary);
    }
}
