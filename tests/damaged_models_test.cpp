// Damaged models whose transfer kept a lone run busy for good, each a generated part written as
// STEP with one value of its text replaced: the check of the model's numbers refuses each before
// the transfer, in one line that names the entity.
#include "test_support.hpp"

#include <regex>

#include <sys/resource.h>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepOffsetAPI_ThruSections.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <GC_MakeArcOfEllipse.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

namespace fs = std::filesystem;

namespace {

class DamagedModelTest : public ProcessTest {};

// A B-spline surface: a loft through three circles.
TopoDS_Shape makeLoft()
{
    BRepOffsetAPI_ThruSections loft(Standard_True, Standard_False);
    const double sections[][3] = {{0, 0, 5}, {2, 10, 3}, {0, 20, 4}}; // y, z, radius
    for (const auto& s : sections) {
        const gp_Circ circle(gp_Ax2(gp_Pnt(0, s[0], s[1]), gp::DZ()), s[2]);
        loft.AddWire(BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(circle)));
    }
    loft.Build();
    return loft.Shape();
}

// A half-ellipse pushed up: its curved side is an arc of an ellipse with two vertices.
TopoDS_Shape makeHalfEllipse()
{
    const gp_Elips ellipse(gp_Ax2(gp_Pnt(0, 0, 0), gp::DZ()), 10, 4);
    const Handle(Geom_TrimmedCurve) arc = GC_MakeArcOfEllipse(ellipse, 0, M_PI, Standard_True);
    const TopoDS_Wire outline =
        BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(arc),
                                BRepBuilderAPI_MakeEdge(gp_Pnt(-10, 0, 0), gp_Pnt(10, 0, 0)));
    return BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(outline), gp_Vec(0, 0, 6)).Shape();
}

// "#N (line L)" of the entity that holds the text at `at`.
std::string entityAt(const std::string& text, std::size_t at)
{
    const std::size_t start = text.rfind("\n#", at) + 1;
    const long line = 1 + long(std::count(text.begin(), text.begin() + long(at), '\n'));
    return text.substr(start, text.find(' ', start) - start) + " (line " + std::to_string(line) +
           ")";
}

} // namespace

// Where each looped: the healing after the transfer (ShapeFix), inside one face, where the
// transfer's progress is not asked. A knot the library takes for infinite gives the surface an
// infinite range, on which the projection of its edges (Extrema_GenExtPS) tries a solution from
// each point of a sampling without end. A vertex at NaN sends the healing's projections round for
// ever. A semi-axis of an ellipse that is no length, in the intersection of its edges
// (IntCurve_IntConicConic, line and ellipse), makes a tolerance divided by it infinite, to which
// a full turn is added until it is no longer negative. The run is bounded here by its processor
// time only so that a regression fails rather than hangs.
TEST_F(DamagedModelTest, DamagedModelsThatKeptTheLibraryBusyAreRefused)
{
    struct Case {
        std::string name;
        TopoDS_Shape shape;
        std::regex damaged; ///< what the damage replaces: the first group of its every match
        std::string value;
        std::string why;    ///< what the line says after the entity
    };
    const std::string infinite = ", which the library takes for infinite";
    const std::string noLength = ", below the library's smallest length, 1.E-7";
    const std::string notFinite = " where a number belongs, which the reader converts to one "
                                  "that is not finite";
    const std::regex firstKnot("\\(3,3\\),\\((0\\.),1\\.\\),\\(0\\.,1\\.\\)");
    const std::regex lastKnot("\\(3,3\\),\\(0\\.,1\\.\\),\\(0\\.,(1\\.)\\)");
    const std::regex semiAxis("ELLIPSE\\('',#[0-9]+,10\\.,(4\\.)\\)");
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(10, 20, 30).Shape();
    const std::vector<Case> cases = {
        {"first-knot", makeLoft(), firstKnot, "-1.E308", "holds the number -1.E308" + infinite},
        {"last-knot", makeLoft(), lastKnot, "1.E308", "holds the number 1.E308" + infinite},
        {"vertex-nan", box, std::regex("#[0-9]+ = VERTEX_POINT\\('',#[0-9]+\\);\\n#[0-9]+ = "
                                       "CARTESIAN_POINT\\('',\\(([-.0-9E]+),"),
         "NaN", "holds NaN" + notFinite},
        {"semi-axis-zero", makeHalfEllipse(), semiAxis, "0.",
         "is an ellipse with a semi-axis of 0." + noLength},
        {"semi-axis-subnormal", makeHalfEllipse(), semiAxis, "1.E-320",
         "is an ellipse with a semi-axis of 1.E-320" + noLength},
        {"semi-axis-nan", makeHalfEllipse(), semiAxis, "NaN", "holds NaN" + notFinite},
    };
    for (const Case& c : cases) {
        const fs::path root = dir / c.name;
        const fs::path model = root / "model.step";
        fs::create_directories(root);
        writeStepModel(c.shape, model);
        std::string text = readFile(model);
        std::size_t first = std::string::npos;
        for (std::size_t from = 0;;) {
            std::smatch match;
            const std::string rest = text.substr(from);
            if (!std::regex_search(rest, match, c.damaged)) break;
            const std::size_t at = from + std::size_t(match.position(1));
            text.replace(at, std::size_t(match.length(1)), c.value);
            if (first == std::string::npos) first = at;
            from = at + c.value.size();
        }
        ASSERT_NE(first, std::string::npos) << c.name;
        writeFile(model, text);
        makeDataset(root, model.string(), "1 0 0\n", "");

        const ToolRun run = runTool({root.string()}, {}, {}, [] {
            const struct rlimit limit = {60, 60};
            ::setrlimit(RLIMIT_CPU, &limit);
        });
        EXPECT_EQ(run.exitStatus, 1) << c.name;
        EXPECT_EQ(run.err, "tarnfold: error: cannot read STEP model '" + model.string() +
                               "': entity " + entityAt(text, first) + " " + c.why +
                               "; nothing was transferred\n")
            << c.name;
        EXPECT_EQ(listNames(root / "data"),
                  (std::vector<std::string>{"address.txt", "force", "restraint"}));
    }
}
