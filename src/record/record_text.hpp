#pragma once

#include <string>
#include <vector>

/// The lines of `text`, each without its newline; a last line without one counts too.
std::vector<std::string> splitLines(const std::string& text);

/// The tab-separated fields of `line`.
std::vector<std::string> splitFields(const std::string& line);

/// Reads `text` as a count: decimal digits only, at most 18 of them.
bool parseCount(const std::string& text, long long& number);

/// Whether `text` is a SHA-256 as the record writes it: 64 lowercase hexadecimal digits.
bool isSha256(const std::string& text);

/// Reads `text` as formatReal wrote it; false for anything else, infinities and NaN included.
bool parseReal(const std::string& text, double& value);
