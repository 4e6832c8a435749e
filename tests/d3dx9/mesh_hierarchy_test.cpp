// D3DXLoadMeshHierarchyFromX: the frame tree, its mesh containers and the allocator's
// callbacks, on small hand-written files.
#include "d3dx9/mesh_test_util.h"

#include <d3dx9anim.h>

#include <string>
#include <vector>

namespace {

// An allocator that keeps what it is given (names, adjacency and materials copied, mesh
// and skin referenced) and counts every call.
class CountingAllocator : public ID3DXAllocateHierarchy {
public:
    int framesMade = 0, framesDestroyed = 0, meshesMade = 0, meshesDestroyed = 0;

    struct Frame : D3DXFRAME {
        std::string name;
    };
    struct Container : D3DXMESHCONTAINER {
        std::string name;
        std::vector<D3DXMATERIAL> materials;  // texture names stay the loader's: not kept
        std::vector<DWORD> adjacency;
    };
    STDMETHOD(CreateFrame)(LPCSTR name, LPD3DXFRAME *out) override
    {
        Frame *f = new Frame{};
        f->name = name ? name : "";
        f->Name = name ? &f->name[0] : nullptr;
        *out = f;
        framesMade++;
        return S_OK;
    }
    STDMETHOD(CreateMeshContainer)(LPCSTR name, CONST D3DXMESHDATA *data, CONST D3DXMATERIAL *materials,
                                   CONST D3DXEFFECTINSTANCE *, DWORD numMaterials, CONST DWORD *adjacency,
                                   LPD3DXSKININFO skin, LPD3DXMESHCONTAINER *out) override
    {
        Container *mc = new Container{};
        mc->name = name ? name : "";
        mc->Name = name ? &mc->name[0] : nullptr;
        mc->MeshData = *data;
        data->pMesh->AddRef();
        mc->materials.assign(materials, materials + numMaterials);
        mc->NumMaterials = numMaterials;
        mc->pMaterials = mc->materials.data();
        mc->adjacency.assign(adjacency, adjacency + data->pMesh->GetNumFaces() * 3);
        mc->pAdjacency = mc->adjacency.data();
        mc->pSkinInfo = skin;
        if (skin)
            skin->AddRef();
        *out = mc;
        meshesMade++;
        return S_OK;
    }
    STDMETHOD(DestroyFrame)(LPD3DXFRAME f) override
    {
        delete static_cast<Frame *>(f);
        framesDestroyed++;
        return S_OK;
    }
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER mc) override
    {
        mc->MeshData.pMesh->Release();
        if (mc->pSkinInfo)
            mc->pSkinInfo->Release();
        delete static_cast<Container *>(mc);
        meshesDestroyed++;
        return S_OK;
    }
};

std::string Quad(const std::string &name, const std::string &children = "")
{
    return "  Mesh " + name + " {\n   4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;\n   2; 3;0,1,2;, 3;0,2,3;;\n" +
           "   MeshMaterialList { 1; 2; 0,0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } }\n" + children +
           "  }\n";
}

std::string Move(int x, int y, int z)
{
    return "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, " + std::to_string(x) + "," +
           std::to_string(y) + "," + std::to_string(z) + ",1;; }\n";
}

const char *kSkin = R"(
   XSkinMeshHeader { 2; 2; 2; }
   SkinWeights { "Arm"; 2; 0,1; 1.0,1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, -1,0,0,1;; }
   SkinWeights { "Hand"; 2; 2,3; 1.0,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, -2,0,0,1;; }
)";

class HierarchyTest : public meshtest::NullDeviceTest {
protected:
    HRESULT Load(const std::string &path, D3DXFRAME **root, std::string *err = nullptr)
    {
        HRESULT hr = E_FAIL;
        std::string out = meshtest::StderrOf([&] {
            hr = D3DXLoadMeshHierarchyFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc_, NULL, root, NULL);
        });
        if (err)
            *err = out;
        return hr;
    }
    void ExpectBalanced()
    {
        EXPECT_EQ(alloc_.framesMade, alloc_.framesDestroyed);
        EXPECT_EQ(alloc_.meshesMade, alloc_.meshesDestroyed);
    }
    CountingAllocator alloc_;
};

TEST_F(HierarchyTest, FramesMeshesAndSkinsFormTheFileTreeAndAreDestroyedOnce)
{
    const std::string body = "Frame Body {\n" + Move(0, 1, 0) + "  Frame Arm {\n" + Move(1, 0, 0) +
                             "   Frame Hand {\n" + Move(1, 0, 0) + "   }\n" + Quad("ArmSkin", kSkin) + Quad("ArmPlain") +
                             "  }\n  Frame Leg { }\n}\n";
    D3DXFRAME *root = nullptr;
    ASSERT_EQ(Load(WriteX("tree.x", body, true), &root), D3D_OK);
    ASSERT_NE(root, nullptr);
    // One top-level frame: it is the root.
    EXPECT_STREQ(root->Name, "Body");
    EXPECT_EQ(root->pFrameSibling, nullptr);
    D3DXFRAME *arm = root->pFrameFirstChild;
    ASSERT_NE(arm, nullptr);
    EXPECT_STREQ(arm->Name, "Arm");
    ASSERT_NE(arm->pFrameSibling, nullptr);
    EXPECT_STREQ(arm->pFrameSibling->Name, "Leg");  // file order
    ASSERT_NE(arm->pFrameFirstChild, nullptr);
    EXPECT_STREQ(arm->pFrameFirstChild->Name, "Hand");
    EXPECT_EQ(D3DXFrameFind(root, "Hand"), arm->pFrameFirstChild);
    EXPECT_EQ(D3DXFrameFind(root, "Leg"), arm->pFrameSibling);
    EXPECT_EQ(D3DXFrameFind(root, "Nose"), nullptr);
    EXPECT_EQ(D3DXFrameNumNamedMatrices(root), 4u);

    // The arm's two meshes, chained in file order; only the first is skinned.
    D3DXMESHCONTAINER *skinned = arm->pMeshContainer;
    ASSERT_NE(skinned, nullptr);
    EXPECT_STREQ(skinned->Name, "ArmSkin");
    EXPECT_EQ(skinned->MeshData.Type, D3DXMESHTYPE_MESH);
    ASSERT_EQ(skinned->NumMaterials, 1u);
    EXPECT_EQ(skinned->pMaterials[0].MatD3D.Diffuse.r, 1.0f);
    // The quad's two faces share the edge 0-2.
    EXPECT_EQ(skinned->pAdjacency[2], 1u);
    EXPECT_EQ(skinned->pAdjacency[3], 0u);
    ASSERT_NE(skinned->pSkinInfo, nullptr);
    ASSERT_EQ(skinned->pSkinInfo->GetNumBones(), 2u);
    EXPECT_STREQ(skinned->pSkinInfo->GetBoneName(1), "Hand");
    ASSERT_NE(skinned->pNextMeshContainer, nullptr);
    EXPECT_STREQ(skinned->pNextMeshContainer->Name, "ArmPlain");
    EXPECT_EQ(skinned->pNextMeshContainer->pSkinInfo, nullptr);
    EXPECT_EQ(skinned->pNextMeshContainer->pNextMeshContainer, nullptr);
    EXPECT_EQ(alloc_.framesMade, 4);
    EXPECT_EQ(alloc_.meshesMade, 2);

    // D3DXFrameAppendChild puts a frame last among the children.
    D3DXFRAME *extra = nullptr;
    alloc_.CreateFrame("Extra", &extra);
    ASSERT_EQ(D3DXFrameAppendChild(root, extra), D3D_OK);
    EXPECT_EQ(arm->pFrameSibling->pFrameSibling, extra);
    EXPECT_EQ(D3DXFrameAppendChild(nullptr, extra), D3DERR_INVALIDCALL);

    ASSERT_EQ(D3DXFrameDestroy(root, &alloc_), D3D_OK);
    EXPECT_EQ(alloc_.framesDestroyed, 5);
    EXPECT_EQ(alloc_.meshesDestroyed, 2);
    ExpectBalanced();
}

TEST_F(HierarchyTest, SeveralTopLevelObjectsGetAnUnnamedRoot)
{
    D3DXFRAME *root = nullptr;
    ASSERT_EQ(Load(WriteX("top.x", "Frame A {\n" + Move(3, 0, 0) + "}\nFrame B { }\n" + Quad("Loose")), &root), D3D_OK);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name, nullptr);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&root->TransformationMatrix));
    ASSERT_NE(root->pFrameFirstChild, nullptr);
    EXPECT_STREQ(root->pFrameFirstChild->Name, "A");
    ASSERT_NE(root->pFrameFirstChild->pFrameSibling, nullptr);
    EXPECT_STREQ(root->pFrameFirstChild->pFrameSibling->Name, "B");
    ASSERT_NE(root->pMeshContainer, nullptr);
    EXPECT_STREQ(root->pMeshContainer->Name, "Loose");
    EXPECT_EQ(D3DXFrameNumNamedMatrices(root), 2u);
    D3DXFrameDestroy(root, &alloc_);
    EXPECT_EQ(alloc_.framesMade, 3);
    ExpectBalanced();
}

TEST_F(HierarchyTest, DamagedFilesFailWithOneLineAndLeaveTheCallbacksBalanced)
{
    // Cut short in the middle of a frame: the reader refuses it before any callback.
    std::string whole = "Frame A {\n" + Move(1, 2, 3) + "  Frame B {\n" + Quad("M") + "  }\n}\n";
    D3DXFRAME *root = reinterpret_cast<D3DXFRAME *>(1);
    std::string err;
    EXPECT_TRUE(FAILED(Load(WriteX("cut.x", whole.substr(0, whole.size() / 2)), &root, &err)));
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(meshtest::CountLines(err), 1) << err;
    EXPECT_EQ(alloc_.framesMade, 0);

    // A mesh whose face names a vertex it lacks, after frames were already made: what was
    // made goes back to the allocator.
    std::string bad = Quad("Bad");
    bad.replace(bad.find("3;0,2,3;"), 8, "3;0,2,9;");
    root = nullptr;
    EXPECT_EQ(Load(WriteX("bad.x", "Frame A {\n Frame B { }\n" + bad + "}\n"), &root, &err), D3DXERR_INVALIDDATA);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(meshtest::CountLines(err), 1) << err;
    EXPECT_EQ(alloc_.framesMade, 2);
    ExpectBalanced();

    // Missing arguments and a file with nothing to load.
    EXPECT_EQ(D3DXLoadMeshHierarchyFromXA("x.x", 0, device_, NULL, NULL, &root, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(WriteX("empty.x", "Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n"), &root, &err),
              D3DXERR_LOADEDMESHASNODATA);
    EXPECT_EQ(meshtest::CountLines(err), 1) << err;
    EXPECT_EQ(D3DXFrameDestroy(nullptr, &alloc_), D3DERR_INVALIDCALL);
}

// Two animation sets: "Walk" turns Arm from no rotation to 90 degrees about y while moving
// it from x = 1 to x = 3, and scales Root by 2; "Wave" moves Arm with matrix keys.  100
// ticks a second.
const char *kAnimated = R"(
AnimTicksPerSecond { 100; }
Frame Root {
 Frame Arm { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1;; } }
 Frame Leg { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-1,0,1;; } }
}
AnimationSet Walk {
 Animation {
  {Arm}
  AnimationKey { 0; 2; 0;4;1,0,0,0;;, 100;4;0.70710678,0,0.70710678,0;;; }
  AnimationKey { 2; 2; 0;3;1,0,0;;, 100;3;3,0,0;;; }
 }
 Animation WalkRoot { {Root} AnimationKey { 1; 1; 0;3;2,2,2;;; } }
}
AnimationSet Wave {
 Animation {
  {Arm}
  AnimationKey { 4; 2;
   0;16;1,0,0,0, 0,1,0,0, 0,0,1,0, 0,5,0,1;;,
   200;16;0,2,0,0, -2,0,0,0, 0,0,2,0, 1,2,3,1;;; }
 }
}
)";

ID3DXKeyframedAnimationSet *Keyframed(ID3DXAnimationController *controller, UINT index)
{
    ID3DXAnimationSet *set = nullptr;
    ID3DXKeyframedAnimationSet *keyframed = nullptr;
    EXPECT_EQ(controller->GetAnimationSet(index, &set), D3D_OK);
    if (!set)
        return nullptr;
    EXPECT_EQ(set->QueryInterface(IID_ID3DXKeyframedAnimationSet, reinterpret_cast<void **>(&keyframed)), S_OK);
    set->Release();
    return keyframed;  // one reference, the caller's
}

TEST_F(HierarchyTest, AnimationSetsBecomeAControllerThatDrivesTheFrames)
{
    // Loaded from memory (the file path is the data tests').
    D3DXFRAME *root = nullptr;
    ID3DXAnimationController *ac = nullptr;
    const std::string text = std::string("xof 0302txt 0032\n") + kAnimated;
    std::string err = meshtest::StderrOf([&] {
        ASSERT_EQ(D3DXLoadMeshHierarchyFromXInMemory(text.data(), DWORD(text.size()), D3DXMESH_SYSTEMMEM, device_,
                                                     &alloc_, NULL, &root, &ac),
                  D3D_OK);
    });
    EXPECT_EQ(err, "");
    ASSERT_NE(root, nullptr);
    ASSERT_NE(ac, nullptr);
    // The sets in file order, the first on track 0; every named frame is an output.
    ASSERT_EQ(ac->GetNumAnimationSets(), 2u);
    EXPECT_EQ(ac->GetMaxNumAnimationOutputs(), 3u);
    ID3DXKeyframedAnimationSet *walk = Keyframed(ac, 0), *wave = Keyframed(ac, 1);
    ASSERT_NE(walk, nullptr);
    ASSERT_NE(wave, nullptr);
    EXPECT_STREQ(walk->GetName(), "Walk");
    EXPECT_STREQ(wave->GetName(), "Wave");
    ID3DXAnimationSet *playing = nullptr;
    ASSERT_EQ(ac->GetTrackAnimationSet(0, &playing), D3D_OK);
    EXPECT_EQ(playing, static_cast<ID3DXAnimationSet *>(walk));
    playing->Release();
    EXPECT_EQ(walk->GetSourceTicksPerSecond(), 100.0);
    EXPECT_DOUBLE_EQ(walk->GetPeriod(), 1.0);
    EXPECT_DOUBLE_EQ(wave->GetPeriod(), 2.0);
    // Animations are named after their frames, in file order.
    ASSERT_EQ(walk->GetNumAnimations(), 2u);
    LPCSTR name = nullptr;
    walk->GetAnimationNameByIndex(0, &name);
    EXPECT_STREQ(name, "Arm");
    walk->GetAnimationNameByIndex(1, &name);
    EXPECT_STREQ(name, "Root");
    // Half a second in: Arm is half way through both of its key lists (the file's w, x, y,
    // z rotation become x, y, z, w).
    ASSERT_EQ(ac->AdvanceTime(0.5, nullptr), D3D_OK);
    D3DXFRAME *arm = D3DXFrameFind(root, "Arm"), *leg = D3DXFrameFind(root, "Leg");
    ASSERT_NE(arm, nullptr);
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, D3DXToRadian(45));
    expected._41 = 2;
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR((&arm->TransformationMatrix._11)[i], (&expected._11)[i], 1e-5f) << i;
    EXPECT_NEAR(root->TransformationMatrix._11, 2.0f, 1e-6f);
    EXPECT_NEAR(root->TransformationMatrix._33, 2.0f, 1e-6f);
    // Leg is in no set: it keeps the file's matrix.
    EXPECT_EQ(leg->TransformationMatrix._42, -1.0f);

    // Matrix keys are split into scale, rotation and translation: playing Wave alone puts
    // Arm where its first key does at 0 s and its last one at 2 s.
    ASSERT_EQ(wave->GetNumScaleKeys(0), 2u);
    ASSERT_EQ(wave->GetNumRotationKeys(0), 2u);
    ASSERT_EQ(wave->GetNumTranslationKeys(0), 2u);
    ac->SetTrackAnimationSet(0, wave);
    for (double at : {0.0, 1.999999}) {
        ac->SetTrackPosition(0, at);
        ac->AdvanceTime(0.0, nullptr);
        const D3DXMATRIX &m = arm->TransformationMatrix;
        EXPECT_NEAR(m._12, at ? 2.0f : 0.0f, 1e-4f) << at;  // +x goes to +y: 90 degrees about z, scaled
        EXPECT_NEAR(m._42, at ? 2.0f : 5.0f, 1e-4f) << at;
        EXPECT_NEAR(m._43, at ? 3.0f : 0.0f, 1e-4f) << at;
    }

    walk->Release();
    wave->Release();
    EXPECT_EQ(ac->Release(), 0u);
    D3DXFrameDestroy(root, &alloc_);
    ExpectBalanced();

    // Without AnimTicksPerSecond a set counts 4800 ticks a second; key type 3 is a matrix
    // key as well; a file without animation sets gives no controller.
    root = nullptr;
    ac = nullptr;
    const std::string plain = WriteX("plain.x", "Frame A { }\nAnimationSet S { Animation { {A} AnimationKey { 3; 1; "
                                                "4800;16;1,0,0,0, 0,1,0,0, 0,0,1,0, 4,0,0,1;;; } } }\n");
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXA(plain.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc_, NULL, &root, &ac), D3D_OK);
    ASSERT_NE(ac, nullptr);
    ID3DXKeyframedAnimationSet *s = Keyframed(ac, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSourceTicksPerSecond(), 4800.0);
    EXPECT_DOUBLE_EQ(s->GetPeriod(), 1.0);
    D3DXKEY_VECTOR3 k = {};
    ASSERT_EQ(s->GetTranslationKey(0, 0, &k), D3D_OK);
    EXPECT_EQ(k.Value.x, 4.0f);
    s->Release();
    ac->Release();
    D3DXFrameDestroy(root, &alloc_);
    const std::string still = WriteX("still.x", "Frame A { }\n");
    ac = reinterpret_cast<ID3DXAnimationController *>(1);
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXA(still.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc_, NULL, &root, &ac), D3D_OK);
    EXPECT_EQ(ac, nullptr);
    D3DXFrameDestroy(root, &alloc_);
    ExpectBalanced();
}

TEST_F(HierarchyTest, DamagedAnimationFailsTheLoadWithOneLineAndGivesEverythingBack)
{
    const char *damaged[] = {
        // Position keys of four values and two values: together as long as two keys of
        // three, so only their counts tell.
        "Frame A { }\nAnimationSet S { Animation { {A} AnimationKey { 2; 2; 0;4;1,2,3,4;;, 10;2;5,6;;; } } }\n",
        // A rotation key with three values at the end.
        "Frame A { }\nAnimationSet S { Animation { {A} AnimationKey { 0; 2; 0;4;1,0,0,0;;, 10;3;1,0,0;;; } } }\n",
        // A key type that is none.
        "Frame A { }\nAnimationSet S { Animation { {A} AnimationKey { 7; 1; 0;3;1,0,0;;; } } }\n",
        // An Animation that animates no frame.
        "Frame A { }\nAnimationSet S { Animation Lost { AnimationKey { 2; 1; 0;3;1,0,0;;; } } }\n",
    };
    for (const char *body : damaged) {
        SCOPED_TRACE(body);
        const std::string path = WriteX("damaged.x", body);
        D3DXFRAME *root = reinterpret_cast<D3DXFRAME *>(1);
        ID3DXAnimationController *ac = reinterpret_cast<ID3DXAnimationController *>(1);
        std::string err = meshtest::StderrOf([&] {
            EXPECT_EQ(D3DXLoadMeshHierarchyFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc_, NULL, &root, &ac),
                      D3DXERR_INVALIDDATA);
        });
        EXPECT_EQ(meshtest::CountLines(err), 1) << err;
        EXPECT_NE(err.find("damaged.x"), std::string::npos) << err;
        EXPECT_EQ(root, nullptr);
        EXPECT_EQ(ac, nullptr);
        ExpectBalanced();
    }
}

TEST_F(HierarchyTest, MangledAnimationFilesFailCleanlyOrPlay)
{
    // The animated file with a few characters replaced, the same ones every run.
    const std::string original = std::string("xof 0302txt 0032\n") + kAnimated;
    const char replacements[] = "0123456789;,{}-. 9X";
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int loaded = 0, failed = 0;
    for (int round = 0; round < 1000; round++) {
        std::string text = original;
        const int changes = 1 + int(next() % 4);
        for (int c = 0; c < changes; c++)
            text[19 + next() % (text.size() - 19)] = replacements[next() % (sizeof replacements - 1)];
        D3DXFRAME *root = nullptr;
        ID3DXAnimationController *ac = nullptr;
        HRESULT hr = E_FAIL;
        std::string err = meshtest::StderrOf([&] {
            hr = D3DXLoadMeshHierarchyFromXInMemory(text.data(), DWORD(text.size()), D3DXMESH_SYSTEMMEM, device_,
                                                    &alloc_, NULL, &root, &ac);
            if (SUCCEEDED(hr) && ac) {
                for (int step = 0; step < 5; step++)
                    ac->AdvanceTime(0.3, nullptr);
            }
        });
        EXPECT_LE(meshtest::CountLines(err), 1) << text << err;
        if (SUCCEEDED(hr)) {
            ++loaded;
            if (ac) {
                EXPECT_EQ(ac->Release(), 0u);
            }
            D3DXFrameDestroy(root, &alloc_);
        } else {
            ++failed;
            EXPECT_EQ(root, nullptr);
            EXPECT_EQ(ac, nullptr);
        }
        ExpectBalanced();
    }
    // Both kinds happen: the test covers damage that is caught and damage that still plays.
    EXPECT_GT(loaded, 10);
    EXPECT_GT(failed, 10);
}

TEST_F(HierarchyTest, BoundingSphereEnclosesEveryMeshWherePlacedByItsFrames)
{
    const std::string body = "Frame Root {\n Frame Near {\n" + Quad("N") + " }\n Frame Far {\n" + Move(10, 0, 0) +
                             "  Frame Farther {\n" + Move(0, 0, 0) + Quad("F") + "  }\n }\n}\n";
    D3DXFRAME *root = nullptr;
    ASSERT_EQ(Load(WriteX("spheres.x", body), &root), D3D_OK);
    D3DXVECTOR3 center;
    float radius = 0;
    ASSERT_EQ(D3DXFrameCalculateBoundingSphere(root, &center, &radius), D3D_OK);
    // Each quad's own sphere has radius sqrt(1/2) around its middle; the two middles
    // are 10 apart.
    EXPECT_NEAR(center.x, 5.5f, 1e-4f);
    EXPECT_NEAR(center.y, 0.5f, 1e-4f);
    EXPECT_NEAR(center.z, 0.0f, 1e-4f);
    EXPECT_NEAR(radius, 5.0f + 0.70710678f, 1e-4f);
    // A frame that scales by 2 doubles its mesh's sphere.
    D3DXFRAME *far = D3DXFrameFind(root, "Far");
    D3DXMatrixScaling(&far->TransformationMatrix, 2, 2, 2);
    ASSERT_EQ(D3DXFrameCalculateBoundingSphere(far, &center, &radius), D3D_OK);  // Far is the last child
    EXPECT_NEAR(center.x, 1.0f, 1e-4f);
    EXPECT_NEAR(center.y, 1.0f, 1e-4f);
    EXPECT_NEAR(radius, 2 * 0.70710678f, 1e-4f);
    std::string err = meshtest::StderrOf(
        [&] { EXPECT_EQ(D3DXFrameCalculateBoundingSphere(root, nullptr, &radius), D3DERR_INVALIDCALL); });
    EXPECT_EQ(meshtest::CountLines(err), 1) << err;
    D3DXFrameDestroy(root, &alloc_);
    ExpectBalanced();
}

}  // namespace
