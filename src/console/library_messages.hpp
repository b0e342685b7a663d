#pragma once

/// Turns off the colour escapes of the library's console printers unless stdout is a terminal.
void stopColouringUnlessTerminal();

/// Sends the library's messages (the reader's load check and transfer trace) to stderr instead
/// of stdout, at the level they had, coloured only when stderr is a terminal: for commands whose
/// stdout is a table.
void sendLibraryMessagesToStderr();
