#pragma once

#include <string>

/// `text` as one field of a tab-separated table: backslash, tab, newline and carriage return
/// written as \\, \t, \n and \r, so that every row stays one line of fields.
std::string escapeField(const std::string& text);

/// The text that escapeField wrote as `field`. Returns false for a field it cannot have written
/// (a backslash before anything else, or at the end).
bool unescapeField(const std::string& field, std::string& text);
