#pragma once

#include "../faces/face_mesh.hpp"
#include "../faces/face_table.hpp"
#include "../faces/panel.hpp"
#include "../intake/dataset_records.hpp"

#include <cstdint>
#include <string>
#include <vector>

#include <gp_XYZ.hxx>

/// The model's mesh as the page sends it: node positions quantised to 16 bits per axis over
/// the nodes' bounding box, triangles and edges as indices into one face's nodes. Nodes,
/// triangles and edges come face by face, in row order, so that a face's triangles are one run
/// of the index buffer.
struct PackedMesh {
    gp_XYZ low, high; ///< a node at low is stored as 0, one at high as 65535, on each axis
    std::vector<std::uint16_t> positions;     ///< x, y, z per node
    std::vector<std::uint32_t> faceNodes;     ///< per row, how many of the nodes are its own
    std::vector<std::uint32_t> faceTriangles; ///< per row, how many of the triangles
    std::vector<std::uint32_t> faceEdges;     ///< per row, how many of the edges
    std::vector<std::uint8_t> faceCulled;     ///< per row, 1 for a face of a solid: no back
    std::vector<std::uint32_t> triangles;     ///< three of its face's nodes each, wound outward
    std::vector<std::uint32_t> edgeLengths;   ///< per edge, how many nodes it runs through
    std::vector<std::uint32_t> edgeNodes;     ///< its face's nodes along each edge in turn
};

/// Packs the faces' meshes (one per row, from collectMeshes) and the model's edges.
PackedMesh packMesh(const std::vector<FaceMesh>& meshes, const std::vector<MeshEdge>& edges);

/// The size of one quantisation step on each axis, in model units.
gp_XYZ quantisationStep(const PackedMesh& mesh);

/// What the page says about the model besides its mesh and its table.
struct PageText {
    std::string modelName; ///< the STEP file's name, shown in the title
    std::string note;      ///< shown beside it when not empty (several transferred shapes)
    View firstView = View::iso;
    std::string stale;     ///< when not empty, says which listed faces are stale

};

/// The page's data as one JSON object: the text, the colours, the eight views, the bounding
/// box, and "data", one zlib stream in base64 holding the sections that "sections" names with
/// their sizes in bytes: the face table as the command prints it, the dataset's `records` as
/// JSON (formatPageRecords), then the mesh's arrays as little-endian bytes, positions as
/// differences along each axis in turn, node indices in "indexBytes" bytes each. Every '<', '>'
/// and '&' is escaped, so that the object can stand inside a script element.
std::string writePageData(const PackedMesh& mesh, const std::vector<FaceRow>& rows,
                          const std::vector<DatasetRecord>& records, const PageText& text);

/// The records as a JSON array, one array each: its list ("force" or "restraint"), the face it
/// selects among `faceCount` (0 for none), its face number as written, its further numbers as
/// written with one blank between two, its file and its line.
std::string formatPageRecords(const std::vector<DatasetRecord>& records, int faceCount);

/// `bytes` in base64 (RFC 4648, with padding).
std::string encodeBase64(const std::string& bytes);
