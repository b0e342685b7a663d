#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

/// The directions a picture can show the model from.
enum class View { iso, isoBack, front, back, left, right, top, bottom };

/// Which faces get a number in a picture.
enum class LabelChoice { listed, all, none };

/// Reads a view as the command line names it; false for a name it does not know.
bool parseView(const std::string& name, View& view);

/// The command-line name of `view`.
const char* viewName(View view);

/// A triangle of the model as a panel shows it: corners in pixels, depth in model units
/// (larger is nearer the viewer), and its shaded colour as 0xRRGGBB.
struct ScreenTriangle {
    float x[3], y[3];
    float depth[3];
    std::uint32_t colour;
    int face; ///< index of the face's row
};

/// One view of the model, fitted into a panel of the picture.
struct Panel {
    View view = View::iso;
    gp_Vec right, up, toViewer;      ///< the view's axes in model space
    double scale = 1;                ///< pixels per model unit
    double originX = 0, originY = 0; ///< pixel position of the model's origin
    double width = 0, height = 0;    ///< the panel's size in pixels
    double depthTolerance = 0;       ///< how far a point may sink under the mesh and still show
    std::vector<ScreenTriangle> triangles; ///< what is drawn, far to near
    int bufferWidth = 0, bufferHeight = 0; ///< the depth buffer's size, in its samples
    std::vector<float> nearest;            ///< per sample, the depth of the nearest triangle
    std::vector<int> owner;                ///< per sample, the face of the nearest triangle, or -1
};

/// Sets the panel's axes for `view`: the model's z axis points up except from the top and
/// the bottom, where y does.
void orientPanel(Panel& panel, View view);

/// The pixel position (x, y) of `point` in the panel, and its depth.
gp_XYZ projectPoint(const Panel& panel, const gp_Pnt& point);

/// Finds what is in sight with a depth buffer, leaves out the triangles that are nowhere in
/// sight, and puts the rest in painter's order, the farthest first.
void orderTriangles(Panel& panel);

/// Whether `point`, on the model, is in sight in the panel: nothing lies in front of it. With a
/// `face` (the index of its row), that face must also be what is seen there, so that a face
/// seen edge-on is not in sight.
bool isInSight(const Panel& panel, const gp_Pnt& point, int face = -1);

/// The face (the index of its row) seen at pixel position (x, y), or -1 for none.
int faceAt(const Panel& panel, double x, double y);
