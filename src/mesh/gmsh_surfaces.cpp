#include "gmsh_surfaces.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"

#include <gmsh.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <locale>

#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <Geom_Curve.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>

#include <fcntl.h>
#include <unistd.h>

namespace {

// What a face is paired with a surface by.
struct Measures {
    double area = 0;
    gp_Pnt centre;
    Bnd_Box box;
};

Measures measureFace(const TopoDS_Face& face)
{
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    Measures measures{props.Mass(), props.CentreOfMass(), {}};
    BRepBndLib::Add(face, measures.box, Standard_False);
    return measures;
}

Measures measureSurface(int tag)
{
    Measures measures;
    gmsh::model::occ::getMass(2, tag, measures.area);
    double x = 0, y = 0, z = 0, x1 = 0, y1 = 0, z1 = 0;
    gmsh::model::occ::getCenterOfMass(2, tag, x, y, z);
    measures.centre = gp_Pnt(x, y, z);
    gmsh::model::occ::getBoundingBox(2, tag, x, y, z, x1, y1, z1);
    measures.box.Update(x, y, z, x1, y1, z1);
    return measures;
}

// Whether each box lies in the other enlarged by `slack`: gmsh bounds a curved surface more
// loosely than OCCT's tight bounds do.
bool boxesAgree(const Bnd_Box& a, const Bnd_Box& b, double slack)
{
    if (a.IsVoid() || b.IsVoid()) return a.IsVoid() == b.IsVoid();
    double a0[3], a1[3], b0[3], b1[3];
    a.Get(a0[0], a0[1], a0[2], a1[0], a1[1], a1[2]);
    b.Get(b0[0], b0[1], b0[2], b1[0], b1[1], b1[2]);
    for (int i = 0; i < 3; ++i) {
        if (std::abs(a0[i] - b0[i]) > slack || std::abs(a1[i] - b1[i]) > slack) return false;
    }
    return true;
}

// A point of the face: inside it where a grid over its parameter domain finds one, otherwise
// the middle of one of its edges, which lies on its surface too.
bool findPointOn(const TopoDS_Face& face, gp_Pnt& point)
{
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    const BRepTopAdaptor_FClass2d classifier(face, BRep_Tool::Tolerance(face));
    const BRepAdaptor_Surface surface(face);
    constexpr int steps = 8;
    for (int i = 0; i <= steps * steps; ++i) {
        const double s = i == 0 ? 0.5 : (0.5 + (i - 1) % steps) / steps;
        const double t = i == 0 ? 0.5 : (0.5 + (i - 1) / steps) / steps;
        const gp_Pnt2d uv(u0 + s * (u1 - u0), v0 + t * (v1 - v0));
        if (classifier.Perform(uv) == TopAbs_IN) {
            point = surface.Value(uv.X(), uv.Y());
            return true;
        }
    }
    for (TopExp_Explorer edge(face, TopAbs_EDGE); edge.More(); edge.Next()) {
        double first = 0, last = 0;
        const Handle(Geom_Curve) curve = BRep_Tool::Curve(TopoDS::Edge(edge.Current()), first, last);
        if (curve.IsNull()) continue;
        point = curve->Value(0.5 * (first + last));
        return true;
    }
    return false;
}

// The largest tolerance of the face and its edges: how far its edges' middles may lie off it.
double maxTolerance(const TopoDS_Face& face)
{
    double tolerance = BRep_Tool::Tolerance(face);
    for (TopExp_Explorer edge(face, TopAbs_EDGE); edge.More(); edge.Next()) {
        tolerance = std::max(tolerance, BRep_Tool::Tolerance(TopoDS::Edge(edge.Current())));
    }
    return tolerance;
}

bool liesOnSurface(int tag, const gp_Pnt& point, double tolerance)
{
    std::vector<double> closest, parameters;
    gmsh::model::getClosestPoint(2, tag, {point.X(), point.Y(), point.Z()}, closest, parameters);
    return closest.size() == 3 &&
           point.Distance(gp_Pnt(closest[0], closest[1], closest[2])) <= tolerance;
}

// The distinct faces of what gmsh wrote; "" or why there are none.
std::string readWrittenFaces(const std::string& file, std::vector<TopoDS_Face>& faces)
{
    std::ifstream stream(file, std::ios::binary);
    stream.imbue(std::locale::classic());
    if (!stream) return "cannot read gmsh's surfaces back from '" + file + "': " + systemReason(errno);
    TopoDS_Shape written;
    try {
        BRep_Builder builder;
        BRepTools::Read(written, stream, builder);
    } catch (const Standard_Failure&) {
        written.Nullify();
    }
    if (written.IsNull()) return "cannot read gmsh's surfaces back from '" + file + "'";
    TopTools_IndexedMapOfShape distinct;
    for (TopExp_Explorer explorer(written, TopAbs_FACE); explorer.More(); explorer.Next()) {
        if (distinct.Add(explorer.Current()) > int(faces.size())) {
            faces.push_back(TopoDS::Face(explorer.Current()));
        }
    }
    return {};
}

} // namespace

std::vector<GmshSurface> readGmshSurfaces(const std::string& scratchFile, std::string& error,
                                          RunState* state)
{
    gmsh::vectorpair surfaces;
    gmsh::model::getEntities(surfaces, 2);
    if (surfaces.empty()) return {};
    recordTemporary(state, scratchFile);
    const int fd = ::open(scratchFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create '" + scratchFile + "' for gmsh's surfaces: " + systemReason(errno);
        recordTemporary(state, "");
        return {};
    }
    ::close(fd);
    std::vector<TopoDS_Face> faces;
    try {
        gmsh::write(scratchFile);
        error = readWrittenFaces(scratchFile, faces);
    } catch (...) {
        ::unlink(scratchFile.c_str());
        recordTemporary(state, "");
        throw;
    }
    ::unlink(scratchFile.c_str());
    recordTemporary(state, "");
    if (!error.empty()) return {};

    std::vector<Measures> measured;
    Bnd_Box whole;
    for (const TopoDS_Face& face : faces) {
        measured.push_back(measureFace(face));
        whole.Add(measured.back().box);
    }
    const double size = whole.IsVoid() ? 1 : std::sqrt(whole.SquareExtent());
    const double near = 1e-7 * size;
    std::vector<bool> taken(faces.size(), false);
    std::vector<GmshSurface> result;
    for (const auto& [dim, tag] : surfaces) {
        const Measures theirs = measureSurface(tag);
        const double slack = 0.01 * std::sqrt(theirs.box.IsVoid() ? 0 : theirs.box.SquareExtent()) + near;
        std::size_t found = faces.size();
        for (std::size_t i = 0; i < faces.size() && found == faces.size(); ++i) {
            const Measures& mine = measured[i];
            gp_Pnt point;
            if (taken[i] || std::abs(mine.area - theirs.area) > 1e-7 * theirs.area + near * near ||
                mine.centre.Distance(theirs.centre) > near ||
                !boxesAgree(mine.box, theirs.box, slack) || !findPointOn(faces[i], point) ||
                !liesOnSurface(tag, point, near + maxTolerance(faces[i]))) {
                continue;
            }
            found = i;
        }
        if (found == faces.size()) {
            error = "gmsh's surface " + std::to_string(tag) +
                    " pairs with no face of what gmsh wrote of its model";
            return {};
        }
        taken[found] = true;
        result.push_back({tag, faces[found]});
    }
    return result;
}
