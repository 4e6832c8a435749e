// Mesh containers: building from Mesh objects, materials and textures, skinning, freeing.
#include "d3dx9/image_files.h"
#include "d3dx9/mesh_test_util.h"

#include "scene/mesh_container.h"
#include "scene/xfile_loader.h"

namespace {

class MeshContainerTest : public meshtest::NullDeviceTest {
protected:
    void TearDown() override
    {
        for (SMeshContainer *c : made_) {
            FreeMeshContainer(c);
            delete c;
        }
        meshtest::NullDeviceTest::TearDown();
    }
    // Builds a container from the first top-level Mesh of a file.
    SMeshContainer *Load(const std::string &body, bool skin, const char *texturePath, DWORD cloneFVF = 0,
                         DWORD options = D3DXMESH_SYSTEMMEM, HRESULT expected = S_OK)
    {
        std::vector<IDirectXFileData *> meshes = TopLevelMeshes(WriteX("m.x", body, skin));
        EXPECT_FALSE(meshes.empty());
        if (meshes.empty())
            return nullptr;
        SMeshContainer *c = nullptr;
        EXPECT_EQ(LoadMeshContainer(&c, device_, meshes[0], texturePath, cloneFVF, options), expected);
        for (IDirectXFileData *m : meshes)
            m->Release();
        if (c)
            made_.push_back(c);
        return c;
    }
    std::vector<SMeshContainer *> made_;
};

const char *kTwoFaces = "3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,1;;";

TEST_F(MeshContainerTest, MeshWithoutMaterialsGetsOneWhiteMaterial)
{
    SMeshContainer *c = Load(std::string("Mesh Plain { ") + kTwoFaces + " }", false, "");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->Name, "Plain");
    EXPECT_EQ(c->MeshData.Type, D3DXMESHTYPE_MESH);
    ASSERT_EQ(c->NumMaterials, 1u);
    const D3DMATERIAL9 &m = c->pMaterials[0].MatD3D;
    for (const D3DCOLORVALUE &v : {m.Diffuse, m.Ambient, m.Specular}) {
        EXPECT_EQ(v.r, 1.0f);
        EXPECT_EQ(v.a, 1.0f);
    }
    EXPECT_EQ(m.Emissive.r, 0.0f);
    EXPECT_EQ(m.Emissive.a, 0.0f);
    EXPECT_EQ(m.Power, 0.0f);
    EXPECT_EQ(c->ppTextures[0], nullptr);
    EXPECT_EQ(c->pSkinInfo, nullptr) << "skin information without bones is dropped";
    EXPECT_EQ(c->pSkinnedMesh, nullptr);
    EXPECT_EQ(c->pEffects, nullptr);
    ASSERT_NE(c->pAdjacency, nullptr);
    EXPECT_EQ(c->pAdjacency[0], 1u) << "the two faces share all their edges";

    SMeshContainer *none = nullptr;
    std::vector<IDirectXFileData *> meshes = TopLevelMeshes(dir_ + "/m.x");
    EXPECT_EQ(LoadMeshContainer(nullptr, device_, meshes[0], "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&none, nullptr, meshes[0], "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&none, device_, nullptr, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&none, device_, meshes[0], nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(none, nullptr);
    for (IDirectXFileData *m : meshes)
        m->Release();
}

TEST_F(MeshContainerTest, MaterialsTakeDiffuseAsAmbientAndTexturesJoinThePathDirectly)
{
    // The texture path ends in "tex_": the joined name is <dir>/tex_red.bmp, nothing between.
    WriteFileBytes(dir_ + "/tex_red.bmp", EncodeBmp24(std::vector<uint32_t>(4, 0xFFFF0000), 2, 2));
    std::string body = std::string("Mesh Lit { ") + kTwoFaces +
                       " MeshMaterialList { 2; 2; 0, 1;;"
                       "  Material { 0.5;0.25;0;1;; 4; 1;1;1;; 0;0;0;; TextureFilename { \"red.bmp\"; } }"
                       "  Material { 0;0;1;0.5;; 4; 1;1;1;; 0;0;0;; TextureFilename { \"missing.bmp\"; } } } }";
    std::string prefix = dir_ + "/tex_";
    SMeshContainer *c = nullptr;
    meshtest::StderrOf([&] { c = Load(body, false, prefix.c_str()); });
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->NumMaterials, 2u);
    EXPECT_EQ(c->pMaterials[0].MatD3D.Ambient.r, 0.5f);
    EXPECT_EQ(c->pMaterials[0].MatD3D.Ambient.g, 0.25f);
    EXPECT_EQ(c->pMaterials[1].MatD3D.Ambient.b, 1.0f);
    EXPECT_EQ(c->pMaterials[1].MatD3D.Ambient.a, 0.5f);
    EXPECT_EQ(c->pMaterials[0].pTextureFilename, nullptr) << "only the device material is kept";
    ASSERT_NE(c->ppTextures[0], nullptr);
    D3DSURFACE_DESC desc;
    c->ppTextures[0]->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(c->ppTextures[1], nullptr) << "a texture that does not load is left out";
}

TEST_F(MeshContainerTest, SkinnedCopyKeepsTheFileFaceOrderWhileTheMeshIsSorted)
{
    std::string body = std::string("Mesh Skin { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;; 2; 3;0,1,2;, 3;1,3,2;;") +
                       " MeshMaterialList { 2; 2; 1, 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }"
                       "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }"
                       " SkinWeights { \"Bone\"; 3; 1,2,3; 1,1,1; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }"
                       " SkinWeights { \"Ghost\"; 1; 0; 1; 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; } }";
    SMeshContainer *c = Load(body, true, "");
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->pSkinInfo, nullptr);
    ASSERT_NE(c->pSkinnedMesh, nullptr);
    EXPECT_EQ(c->pSkinnedMesh->GetFVF(), c->MeshData.pMesh->GetFVF());
    EXPECT_EQ(c->pSkinnedMesh->GetOptions(), 0u);
    EXPECT_EQ(meshtest::IndicesOf(c->MeshData.pMesh), (std::vector<DWORD>{1, 3, 2, 0, 1, 2}));
    EXPECT_EQ(meshtest::IndicesOf(c->pSkinnedMesh), (std::vector<DWORD>{0, 1, 2, 1, 3, 2}));
    DWORD entries = 0;
    c->MeshData.pMesh->GetAttributeTable(nullptr, &entries);
    EXPECT_EQ(entries, 2u);
    c->pSkinnedMesh->GetAttributeTable(nullptr, &entries);
    EXPECT_EQ(entries, 0u);

    // Not bound yet: skinning refuses and changes nothing.
    EXPECT_EQ(SkinMeshContainer(c), E_FAIL);
    EXPECT_EQ(SkinMeshContainer(nullptr), E_FAIL);

    // Bound in a tree with a frame for "Bone" only: Ghost stays unbound, with one line naming
    // the file as given, the mesh and the bone, and skins with its bare offset matrix.
    char boneName[] = "Bone", otherName[] = "Hip";
    SFrame bone, other;
    bone.Name = boneName;
    other.Name = otherName;
    other.pFrameFirstChild = &bone;
    D3DXMatrixTranslation(&bone.CombinedMatrix, 0, 0, 2);
    EXPECT_EQ(meshtest::StderrOf([&] { BindBones(c, &other, "Models\\skin.x"); }),
              "scene: Models\\skin.x: mesh 'Skin': bone 'Ghost' names no frame; not bound\n");
    ASSERT_NE(c->ppBoneMatrixPtrs, nullptr);
    EXPECT_EQ(c->ppBoneMatrixPtrs[0], &bone.CombinedMatrix);
    EXPECT_EQ(c->ppBoneMatrixPtrs[1], nullptr);
    ASSERT_EQ(SkinMeshContainer(c), S_OK);
    void *v = nullptr;
    c->pSkinnedMesh->LockVertexBuffer(D3DLOCK_READONLY, &v);
    EXPECT_VEC3_NEAR(meshtest::Vec3At(v, 12, 3), 1, 1, 2, 0);
    EXPECT_VEC3_NEAR(meshtest::Vec3At(v, 12, 0), 5, 0, 0, 0);
    c->pSkinnedMesh->UnlockVertexBuffer();
    EXPECT_EQ(c->pBoneMatrices[0]._43, 2.0f);
    EXPECT_EQ(c->pBoneMatrices[1]._41, 5.0f);
}

TEST_F(MeshContainerTest, ConversionToAnotherVertexFormat)
{
    SMeshContainer *c = Load(std::string("Mesh Plain { ") + kTwoFaces + " }", false, "",
                             D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, D3DXMESH_MANAGED);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->MeshData.pMesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(c->MeshData.pMesh->GetOptions(), DWORD(D3DXMESH_MANAGED));

    // A conversion that fails returns its code and builds nothing.
    meshtest::StderrOf([&] {
        EXPECT_EQ(
            Load(std::string("Mesh Plain { ") + kTwoFaces + " }", false, "", D3DFVF_NORMAL, 0, D3DERR_INVALIDCALL),
            nullptr);
    });
}

TEST_F(MeshContainerTest, FreeingReleasesWhatExistsAndTheRestOfTheList)
{
    SMeshContainer empty;
    FreeMeshContainer(&empty);  // nothing at all
    EXPECT_EQ(empty.Name, nullptr);
    FreeMeshContainer(nullptr);

    // A head with only a mesh, and two more containers behind it.
    SMeshContainer head;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, device_, &head.MeshData.pMesh), D3D_OK);
    head.NumMaterials = 3;  // no texture array: nothing to release there
    SMeshContainer *second = new SMeshContainer;
    second->Name = new char[2]{'x', 0};
    D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, device_, &second->MeshData.pMesh);
    second->pSkinnedMesh = second->MeshData.pMesh;
    second->pSkinnedMesh->AddRef();
    D3DXCreateSkinInfoFVF(3, D3DFVF_XYZ, 2, &second->pSkinInfo);
    second->ppBoneMatrixPtrs = new D3DXMATRIX *[2];
    second->pBoneMatrices = new D3DXMATRIX[2];
    second->NumMaterials = 1;
    second->pMaterials = new D3DXMATERIAL[1];
    second->ppTextures = new IDirect3DTexture9 *[1];
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &second->ppTextures[0], nullptr);
    second->pNextMeshContainer = new SMeshContainer;
    head.pNextMeshContainer = second;

    FreeMeshContainer(&head);
    EXPECT_EQ(head.MeshData.pMesh, nullptr);
    EXPECT_EQ(head.NumMaterials, 0u);
    EXPECT_EQ(head.pNextMeshContainer, nullptr);
    // The fixture's tear-down checks that the device has no owner left.
}

}  // namespace
