#include "motion_fit.hpp"

#include <algorithm>
#include <cmath>

#include <Precision.hxx>
#include <Standard_Failure.hxx>

namespace {

// Mean normals of a face and of its copy differ by no more than this (their lengths are at most
// one: a flat face's is one, a whole cylinder's nought).
constexpr double normalSlack = 0.02;

bool pointsAlike(const std::vector<gp_Pnt>& these, const std::vector<gp_Pnt>& those,
                 const gp_Trsf& motion, double tolerance)
{
    for (const gp_Pnt& point : these) {
        const gp_Pnt moved = point.Transformed(motion);
        if (std::none_of(those.begin(), those.end(),
                         [&](const gp_Pnt& q) { return moved.Distance(q) <= tolerance; })) {
            return false;
        }
    }
    return true;
}

// The gauge of new face `n`, made once; null when the library cannot make it.
const FaceGauge* gaugeOf(MotionFaces& faces, int n)
{
    std::optional<FaceGauge>& gauge = faces.newGauges[std::size_t(n)];
    if (!gauge && !faces.ungauged[std::size_t(n)]) {
        try {
            gauge = gaugeFace((*faces.newFaces)[std::size_t(n)], faces.tolerance);
        } catch (const Standard_Failure&) {
            faces.ungauged[std::size_t(n)] = 1;
        }
    }
    return gauge ? &*gauge : nullptr;
}

} // namespace

bool findCell(const gp_Pnt& point, double cell, PointCell& key)
{
    constexpr double farthest = 1e15; // far within a long long, neighbours included
    for (int i = 0; i < 3; ++i) {
        const double at = point.Coord(i + 1) / cell;
        if (!(std::abs(at) <= farthest)) return false;
        key[std::size_t(i)] = std::llround(at);
    }
    return true;
}

std::size_t PointCellHash::operator()(const PointCell& cell) const
{
    std::size_t hash = 0;
    for (const long long value : cell) {
        hash = hash * 1000003u ^ std::hash<long long>()(value);
    }
    return hash;
}

MotionFaces prepareMotionFaces(const std::vector<SampledFace>& oldFaces,
                               const std::vector<SampledFace>& newFaces, double tolerance)
{
    MotionFaces faces;
    faces.oldFaces = &oldFaces;
    faces.newFaces = &newFaces;
    faces.tolerance = tolerance;
    Bnd_Box whole;
    for (const auto* side : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *side) whole.Add(face.box);
    }
    faces.size = whole.IsVoid() ? 0 : std::sqrt(whole.SquareExtent());
    // Cells no narrower than the arithmetic is exact, at no tolerance too.
    faces.cell = std::max({2 * tolerance, Precision::Confusion(), 1e-12 * faces.size});
    for (const SampledFace& face : oldFaces) faces.oldNormals.push_back(averageNormal(face));
    for (std::size_t n = 0; n < newFaces.size(); ++n) {
        faces.newNormals.push_back(averageNormal(newFaces[n]));
        PointCell key;
        if (findCell(newFaces[n].centre, faces.cell, key)) faces.newCentres[key].push_back(int(n));
    }
    faces.newGauges.resize(newFaces.size());
    faces.ungauged.assign(newFaces.size(), 0);
    return faces;
}

bool mayBeMovedCopy(const MotionFaces& faces, int o, int n)
{
    const SampledFace& a = (*faces.oldFaces)[std::size_t(o)];
    const SampledFace& b = (*faces.newFaces)[std::size_t(n)];
    if (a.type != b.type || a.vertices.size() != b.vertices.size() ||
        a.edgeMiddles.size() != b.edgeMiddles.size() || a.samples.empty() || b.samples.empty()) {
        return false;
    }
    const double t = faces.tolerance;
    // A boundary moved by the tolerance changes the area by about that much per unit of length.
    const double areaSlack = t * (a.perimeter + b.perimeter) + 1e-6 * std::max(a.area, b.area);
    const double lengthSlack =
        2 * t * double(a.edgeMiddles.size() + 1) + 1e-6 * std::max(a.perimeter, b.perimeter);
    return std::abs(a.area - b.area) <= areaSlack &&
           std::abs(a.perimeter - b.perimeter) <= lengthSlack &&
           std::abs(faces.oldNormals[std::size_t(o)].Magnitude() -
                    faces.newNormals[std::size_t(n)].Magnitude()) <= normalSlack;
}

bool fitsMoved(MotionFaces& faces, int o, int n, const gp_Trsf& motion, bool placeSamples)
{
    const SampledFace& a = (*faces.oldFaces)[std::size_t(o)];
    const SampledFace& b = (*faces.newFaces)[std::size_t(n)];
    const double t = faces.tolerance;
    if (!mayBeMovedCopy(faces, o, n) || a.centre.Transformed(motion).Distance(b.centre) > t) {
        return false;
    }
    // A face that faces every way (a whole cylinder) has a mean normal of what its samples leave
    // over, which turns with its seam: only the samples below tell where it went.
    const gp_Vec normal = faces.oldNormals[std::size_t(o)].Transformed(motion);
    if (normal.Magnitude() >= facesOneWay &&
        (normal - faces.newNormals[std::size_t(n)]).Magnitude() > normalSlack) {
        return false;
    }
    if (!pointsAlike(a.vertices, b.vertices, motion, t)) return false;
    if (!placeSamples) return true;
    // A few samples spread over the face must lie inside the new one: a whole cylinder or
    // sphere has no corners and no mean normal to tell it turned.
    SampledFace moved;
    constexpr std::size_t few = 4;
    for (std::size_t i = 0; i < few; ++i) {
        FaceSample sample = a.samples[i * a.samples.size() / few];
        sample.point.Transform(motion);
        sample.normal.Transform(motion);
        sample.weight = 1;
        moved.samples.push_back(sample);
    }
    const FaceGauge* gauge = gaugeOf(faces, n);
    if (!gauge) return false;
    try {
        const Placement placement = ::placeSamples(moved, *gauge, t);
        return placement.inside + placement.boundary >= 0.99;
    } catch (const Standard_Failure&) {
        return false;
    }
}

bool keepsParameters(MotionFaces& faces, int o, int n, const gp_Trsf& motion)
{
    const SampledFace& a = (*faces.oldFaces)[std::size_t(o)];
    const FaceGauge* gauge = gaugeOf(faces, n);
    if (!gauge) return false;
    try {
        for (const std::size_t k : {std::size_t(0), std::size_t(1)}) {
            const FaceSample& sample = a.samples[k == 0 ? 0 : a.samples.size() / 2];
            const gp_Pnt2d& uv = a.probes[k];
            const gp_Pnt there = gauge->surface.Value(uv.X(), uv.Y());
            if (there.Distance(sample.point.Transformed(motion)) > faces.tolerance) return false;
        }
        return true;
    } catch (const Standard_Failure&) {
        return false;
    }
}

MotionScore scoreMotion(MotionFaces& faces, const gp_Trsf& motion, bool placeSamples,
                        const std::vector<int>& which)
{
    const std::vector<SampledFace>& oldFaces = *faces.oldFaces;
    MotionScore score;
    score.images.assign(oldFaces.size(), -1);
    const auto weigh = [&](int o) {
        PointCell key;
        if (!findCell(oldFaces[std::size_t(o)].centre.Transformed(motion), faces.cell, key)) {
            return;
        }
        for (long long dx = -1; dx <= 1; ++dx) {
            for (long long dy = -1; dy <= 1; ++dy) {
                for (long long dz = -1; dz <= 1; ++dz) {
                    const auto found =
                        faces.newCentres.find({key[0] + dx, key[1] + dy, key[2] + dz});
                    if (found == faces.newCentres.end()) continue;
                    for (const int n : found->second) {
                        if (!fitsMoved(faces, o, n, motion, placeSamples)) continue;
                        const double area = oldFaces[std::size_t(o)].area;
                        score.images[std::size_t(o)] = n;
                        score.fitted += area;
                        if (keepsParameters(faces, o, n, motion)) score.framed += area;
                        return;
                    }
                }
            }
        }
    };
    if (!which.empty()) {
        for (const int o : which) weigh(o);
        return score;
    }
    for (int o = 0; o < int(oldFaces.size()); ++o) weigh(o);
    std::vector<char> hit(faces.newFaces->size(), 0);
    for (const int n : score.images) {
        if (n >= 0) hit[std::size_t(n)] = 1;
    }
    score.misfits = int(std::count(score.images.begin(), score.images.end(), -1)) +
                    int(std::count(hit.begin(), hit.end(), 0));
    return score;
}
