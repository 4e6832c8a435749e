// Oracle: the generated character's bind pose and skinned vertices, in its rest pose and
// posed, agree with what assimp computes from the same file (its bone offset matrices,
// weights and node transforms).
#include "d3dx9/mesh_test_util.h"
#include "data/data_support.h"

#include "scene/xfile_loader.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

namespace {

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
        // assimp's skinning: each vertex the weighted sum of (global * offset) * v, meshes in turn.
        const std::vector<aiVector3D> assimpSkinned = datatest::SkinnedVertices(scene, nullptr, 0);
        for (unsigned m = 0, first = 0; m < scene->mNumMeshes; first += scene->mMeshes[m++]->mNumVertices) {
            const aiMesh *mesh = scene->mMeshes[m];
            const aiVector3D *skin = assimpSkinned.data() + first;
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

    void SkinOurs()
    {
        UpdateFrameMatrices(root_, nullptr);
        ASSERT_EQ(SkinMeshContainer(list_), S_OK);
    }

    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

TEST_F(SkinOracleTest, GeneratedCharacterAgreesWithAssimpInRestAndOtherPoses)
{
    const std::string path = datatest::DataPath("Data/Ninja.x");
    Assimp::Importer importer;
    // assimp turns .x files right-handed on import; converting back keeps the file's space.
    const aiScene *scene = importer.ReadFile(path, aiProcess_ConvertToLeftHanded);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), folder.c_str(), 0, D3DXMESH_SYSTEMMEM),
              S_OK);
    ASSERT_NE(list_, nullptr);
    SkinOurs();
    EXPECT_GT(Compare(scene, 1e-3f), 100);

    // A pose of the clips' kind: the root moved, a hip turned, a forearm twisted, each on
    // top of its rest matrix, so that every bone below them moves too.  The same local
    // matrix goes on our frame and on assimp's node of that name.
    D3DXMATRIX move, turn, twist;
    D3DXMatrixTranslation(&move, -2, 0.5f, 3);
    D3DXMatrixRotationZ(&turn, 0.5f);
    D3DXMatrixRotationYawPitchRoll(&twist, 0.4f, -0.3f, 1.1f);
    const std::pair<const char *, const D3DXMATRIX *> pose[] = {{"Root", &move}, {"Thigh_L", &turn},
                                                                {"Forearm_R", &twist}};
    for (const auto &p : pose) {
        SFrame *frame = FindFrame(root_, p.first);
        aiNode *node = scene->mRootNode->FindNode(p.first);
        ASSERT_NE(frame, nullptr) << p.first;
        ASSERT_NE(node, nullptr) << p.first;
        frame->TransformationMatrix = *p.second * frame->RestMatrix;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                node->mTransformation[c][r] = frame->TransformationMatrix.m[r][c];
    }
    SkinOurs();
    EXPECT_GT(Compare(scene, 1e-3f), 100);
}

}  // namespace
