#include "face_page.hpp"

#include "embedded_files.hpp"

#include "../faces/face_mesh.hpp"
#include "../text/xml_text.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <strings.h>

namespace {

// Reads `path` whole into `content`; returns "" or the reason it could not.
std::string readWholeText(const std::string& path, std::string& content)
{
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file) return errno != 0 ? std::strerror(errno) : "cannot open";
    content.clear();
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        content.append(buffer, got);
    }
    // A directory opens, and fails only here.
    if (std::ferror(file.get())) return errno != 0 ? std::strerror(errno) : "read error";
    if (content.empty()) return "the file is empty";
    return "";
}

// A script as it can stand inside a script element: a "</script" in it would end the element,
// and a "<!--" would change how the browser looks for that end. Both can only occur inside
// strings, comments or regular expressions, where the escaped forms mean the same.
std::string inlineScript(std::string_view script)
{
    std::string text;
    text.reserve(script.size());
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '<' && i + 1 < script.size() &&
            (script.compare(i, 4, "<!--") == 0 ||
             (script[i + 1] == '/' && i + 8 <= script.size() &&
              strncasecmp(script.data() + i + 2, "script", 6) == 0))) {
            text += script[i + 1] == '/' ? "<\\/" : "<\\!";
            ++i;
            continue;
        }
        text += script[i];
    }
    return text;
}

} // namespace

std::string readPageScripts(const std::string& directory, PageScripts& scripts)
{
    for (const auto& [file, content] : {std::pair{"build/three.min.js", &scripts.three},
                                        {"examples/js/controls/OrbitControls.js",
                                         &scripts.controls}}) {
        const std::string path = directory + '/' + file;
        const std::string reason = readWholeText(path, *content);
        if (!reason.empty()) {
            return "cannot read three.js file '" + path + "' (Debian package libjs-three): " +
                   reason;
        }
    }
    return "";
}

std::string buildFacePage(const TopoDS_Shape& modelShape, const std::vector<FaceRow>& rows,
                          const std::vector<DatasetRecord>& records, const PageScripts& scripts,
                          const PageText& text)
{
    const std::string data = writePageData(
        packMesh(collectMeshes(modelShape, rows), collectMeshEdges(rows)), rows, records, text);
    std::string title = "faces of ";
    appendXmlText(title, text.modelName);
    std::string script;
    for (const std::string_view file : embeddedPageScripts()) script += embeddedPageFile(file);
    return fillTemplate(embeddedPageFile("page.html"),
                        {{"title", title},
                         {"style", std::string(embeddedPageFile("page.css"))},
                         {"data", data},
                         {"three", inlineScript(scripts.three)},
                         {"controls", inlineScript(scripts.controls)},
                         {"script", inlineScript(script)}});
}

std::string fillTemplate(std::string_view page,
                         const std::vector<std::pair<std::string, std::string>>& parts)
{
    std::string text;
    std::size_t done = 0;
    for (std::size_t open; (open = page.find("{{", done)) != std::string_view::npos;) {
        const std::size_t close = page.find("}}", open);
        if (close == std::string_view::npos) throw std::logic_error("unclosed {{ in the page");
        const std::string_view name = page.substr(open + 2, close - open - 2);
        const auto part = std::find_if(parts.begin(), parts.end(),
                                       [&](const auto& p) { return p.first == name; });
        if (part == parts.end()) {
            throw std::logic_error("the page names an unknown part {{" + std::string(name) + "}}");
        }
        text.append(page, done, open - done);
        text += part->second;
        done = close + 2;
    }
    text.append(page, done);
    return text;
}
