#pragma once

#include <string>

/// The system's wording of a Windows error code (GetLastError), on one line, without the full
/// stop Windows ends it with. Windows only.
std::string describeWindowsError(unsigned long error);

/// The errno value nearest to a Windows error code, for messages worded as on Linux; EIO for
/// any without one.
int errnoOfWindowsError(unsigned long error);
