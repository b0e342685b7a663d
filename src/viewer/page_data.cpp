#include "page_data.hpp"

#include "../faces/picture_style.hpp"
#include "../intake/list_entries.hpp"
#include "../text/number_text.hpp"
#include "../text/xml_text.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <zlib.h>

namespace {

constexpr double quantisationSteps = 65535;

template <typename Unsigned>
void appendLittleEndian(std::string& bytes, Unsigned value)
{
    for (std::size_t i = 0; i < sizeof value; ++i) bytes += char((value >> (8 * i)) & 0xff);
}

template <typename Unsigned>
std::string packArray(const std::vector<Unsigned>& values)
{
    std::string bytes;
    bytes.reserve(values.size() * sizeof(Unsigned));
    for (const Unsigned value : values) appendLittleEndian(bytes, value);
    return bytes;
}

std::string packIndices(const std::vector<std::uint32_t>& indices, int width)
{
    std::string bytes;
    bytes.reserve(indices.size() * std::size_t(width));
    for (const std::uint32_t index : indices) {
        for (int i = 0; i < width; ++i) bytes += char((index >> (8 * i)) & 0xff);
    }
    return bytes;
}

// Positions axis by axis, each value as its difference from the one before: neighbouring nodes
// lie close together, and small differences compress far better than coordinates.
std::string packPositions(const std::vector<std::uint16_t>& positions)
{
    std::string bytes;
    bytes.reserve(positions.size() * 2);
    for (std::size_t axis = 0; axis < 3; ++axis) {
        std::uint16_t previous = 0;
        for (std::size_t i = axis; i < positions.size(); i += 3) {
            appendLittleEndian(bytes, std::uint16_t(positions[i] - previous));
            previous = positions[i];
        }
    }
    return bytes;
}

std::string compress(const std::string& bytes)
{
    uLongf size = compressBound(uLong(bytes.size()));
    std::string packed(size, '\0');
    const int status = compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                                 reinterpret_cast<const Bytef*>(bytes.data()), uLong(bytes.size()),
                                 Z_DEFAULT_COMPRESSION);
    if (status != Z_OK) {
        throw std::runtime_error(std::string("cannot compress the page's data: ") +
                                 (status == Z_MEM_ERROR ? "out of memory" : "zlib failed"));
    }
    packed.resize(size);
    return packed;
}

void appendVector(std::string& json, const gp_XYZ& v)
{
    json += '[';
    for (int i = 1; i <= 3; ++i) {
        if (i > 1) json += ',';
        appendReal(json, v.Coord(i));
    }
    json += ']';
}

// A JSON string that can stand inside a script element: markup characters are escaped, and
// bytes that are not valid UTF-8 (a file name may hold any byte) become '?'.
void appendJsonString(std::string& json, const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    json += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        const bool valid = length != 0;
        if (!valid) {
            json += '?';
            ++i;
            continue;
        }
        if (byte < 0x20 || byte == '<' || byte == '>' || byte == '&' || byte == 0x7f) {
            json += "\\u00";
            json += hex[byte >> 4];
            json += hex[byte & 0xf];
        } else if (byte == '"' || byte == '\\') {
            json += '\\';
            json += char(byte);
        } else {
            json.append(text, i, length);
        }
        i += length;
    }
    json += '"';
}

void appendField(std::string& json, const char* name)
{
    if (json.back() != '{') json += ',';
    json += '"';
    json += name;
    json += "\":";
}

void appendColourField(std::string& json, const char* name, std::uint32_t colour)
{
    appendField(json, name);
    std::string text;
    appendColour(text, colour);
    appendJsonString(json, text);
}

} // namespace

PackedMesh packMesh(const std::vector<FaceMesh>& meshes, const std::vector<MeshEdge>& edges)
{
    PackedMesh packed;
    const double far = std::numeric_limits<double>::max();
    packed.low.SetCoord(far, far, far);
    packed.high.SetCoord(-far, -far, -far);
    for (const FaceMesh& mesh : meshes) {
        for (const gp_Pnt& node : mesh.nodes) {
            for (int i = 1; i <= 3; ++i) {
                packed.low.SetCoord(i, std::min(packed.low.Coord(i), node.Coord(i)));
                packed.high.SetCoord(i, std::max(packed.high.Coord(i), node.Coord(i)));
            }
        }
    }
    for (int i = 1; i <= 3; ++i) {
        if (packed.low.Coord(i) > packed.high.Coord(i)) packed.low.SetCoord(i, 0); // no node
        // A flat model has no extent across itself; any scale stores its nodes at 0.
        if (!(packed.high.Coord(i) > packed.low.Coord(i))) {
            packed.high.SetCoord(i, packed.low.Coord(i) + 1);
        }
    }

    std::vector<std::vector<const MeshEdge*>> edgesOfRow(meshes.size());
    for (const MeshEdge& edge : edges) edgesOfRow[edge.row].push_back(&edge);
    for (std::size_t row = 0; row < meshes.size(); ++row) {
        const FaceMesh& mesh = meshes[row];
        for (const gp_Pnt& node : mesh.nodes) {
            for (int i = 1; i <= 3; ++i) {
                const double share = (node.Coord(i) - packed.low.Coord(i)) /
                                     (packed.high.Coord(i) - packed.low.Coord(i));
                packed.positions.push_back(
                    std::uint16_t(std::lround(std::clamp(share, 0.0, 1.0) * quantisationSteps)));
            }
        }
        for (const auto& corners : mesh.triangles) {
            packed.triangles.insert(packed.triangles.end(), corners.begin(), corners.end());
        }
        for (const MeshEdge* edge : edgesOfRow[row]) {
            packed.edgeLengths.push_back(std::uint32_t(edge->nodes.size()));
            packed.edgeNodes.insert(packed.edgeNodes.end(), edge->nodes.begin(), edge->nodes.end());
        }
        packed.faceNodes.push_back(std::uint32_t(mesh.nodes.size()));
        packed.faceTriangles.push_back(std::uint32_t(mesh.triangles.size()));
        packed.faceEdges.push_back(std::uint32_t(edgesOfRow[row].size()));
        packed.faceCulled.push_back(mesh.cullBack ? 1 : 0);
    }
    return packed;
}

gp_XYZ quantisationStep(const PackedMesh& mesh)
{
    return (mesh.high - mesh.low) / quantisationSteps;
}

std::string formatPageRecords(const std::vector<DatasetRecord>& records, int faceCount)
{
    std::string json = "[";
    for (const DatasetRecord& record : records) {
        if (json.size() > 1) json += ",\n";
        json += '[';
        appendJsonString(json, record.kind == DatasetFileKind::restraint ? "restraint" : "force");
        const bool selects = selectsFace(record.faceNumber, faceCount);
        json += ',' + std::to_string(selects ? int(record.faceNumber) : 0) + ',';
        appendJsonString(json, record.numbers.empty() ? "" : record.numbers.front());
        std::string further;
        for (std::size_t i = 1; i < record.numbers.size(); ++i) {
            further += (i > 1 ? " " : "") + record.numbers[i];
        }
        json += ',';
        appendJsonString(json, further);
        json += ',';
        appendJsonString(json, record.file);
        json += ',' + std::to_string(record.line) + ']';
    }
    return json + ']';
}

std::string writePageData(const PackedMesh& mesh, const std::vector<FaceRow>& rows,
                          const std::vector<DatasetRecord>& records, const PageText& text)
{
    std::string json = "{";
    appendField(json, "model");
    appendJsonString(json, text.modelName);
    appendField(json, "note");
    appendJsonString(json, text.note);
    appendField(json, "firstView");
    appendJsonString(json, viewName(text.firstView));
    appendField(json, "stale");
    appendJsonString(json, text.stale);

    appendField(json, "colours");
    json += '{';
    for (const auto& [name, list] : {std::pair{"force", FaceList::force},
                                     {"restraint", FaceList::restraint},
                                     {"both", FaceList::both},
                                     {"other", FaceList::none}}) {
        appendColourField(json, name, listColour(list));
    }
    appendColourField(json, "stripe", bothStripeColour);
    appendColourField(json, "edge", edgeColour);
    json += '}';

    // Where each named view looks from, as the picture's panels do, so both agree.
    appendField(json, "views");
    json += '[';
    for (const View view : {View::iso, View::isoBack, View::front, View::back, View::left,
                            View::right, View::top, View::bottom}) {
        Panel panel;
        orientPanel(panel, view);
        if (json.back() != '[') json += ',';
        json += "{\"name\":";
        appendJsonString(json, viewName(view));
        json += ",\"toViewer\":";
        appendVector(json, panel.toViewer.XYZ());
        json += ",\"up\":";
        appendVector(json, panel.up.XYZ());
        json += '}';
    }
    json += ']';

    appendField(json, "low");
    appendVector(json, mesh.low);
    appendField(json, "high");
    appendVector(json, mesh.high);
    // The narrowest width that holds an index into the largest face's nodes.
    const std::uint32_t largestFace =
        mesh.faceNodes.empty()
            ? 0
            : *std::max_element(mesh.faceNodes.begin(), mesh.faceNodes.end());
    const int width = largestFace <= 0x100 ? 1 : largestFace <= 0x10000 ? 2 : 4;
    appendField(json, "indexBytes");
    json += char('0' + width);

    const std::pair<const char*, std::string> sections[] = {
        {"table", formatFaceTable(rows)},
        {"records", formatPageRecords(records, int(rows.size()))},
        {"faceNodes", packArray(mesh.faceNodes)},
        {"faceTriangles", packArray(mesh.faceTriangles)},
        {"faceEdges", packArray(mesh.faceEdges)},
        {"faceCulled", packArray(mesh.faceCulled)},
        {"positions", packPositions(mesh.positions)},
        {"triangles", packIndices(mesh.triangles, width)},
        {"edgeLengths", packArray(mesh.edgeLengths)},
        {"edgeNodes", packIndices(mesh.edgeNodes, width)},
    };
    appendField(json, "sections");
    json += '[';
    std::string bytes;
    for (const auto& [name, content] : sections) {
        if (json.back() != '[') json += ',';
        json += "[\"" + std::string(name) + "\"," + std::to_string(content.size()) + ']';
        bytes += content;
    }
    json += ']';
    appendField(json, "data");
    json += '"' + encodeBase64(compress(bytes)) + "\"}";
    return json;
}

std::string encodeBase64(const std::string& bytes)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (left > 1) group |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2) group |= std::uint32_t(static_cast<unsigned char>(bytes[i + 2]));
        text += alphabet[(group >> 18) & 63];
        text += alphabet[(group >> 12) & 63];
        text += left > 1 ? alphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? alphabet[group & 63] : '=';
    }
    return text;
}
