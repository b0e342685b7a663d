#include "panel.hpp"

#include <algorithm>
#include <cmath>
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

// The depth buffer has this many samples a pixel each way: enough to find the small triangles
// that show.
constexpr int samplesPerPixel = 2;

// Writes the triangle into the depth buffer, keeping the nearest depth at each sample.
void rasterize(Panel& panel, const ScreenTriangle& t, int index, std::vector<int>& nearestTriangle)
{
    double x[3], y[3];
    for (int k = 0; k < 3; ++k) {
        x[k] = t.x[k] * samplesPerPixel;
        y[k] = t.y[k] * samplesPerPixel;
    }
    const double area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (std::abs(area) < 1e-12) return;
    const int x0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
    const int x1 = std::min(panel.bufferWidth - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
    const int y0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
    const int y1 = std::min(panel.bufferHeight - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
    for (int row = y0; row <= y1; ++row) {
        for (int column = x0; column <= x1; ++column) {
            const double px = column + 0.5, py = row + 0.5;
            // Barycentric weights of the sample's centre; all of one sign inside.
            const double w0 = ((x[1] - px) * (y[2] - py) - (x[2] - px) * (y[1] - py)) / area;
            const double w1 = ((x[2] - px) * (y[0] - py) - (x[0] - px) * (y[2] - py)) / area;
            const double w2 = 1 - w0 - w1;
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            const float depth = float(w0 * t.depth[0] + w1 * t.depth[1] + w2 * t.depth[2]);
            const std::size_t sample = std::size_t(row) * panel.bufferWidth + column;
            if (depth > panel.nearest[sample]) {
                panel.nearest[sample] = depth;
                nearestTriangle[sample] = index;
            }
        }
    }
}

// The buffer sample under pixel position (x, y), or -1 outside the panel.
long sampleAt(const Panel& panel, double x, double y)
{
    const long column = long(std::floor(x * samplesPerPixel)),
               row = long(std::floor(y * samplesPerPixel));
    if (column < 0 || row < 0 || column >= panel.bufferWidth || row >= panel.bufferHeight) {
        return -1;
    }
    return row * panel.bufferWidth + column;
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
    case View::top:
        eye = gp_Vec(0, 0, 1);
        up = gp_Vec(0, 1, 0);
        break;
    case View::bottom:
        eye = gp_Vec(0, 0, -1);
        up = gp_Vec(0, 1, 0);
        break;
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

void orderTriangles(Panel& panel)
{
    panel.bufferWidth = int(std::ceil(panel.width * samplesPerPixel));
    panel.bufferHeight = int(std::ceil(panel.height * samplesPerPixel));
    const std::size_t samples = std::size_t(panel.bufferWidth) * panel.bufferHeight;
    panel.nearest.assign(samples, -std::numeric_limits<float>::infinity());
    std::vector<int> nearestTriangle(samples, -1);
    for (std::size_t i = 0; i < panel.triangles.size(); ++i) {
        rasterize(panel, panel.triangles[i], int(i), nearestTriangle);
    }

    // A triangle nowhere nearest is left out: painted over anyway, or, where ordering by depth
    // goes wrong, showing through what hides it. One too small to hold a sample stays when its
    // middle is in sight.
    std::vector<bool> seen(panel.triangles.size(), false);
    panel.owner.assign(samples, -1);
    for (std::size_t sample = 0; sample < samples; ++sample) {
        if (nearestTriangle[sample] < 0) continue;
        seen[nearestTriangle[sample]] = true;
        panel.owner[sample] = panel.triangles[nearestTriangle[sample]].face;
    }
    std::vector<ScreenTriangle> drawn;
    for (std::size_t i = 0; i < panel.triangles.size(); ++i) {
        const ScreenTriangle& t = panel.triangles[i];
        const long sample =
            sampleAt(panel, (t.x[0] + t.x[1] + t.x[2]) / 3, (t.y[0] + t.y[1] + t.y[2]) / 3);
        if (seen[i] ||
            (sample >= 0 && (t.depth[0] + t.depth[1] + t.depth[2]) / 3 + panel.depthTolerance >=
                                panel.nearest[sample])) {
            drawn.push_back(t);
        }
    }
    // Painter's order, by the depth of each triangle's middle.
    std::stable_sort(
        drawn.begin(), drawn.end(), [](const ScreenTriangle& p, const ScreenTriangle& q) {
            return p.depth[0] + p.depth[1] + p.depth[2] < q.depth[0] + q.depth[1] + q.depth[2];
        });
    panel.triangles.swap(drawn);
}

bool isInSight(const Panel& panel, const gp_Pnt& point, int face)
{
    const gp_XYZ p = projectPoint(panel, point);
    if (face >= 0) {
        const long sample = sampleAt(panel, p.X(), p.Y());
        return sample >= 0 && panel.owner[sample] == face &&
               p.Z() + panel.depthTolerance >= panel.nearest[sample];
    }
    // On an edge, the sample may fall on either side of it, or just off a silhouette.
    const double step = 1.0 / samplesPerPixel;
    for (const auto& [dx, dy] :
         {std::pair{0.0, 0.0}, {step, 0.0}, {-step, 0.0}, {0.0, step}, {0.0, -step}}) {
        const long sample = sampleAt(panel, p.X() + dx, p.Y() + dy);
        if (sample >= 0 && p.Z() + panel.depthTolerance >= panel.nearest[sample]) return true;
    }
    return false;
}

int faceAt(const Panel& panel, double x, double y)
{
    const long sample = sampleAt(panel, x, y);
    return sample >= 0 ? panel.owner[sample] : -1;
}
