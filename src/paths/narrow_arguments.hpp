#pragma once

#include <string>

/// Makes argv[1..argc-1] the exact narrow forms of the arguments the command was given. Where
/// native text is wide, the C runtime's own narrow arguments may hold a nearest match ("a" for
/// "ā") or "?", so they are made again from the wide ones, strictly; argv[0] is left as it is.
/// Returns "" or, for the first argument without a narrow form, why (naming it and the
/// character). Where native text is narrow, argv is the arguments' own bytes and is kept.
std::string takeNarrowArguments(int argc, char** argv);

/// The narrow form of the directory that holds the running program; "" when it has none.
std::string programDirectory();
