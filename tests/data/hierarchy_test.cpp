/*
 * hierarchy_test.cpp - the generated ninja and level through D3DXLoadMeshHierarchyFromX
 * against assimp's reading of the same files: frame names, parents and matrices, the faces
 * of each frame's meshes, and the bones' names and offset matrices; the ninja's animation
 * controller against assimp's animation channels: key counts, times and values, and the
 * pose of every bone, played by the controller, against the pose assimp's keys give.
 * NULLREF device.
 */
#include "data_support.h"
#include "support/null_device.h"

#include <d3dx9.h>
#include <d3dx9anim.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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

// Our matrix (row vectors) as assimp writes matrices (column vectors): transposed.
aiMatrix4x4 Columns(const D3DXMATRIX &m)
{
    return aiMatrix4x4(m._11, m._21, m._31, m._41, m._12, m._22, m._32, m._42,
                       m._13, m._23, m._33, m._43, m._14, m._24, m._34, m._44);
}

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
            EXPECT_TRUE(Columns(frame->TransformationMatrix).Equal(node->mTransformation, 1e-5f));
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
                EXPECT_TRUE(Columns(ourBones[name]).Equal(offset, 1e-5f));
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

namespace {

// Our model-space matrix of every named frame of the tree.
void Globals(const D3DXFRAME *frame, const D3DXMATRIX &parent, std::map<std::string, D3DXMATRIX> &out)
{
    for (; frame; frame = frame->pFrameSibling) {
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &frame->TransformationMatrix, &parent);
        if (frame->Name)
            out[frame->Name] = world;
        Globals(frame->pFrameFirstChild, world, out);
    }
}

// True when the two rotations are the same (q and -q are).
bool SameRotation(const D3DXQUATERNION &ours, const aiQuaternion &theirs, float tol)
{
    float dot = ours.x * theirs.x + ours.y * theirs.y + ours.z * theirs.z + ours.w * theirs.w;
    return std::fabs(std::fabs(dot) - 1.0f) < tol;
}

// Our translation or scale keys against assimp's: the same times and values.
void ExpectVectorKeys(const std::vector<D3DXKEY_VECTOR3> &ours, const aiVectorKey *theirs, int &counted)
{
    for (unsigned k = 0; k < ours.size(); ++k, ++counted) {
        EXPECT_EQ(ours[k].Time, theirs[k].mTime) << k;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(ours[k].Value[i], theirs[k].mValue[i], 1e-5f) << k << " component " << i;
    }
}

}  // namespace

TEST_F(HierarchyOnDevice, NinjaControllerKeysAndPosesAgreeWithAssimpChannels)
{
    const std::string path = datatest::DataPath("Data/Ninja.x");
    datatest::Loaded theirs = datatest::Load(path);
    ASSERT_NE(theirs.scene, nullptr) << theirs.error;
    const aiScene *scene = theirs.scene;
    KeepingAllocator alloc;
    D3DXFRAME *root = nullptr;
    ID3DXAnimationController *ac = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc, NULL, &root, &ac), D3D_OK);
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->GetNumAnimationSets(), scene->mNumAnimations);
    int rotationKeys = 0, positionKeys = 0, scaleKeys = 0, poses = 0;
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        const aiAnimation *anim = scene->mAnimations[a];
        SCOPED_TRACE(anim->mName.C_Str());
        ID3DXAnimationSet *base = nullptr;
        ASSERT_EQ(ac->GetAnimationSetByName(anim->mName.C_Str(), &base), D3D_OK);
        ID3DXKeyframedAnimationSet *set = nullptr;
        ASSERT_EQ(base->QueryInterface(IID_ID3DXKeyframedAnimationSet, reinterpret_cast<void **>(&set)), S_OK);
        base->Release();
        ASSERT_EQ(set->GetNumAnimations(), anim->mNumChannels);
        for (unsigned c = 0; c < anim->mNumChannels; ++c) {
            const aiNodeAnim *ch = anim->mChannels[c];
            SCOPED_TRACE(ch->mNodeName.C_Str());
            UINT index = 0;
            ASSERT_EQ(set->GetAnimationIndexByName(ch->mNodeName.C_Str(), &index), D3D_OK);
            ASSERT_EQ(set->GetNumRotationKeys(index), ch->mNumRotationKeys);
            ASSERT_EQ(set->GetNumTranslationKeys(index), ch->mNumPositionKeys);
            // assimp gives a channel without scale keys one key of scale 1.
            const bool assimpDefaultScale = ch->mNumScalingKeys == 1 && ch->mScalingKeys[0].mValue == aiVector3D(1, 1, 1);
            if (!(assimpDefaultScale && set->GetNumScaleKeys(index) == 0)) {
                ASSERT_EQ(set->GetNumScaleKeys(index), ch->mNumScalingKeys);
            }
            std::vector<D3DXKEY_QUATERNION> r(ch->mNumRotationKeys);
            std::vector<D3DXKEY_VECTOR3> t(ch->mNumPositionKeys), sc(set->GetNumScaleKeys(index));
            if (!r.empty())
                set->GetRotationKeys(index, r.data());
            if (!t.empty())
                set->GetTranslationKeys(index, t.data());
            if (!sc.empty())
                set->GetScaleKeys(index, sc.data());
            for (unsigned k = 0; k < ch->mNumRotationKeys; ++k, ++rotationKeys) {
                EXPECT_EQ(r[k].Time, ch->mRotationKeys[k].mTime);
                aiQuaternion q = ch->mRotationKeys[k].mValue;
                if (!datatest::KeyedByMatrices(scene, anim, ch->mNodeName.C_Str()))
                    q.Conjugate();
                EXPECT_TRUE(SameRotation(r[k].Value, q, 1e-5f)) << k;
            }
            ExpectVectorKeys(t, ch->mPositionKeys, positionKeys);
            ExpectVectorKeys(sc, ch->mScalingKeys, scaleKeys);
        }
        // The controller's pose of every bone, at a key, between keys and late in the clip,
        // is the pose assimp's keys give.
        ASSERT_EQ(ac->SetTrackAnimationSet(0, set), D3D_OK);
        const double ticksPerSecond = set->GetSourceTicksPerSecond();
        for (double f : {0.0, 0.37, 0.5, 0.93}) {
            const double ticks = anim->mDuration * f;
            SCOPED_TRACE(ticks);
            ac->SetTrackPosition(0, ticks / ticksPerSecond);
            ASSERT_EQ(ac->AdvanceTime(0.0, nullptr), D3D_OK);
            D3DXMATRIX identity;
            D3DXMatrixIdentity(&identity);
            std::map<std::string, D3DXMATRIX> ours;
            Globals(root, identity, ours);
            std::map<std::string, aiMatrix4x4> assimpPose = datatest::NodeMatrices(scene, anim, ticks);
            for (unsigned c = 0; c < anim->mNumChannels; ++c) {
                const std::string bone = anim->mChannels[c]->mNodeName.C_Str();
                SCOPED_TRACE(bone);
                const aiMatrix4x4 want = assimpPose[bone];
                ASSERT_TRUE(ours.count(bone));
                EXPECT_TRUE(Columns(ours[bone]).Equal(want, 1e-4f));
                ++poses;
            }
        }
        set->Release();
    }
    EXPECT_GT(rotationKeys, 100);
    EXPECT_GT(positionKeys, 100);
    EXPECT_GT(scaleKeys, 0);
    EXPECT_GT(poses, 100);
    EXPECT_EQ(ac->Release(), 0u);
    D3DXFrameDestroy(root, &alloc);
    EXPECT_EQ(alloc.live, 0);
}
