#pragma once

#include <string_view>

/// The content of a file of src/viewer/ that the build embeds (page.html, page.css and the
/// page's scripts), by its name; empty for a name that is not embedded.
std::string_view embeddedPageFile(std::string_view name);
