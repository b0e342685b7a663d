// The index over face boxes that finds the pairs of faces worth comparing: it must find every
// box that a query meets, flat layouts included, or a face loses a piece it was split into.
#include "match/box_index.hpp"
#include "match/revision_match.hpp"

#include <random>

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pln.hxx>

#include <gtest/gtest.h>

namespace {

Bnd_Box makeBox(double x0, double y0, double z0, double x1, double y1, double z1)
{
    Bnd_Box box;
    box.Update(x0, y0, z0, x1, y1, z1);
    return box;
}

// Boxes scattered over a region of the given extents, of sizes up to `largest`.
std::vector<Bnd_Box> scatter(int count, double ex, double ey, double ez, double largest,
                             unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Bnd_Box> boxes;
    for (int i = 0; i < count; ++i) {
        const double x = unit(random) * ex, y = unit(random) * ey, z = unit(random) * ez;
        const double size = unit(random) * largest;
        boxes.push_back(makeBox(x, y, z, x + size, y + size * unit(random),
                                z + std::min(size, ez) * unit(random)));
    }
    return boxes;
}

// The faces of the plane z = 0 that the rectangles (x0, x1, y0, y1) make, as one model.
std::vector<SampledFace> sheet(const std::vector<std::array<double, 4>>& rectangles)
{
    BRep_Builder builder;
    TopoDS_Compound compound;
    builder.MakeCompound(compound);
    for (const auto& [x0, x1, y0, y1] : rectangles) {
        builder.Add(compound, BRepBuilderAPI_MakeFace(gp_Pln(gp::XOY()), x0, x1, y0, y1).Face());
    }
    return sampleModelFaces(compound);
}

} // namespace

// Every layout finds exactly what comparing each pair finds: one box, two, a flat sheet (where
// OCCT's own index loses boxes), a cloud, boxes of very different sizes, a void box.
TEST(BoxIndex, FindsWhatEveryPairFinds)
{
    const std::vector<std::pair<std::string, std::vector<Bnd_Box>>> layouts = {
        {"one", {makeBox(0, 0, -0.1, 100, 100, 0.1)}},
        {"two", {makeBox(0, 0, -0.1, 100, 100, 0.1), makeBox(0, 0, -0.1, 100, 100, 0.1)}},
        {"sheet", scatter(200, 1000, 1000, 0, 30, 1)},
        {"cloud", scatter(500, 100, 100, 100, 10, 2)},
        {"sizes", scatter(300, 1000, 100, 10, 900, 3)},
        {"void", {Bnd_Box(), makeBox(0, 0, 0, 1, 1, 1)}},
    };
    for (const auto& [name, boxes] : layouts) {
        SCOPED_TRACE(name);
        const BoxIndex index = indexBoxes(boxes);
        std::vector<Bnd_Box> queries = scatter(100, 1000, 1000, 100, 100, 4);
        queries.insert(queries.end(), boxes.begin(), boxes.end());
        for (const Bnd_Box& query : queries) {
            std::vector<int> expected;
            for (int i = 0; i < int(boxes.size()); ++i) {
                if (!query.IsVoid() && !boxes[i].IsOut(query)) expected.push_back(i);
            }
            EXPECT_EQ(findMeetingBoxes(index, query), expected);
        }
    }
}

// One face on a sheet, and a face of a sheet split so that the index had to find both pieces
// (OCCT's own index lost the larger one, and the face was certainly changed into the smaller).
TEST(BoxIndex, FlatModelsAreMatched)
{
    std::vector<FaceMatch> matches =
        matchRevisions(sheet({{0, 100, 0, 100}}), sheet({{0, 100, 0, 100}}));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].kind, MatchKind::same) << matches[0].reason;

    matches = matchRevisions(sheet({{0, 100, 0, 100}, {100, 200, 0, 100}}),
                             sheet({{0, 100, 0, 100}, {100, 190, 0, 100}, {190, 200, 0, 100}}));
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].kind, MatchKind::same) << matches[0].reason;
    EXPECT_EQ(matches[1].kind, MatchKind::split) << matches[1].reason;
    EXPECT_EQ(matches[1].newNumbers, (std::vector<int>{2, 3}));
}
