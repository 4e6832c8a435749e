// The X-file scene loader: frame trees, container lists, references and bone binding.
#include "d3dx9/mesh_test_util.h"

#include "scene/xfile_loader.h"

#include <string.h>

namespace {

class XFileLoaderTest : public meshtest::NullDeviceTest {
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
    // The names along a sibling chain of frames or a list of containers.
    static SFrame *Next(SFrame *f) { return f->pFrameSibling; }
    static SMeshContainer *Next(SMeshContainer *c) { return c->pNextMeshContainer; }
    template <class T>
    std::vector<std::string> Names(T *item)
    {
        std::vector<std::string> out;
        for (; item; item = Next(item))
            out.push_back(item->Name ? item->Name : "(null)");
        return out;
    }

    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

const char *kTriangle = "3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;";

TEST_F(XFileLoaderTest, FramesStandInReverseOrderAndMeshesLinkToTheirFrames)
{
    std::string file = std::string("Mesh TopMesh { ") + kTriangle + " }\n" +
                       "Mesh BadMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,5;; }\n" +
                       "FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1;; }\n" +
                       "Frame A {\n"
                       " FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1;; }\n"
                       " Frame A1 { Mesh AMesh { " + kTriangle + " } }\n" +
                       " Frame A2 { { TopMesh } }\n"
                       " Frame A4 { Mesh Own { " + kTriangle + " } { BadMesh } }\n" +
                       "}\n"
                       "Frame B { }\n"
                       "Frame Ref { { B } }\n";
    std::string path = WriteX("scene.x", file);
    std::string said = meshtest::StderrOf([&] {
        ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), "tex\\", 0, D3DXMESH_SYSTEMMEM), S_OK);
    });
    EXPECT_EQ(meshtest::CountLines(said), 1) << "BadMesh is reported once";
    ASSERT_NE(root_, nullptr);

    // Top level: Ref, B, A (reverse file order); a frame reached through a reference is not built.
    EXPECT_EQ(Names(root_), (std::vector<std::string>{"Ref", "B", "A"}));
    EXPECT_EQ(root_->pFrameFirstChild, nullptr);
    EXPECT_EQ(root_->pMeshContainer, nullptr);
    SFrame *b = root_->pFrameSibling, *a = b->pFrameSibling;
    EXPECT_TRUE(D3DXMatrixIsIdentity(&b->TransformationMatrix)) << "a matrix outside any frame changes nothing";
    EXPECT_EQ(a->TransformationMatrix._41, 1.0f);
    EXPECT_EQ(a->TransformationMatrix._43, 3.0f);
    EXPECT_EQ(memcmp(&a->RestMatrix, &a->TransformationMatrix, sizeof(D3DXMATRIX)), 0);
    EXPECT_EQ(Names(a->pFrameFirstChild), (std::vector<std::string>{"A4", "A2", "A1"}));

    // Containers: head insertion, the failed mesh left out.
    EXPECT_EQ(Names(list_), (std::vector<std::string>{"Own", "AMesh", "TopMesh"}));
    SFrame *a4 = a->pFrameFirstChild, *a2 = a4->pFrameSibling, *a1 = a2->pFrameSibling;
    EXPECT_EQ(a1->pMeshContainer, FindMeshContainer(list_, "AMesh"));
    EXPECT_EQ(a2->pMeshContainer, FindMeshContainer(list_, "TopMesh")) << "a reference links the earlier mesh";
    EXPECT_EQ(a4->pMeshContainer, nullptr) << "a reference to a mesh without container replaces the link";
    EXPECT_EQ(FindMeshContainer(list_, "Nobody"), nullptr);
    EXPECT_EQ(FindMeshContainer(list_, nullptr), nullptr);
    // Nothing here is skinned, so nothing was bound.
    for (SMeshContainer *c = list_; c; c = c->pNextMeshContainer) {
        EXPECT_EQ(c->pSkinInfo, nullptr);
        EXPECT_EQ(c->ppBoneMatrixPtrs, nullptr);
    }
}

TEST_F(XFileLoaderTest, OutputsAsked)
{
    std::string path = WriteX("two.x", std::string("Frame F { Mesh M { ") + kTriangle + " } }");
    // Frames only: no containers are built, so the frame has none.
    ASSERT_EQ(LoadSkinnedModel(nullptr, &root_, device_, path.c_str(), "", 0, 0), S_OK);
    ASSERT_NE(root_, nullptr);
    EXPECT_EQ(root_->pMeshContainer, nullptr);
    // Containers only.
    ASSERT_EQ(LoadSkinnedModel(&list_, nullptr, device_, path.c_str(), "", 0, 0), S_OK);
    EXPECT_EQ(Names(list_), (std::vector<std::string>{"M"}));

    // Missing arguments leave the outputs alone; a missing file gives empty outputs and S_OK.
    SMeshContainer *untouched = reinterpret_cast<SMeshContainer *>(0x1);
    SFrame *untouchedRoot = reinterpret_cast<SFrame *>(0x1);
    EXPECT_EQ(LoadSkinnedModel(&untouched, &untouchedRoot, nullptr, path.c_str(), "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadSkinnedModel(&untouched, &untouchedRoot, device_, nullptr, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadSkinnedModel(&untouched, &untouchedRoot, device_, path.c_str(), nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(untouched, reinterpret_cast<SMeshContainer *>(0x1));
    EXPECT_EQ(untouchedRoot, reinterpret_cast<SFrame *>(0x1));
    SMeshContainer *none = untouched;
    SFrame *noRoot = untouchedRoot;
    meshtest::StderrOf(
        [&] { EXPECT_EQ(LoadSkinnedModel(&none, &noRoot, device_, (dir_ + "/absent.x").c_str(), "", 0, 0), S_OK); });
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(noRoot, nullptr);
}

const char *kSkinnedBody = R"(
  4; 0;0;0;, 1;0;0;, 2;0;0;, 3;0;0;;
  2; 3;0,1,2;, 3;1,3,2;;
  XSkinMeshHeader { 1; 3; 3; }
  SkinWeights { "Root"; 1; 0; 1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  SkinWeights { "Arm"; 2; 1, 3; 1.0, 1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, -1,0,0,1;; }
  SkinWeights { "Ghost"; 1; 2; 1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; }
)";

TEST_F(XFileLoaderTest, SkinnedMeshWithoutFramesIsNotBound)
{
    std::string path = WriteX("loose.x", std::string("Mesh Body {") + kSkinnedBody + "}\n", true);
    ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), "", 0, D3DXMESH_SYSTEMMEM), S_OK);
    EXPECT_EQ(root_, nullptr);
    ASSERT_NE(list_, nullptr);
    EXPECT_NE(list_->pSkinInfo, nullptr);
    EXPECT_NE(list_->pSkinnedMesh, nullptr);
    EXPECT_EQ(list_->ppBoneMatrixPtrs, nullptr);
    EXPECT_EQ(list_->pBoneMatrices, nullptr);
    EXPECT_EQ(SkinMeshContainer(list_), E_FAIL);
}

TEST_F(XFileLoaderTest, LevelIsOneMergedContainer)
{
    std::string file = std::string("Frame Floor {\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,4,1;; }\n"
                                   " Mesh Tiles { ") + kTriangle + " }\n}\nMesh Loose { " + kTriangle + " }\n";
    std::string path = WriteX("level.x", file);
    ASSERT_EQ(LoadLevelModel(&list_, &root_, device_, path.c_str(), "", 0, D3DXMESH_SYSTEMMEM), S_OK);
    ASSERT_NE(list_, nullptr);
    EXPECT_STREQ(list_->Name, path.c_str());
    EXPECT_EQ(list_->pNextMeshContainer, nullptr);
    EXPECT_EQ(list_->MeshData.pMesh->GetNumFaces(), 2u);
    EXPECT_EQ(list_->MeshData.pMesh->GetOptions(), DWORD(D3DXMESH_SYSTEMMEM));
    EXPECT_EQ(list_->NumMaterials, 1u) << "white default";
    ASSERT_NE(list_->pAdjacency, nullptr);
    ASSERT_NE(root_, nullptr);
    EXPECT_STREQ(root_->Name, "Floor");
    EXPECT_EQ(root_->TransformationMatrix._43, 4.0f);
    EXPECT_EQ(root_->pMeshContainer, nullptr) << "the walk builds no per-mesh containers";

    // Without a frame output the tree is not kept.
    SMeshContainer *second = nullptr;
    ASSERT_EQ(LoadLevelModel(&second, nullptr, device_, path.c_str(), "", D3DFVF_XYZ | D3DFVF_NORMAL, 0), S_OK);
    EXPECT_EQ(second->MeshData.pMesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
    EXPECT_EQ(second->MeshData.pMesh->GetOptions(), 0u);
    FreeMeshContainer(second);
    delete second;

    // A merged load that fails returns its code; no per-mesh containers were built.
    std::string bad = WriteX("badlevel.x", std::string("Mesh Good { ") + kTriangle +
                                               " }\nMesh Bad { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,9;; }\n");
    SMeshContainer *partial = reinterpret_cast<SMeshContainer *>(0x1);
    std::string said = meshtest::StderrOf(
        [&] { EXPECT_EQ(LoadLevelModel(&partial, nullptr, device_, bad.c_str(), "", 0, 0), D3DXERR_INVALIDDATA); });
    EXPECT_EQ(meshtest::CountLines(said), 1);
    EXPECT_EQ(partial, nullptr);
    SMeshContainer *untouched = nullptr;
    EXPECT_EQ(LoadLevelModel(&untouched, nullptr, nullptr, bad.c_str(), "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadLevelModel(nullptr, nullptr, device_, bad.c_str(), "", 0, 0), E_FAIL);
}

}  // namespace
