// Reading animation sets from a real .x file through the DirectX File reader: set and
// animation order, frame references, key reordering and replacement, lastKeyTime.
#include "anim/animation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const char *kFile = R"(xof 0302txt 0032
Frame hips {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; }
  Frame spine { }
}
AnimationSet first {
  Animation {
    { hips }
    AnimationOptions { 1; 0; }
    AnimationKey { 0; 2; 0; 4; 1.0, 0.0, 0.0, 0.0;;, 50; 4; 0.7071068, 0.0, 0.7071068, 0.0;;; }
    AnimationKey { 2; 1; 0; 3; 9.0, 9.0, 9.0;;; }
    AnimationKey { 2; 2; 0; 3; 1.0, 2.0, 3.0;;, 30; 3; 4.0, 5.0, 6.0;;; }
  }
  Animation {
    Frame inlineFrame { }
    AnimationKey { 1; 1; 10; 3; 2.0, 2.0, 2.0;;; }
  }
}
AnimationSet second {
  Animation {
    { spine }
    AnimationKey { 4; 1; 700; 16; 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;;; }
    AnimationKey { 3; 1; 900; 3; 0,0,0;;; }
  }
}
AnimationKey { 0; 1; 0; 4; 1,0,0,0;;; }
)";

// Loads `text` through a file of its own, removed again.
int LoadText(CAnimationCollection &c, const std::string &text)
{
    char path[] = "/tmp/tavrok-anim-XXXXXX";
    close(mkstemp(path));
    std::ofstream(path) << text;
    int result = c.LoadFromFile(path);
    remove(path);
    return result;
}

TEST(AnimationLoader, ReadsSetsAnimationsReferencesAndKeys)
{
    CAnimationCollection c;
    ASSERT_EQ(LoadText(c, kFile), 1);

    // Head insertion: the file's last set comes first.
    ASSERT_EQ(c.GetNumSets(), 2u);
    SAnimationSet *second = c.GetSets();
    ASSERT_STREQ(second->name, "second");
    SAnimationSet *first = second->next;
    ASSERT_STREQ(first->name, "first");
    EXPECT_EQ(first->next, nullptr);

    // lastKeyTime takes matrix keys into account; the ignored key type 3 does not count.
    EXPECT_EQ(second->lastKeyTime, 700u);
    ASSERT_EQ(second->numAnimations, 1u);
    SAnimation *spine = second->animations;
    EXPECT_STREQ(spine->frameName, "spine");
    ASSERT_EQ(spine->numMatrixKeys, 1u);
    EXPECT_EQ(spine->matrixKeys[0].time, 700u);
    EXPECT_EQ(spine->matrixKeys[0].matrix._42, 6.0f);

    ASSERT_EQ(first->numAnimations, 2u);
    SAnimation *inlineAnim = first->animations;  // the second in the file
    EXPECT_EQ(inlineAnim->frameName, nullptr);   // an inline frame names nothing
    ASSERT_EQ(inlineAnim->numScaleKeys, 1u);
    EXPECT_EQ(inlineAnim->scaleKeys[0].scale, D3DXVECTOR3(2, 2, 2));

    SAnimation *hips = inlineAnim->next;
    EXPECT_STREQ(hips->frameName, "hips");
    ASSERT_EQ(hips->numRotationKeys, 2u);
    // w, x, y, z in the file become x, y, z, w.
    EXPECT_EQ(hips->rotationKeys[0].rotation, D3DXQUATERNION(0, 0, 0, 1));
    EXPECT_FLOAT_EQ(hips->rotationKeys[1].rotation.y, 0.7071068f);
    EXPECT_FLOAT_EQ(hips->rotationKeys[1].rotation.w, 0.7071068f);
    EXPECT_EQ(hips->rotationKeys[1].time, 50u);
    // The second position key block replaced the first.
    ASSERT_EQ(hips->numPositionKeys, 2u);
    EXPECT_EQ(hips->positionKeys[1].position, D3DXVECTOR3(4, 5, 6));
    EXPECT_EQ(first->lastKeyTime, 50u);

    // Loading again starts from an empty collection.
    LoadText(c, kFile);
    EXPECT_EQ(c.GetNumSets(), 2u);
}

TEST(AnimationLoader, MissingOrBrokenFilesLeaveTheCollectionEmpty)
{
    CAnimationCollection c;
    LoadText(c, kFile);
    ASSERT_EQ(c.GetNumSets(), 2u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(c.LoadFromFile("/nonexistent/Ninja.x"), 0);
    EXPECT_EQ(c.GetNumSets(), 0u);
    EXPECT_EQ(c.LoadFromFile(NULL), 0);
    // A file cut short keeps what was read before the damage, and never crashes.
    std::string text = kFile;
    LoadText(c, text.substr(0, text.find("AnimationSet second") + 40));
    testing::internal::GetCapturedStderr();
    EXPECT_LE(c.GetNumSets(), 2u);
}

}  // namespace
