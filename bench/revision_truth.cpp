// What became of each face of a revision, as the modelling algorithms that made it record it.
#include "revision_pairs.hpp"

#include "model/face_numbering.hpp"

#include <algorithm>
#include <map>

#include <BRepClass_FaceClassifier.hxx>
#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <TopoDS.hxx>

namespace {

int numberOf(const std::vector<TopoDS_Face>& faces, const TopoDS_Shape& face)
{
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (faces[i].IsSame(face)) return int(i) + 1;
    }
    return 0;
}

// Whether `b` is `a` moved by `motion`: the same area, its centre where the motion puts a's.
bool sameAreaAndCentre(const TopoDS_Face& a, const TopoDS_Face& b, const gp_Trsf& motion)
{
    GProp_GProps pa, pb;
    BRepGProp::SurfaceProperties(a, pa);
    BRepGProp::SurfaceProperties(b, pb);
    return std::abs(pa.Mass() - pb.Mass()) < 1e-6 &&
           pa.CentreOfMass().Transformed(motion).Distance(pb.CentreOfMass()) < 1e-6;
}

// Whether points spread over face `a` lie on the surface of face `b`.
bool onSameSurface(const TopoDS_Face& a, const TopoDS_Face& b)
{
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    BRepTools::UVBounds(a, u0, u1, v0, v1);
    const Handle(Geom_Surface) from = BRep_Tool::Surface(a), onto = BRep_Tool::Surface(b);
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            const gp_Pnt p = from->Value(u0 + (u1 - u0) * i / 4, v0 + (v1 - v0) * j / 4);
            GeomAPI_ProjectPointOnSurf projection(p, onto);
            if (projection.NbPoints() == 0 || projection.LowerDistance() > 1e-6) return false;
        }
    }
    return true;
}

// Points inside face `a` on a grid over its parameters.
std::vector<gp_Pnt> pointsInside(const TopoDS_Face& a)
{
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    BRepTools::UVBounds(a, u0, u1, v0, v1);
    const Handle(Geom_Surface) surface = BRep_Tool::Surface(a);
    std::vector<gp_Pnt> points;
    for (int i = 1; i < 8; ++i) {
        for (int j = 1; j < 8; ++j) {
            const gp_Pnt2d uv(u0 + (u1 - u0) * i / 8, v0 + (v1 - v0) * j / 8);
            if (BRepClass_FaceClassifier(a, uv, 1e-7).State() == TopAbs_IN) {
                points.push_back(surface->Value(uv.X(), uv.Y()));
            }
        }
    }
    return points;
}

bool overlaps(const TopoDS_Face& a, const TopoDS_Face& b)
{
    for (const gp_Pnt& point : pointsInside(a)) {
        if (BRepClass_FaceClassifier(b, point, 1e-6).State() == TopAbs_IN) return true;
    }
    return false;
}

double centreDistance(const TopoDS_Face& a, const TopoDS_Face& b)
{
    GProp_GProps pa, pb;
    BRepGProp::SurfaceProperties(a, pa);
    BRepGProp::SurfaceProperties(b, pb);
    return pa.CentreOfMass().Distance(pb.CentreOfMass());
}

// Of the faces that a role became in the new build, those that old face `face`, one of the
// several the role became in the old build, became: those it overlaps on its surface, or else
// the nearest.
std::vector<TopoDS_Shape> pickPieces(const TopoDS_Face& face,
                                     const std::vector<TopoDS_Shape>& pieces)
{
    std::vector<TopoDS_Shape> picked;
    for (const TopoDS_Shape& piece : pieces) {
        const TopoDS_Face& other = TopoDS::Face(piece);
        if (onSameSurface(face, other) && (overlaps(face, other) || overlaps(other, face))) {
            picked.push_back(piece);
        }
    }
    if (!picked.empty() || pieces.empty()) return picked;
    const auto nearest = std::min_element(
        pieces.begin(), pieces.end(), [&](const TopoDS_Shape& a, const TopoDS_Shape& b) {
            return centreDistance(face, TopoDS::Face(a)) < centreDistance(face, TopoDS::Face(b));
        });
    return {*nearest};
}

} // namespace

std::vector<TopoDS_Face> numberedFaces(const TopoDS_Shape& shape)
{
    std::vector<TopoDS_Face> faces;
    visitFaces(shape, [&](int, const TopoDS_Face& face) { faces.push_back(face); });
    return faces;
}

std::vector<Truth> truthOf(const Revision& revision)
{
    if (!revision.truth.empty()) return revision.truth;
    const std::vector<TopoDS_Face> before = numberedFaces(revision.before);
    const std::vector<TopoDS_Face> after = numberedFaces(revision.after);
    std::vector<Truth> truths;
    std::map<int, int> sources; // how many old faces became each new face
    for (const TopoDS_Face& face : before) {
        Truth truth{"same", {}};
        if (revision.history.IsNull() || revision.history->Modified(face).IsEmpty()) {
            if (!revision.history.IsNull() && revision.history->IsRemoved(face)) {
                truth.kind = "gone";
            } else {
                truth.numbers = {numberOf(after, face)};
            }
        } else {
            for (const TopoDS_Shape& image : revision.history->Modified(face)) {
                truth.numbers.push_back(numberOf(after, image));
            }
            std::sort(truth.numbers.begin(), truth.numbers.end());
            truth.kind = truth.numbers.size() > 1 ? "split" : "changed";
            // An algorithm may rebuild a face it leaves as it was, for new edges around it.
            if (truth.kind == "changed" &&
                sameAreaAndCentre(face, after[std::size_t(truth.numbers[0] - 1)],
                                  revision.motion)) {
                truth.kind = "same";
            }
        }
        if (truth.kind == "changed") ++sources[truth.numbers.front()];
        truths.push_back(truth);
    }
    for (Truth& truth : truths) {
        if (truth.kind == "changed" && sources[truth.numbers.front()] > 1) truth.kind = "merged";
    }
    return truths;
}

Revision rebuilt(const Build& before, const Build& after)
{
    Revision revision{before.shape, after.shape, nullptr, {}, {}};
    const std::vector<TopoDS_Face> oldFaces = numberedFaces(before.shape);
    const std::vector<TopoDS_Face> newFaces = numberedFaces(after.shape);
    std::map<int, int> sources;
    for (const TopoDS_Face& face : oldFaces) {
        Truth truth{"gone", {}};
        for (std::size_t r = 0; r < before.roles.size() && r < after.roles.size(); ++r) {
            const auto& role = before.roles[r];
            if (std::none_of(role.begin(), role.end(),
                             [&](const TopoDS_Shape& s) { return s.IsSame(face); })) {
                continue;
            }
            const std::vector<TopoDS_Shape> images =
                role.size() > 1 ? pickPieces(face, after.roles[r]) : after.roles[r];
            for (const TopoDS_Shape& image : images) {
                const int number = numberOf(newFaces, image);
                if (number > 0) truth.numbers.push_back(number);
            }
        }
        std::sort(truth.numbers.begin(), truth.numbers.end());
        truth.numbers.erase(std::unique(truth.numbers.begin(), truth.numbers.end()),
                            truth.numbers.end());
        if (truth.numbers.size() > 1) {
            truth.kind = "split";
        } else if (truth.numbers.size() == 1) {
            const TopoDS_Face& image = newFaces[std::size_t(truth.numbers[0] - 1)];
            truth.kind = sameAreaAndCentre(face, image, gp_Trsf()) ? "same"
                         : onSameSurface(face, image)              ? "changed"
                                                                   : "reshaped";
            if (truth.kind == "changed") ++sources[truth.numbers[0]];
        }
        revision.truth.push_back(truth);
    }
    for (Truth& truth : revision.truth) {
        if (truth.kind == "changed" && sources[truth.numbers.front()] > 1) truth.kind = "merged";
    }
    return revision;
}
