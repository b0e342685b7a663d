#pragma once

#include <filesystem>
#include <string>

// The narrow form of a path: its text in the process's narrow file-name encoding, which the
// console lines, the messages, the list readers and the record use. Where native paths are
// narrow (POSIX) it is the bytes themselves. Where they are wide (Windows) it is the ANSI code
// page, UTF-8 when the C runtime's locale uses UTF-8, or the OEM code page once the process has
// switched its file interfaces to OEM; the conversion is strict both ways.

/// The narrow form of `path`. Throws std::system_error (illegal_byte_sequence), whose text is
/// describeNarrowFormProblem's, when a character has no exact narrow equivalent: no substitute,
/// no nearest match.
std::string narrowForm(const std::filesystem::path& path);

/// Why `path` has no narrow form, naming it and its first character without one: "cannot name
/// 'D:\jobs\<U+6A21>' in code page 1252, the narrow encoding of file names: it has no U+6A21";
/// "" when it has one.
std::string describeNarrowFormProblem(const std::filesystem::path& path);

/// The native path whose narrow form is `narrow`, the inverse of narrowForm. Throws
/// std::system_error for bytes that are no text in the narrow encoding.
std::filesystem::path nativePath(const std::string& narrow);

/// `path` as a message shows it: its narrow form, each character that has none written as
/// <U+XXXX>. Never throws.
std::string shownForm(const std::filesystem::path& path);

/// The narrow encoding in words, for messages: "code page 1252"; "bytes" on POSIX.
std::string describeNarrowEncoding();
