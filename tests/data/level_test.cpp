/*
 * level_test.cpp - the level file under the program's placement: a flat floor just below
 * the character's feet, walls that the feet-level rays meet, faces wound for Direct3D's
 * culling, and a gate beam where the collision test compares the bind-pose character with
 * the level.  (That the start point leaves the feet rays free is checked through our own
 * mesh loader and ray test in platform_test.cpp.)
 */
#include "data_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace datatest;

namespace {

// The level file, loaded once for all its tests.
class Level : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Scene(), nullptr) << File().error; }
    static const Loaded &File()
    {
        static const Loaded loaded = Load(DataPath("Level01/Level.x"));
        return loaded;
    }
    static const aiScene *Scene() { return File().scene; }
    // Every face, placed as the program places the level.
    static const std::vector<Tri> &World()
    {
        static const std::vector<Tri> world = WorldTriangles(Scene(), LevelPlacement());
        return world;
    }
};

aiVector3D Normal(const Tri &t) { return (t.b - t.a) ^ (t.c - t.a); }

// Whether any triangle of `a` touches any of `b`; `where` gets a corner of the first
// touching triangle of `a`.  Boxes round each triangle keep the search short.
bool AnyContact(const std::vector<Tri> &a, const std::vector<Tri> &b, aiVector3D *where)
{
    using Box = std::pair<aiVector3D, aiVector3D>;
    auto box = [](const Tri &t) {
        Box x;
        for (int k = 0; k < 3; ++k) {
            x.first[k] = std::min({t.a[k], t.b[k], t.c[k]});
            x.second[k] = std::max({t.a[k], t.b[k], t.c[k]});
        }
        return x;
    };
    auto apart = [](const Box &p, const Box &q) {
        for (int k = 0; k < 3; ++k)
            if (p.second[k] < q.first[k] || p.first[k] > q.second[k]) return true;
        return false;
    };
    std::vector<Box> boxes;
    for (const Tri &t : b) boxes.push_back(box(t));
    for (const Tri &t : a) {
        const Box own = box(t);
        for (size_t i = 0; i < b.size(); ++i)
            if (!apart(own, boxes[i]) && TrianglesTouch(t, b[i])) {
                *where = t.a;
                return true;
            }
    }
    return false;
}

}  // namespace

TEST_F(Level, MeshesAreTexturedWithBakedLight)
{
    float darkest = 1, brightest = 0;
    for (unsigned m = 0; m < Scene()->mNumMeshes; ++m) {
        const aiMesh *mesh = Scene()->mMeshes[m];
        ASSERT_TRUE(mesh->HasVertexColors(0)) << mesh->mName.C_Str();
        EXPECT_TRUE(mesh->HasTextureCoords(0)) << mesh->mName.C_Str();
        aiString tex;
        EXPECT_EQ(Scene()->mMaterials[mesh->mMaterialIndex]->GetTexture(aiTextureType_DIFFUSE, 0, &tex), AI_SUCCESS);
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiColor4D &c = mesh->mColors[0][v];
            float l = (c.r + c.g + c.b) / 3;
            darkest = std::min(darkest, l);
            brightest = std::max(brightest, l);
        }
    }
    // Baked light and shade: lighting is off after the first frame, so the colours must vary.
    EXPECT_LT(darkest, 0.45f);
    EXPECT_GT(brightest, 0.85f);
}

TEST_F(Level, FloorTopLiesJustBelowTheFeetEverywhere)
{
    // Straight down from the feet's height: the first surface met is the floor's top, no
    // more than 0.05 below; nothing flat lies at or above 0 that the feet-level rays could
    // graze.
    for (double x = -7.8; x <= 7.8; x += 0.2)
        for (double z = -7.8; z <= 7.8; z += 0.2) {
            size_t hit = 0;
            double t = CastRay(World(), aiVector3D(float(x), 0, float(z)), aiVector3D(0, -1, 0), &hit);
            ASSERT_GT(t, 0) << "no floor under " << x << ", " << z;
            EXPECT_LE(t, 0.05) << "floor too low at " << x << ", " << z;
            EXPECT_GT(Normal(World()[hit]).y, 0) << "floor faces down at " << x << ", " << z;
        }
}

TEST_F(Level, RaysAtFeetHeightMeetEveryWallFromNearby)
{
    struct Side {
        aiVector3D towards, along;
    };
    const Side sides[] = {{{1, 0, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}}, {{0, 0, -1}, {1, 0, 0}}};
    for (const Side &s : sides)
        for (double a = -7.3; a <= 7.3; a += 0.1) {
            // A point 0.7 from the wall's inner face (at 8 units from the centre).
            aiVector3D from = s.towards * 7.3f + s.along * float(a);
            size_t hit = 0;
            double t = CastRay(World(), from, s.towards, &hit);
            ASSERT_GT(t, 0) << "ray from " << from.x << ", " << from.z << " escapes";
            EXPECT_LE(t, 0.7 + 1e-3) << "from " << from.x << ", " << from.z;
            // What it meets faces the courtyard, so it is drawn when seen from inside.
            EXPECT_LT(Normal(World()[hit]) * s.towards, 0) << "from " << from.x << ", " << from.z;
        }
}

TEST_F(Level, FacesAreWoundClockwiseTowardsTheirNormals)
{
    size_t wrong = 0, total = 0;
    for (unsigned m = 0; m < Scene()->mNumMeshes; ++m) {
        const aiMesh *mesh = Scene()->mMeshes[m];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const unsigned *i = mesh->mFaces[f].mIndices;
            Tri t{mesh->mVertices[i[0]], mesh->mVertices[i[1]], mesh->mVertices[i[2]]};
            aiVector3D n = mesh->mNormals[i[0]] + mesh->mNormals[i[1]] + mesh->mNormals[i[2]];
            wrong += Normal(t) * n <= 0;
            ++total;
        }
    }
    EXPECT_EQ(wrong, 0u) << "of " << total;
    // Seen from the start, the sky overhead is drawn: its faces point down, into the yard.
    size_t hit = 0;
    double up = CastRay(World(), aiVector3D(0, 0.5f, 2), aiVector3D(0, 1, 0), &hit);
    ASSERT_GT(up, 5);
    EXPECT_LT(Normal(World()[hit]).y, 0);
}

TEST_F(Level, GateBeamTouchesTheBindPoseNinjaInTheLevelsModelSpace)
{
    Loaded ninja = Load(DataPath("Data/Ninja.x"));
    ASSERT_NE(ninja.scene, nullptr) << ninja.error;
    // The collision library gets the level's world matrix for both models, so the ninja's
    // bind-pose mesh lies in the level's model space: both placed by the same matrix.
    std::vector<Tri> character = WorldTriangles(ninja.scene, LevelPlacement());
    aiVector3D where;
    ASSERT_TRUE(AnyContact(World(), character, &where));
    // The contact is with the beam over the start: above the head, across x = 0.
    EXPECT_GT(where.y, 1.15f);
    EXPECT_LT(where.y, 1.65f);

    // Drawn where the program draws it (at the origin, unturned), the character stands in
    // the gate's opening and touches nothing.
    std::vector<Tri> standing = WorldTriangles(ninja.scene, aiMatrix4x4());
    EXPECT_FALSE(AnyContact(World(), standing, &where)) << "at " << where.x << ", " << where.y << ", " << where.z;
}
