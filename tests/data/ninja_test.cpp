/*
 * ninja_test.cpp - the character file as an independent reader (assimp) sees it: skeleton,
 * skin and materials; the bind pose's size, footing and facing; and the five clips, played
 * the way the program plays them.
 */
#include "data_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace datatest;

namespace {

// The character file, loaded once for all its tests.
class Ninja : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Scene(), nullptr) << File().error; }
    static const Loaded &File()
    {
        static const Loaded loaded = Load(DataPath("Data/Ninja.x"));
        return loaded;
    }
    static const aiScene *Scene() { return File().scene; }
};

aiVector3D Origin(const aiMatrix4x4 &m) { return aiVector3D(m.a4, m.b4, m.c4); }

// The bind-pose positions of the vertices that follow `bone` alone.
std::vector<aiVector3D> RigidVertices(const aiScene *scene, const std::string &bone)
{
    std::vector<aiVector3D> out;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh *mesh = scene->mMeshes[m];
        for (unsigned b = 0; b < mesh->mNumBones; ++b)
            if (bone == mesh->mBones[b]->mName.C_Str())
                for (unsigned w = 0; w < mesh->mBones[b]->mNumWeights; ++w)
                    if (mesh->mBones[b]->mWeights[w].mWeight >= 0.99f)
                        out.push_back(mesh->mVertices[mesh->mBones[b]->mWeights[w].mVertexId]);
    }
    return out;
}

// The names of the bones that carry skin weights.
std::set<std::string> SkinBones(const aiScene *scene)
{
    std::set<std::string> bones;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m)
        for (unsigned b = 0; b < scene->mMeshes[m]->mNumBones; ++b)
            bones.insert(scene->mMeshes[m]->mBones[b]->mName.C_Str());
    return bones;
}

// The program's playback: clip ticks per elapsed millisecond.
double TicksPerMs(const std::string &clip) { return clip == "pugno" || clip == "spada" ? 3.0 : 2.0; }

}  // namespace

TEST_F(Ninja, SkeletonHasEveryBoneUnderAnIdentityRoot)
{
    const aiNode *root = Scene()->mRootNode;
    EXPECT_STREQ(root->mName.C_Str(), "Root");
    // The program applies the root's matrix twice, so anything but the identity would move
    // the character.
    EXPECT_TRUE(root->mTransformation.Equal(aiMatrix4x4(), 1e-6f));
    // Every bone of the skin is a frame of the skeleton, the sword one of the right hand's.
    for (const std::string &bone : SkinBones(Scene()))
        EXPECT_NE(root->FindNode(bone.c_str()), nullptr) << bone;
    const aiNode *sword = root->FindNode("Katana");
    ASSERT_NE(sword, nullptr);
    EXPECT_STREQ(sword->mParent->mName.C_Str(), "Hand_R");
}

TEST_F(Ninja, MeshIsOneTexturedSkinWithSmoothWeights)
{
    // Lit, textured and coloured, and every vertex's weights add up to one, with joints
    // blending: a fair share of the skin follows more than one bone.
    size_t vertices = 0, blended = 0;
    for (unsigned m = 0; m < Scene()->mNumMeshes; ++m) {
        const aiMesh *mesh = Scene()->mMeshes[m];
        vertices += mesh->mNumVertices;
        EXPECT_TRUE(mesh->HasNormals());
        EXPECT_TRUE(mesh->HasTextureCoords(0));
        EXPECT_TRUE(mesh->HasVertexColors(0));
        aiString tex;
        EXPECT_EQ(Scene()->mMaterials[mesh->mMaterialIndex]->GetTexture(aiTextureType_DIFFUSE, 0, &tex), AI_SUCCESS);
        std::vector<double> sum(mesh->mNumVertices, 0);
        std::vector<int> bones(mesh->mNumVertices, 0);
        for (unsigned b = 0; b < mesh->mNumBones; ++b)
            for (unsigned w = 0; w < mesh->mBones[b]->mNumWeights; ++w) {
                sum[mesh->mBones[b]->mWeights[w].mVertexId] += mesh->mBones[b]->mWeights[w].mWeight;
                bones[mesh->mBones[b]->mWeights[w].mVertexId] += 1;
            }
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            ASSERT_NEAR(sum[v], 1.0, 1e-3) << "vertex " << v << " of mesh " << m;
            blended += bones[v] > 1;
        }
    }
    EXPECT_GE(Scene()->mNumMaterials, 2u);
    EXPECT_GT(blended, vertices / 5);
}

TEST_F(Ninja, BindPoseStandsOnTheFloorAtTheIntendedHeightFacingMinusZ)
{
    // Skinning with no animation must reproduce the stored vertices: the offset matrices are
    // the inverses of the bones' bind-pose matrices.
    std::vector<aiVector3D> skinned = SkinnedVertices(Scene(), nullptr, 0);
    size_t i = 0;
    float minY = 1e9f, maxY = -1e9f;
    for (unsigned m = 0; m < Scene()->mNumMeshes; ++m)
        for (unsigned v = 0; v < Scene()->mMeshes[m]->mNumVertices; ++v, ++i) {
            const aiVector3D &p = Scene()->mMeshes[m]->mVertices[v];
            ASSERT_LT((skinned[i] - p).Length(), 1e-4f) << "vertex " << v << " of mesh " << m;
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    EXPECT_NEAR(minY, 0.0f, 0.005f);
    EXPECT_GT(maxY, 1.05f);
    EXPECT_LT(maxY, 1.15f);

    // The waist (what follows the spine alone) is wider across (x) than it is deep (z).
    float lo[2] = {1, 1}, hi[2] = {-1, -1};
    for (const aiVector3D &p : RigidVertices(Scene(), "Spine")) {
        lo[0] = std::min(lo[0], p.x), hi[0] = std::max(hi[0], p.x);
        lo[1] = std::min(lo[1], p.z), hi[1] = std::max(hi[1], p.z);
    }
    EXPECT_GT(hi[0] - lo[0], 1.3f * (hi[1] - lo[1]));
    // Toes point to -z: each foot reaches further forward (-z) of its ankle than back.
    for (const char *foot : {"Foot_L", "Foot_R"}) {
        aiVector3D ankle = Origin(NodeMatrix(Scene(), nullptr, 0, foot));
        float front = 0, back = 0;
        for (const aiVector3D &p : RigidVertices(Scene(), foot)) {
            front = std::min(front, p.z - ankle.z);
            back = std::max(back, p.z - ankle.z);
        }
        EXPECT_LT(front, -0.09f) << foot;
        EXPECT_LT(back, 0.07f) << foot;
    }
    // The right hand (the -x side for a character facing -z) holds the sword.
    aiVector3D hand = Origin(NodeMatrix(Scene(), nullptr, 0, "Hand_R"));
    aiVector3D grip = Origin(NodeMatrix(Scene(), nullptr, 0, "Katana"));
    EXPECT_LT(hand.x, -0.1f);
    EXPECT_LT((grip - hand).Length(), 0.08f);
}

TEST_F(Ninja, ClipsLastAsLongAsTheProgramExpects)
{
    struct Want {
        const char *name;
        double minMs, maxMs;
    };
    const Want want[] = {{"idleTot", 2000, 8000}, {"camminata", 800, 1200}, {"pugno", 350, 650},
                         {"calcio", 500, 999}, {"spada", 500, 999}};
    EXPECT_EQ(Scene()->mNumAnimations, std::size(want));
    for (const Want &w : want) {
        const aiAnimation *a = FindAnimation(Scene(), w.name);
        ASSERT_NE(a, nullptr) << w.name;
        double ms = a->mDuration / TicksPerMs(w.name);
        EXPECT_GE(ms, w.minMs) << w.name;
        EXPECT_LE(ms, w.maxMs) << w.name;
        EXPECT_EQ(a->mNumChannels, SkinBones(Scene()).size()) << w.name;
        // Every channel starts at tick 0: the program's clock starts there.
        for (unsigned c = 0; c < a->mNumChannels; ++c) {
            const aiNodeAnim *ch = a->mChannels[c];
            if (ch->mNumRotationKeys) {
                EXPECT_EQ(ch->mRotationKeys[0].mTime, 0.0) << w.name;
            }
            if (ch->mNumPositionKeys) {
                EXPECT_EQ(ch->mPositionKeys[0].mTime, 0.0) << w.name;
            }
        }
    }
}

TEST_F(Ninja, EveryClipEndsInThePoseItStartsWith)
{
    // The program loops every clip while its key is held, so the last pose must meet the
    // first one without a jump.
    for (unsigned a = 0; a < Scene()->mNumAnimations; ++a) {
        const aiAnimation *anim = Scene()->mAnimations[a];
        for (const std::string &bone : SkinBones(Scene())) {
            aiMatrix4x4 first = NodeMatrix(Scene(), anim, 0, bone);
            aiMatrix4x4 last = NodeMatrix(Scene(), anim, anim->mDuration, bone);
            EXPECT_TRUE(first.Equal(last, 2e-4f)) << anim->mName.C_Str() << " " << bone;
        }
    }
}

TEST_F(Ninja, FeetStayOnTheFloorThroughEveryClip)
{
    for (unsigned a = 0; a < Scene()->mNumAnimations; ++a) {
        const aiAnimation *anim = Scene()->mAnimations[a];
        for (int i = 0; i <= 40; ++i) {
            double t = anim->mDuration * i / 40;
            std::vector<aiVector3D> v = SkinnedVertices(Scene(), anim, t);
            float lowest = 1e9f;
            for (const aiVector3D &p : v) lowest = std::min(lowest, p.y);
            EXPECT_NEAR(lowest, 0.0f, 0.02f) << anim->mName.C_Str() << " at tick " << t;
        }
    }
}

TEST_F(Ninja, ClipsMoveTheLimbsTheirNamesSay)
{
    auto track = [&](const char *clip, const char *node, auto fn) {
        const aiAnimation *a = FindAnimation(Scene(), clip);
        for (int i = 0; i <= 48; ++i) fn(Origin(NodeMatrix(Scene(), a, a->mDuration * i / 48, node)));
    };
    // Walk: the feet overtake each other, each way.
    float most = 0, least = 0;
    const aiAnimation *walk = FindAnimation(Scene(), "camminata");
    for (int i = 0; i <= 48; ++i) {
        double t = walk->mDuration * i / 48;
        float dz = Origin(NodeMatrix(Scene(), walk, t, "Foot_L")).z - Origin(NodeMatrix(Scene(), walk, t, "Foot_R")).z;
        most = std::max(most, dz);
        least = std::min(least, dz);
    }
    EXPECT_GT(most, 0.12f);
    EXPECT_LT(least, -0.12f);
    // Punch: the free (left) fist goes out in front at chest height.
    float reach = 0;
    track("pugno", "Hand_L", [&](aiVector3D p) {
        if (p.y > 0.6f && p.y < 1.0f) reach = std::min(reach, p.z);
    });
    EXPECT_LT(reach, -0.3f);
    // Kick: the right foot rises high and forward.
    float footHigh = 0, footFront = 0;
    track("calcio", "Foot_R", [&](aiVector3D p) {
        footHigh = std::max(footHigh, p.y);
        footFront = std::min(footFront, p.z);
    });
    EXPECT_GT(footHigh, 0.35f);
    EXPECT_LT(footFront, -0.25f);

    // Slash: the sword's tip (the bind pose's foremost vertex) goes up over the head, then
    // sweeps down and across.
    std::vector<aiVector3D> bind = SkinnedVertices(Scene(), nullptr, 0);
    size_t tip = size_t(std::min_element(bind.begin(), bind.end(), [](auto &p, auto &q) { return p.z < q.z; }) -
                        bind.begin());
    const aiAnimation *slash = FindAnimation(Scene(), "spada");
    float tipHigh = 0, tipLow = 2, tipMinX = 2, tipMaxX = -2;
    for (int i = 0; i <= 48; ++i) {
        aiVector3D p = SkinnedVertices(Scene(), slash, slash->mDuration * i / 48)[tip];
        tipHigh = std::max(tipHigh, p.y);
        tipLow = std::min(tipLow, p.y);
        tipMinX = std::min(tipMinX, p.x);
        tipMaxX = std::max(tipMaxX, p.x);
    }
    EXPECT_GT(tipHigh, 1.2f);
    EXPECT_LT(tipLow, 0.6f);
    EXPECT_GT(tipMaxX - tipMinX, 0.4f);

    // Idle: the sword stays lowered.
    const aiAnimation *idle = FindAnimation(Scene(), "idleTot");
    for (int i = 0; i <= 24; ++i)
        EXPECT_LT(SkinnedVertices(Scene(), idle, idle->mDuration * i / 24)[tip].y, 0.55f);
}
