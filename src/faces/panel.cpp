#include "panel.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

struct ViewName {
    View view;
    const char* name;
};

constexpr ViewName viewNames[] = {
    {View::iso, "iso"},   {View::isoBack, "iso-back"}, {View::front, "front"},
    {View::back, "back"}, {View::left, "left"},        {View::right, "right"},
    {View::top, "top"},   {View::bottom, "bottom"},
};

// Depth of the triangle at (x, y), or -infinity when (x, y) is outside it.
double depthAt(const ScreenTriangle& t, double x, double y)
{
    const double d = (t.y[1] - t.y[2]) * (t.x[0] - t.x[2]) + (t.x[2] - t.x[1]) * (t.y[0] - t.y[2]);
    if (std::abs(d) < 1e-12) return -std::numeric_limits<double>::infinity();
    const double a = ((t.y[1] - t.y[2]) * (x - t.x[2]) + (t.x[2] - t.x[1]) * (y - t.y[2])) / d;
    const double b = ((t.y[2] - t.y[0]) * (x - t.x[2]) + (t.x[0] - t.x[2]) * (y - t.y[2])) / d;
    const double c = 1 - a - b;
    constexpr double slack = -1e-4;
    if (a < slack || b < slack || c < slack) return -std::numeric_limits<double>::infinity();
    return a * t.depth[0] + b * t.depth[1] + c * t.depth[2];
}

} // namespace

bool parseView(const std::string& name, View& view)
{
    for (const ViewName& entry : viewNames) {
        if (name == entry.name) {
            view = entry.view;
            return true;
        }
    }
    return false;
}

const char* viewName(View view)
{
    for (const ViewName& entry : viewNames) {
        if (entry.view == view) return entry.name;
    }
    return "?";
}

void orientPanel(Panel& panel, View view)
{
    // Where the eye is, seen from the model: front looks along +y, as engineering drawings do.
    gp_Vec eye, up(0, 0, 1);
    switch (view) {
    case View::iso: eye = gp_Vec(1, -1, 1); break;
    case View::isoBack: eye = gp_Vec(-1, 1, -1); break;
    case View::front: eye = gp_Vec(0, -1, 0); break;
    case View::back: eye = gp_Vec(0, 1, 0); break;
    case View::left: eye = gp_Vec(-1, 0, 0); break;
    case View::right: eye = gp_Vec(1, 0, 0); break;
    case View::top: eye = gp_Vec(0, 0, 1); up = gp_Vec(0, 1, 0); break;
    case View::bottom: eye = gp_Vec(0, 0, -1); up = gp_Vec(0, 1, 0); break;
    }
    panel.view = view;
    panel.toViewer = eye.Normalized();
    panel.right = up.Crossed(panel.toViewer).Normalized();
    panel.up = panel.toViewer.Crossed(panel.right);
}

gp_XYZ projectPoint(const Panel& panel, const gp_Pnt& point)
{
    const gp_Vec p(point.XYZ());
    // Pixel rows grow downwards.
    return gp_XYZ(panel.originX + panel.scale * p.Dot(panel.right),
                  panel.originY - panel.scale * p.Dot(panel.up), p.Dot(panel.toViewer));
}

void indexTriangles(Panel& panel)
{
    panel.columns = std::max(1, int(std::ceil(panel.width / panel.cellSize)));
    panel.rows = std::max(1, int(std::ceil(panel.height / panel.cellSize)));
    panel.cells.assign(std::size_t(panel.columns) * panel.rows, {});
    const auto cellOf = [&](double v, int count) {
        return std::clamp(int(std::floor(v / panel.cellSize)), 0, count - 1);
    };
    for (std::size_t i = 0; i < panel.triangles.size(); ++i) {
        const ScreenTriangle& t = panel.triangles[i];
        const int c0 = cellOf(std::min({t.x[0], t.x[1], t.x[2]}), panel.columns);
        const int c1 = cellOf(std::max({t.x[0], t.x[1], t.x[2]}), panel.columns);
        const int r0 = cellOf(std::min({t.y[0], t.y[1], t.y[2]}), panel.rows);
        const int r1 = cellOf(std::max({t.y[0], t.y[1], t.y[2]}), panel.rows);
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) panel.cells[std::size_t(r) * panel.columns + c].push_back(int(i));
        }
    }
}

bool isInSight(const Panel& panel, const gp_Pnt& point, int face)
{
    const gp_XYZ p = projectPoint(panel, point);
    if (p.X() < 0 || p.Y() < 0 || p.X() >= panel.width || p.Y() >= panel.height) return false;
    const std::size_t cell = std::size_t(p.Y() / panel.cellSize) * panel.columns +
                             std::size_t(p.X() / panel.cellSize);
    bool onFace = face < 0;
    for (const int i : panel.cells[cell]) {
        const double depth = depthAt(panel.triangles[i], p.X(), p.Y());
        if (depth > p.Z() + panel.depthTolerance) return false;
        if (depth > -std::numeric_limits<double>::infinity() && panel.triangles[i].face == face) {
            onFace = true;
        }
    }
    return onFace;
}
