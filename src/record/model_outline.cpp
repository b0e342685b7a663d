#include "model_outline.hpp"

#include "record_text.hpp"

#include "../model/face_numbering.hpp"
#include "../text/number_text.hpp"

#include <algorithm>

#include <BRepAdaptor_Surface.hxx>
#include <BRep_Tool.hxx>
#include <TopExp.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Vertex.hxx>

namespace {

constexpr const char* formatLine = "format\ttarnfold model outline 1";

// Whether item `index` of `count` is among `sampleSize` spread evenly over them.
bool isSampled(std::size_t index, std::size_t count, std::size_t sampleSize)
{
    if (sampleSize == 0 || count <= sampleSize) return true;
    // Taken where index * sampleSize / count steps up.
    return (index * sampleSize) / count != ((index + 1) * sampleSize) / count;
}

void growBox(std::array<double, 6>& box, bool& empty, const gp_Pnt& point)
{
    for (int i = 0; i < 3; ++i) {
        const double value = point.Coord(i + 1);
        box[std::size_t(i)] = empty ? value : std::min(box[std::size_t(i)], value);
        box[std::size_t(i) + 3] = empty ? value : std::max(box[std::size_t(i) + 3], value);
    }
    empty = false;
}

std::string formatBox(const std::array<double, 6>& box)
{
    std::string text;
    for (const double value : box) text += '\t' + formatReal(value);
    return text;
}

bool parseReals(const std::vector<std::string>& fields, std::size_t first, double* values,
                std::size_t count)
{
    if (fields.size() != first + count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!parseReal(fields[first + i], values[i])) return false;
    }
    return true;
}

} // namespace

ModelOutline outlineModel(const TopoDS_Shape& modelShape, std::size_t sampleSize)
{
    ModelOutline outline;
    outline.faceCount = visitFaces(modelShape, [](int, const TopoDS_Face&) {});
    // One walk over the faces' edges gives the tolerances and the ends of every edge, each end
    // counted for each edge that has it: no map of the model's vertices is needed.
    std::vector<gp_Pnt> ends;
    visitFaces(modelShape, [&](int number, const TopoDS_Face& face) {
        outline.tolerance = std::max(outline.tolerance, BRep_Tool::Tolerance(face));
        const std::size_t first = ends.size();
        for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next()) {
            const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
            outline.tolerance = std::max(outline.tolerance, BRep_Tool::Tolerance(edge));
            TopoDS_Vertex start, end;
            TopExp::Vertices(edge, start, end);
            for (const TopoDS_Vertex* vertex : {&start, &end}) {
                if (!vertex->IsNull()) ends.push_back(BRep_Tool::Pnt(*vertex));
            }
        }
        if (!isSampled(std::size_t(number - 1), std::size_t(outline.faceCount), sampleSize)) {
            return;
        }
        FaceOutline row;
        row.number = number;
        row.type = int(BRepAdaptor_Surface(face, Standard_False).GetType());
        row.vertexVisits = int(ends.size() - first);
        bool empty = true;
        for (std::size_t i = first; i < ends.size(); ++i) growBox(row.box, empty, ends[i]);
        outline.faces.push_back(row);
    });
    outline.vertexCount = int(ends.size());
    bool empty = true;
    for (std::size_t i = 0; i < ends.size(); ++i) {
        growBox(outline.bounds, empty, ends[i]);
        if (isSampled(i, ends.size(), sampleSize)) {
            outline.vertices.push_back({ends[i].X(), ends[i].Y(), ends[i].Z()});
        }
    }
    return outline;
}

Bnd_Box outlineBounds(const ModelOutline& outline)
{
    Bnd_Box box;
    if (outline.vertexCount == 0) return box;
    const std::array<double, 6>& b = outline.bounds;
    box.Update(b[0], b[1], b[2], b[3], b[4], b[5]);
    return box;
}

std::string formatOutline(const ModelOutline& outline)
{
    std::string text = std::string(formatLine) + '\n';
    text += "faces\t" + std::to_string(outline.faceCount) + '\n';
    text += "vertices\t" + std::to_string(outline.vertexCount) + '\n';
    text += "tolerance\t" + formatReal(outline.tolerance) + '\n';
    text += "bounds" + formatBox(outline.bounds) + '\n';
    for (const FaceOutline& face : outline.faces) {
        text += "face\t" + std::to_string(face.number) + '\t' + std::to_string(face.type) + '\t' +
                std::to_string(face.vertexVisits) + formatBox(face.box) + '\n';
    }
    for (const std::array<double, 3>& vertex : outline.vertices) {
        text += "vertex";
        for (const double value : vertex) text += '\t' + formatReal(value);
        text += '\n';
    }
    return text;
}

std::string parseOutline(const std::string& text, ModelOutline& outline)
{
    outline = ModelOutline();
    const std::vector<std::string> lines = splitLines(text);
    if (lines.empty() || lines[0] != formatLine) {
        return "line 1: not an outline of a model, or one of another format";
    }
    bool counted = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitFields(lines[i]);
        const std::string& key = fields[0];
        long long a = 0, b = 0, c = 0;
        bool good = false;
        if (key == "faces" && fields.size() == 2) {
            good = parseCount(fields[1], a) && a <= 2147483647;
            outline.faceCount = int(a);
        } else if (key == "vertices" && fields.size() == 2) {
            good = parseCount(fields[1], a) && a <= 2147483647;
            outline.vertexCount = int(a);
            counted = true;
        } else if (key == "tolerance") {
            good = parseReals(fields, 1, &outline.tolerance, 1) && outline.tolerance >= 0;
        } else if (key == "bounds") {
            good = parseReals(fields, 1, outline.bounds.data(), 6);
        } else if (key == "face" && fields.size() == 10) {
            FaceOutline face;
            good = parseCount(fields[1], a) && parseCount(fields[2], b) &&
                   parseCount(fields[3], c) && a >= 1 && a <= outline.faceCount && b <= 100 &&
                   c <= 2147483647 && parseReals(fields, 4, face.box.data(), 6) &&
                   (outline.faces.empty() || outline.faces.back().number < a);
            face.number = int(a);
            face.type = int(b);
            face.vertexVisits = int(c);
            outline.faces.push_back(face);
        } else if (key == "vertex") {
            std::array<double, 3> vertex{};
            good = parseReals(fields, 1, vertex.data(), 3);
            outline.vertices.push_back(vertex);
        }
        if (!good) return "line " + std::to_string(i + 1) + ": a line it cannot read";
    }
    if (!counted) return "line " + std::to_string(lines.size()) + ": the outline is not whole";
    return {};
}
