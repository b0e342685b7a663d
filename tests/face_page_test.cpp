// tarnfold-faces --html: what the C++ puts into the page. The page's data is decoded here with a
// decoder of the test's own and checked against the model's own triangulations and surfaces;
// how the browser shows it is tests/browser/page_test.py's business.
#include "page_decoding.hpp"
#include "test_support.hpp"

#include "faces/face_table.hpp"
#include "intake/dataset_records.hpp"
#include "viewer/embedded_files.hpp"
#include "viewer/face_page.hpp"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pln.hxx>

namespace fs = std::filesystem;

class FacePageTest : public TempDirTest {};

namespace {

double distanceTo(const gp_Pnt& point, const TopoDS_Shape& shape)
{
    BRepExtrema_DistShapeShape distance(BRepBuilderAPI_MakeVertex(point).Vertex(), shape);
    return distance.IsDone() ? distance.Value() : 1e300;
}

// A box drilled through, with a cone on top: planes, a cylinder with a seam, a cone.
TopoDS_Shape drilledBlock()
{
    const TopoDS_Shape drilled =
        BRepAlgoAPI_Cut(
            BRepPrimAPI_MakeBox(40, 30, 20).Shape(),
            BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(12, 15, -1), gp::DZ()), 5, 22).Shape())
            .Shape();
    return BRepAlgoAPI_Fuse(
               drilled,
               BRepPrimAPI_MakeCone(gp_Ax2(gp_Pnt(30, 15, 20), gp::DZ()), 6, 2, 8).Shape())
        .Shape();
}

PageScripts installedScripts()
{
    PageScripts scripts;
    EXPECT_EQ(readPageScripts(threeDirectory, scripts), "");
    return scripts;
}

} // namespace

// The mesh in the page is the model's: each face's nodes are its triangulation's, within half
// a quantisation step; each triangle lies on the face it is filed under and, on a plane, turns
// its front outward; each edge runs along an edge of the model.
TEST(FacePage, DataDecodesToTheMesh)
{
    const TopoDS_Shape model = drilledBlock();
    const double deflection = meshModel(model);
    const std::vector<FaceRow> rows = measureFaces(model, nullptr);
    const PageData data = readPageData(buildFacePage(model, rows, {}, installedScripts(), {}));
    ASSERT_EQ(data.sections.size(), 10u) << data.json.substr(0, 500);
    EXPECT_EQ(data.sections.at("table"), formatFaceTable(rows));
    ASSERT_TRUE(data.indexBytes == 1 || data.indexBytes == 2 || data.indexBytes == 4);

    const std::vector<gp_Pnt> nodes = readNodes(data);
    const std::vector<std::uint32_t> faceNodes = readNumbers(data.sections.at("faceNodes"), 4),
                                     faceTriangles =
                                         readNumbers(data.sections.at("faceTriangles"), 4),
                                     faceEdges = readNumbers(data.sections.at("faceEdges"), 4),
                                     edgeLengths = readNumbers(data.sections.at("edgeLengths"), 4);
    const std::vector<std::uint32_t> triangles =
        readNumbers(data.sections.at("triangles"), data.indexBytes);
    const std::vector<std::uint32_t> edgeNodes =
        readNumbers(data.sections.at("edgeNodes"), data.indexBytes);
    ASSERT_EQ(faceNodes.size(), rows.size());
    const gp_XYZ step = (data.high - data.low) / 65535;

    TopoDS_Compound modelEdges;
    BRep_Builder builder;
    builder.MakeCompound(modelEdges);
    for (TopExp_Explorer it(model, TopAbs_EDGE); it.More(); it.Next()) {
        builder.Add(modelEdges, it.Current());
    }
    std::size_t node = 0, triangle = 0, edge = 0, edgeNode = 0, checkedTriangles = 0;
    for (std::size_t f = 0; f < rows.size(); ++f) {
        const std::string context = "face " + std::to_string(rows[f].number);
        TopLoc_Location location;
        const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(rows[f].face, location);
        ASSERT_FALSE(mesh.IsNull()) << context;
        ASSERT_EQ(int(faceNodes[f]), mesh->NbNodes()) << context;
        ASSERT_EQ(int(faceTriangles[f]), mesh->NbTriangles()) << context;
        for (int n = 1; n <= mesh->NbNodes(); ++n) {
            const gp_Pnt expected = mesh->Node(n).Transformed(location.Transformation());
            for (int axis = 1; axis <= 3; ++axis) {
                EXPECT_LE(std::abs(nodes[node + std::size_t(n - 1)].Coord(axis) -
                                   expected.Coord(axis)),
                          step.Coord(axis) / 2 + 1e-9)
                    << context << " node " << n;
            }
        }
        for (std::uint32_t t = 0; t < faceTriangles[f]; ++t, ++triangle) {
            gp_Pnt corner[3];
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t local = triangles[3 * triangle + std::size_t(k)];
                ASSERT_LT(local, faceNodes[f]) << context;
                corner[k] = nodes[node + local];
            }
            const gp_Pnt middle((corner[0].XYZ() + corner[1].XYZ() + corner[2].XYZ()) / 3);
            // Inside the face, within the mesh's own deviation from the surface.
            EXPECT_LT(distanceTo(middle, rows[f].face), deflection + step.Modulus()) << context;
            const gp_Vec front = gp_Vec(corner[0], corner[1]).Crossed(gp_Vec(corner[0], corner[2]));
            if (std::string(rows[f].type) == "plane" && front.Magnitude() > 1e-9) {
                EXPECT_GT(front.Normalized().Dot(rows[f].normal), 0.99) << context;
            }
            ++checkedTriangles;
        }
        for (std::uint32_t e = 0; e < faceEdges[f]; ++e, ++edge) {
            for (std::uint32_t k = 0; k < edgeLengths[edge]; ++k, ++edgeNode) {
                ASSERT_LT(edgeNodes[edgeNode], faceNodes[f]) << context;
                EXPECT_LT(distanceTo(nodes[node + edgeNodes[edgeNode]], modelEdges),
                          step.Modulus())
                    << context << " edge " << edge;
            }
        }
        node += faceNodes[f];
    }
    EXPECT_EQ(node, nodes.size());
    EXPECT_EQ(3 * triangle, triangles.size());
    EXPECT_EQ(edge, edgeLengths.size());
    EXPECT_EQ(edgeNode, edgeNodes.size());
    EXPECT_GT(checkedTriangles, 100u) << "the model changed";
    // The box's 12 edges, the two rims of the hole, the cone's two rims: seams are left out.
    EXPECT_EQ(edgeLengths.size(), 16u);
}

// Through the command, with a dataset: the page holds the very table that stdout gets (the
// lists that the page starts its sets from included), and names the model, escaped, in its
// title and its data. Outside its scripts it refers to nothing: no src, no href.
TEST_F(FacePageTest, RowsListsAndNameInThePage)
{
    const fs::path model = dir / "a<b&\"c\".step";
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), model);
    makeDataset(dir / "set", model.string(), "1 0 0\n4 0 0\n", "4 0 0 0 0 0 0\n6 0 0 0 0 0 0\n");
    const ToolRun run = runBinary(
        TARNFOLD_FACES_BINARY, {(dir / "set").string(), "--html", (dir / "faces.html").string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string page = readFile(dir / "faces.html");
    const PageData data = readPageData(page);
    ASSERT_FALSE(data.sections.empty());
    EXPECT_EQ(data.sections.at("table"), run.out);
    for (const char* row : {"\n1\tplane\t", "\tforce\t-\t-\n", "\n4\tplane\t",
                            "\tboth\t-\t-\n", "\n6\tplane\t", "\trestraint\t-\t-\n"}) {
        EXPECT_NE(run.out.find(row), std::string::npos) << row;
    }
    EXPECT_NE(page.find("<title>faces of a&lt;b&amp;&quot;c&quot;.step</title>"),
              std::string::npos);
    EXPECT_NE(data.json.find("\"model\":\"a\\u003cb\\u0026\\\"c\\\".step\""), std::string::npos)
        << data.json.substr(0, 200);
    EXPECT_NE(data.json.find("\"note\":\"\""), std::string::npos);

    // The markup between the scripts: four script elements, none loading a file.
    std::string markup;
    std::size_t at = 0, scripts = 0;
    for (std::size_t open; (open = page.find("<script", at)) != std::string::npos; ++scripts) {
        markup += page.substr(at, page.find('>', open) + 1 - at);
        at = page.find("</script>", open);
        ASSERT_NE(at, std::string::npos);
    }
    markup += page.substr(at);
    EXPECT_EQ(scripts, 4u);
    for (const char* outside : {"src=", "href=", "<link", "<img", "url(", "@import"}) {
        EXPECT_EQ(markup.find(outside), std::string::npos) << outside;
    }
    const PageScripts three = installedScripts();
    EXPECT_NE(page.find(three.three.substr(0, 4000)), std::string::npos) << "three.js inlined";
    // three.js's license asks for its notice in every copy.
    EXPECT_LT(page.find("The above copyright notice and this permission notice shall be"),
              page.find(three.three.substr(0, 4000)));
}

// A script that holds "</script" or "<!--" in a string is inlined so that the element does not
// end there, nor the browser look for its end elsewhere.
TEST(FacePage, ScriptsCannotEndTheirElement)
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(1, 1, 1).Shape();
    meshModel(box);
    PageScripts scripts;
    scripts.three = "var a = '</script><p>'; var b = '</SCRIPT >'; var c = '<!-- x';";
    scripts.controls = "var d = 1;";
    const std::string page = buildFacePage(box, measureFaces(box, nullptr), {}, scripts, {});
    EXPECT_NE(page.find("var a = '<\\/script><p>'; var b = '<\\/SCRIPT >'; var c = '<\\!-- x';"),
              std::string::npos);
    EXPECT_EQ(page.find("<!--"), std::string::npos);
    EXPECT_THROW(fillTemplate("<p>{{nothing}}</p>", {{"something", "x"}}), std::logic_error);
    EXPECT_THROW(fillTemplate("<p>{{open</p>", {}), std::logic_error);
    EXPECT_EQ(fillTemplate("a{{x}}b{{y}}c{{x}}", {{"x", "{{y}}"}, {"y", "2"}}), "a{{y}}b2c{{y}}");
}

// three.js that cannot be read is one line naming the file, the reason and the package.
TEST_F(FacePageTest, MissingThreeJs)
{
    const std::string three = (dir / "build" / "three.min.js").string();
    const std::string controls = (dir / "examples/js/controls/OrbitControls.js").string();
    const struct {
        std::function<void()> layOut;
        std::string file, reason;
    } cases[] = {
        {[] {}, three, "No such file or directory"},
        {[&] { writeFile(three, "var THREE = {};"); }, controls, "No such file or directory"},
        {[&] { fs::create_directories(controls); }, controls, "Is a directory"},
        {[&] {
             fs::remove(controls);
             writeFile(controls, "");
         },
         controls, "the file is empty"},
    };
    for (const auto& c : cases) {
        c.layOut();
        PageScripts scripts;
        EXPECT_EQ(readPageScripts(dir.string(), scripts),
                  "cannot read three.js file '" + c.file + "' (Debian package libjs-three): " +
                      c.reason);
    }
    writeFile(controls, "THREE.OrbitControls = 1;");
    PageScripts scripts;
    EXPECT_EQ(readPageScripts(dir.string(), scripts), "");
    EXPECT_EQ(scripts.three, "var THREE = {};");
    EXPECT_EQ(scripts.controls, "THREE.OrbitControls = 1;");
}

// The faces of a solid are drawn from the front only, as in the picture, and a face that bounds
// no solid from both sides: a box, and beside it a lone square face.
TEST(FacePage, SolidFacesShowTheirFrontOnly)
{
    TopoDS_Compound model;
    BRep_Builder builder;
    builder.MakeCompound(model);
    builder.Add(model, BRepPrimAPI_MakeBox(10, 10, 10).Shape());
    builder.Add(model, BRepBuilderAPI_MakeFace(gp_Pln(gp_Pnt(20, 0, 0), gp::DZ()), 0, 5, 0, 5));
    meshModel(model);
    const PageData data = readPageData(
        buildFacePage(model, measureFaces(model, nullptr), {}, installedScripts(), {}));
    ASSERT_EQ(data.sections.count("faceCulled"), 1u);
    EXPECT_EQ(readNumbers(data.sections.at("faceCulled"), 1),
              (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 1, 0}));
}

// A STEP file of three roots transfers three shapes; the faces are those of the last, and the
// note says so on stderr, in the SVG's legend and on the page, while the exit status stays 0.
// One root: no note anywhere.
TEST_F(FacePageTest, SeveralShapesNote)
{
    const std::vector<TopoDS_Shape> shapes = {
        BRepPrimAPI_MakeBox(10, 20, 30).Shape(),
        BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(40, 0, 0), gp::DZ()), 5, 10).Shape(),
        BRepPrimAPI_MakeCone(gp_Ax2(gp_Pnt(80, 0, 0), gp::DZ()), 6, 2, 8).Shape()};
    const std::string note = "faces of the last of 3 transferred shapes";
    for (const std::size_t roots : {std::size_t(3), std::size_t(1)}) {
        STEPControl_Writer writer;
        for (std::size_t i = shapes.size() - roots; i < shapes.size(); ++i) {
            ASSERT_EQ(writer.Transfer(shapes[i], STEPControl_AsIs), IFSelect_RetDone);
        }
        const fs::path model = dir / ("roots" + std::to_string(roots) + ".step");
        ASSERT_EQ(writer.Write(model.c_str()), IFSelect_RetDone);
        const ToolRun run =
            runBinary(TARNFOLD_FACES_BINARY, {"--model", model.string(), "--svg",
                                              (dir / "f.svg").string(), "--html",
                                              (dir / "f.html").string()});
        const std::string context = std::to_string(roots) + " roots";
        ASSERT_EQ(run.exitStatus, 0) << context << ": " << run.err;
        // The cone's side, base and top.
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4) << context << run.out;
        EXPECT_NE(run.out.find("\tcone\t"), std::string::npos) << context;
        const bool noted = roots > 1;
        EXPECT_EQ(run.err.find("\ntarnfold-faces: note: " + note + "\n") != std::string::npos,
                  noted)
            << context << ": " << run.err;
        EXPECT_EQ(run.err.find("error"), std::string::npos) << context << ": " << run.err;
        EXPECT_EQ(readFile(dir / "f.svg").find(">" + note + "</text>") != std::string::npos,
                  noted)
            << context;
        EXPECT_EQ(readPageData(readFile(dir / "f.html")).json.find("\"note\":\"" + note + '"') !=
                      std::string::npos,
                  noted)
            << context;
    }
}

// The page carries every record of the dataset's lists, each number as its file writes it, so
// that the page can give them back: files in the order of their names, a face listed twice or in
// two files, CR LF, numbers that run together, a record that names no face (0), a name that
// must be escaped; an incomplete last record and text after the numbers left out, as the reader
// leaves them.
TEST_F(FacePageTest, RecordsAsTheFilesWriteThem)
{
    const fs::path root = dir / "set";
    writeFile(root / "data/address.txt", "box.step\n");
    writeFile(root / "data/force/b.txt", "4 1.5e2-.5\r\n9 0 0\r\n4.0 7 8\n1 2\n");
    writeFile(root / "data/force/a\"<z>.txt", "1 +0-5\n");
    writeFile(root / "data/restraint/bolts", "6 1 1 1 0 0 0 end\n6 2 2 2 0 0 0\n");
    const std::vector<DatasetRecord> records = readDatasetRecords(root);
    EXPECT_EQ(formatPageRecords(records, 6),
              "[[\"force\",1,\"1\",\"+0 -5\",\"force/a\\\"\\u003cz\\u003e.txt\",1],\n"
              "[\"force\",4,\"4\",\"1.5e2 -.5\",\"force/b.txt\",1],\n"
              "[\"force\",0,\"9\",\"0 0\",\"force/b.txt\",2],\n"
              "[\"force\",4,\"4.0\",\"7 8\",\"force/b.txt\",3],\n"
              "[\"restraint\",6,\"6\",\"1 1 1 0 0 0\",\"restraint/bolts\",1]]");
    EXPECT_EQ(formatPageRecords({}, 6), "[]");

    // Through the command: the section is those records, in the page that the dataset's run
    // writes.
    const fs::path model = dir / "box.step";
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), model);
    writeFile(root / "data/address.txt", model.string() + "\n");
    fs::remove(root / "data/force/b.txt");
    writeFile(root / "data/restraint/bolts", "6 1 1 1 0 0 0\n");
    const ToolRun run =
        runBinary(TARNFOLD_FACES_BINARY, {root.string(), "--html", (dir / "f.html").string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string section = readPageData(readFile(dir / "f.html")).sections.at("records");
    EXPECT_EQ(section, formatPageRecords(readDatasetRecords(root), 6));
    EXPECT_EQ(section.rfind("[[\"force\",1,\"1\",\"+0 -5\",", 0), 0u) << section;
}

// The build's list of the page's files is the only one: every script of src/viewer/ is in the
// page, in that list's order, and a file that is not embedded is an error rather than a page
// without it.
TEST(FacePage, EveryScriptOfTheViewerIsInThePage)
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(1, 1, 1).Shape();
    meshModel(box);
    const std::string page = buildFacePage(box, measureFaces(box, nullptr), {}, PageScripts{}, {});
    std::vector<std::string> embedded;
    for (const std::string_view name : embeddedPageScripts()) embedded.emplace_back(name);
    std::size_t previous = 0;
    for (const std::string& name : embedded) {
        const std::string script = readFile(fs::path(TARNFOLD_SOURCE_DIR) / "src/viewer" / name);
        ASSERT_FALSE(script.empty()) << name;
        const std::size_t at = page.find(script);
        EXPECT_NE(at, std::string::npos) << name << " is not in the page";
        EXPECT_GT(at, previous) << name << " is out of order";
        previous = at;
    }
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(TARNFOLD_SOURCE_DIR) / "src/viewer")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".js") continue;
        EXPECT_NE(std::find(embedded.begin(), embedded.end(), name), embedded.end())
            << name << " is not embedded: add it to TARNFOLD_PAGE_FILES";
    }
    EXPECT_THROW(embeddedPageFile("page_missing.js"), std::logic_error);
}
