// ID3DXAnimationController: outputs written by blending the enabled tracks (weights within
// a priority, then the priority blend), track state, the registry of sets, the event
// sequencer, callbacks handed over by AdvanceTime, cloning, and bad calls.
#include "d3dx9/animation_test_util.h"
#include "support/stderr_capture.h"

#include <d3dx9.h>
#include <d3dx9anim.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using testsupport::CountLines;
using testsupport::StderrOf;
using namespace animtest;

constexpr float kPoseTolerance = 1e-4f;  // vectors compared within this

// A looping set, one tick a second, that holds "Bone" still at `where` turned `degrees`
// about y from tick 0 to tick 10 (two equal keys), and animates nothing else.
ID3DXKeyframedAnimationSet *Pose(const char *name, D3DXVECTOR3 where, float degrees)
{
    ID3DXKeyframedAnimationSet *set = nullptr;
    EXPECT_EQ(D3DXCreateKeyframedAnimationSet(name, 1.0, D3DXPLAY_LOOP, 1, 0, nullptr, &set), D3D_OK);
    const D3DXKEY_QUATERNION r[] = {{0.0f, AboutY(degrees)}, {10.0f, AboutY(degrees)}};
    const D3DXKEY_VECTOR3 t[] = {{0.0f, where}, {10.0f, where}};
    EXPECT_EQ(set->RegisterAnimationSRTKeys("Bone", 0, 2, 2, nullptr, r, t, nullptr), D3D_OK);
    return set;
}

// A set, one tick a second, that moves "Bone" from x = 0 at tick 0 to x = 10 at tick 10.
ID3DXKeyframedAnimationSet *Slide()
{
    ID3DXKeyframedAnimationSet *set = nullptr;
    EXPECT_EQ(D3DXCreateKeyframedAnimationSet("Slide", 1.0, D3DXPLAY_LOOP, 1, 0, nullptr, &set), D3D_OK);
    const D3DXKEY_VECTOR3 t[] = {{0.0f, {0, 0, 0}}, {10.0f, {10, 0, 0}}};
    EXPECT_EQ(set->RegisterAnimationSRTKeys("Bone", 0, 0, 2, nullptr, nullptr, t, nullptr), D3D_OK);
    return set;
}

D3DXVECTOR3 TranslationOf(const D3DXMATRIX &m) { return D3DXVECTOR3(m._41, m._42, m._43); }

class AnimationControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(D3DXCreateAnimationController(4, 4, 3, 8, &ac_), D3D_OK);
        D3DXMatrixIdentity(&bone_);
        D3DXMatrixTranslation(&still_, 7, 8, 9);
        ASSERT_EQ(ac_->RegisterAnimationOutput("Bone", &bone_, &scale_, &rotation_, &translation_), D3D_OK);
        ASSERT_EQ(ac_->RegisterAnimationOutput("Still", &still_, nullptr, nullptr, nullptr), D3D_OK);
    }
    void TearDown() override
    {
        if (ac_) {
            EXPECT_EQ(ac_->Release(), 0u);
        }
    }
    ID3DXAnimationController *ac_ = nullptr;
    D3DXMATRIX bone_, still_;
    D3DXVECTOR3 scale_, translation_;
    D3DXQUATERNION rotation_;
};

TEST_F(AnimationControllerTest, TwoTracksAtHalfWeightBlendToTheMeanAndUnanimatedOutputsKeepTheirMatrix)
{
    ID3DXKeyframedAnimationSet *left = Pose("Left", D3DXVECTOR3(-2, 0, 0), 0);
    ID3DXKeyframedAnimationSet *right = Pose("Right", D3DXVECTOR3(4, 2, 0), 90);
    ASSERT_EQ(ac_->RegisterAnimationSet(left), D3D_OK);
    ASSERT_EQ(ac_->RegisterAnimationSet(right), D3D_OK);
    EXPECT_EQ(ac_->GetNumAnimationSets(), 2u);
    ASSERT_EQ(ac_->SetTrackAnimationSet(0, left), D3D_OK);
    ASSERT_EQ(ac_->SetTrackAnimationSet(1, right), D3D_OK);
    ac_->SetTrackWeight(0, 0.5f);
    ac_->SetTrackWeight(1, 0.5f);
    ASSERT_EQ(ac_->AdvanceTime(1.0, nullptr), D3D_OK);
    EXPECT_DOUBLE_EQ(ac_->GetTime(), 1.0);
    ExpectNear(translation_, D3DXVECTOR3(1, 1, 0), kPoseTolerance);
    ExpectSameRotation(rotation_, AboutY(45));  // the slerp midpoint
    ExpectNear(scale_, D3DXVECTOR3(1, 1, 1), kPoseTolerance);
    // The matrix is scale, rotation, then translation.
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, D3DXToRadian(45));
    expected._41 = 1;
    expected._42 = 1;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&bone_._11)[i], (&expected._11)[i], 1e-5f) << i;
    // "Still" is in no set: it keeps its matrix.
    ExpectNear(TranslationOf(still_), D3DXVECTOR3(7, 8, 9), kPoseTolerance);

    // Weights need not add up to one: 3 to 1 is a quarter of the way to the second pose.
    ac_->SetTrackWeight(0, 3.0f);
    ac_->SetTrackWeight(1, 1.0f);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(-0.5f, 0.5f, 0), kPoseTolerance);
    // A disabled track, or one of weight 0, takes no part.
    ac_->SetTrackEnable(0, FALSE);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(4, 2, 0), kPoseTolerance);
    ac_->SetTrackEnable(0, TRUE);
    ac_->SetTrackWeight(1, 0.0f);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(-2, 0, 0), kPoseTolerance);

    // Priorities: the high-priority result alone at a blend of 0, the low-priority one at
    // 1, a lerp between.
    ac_->SetTrackWeight(1, 1.0f);
    ac_->SetTrackPriority(1, D3DXPRIORITY_HIGH);
    EXPECT_EQ(ac_->GetPriorityBlend(), 0.0f);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(4, 2, 0), kPoseTolerance);
    ac_->SetPriorityBlend(1.0f);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(-2, 0, 0), kPoseTolerance);
    ac_->SetPriorityBlend(0.25f);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(2.5f, 1.5f, 0), kPoseTolerance);
    ExpectSameRotation(rotation_, AboutY(67.5f));

    // Nothing playing: outputs keep what they hold.
    ac_->SetTrackEnable(0, FALSE);
    ac_->SetTrackEnable(1, FALSE);
    bone_._41 = 123;
    ac_->AdvanceTime(1.0, nullptr);
    EXPECT_EQ(bone_._41, 123.0f);
    left->Release();
    right->Release();
}

TEST_F(AnimationControllerTest, TracksMoveBySpeedAndTheirStateCanBeReadAndSet)
{
    ID3DXKeyframedAnimationSet *slide = Slide();
    // Playing a set registers it.
    ASSERT_EQ(ac_->SetTrackAnimationSet(0, slide), D3D_OK);
    EXPECT_EQ(ac_->GetNumAnimationSets(), 1u);
    D3DXTRACK_DESC d = {};
    ASSERT_EQ(ac_->GetTrackDesc(0, &d), D3D_OK);
    EXPECT_EQ(d.Priority, D3DXPRIORITY_LOW);
    EXPECT_EQ(d.Weight, 1.0f);
    EXPECT_EQ(d.Speed, 1.0f);
    EXPECT_EQ(d.Position, 0.0);
    EXPECT_TRUE(d.Enable);

    ac_->AdvanceTime(2.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(2, 0, 0), kPoseTolerance);
    ac_->SetTrackSpeed(0, 2.0f);
    ac_->AdvanceTime(1.5, nullptr);  // position 2 + 3
    ExpectNear(translation_, D3DXVECTOR3(5, 0, 0), kPoseTolerance);
    ac_->AdvanceTime(3.0, nullptr);  // position 11 wraps to 1
    ExpectNear(translation_, D3DXVECTOR3(1, 0, 0), kPoseTolerance);
    ASSERT_EQ(ac_->GetTrackDesc(0, &d), D3D_OK);
    EXPECT_DOUBLE_EQ(d.Position, 11.0);
    EXPECT_DOUBLE_EQ(ac_->GetTime(), 6.5);

    ac_->SetTrackPosition(0, 7.5);
    ac_->AdvanceTime(0.0, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(7.5f, 0, 0), kPoseTolerance);
    D3DXTRACK_DESC set = {D3DXPRIORITY_HIGH, 0.5f, -1.0f, 4.0, TRUE};
    ASSERT_EQ(ac_->SetTrackDesc(0, &set), D3D_OK);
    ac_->AdvanceTime(1.0, nullptr);  // backwards to 3
    ExpectNear(translation_, D3DXVECTOR3(3, 0, 0), kPoseTolerance);

    ASSERT_EQ(ac_->ResetTime(), D3D_OK);
    EXPECT_EQ(ac_->GetTime(), 0.0);
    ASSERT_EQ(ac_->GetTrackDesc(0, &d), D3D_OK);
    EXPECT_DOUBLE_EQ(d.Position, 3.0);  // the track keeps its place

    // Bad calls: one line each.
    const std::string err = StderrOf([&] {
        EXPECT_EQ(ac_->SetTrackSpeed(3, 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(ac_->AdvanceTime(-1.0, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(ac_->GetTrackDesc(0, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(ac_->SetPriorityBlend(1.5f), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 4) << err;
    slide->Release();
}

TEST_F(AnimationControllerTest, SetsAreRegisteredOnceFoundByNameAndLetGoWhenUnregistered)
{
    ID3DXKeyframedAnimationSet *a = Pose("A", D3DXVECTOR3(1, 0, 0), 0);
    ID3DXKeyframedAnimationSet *b = Pose("B", D3DXVECTOR3(2, 0, 0), 0);
    ASSERT_EQ(ac_->RegisterAnimationSet(a), D3D_OK);
    ASSERT_EQ(ac_->RegisterAnimationSet(b), D3D_OK);
    ID3DXAnimationSet *found = nullptr;
    ASSERT_EQ(ac_->GetAnimationSetByName("B", &found), D3D_OK);
    EXPECT_EQ(found, static_cast<ID3DXAnimationSet *>(b));
    found->Release();
    EXPECT_EQ(ac_->GetAnimationSetByName("C", &found), D3DERR_NOTFOUND);
    ASSERT_EQ(ac_->GetAnimationSet(0, &found), D3D_OK);
    EXPECT_EQ(found, static_cast<ID3DXAnimationSet *>(a));
    found->Release();

    ac_->SetTrackAnimationSet(0, b);
    ASSERT_EQ(ac_->UnregisterAnimationSet(b), D3D_OK);
    EXPECT_EQ(ac_->GetNumAnimationSets(), 1u);
    ASSERT_EQ(ac_->GetTrackAnimationSet(0, &found), D3D_OK);
    EXPECT_EQ(found, nullptr);  // the track let it go too
    // Only the test's reference is left on b.
    b->AddRef();
    EXPECT_EQ(b->Release(), 1u);

    // Room is limited to what the controller was made with.
    ID3DXAnimationController *small = nullptr;
    ASSERT_EQ(D3DXCreateAnimationController(1, 1, 1, 0, &small), D3D_OK);
    D3DXMATRIX m1, m2;
    ASSERT_EQ(small->RegisterAnimationOutput("One", &m1, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(small->RegisterAnimationOutput("One", &m2, nullptr, nullptr, nullptr), D3D_OK);  // moved, not added
    ASSERT_EQ(small->RegisterAnimationSet(a), D3D_OK);
    // A set registered twice, one not registered, no room for an output, a set or an event,
    // no tracks: refused with one line each.
    ID3DXKeyframedAnimationSet *c = Pose("C", D3DXVECTOR3(0, 0, 0), 0);
    ID3DXAnimationController *none = nullptr;
    const std::string err = StderrOf([&] {
        EXPECT_EQ(ac_->RegisterAnimationSet(a), D3DERR_INVALIDCALL);
        EXPECT_EQ(ac_->UnregisterAnimationSet(b), D3DERR_INVALIDCALL);
        EXPECT_EQ(small->RegisterAnimationOutput("Two", &m1, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(small->SetTrackAnimationSet(0, c), D3DERR_INVALIDCALL);
        EXPECT_EQ(small->KeyTrackEnable(0, TRUE, 1.0), 0u);
        EXPECT_EQ(D3DXCreateAnimationController(0, 1, 1, 1, &none), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 6) << err;
    b->Release();
    c->Release();
    EXPECT_EQ(small->Release(), 0u);
    a->Release();
}

TEST_F(AnimationControllerTest, KeyedEventsChangeTracksAtTheirTimesAndAreGoneWhenOver)
{
    ID3DXKeyframedAnimationSet *left = Pose("Left", D3DXVECTOR3(0, 0, 0), 0);
    ID3DXKeyframedAnimationSet *right = Pose("Right", D3DXVECTOR3(8, 0, 0), 0);
    ac_->SetTrackAnimationSet(0, left);
    ac_->SetTrackAnimationSet(1, right);
    ac_->SetTrackWeight(1, 0.0f);
    // A cross-fade from left to right between seconds 1 and 3.
    D3DXEVENTHANDLE out = ac_->KeyTrackWeight(0, 0.0f, 1.0, 2.0, D3DXTRANSITION_LINEAR);
    D3DXEVENTHANDLE in = ac_->KeyTrackWeight(1, 1.0f, 1.0, 2.0, D3DXTRANSITION_LINEAR);
    ASSERT_NE(out, 0u);
    ASSERT_NE(in, 0u);
    EXPECT_NE(out, in);
    EXPECT_EQ(ac_->GetUpcomingTrackEvent(0, 0), out);
    EXPECT_EQ(ac_->GetCurrentTrackEvent(0, D3DXEVENT_TRACKWEIGHT), 0u);
    D3DXEVENT_DESC desc = {};
    ASSERT_EQ(ac_->GetEventDesc(in, &desc), D3D_OK);
    EXPECT_EQ(desc.Type, D3DXEVENT_TRACKWEIGHT);
    EXPECT_EQ(desc.Track, 1u);

    ac_->AdvanceTime(0.5, nullptr);
    ExpectNear(translation_, D3DXVECTOR3(0, 0, 0), kPoseTolerance);
    ac_->AdvanceTime(1.5, nullptr);  // second 2: half way
    D3DXTRACK_DESC d;
    ac_->GetTrackDesc(0, &d);
    EXPECT_NEAR(d.Weight, 0.5f, 1e-6f);
    ExpectNear(translation_, D3DXVECTOR3(4, 0, 0), kPoseTolerance);
    EXPECT_EQ(ac_->GetCurrentTrackEvent(0, D3DXEVENT_TRACKWEIGHT), out);
    EXPECT_EQ(ac_->ValidateEvent(out), D3D_OK);
    ac_->AdvanceTime(2.0, nullptr);  // second 4: over
    ExpectNear(translation_, D3DXVECTOR3(8, 0, 0), kPoseTolerance);
    EXPECT_EQ(ac_->ValidateEvent(out), D3DERR_INVALIDCALL);
    EXPECT_EQ(ac_->GetCurrentTrackEvent(0, D3DXEVENT_TRACKWEIGHT), 0u);

    // Eased: a quarter of the way in time is less than a quarter of the change.
    ac_->KeyTrackWeight(0, 1.0f, 4.0, 4.0, D3DXTRANSITION_EASEINEASEOUT);
    ac_->AdvanceTime(1.0, nullptr);
    ac_->GetTrackDesc(0, &d);
    EXPECT_NEAR(d.Weight, 0.15625f, 1e-5f);

    // Enable, position and speed events take effect at their start.
    D3DXEVENTHANDLE off = ac_->KeyTrackEnable(1, FALSE, 6.0);
    D3DXEVENTHANDLE jump = ac_->KeyTrackPosition(0, 100.0, 6.0);
    D3DXEVENTHANDLE fast = ac_->KeyTrackSpeed(0, 3.0f, 6.0, 0.0, D3DXTRANSITION_LINEAR);
    EXPECT_EQ(ac_->GetUpcomingTrackEvent(0, jump), fast);
    ac_->AdvanceTime(1.0, nullptr);  // second 6
    ac_->GetTrackDesc(1, &d);
    EXPECT_FALSE(d.Enable);
    ac_->GetTrackDesc(0, &d);
    EXPECT_DOUBLE_EQ(d.Position, 100.0);
    EXPECT_EQ(d.Speed, 3.0f);
    EXPECT_EQ(ac_->ValidateEvent(off), D3DERR_INVALIDCALL);

    // Unkeyed events never happen.
    D3DXEVENTHANDLE never = ac_->KeyTrackEnable(0, FALSE, 7.0);
    ASSERT_EQ(ac_->UnkeyEvent(never), D3D_OK);
    ac_->KeyTrackEnable(0, FALSE, 7.0);
    ASSERT_EQ(ac_->UnkeyAllTrackEvents(0), D3D_OK);
    D3DXEVENTHANDLE blend = ac_->KeyPriorityBlend(1.0f, 7.0, 2.0, D3DXTRANSITION_LINEAR);
    EXPECT_EQ(ac_->GetUpcomingPriorityBlend(0), blend);
    ac_->AdvanceTime(2.0, nullptr);  // second 8
    ac_->GetTrackDesc(0, &d);
    EXPECT_TRUE(d.Enable);
    EXPECT_NEAR(ac_->GetPriorityBlend(), 0.5f, 1e-6f);
    EXPECT_EQ(ac_->GetCurrentPriorityBlend(), blend);
    ASSERT_EQ(ac_->UnkeyAllPriorityBlends(), D3D_OK);
    EXPECT_EQ(ac_->GetCurrentPriorityBlend(), 0u);

    // Bad keys: no handle and one line each.
    const std::string err = StderrOf([&] {
        EXPECT_EQ(ac_->KeyTrackWeight(9, 1.0f, 0.0, 1.0, D3DXTRANSITION_LINEAR), 0u);
        EXPECT_EQ(ac_->KeyTrackSpeed(0, 1.0f, 0.0, -1.0, D3DXTRANSITION_LINEAR), 0u);
        EXPECT_EQ(ac_->UnkeyEvent(12345), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 3) << err;
    left->Release();
    right->Release();
}

// Records the callbacks it is handed.
struct Recorder : ID3DXAnimationCallbackHandler {
    std::vector<std::pair<UINT, void *>> calls;
    STDMETHOD(HandleCallback)(UINT track, LPVOID data) override
    {
        calls.emplace_back(track, data);
        return S_OK;
    }
};

TEST_F(AnimationControllerTest, AdvanceTimeHandsOverEachCallbackKeyTheTrackPasses)
{
    int a = 0, b = 0;
    const D3DXKEY_CALLBACK keys[] = {{2.0f, &a}, {6.0f, &b}};
    const D3DXKEY_VECTOR3 end[] = {{0.0f, {0, 0, 0}}, {10.0f, {0, 0, 0}}};
    ID3DXKeyframedAnimationSet *set = nullptr;
    ASSERT_EQ(D3DXCreateKeyframedAnimationSet("Steps", 1.0, D3DXPLAY_LOOP, 1, 2, keys, &set), D3D_OK);
    set->RegisterAnimationSRTKeys("Bone", 0, 0, 2, nullptr, nullptr, end, nullptr);
    ac_->SetTrackAnimationSet(1, set);
    Recorder r;
    ac_->AdvanceTime(1.0, &r);
    EXPECT_TRUE(r.calls.empty());
    ac_->AdvanceTime(1.0, &r);  // reaches 2
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0], std::make_pair(1u, static_cast<void *>(&a)));
    ac_->AdvanceTime(0.5, &r);  // the key at 2 is not handed over twice
    EXPECT_EQ(r.calls.size(), 1u);
    ac_->AdvanceTime(10.0, &r);  // 2.5 to 12.5: 6, then 2 of the next loop
    ASSERT_EQ(r.calls.size(), 3u);
    EXPECT_EQ(r.calls[1].second, &b);
    EXPECT_EQ(r.calls[2].second, &a);
    // Without a handler nothing is called, and nothing is left over for the next step.
    ac_->AdvanceTime(4.0, nullptr);
    ac_->AdvanceTime(0.5, &r);
    EXPECT_EQ(r.calls.size(), 3u);
    set->Release();
}

TEST_F(AnimationControllerTest, ACloneHasTheSameSetsTracksAndEventsAndAdvancesOnItsOwn)
{
    ID3DXKeyframedAnimationSet *slide = Slide();
    ac_->SetTrackAnimationSet(0, slide);
    ac_->AdvanceTime(2.0, nullptr);
    ac_->KeyTrackSpeed(0, 0.0f, 5.0, 0.0, D3DXTRANSITION_LINEAR);
    ID3DXAnimationController *copy = nullptr;
    ASSERT_EQ(ac_->CloneAnimationController(4, 4, 2, 4, &copy), D3D_OK);
    EXPECT_EQ(copy->GetNumAnimationSets(), 1u);
    EXPECT_DOUBLE_EQ(copy->GetTime(), 2.0);
    EXPECT_NE(copy->GetUpcomingTrackEvent(0, 0), 0u);
    copy->AdvanceTime(1.0, nullptr);  // the clone writes the same outputs
    ExpectNear(translation_, D3DXVECTOR3(3, 0, 0), kPoseTolerance);
    D3DXTRACK_DESC d;
    ac_->GetTrackDesc(0, &d);
    EXPECT_DOUBLE_EQ(d.Position, 2.0);  // the original did not move
    copy->AdvanceTime(3.0, nullptr);    // the speed event stops the clone's track at 5 s
    copy->GetTrackDesc(0, &d);
    EXPECT_EQ(d.Speed, 0.0f);
    EXPECT_EQ(copy->Release(), 0u);
    ID3DXAnimationController *tooSmall = nullptr;
    StderrOf([&] { EXPECT_EQ(ac_->CloneAnimationController(1, 4, 2, 4, &tooSmall), D3DERR_INVALIDCALL); });
    EXPECT_EQ(tooSmall, nullptr);
    slide->Release();
}

}  // namespace
