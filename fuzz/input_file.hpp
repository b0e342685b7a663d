#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Replaces the content of a memory-backed file with `data` and returns a path that opens it.
/// The readers take a path, so the input reaches them through a real file, without disk I/O.
std::string writeInputFile(const std::uint8_t* data, std::size_t size);

/// Prints `what` and aborts, which libFuzzer reports as a finding and keeps the input of.
[[noreturn]] void failCheck(const std::string& what);
