// The matcher's stages on faces made in memory: what each decides, and why it doubts.
#include "match/face_links.hpp"
#include "match/face_sampling.hpp"
#include "match/match_decisions.hpp"
#include "match/model_moves.hpp"
#include "match/revision_match.hpp"
#include "match/rigid_fit.hpp"
#include "revision_pairs.hpp"

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
    int face = 1;       ///< the old face number to look at
};

} // namespace

// At no tolerance at all (a model of no size) shifts and centres cannot be put on a grid of that
// width: four equal faces that reappear each shifted by another distance share no motion.
TEST(ModelMoves, NoToleranceNoCommonMotion)
{
    std::vector<TopoDS_Face> before, after;
    for (int i = 0; i < 4; ++i) {
        before.push_back(rectangle(20 * i, 20 * i + 10, 0, 10));
        after.push_back(rectangle(20 * i, 20 * i + 10, 100 * (i + 1), 100 * (i + 1) + 10));
    }
    const std::vector<SampledFace> oldFaces = sampled(before), newFaces = sampled(after);
    MotionFaces faces = prepareMotionFaces(oldFaces, newFaces, 0);
    const std::vector<MotionCandidate> candidates = findMotionCandidates(faces);
    ASSERT_FALSE(candidates.empty());
    EXPECT_TRUE(candidates.front().identity);
    for (const MotionCandidate& candidate : candidates) {
        EXPECT_LE(candidate.score.fitted, oldFaces[0].area * 1.001);
    }
    EXPECT_FALSE(chooseMotion(candidates, 400).moved);
}

// Every reason the matcher gives for an old face without a certain answer, each made to happen
// on one old face.
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
        {"fits in two ways",
         [] { return sampled({rectangle(0, 10, 0, 10), rectangle(20, 30, 0, 10)}); },
         [] { return sampled({rectangle(0, 10, 100, 110), rectangle(20, 30, 100, 110)}); }, true,
         MatchKind::unsure,
         "the part fits the new revision in 2 ways \\(it is symmetric, or has equal features in "
         "a row\\), and one of them puts this face where old face 2 was"},
        {"two take one place", [] { return sampleModelFaces(holeBuild(5).shape); },
         [] {
             return sampleModelFaces(
                 cut(cut(box(), cylinder(30, 30, -1, 6, 22)).after, cylinder(70, 30, -1, 6, 22))
                     .after);
         },
         true, MatchKind::unsure, "new faces 7, 8 each take its place among its neighbours", 7},
        {"one place for two",
         [] {
             return sampleModelFaces(
                 cut(cut(box(), cylinder(30, 30, -1, 5, 22)).after, cylinder(70, 30, -1, 5, 22))
                     .after);
         },
         [] { return sampleModelFaces(holeBuild(6).shape); }, true, MatchKind::unsure,
         "old faces 7, 8 each fit the place of new face 7", 8},
        {"place taken facing away", [] { return sampleModelFaces(plateBuild(20).shape); },
         [] {
             std::vector<SampledFace> faces = sampleModelFaces(plateBuild(22).shape);
             for (FaceSample& sample : faces[2].samples) sample.normal.Reverse();
             return faces;
         },
         true, MatchKind::unsure,
         "new face 3 takes its place among its neighbours, but it faces the other way", 3},
    };
    for (const DoubtCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SampledFace> oldFaces = c.oldFaces(), newFaces = c.newFaces();
        MatchKind kind;
        std::string reason;
        const std::size_t at = std::size_t(c.face - 1);
        if (c.wholeMatch) {
            const std::vector<FaceMatch> matches = matchRevisions(oldFaces, newFaces);
            ASSERT_GT(matches.size(), at);
            kind = matches[at].kind;
            reason = matches[at].reason;
            EXPECT_TRUE(matches[at].newNumbers.empty());
        } else {
            const std::vector<FaceAnswer> answers = decideByPlace(oldFaces, newFaces);
            ASSERT_GT(answers.size(), at);
            kind = answers[at].kind;
            reason = answers[at].reason;
        }
        EXPECT_EQ(matchKindName(kind), std::string(matchKindName(c.kind)));
        EXPECT_TRUE(std::regex_match(reason, std::regex(c.reason))) << reason;
    }
}

// The fit of a rigid motion to point pairs gives back the motion that made them: none, a shift,
// a half turn (where a quaternion's angle is at its end), an oblique turn with a shift; and
// never a mirror image, even for points that are one.
TEST(RigidFit, RecoversTheMotion)
{
    const std::vector<gp_Pnt> points = {gp_Pnt(0, 0, 0), gp_Pnt(10, 0, 0), gp_Pnt(0, 7, 0),
                                        gp_Pnt(3, 2, 5), gp_Pnt(-4, 1, 2)};
    gp_Trsf shift, half, oblique;
    shift.SetTranslation(gp_Vec(5, -3, 2));
    half.SetRotation(gp_Ax1(gp_Pnt(50, 30, 0), gp::DZ()), M_PI);
    oblique.SetRotation(gp_Ax1(gp_Pnt(3, -2, 1), gp_Dir(1, 2, 3)), 0.7);
    oblique.SetTranslationPart(gp_Vec(120.5, -40, 7));
    for (const gp_Trsf& motion : {gp_Trsf(), shift, half, oblique}) {
        std::vector<PointPair> pairs;
        for (const gp_Pnt& p : points) pairs.push_back({p, p.Transformed(motion), 1});
        const gp_Trsf fitted = fitRigidMotion(pairs);
        for (const gp_Pnt& p : points) {
            EXPECT_LT(p.Transformed(fitted).Distance(p.Transformed(motion)), 1e-9);
        }
    }
    std::vector<PointPair> mirrored;
    for (const gp_Pnt& p : points) mirrored.push_back({p, gp_Pnt(-p.X(), p.Y(), p.Z()), 1});
    EXPECT_GT(fitRigidMotion(mirrored).VectorialPart().Determinant(), 0);
}
