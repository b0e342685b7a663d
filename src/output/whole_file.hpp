#pragma once

#include <string>

struct RunState;

/// Writes `bytes` to `fileName` through a temporary file beside it, created exclusively (a link
/// planted at any name is never followed) and renamed over the name, so that a reader only ever
/// sees the older file or the whole new one. Returns "" or why it failed; on failure nothing is
/// left behind and an older file of that name is untouched. While the temporary exists its name
/// is recorded in `state`, so that a supervisor can remove it if the process dies.
std::string writeWholeFile(const std::string& fileName, const std::string& bytes,
                           RunState* state = nullptr);

/// The system's wording of an errno value.
std::string systemReason(int error);
