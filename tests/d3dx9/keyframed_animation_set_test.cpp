// ID3DXKeyframedAnimationSet: sampling keys at and between their times, the period and
// the three playback types, the key accessors, callback keys, and bad calls.
#include "d3dx9/animation_test_util.h"
#include "support/stderr_capture.h"

#include <d3dx9.h>
#include <d3dx9anim.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testsupport::CountLines;
using testsupport::StderrOf;
using namespace animtest;

constexpr float kKeyTolerance = 1e-5f;  // vectors compared within this

const float kHalfSqrt2 = 0.70710678f;

// A set at 10 ticks a second whose "Arm" has scale keys at ticks 0 and 20, rotation keys
// at 0, 10 and 40 (0, 90 and 180 degrees about y) and translation keys at 10 and 30.
ID3DXKeyframedAnimationSet *MakeArmSet(D3DXPLAYBACK_TYPE playback)
{
    ID3DXKeyframedAnimationSet *set = nullptr;
    EXPECT_EQ(D3DXCreateKeyframedAnimationSet("Swing", 10.0, playback, 2, 0, nullptr, &set), D3D_OK);
    const D3DXKEY_VECTOR3 scale[] = {{0.0f, {1, 1, 1}}, {20.0f, {3, 1, 5}}};
    const D3DXKEY_QUATERNION rotation[] = {{0.0f, AboutY(0)}, {10.0f, AboutY(90)}, {40.0f, AboutY(180)}};
    const D3DXKEY_VECTOR3 translation[] = {{10.0f, {0, 0, 0}}, {30.0f, {4, -2, 8}}};
    DWORD index = 99;
    EXPECT_EQ(set->RegisterAnimationSRTKeys("Arm", 2, 3, 2, scale, rotation, translation, &index), D3D_OK);
    EXPECT_EQ(index, 0u);
    return set;
}

TEST(KeyframedAnimationSet, SamplesHoldBeforeAndAfterTheKeysLerpScaleAndTranslationAndSlerpRotation)
{
    ID3DXKeyframedAnimationSet *set = MakeArmSet(D3DXPLAY_LOOP);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 4.0);  // the last key, tick 40
    EXPECT_EQ(set->GetNumAnimations(), 1u);

    D3DXVECTOR3 s, t;
    D3DXQUATERNION r;
    // At a key: its values.
    ASSERT_EQ(set->GetSRT(1.0, 0, &s, &r, &t), D3D_OK);
    ExpectSameRotation(r, AboutY(90));
    ExpectNear(t, D3DXVECTOR3(0, 0, 0), kKeyTolerance);
    // Half way between keys (positions are seconds, keys ticks): tick 5 is half way from
    // the first rotation to the second, and a quarter of the way through the scale keys.
    ASSERT_EQ(set->GetSRT(0.5, 0, &s, &r, &t), D3D_OK);
    ExpectSameRotation(r, AboutY(45));
    ExpectNear(s, D3DXVECTOR3(1.5f, 1.0f, 2.0f), kKeyTolerance);
    ExpectNear(t, D3DXVECTOR3(0, 0, 0), kKeyTolerance);  // before the first translation key: held
    // Tick 25: rotation half way from 90 to 180 degrees over ticks 10..40 is at 1/2.
    ASSERT_EQ(set->GetSRT(2.5, 0, &s, &r, &t), D3D_OK);
    ExpectSameRotation(r, AboutY(90 + 45));
    ExpectNear(s, D3DXVECTOR3(3, 1, 5), kKeyTolerance);  // after the last scale key: held
    ExpectNear(t, D3DXVECTOR3(3, -1.5f, 6), kKeyTolerance);

    // An animation with no keys at all is the identity.
    ASSERT_EQ(set->RegisterAnimationSRTKeys("Still", 0, 0, 0, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(set->GetSRT(1.7, 1, &s, &r, &t), D3D_OK);
    ExpectNear(s, D3DXVECTOR3(1, 1, 1), kKeyTolerance);
    ExpectSameRotation(r, D3DXQUATERNION(0, 0, 0, 1));
    ExpectNear(t, D3DXVECTOR3(0, 0, 0), kKeyTolerance);
    // Names and indices.
    UINT index = 9;
    EXPECT_EQ(set->GetAnimationIndexByName("Still", &index), D3D_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(set->GetAnimationIndexByName("Leg", &index), D3DERR_NOTFOUND);
    LPCSTR name = nullptr;
    EXPECT_EQ(set->GetAnimationNameByIndex(0, &name), D3D_OK);
    EXPECT_STREQ(name, "Arm");

    // Keys handed in out of order are sampled in time order.
    ID3DXKeyframedAnimationSet *other = nullptr;
    ASSERT_EQ(D3DXCreateKeyframedAnimationSet("S", 30.0, D3DXPLAY_LOOP, 1, 0, nullptr, &other), D3D_OK);
    const D3DXKEY_VECTOR3 backwards[] = {{30.0f, {3, 0, 0}}, {0.0f, {0, 0, 0}}};
    const D3DXKEY_VECTOR3 nan[] = {{std::nanf(""), {0, 0, 0}}};
    // A full set, a missing animation, missing keys, a key at no time and no ticks are
    // refused with one line each.
    ID3DXKeyframedAnimationSet *none = nullptr;
    const std::string err = StderrOf([&] {
        EXPECT_EQ(set->RegisterAnimationSRTKeys("Third", 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(set->GetSRT(0.0, 2, &s, &r, &t), D3DERR_INVALIDCALL);
        EXPECT_EQ(other->RegisterAnimationSRTKeys("A", 2, 0, 0, nullptr, nullptr, nullptr, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(other->RegisterAnimationSRTKeys("A", 1, 0, 0, nan, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreateKeyframedAnimationSet("Z", 0.0, D3DXPLAY_LOOP, 1, 0, nullptr, &none), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 5) << err;
    EXPECT_EQ(none, nullptr);
    ASSERT_EQ(other->RegisterAnimationSRTKeys("A", 0, 0, 2, nullptr, nullptr, backwards, nullptr), D3D_OK);
    ASSERT_EQ(other->GetSRT(0.5, 0, nullptr, nullptr, &t), D3D_OK);
    ExpectNear(t, D3DXVECTOR3(1.5f, 0, 0), kKeyTolerance);
    other->Release();
    set->Release();
}

TEST(KeyframedAnimationSet, PeriodicPositionsLoopHoldOrPingPong)
{
    ID3DXKeyframedAnimationSet *loop = MakeArmSet(D3DXPLAY_LOOP);
    ID3DXKeyframedAnimationSet *once = MakeArmSet(D3DXPLAY_ONCE);
    ID3DXKeyframedAnimationSet *pingpong = MakeArmSet(D3DXPLAY_PINGPONG);
    // Period 4 seconds.
    EXPECT_DOUBLE_EQ(loop->GetPeriodicPosition(1.5), 1.5);
    EXPECT_DOUBLE_EQ(loop->GetPeriodicPosition(5.5), 1.5);
    EXPECT_DOUBLE_EQ(loop->GetPeriodicPosition(9.0), 1.0);
    EXPECT_DOUBLE_EQ(loop->GetPeriodicPosition(-1.0), 3.0);
    EXPECT_DOUBLE_EQ(once->GetPeriodicPosition(1.5), 1.5);
    EXPECT_DOUBLE_EQ(once->GetPeriodicPosition(5.5), 4.0);
    EXPECT_DOUBLE_EQ(once->GetPeriodicPosition(-1.0), 0.0);
    EXPECT_DOUBLE_EQ(pingpong->GetPeriodicPosition(1.5), 1.5);
    EXPECT_DOUBLE_EQ(pingpong->GetPeriodicPosition(5.5), 2.5);  // on the way back
    EXPECT_DOUBLE_EQ(pingpong->GetPeriodicPosition(8.0), 0.0);
    EXPECT_DOUBLE_EQ(pingpong->GetPeriodicPosition(9.0), 1.0);  // forwards again
    // Sampling the wrapped position gives the pose of the first period.
    D3DXVECTOR3 t1, t2;
    loop->GetSRT(loop->GetPeriodicPosition(6.5), 0, nullptr, nullptr, &t1);
    loop->GetSRT(2.5, 0, nullptr, nullptr, &t2);
    ExpectNear(t1, t2, kKeyTolerance);
    loop->Release();
    once->Release();
    pingpong->Release();
}

TEST(KeyframedAnimationSet, KeysCanBeChangedAndRemovedAndThePeriodFollows)
{
    ID3DXKeyframedAnimationSet *set = MakeArmSet(D3DXPLAY_LOOP);
    // A changed key is sampled; a time that would put a key before the one ahead of it is
    // refused.
    D3DXKEY_VECTOR3 key = {30.0f, {10, 0, 0}};
    ASSERT_EQ(set->SetTranslationKey(0, 1, &key), D3D_OK);
    D3DXVECTOR3 t;
    ASSERT_EQ(set->GetSRT(2.0, 0, nullptr, nullptr, &t), D3D_OK);
    ExpectNear(t, D3DXVECTOR3(5, 0, 0), kKeyTolerance);
    key.Time = 5.0f;
    std::string err = StderrOf([&] { EXPECT_EQ(set->SetTranslationKey(0, 1, &key), D3DERR_INVALIDCALL); });
    EXPECT_EQ(CountLines(err), 1) << err;

    // Removing the last rotation key shortens the period to the last translation key.
    ASSERT_EQ(set->UnregisterRotationKey(0, 2), D3D_OK);
    EXPECT_EQ(set->GetNumRotationKeys(0), 2u);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 3.0);
    D3DXQUATERNION r;
    set->GetSRT(2.5, 0, nullptr, &r, nullptr);
    ExpectSameRotation(r, AboutY(90));  // held after the last key that is left
    ASSERT_EQ(set->UnregisterScaleKey(0, 0), D3D_OK);
    EXPECT_EQ(set->GetNumScaleKeys(0), 1u);
    err = StderrOf([&] { EXPECT_EQ(set->UnregisterScaleKey(0, 5), D3DERR_INVALIDCALL); });
    EXPECT_EQ(CountLines(err), 1) << err;

    ASSERT_EQ(set->UnregisterAnimation(0), D3D_OK);
    EXPECT_EQ(set->GetNumAnimations(), 0u);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 0.0);
    EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(3.0), 0.0);

    // The set answers for itself and its base.
    ID3DXAnimationSet *base = nullptr;
    ASSERT_EQ(set->QueryInterface(IID_ID3DXAnimationSet, reinterpret_cast<void **>(&base)), S_OK);
    EXPECT_EQ(base, static_cast<ID3DXAnimationSet *>(set));
    base->Release();
    void *nothing = nullptr;
    EXPECT_EQ(set->QueryInterface(IID_ID3DXAnimationController, &nothing), E_NOINTERFACE);
    EXPECT_EQ(set->Release(), 0u);
}

TEST(KeyframedAnimationSet, CallbacksAreFoundForwardsBackwardsAndAcrossRepetitions)
{
    int a = 0, b = 0;
    // 10 ticks a second; callbacks at 1 s and 3 s; one translation key at 4 s makes the
    // period 4 s.
    const D3DXKEY_CALLBACK callbacks[] = {{30.0f, &b}, {10.0f, &a}};
    const D3DXKEY_VECTOR3 end[] = {{40.0f, {0, 0, 0}}};
    ID3DXKeyframedAnimationSet *loop = nullptr, *once = nullptr, *pingpong = nullptr;
    ASSERT_EQ(D3DXCreateKeyframedAnimationSet("L", 10.0, D3DXPLAY_LOOP, 1, 2, callbacks, &loop), D3D_OK);
    ASSERT_EQ(D3DXCreateKeyframedAnimationSet("O", 10.0, D3DXPLAY_ONCE, 1, 2, callbacks, &once), D3D_OK);
    ASSERT_EQ(D3DXCreateKeyframedAnimationSet("P", 10.0, D3DXPLAY_PINGPONG, 1, 2, callbacks, &pingpong), D3D_OK);
    for (ID3DXKeyframedAnimationSet *s : {loop, once, pingpong})
        s->RegisterAnimationSRTKeys("X", 0, 0, 1, nullptr, nullptr, end, nullptr);
    D3DXKEY_CALLBACK first = {};
    ASSERT_EQ(loop->GetCallbackKey(0, &first), D3D_OK);
    EXPECT_EQ(first.Time, 10.0f);  // kept in time order
    EXPECT_EQ(first.pCallbackData, &a);

    // From a callback's own time it is found unless excluded; past the last one the loop
    // finds the next repetition, once finds nothing, and ping-pong's way back passes 3 s at
    // 5 s and 1 s at 7 s.
    const DWORD kExcl = D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION;
    const DWORD kBehind = D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION;
    const struct {
        ID3DXKeyframedAnimationSet *set;
        double from;
        DWORD flags;
        double at;
        void *data;  // nullptr: not found
    } rows[] = {{loop, 0.0, 0, 1.0, &a},          {loop, 1.0, 0, 1.0, &a},
                {loop, 1.0, kExcl, 3.0, &b},      {loop, 3.5, 0, 5.0, &a},
                {loop, 6.0, kBehind, 5.0, &a},    {loop, 4.5, kBehind, 3.0, &b},
                {once, 3.5, 0, 0.0, nullptr},     {pingpong, 3.5, 0, 5.0, &b},
                {pingpong, 5.0, kExcl, 7.0, &a},  {pingpong, 7.5, 0, 9.0, &a}};
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.set->GetName() << " from " << row.from << " flags "
                                        << row.flags);
        double at = -1;
        void *data = nullptr;
        if (!row.data) {
            EXPECT_EQ(row.set->GetCallback(row.from, row.flags, &at, &data), D3DERR_NOTFOUND);
            continue;
        }
        ASSERT_EQ(row.set->GetCallback(row.from, row.flags, &at, &data), D3D_OK);
        EXPECT_DOUBLE_EQ(at, row.at);
        EXPECT_EQ(data, row.data);
    }
    loop->Release();
    once->Release();
    pingpong->Release();
}

}  // namespace
