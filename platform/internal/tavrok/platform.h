/*
 * tavrok/platform.h - services that the platform libraries share among themselves.
 *
 * Private to platform/: the program modules never include it.  platform/win32 implements
 * everything declared here; the other platform libraries (d3d9, d3dx9, dxfile, dinput8,
 * collision) call it for diagnostics, Windows path names, the SDL window behind an HWND
 * and the documented TAVROK_* environment switches.
 */
#ifndef TAVROK_PLATFORM_H
#define TAVROK_PLATFORM_H

#include <windows.h>

#include <cstdint>
#include <string>

struct SDL_Window;
union SDL_Event;

namespace tavrok {

// One diagnostic line on stderr: "<library>: <file>:<position>: <reason>".  The position
// may be empty (then it and its colon are left out); so may the file.  Used for every
// failure the platform reports, so that each problem costs exactly one line.
void Diagnostic(const char *library, const std::string &file, const std::string &position,
                const std::string &reason);

// The same as Diagnostic for a problem with a file the caller named, but an identical line
// (same library, file, position and reason) is written only the first time in a run: a
// program that asks for a damaged file again, or reads it with a second loader, learns
// nothing from a repeat.
void FileDiagnostic(const char *library, const std::string &file, const std::string &position,
                    const std::string &reason);

// A "not supported" line for an entry point or argument the platform does not implement,
// written once per distinct message for the whole run.
void Unsupported(const char *library, const std::string &what);

// Turns a Windows path ("..\Data\Ninja.x") into one this system can open: backslashes
// become slashes, and each component that does not exist with its exact spelling is
// replaced by a case-insensitive match in the same folder, as Windows file systems behave.
// A path whose components cannot be matched is returned with slashes only.
std::string ResolvePath(const char *windowsPath);

// The SDL window behind a window handle, or null for a handle that is not a live window.
SDL_Window *SdlWindowOf(HWND hWnd);
// The handle of the window SDL knows by this id, or null.
HWND WindowFromSdlId(uint32_t windowId);

// Makes sure SDL's video and event subsystems are running; false when no display can be
// opened, with a diagnostic, or with the reason in *why instead when the caller asks for it.
bool EnsureVideo(std::string *why = nullptr);

// Pumps SDL events into the Win32 message queue without removing any message: used by
// subsystems that must see the current input state outside the message loop.
void PumpMessages();

// Reads an environment switch; null when it is unset or empty.
const char *EnvSwitch(const char *name);

// Called by the Direct3D device after each presented frame: counts it and, under the virtual
// clock (TAVROK_VIRTUAL_CLOCK), moves every time source on by one frame's step.
void FramePresented();
// The number of frames presented so far.
uint64_t PresentedFrames();

// Input state as the program sees it.  Normally SDL's; while an input script
// (TAVROK_INPUT_SCRIPT) plays, only the script's events count, so that a run depends on
// nothing but its script.
bool InputScripted();
bool ScancodeDown(int scancode);
uint32_t MouseButtonMask();      // SDL_BUTTON_LMASK ... for the buttons held
SDL_Window *KeyboardFocus();     // the window that has the keyboard focus, or null
bool AcceptsInputEvent(const SDL_Event &event);  // false for real input under a script

// For tests: replaces the performance counter with a function of the caller's (null
// restores the system clock).  The frequency reported becomes `frequency`.
using CounterSource = int64_t (*)();
void SetPerformanceCounterSource(CounterSource source, int64_t frequency);

}  // namespace tavrok

#endif
