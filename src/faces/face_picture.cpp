#include "face_picture.hpp"

#include "face_mesh.hpp"
#include "picture_edges.hpp"
#include "picture_labels.hpp"
#include "picture_legend.hpp"
#include "picture_style.hpp"

#include "../text/xml_text.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr double panelWidth = 640, panelHeight = 520, margin = 30, titleHeight = 24;

// Fits the model into the panel, with room for the title and for tags at the border.
void fitPanel(Panel& panel, const std::vector<FaceMesh>& meshes)
{
    double x0 = std::numeric_limits<double>::max(), x1 = -x0, y0 = x0, y1 = -x0;
    panel.scale = 1;
    panel.originX = panel.originY = 0;
    for (const FaceMesh& mesh : meshes) {
        for (const gp_Pnt& node : mesh.nodes) {
            const gp_XYZ p = projectPoint(panel, node);
            x0 = std::min(x0, p.X()), x1 = std::max(x1, p.X());
            y0 = std::min(y0, p.Y()), y1 = std::max(y1, p.Y());
        }
    }
    if (x0 > x1) return;
    const double room =
        std::min((panel.width - 2 * margin) / std::max(x1 - x0, 1e-12),
                 (panel.height - 2 * margin - titleHeight) / std::max(y1 - y0, 1e-12));
    panel.scale = room;
    panel.originX = panel.width / 2 - room * (x0 + x1) / 2;
    panel.originY = titleHeight + (panel.height - titleHeight) / 2 - room * (y0 + y1) / 2;
}

std::uint32_t shadeColour(std::uint32_t base, double light)
{
    std::uint32_t colour = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        const double channel = double((base >> shift) & 0xff) * light;
        colour |= std::uint32_t(std::clamp(channel, 0.0, 255.0)) << shift;
    }
    return colour;
}

// Flat light from the upper left, behind the viewer: each triangle gets one shade.
void projectTriangles(Panel& panel, const std::vector<FaceMesh>& meshes,
                      const std::vector<FaceList>& lists)
{
    const gp_Vec light =
        (-0.45 * panel.right + 0.6 * panel.up + 0.65 * panel.toViewer).Normalized();
    for (std::size_t f = 0; f < meshes.size(); ++f) {
        const FaceMesh& mesh = meshes[f];
        std::vector<gp_XYZ> screen;
        screen.reserve(mesh.nodes.size());
        for (const gp_Pnt& node : mesh.nodes) screen.push_back(projectPoint(panel, node));
        for (const auto& corner : mesh.triangles) {
            const gp_Pnt &a = mesh.nodes[corner[0]], &b = mesh.nodes[corner[1]],
                         &c = mesh.nodes[corner[2]];
            gp_Vec normal = gp_Vec(a, b).Crossed(gp_Vec(a, c));
            if (normal.SquareMagnitude() == 0) continue;
            normal.Normalize();
            if (normal.Dot(panel.toViewer) < 0) {
                if (mesh.cullBack) continue;
                normal.Reverse(); // an open surface shows its back lit like its front
            }
            // Shades are few, so that neighbouring triangles share paths in the file.
            const double level = std::round(std::max(0.0, normal.Dot(light)) * 40) / 40;
            ScreenTriangle t{};
            for (int k = 0; k < 3; ++k) {
                t.x[k] = float(screen[corner[k]].X());
                t.y[k] = float(screen[corner[k]].Y());
                t.depth[k] = float(screen[corner[k]].Z());
            }
            t.colour = shadeColour(listColour(lists[f]), 0.62 + 0.45 * level);
            t.face = int(f);
            panel.triangles.push_back(t);
        }
    }
    orderTriangles(panel);
}

// Runs of triangles of one colour become one path; each is also stroked in its own colour, so
// that no hairline of background shows between neighbours.
void appendTriangles(std::string& svg, const Panel& panel, const std::vector<FaceList>& lists)
{
    svg += "<g class=\"faces\" stroke-width=\"1\" stroke-linejoin=\"round\">\n";
    for (std::size_t start = 0; start < panel.triangles.size();) {
        std::size_t end = start;
        std::string path;
        for (; end < panel.triangles.size() &&
               panel.triangles[end].colour == panel.triangles[start].colour;
             ++end) {
            const ScreenTriangle& t = panel.triangles[end];
            appendPoint(path, 'M', t.x[0], t.y[0]);
            appendPoint(path, 'L', t.x[1], t.y[1]);
            appendPoint(path, 'L', t.x[2], t.y[2]);
            path += 'Z';
        }
        svg += "<path fill=\"";
        appendColour(svg, panel.triangles[start].colour);
        svg += "\" stroke=\"";
        appendColour(svg, panel.triangles[start].colour);
        svg += "\" d=\"" + path + "\"/>\n";
        // Faces in both lists are striped as well as coloured, for readers who cannot tell
        // the colours apart.
        if (lists[panel.triangles[start].face] == FaceList::both) {
            svg += "<path fill=\"url(#both-lists)\" stroke=\"url(#both-lists)\" d=\"" + path +
                   "\"/>\n";
        }
        start = end;
    }
    svg += "</g>\n";
}

} // namespace

std::string drawFacePicture(const TopoDS_Shape& modelShape, const std::vector<FaceRow>& rows,
                            const std::vector<View>& views, LabelChoice labels,
                            const std::string& modelName, double deflection,
                            const std::string& note)
{
    // A face visited twice is drawn once, coloured for every list that names any of its visits.
    std::vector<FaceList> lists(rows.size(), FaceList::none);
    for (const FaceRow& row : rows) {
        FaceList& list = lists[(row.sameAs != 0 ? row.sameAs : row.number) - 1];
        if (list == FaceList::none) {
            list = row.list;
        } else if (row.list != FaceList::none && row.list != list) {
            list = FaceList::both;
        }
    }
    const std::vector<FaceMesh> meshes = collectMeshes(modelShape, rows);
    const std::vector<std::vector<gp_Pnt>> edges = edgePolylines(meshes, collectMeshEdges(rows));

    const int columns = views.size() == 1 ? 1 : 2;
    const int panelRows = int((views.size() + columns - 1) / columns);
    const int width = int(panelWidth) * columns;
    const int height = int(panelHeight) * panelRows + int(legendHeight(!note.empty()));
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
        std::to_string(width) + ' ' + std::to_string(height) +
        "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\">\n<title>faces of ";
    appendXmlText(svg, modelName);
    svg += "</title>\n<defs><pattern id=\"both-lists\" width=\"8\" height=\"8\" "
           "patternUnits=\"userSpaceOnUse\" patternTransform=\"rotate(45)\">"
           "<rect width=\"3\" height=\"8\" fill=\"";
    appendColour(svg, bothStripeColour);
    svg += "\"/></pattern></defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    std::vector<bool> tagged(rows.size(), false);
    for (std::size_t v = 0; v < views.size(); ++v) {
        Panel panel;
        panel.width = panelWidth;
        panel.height = panelHeight;
        // The mesh lies up to a deflection inside the surface; a point on the surface is hidden
        // only by what lies clearly in front of it.
        panel.depthTolerance = 2 * deflection;
        orientPanel(panel, views[v]);
        fitPanel(panel, meshes);
        projectTriangles(panel, meshes, lists);

        svg += "<g class=\"panel\" transform=\"translate(" +
               std::to_string(int(v % columns) * int(panelWidth)) + ' ' +
               std::to_string(int(v / columns) * int(panelHeight)) + ")\">\n" +
               "<rect x=\"0.5\" y=\"0.5\" width=\"" + std::to_string(int(panelWidth) - 1) +
               "\" height=\"" + std::to_string(int(panelHeight) - 1) +
               "\" fill=\"none\" stroke=\"#bbbbbb\"/>\n<text x=\"12\" y=\"20\" font-size=\"14\" "
               "fill=\"#222\">" +
               viewName(views[v]) + "</text>\n";
        appendTriangles(svg, panel, lists);
        appendEdges(svg, panel, edges);
        svg += "<g font-size=\"11\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#222\" "
               "stroke-width=\"0.8\">\n";
        appendTags(svg, panel, rows, labels, tagged);
        svg += "</g>\n</g>\n";
    }

    std::vector<int> unseen;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (isLabelled(rows[i], labels) && !tagged[i]) unseen.push_back(rows[i].number);
    }
    appendLegend(svg, panelHeight * panelRows, width, views, labels, modelName, note, unseen);
    svg += "</svg>\n";
    return svg;
}
