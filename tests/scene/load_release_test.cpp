// Loading and releasing the shipped character and level many times, as set-up and
// tear-down do, on a NULLREF device: every device object is released each time and the
// heap does not grow from one round to the next.
#include "anim/animation.h"
#include "scene/mesh_container.h"
#include "scene/xfile_loader.h"

#include <d3dx9.h>
#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <malloc.h>

#include <string>

IDirect3DDevice9 *g_pd3dDevice = NULL;

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

TEST(LoadRelease, HundredRoundsLeaveNoDeviceObjectAndNoHeapGrowth)
{
    IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &pp, &g_pd3dDevice),
              D3D_OK);
    const long liveBefore = tavrok::d3d9::LiveObjectCount();

    // The first rounds fill what lives for the whole process (the reader's template tables,
    // the allocator's arenas); the heap then settles.  Over the last 50 rounds it may not
    // grow by more than 1.5 KB: a leak of 32 bytes a round would add 1.6 KB.
    size_t heapAtHalf = 0;
    for (int round = 0; round < 100; ++round) {
        LoadAndRelease(g_pd3dDevice);
        ASSERT_EQ(tavrok::d3d9::LiveObjectCount(), liveBefore) << "round " << round;
        if (round == 49)
            heapAtHalf = mallinfo2().uordblks;
    }
    const size_t heapAtEnd = mallinfo2().uordblks;
    EXPECT_LE(heapAtEnd, heapAtHalf + 1536) << "heap grew from " << heapAtHalf << " to " << heapAtEnd;

    EXPECT_EQ(g_pd3dDevice->Release(), 0u);
    g_pd3dDevice = NULL;
    d3d->Release();
}

}  // namespace
