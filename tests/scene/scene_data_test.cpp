// The program's own data files, loaded as set-up loads them (skipped when not generated).
#include "d3dx9/mesh_test_util.h"

#include "scene/xfile_loader.h"

#include <unistd.h>

#include <climits>

namespace {

class SceneDataTest : public meshtest::NullDeviceTest {
protected:
    void SetUp() override
    {
        meshtest::NullDeviceTest::SetUp();
        std::string bin = std::string(TAVROK_TEST_RUN_DIR) + "/bin";
        if (access((std::string(TAVROK_TEST_RUN_DIR) + "/Data/Ninja.x").c_str(), R_OK) != 0) {
            GTEST_SKIP() << "data files not generated";
        }
        ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
        ASSERT_EQ(chdir(bin.c_str()), 0);
    }
    void TearDown() override
    {
        if (oldDir_[0]) {
            EXPECT_EQ(chdir(oldDir_), 0);
        }
        if (list_) {
            FreeMeshContainer(list_);
            delete list_;
        }
        DeleteFrameTree(root_);
        meshtest::NullDeviceTest::TearDown();
    }
    char oldDir_[PATH_MAX] = {};
    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

TEST_F(SceneDataTest, CharacterLoadsSkinnedWithEveryBoneBoundAndTextured)
{
    testing::internal::CaptureStderr();
    ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, "..\\Data\\Ninja.x", "..\\Data\\", 0, D3DXMESH_SYSTEMMEM), S_OK);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 0);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(root_, nullptr);
    ASSERT_NE(list_->pSkinInfo, nullptr);
    DWORD bones = list_->pSkinInfo->GetNumBones();
    EXPECT_GT(bones, 1u);
    for (DWORD i = 0; i < bones; i++)
        EXPECT_NE(list_->ppBoneMatrixPtrs[i], nullptr) << list_->pSkinInfo->GetBoneName(i);
    for (DWORD i = 0; i < list_->NumMaterials; i++)
        EXPECT_NE(list_->ppTextures[i], nullptr) << "material " << i;
    // In the rest pose, skinning gives back the bind pose (within rounding).
    UpdateFrameMatrices(root_, &root_->TransformationMatrix);
    ASSERT_EQ(SkinMeshContainer(list_), S_OK);
}

TEST_F(SceneDataTest, BinaryCharacterLoadsTheSameMeshAsTheText)
{
    if (access("../variants/Ninja_bin32.x", R_OK) != 0) {
        GTEST_SKIP() << "binary variant not generated";
    }
    ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, "..\\Data\\Ninja.x", "..\\Data\\", 0, D3DXMESH_SYSTEMMEM), S_OK);
    SMeshContainer *binary = nullptr;
    SFrame *binaryRoot = nullptr;
    ASSERT_EQ(LoadSkinnedModel(&binary, &binaryRoot, device_, "..\\variants\\Ninja_bin32.x", "..\\Data\\", 0,
                               D3DXMESH_SYSTEMMEM),
              S_OK);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(binary, nullptr);
    ID3DXMesh *a = list_->MeshData.pMesh, *b = binary->MeshData.pMesh;
    EXPECT_EQ(a->GetNumVertices(), b->GetNumVertices());
    EXPECT_EQ(a->GetNumFaces(), b->GetNumFaces());
    EXPECT_EQ(a->GetFVF(), b->GetFVF());
    EXPECT_EQ(meshtest::IndicesOf(a), meshtest::IndicesOf(b));
    void *va = nullptr, *vb = nullptr;
    a->LockVertexBuffer(D3DLOCK_READONLY, &va);
    b->LockVertexBuffer(D3DLOCK_READONLY, &vb);
    float worst = 0;
    for (DWORD i = 0; i < a->GetNumVertices() && i < b->GetNumVertices(); i++) {
        D3DXVECTOR3 d = meshtest::Vec3At(va, a->GetNumBytesPerVertex(), i) - meshtest::Vec3At(vb, b->GetNumBytesPerVertex(), i);
        worst = std::max(worst, D3DXVec3Length(&d));
    }
    b->UnlockVertexBuffer();
    a->UnlockVertexBuffer();
    EXPECT_LT(worst, 1e-5f) << "the text holds six decimals";
    EXPECT_EQ(binary->pSkinInfo->GetNumBones(), list_->pSkinInfo->GetNumBones());
    FreeMeshContainer(binary);
    delete binary;
    DeleteFrameTree(binaryRoot);
}

TEST_F(SceneDataTest, LevelMergesIntoOneTexturedContainer)
{
    testing::internal::CaptureStderr();
    ASSERT_EQ(LoadLevelModel(&list_, &root_, device_, "..\\Level01\\Level.x", "..\\Level01\\", 0, D3DXMESH_SYSTEMMEM),
              S_OK);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 0);
    ASSERT_NE(list_, nullptr);
    EXPECT_EQ(list_->pNextMeshContainer, nullptr);
    EXPECT_GT(list_->MeshData.pMesh->GetNumFaces(), 100u);
    EXPECT_GT(list_->NumMaterials, 1u);
    int textured = 0;
    for (DWORD i = 0; i < list_->NumMaterials; i++)
        textured += list_->ppTextures[i] != nullptr;
    EXPECT_GT(textured, 0);
}

}  // namespace
