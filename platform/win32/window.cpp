/*
 * window.cpp - window classes and windows over SDL2.
 *
 * A window is an SDL window created hidden with OpenGL support (the graphics device
 * renders into it) and shown by ShowWindow.  Sizes given to CreateWindowExA and
 * MoveWindow are outer sizes, frame included, as on Windows; the client area is what
 * remains after the borders the window manager adds (none under a bare X server).
 * DestroyWindow sends WM_DESTROY and hides the window; the SDL window itself is kept until
 * its class is unregistered, so that a graphics context made on it can still be released
 * after the window is gone, as a program does when it tears down after its message loop.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <strings.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace tavrok::win32 {
namespace {

std::vector<WindowClass> &Classes()
{
    static std::vector<WindowClass> classes;
    return classes;
}

WindowClass *FindClass(const char *name)
{
    if (!name)
        return nullptr;
    for (WindowClass &c : Classes())
        if (strcasecmp(c.name.c_str(), name) == 0)
            return &c;
    return nullptr;
}

int g_cursorCount = 0;

struct Icon {
    int id;
    std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface;
};

std::string ExecutableFolder()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, size_t(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The window records.  SDL windows are destroyed when their class is unregistered, never
// from here: at exit the display connection may already be gone (Xlib ends the process
// from inside its I/O error handler), and talking to it then would block for ever.
struct WindowTable {
    std::vector<std::unique_ptr<Window>> windows;
};

}  // namespace

std::vector<std::unique_ptr<Window>> &Windows()
{
    static WindowTable table;
    return table.windows;
}

Window *FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    for (auto &w : Windows())
        if (reinterpret_cast<HWND>(w.get()) == hWnd)
            return w->destroyed ? nullptr : w.get();
    return nullptr;
}

HWND HandleOf(Window *w) { return reinterpret_cast<HWND>(w); }

Borders BordersOf(const Window &w)
{
    Borders b;
    if (w.sdl && SDL_GetWindowBordersSize(w.sdl, &b.top, &b.left, &b.bottom, &b.right) != 0)
        b = Borders{};
    return b;
}

LRESULT Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = nullptr;
    for (auto &candidate : Windows())
        if (reinterpret_cast<HWND>(candidate.get()) == hWnd)
            w = candidate.get();
    if (!w || !w->proc)
        return 0;
    return w->proc(hWnd, msg, wParam, lParam);
}

}  // namespace tavrok::win32

using namespace tavrok::win32;

namespace tavrok {

bool EnsureVideo(std::string *why)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::string reason = std::string("cannot open the display: ") + SDL_GetError();
        if (why)
            *why = reason;
        else
            Diagnostic("win32", "", "", reason);
        return false;
    }
    return true;
}

SDL_Window *SdlWindowOf(HWND hWnd)
{
    Window *w = FromHandle(hWnd);
    return w ? w->sdl : nullptr;
}

HWND WindowFromSdlId(uint32_t id)
{
    for (auto &w : Windows())
        if (!w->destroyed && w->sdl && SDL_GetWindowID(w->sdl) == id)
            return HandleOf(w.get());
    return nullptr;
}

}  // namespace tavrok

extern "C" ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.style = wc->style;
    c.proc = wc->lpfnWndProc;
    c.instance = wc->hInstance;
    c.icon = wc->hIcon;
    Classes().push_back(c);
    // Atoms of registered classes start at 0xC000 on Windows.
    return ATOM(0xC000 + Classes().size() - 1);
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE)
{
    auto &classes = Classes();
    auto it = std::find_if(classes.begin(), classes.end(), [&](const WindowClass &c) {
        return name && strcasecmp(c.name.c_str(), name) == 0;
    });
    if (it == classes.end())
        return FALSE;
    for (auto &w : Windows())
        if (!w->destroyed && strcasecmp(w->className.c_str(), name) == 0)
            return FALSE;  // still in use by a window, as on Windows
    // The class's windows are all destroyed: their SDL windows can go now that whatever was
    // drawn into them (a graphics context) has been released by the program.
    for (auto &w : Windows())
        if (w->sdl && strcasecmp(w->className.c_str(), name) == 0) {
            SDL_DestroyWindow(w->sdl);
            w->sdl = nullptr;
        }
    classes.erase(it);
    return TRUE;
}

extern "C" HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                                       int width, int height, HWND, HMENU, HINSTANCE, LPVOID)
{
    WindowClass *cls = FindClass(className);
    if (!cls) {
        tavrok::Diagnostic("win32", "", "", std::string("CreateWindowExA: unknown window class \"") +
                                                (className ? className : "") + "\"");
        return nullptr;
    }
    if (!tavrok::EnsureVideo())
        return nullptr;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT || width <= 0) width = 640;
    if (height == CW_USEDEFAULT || height <= 0) height = 480;

    // The graphics device draws with OpenGL 3.3 core into this window; on X11 the visual
    // is chosen when the window is created, so the context attributes go here.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    if (!(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME)))
        flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window *sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
    if (!sdl) {
        tavrok::Diagnostic("win32", "", "", std::string("cannot create window: ") + SDL_GetError());
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->sdl = sdl;
    window->proc = cls->proc;
    window->className = cls->name;
    window->style = style;
    window->outerWidth = width;
    window->outerHeight = height;
    Window *w = window.get();
    Windows().push_back(std::move(window));
    if (cls->icon && cls->icon != LoadIconA(nullptr, IDI_APPLICATION))
        SDL_SetWindowIcon(sdl, reinterpret_cast<Icon *>(cls->icon)->surface.get());
    HWND hWnd = HandleOf(w);
    Send(hWnd, WM_NCCREATE, 0, 0);
    if (Send(hWnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hWnd);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(hWnd, SW_SHOWNORMAL);
    return hWnd;
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    Send(hWnd, WM_DESTROY, 0, 0);
    Send(hWnd, WM_NCDESTROY, 0, 0);
    w->destroyed = true;
    w->visible = false;
    SDL_HideWindow(w->sdl);
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) { return FromHandle(hWnd) != nullptr; }

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int cmd)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = w->visible;
    if (cmd == SW_HIDE) {
        SDL_HideWindow(w->sdl);
        w->visible = false;
        return wasVisible;
    }
    SDL_ShowWindow(w->sdl);
    if (cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED)
        SDL_MinimizeWindow(w->sdl);
    w->visible = true;
    // Now that a window manager (if any) has framed the window, make the frame and client
    // area together the outer size the program asked for.
    Borders b = BordersOf(*w);
    if (b.left + b.right + b.top + b.bottom > 0)
        SDL_SetWindowSize(w->sdl, std::max(1, w->outerWidth - b.left - b.right),
                          std::max(1, w->outerHeight - b.top - b.bottom));
    if (!wasVisible) {
        Send(hWnd, WM_SHOWWINDOW, TRUE, 0);
        w->needsPaint = true;
    }
    return wasVisible;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    if (w->needsPaint)
        Send(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT rect)
{
    Window *w = FromHandle(hWnd);
    if (!w || !rect)
        return FALSE;
    int width = 0, height = 0;
    SDL_GetWindowSize(w->sdl, &width, &height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT rect)
{
    Window *w = FromHandle(hWnd);
    if (!w || !rect)
        return FALSE;
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &width, &height);
    Borders b = BordersOf(*w);
    *rect = RECT{x - b.left, y - b.top, x + width + b.right, y + height + b.bottom};
    return TRUE;
}

extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL repaint)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    Borders b = BordersOf(*w);
    w->outerWidth = width;
    w->outerHeight = height;
    SDL_SetWindowSize(w->sdl, std::max(1, width - b.left - b.right), std::max(1, height - b.top - b.bottom));
    SDL_SetWindowPosition(w->sdl, x + b.left, y + b.top);
    Send(hWnd, WM_MOVE, 0, MAKELPARAM(x + b.left, y + b.top));
    Send(hWnd, WM_SIZE, 0, MAKELPARAM(width - b.left - b.right, height - b.top - b.bottom));
    if (repaint)
        w->needsPaint = true;
    return TRUE;
}

extern "C" BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD, BOOL)
{
    // The frame's size is known only once a window is framed; assume none beforehand.
    return rect != nullptr;
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR text)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    SDL_SetWindowTitle(w->sdl, text ? text : "");
    return TRUE;
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT *)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    w->needsPaint = false;
    return TRUE;
}

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *, BOOL)
{
    Window *w = FromHandle(hWnd);
    if (!w)
        return FALSE;
    w->needsPaint = true;
    return TRUE;
}

extern "C" HWND WINAPI GetForegroundWindow(void)
{
    SDL_Window *focus = tavrok::KeyboardFocus();
    return focus ? tavrok::WindowFromSdlId(SDL_GetWindowID(focus)) : nullptr;
}

extern "C" HWND WINAPI GetFocus(void) { return GetForegroundWindow(); }

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    // The system cursors are the only ones; the arrow is SDL's default cursor.
    static int arrow;
    if (!instance && name == IDC_ARROW)
        return reinterpret_cast<HCURSOR>(&arrow);
    tavrok::Unsupported("win32", "LoadCursorA with a program cursor resource");
    return nullptr;
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    static int application;
    if (!instance && name == IDI_APPLICATION)
        return reinterpret_cast<HICON>(&application);
    if (!IS_INTRESOURCE(name)) {
        tavrok::Unsupported("win32", "LoadIconA with a named icon resource");
        return nullptr;
    }
    // A program's icon resources are bitmaps beside the executable: res/icon<id>.bmp.
    static std::vector<std::unique_ptr<Icon>> icons;
    int id = int(reinterpret_cast<ULONG_PTR>(name));
    for (auto &icon : icons)
        if (icon->id == id)
            return reinterpret_cast<HICON>(icon.get());
    std::string file = ExecutableFolder() + "/res/icon" + std::to_string(id) + ".bmp";
    SDL_Surface *surface = SDL_LoadBMP(file.c_str());
    if (!surface) {
        tavrok::Diagnostic("win32", file, "", "icon resource not found");
        return nullptr;
    }
    icons.push_back(std::make_unique<Icon>(Icon{id, {surface, SDL_FreeSurface}}));
    return reinterpret_cast<HICON>(icons.back().get());
}

extern "C" int WINAPI ShowCursor(BOOL show)
{
    g_cursorCount += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(g_cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return g_cursorCount;
}

extern "C" int WINAPI GetSystemMetrics(int index)
{
    SDL_DisplayMode mode;
    if (!tavrok::EnsureVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 0;
    if (index == SM_CXSCREEN) return mode.w;
    if (index == SM_CYSCREEN) return mode.h;
    return 0;
}
