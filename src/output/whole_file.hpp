#pragma once

#include <string>

struct RunState;

/// Writes `bytes` to `fileName` so that a reader only ever sees the older file or the whole new
/// one, and a link planted at the name is never followed. A regular file that already holds
/// exactly these bytes is kept and only given a new modification time; a free name gets a file
/// linked in once whole; any other is replaced by a temporary file renamed over it. Returns ""
/// or why it failed; on failure nothing is left behind and an older file of that name is
/// untouched. While a named temporary exists its name is recorded in `state`, so that a
/// supervisor can remove it if the process dies.
std::string writeWholeFile(const std::string& fileName, const std::string& bytes,
                           RunState* state = nullptr);

/// What writeNewFile did.
enum class NewFile { written, taken, failed };

/// Writes `bytes` to `fileName` only if nothing stands at that name yet, a link included: the
/// file appears whole or not at all. `taken` when something stands there; `failed`, with `error`
/// set, when the write failed.
NewFile writeNewFile(const std::string& fileName, const std::string& bytes, std::string& error);
