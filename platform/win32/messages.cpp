/*
 * messages.cpp - the message queue: PeekMessageA, DispatchMessageA, DefWindowProcA.
 *
 * Each poll first drains SDL's events and turns them into Win32 messages: key and mouse
 * input is posted to the queue, while window-manager requests are sent to the window
 * procedure directly (a close request arrives as WM_CLOSE, whose default handling destroys
 * the window, which sends WM_DESTROY).  Retrieval follows Windows' order: posted messages
 * first, then WM_QUIT once the program asked to quit, then WM_PAINT for a window whose
 * area is invalid.  A program that never waits (PeekMessageA in a loop) gets every
 * message in the order Windows would give it.
 */
#include "win32_private.h"

#include <mmsystem.h>
#include <tavrok/platform.h>

namespace tavrok::win32 {
namespace {

std::deque<MSG> g_posted;
bool g_quitPosted = false;
int g_quitCode = 0;

void Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = timeGetTime();
    g_posted.push_back(msg);
}

bool Matches(const MSG &msg, HWND hWnd, UINT low, UINT high)
{
    if (hWnd && msg.hwnd != hWnd)
        return false;
    if (low == 0 && high == 0)
        return true;
    return msg.message >= low && msg.message <= high;
}

// lParam of a key message: repeat count 1, the scancode, the previous-state bit for
// auto-repeat and the transition bits for a release.
LPARAM KeyParam(SDL_Scancode scancode, bool down, bool repeat, bool alt)
{
    DWORD lp = 1u | (DWORD(scancode & 0xFF) << 16);
    if (repeat)
        lp |= 1u << 30;
    if (!down)
        lp |= (1u << 30) | (1u << 31);
    if (alt)
        lp |= 1u << 29;
    return LPARAM(lp);
}

}  // namespace

void PostKey(HWND hWnd, SDL_Scancode scancode, bool down, bool repeat, bool alt)
{
    int vk = VirtualKeyFromScancode(scancode);
    if (!vk)
        return;
    if (down && !repeat)
        NoteKeyPressed(vk);
    // Alt combinations and F10 are system keys on Windows.
    bool system = alt || vk == VK_F10 || vk == VK_LMENU || vk == VK_RMENU;
    // Key messages carry the generic modifier codes, as on Windows.
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) vk = VK_SHIFT;
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) vk = VK_CONTROL;
    if (vk == VK_LMENU || vk == VK_RMENU) vk = VK_MENU;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    if (hWnd)
        Post(hWnd, message, WPARAM(vk), KeyParam(scancode, down, repeat, alt));
}

void SendFocus(HWND hWnd, bool gained)
{
    Send(hWnd, WM_ACTIVATE, gained ? WA_ACTIVE : WA_INACTIVE, 0);
    Send(hWnd, gained ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
}

void TranslateSdlEvents()
{
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return;
    PlayInputScript();
    SDL_Event e;
    bool closeSeen = false;
    while (SDL_PollEvent(&e)) {
        if (!tavrok::AcceptsInputEvent(e))
            continue;
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            PostKey(tavrok::WindowFromSdlId(e.key.windowID), e.key.keysym.scancode, e.type == SDL_KEYDOWN,
                    e.key.repeat != 0, (e.key.keysym.mod & KMOD_ALT) != 0);
            break;
        case SDL_MOUSEMOTION:
            if (HWND hWnd = tavrok::WindowFromSdlId(e.motion.windowID))
                Post(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(e.motion.x, e.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            HWND hWnd = tavrok::WindowFromSdlId(e.button.windowID);
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            UINT message = 0;
            if (e.button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            if (e.button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            if (e.button.button == SDL_BUTTON_MIDDLE) message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
            if (hWnd && message)
                Post(hWnd, message, 0, MAKELPARAM(e.button.x, e.button.y));
            break;
        }
        case SDL_WINDOWEVENT: {
            HWND hWnd = tavrok::WindowFromSdlId(e.window.windowID);
            if (!hWnd)
                break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                closeSeen = true;
                Send(hWnd, WM_CLOSE, 0, 0);
                break;
            case SDL_WINDOWEVENT_EXPOSED:
                InvalidateRect(hWnd, nullptr, FALSE);
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
            case SDL_WINDOWEVENT_FOCUS_LOST:
                SendFocus(hWnd, e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
                break;
            default:
                break;
            }
            break;
        }
        case SDL_QUIT:
            // A close request for the last window comes as both a window event and SDL_QUIT;
            // SDL_QUIT alone means a termination signal: ask every window to close.
            if (!closeSeen)
                for (auto &w : Windows())
                    if (!w->destroyed)
                        Send(HandleOf(w.get()), WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
}

}  // namespace tavrok::win32

using namespace tavrok::win32;

namespace tavrok {
void PumpMessages() { TranslateSdlEvents(); }
}  // namespace tavrok

extern "C" BOOL WINAPI PeekMessageA(LPMSG msg, HWND hWnd, UINT low, UINT high, UINT remove)
{
    if (!msg)
        return FALSE;
    TranslateSdlEvents();
    for (auto it = g_posted.begin(); it != g_posted.end(); ++it) {
        if (!Matches(*it, hWnd, low, high))
            continue;
        *msg = *it;
        if (remove & PM_REMOVE)
            g_posted.erase(it);
        return TRUE;
    }
    if (g_quitPosted && (low == 0 || (WM_QUIT >= low && WM_QUIT <= high))) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = WPARAM(g_quitCode);
        msg->time = timeGetTime();
        if (remove & PM_REMOVE)
            g_quitPosted = false;
        return TRUE;
    }
    if (low == 0 || (WM_PAINT >= low && WM_PAINT <= high)) {
        for (auto &w : Windows()) {
            HWND handle = HandleOf(w.get());
            if (!w->destroyed && w->needsPaint && (!hWnd || hWnd == handle)) {
                // WM_PAINT stays pending until the window validates its area.
                *msg = MSG{};
                msg->hwnd = handle;
                msg->message = WM_PAINT;
                msg->time = timeGetTime();
                return TRUE;
            }
        }
    }
    return FALSE;
}

extern "C" BOOL WINAPI GetMessageA(LPMSG msg, HWND hWnd, UINT low, UINT high)
{
    while (!PeekMessageA(msg, hWnd, low, high, PM_REMOVE))
        SDL_WaitEventTimeout(nullptr, 10);
    return msg->message != WM_QUIT;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG *msg)
{
    // Character messages for the keys that type one character without a layout: letters
    // (lower case unless Shift is down), digits, space, Enter, Backspace, Tab and Escape.
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    int vk = int(msg->wParam);
    int ch = 0;
    if (vk >= 'A' && vk <= 'Z')
        ch = (GetKeyState(VK_SHIFT) & 0x8000) ? vk : vk - 'A' + 'a';
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK ||
             vk == VK_TAB || vk == VK_ESCAPE)
        ch = vk;
    if (!ch)
        return FALSE;
    Post(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, WPARAM(ch), msg->lParam);
    return TRUE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    if (!msg || !msg->hwnd || !FromHandle(msg->hwnd))
        return 0;
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return FromHandle(hWnd) ? Send(hWnd, message, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hWnd && !FromHandle(hWnd))
        return FALSE;
    Post(hWnd, message, wParam, lParam);
    return TRUE;
}

extern "C" void WINAPI PostQuitMessage(int exitCode)
{
    g_quitPosted = true;
    g_quitCode = exitCode;
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT:
        ValidateRect(hWnd, nullptr);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4)  // Alt+F4 asks the window to close
            Send(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            Send(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCCREATE:
        return TRUE;
    case WM_ERASEBKGND:
        return 1;
    default:
        return 0;
    }
}
