#include "face_table.hpp"

#include "label_points.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepLProp_SLProps.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <Precision.hxx>
#include <TopTools_DataMapOfShapeInteger.hxx>

namespace {

// Enough places to choose from in a picture when the best one is hidden or taken.
constexpr std::size_t labelPointCount = 12;

const char* surfaceTypeName(GeomAbs_SurfaceType type)
{
    switch (type) {
    case GeomAbs_Plane: return "plane";
    case GeomAbs_Cylinder: return "cylinder";
    case GeomAbs_Cone: return "cone";
    case GeomAbs_Sphere: return "sphere";
    case GeomAbs_Torus: return "torus";
    case GeomAbs_BSplineSurface: return "bspline";
    case GeomAbs_BezierSurface: return "bezier";
    case GeomAbs_SurfaceOfRevolution: return "revolution";
    case GeomAbs_SurfaceOfExtrusion: return "extrusion";
    case GeomAbs_OffsetSurface: return "offset";
    default: return "other";
    }
}

// Where the face's number goes, and the normal there, oriented as the face is.
void placeLabel(const TopoDS_Face& face, FaceRow& row)
{
    const std::vector<gp_Pnt2d> places = findLabelPoints(face, labelPointCount);
    if (places.empty()) return;
    const BRepAdaptor_Surface surface(face);
    for (std::size_t i = 1; i < places.size(); ++i) {
        row.otherLabelPoints.push_back(surface.Value(places[i].X(), places[i].Y()));
    }
    BRepLProp_SLProps props(surface, places.front().X(), places.front().Y(), 1,
                            Precision::Confusion());
    row.hasLabelPoint = true;
    row.labelPoint = props.Value();
    // Undefined only at a singular point (a cone's apex), which the label search avoids; the
    // table then says nan rather than a direction that is not there.
    if (!props.IsNormalDefined()) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        row.normal = gp_Vec(nan, nan, nan);
        return;
    }
    row.normal = props.Normal();
    if (face.Orientation() == TopAbs_REVERSED) row.normal.Reverse();
}

void appendNumber(std::string& text, double value)
{
    // Rounding noise such as -1.8e-15 would hide a zero from the eye and from a search.
    if (std::abs(value) < 1e-9) value = 0;
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 8).ptr;
    text.append(digits, end);
}

void appendPoint(std::string& text, const gp_XYZ& point)
{
    for (int i = 1; i <= 3; ++i) {
        text += '\t';
        appendNumber(text, point.Coord(i));
    }
}

} // namespace

double meshModel(const TopoDS_Shape& modelShape)
{
    Bnd_Box box;
    BRepBndLib::Add(modelShape, box);
    if (box.IsVoid()) return 0;
    // A thousandth of the model's size: about half a pixel in a panel, where the model is some
    // 500 pixels across. The library's usual angle keeps small holes round enough, and a
    // finer one costs time and file size on large models.
    const double deflection = std::sqrt(box.SquareExtent()) * 1e-3;
    BRepMesh_IncrementalMesh(modelShape, deflection, Standard_False, 0.5);
    return deflection;
}

std::vector<FaceRow> measureFaces(const TopoDS_Shape& modelShape, const DatasetInputs* inputs)
{
    std::vector<FaceRow> rows;
    TopTools_DataMapOfShapeInteger firstVisits; // keyed by IsSame: orientation does not count
    const std::vector<int> force =
        inputs ? listedFaceNumbers({&inputs->forceFaces}) : std::vector<int>();
    const std::vector<int> restraint =
        inputs ? listedFaceNumbers({&inputs->restraintFaces}) : std::vector<int>();
    visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        FaceRow row;
        row.number = faceNumber;
        row.face = face;
        row.type = surfaceTypeName(BRepAdaptor_Surface(face, Standard_False).GetType());
        GProp_GProps props;
        BRepGProp::SurfaceProperties(face, props);
        row.area = props.Mass();
        row.centre = props.CentreOfMass();
        placeLabel(face, row);
        row.list = findInLists(faceNumber, force, restraint);
        if (const Standard_Integer* first = firstVisits.Seek(face)) {
            row.sameAs = *first;
        } else {
            firstVisits.Bind(face, faceNumber);
        }
        rows.push_back(std::move(row));
    });
    return rows;
}

std::string formatFaceTable(const std::vector<FaceRow>& rows)
{
    std::string text =
        "face\ttype\tarea\tcx\tcy\tcz\tpx\tpy\tpz\tnx\tny\tnz\tlist\tsame_as\tstale\n";
    for (const FaceRow& row : rows) {
        text += std::to_string(row.number) + '\t' + row.type + '\t';
        appendNumber(text, row.area);
        appendPoint(text, row.centre.XYZ());
        if (row.hasLabelPoint) {
            appendPoint(text, row.labelPoint.XYZ());
            appendPoint(text, row.normal.XYZ());
        } else {
            text += "\tnan\tnan\tnan\tnan\tnan\tnan";
        }
        text += '\t';
        text += listName(row.list);
        text += '\t';
        text += row.sameAs != 0 ? std::to_string(row.sameAs) : "-";
        text += row.stale ? "\tyes\n" : "\t-\n";
    }
    return text;
}
