// The matcher's stages on faces made in memory: what each decides, and why it doubts.
#include "follow/face_sampling.hpp"
#include "follow/model_moves.hpp"
#include "follow/revision_match.hpp"

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
