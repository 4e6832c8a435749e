// The shipped character and level loaded and released a hundred times on a NULLREF device:
// no diagnostic, skinned and textured; no device object left, and once the first rounds have
// filled what lives for the process, the same number of live heap allocations every round.
#include "anim/animation.h"
#include "scene/mesh_container.h"
#include "scene/xfile_loader.h"

#include "support/null_device.h"

#include <d3dx9.h>
#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

IDirect3DDevice9 *g_pd3dDevice = NULL;

namespace {
std::atomic<long> g_liveAllocations{0};

void *CountedAllocate(size_t size)
{
    void *p = malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    ++g_liveAllocations;
    return p;
}

void CountedFree(void *p)
{
    if (p) {
        --g_liveAllocations;
        free(p);
    }
}
}  // namespace

void *operator new(size_t size) { return CountedAllocate(size); }
void *operator new[](size_t size) { return CountedAllocate(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    try {
        return CountedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](size_t size, const std::nothrow_t &t) noexcept { return operator new(size, t); }
void operator delete(void *p) noexcept { CountedFree(p); }
void operator delete[](void *p) noexcept { CountedFree(p); }
void operator delete(void *p, size_t) noexcept { CountedFree(p); }
void operator delete[](void *p, size_t) noexcept { CountedFree(p); }

namespace {

const std::string kRun = TAVROK_TEST_RUN_DIR;

void LoadAndRelease(IDirect3DDevice9 *device)
{
    SMeshContainer *character = NULL, *level = NULL;
    SFrame *characterRoot = NULL, *levelRoot = NULL;
    ASSERT_EQ(LoadSkinnedModel(&character, &characterRoot, device, (kRun + "/Data/Ninja.x").c_str(),
                               (kRun + "/Data/").c_str(), 0, D3DXMESH_SYSTEMMEM),
              S_OK);
    ASSERT_EQ(LoadLevelModel(&level, &levelRoot, device, (kRun + "/Level01/Level.x").c_str(),
                             (kRun + "/Level01/").c_str(), 0, D3DXMESH_SYSTEMMEM),
              S_OK);
    ASSERT_NE(character, nullptr);
    ASSERT_NE(level, nullptr);
    // The character is skinned on all 18 bones and every material found its texture; the
    // level is one container with textures.
    ASSERT_NE(character->pSkinInfo, nullptr);
    EXPECT_EQ(character->pSkinInfo->GetNumBones(), 18u);
    for (DWORD i = 0; i < character->NumMaterials; i++)
        EXPECT_NE(character->ppTextures[i], nullptr) << "material " << i;
    EXPECT_EQ(level->pNextMeshContainer, nullptr);
    int textured = 0;
    for (DWORD i = 0; i < level->NumMaterials; i++)
        textured += level->ppTextures[i] != nullptr;
    EXPECT_GT(textured, 0);
    CAnimationCollection animations;
    ASSERT_EQ(animations.LoadFromFile((kRun + "/Data/Ninja.x").c_str()), 1);
    animations.BindToFrames(characterRoot);
    EXPECT_EQ(animations.GetNumSets(), 5u);
    EXPECT_EQ(SkinMeshContainer(character), S_OK);

    // Tear-down, in the program's order.
    animations.Clear();
    DeleteFrameTree(characterRoot);
    FreeMeshContainer(character);
    delete character;
    DeleteFrameTree(levelRoot);
    FreeMeshContainer(level);
    delete level;
}

using LoadRelease = testsupport::NullDeviceTest;

TEST_F(LoadRelease, HundredRoundsLeaveNoDeviceObjectAndNoAllocationBehind)
{
    g_pd3dDevice = device_;
    const long liveBefore = tavrok::d3d9::LiveObjectCount();
    // The maths announce their variant at first use: let that line out before listening.
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    D3DXMatrixMultiply(&m, &m, &m);

    long liveAtTen = 0;
    for (int round = 0; round < 100; ++round) {
        if (round == 0)
            testing::internal::CaptureStderr();
        LoadAndRelease(g_pd3dDevice);
        if (round == 0) {
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the shipped data loads without a diagnostic";
        }
        ASSERT_EQ(tavrok::d3d9::LiveObjectCount(), liveBefore) << "round " << round;
        if (round == 9)
            liveAtTen = g_liveAllocations.load();
        if (round > 9) {
            ASSERT_EQ(g_liveAllocations.load(), liveAtTen) << "live allocations changed in round " << round;
        }
    }
    g_pd3dDevice = NULL;
}

}  // namespace
