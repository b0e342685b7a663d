#pragma once

#include <string_view>
#include <vector>

/// The content of a file of src/viewer/ that the build embeds (page.html, page.css and the
/// page's scripts), by its name. Throws std::logic_error for a name that is not embedded.
std::string_view embeddedPageFile(std::string_view name);

/// The names of the page's own scripts, as the build lists them: the order in which they run.
std::vector<std::string_view> embeddedPageScripts();
