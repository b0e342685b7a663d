#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include <Bnd_Box.hxx>
#include <TopoDS_Shape.hxx>

/// A face of a model in outline: what tells it from the other faces, and where it is, without
/// its geometry.
struct FaceOutline {
    int number = 0;
    int type = 0;                ///< the kind of its surface, a GeomAbs_SurfaceType
    int vertexVisits = 0;        ///< the ends of its edges, each edge's counted apart
    std::array<double, 6> box{}; ///< low x, y, z, then high, of those ends; zeros without any
};

/// A model in outline: enough to tell a later revision of it from the model moved or replaced,
/// when only some of its faces are at hand.
struct ModelOutline {
    int faceCount = 0;                           ///< face visits of the model
    int vertexCount = 0;            ///< the ends of its faces' edges, each edge's counted apart
    double tolerance = 0;           ///< the largest of its faces' and edges'
    std::array<double, 6> bounds{}; ///< of all those ends, as FaceOutline::box
    std::vector<FaceOutline> faces; ///< faces spread evenly over the numbers
    /// Vertices, as ends of edges, spread evenly over the faces in number order.
    std::vector<std::array<double, 3>> vertices;
};

/// The outline of `modelShape` with at most `sampleSize` faces and as many vertices, spread
/// evenly; 0 keeps every one.
ModelOutline outlineModel(const TopoDS_Shape& modelShape, std::size_t sampleSize);

/// The bounds of an outline as a box, void for a model without vertices.
Bnd_Box outlineBounds(const ModelOutline& outline);

/// The outline as the text of its file.
std::string formatOutline(const ModelOutline& outline);

/// Reads the text of an outline file. Returns "" or why it cannot, with the line.
std::string parseOutline(const std::string& text, ModelOutline& outline);
