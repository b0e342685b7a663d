#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

struct RunState;

/// Names a whole-file writer tries for the temporary of one file before it gives up.
constexpr int temporaryAttempts = 100;

/// The name under which process `pid` writes `target` before renaming it there: attempt 0 is
/// "<target>.tmp<pid>", attempt k "<target>.tmp<pid>.<k>".
std::string temporaryName(const std::string& target, pid_t pid, int attempt);

/// The temporary of `target` for a writer that tells the format by the name's ending (gmsh):
/// temporaryName(target, pid, 0) followed by the target's own extension, "a.msh.tmp<pid>.msh".
std::string endingTemporaryName(const std::string& target, pid_t pid);

/// What a supervisor knows, from its own arguments, that its worker may write through a
/// temporary: the face files of these datasets, and these files.
struct WorkerProducts {
    std::vector<std::string> datasetRoots; ///< face<N>.brep in <root>/data/
    std::vector<std::string> files;        ///< such as a picture or a page
};

/// Whether `name` is a temporary that worker `pid` writes one of `products` through: exactly
/// the names its supervisor may remove.
bool isWorkerTemporary(const std::string& name, pid_t pid, const WorkerProducts& products);

/// After worker `pid` has ended: removes the temporary that it recorded in `state`, if it is one
/// of its products' (see isWorkerTemporary). Anything else recorded there is left alone.
void removeWorkerTemporary(const RunState& state, pid_t pid, const WorkerProducts& products);
