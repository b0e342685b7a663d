#include "picture_legend.hpp"

#include "face_table.hpp"
#include "picture_style.hpp"

#include "../text/xml_text.hpp"

#include <algorithm>

namespace {

void appendSwatch(std::string& svg, int x, int y, FaceList list, const char* label)
{
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
           "\" width=\"14\" height=\"14\" stroke=\"#555555\" fill=\"";
    appendColour(svg, listColour(list));
    svg += "\"/>";
    if (list == FaceList::both) {
        svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
               "\" width=\"14\" height=\"14\" fill=\"url(#both-lists)\"/>";
    }
    svg += "<text x=\"" + std::to_string(x + 20) + "\" y=\"" + std::to_string(y + 12) + "\">" +
           label + "</text>\n";
}

const char* numberedFaces(LabelChoice labels)
{
    switch (labels) {
    case LabelChoice::all: return "all faces";
    case LabelChoice::listed: return "listed faces";
    default: return "none";
    }
}

} // namespace

void appendLegend(std::string& svg, double top, double width, const std::vector<View>& views,
                  LabelChoice labels, const std::string& modelName, const std::string& note,
                  const std::vector<int>& unseen)
{
    int y = int(top);
    svg += "<g class=\"legend\" font-size=\"13\" fill=\"#222222\">\n";
    appendSwatch(svg, 16, y + 10, FaceList::force, "force");
    appendSwatch(svg, 116, y + 10, FaceList::restraint, "restraint");
    appendSwatch(svg, 236, y + 10, FaceList::both, "force and restraint");
    appendSwatch(svg, 416, y + 10, FaceList::none, "other faces");

    svg += "<text x=\"16\" y=\"" + std::to_string(y + 44) + "\">model: ";
    appendXmlText(svg, modelName);
    svg += " \u00b7 views:";
    for (std::size_t i = 0; i < views.size(); ++i) {
        svg += std::string(i == 0 ? " " : ", ") + viewName(views[i]);
    }
    svg += std::string(" \u00b7 numbered: ") + numberedFaces(labels) + "</text>\n";
    if (!note.empty()) {
        svg += "<text x=\"16\" y=\"" + std::to_string(y + 66) + "\" fill=\"#a00000\">";
        appendXmlText(svg, note);
        svg += "</text>\n";
        y += 22;
    }

    if (!unseen.empty()) {
        // As many numbers as the line holds, at about 7.5 pixels a character.
        const std::size_t room = std::size_t(std::max(40.0, (width - 32) / 7.5));
        std::string line = "numbered faces in sight in no view:";
        std::size_t shown = 0;
        for (; shown < unseen.size(); ++shown) {
            const std::string number = ' ' + std::to_string(unseen[shown]);
            if (line.size() + number.size() + 14 > room) break;
            line += number;
        }
        if (shown < unseen.size()) {
            line += " and " + std::to_string(unseen.size() - shown) + " more";
        }
        svg += "<text x=\"16\" y=\"" + std::to_string(y + 66) + "\" fill=\"#a00000\">" + line +
               "</text>\n";
    }
    svg += "</g>\n";
}
