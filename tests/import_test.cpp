// What the STEP import makes of models that are not what they seem: a number that no double
// holds, settings that the process or its environment would change, a model without faces or
// with several shapes, a model that is not where its path says, a stop in the transfer.
#include "batch_support.hpp"

#include "model/reader_settings.hpp"
#include "model/step_import.hpp"
#include "model/step_reals.hpp"
#include "record/record_files.hpp"
#include "run_state/run_state.hpp"

#include <climits>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <gp_Pnt.hxx>

namespace fs = std::filesystem;

class ImportTest : public ProcessTest {};

namespace {

// The text of a box's STEP file with `entity` added as the last one of its data.
std::string boxWith(const fs::path& dir, const std::string& entity)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    std::string text = readFile(dir / "box.step");
    const std::size_t end = text.rfind("ENDSEC;");
    return text.insert(end, entity + "\n");
}

long lineOf(const std::string& text, const std::string& piece)
{
    const std::size_t at = text.find(piece);
    return 1 + static_cast<long>(std::count(text.begin(), text.begin() + long(at), '\n'));
}

int countFaces(const TopoDS_Shape& shape)
{
    int faces = 0;
    for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next()) ++faces;
    return faces;
}

} // namespace

// A number that no double holds, or one that the library takes for infinite (from 1.E100 on),
// sends the library's healing round for ever. Each refuses the model before the transfer: status
// 1, no file, one line with the entity and the number. A number below the library's infinity,
// one too small to hold (it is 0), a semi-axis as short as the library's smallest length, and
// such text in a string, a comment, as an enumeration or the type of a parameter, or after the
// end of the data are no reason. (Damaged models that kept the library busy: see
// damaged_models_test.cpp.)
TEST_F(ImportTest, ANumberThatSendsTheLibraryRoundRefusesTheModel)
{
    struct Case {
        std::string entity; ///< added to the model
        std::string number; ///< as the line shows it, "" when the model is read
        std::string why;    ///< what the line says of it
    };
    const std::string point = "#999 = CARTESIAN_POINT('',(0.,";
    const std::string notFinite = "which is not a finite double";
    const std::string infinite = "which the library takes for infinite";
    const std::string cut = std::string(39, '0') + "...";
    const std::vector<Case> cases = {
        {point + "1.E400,0.));", "1.E400", notFinite},
        {point + "-1.E400,0.));", "-1.E400", notFinite},
        {point + "0.,12E99999));", "12E99999", notFinite},
        {point + "1" + std::string(400, '0') + ".,0.));", "1" + cut, notFinite},
        {point + "1" + std::string(4100, '0') + ".,0.));", "1" + cut, notFinite},
        {"#999 = UNCERTAINTY_MEASURE_WITH_UNIT(LENGTH_MEASURE(\n  2.E+309),#346,'d','c');",
         "2.E+309", notFinite},
        {point + "0.,-1.E308));", "-1.E308", infinite},
        {point + "1.E100,0.));", "1.E100", infinite},
        {"#999 = ELLIPSE('',#22,1.E-3,1.E-7);", "", ""},
        {point + "-9.9E99,1.E-400));", "", ""},
        {"#999 = CARTESIAN_POINT('1.E400 ''quoted'' (1.E400)',(0.,0.,0.));", "", ""},
        {"#999 = A((.NAN.,INFINITE_THING(1.)));", "", ""},
        {"/* (1.E400, 2.E400) */", "", ""},
    };
    for (const Case& c : cases) {
        const std::string text = boxWith(dir, c.entity);
        writeFile(dir / "model.step", text);
        makeDataset(dir, (dir / "model.step").string(), "1 0 0\n", "");
        fs::remove(dir / "data" / "face1.brep");
        const ToolRun run = runTool({dir.string()});
        if (c.number.empty()) {
            EXPECT_EQ(run.exitStatus, 0) << c.entity << "\n" << run.err;
            EXPECT_TRUE(fs::exists(dir / "data" / "face1.brep")) << c.entity;
            continue;
        }
        EXPECT_EQ(run.exitStatus, 1) << c.entity;
        EXPECT_EQ(run.err, "tarnfold: error: cannot read STEP model '" +
                               (dir / "model.step").string() + "': entity #999 (line " +
                               std::to_string(lineOf(text, c.number.substr(0, 6))) +
                               ") holds the number " + c.number + ", " + c.why +
                               "; nothing was transferred\n")
            << c.entity;
        EXPECT_FALSE(fs::exists(dir / "data" / "face1.brep")) << c.entity;
    }
}

// A model that is a named pipe is opened once, by the reader, and never waited for: the record
// opens it not even to see that it cannot hash it (its bytes are the reader's alone), a pipe
// that a program has open for writing is read whole, and one that no program writes to ends
// the run at once, in one line.
TEST_F(ImportTest, ANamedPipeIsReadOnceAndNeverWaitedFor)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    const fs::path fifo = dir / "model.step";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
    EXPECT_FALSE(hashFile(fifo.string()).regular);
    char event[sizeof(inotify_event) + NAME_MAX + 1];
    EXPECT_LT(::read(watch, event, sizeof event), 0) << "the record opened the pipe";
    ::close(watch);

    makeDataset(dir, fifo.string(), "1 0 0\n", "");
    for (const bool written : {false, true}) {
        const int writer = written ? ::open(fifo.c_str(), O_RDWR | O_CLOEXEC) : -1;
        const int err = openForOutput(dir / "err.txt");
        const pid_t run = startChild({TARNFOLD_BINARY, {dir.string()}, {}, {}, -1, -1, err, {}});
        ::close(err);
        if (written) {
            const std::string model = readFile(dir / "box.step");
            EXPECT_EQ(::write(writer, model.data(), model.size()), ssize_t(model.size()));
            EXPECT_TRUE(waitUntilPipeRead(writer)); // the last holder's close empties a pipe
            ::close(writer);
        }
        const int status = waitBounded(run);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (written ? 0 : 1)) << status;
        EXPECT_EQ(readFile(dir / "err.txt"),
                  written ? "" : "tarnfold: error: cannot read STEP model '" + fifo.string() +
                                     "': it is a named pipe that no program writes to\n");
        EXPECT_EQ(fs::exists(dir / "data" / "face1.brep"), written);
        EXPECT_FALSE(fs::exists(dir / "data" / "last-run.tsv")) << "bytes no record can name";
    }
}

// The scan sees the same, whatever the pieces the text comes in: the first real that no double
// holds, at its place, or none.
TEST(RealScanTest, SamePiecesOrWhole)
{
    const struct {
        std::string text;
        std::string number;
        long entity, line;
    } cases[] = {
        {"#1=A((1.,2.E5));\n#22 = B(\n'x'' (1.E400)',(3.,\n-4.E400));", "-4.E400", 22, 4},
        // The library's lexer ends a string at a quote before a comma, a doubled one too.
        {"#3=A('x'',(1.E400)');", "1.E400", 3, 1},
        {"#5=P(.T.,1.E400 );", "1.E400", 5, 1},
        {"#5=P(1.E400X);#6=P(+.E400);#7=Q(1E400,12.5E3);", "", 0, 0},
        {"#5=P((0.1E400),$);", "0.1E400", 5, 1},
        {"#5=P(1.,2.)/* #6=Q(1.E400) */;#7=R(2.E400);", "2.E400", 7, 1},
        {"#5=P(1.);\nEND-ISO-10303-21;\n#6=Q(1.E400);", "", 0, 0},
        // A word alone where a number belongs; not one that names a parameter's type.
        {"#5=P(nano(1.),'nan',.NAN.);\n#6=Q((1.,\n Infinity ),$);", "Infinity", 6, 3},
        // An ellipse's semi-axes are its third and fourth parameters.
        {"#5=ELLIPSE('0.',(0.),5.,3.);#6=CIRCLE('',#5,0.);#7 = ELLIPSE ('',#5,4.,0);",
         "0", 7, 1},
    };
    for (const auto& c : cases) {
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            RealScan scan;
            scanStepText(scan, c.text.data(), cut);
            scanStepText(scan, c.text.data() + cut, c.text.size() - cut);
            EXPECT_EQ(scan.found, !c.number.empty()) << c.text << ", cut at " << cut;
            if (!scan.found || c.number.empty()) continue;
            EXPECT_EQ(scan.first.text, c.number) << c.text << ", cut at " << cut;
            EXPECT_EQ(scan.first.entity, c.entity) << c.text;
            EXPECT_EQ(scan.first.line, c.line) << c.text;
        }
    }
}

// A number is judged the same whatever its length: each case as it stands, then made longer
// than the scan keeps by zeros that leave its value as it is (before its digits, after its
// fraction, before its exponent's digits). An integer that no double holds counts too: the
// reader converts it like a real.
TEST(RealScanTest, LongNumbersAreJudgedWhole)
{
    const std::string zeros(5000, '0');
    using T = RealTrouble;
    const struct {
        std::string number;
        RealTrouble trouble;
    } cases[] = {
        {"1.E400", T::notFinite}, {"-1.E400", T::notFinite}, {"1.E308", T::infinite},
        {"1.7976931348623157E308", T::infinite}, {"1.7976931348623159E308", T::notFinite},
        {"0.18E310", T::notFinite}, {"1.E-400", T::none}, {"12E99999", T::notFinite},
        {"1" + std::string(400, '0'), T::notFinite}, {"-1" + std::string(90, '0'), T::none},
        {"-1" + std::string(100, '0'), T::infinite}, {"9.99E99", T::none},
        {"0.1E101", T::infinite}, {"1.2.3E400", T::none}, {"1.E", T::none}, {"1.E+", T::none},
        {"1.E-99999999999", T::none}, {"17.E-99999999999", T::none},
        // 1.E300 to arithmetic, but the library's conversion takes an exponent past 19999 for
        // 19999, and makes it too large.
        {"1" + std::string(20400, '0') + ".E-20100", T::notFinite},
    };
    for (const auto& c : cases) {
        const std::size_t digits = c.number.find_first_not_of("-+");
        const std::size_t exponent = c.number.find('E');
        const std::string mantissa = c.number.substr(0, exponent);
        std::vector<std::string> forms = {c.number};
        forms.push_back(c.number.substr(0, digits) + zeros + c.number.substr(digits));
        if (std::count(mantissa.begin(), mantissa.end(), '.') == 1) {
            forms.push_back(mantissa + zeros + c.number.substr(mantissa.size()));
        }
        const std::size_t power = exponent == std::string::npos
                                      ? exponent
                                      : c.number.find_first_not_of("-+", exponent + 1);
        if (power != std::string::npos) {
            forms.push_back(c.number.substr(0, power) + zeros + c.number.substr(power));
        }
        for (const std::string& form : forms) {
            const std::string text = "#5=P((0.," + form + "),$);";
            RealScan scan;
            scanStepText(scan, text.data(), text.size() / 2);
            scanStepText(scan, text.data() + text.size() / 2, text.size() - text.size() / 2);
            EXPECT_EQ(scan.found, c.trouble != T::none)
                << form.substr(0, 60) << " (" << form.size() << ")";
            if (!scan.found) continue;
            EXPECT_EQ(scan.first.trouble, c.trouble) << form.substr(0, 60);
            EXPECT_EQ(scan.first.text, form.size() > 40 ? form.substr(0, 40) + "..." : form);
        }
    }
}

// Neither a setting left otherwise in the process nor a resource file that the environment
// names changes the face numbers: here each would split the cylinder's closed side in two.
TEST_F(ImportTest, TheReaderSettingsAreTheSameAtEveryRead)
{
    writeStepModel(BRepPrimAPI_MakeCylinder(5, 10).Shape(), dir / "cylinder.step");
    const std::string splitting = "FromSTEP.exec.op : FixShape,SplitClosedFaces\n"
                                  "FromSTEP.SplitClosedFaces.NbSplitPoints : 1\n";
    writeFile(dir / "resources" / "STEP", splitting);
    writeFile(dir / "resources" / "OTHER", splitting);
    const std::string resources = (dir / "resources").string();

    // In this process: another resource file named by a setting, and found by its variable.
    ASSERT_TRUE(Interface_Static::SetCVal("read.step.resource.name", "OTHER"));
    ::setenv("CSF_OTHERDefaults", resources.c_str(), 1);
    STEPControl_Reader reader;
    std::string error;
    const TopoDS_Shape shape = importStepModel(reader, (dir / "cylinder.step").string(), error);
    ::unsetenv("CSF_OTHERDefaults");
    EXPECT_EQ(error, "");
    EXPECT_EQ(countFaces(shape), 3);
    EXPECT_STREQ(Interface_Static::CVal("read.step.resource.name"), "STEP");

    // In a run: the variables that name the STEP resource files.
    makeDataset(dir, (dir / "cylinder.step").string(), "1 0 0\n2 0 0\n3 0 0\n4 0 0\n", "");
    const ToolRun plain = runTool({dir.string()});
    ASSERT_EQ(plain.exitStatus, 1) << plain.err; // 3 faces: entry 4 selects none
    const std::map<std::string, std::string> faces = faceFiles(dir / "data");
    for (const char* variable : {"CSF_STEPDefaults", "CSF_STEPUserDefaults"}) {
        clearFaceFiles(dir / "data");
        const ToolRun run = runTool({dir.string()}, {}, {}, [&] {
            ::setenv(variable, resources.c_str(), 1);
        });
        EXPECT_EQ(run.err, plain.err) << variable;
        EXPECT_EQ(faceFiles(dir / "data"), faces) << variable;
    }
}

// A model that gives no face is an error, even when no list names one: here an edge alone, and
// a file whose data hold no shape at all.
TEST_F(ImportTest, AModelWithoutFacesIsAnError)
{
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0)).Edge(),
                              STEPControl_AsIs),
              IFSelect_RetDone);
    ASSERT_EQ(writer.Write((dir / "edge.step").c_str()), IFSelect_RetDone);
    std::string box = boxWith(dir, "");
    const std::size_t data = box.find("DATA;\n") + 6;
    writeFile(dir / "bare.step", box.substr(0, data) + "#1 = DIRECTION('',(0.,0.,1.));\n" +
                                     box.substr(box.rfind("ENDSEC;")));
    const struct {
        const char* model;
        const char* reason;
    } cases[] = {
        {"edge.step", "the last shape of its transfer has no face"},
        {"bare.step", "its transfer gives no shape"},
    };
    for (const auto& c : cases) {
        makeDataset(dir, (dir / c.model).string(), "", "");
        const ToolRun run = runTool({dir.string()});
        EXPECT_EQ(run.exitStatus, 1) << c.model;
        EXPECT_EQ(run.err, "tarnfold: error: cannot read STEP model '" + (dir / c.model).string() +
                               "': " + c.reason + "\n");
    }
}

// Only the last of several shapes has face numbers: tarnfold says so, as tarnfold-faces does,
// and so does the batch for each dataset, whose row stays ok.
TEST_F(ImportTest, SeveralShapesAreNoted)
{
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), STEPControl_AsIs),
              IFSelect_RetDone);
    ASSERT_EQ(writer.Transfer(BRepPrimAPI_MakeCylinder(5, 10).Shape(), STEPControl_AsIs),
              IFSelect_RetDone);
    ASSERT_EQ(writer.Write((dir / "two.step").c_str()), IFSelect_RetDone);
    makeDataset(dir / "d", "two.step", "1 0 0\n", "");
    const ToolRun run = runTool({"d"}, dir);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "tarnfold: note: faces of the last of 2 transferred shapes\n");
    const ToolRun batch = runBatch({"d"}, dir);
    EXPECT_EQ(batch.exitStatus, 0);
    EXPECT_EQ(parseBatchTable(batch.out), (std::vector<BatchRow>{{"d", "ok", "1", "two.step"}}));
    EXPECT_EQ(linesFor(batch.err, "d"), run.err);
}

// A relative model path that names nothing is taken from the working directory of the run,
// which the line names: it is often not the one the user meant.
TEST_F(ImportTest, ARelativePathThatNamesNothingNamesTheWorkingDirectory)
{
    fs::create_directories(dir / "elsewhere");
    makeDataset(dir / "d", "models/part.step", "1 0 0\n", "");
    const ToolRun run = runTool({(dir / "d").string()}, dir / "elsewhere");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold: error: cannot read STEP model 'models/part.step': No such file "
                       "or directory (taken relative to the working directory '" +
                           (dir / "elsewhere").string() + "')\n");
}

// A stop asked for in the run's state is answered by the transfer itself: the library ends it at
// its next step, and the worker ends by the stop it was asked for rather than going on.
TEST_F(ImportTest, AStopAskedForEndsTheTransfer)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    const std::string model = (dir / "box.step").string();
    EXPECT_EXIT(
        {
            RunState state;
            state.stopRequest.store(SIGTERM);
            STEPControl_Reader reader;
            std::string error;
            importStepModel(reader, model, error, &state);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}
