// tarnfold-faces: the face table and the picture, on models made here with OCCT, checked against
// the geometry itself and against the face files that tarnfold writes for the same numbers.
#include "test_support.hpp"

#include "faces/face_picture.hpp"
#include "faces/face_table.hpp"
#include "intake/dataset_inputs.hpp"

#include <array>
#include <map>
#include <set>
#include <sstream>

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepClass_FaceClassifier.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Circ.hxx>
#include <gp_Pln.hxx>

namespace fs = std::filesystem;

class FacesTest : public TempDirTest {};

namespace {

gp_XYZ readPoint(const TableRow& row, const char* prefix)
{
    const std::string p = prefix;
    return gp_XYZ(std::stod(row.at(p + "x")), std::stod(row.at(p + "y")),
                  std::stod(row.at(p + "z")));
}

const char* const boxHeader =
    "face\ttype\tarea\tcx\tcy\tcz\tpx\tpy\tpz\tnx\tny\tnz\tlist\tsame_as\tstale";

// Checks one face of the box (0,0,0)-(10,20,30): its area, its normal pointing out of the box
// along an axis, and its label point at the middle of the face, which for a rectangle is also
// its centre of area.
void expectBoxFace(const std::string& context, double area, const gp_XYZ& centre,
                   const gp_XYZ& labelPoint, const gp_XYZ& normal)
{
    const gp_XYZ size(10, 20, 30), middle(5, 10, 15);
    int axis = 0;
    for (int i = 1; i <= 3; ++i) {
        if (std::abs(normal.Coord(i)) > 0.5) axis = i;
    }
    ASSERT_NE(axis, 0) << context;
    EXPECT_NEAR(normal.Modulus(), 1, 1e-6) << context;
    EXPECT_NEAR(std::abs(normal.Coord(axis)), 1, 1e-6) << context;
    // Outward: from the middle of the box towards the face.
    EXPECT_GT(normal.Dot(centre - middle), 0) << context;
    EXPECT_NEAR(area, size.X() * size.Y() * size.Z() / size.Coord(axis), 1e-6) << context;
    EXPECT_LT((labelPoint - centre).Modulus(), 1e-6) << context;
}

TopoDS_Shape box()
{
    return BRepPrimAPI_MakeBox(10, 20, 30).Shape();
}

std::string facesBinary()
{
    return TARNFOLD_FACES_BINARY;
}

// A tag's box in the picture: left, top, width, height.
using TagBox = std::array<double, 4>;

// The numbers on the picture's tags, each as often as it is shown, and their boxes when asked
// for; fails on a document that is not well-formed XML or that reaches outside itself.
std::multiset<int> readTags(const std::string& svg, std::vector<TagBox>* boxes = nullptr)
{
    std::multiset<int> numbers;
    xmlDocPtr document = xmlReadMemory(svg.data(), int(svg.size()), "picture.svg", nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(document, nullptr) << "not well-formed XML";
    if (!document) return numbers;
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    xmlXPathRegisterNs(context, BAD_CAST "s", BAD_CAST "http://www.w3.org/2000/svg");
    const auto select = [&](const char* path) {
        return xmlXPathEvalExpression(BAD_CAST path, context);
    };

    xmlXPathObjectPtr outside =
        select("//s:script | //s:image | //s:foreignObject | //@*[local-name()='href']");
    EXPECT_EQ(xmlXPathNodeSetGetLength(outside->nodesetval), 0) << "not self-contained";
    xmlXPathFreeObject(outside);

    xmlXPathObjectPtr tags = select("//s:g[@class='tag']");
    for (int i = 0; i < xmlXPathNodeSetGetLength(tags->nodesetval); ++i) {
        xmlNodePtr tag = tags->nodesetval->nodeTab[i];
        xmlChar* face = xmlGetProp(tag, BAD_CAST "data-face");
        xmlChar* text = xmlNodeGetContent(tag);
        // What a reader sees in the tag is the number the tag is for.
        EXPECT_STREQ(reinterpret_cast<const char*>(text), reinterpret_cast<const char*>(face));
        numbers.insert(std::atoi(reinterpret_cast<const char*>(face)));
        xmlFree(face);
        xmlFree(text);
        for (xmlNodePtr child = tag->children; boxes && child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || xmlStrcmp(child->name, BAD_CAST "rect")) {
                continue;
            }
            TagBox& box = boxes->emplace_back();
            const char* names[] = {"x", "y", "width", "height"};
            for (int k = 0; k < 4; ++k) {
                xmlChar* value = xmlGetProp(child, BAD_CAST names[k]);
                box[k] = std::atof(reinterpret_cast<const char*>(value));
                xmlFree(value);
            }
        }
    }
    xmlXPathFreeObject(tags);
    xmlXPathFreeContext(context);
    xmlFreeDoc(document);
    return numbers;
}

const char* surfaceTypeName(const TopoDS_Face& face)
{
    switch (BRepAdaptor_Surface(face).GetType()) {
    case GeomAbs_Plane: return "plane";
    case GeomAbs_Cylinder: return "cylinder";
    case GeomAbs_Cone: return "cone";
    case GeomAbs_Sphere: return "sphere";
    default: return "something else";
    }
}

} // namespace

// The table of a box, through the command: stdout holds the table alone (the reader's messages
// go to stderr), one row per face, with areas, outward normals and the lists right. A stray
// list entry is reported as tarnfold reports it, and the table is still printed.
TEST_F(FacesTest, TableOfABox)
{
    writeStepModel(box(), dir / "box.step");
    makeDataset(dir / "set", (dir / "box.step").string(), "1 0 0\n4 0 0\n",
                "4 0 0 0 0 0 0\n6 0 0 0 0 0 0\n9 0 0 0 0 0 0\n");

    const ToolRun run = runBinary(facesBinary(), {(dir / "set").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("\ntarnfold-faces: error: restraint list entry 9 selects no face: the "
                           "model has 6 faces\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), boxHeader);
    const std::vector<TableRow> rows = parseTable(run.out);
    ASSERT_EQ(rows.size(), 6u) << run.out;
    const std::map<int, std::string> lists = {{1, "force"}, {4, "both"}, {6, "restraint"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TableRow& row = rows[i];
        const int number = int(i) + 1;
        const std::string context = "face " + std::to_string(number);
        EXPECT_EQ(row.at("face"), std::to_string(number));
        EXPECT_EQ(row.at("type"), "plane") << context;
        expectBoxFace(context, std::stod(row.at("area")), readPoint(row, "c"), readPoint(row, "p"),
                      readPoint(row, "n"));
        EXPECT_EQ(row.at("list"), lists.count(number) ? lists.at(number) : "-") << context;
        EXPECT_EQ(row.at("same_as"), "-") << context;
        EXPECT_EQ(row.at("stale"), "-") << context;
    }
}

// A compound that holds a box and, again, one of its faces (reversed): seven visits, the
// seventh the same face as the third, with its normal turned as it is turned in the model.
TEST(FaceTable, FaceVisitedTwice)
{
    const TopoDS_Shape solid = box();
    TopExp_Explorer faces(solid, TopAbs_FACE);
    for (int i = 1; i < 3; ++i) faces.Next();
    const TopoDS_Shape third = faces.Current();
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    builder.Add(compound, solid);
    builder.Add(compound, third.Reversed());

    DatasetInputs inputs;
    inputs.forceFaces = {7};
    inputs.restraintFaces = {3, 5};
    meshModel(compound);
    const std::vector<FaceRow> rows = measureFaces(compound, &inputs);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < 6; ++i) {
        const FaceRow& row = rows[i];
        ASSERT_TRUE(row.hasLabelPoint) << row.number;
        expectBoxFace("face " + std::to_string(row.number), row.area, row.centre.XYZ(),
                      row.labelPoint.XYZ(), row.normal.XYZ());
        EXPECT_EQ(row.sameAs, 0) << row.number;
    }
    EXPECT_EQ(rows[6].sameAs, 3);
    EXPECT_NEAR(rows[6].area, rows[2].area, 1e-9);
    EXPECT_LT(rows[6].labelPoint.Distance(rows[2].labelPoint), 1e-9);
    EXPECT_LT((rows[6].normal + rows[2].normal).Magnitude(), 1e-9) << "not reversed";

    const std::vector<TableRow> table = parseTable(formatFaceTable(rows));
    ASSERT_EQ(table.size(), 7u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"-", "-"},         {"-", "-"}, {"restraint", "-"}, {"-", "-"},
        {"restraint", "-"}, {"-", "-"}, {"force", "3"}};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(table[i].at("list"), expected[i].first) << "face " << i + 1;
        EXPECT_EQ(table[i].at("same_as"), expected[i].second) << "face " << i + 1;
    }
}

// The label point of a ring and of an L lies inside the face, clear of its boundary, where the
// centre of area does not (the middle of the hole, the inner corner's outside).
TEST(FaceTable, LabelPointInsideRingAndL)
{
    const gp_Pln plane;
    BRepBuilderAPI_MakeFace ring(
        plane, BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(gp::XOY(), 10))).Wire());
    ring.Add(TopoDS::Wire(
        BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(gp::XOY(), 7))).Wire().Reversed()));
    BRepBuilderAPI_MakePolygon outline;
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{
             {0, 0}, {30, 0}, {30, 4}, {4, 4}, {4, 30}, {0, 30}}) {
        outline.Add(gp_Pnt(x, y, 0));
    }
    outline.Close();
    const TopoDS_Face lFace = BRepBuilderAPI_MakeFace(outline.Wire(), Standard_True);

    // Half the width of the ring's band, and of the L's arms.
    const std::vector<std::pair<TopoDS_Face, double>> cases = {{ring.Face(), 1.5}, {lFace, 2}};
    for (const auto& [face, halfWidth] : cases) {
        meshModel(face);
        const std::vector<FaceRow> rows = measureFaces(face, nullptr);
        ASSERT_EQ(rows.size(), 1u);
        ASSERT_TRUE(rows[0].hasLabelPoint);
        BRepClass_FaceClassifier centre(face, rows[0].centre, 1e-7);
        EXPECT_EQ(centre.State(), TopAbs_OUT) << "the case no longer shows anything";
        BRepClass_FaceClassifier label(face, rows[0].labelPoint, 1e-7);
        EXPECT_EQ(label.State(), TopAbs_IN)
            << rows[0].labelPoint.X() << ' ' << rows[0].labelPoint.Y();
        // Near the middle of the band: a point on the boundary would pass the classifier too.
        EXPECT_NEAR(std::abs(rows[0].labelPoint.Z()), 0, 1e-9);
        const double fromCentre = gp_Pnt(0, 0, 0).Distance(rows[0].labelPoint);
        if (halfWidth == 1.5) {
            EXPECT_NEAR(fromCentre, 8.5, 0.5);
        } else {
            const double x = rows[0].labelPoint.X(), y = rows[0].labelPoint.Y();
            EXPECT_NEAR(std::min(x, y), 2, 0.5) << x << ' ' << y;
        }
    }
}

// The picture of a box parses as XML, is self-contained, and holds one tag for each face that
// --labels selects (iso and iso-back see every face of a box exactly once).
TEST_F(FacesTest, PictureOfABox)
{
    writeStepModel(box(), dir / "box.step");
    makeDataset(dir / "set", (dir / "box.step").string(), "2 0 0\n",
                "5 0 0 0 0 0 0\n2 0 0 0 0 0 0\n");
    const struct {
        std::vector<std::string> options;
        std::multiset<int> tags;
    } cases[] = {
        {{}, {2, 5}},
        {{"--labels", "listed"}, {2, 5}},
        {{"--labels", "all"}, {1, 2, 3, 4, 5, 6}},
        {{"--labels=none"}, {}},
    };
    for (const auto& c : cases) {
        const fs::path picture = dir / "faces.svg";
        std::vector<std::string> args = {(dir / "set").string(), "--svg", picture.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = runBinary(facesBinary(), args);
        const std::string context = c.options.empty() ? "default labels" : c.options.front();
        ASSERT_EQ(run.exitStatus, 0) << context << ": " << run.err;
        const std::string svg = readFile(picture);
        EXPECT_EQ(readTags(svg), c.tags) << context;
        EXPECT_NE(svg.find("model: box.step"), std::string::npos) << context;
        EXPECT_NE(svg.find("views: iso, iso-back"), std::string::npos) << context;
        EXPECT_EQ(listNames(dir), (std::vector<std::string>{"box.step", "faces.svg", "set"}))
            << "a temporary left behind";
    }
}

// A face that looks towards the viewer but lies behind another solid gets no tag in that view:
// a small cube straight behind a box, as the iso view sees it. From the other corner, the cube's
// far faces are in sight; its three near faces are in sight in neither view.
TEST(FacePicture, HiddenFacesGetNoTag)
{
    const gp_XYZ behind = gp_XYZ(5, 10, 15) - 40 * gp_XYZ(1, -1, 1) / std::sqrt(3.0);
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    builder.Add(compound, box());
    builder.Add(compound, BRepPrimAPI_MakeBox(gp_Pnt(behind - gp_XYZ(1, 1, 1)), 2, 2, 2).Shape());

    const double deflection = meshModel(compound);
    const std::vector<FaceRow> rows = measureFaces(compound, nullptr);
    ASSERT_EQ(rows.size(), 12u);
    const std::string svg = drawFacePicture(compound, rows, {View::iso, View::isoBack},
                                            LabelChoice::all, "two.step", deflection);
    // The cube's faces, numbered after the box's: 7 at -x, 10 at +y, 11 at -z.
    EXPECT_EQ(readTags(svg), (std::multiset<int>{1, 2, 3, 4, 5, 6, 7, 10, 11}));
    EXPECT_NE(svg.find("in sight in no view: 8 9 12"), std::string::npos);
}

// Each view looks from where its name says: an axis view of a box sees the one face that
// faces it, an iso view the three faces of its corner. MakeBox numbers the faces -x, +x, -y,
// +y, -z, +z.
TEST(FacePicture, ViewsLookFromWhereTheySay)
{
    const TopoDS_Shape solid = box();
    const double deflection = meshModel(solid);
    const std::vector<FaceRow> rows = measureFaces(solid, nullptr);
    const std::vector<std::pair<View, std::multiset<int>>> cases = {
        {View::front, {3}}, {View::back, {4}},         {View::left, {1}},
        {View::right, {2}}, {View::top, {6}},          {View::bottom, {5}},
        {View::iso, {2, 3, 6}}, {View::isoBack, {1, 4, 5}},
    };
    for (const auto& [view, faces] : cases) {
        const std::string svg =
            drawFacePicture(solid, rows, {view}, LabelChoice::all, "box.step", deflection);
        EXPECT_EQ(readTags(svg), faces) << viewName(view);
    }
}

// Tags keep apart where there is room: a row of cubes a few pixels wide, far apart, each
// showing three faces meeting at a corner, so that tags at the middles of the faces would
// overlap.
TEST(FacePicture, TagsDoNotOverlap)
{
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    for (int i = 0; i < 8; ++i) {
        builder.Add(compound, BRepPrimAPI_MakeBox(gp_Pnt(20.0 * i, 0, 0), 1, 1, 1).Shape());
    }
    const double deflection = meshModel(compound);
    const std::vector<FaceRow> rows = measureFaces(compound, nullptr);
    std::vector<TagBox> boxes;
    const std::string svg =
        drawFacePicture(compound, rows, {View::iso}, LabelChoice::all, "cubes.step", deflection);
    ASSERT_EQ(readTags(svg, &boxes).size(), 24u);
    ASSERT_EQ(boxes.size(), 24u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        for (std::size_t j = i + 1; j < boxes.size(); ++j) {
            const TagBox &a = boxes[i], &b = boxes[j];
            const bool apart = a[0] + a[2] <= b[0] || b[0] + b[2] <= a[0] ||
                               a[1] + a[3] <= b[1] || b[1] + b[3] <= a[1];
            EXPECT_TRUE(apart) << "tags " << i << " and " << j << " overlap";
        }
    }
}

// tarnfold-faces and tarnfold agree: behind each number, the face file that tarnfold writes is
// the face that the table describes (surface type, area, centre of area).
TEST_F(FacesTest, AgreesWithTheFaceFiles)
{
    const TopoDS_Shape drilled =
        BRepAlgoAPI_Cut(
            BRepPrimAPI_MakeBox(40, 30, 20).Shape(),
            BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(12, 15, -1), gp::DZ()), 5, 22).Shape())
            .Shape();
    const TopoDS_Shape model =
        BRepAlgoAPI_Fuse(
            drilled, BRepPrimAPI_MakeCone(gp_Ax2(gp_Pnt(30, 15, 20), gp::DZ()), 6, 2, 8).Shape())
            .Shape();
    writeStepModel(model, dir / "model.step");
    const ToolRun listing = runBinary(facesBinary(), {"--model", (dir / "model.step").string()});
    ASSERT_EQ(listing.exitStatus, 0) << listing.err;
    const std::vector<TableRow> rows = parseTable(listing.out);
    ASSERT_EQ(rows.size(), 9u) << listing.out; // the box's 6, the hole, the cone's side and top

    std::string every;
    for (std::size_t n = 1; n <= rows.size(); ++n) every += std::to_string(n) + " 0 0\n";
    makeDataset(dir / "set", (dir / "model.step").string(), every, "");
    const ToolRun exported = runTool({(dir / "set").string()});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;

    std::set<std::string> types;
    for (const TableRow& row : rows) {
        const fs::path file = dir / "set" / "data" / ("face" + row.at("face") + ".brep");
        TopoDS_Shape face;
        BRep_Builder builder;
        ASSERT_TRUE(BRepTools::Read(face, file.c_str(), builder)) << file;
        GProp_GProps props;
        BRepGProp::SurfaceProperties(face, props);
        EXPECT_EQ(row.at("type"), surfaceTypeName(TopoDS::Face(face))) << file;
        EXPECT_NEAR(std::stod(row.at("area")), props.Mass(), 1e-6 * props.Mass()) << file;
        EXPECT_LT((readPoint(row, "c") - props.CentreOfMass().XYZ()).Modulus(), 1e-5) << file;
        types.insert(row.at("type"));
    }
    EXPECT_EQ(types, (std::set<std::string>{"plane", "cylinder", "cone"})) << "the model changed";
}

// The command line: usage errors are one line and status 2; a model that cannot be read or a
// picture that cannot be written is one line and status 1.
TEST_F(FacesTest, CommandLineErrors)
{
    writeStepModel(box(), dir / "box.step");
    const std::string model = (dir / "box.step").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"--view", "sideways", "--model", model}, 2, "unknown view 'sideways'"},
        {{"--labels", "some", "--model", model}, 2, "unknown --labels value 'some'"},
        {{"--frobnicate", "--model", model}, 2, "unknown option '--frobnicate'"},
        {{"--svg"}, 2, "option --svg needs a value"},
        {{"a", "b"}, 2, "more than one dataset root given; several go with --since or --follow"},
        {{"a", "a", "--follow"}, 2, "the dataset 'a' is named twice (again)"},
        {{dir.string(), dir.string() + "/.", "--since", model},
         2,
         "the dataset '" + dir.string() + "' is named twice (again as '" + dir.string() + "/.')"},
        {{"a", "--model", model}, 2, "a dataset root and --model given"},
        {{"--model", (dir / "none.step").string()}, 1, "cannot read STEP model"},
        {{"--model", model, "--svg", (dir / "no" / "such" / "dir.svg").string()},
         1,
         "cannot create a file beside"},
        {{"--html"}, 2, "option --html needs a value"},
        {{"--html=", "--model", model}, 2, "--html needs a file name"},
        {{"--model", model, "--html", (dir / "no" / "such" / "dir.html").string()},
         1,
         "cannot create a file beside"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runBinary(facesBinary(), c.args);
        EXPECT_EQ(run.exitStatus, c.status) << c.message;
        const std::string lastLine = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
        EXPECT_EQ(lastLine.rfind("tarnfold-faces: error: ", 0), 0u) << run.err;
        EXPECT_NE(lastLine.find(c.message), std::string::npos) << run.err;
    }
    const ToolRun none = runBinary(facesBinary(), {});
    EXPECT_EQ(none.exitStatus, 2);
    EXPECT_EQ(none.err.rfind("usage: tarnfold-faces", 0), 0u) << none.err;
}
