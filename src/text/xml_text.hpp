#pragma once

#include <cstddef>
#include <string>

/// The length of the valid UTF-8 sequence that starts at text[i], or 0 when none does.
std::size_t utf8Length(const std::string& text, std::size_t i);

/// Appends `text` as XML character data: markup characters escaped, and bytes that are not
/// valid UTF-8 or not allowed in XML (a file name may hold any byte) replaced by '?'.
void appendXmlText(std::string& xml, const std::string& text);
