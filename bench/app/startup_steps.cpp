/*
 * startup_steps.cpp - where the program's start-up time goes: the steps of WinMain and
 * InitScene, called in the program's order with the program's arguments, each timed, up
 * to the first frame's Present, on the real device (run under Xvfb).  Prints one line per
 * step: its milliseconds and its share, then the total from process start (the time
 * before main included, at the kernel's 10 ms grain).  Its figures say which step to cut;
 * demo_bench.sh measures the program itself.
 */
#include "anim/animation.h"
#include "app/d3d_setup.h"
#include "app/scene_setup.h"
#include "app/shell.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "scene/xfile_loader.h"
#include "text/screen_text.h"

#include <d3dx9.h>

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Seconds since the kernel started this process (CLOCK_BOOTTIME against the start time in
// /proc/self/stat, which counts clock ticks since boot).
double SinceProcessStart()
{
    FILE *f = fopen("/proc/self/stat", "r");
    if (!f)
        return 0;
    char buffer[1024] = {};
    size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    buffer[n] = 0;
    const char *p = strrchr(buffer, ')');  // the command name may hold spaces
    unsigned long long start = 0;
    for (int field = 2; p && *p; p++) {
        if (*p == ' ' && ++field == 22) {
            start = strtoull(p + 1, nullptr, 10);
            break;
        }
    }
    timespec t;
    clock_gettime(CLOCK_BOOTTIME, &t);
    return t.tv_sec + t.tv_nsec * 1e-9 - double(start) / double(sysconf(_SC_CLK_TCK));
}

struct Step {
    std::string name;
    double seconds;
};

std::vector<Step> g_steps;
double g_mark = 0;

void Mark(const char *name)
{
    double now = Now();
    g_steps.push_back({name, now - g_mark});
    g_mark = now;
}

}  // namespace

int main()
{
    const double beforeMain = SinceProcessStart();
    g_mark = Now();
    const double start = g_mark;
    if (chdir(TAVROK_STARTUP_BIN_DIR) != 0) {
        fprintf(stderr, "startup_steps: no run folder %s\n", TAVROK_STARTUP_BIN_DIR);
        return 1;
    }
    CoInitialize(NULL);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "TavrokStartupSteps";
    RegisterClassExA(&wc);
    HWND hWnd = CreateWindowExA(0, wc.lpszClassName, "start-up steps", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                                0, g_windowWidth, g_windowHeight, NULL, NULL, wc.hInstance, NULL);
    if (!hWnd) {
        fprintf(stderr, "startup_steps: no window (is there a display?)\n");
        return 1;
    }
    ShowWindow(hWnd, SW_SHOWNORMAL);
    UpdateWindow(hWnd);
    g_hWnd = hWnd;
    g_hInstance = wc.hInstance;
    Mark("window");

    // InitScene, step by step.
    if (FAILED(InitD3D(&g_pD3D, &g_pd3dDevice, hWnd))) {
        fprintf(stderr, "startup_steps: no device\n");
        return 1;
    }
    g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_pBackBuffer);
    Mark("device and GL context");
    CreateTextFont("Viner Hand ITC");
    Mark("font");
    InitFrameCounter();
    InitInput();
    Mark("input");
    LoadSkinnedModel(&g_pCharacterMeshes, &g_pCharacterFrameRoot, g_pd3dDevice, "..\\Data\\Ninja.x", "..\\Data\\", 0,
                     D3DXMESH_SYSTEMMEM);
    g_character.AddMeshContainer(g_pCharacterMeshes);
    Mark("character mesh and textures");
    g_character.collisionReach = 1.0f;
    g_character.BuildCollisionModel(g_pCharacterMeshes);
    Mark("character collision model");
    g_animations.LoadFromFile("..\\Data\\Ninja.x");
    g_animations.BindToFrames(g_pCharacterFrameRoot);
    Mark("character clips");
    LoadLevelModel(&g_pLevelMesh, &g_pLevelFrameRoot, g_pd3dDevice, "..\\Level01\\Level.x", "..\\Level01\\", 0,
                   D3DXMESH_SYSTEMMEM);
    g_level.AddMeshContainer(g_pLevelMesh);
    g_level.SetPosition(0.0f, 1.4f, 0.0f);
    g_level.rotation.y = -1.57f;
    Mark("level mesh and textures");
    g_level.BuildCollisionModel(g_pLevelMesh);
    Mark("level collision model");
    g_smokeParticles.Init(g_pd3dDevice, 32);
    g_sparkParticles.Init(g_pd3dDevice, 32);
    Mark("particles: shader and textures");
    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    FrameTick();
    Mark("first frame to its Present");
    // The level's ray hierarchy is built by the first ray test, inside the first frame.  The
    // collision models are built on threads of their own after Finalize: their steps above
    // only gather triangles, and what the first frame waits for them counts in its step.

    const double total = Now() - start;
    printf("%-32s %9s %7s\n", "step", "ms", "share");
    for (const Step &s : g_steps)
        printf("%-32s %9.1f %6.1f%%\n", s.name.c_str(), s.seconds * 1e3, 100.0 * s.seconds / total);
    printf("%-32s %9.1f\n", "main to the first Present", total * 1e3);
    printf("%-32s %9.1f\n", "process start to main", beforeMain * 1e3);
    printf("%-32s %9.1f\n", "process start to the first Present", (beforeMain + total) * 1e3);
    Cleanup();
    DestroyWindow(hWnd);
    CoUninitialize();
    return 0;
}
