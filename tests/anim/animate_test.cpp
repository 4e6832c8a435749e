// Posing a frame tree from animation sets: set choice, looping and clamping, track order,
// interpolation, additive blending and binding by frame name.
#include "anim/animation.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

char *Copy(const char *s)
{
    char *c = new char[strlen(s) + 1];
    strcpy(c, s);
    return c;
}

// A collection whose sets tests build by hand, in the order a file walk would.
class TestCollection : public CAnimationCollection {
public:
    SAnimationSet *AddSet(const char *name)
    {
        SAnimationSet *set = new SAnimationSet;
        set->name = name ? Copy(name) : NULL;
        set->next = m_sets;
        m_sets = set;
        ++m_numSets;
        return set;
    }
    static SAnimation *AddAnimation(SAnimationSet *set, const char *frame)
    {
        SAnimation *anim = new SAnimation;
        anim->frameName = frame ? Copy(frame) : NULL;
        anim->next = set->animations;
        set->animations = anim;
        ++set->numAnimations;
        return anim;
    }
};

void SetPositions(SAnimationSet *set, SAnimation *anim, std::initializer_list<std::pair<DWORD, float>> keys)
{
    anim->numPositionKeys = DWORD(keys.size());
    anim->positionKeys = new SPositionKey[keys.size()];
    int i = 0;
    for (auto &k : keys) {
        anim->positionKeys[i].time = k.first;
        anim->positionKeys[i].position = D3DXVECTOR3(k.second, 0, 0);
        if (k.first > set->lastKeyTime)
            set->lastKeyTime = k.first;
        ++i;
    }
}

struct Tree {
    SFrame *root;
    SFrame *bone;
    Tree()
    {
        root = new SFrame;
        root->Name = Copy("root");
        bone = new SFrame;
        bone->Name = Copy("bone");
        root->pFrameFirstChild = bone;
    }
    ~Tree() { DeleteFrameTree(root); }
    float X() const { return bone->TransformationMatrix._41; }
    void Reset() { ResetFrameMatrices(root); }
};

TEST(Animate, LoopsClampsAndInterpolatesPositionKeys)
{
    TestCollection c;
    Tree tree;
    SAnimationSet *set = c.AddSet("walk");
    SetPositions(set, TestCollection::AddAnimation(set, "bone"), {{0, 0.0f}, {100, 10.0f}});
    c.BindToFrames(tree.root);

    // 101 loops to time 0, 250 mod 101 = 48, no loop clamps to the last key, names match
    // ignoring case, an unknown name does nothing.
    const struct {
        const char *name;
        DWORD time;
        int loop;
        float x;
    } rows[] = {{"walk", 50, 1, 5.0f},   {"walk", 101, 1, 0.0f}, {"walk", 250, 1, 4.8f},
                {"walk", 250, 0, 10.0f}, {"WALK", 20, 1, 2.0f},  {"run", 20, 1, 0.0f}};
    for (const auto &row : rows) {
        tree.Reset();
        c.Animate(row.name, row.time, row.loop, 1.0f);
        EXPECT_FLOAT_EQ(tree.X(), row.x) << row.name << " at " << row.time << " loop " << row.loop;
    }
}

TEST(Animate, ShortTracksHoldTheirLastKeyAndSingleKeysHoldEverywhere)
{
    TestCollection c;
    Tree tree;
    SFrame *other = new SFrame;
    other->Name = Copy("other");
    tree.bone->pFrameSibling = other;
    SAnimationSet *set = c.AddSet("clip");
    SetPositions(set, TestCollection::AddAnimation(set, "bone"), {{0, 0.0f}, {40, 4.0f}});
    SetPositions(set, TestCollection::AddAnimation(set, "other"), {{30, 7.0f}});
    SetPositions(set, TestCollection::AddAnimation(set, "longer"), {{0, 0.0f}, {200, 1.0f}});  // unbound
    c.BindToFrames(tree.root);
    EXPECT_EQ(set->lastKeyTime, 200u);

    c.Animate("clip", 150, 1, 1.0f);
    EXPECT_FLOAT_EQ(tree.X(), 4.0f);                               // beyond its last key
    EXPECT_FLOAT_EQ(other->TransformationMatrix._41, 7.0f);        // one key, any time
    tree.Reset();
    c.Animate("clip", 0, 1, 1.0f);
    EXPECT_FLOAT_EQ(other->TransformationMatrix._41, 7.0f);
}

TEST(Animate, WeightsAddOffsetsToTheRestPose)
{
    TestCollection c;
    Tree tree;
    D3DXMatrixTranslation(&tree.bone->RestMatrix, 1.0f, 0, 0);
    tree.Reset();
    SAnimationSet *a = c.AddSet("a");
    SetPositions(a, TestCollection::AddAnimation(a, "bone"), {{0, 3.0f}});
    SAnimationSet *b = c.AddSet("b");
    SetPositions(b, TestCollection::AddAnimation(b, "bone"), {{0, 5.0f}});
    c.BindToFrames(tree.root);

    c.Animate("a", 0, 1, 0.5f);  // rest 1 + 0.5 * (3 - 1)
    EXPECT_FLOAT_EQ(tree.X(), 2.0f);
    EXPECT_FLOAT_EQ(tree.bone->TransformationMatrix._11, 1.0f);  // unchanged where M equals rest
    tree.Reset();
    c.Animate("a", 0, 1, 1.0f);
    c.Animate("b", 0, 1, 1.0f);  // two calls add both offsets: 1 + 2 + 4
    EXPECT_FLOAT_EQ(tree.X(), 7.0f);
    tree.Reset();
    c.Animate(NULL, 0, 1, 1.0f);  // null name: the head of the list, the file's last set
    EXPECT_FLOAT_EQ(tree.X(), 5.0f);
}

TEST(Animate, TracksCombineScaleRotationTranslationThenMatrix)
{
    TestCollection c;
    Tree tree;
    SAnimationSet *set = c.AddSet("pose");
    SAnimation *anim = TestCollection::AddAnimation(set, "bone");
    anim->numScaleKeys = 1;
    anim->scaleKeys = new SScaleKey[1]{{0, D3DXVECTOR3(2, 2, 2)}};
    D3DXVECTOR3 y(0, 1, 0);
    D3DXQUATERNION none, third;
    D3DXQuaternionRotationAxis(&none, &y, 0.0f);
    D3DXQuaternionRotationAxis(&third, &y, 2.0f * D3DX_PI / 3.0f);
    anim->numRotationKeys = 2;
    anim->rotationKeys = new SRotateKey[2]{{0, none}, {10, third}};
    SetPositions(set, anim, {{0, 1.0f}});
    D3DXMATRIX still, up;
    D3DXMatrixTranslation(&still, 0, 0, 0);
    D3DXMatrixTranslation(&up, 0, 10, 0);
    anim->numMatrixKeys = 2;
    anim->matrixKeys = new SMatrixKey[2]{{0, still}, {10, up}};
    set->lastKeyTime = 10;
    c.BindToFrames(tree.root);

    c.Animate("pose", 5, 1, 1.0f);
    // A point at (1,0,0): scaled to 2, turned 60 degrees about y (slerp halfway to 120)
    // to (1, 0, -1.732), moved by +1 in x, then by the matrix key halfway: +5 in y.
    D3DXVECTOR3 p(1, 0, 0), out;
    D3DXVec3TransformCoord(&out, &p, &tree.bone->TransformationMatrix);
    EXPECT_NEAR(out.x, 2.0f, 1e-5f);
    EXPECT_NEAR(out.y, 5.0f, 1e-5f);
    EXPECT_NEAR(out.z, -1.7320508f, 1e-5f);
}

TEST(BindToFrames, MatchesNamesExactlyAndLeavesTheRestUnbound)
{
    TestCollection c;
    Tree tree;
    SAnimationSet *set = c.AddSet("s");
    SAnimation *toRoot = TestCollection::AddAnimation(set, "root");
    SAnimation *toBone = TestCollection::AddAnimation(set, "bone");
    SAnimation *wrongCase = TestCollection::AddAnimation(set, "BONE");
    SAnimation *unnamed = TestCollection::AddAnimation(set, NULL);
    SetPositions(set, wrongCase, {{0, 9.0f}});
    c.BindToFrames(tree.root);
    EXPECT_EQ(toRoot->frame, tree.root);
    EXPECT_EQ(toBone->frame, tree.bone);
    EXPECT_EQ(wrongCase->frame, nullptr);
    EXPECT_EQ(unnamed->frame, nullptr);
    c.Animate("s", 0, 1, 1.0f);
    EXPECT_FLOAT_EQ(tree.X(), 0.0f);  // the unbound animation touched nothing

    c.Clear();
    EXPECT_EQ(c.GetNumSets(), 0u);
    EXPECT_EQ(c.GetSets(), nullptr);
    c.Animate(NULL, 0, 1, 1.0f);  // empty: nothing happens
}

}  // namespace
