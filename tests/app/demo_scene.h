/*
 * demo_scene.h - the whole program's scene on a NULLREF device, for the controller and
 * frame tests and the frame benchmark: the set-up's models, clips, font, particles and
 * input in a real shown window (so the input devices can take the keyboard), with the keys
 * read from an array the test sets.  Needs a display and the run folder; one scene at a time.
 */
#ifndef TAVROK_TESTS_APP_DEMO_SCENE_H
#define TAVROK_TESTS_APP_DEMO_SCENE_H

#include "scene/frame.h"

#include <windows.h>

#include <string>
#include <vector>

namespace demotest {

class DemoScene {
public:
    // Opens the window, the device and the scene; false with the reason in *why.
    bool Open(std::string *why);
    // Releases the scene through the program's tear-down, then the window.
    void Close();

    void Press(int dik) { keys_[dik & 0xFF] = 0x80; }
    void Release(int dik) { keys_[dik & 0xFF] = 0; }
    void ReleaseAll();

    // Puts the controller's state back to the start of a run: position, heading, yaw,
    // camera offset and cameras, collision flag, spark and camera-toggle times.
    void ResetCharacter();

    // One pass of the main loop that found no message: a tick with its frame.
    void Frame();

    HWND Window() const { return window_; }

private:
    HWND window_ = NULL;
    BYTE keys_[256] = {};
};

// The frame matrices of a tree, depth first: a pose to compare.
std::vector<float> PoseOf(SFrame *root);

}  // namespace demotest

#endif
