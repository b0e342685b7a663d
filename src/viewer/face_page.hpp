#pragma once

#include "page_data.hpp"

#include "../paths/narrow_arguments.hpp"

#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

/// three.js and its OrbitControls, as the page inlines them.
struct PageScripts {
    std::string three;
    std::string controls;
};

#ifdef _WIN32
/// Where the Windows zip puts three.js: three\ beside the program.
inline const std::string threeDirectory = programDirectory() + "\\three";
#else
/// Where Debian's package libjs-three installs three.js.
constexpr const char* threeDirectory = "/usr/share/javascript/three";
#endif

/// Reads the three.js files that the page inlines from `directory`. Returns "" when both were
/// read whole; otherwise one line naming the file, the reason and the package that holds it.
std::string readPageScripts(const std::string& directory, PageScripts& scripts);

/// A self-contained HTML page that draws the meshed `modelShape` in 3D for picking faces:
/// `rows` are its face table, `records` the dataset's records that its sets start from (none
/// for a model alone), `scripts` are inlined, and nothing is fetched when it opens.
std::string buildFacePage(const TopoDS_Shape& modelShape, const std::vector<FaceRow>& rows,
                          const std::vector<DatasetRecord>& records, const PageScripts& scripts,
                          const PageText& text);

/// Replaces each {{name}} in `page` by the text that `parts` pairs with that name. Throws
/// std::logic_error for a marker that `parts` does not name, or one left unclosed.
std::string fillTemplate(std::string_view page,
                         const std::vector<std::pair<std::string, std::string>>& parts);
