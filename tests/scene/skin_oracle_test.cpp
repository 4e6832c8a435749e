// Oracle: the loaded bind pose and the skinned vertices agree with what assimp computes
// from the same file (its bone offset matrices, weights and node transforms).
#include "d3dx9/mesh_test_util.h"

#include "scene/xfile_loader.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <map>
#include <sstream>

namespace {

aiMatrix4x4 GlobalOf(const aiNode *node)
{
    aiMatrix4x4 g = node->mTransformation;
    for (const aiNode *p = node->mParent; p; p = p->mParent)
        g = p->mTransformation * g;
    return g;
}

// assimp's skinning of one mesh: each vertex the weighted sum of (global * offset) * v.
std::vector<aiVector3D> AssimpSkin(const aiScene *scene, const aiMesh *mesh)
{
    std::vector<aiVector3D> out(mesh->mNumVertices, aiVector3D(0, 0, 0));
    for (unsigned b = 0; b < mesh->mNumBones; b++) {
        const aiBone *bone = mesh->mBones[b];
        const aiNode *node = scene->mRootNode->FindNode(bone->mName);
        EXPECT_NE(node, nullptr) << bone->mName.C_Str();
        if (!node)
            continue;
        aiMatrix4x4 m = GlobalOf(node) * bone->mOffsetMatrix;
        for (unsigned w = 0; w < bone->mNumWeights; w++) {
            const aiVertexWeight &vw = bone->mWeights[w];
            out[vw.mVertexId] += (m * mesh->mVertices[vw.mVertexId]) * vw.mWeight;
        }
    }
    return out;
}

class SkinOracleTest : public meshtest::NullDeviceTest {
protected:
    void TearDown() override
    {
        if (list_) {
            FreeMeshContainer(list_);
            delete list_;
        }
        DeleteFrameTree(root_);
        meshtest::NullDeviceTest::TearDown();
    }

    // Our vertex positions (bind pose from the mesh, skinned from the skinned copy).
    std::vector<D3DXVECTOR3> Positions(ID3DXMesh *mesh)
    {
        std::vector<D3DXVECTOR3> out(mesh->GetNumVertices());
        void *v = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &v), D3D_OK);
        for (DWORD i = 0; i < out.size(); i++)
            out[i] = meshtest::Vec3At(v, mesh->GetNumBytesPerVertex(), i);
        mesh->UnlockVertexBuffer();
        return out;
    }

    // Checks that every assimp vertex has one of ours at the same bind position whose
    // skinned position is assimp's skinned position, and that every vertex of ours has an
    // assimp vertex at its bind position.  Returns the number of vertices compared.
    int Compare(const aiScene *scene, float tolerance)
    {
        std::vector<D3DXVECTOR3> bind = Positions(list_->MeshData.pMesh);
        std::vector<D3DXVECTOR3> skinned = Positions(list_->pSkinnedMesh);
        // Bind positions quantised for lookup.
        auto key = [](float x, float y, float z) {
            return std::make_tuple(std::lround(x * 1e4), std::lround(y * 1e4), std::lround(z * 1e4));
        };
        std::multimap<std::tuple<long, long, long>, DWORD> ours;
        for (DWORD i = 0; i < bind.size(); i++)
            ours.insert({key(bind[i].x, bind[i].y, bind[i].z), i});
        std::set<std::tuple<long, long, long>> theirs;
        int compared = 0;
        for (unsigned m = 0; m < scene->mNumMeshes; m++) {
            const aiMesh *mesh = scene->mMeshes[m];
            std::vector<aiVector3D> skin = AssimpSkin(scene, mesh);
            for (unsigned v = 0; v < mesh->mNumVertices; v++) {
                const aiVector3D &p = mesh->mVertices[v];
                auto k = key(p.x, p.y, p.z);
                theirs.insert(k);
                auto range = ours.equal_range(k);
                EXPECT_NE(range.first, range.second) << "no vertex of ours at " << p.x << " " << p.y << " " << p.z;
                bool match = false;
                float best = 1e30f;
                for (auto it = range.first; it != range.second; ++it) {
                    const D3DXVECTOR3 &s = skinned[it->second];
                    float d = std::max({fabsf(s.x - skin[v].x), fabsf(s.y - skin[v].y), fabsf(s.z - skin[v].z)});
                    best = std::min(best, d);
                    match = match || d <= tolerance;
                }
                EXPECT_TRUE(match) << "vertex " << v << " of mesh " << m << " skinned " << best << " away";
                compared++;
            }
        }
        for (const D3DXVECTOR3 &p : bind)
            EXPECT_TRUE(theirs.count(key(p.x, p.y, p.z))) << "assimp has no vertex at " << p.x << " " << p.y << " " << p.z;
        return compared;
    }

    // Loads the file both ways, skins ours with the frames' model-space matrices.
    const aiScene *LoadBoth(Assimp::Importer &importer, const std::string &path)
    {
        // assimp turns .x files right-handed on import; converting back keeps the file's space.
        const aiScene *scene = importer.ReadFile(path, aiProcess_ConvertToLeftHanded);
        EXPECT_NE(scene, nullptr) << importer.GetErrorString();
        std::string folder = path.substr(0, path.rfind('/') + 1);
        EXPECT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), folder.c_str(), 0, D3DXMESH_SYSTEMMEM), S_OK);
        EXPECT_NE(list_, nullptr);
        return scene;
    }

    void SkinOurs()
    {
        UpdateFrameMatrices(root_, nullptr);
        ASSERT_EQ(SkinMeshContainer(list_), S_OK);
    }

    // Sets the same local matrix on the frame and on assimp's node of that name.
    void Pose(const aiScene *scene, const char *name, const D3DXMATRIX &local)
    {
        SFrame *frame = FindFrame(root_, name);
        aiNode *node = scene->mRootNode->FindNode(name);
        ASSERT_NE(frame, nullptr) << name;
        ASSERT_NE(node, nullptr) << name;
        frame->TransformationMatrix = local;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                node->mTransformation[c][r] = local.m[r][c];
    }

    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

// A bent column of three bones: vertices in rings up y, each weighed over up to three
// bones; the rest pose in the file differs from the bind pose the offsets undo.
std::string ColumnFile()
{
    std::ostringstream x;
    x.setf(std::ios::fixed);
    x.precision(6);
    const int rings = 7, around = 4;
    auto matrix = [&](std::initializer_list<float> m) {
        int i = 0;
        for (float f : m)
            x << f << (++i < 16 ? "," : ";;");
    };
    x << "Frame Root {\n FrameTransformMatrix { ";
    matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1});
    x << " }\n Frame Mid {\n  FrameTransformMatrix { ";
    matrix({0.955336f, 0.295520f, 0, 0, -0.295520f, 0.955336f, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1});
    x << " }\n  Frame Tip {\n   FrameTransformMatrix { ";
    matrix({1, 0, 0, 0, 0, 0.921061f, 0.389418f, 0, 0, -0.389418f, 0.921061f, 0, 0, 1, 0, 1});
    x << " }\n  }\n }\n"
      << " Mesh Column {\n  " << rings * around << ";\n";
    for (int r = 0; r < rings; r++)
        for (int a = 0; a < around; a++) {
            float angle = a * 6.2831853f / around + 0.3f * r;
            x << "  " << 0.3f * cosf(angle) << ";" << 0.5f * r << ";" << 0.3f * sinf(angle) << ";"
              << (r == rings - 1 && a == around - 1 ? ";\n" : ",\n");
        }
    x << "  " << (rings - 1) * around << ";\n";
    for (int r = 0; r + 1 < rings; r++)
        for (int a = 0; a < around; a++) {
            int b = (a + 1) % around;
            x << "  4;" << r * around + a << "," << (r + 1) * around + a << "," << (r + 1) * around + b << ","
              << r * around + b << (r == rings - 2 && a == around - 1 ? ";;\n" : ";,\n");
        }
    x << "  XSkinMeshHeader { 3; 6; 3; }\n";
    const char *bones[3] = {"Root", "Mid", "Tip"};
    const float bindY[3] = {0, 1, 2};
    for (int bone = 0; bone < 3; bone++) {
        std::vector<std::pair<int, float>> w;
        for (int r = 0; r < rings; r++) {
            float y = 0.5f * r;
            // Tent weights around each bone's height, normalised over the three bones.
            float raw[3], sum = 0;
            for (int k = 0; k < 3; k++)
                sum += raw[k] = std::max(0.0f, 1.2f - fabsf(y - bindY[k]));
            float mine = raw[bone] / sum;
            if (mine > 0)
                for (int a = 0; a < around; a++)
                    w.push_back({r * around + a, mine});
        }
        x << "  SkinWeights {\n   \"" << bones[bone] << "\";\n   " << w.size() << ";\n   ";
        for (size_t i = 0; i < w.size(); i++)
            x << w[i].first << (i + 1 < w.size() ? "," : ";\n   ");
        for (size_t i = 0; i < w.size(); i++)
            x << w[i].second << (i + 1 < w.size() ? "," : ";\n   ");
        matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -bindY[bone], 0, 1});
        x << "\n  }\n";
    }
    x << " }\n}\n"
      << "AnimationSet Sway {\n Animation {\n  { Mid }\n  AnimationKey {\n   0;\n   2;\n   0;4;1.000000,0.000000,0.000000,0.000000;;,\n   100;4;0.900000,0.000000,0.000000,0.435890;;;\n  }\n }\n}\n";
    return x.str();
}

TEST_F(SkinOracleTest, BentColumnAgreesWithAssimpInRestAndOtherPoses)
{
    std::string path = WriteX("column.x", ColumnFile(), true);
    Assimp::Importer importer;
    const aiScene *scene = LoadBoth(importer, path);
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(list_, nullptr);
    ASSERT_EQ(scene->mNumAnimations, 1u) << "the file is animated";
    ASSERT_EQ(list_->pSkinInfo->GetNumBones(), 3u);

    SkinOurs();
    EXPECT_GE(Compare(scene, 1e-4f), 28);

    D3DXMATRIX turn, twist, move;
    D3DXMatrixRotationX(&turn, 0.7f);
    D3DXMatrixRotationYawPitchRoll(&twist, 0.4f, -0.3f, 1.1f);
    twist._42 = 1;  // Tip stays one unit above Mid
    D3DXMatrixTranslation(&move, -2, 0.5f, 3);
    Pose(scene, "Mid", turn * D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1));
    Pose(scene, "Tip", twist);
    Pose(scene, "Root", move);
    SkinOurs();
    EXPECT_GT(Compare(scene, 1e-4f), 0);
}

TEST_F(SkinOracleTest, GeneratedCharacterAgreesWithAssimp)
{
    std::string path = std::string(TAVROK_TEST_RUN_DIR) + "/Data/Ninja.x";
    if (access(path.c_str(), R_OK) != 0) {
        GTEST_SKIP() << "data files not generated";
    }
    Assimp::Importer importer;
    const aiScene *scene = LoadBoth(importer, path);
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(list_, nullptr);
    EXPECT_GT(scene->mNumAnimations, 0u);
    SkinOurs();
    EXPECT_GT(Compare(scene, 1e-3f), 100);
    // A pose of the clip's kind: the first bone turned.
    const char *first = list_->pSkinInfo->GetBoneName(1);
    SFrame *frame = FindFrame(root_, first);
    ASSERT_NE(frame, nullptr);
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, 0.5f);
    Pose(scene, first, turn * frame->RestMatrix);
    SkinOurs();
    EXPECT_GT(Compare(scene, 1e-3f), 100);
}

}  // namespace
