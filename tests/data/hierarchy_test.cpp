/*
 * hierarchy_test.cpp - the generated ninja and level through D3DXLoadMeshHierarchyFromX
 * against assimp's reading of the same files: frame names, parents and matrices, the faces
 * of each frame's meshes, and the bones' names and offset matrices.  NULLREF device.
 */
#include "data_support.h"
#include "support/null_device.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// Keeps what the loader hands out; every object is released by DestroyMeshContainer.
struct KeepingAllocator : ID3DXAllocateHierarchy {
    int live = 0;
    STDMETHOD(CreateFrame)(LPCSTR name, LPD3DXFRAME *out) override
    {
        D3DXFRAME *f = new D3DXFRAME();
        f->Name = name ? strdup(name) : nullptr;
        *out = f;
        live++;
        return S_OK;
    }
    STDMETHOD(CreateMeshContainer)(LPCSTR name, CONST D3DXMESHDATA *data, CONST D3DXMATERIAL *, CONST D3DXEFFECTINSTANCE *,
                                   DWORD, CONST DWORD *, LPD3DXSKININFO skin, LPD3DXMESHCONTAINER *out) override
    {
        D3DXMESHCONTAINER *mc = new D3DXMESHCONTAINER();
        mc->Name = name ? strdup(name) : nullptr;
        mc->MeshData = *data;
        data->pMesh->AddRef();
        mc->pSkinInfo = skin;
        if (skin)
            skin->AddRef();
        *out = mc;
        live++;
        return S_OK;
    }
    STDMETHOD(DestroyFrame)(LPD3DXFRAME f) override
    {
        free(f->Name);
        delete f;
        live--;
        return S_OK;
    }
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER mc) override
    {
        free(mc->Name);
        mc->MeshData.pMesh->Release();
        if (mc->pSkinInfo)
            mc->pSkinInfo->Release();
        delete mc;
        live--;
        return S_OK;
    }
};

using HierarchyOnDevice = testsupport::NullDeviceTest;

// Compares one of our frames (and its subtree) with assimp's node of the same name.
void CompareFrame(const D3DXFRAME *frame, const D3DXFRAME *parent, const aiScene *scene, int *compared)
{
    for (; frame; frame = frame->pFrameSibling) {
        if (frame->Name) {
            SCOPED_TRACE(frame->Name);
            const aiNode *node = scene->mRootNode->FindNode(frame->Name);
            ASSERT_NE(node, nullptr);
            if (parent && parent->Name) {
                ASSERT_NE(node->mParent, nullptr);
                EXPECT_EQ(std::string(node->mParent->mName.C_Str()), parent->Name);
            }
            // assimp's matrices are for column vectors: ours transposed.
            for (int r = 0; r < 4; r++)
                for (int c = 0; c < 4; c++)
                    EXPECT_NEAR(frame->TransformationMatrix.m[r][c], node->mTransformation[c][r], 1e-5f);
            // assimp splits a mesh by material; the faces of the frame add up the same.
            unsigned theirFaces = 0, ourFaces = 0;
            std::map<std::string, aiMatrix4x4> theirBones;
            for (unsigned i = 0; i < node->mNumMeshes; i++) {
                const aiMesh *m = scene->mMeshes[node->mMeshes[i]];
                theirFaces += m->mNumFaces;
                for (unsigned b = 0; b < m->mNumBones; b++)
                    theirBones[m->mBones[b]->mName.C_Str()] = m->mBones[b]->mOffsetMatrix;
            }
            std::map<std::string, D3DXMATRIX> ourBones;
            for (const D3DXMESHCONTAINER *mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
                ourFaces += mc->MeshData.pMesh->GetNumFaces();
                if (mc->pSkinInfo)
                    for (DWORD b = 0; b < mc->pSkinInfo->GetNumBones(); b++)
                        ourBones[mc->pSkinInfo->GetBoneName(b)] = *mc->pSkinInfo->GetBoneOffsetMatrix(b);
            }
            EXPECT_EQ(ourFaces, theirFaces);
            EXPECT_GE(ourBones.size(), theirBones.size());
            for (const auto &[name, offset] : theirBones) {
                SCOPED_TRACE(name);
                ASSERT_TRUE(ourBones.count(name));
                for (int r = 0; r < 4; r++)
                    for (int c = 0; c < 4; c++)
                        EXPECT_NEAR(ourBones[name].m[r][c], offset[c][r], 1e-5f);
            }
            ++*compared;
        }
        CompareFrame(frame->pFrameFirstChild, frame, scene, compared);
    }
}

}  // namespace

TEST_F(HierarchyOnDevice, NinjaAndLevelTreesAgreeWithAssimp)
{
    for (const char *file : {"Data/Ninja.x", "Level01/Level.x"}) {
        SCOPED_TRACE(file);
        const std::string path = datatest::DataPath(file);
        datatest::Loaded theirs = datatest::Load(path);
        ASSERT_NE(theirs.scene, nullptr) << theirs.error;
        KeepingAllocator alloc;
        D3DXFRAME *root = nullptr;
        ASSERT_EQ(D3DXLoadMeshHierarchyFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc, NULL, &root, NULL),
                  D3D_OK);
        int compared = 0;
        CompareFrame(root, nullptr, theirs.scene, &compared);
        EXPECT_EQ(UINT(compared), D3DXFrameNumNamedMatrices(root));
        EXPECT_GT(compared, 0);
        if (std::string(file) == "Data/Ninja.x") {
            // The skinned body holds the skeleton's bones.
            const D3DXFRAME *body = D3DXFrameFind(root, "Body");
            ASSERT_NE(body, nullptr);
            ASSERT_NE(body->pMeshContainer, nullptr);
            ASSERT_NE(body->pMeshContainer->pSkinInfo, nullptr);
            EXPECT_EQ(body->pMeshContainer->pSkinInfo->GetNumBones(), 18u);
        }
        D3DXFrameDestroy(root, &alloc);
        EXPECT_EQ(alloc.live, 0);
    }
}
