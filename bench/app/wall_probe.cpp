/*
 * wall_probe.cpp - how many frames each way of walking takes to run into the level.
 *
 * Runs the program's frames on a NULLREF device with one key sequence after another held
 * from the start position, and prints the first frame in which the frame pushed the
 * character back (the frame in which "COLLISIONE!!!" is drawn), or "none" within the
 * frame limit.  Used to pick the quickest wall run for the end-to-end test.
 */
#include "app/demo_scene.h"

#include "anim/controller.h"
#include "app/frame.h"

#include <dinput.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Leg {
    int key;
    int frames;  // 0: until the wall
};

struct Walk {
    const char *name;
    Leg legs[3];
};

// Frames of one walk until the first push-back, or -1.
static int FramesToWall(demotest::DemoScene &scene, const Walk &walk, int limit, float *x, float *z)
{
    scene.ResetCharacter();
    int frame = 0;
    for (const Leg &leg : walk.legs) {
        if (!leg.key)
            break;
        scene.ReleaseAll();
        scene.Press(leg.key);
        for (int i = 0; (leg.frames == 0 || i < leg.frames) && frame < limit; ++i, ++frame) {
            float beforeX = g_charX, beforeZ = g_charZ;
            scene.Frame();
            // A pushed-back step leaves the controller's position where it was, or behind.
            bool moved = g_charX != beforeX || g_charZ != beforeZ;
            bool forward = (leg.key == DIK_DOWN && g_charZ > beforeZ) || (leg.key == DIK_UP && g_charZ < beforeZ) ||
                           (leg.key == DIK_LEFT && g_charX > beforeX) || (leg.key == DIK_RIGHT && g_charX < beforeX);
            if (g_inCollision && !(moved && forward)) {
                *x = g_charX;
                *z = g_charZ;
                scene.ReleaseAll();
                return frame + 1;
            }
        }
    }
    scene.ReleaseAll();
    *x = g_charX;
    *z = g_charZ;
    return -1;
}

int main(int argc, char **argv)
{
    int limit = argc > 1 ? atoi(argv[1]) : 3000;
    demotest::DemoScene scene;
    std::string why;
    if (!scene.Open(&why)) {
        fprintf(stderr, "wall_probe: %s\n", why.c_str());
        return 1;
    }
    static const Walk kWalks[] = {
        {"Down", {{DIK_DOWN, 0}}},
        {"Up", {{DIK_UP, 0}}},
        {"Left", {{DIK_LEFT, 0}}},
        {"Right", {{DIK_RIGHT, 0}}},
        {"Down 200, Left", {{DIK_DOWN, 200}, {DIK_LEFT, 0}}},
        {"Down 200, Right", {{DIK_DOWN, 200}, {DIK_RIGHT, 0}}},
        {"Up 200, Left", {{DIK_UP, 200}, {DIK_LEFT, 0}}},
        {"Up 200, Right", {{DIK_UP, 200}, {DIK_RIGHT, 0}}},
        {"Left 200, Down", {{DIK_LEFT, 200}, {DIK_DOWN, 0}}},
        {"Left 200, Up", {{DIK_LEFT, 200}, {DIK_UP, 0}}},
        {"Right 200, Down", {{DIK_RIGHT, 200}, {DIK_DOWN, 0}}},
        {"Right 200, Up", {{DIK_RIGHT, 200}, {DIK_UP, 0}}},
        // Towards the footing of the gate's post at x 1.3, z -0.65.
        {"Up 60, Left", {{DIK_UP, 60}, {DIK_LEFT, 0}}},
        {"Up 80, Left", {{DIK_UP, 80}, {DIK_LEFT, 0}}},
        {"Up 100, Left", {{DIK_UP, 100}, {DIK_LEFT, 0}}},
        {"Up 120, Left", {{DIK_UP, 120}, {DIK_LEFT, 0}}},
        {"Up 140, Left", {{DIK_UP, 140}, {DIK_LEFT, 0}}},
        {"Up 160, Left", {{DIK_UP, 160}, {DIK_LEFT, 0}}},
        {"Up 200, Down", {{DIK_UP, 200}, {DIK_DOWN, 0}}},
        {"Up 240, Right", {{DIK_UP, 240}, {DIK_RIGHT, 0}}},
    };
    for (const Walk &walk : kWalks) {
        float x = 0, z = 0;
        int frames = FramesToWall(scene, walk, limit, &x, &z);
        if (frames < 0)
            printf("%-18s none within %d frames (at x %.3f z %.3f)\n", walk.name, limit, x, z);
        else
            printf("%-18s wall at frame %d (x %.3f z %.3f)\n", walk.name, frames, x, z);
        fflush(stdout);
    }
    scene.Close();
    return 0;
}
