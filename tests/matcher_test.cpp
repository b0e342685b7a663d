// The matcher's stages on faces made in memory: what each decides, and why it doubts.
#include "follow/face_links.hpp"
#include "follow/face_sampling.hpp"
#include "follow/match_decisions.hpp"
#include "follow/model_moves.hpp"
#include "follow/revision_match.hpp"

#include <functional>
#include <regex>

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRep_Builder.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Wire.hxx>
#include <gp_Pln.hxx>

#include <gtest/gtest.h>

namespace {

// A face as the search for a common shift sees it: its kind, area, extents and centre.
SampledFace flatFace(const gp_Pnt& centre)
{
    SampledFace face;
    face.type = GeomAbs_Plane;
    face.area = 10;
    face.centre = centre;
    face.box.Update(0, 0, 0, 1, 1, 0);
    face.box.SetGap(0);
    return face;
}

// The rectangle x0..x1 by y0..y1 on the plane z = height, facing up.
TopoDS_Face rectangle(double x0, double x1, double y0, double y1, double height = 0)
{
    return BRepBuilderAPI_MakeFace(gp_Pln(gp_Pnt(0, 0, height), gp::DZ()), x0, x1, y0, y1).Face();
}

// The faces of a model made of `faces`, sampled as the command samples them.
std::vector<SampledFace> sampled(const std::vector<TopoDS_Face>& faces)
{
    BRep_Builder builder;
    TopoDS_Compound compound;
    builder.MakeCompound(compound);
    for (const TopoDS_Face& face : faces) builder.Add(compound, face);
    return sampleModelFaces(compound);
}

// The square 0..100 by 0..100, its plane turned about the line x = 50 so far that its edges
// stand 3e-4 off the plane z = 0: about twice the tolerance of a model of its size.
TopoDS_Face tiltedSquare()
{
    const double angle = 3e-4 / 50;
    const gp_Ax3 axes(gp_Pnt(50, 50, 0), gp_Dir(-std::sin(angle), 0, std::cos(angle)),
                      gp_Dir(std::cos(angle), 0, std::sin(angle)));
    return BRepBuilderAPI_MakeFace(gp_Pln(axes), -50, 50, -50, 50).Face();
}

// `face` again on its own surface, with an edge of no geometry first in its boundary: the
// library throws when it measures along that edge.
TopoDS_Face withBareEdge(const TopoDS_Face& face)
{
    BRep_Builder builder;
    TopoDS_Face copy = TopoDS::Face(face.EmptyCopied());
    TopoDS_Wire wire;
    builder.MakeWire(wire);
    TopoDS_Edge bare;
    builder.MakeEdge(bare);
    builder.Add(wire, bare);
    for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next()) {
        builder.Add(wire, edges.Current());
    }
    builder.Add(copy, wire);
    return copy;
}

// The stages that decide by place alone: linking, then deciding.
std::vector<FaceAnswer> decideByPlace(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces)
{
    const MatchTolerance tolerance = measureTolerance(oldFaces, newFaces);
    return decideMatches(oldFaces, newFaces, linkFaces(oldFaces, newFaces, tolerance), tolerance);
}

// One way for the matcher to doubt: two revisions, the old face to look at, and what it must say.
struct DoubtCase {
    std::string name;
    std::function<std::vector<SampledFace>()> oldFaces, newFaces;
    bool wholeMatch; ///< through matchRevisions, as the command runs it; else by place alone
    MatchKind kind;
    std::string reason; ///< a regular expression for the whole reason
};

} // namespace

// At no tolerance at all (a model of no size) the shifts cannot be put on a grid of that width:
// four faces that reappear each shifted by another distance share no shift.
TEST(ModelMoves, NoToleranceNoCommonShift)
{
    std::vector<SampledFace> oldFaces, newFaces;
    std::vector<FaceAnswer> answers;
    for (int i = 0; i < 4; ++i) {
        oldFaces.push_back(flatFace(gp_Pnt(10 * i, 0, 0)));
        newFaces.push_back(flatFace(gp_Pnt(10 * i, 100 * (i + 1), 0)));
        FaceAnswer answer;
        answer.kind = MatchKind::changed;
        answer.kept = 1;
        answers.push_back(answer);
    }
    doubtMovedModel(oldFaces, newFaces, MatchTolerance{}, answers);
    for (const FaceAnswer& answer : answers) {
        EXPECT_EQ(answer.kind, MatchKind::changed) << answer.reason;
    }
}

// Every reason the matcher gives for an old face without a certain answer, each made to happen
// on the first old face.
TEST(MatchDoubts, EveryReason)
{
    const auto square = [] { return sampled({rectangle(0, 100, 0, 100)}); };
    const std::vector<DoubtCase> cases = {
        {"old face not sampled",
         [&] {
             std::vector<SampledFace> faces = square();
             faces[0].samples.clear();
             return faces;
         },
         square, false, MatchKind::unsure, "the old face could not be sampled"},
        {"new face not sampled", square,
         [&] {
             std::vector<SampledFace> faces = square();
             faces[0].samples.clear();
             return faces;
         },
         false, MatchKind::unsure, "new face 1 could not be sampled"},
        {"library fails", square,
         [&] {
             std::vector<SampledFace> faces = square();
             faces[0].face = withBareEdge(faces[0].face);
             return faces;
         },
         false, MatchKind::unsure, "the library could not compare new face 1 with old face 1"},
        {"surfaces apart in part", square, [] { return sampled({tiltedSquare()}); }, false,
         MatchKind::unsure,
         "the surface of new face 1 and that of old face 1 coincide only in part"},
        {"partly facing away",
         [&] {
             std::vector<SampledFace> faces = square();
             for (std::size_t i = 1; i < faces[0].samples.size(); i += 3) {
                 faces[0].samples[i].normal.Reverse();
             }
             return faces;
         },
         square, false, MatchKind::unsure,
         "new face 1 lies on old face 1 partly facing the other way"},
        {"overlap in part", square, [] { return sampled({rectangle(60, 160, 0, 100)}); }, false,
         MatchKind::unsure,
         "old face 1 and new face 1 overlap only in part \\(40% of the old, 40% of the new\\)"},
        {"across each other",
         [] { return sampled({rectangle(0, 100, 0, 100), rectangle(100, 200, 0, 100)}); },
         [] { return sampled({rectangle(0, 160, 0, 100), rectangle(160, 200, 0, 100)}); }, false,
         MatchKind::unsure, "old faces 1, 2 and new faces 1, 2 overlap across each other"},
        {"new pieces stacked", square,
         [] { return sampled({rectangle(0, 100, 0, 60), rectangle(0, 100, 40, 100)}); }, false,
         MatchKind::unsure, "new faces 1 and 2 lie on each other"},
        {"old pieces stacked",
         [] { return sampled({rectangle(0, 100, 0, 60), rectangle(0, 100, 40, 100)}); }, square,
         false, MatchKind::unsure, "old faces 1 and 2 lie on each other"},
        {"only facing away", square,
         [] { return sampled({TopoDS::Face(rectangle(0, 100, 0, 100).Reversed())}); }, false,
         MatchKind::unsure, "only faces facing the other way lie where it was: 1"},
        {"gone", [] { return sampled({rectangle(0, 100, 0, 100, 0)}); },
         [] { return sampled({rectangle(0, 100, 0, 100, 5)}); }, false, MatchKind::gone,
         "no new face lies on its surface where it was"},
        {"little found in place",
         [] { return sampled({rectangle(0, 10, 0, 10), rectangle(0, 100, 200, 300)}); },
         [] { return sampled({rectangle(0, 10, 0, 10)}); }, true, MatchKind::unsure,
         "only 1% of the old model's area lies where it was: the model looks moved or replaced"},
        {"shifted copies outnumber",
         [] {
             return sampled({rectangle(0, 100, 0, 100), rectangle(200, 201, 0, 1),
                             rectangle(210, 212, 0, 1), rectangle(220, 223, 0, 1),
                             rectangle(230, 234, 0, 1)});
         },
         [] {
             return sampled({rectangle(0, 100, 0, 100), rectangle(200, 201, 0, 1, 5),
                             rectangle(210, 212, 0, 1, 5), rectangle(220, 223, 0, 1, 5),
                             rectangle(230, 234, 0, 1, 5)});
         },
         true, MatchKind::unsure,
         "4 old faces reappear moved by \\(0, 0, 5\\), more than stay in place: the model looks "
         "moved, and a face may now stand where another was"},
    };
    for (const DoubtCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SampledFace> oldFaces = c.oldFaces(), newFaces = c.newFaces();
        MatchKind kind;
        std::string reason;
        if (c.wholeMatch) {
            const std::vector<FaceMatch> matches = matchRevisions(oldFaces, newFaces);
            ASSERT_FALSE(matches.empty());
            kind = matches[0].kind;
            reason = matches[0].reason;
            EXPECT_TRUE(matches[0].newNumbers.empty());
        } else {
            const std::vector<FaceAnswer> answers = decideByPlace(oldFaces, newFaces);
            ASSERT_FALSE(answers.empty());
            kind = answers[0].kind;
            reason = answers[0].reason;
        }
        EXPECT_EQ(matchKindName(kind), std::string(matchKindName(c.kind)));
        EXPECT_TRUE(std::regex_match(reason, std::regex(c.reason))) << reason;
    }
}
