/*
 * win32_private.h - state shared by the files of platform/win32.
 *
 * Windows are records in one table owned by this library; an HWND is the address of its
 * record.  The message queue holds posted messages; input is translated from SDL events
 * when the queue is polled.  Everything runs on the thread that created the windows.
 */
#ifndef TAVROK_WIN32_PRIVATE_H
#define TAVROK_WIN32_PRIVATE_H

#include <windows.h>

#include <SDL.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tavrok::win32 {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
};

struct Window {
    SDL_Window *sdl = nullptr;
    WNDPROC proc = nullptr;
    std::string className;
    DWORD style = 0;
    int outerWidth = 0;   // the size the program asked for, frame included
    int outerHeight = 0;
    bool visible = false;
    bool destroyed = false;
    bool needsPaint = false;
};

// The live window table.  Records are never freed before exit, so a stale HWND still
// points at a record marked destroyed instead of at freed memory.
std::vector<std::unique_ptr<Window>> &Windows();
Window *FromHandle(HWND hWnd);  // null unless hWnd is a live, not destroyed window
HWND HandleOf(Window *w);

// Frame border sizes the window manager adds around the client area (all zero without one).
struct Borders { int top = 0, left = 0, bottom = 0, right = 0; };
Borders BordersOf(const Window &w);

// Virtual-key translation and async key state.
int VirtualKeyFromScancode(SDL_Scancode sc);
void NoteKeyPressed(int vk);
void ResetKeyState();

// Windows-1252 text (the ANSI code page of the program's strings) as UTF-8.
std::string Cp1252ToUtf8(const char *text);

// Message queue internals.
void TranslateSdlEvents();
LRESULT Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts the key message for a physical key going down or up (nothing for unmapped keys).
void PostKey(HWND hWnd, SDL_Scancode scancode, bool down, bool repeat, bool alt);
// The messages a window gets when it gains or loses the keyboard focus.
void SendFocus(HWND hWnd, bool gained);

// Plays the input script's events that are due (see input_script.cpp).
void PlayInputScript();

}  // namespace tavrok::win32

#endif
