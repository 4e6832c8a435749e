// The unattended-run switches: TAVROK_VIRTUAL_CLOCK moves every clock on by a fixed step
// per presented frame and by nothing else, and TAVROK_INPUT_SCRIPT (input_script.txt)
// plays key, mouse, focus and close events at their frames into the message queue,
// GetAsyncKeyState and DirectInput, while real input is ignored.
#include <dinput.h>
#include <mmsystem.h>
#include <windows.h>

#include <tavrok/platform.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The switches are read at their first use, so they go into the environment before any
// test runs.
const bool g_switchesSet = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("TAVROK_VIRTUAL_CLOCK", "12.5", 1);
    setenv("TAVROK_INPUT_SCRIPT", SCRIPT_FILE, 1);
    return true;
}();

std::vector<MSG> g_received;

LRESULT CALLBACK Record(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    g_received.push_back(msg);
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// The first message of this kind received (with this wParam unless anyParam), or null.
const MSG *Find(UINT message, WPARAM wParam = 0, bool anyParam = true)
{
    for (const MSG &m : g_received)
        if (m.message == message && (anyParam || m.wParam == wParam))
            return &m;
    return nullptr;
}

// One pass of a program's message loop: every waiting message dispatched.
void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

TEST(InputScript, PlaysEachEventAtItsFrameThroughEveryInputPath)
{
    ASSERT_TRUE(tavrok::EnsureVideo());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(tavrok::InputScripted());
    std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(diagnostics, std::string("win32: ") + SCRIPT_FILE + ":11: \"jump\" is not an event; the line is skipped\n" +
                               "win32: " + SCRIPT_FILE + ":12: \"x\" is not a frame number; the line is skipped\n" +
                               "win32: " + SCRIPT_FILE + ":13: \"NoSuchKey\" is not a key; the line is skipped\n");

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Record;
    wc.lpszClassName = "ScriptTarget";
    ASSERT_NE(0, RegisterClassExA(&wc));
    HWND hWnd = CreateWindowExA(0, "ScriptTarget", "script", WS_CAPTION, 0, 0, 320, 240, NULL, NULL, NULL, NULL);
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);

    IDirectInput8A *di = nullptr;
    ASSERT_EQ(DirectInput8Create(GetModuleHandleA(NULL), 0x0800, IID_IDirectInput8A,
                                 reinterpret_cast<void **>(&di), NULL),
              DI_OK);
    IDirectInputDevice8A *keyboard = nullptr, *mouse = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, NULL), DI_OK);
    ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, NULL), DI_OK);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(keyboard->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    // The script's window has the focus, so a foreground device can be acquired at once.
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    BYTE keys[256];
    DIMOUSESTATE2 motion;

    // Real input does not count while the script plays.
    SDL_Event real{};
    real.type = SDL_KEYDOWN;
    real.key.windowID = SDL_GetWindowID(tavrok::SdlWindowOf(hWnd));
    real.key.state = SDL_PRESSED;
    real.key.keysym.scancode = SDL_SCANCODE_B;
    SDL_PushEvent(&real);
    SDL_Event realMotion{};
    realMotion.type = SDL_MOUSEMOTION;
    realMotion.motion.windowID = real.key.windowID;
    realMotion.motion.xrel = 100;
    SDL_PushEvent(&realMotion);

    // The script counts frames from the start of the process: this test runs first.
    ASSERT_EQ(tavrok::PresentedFrames(), 0u);
    // Presents frames up to `upTo`, then dispatches what the script posted by then.
    auto frame = [&](uint64_t upTo) {
        while (tavrok::PresentedFrames() < upTo)
            tavrok::FramePresented();
        g_received.clear();
        Pump();
    };

    // Frame 0: A goes down.
    frame(0);
    EXPECT_NE(Find(WM_KEYDOWN, 'A', false), nullptr);
    EXPECT_EQ(Find(WM_KEYDOWN, 'B', false), nullptr);
    EXPECT_EQ(Find(WM_MOUSEMOVE), nullptr);
    EXPECT_TRUE(GetAsyncKeyState('A') & 0x8000);
    EXPECT_FALSE(GetAsyncKeyState('B') & 0x8000);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x80);
    EXPECT_EQ(keys[DIK_B], 0x00);
    ASSERT_EQ(mouse->GetDeviceState(sizeof motion, &motion), DI_OK);
    EXPECT_EQ(motion.lX, 0);

    // Frame 1: nothing new; A is still down.
    frame(1);
    EXPECT_TRUE(g_received.empty());
    EXPECT_TRUE(GetAsyncKeyState('A') & 0x8000);

    // Frame 2: A comes up and the mouse moves; the pointer stays inside the window.
    frame(2);
    EXPECT_NE(Find(WM_KEYUP, 'A', false), nullptr);
    const MSG *move = Find(WM_MOUSEMOVE);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(LOWORD(move->lParam), 5);
    EXPECT_EQ(HIWORD(move->lParam), 0);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x00);
    ASSERT_EQ(mouse->GetDeviceState(sizeof motion, &motion), DI_OK);
    EXPECT_EQ(motion.lX, 5);
    EXPECT_EQ(motion.lY, -3);

    // Frame 3: the left button goes down, then the window loses the focus.
    frame(3);
    EXPECT_NE(Find(WM_LBUTTONDOWN), nullptr);
    EXPECT_NE(Find(WM_KILLFOCUS), nullptr);
    EXPECT_TRUE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);

    // Frame 4: the focus comes back and the device can be acquired again.
    frame(4);
    EXPECT_NE(Find(WM_SETFOCUS), nullptr);
    EXPECT_NE(Find(WM_LBUTTONUP), nullptr);
    EXPECT_EQ(GetForegroundWindow(), hWnd);
    EXPECT_FALSE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);

    // Frame 5: left Shift (posted as the generic code) and two wheel notches.
    frame(5);
    EXPECT_NE(Find(WM_KEYDOWN, VK_SHIFT, false), nullptr);
    EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_LSHIFT], 0x80);
    ASSERT_EQ(mouse->GetDeviceState(sizeof motion, &motion), DI_OK);
    EXPECT_EQ(motion.lZ, 2 * 120);

    // Frames 6 and 7 held only skipped lines; frame 8 clicks the close box.
    frame(7);
    EXPECT_TRUE(g_received.empty());
    frame(8);
    EXPECT_NE(Find(WM_CLOSE), nullptr);
    EXPECT_NE(Find(WM_DESTROY), nullptr);
    EXPECT_FALSE(IsWindow(hWnd));

    mouse->Release();
    keyboard->Release();
    di->Release();
}

TEST(VirtualClock, EveryClockMovesByTheStepPerPresentedFrameOnly)
{
    LARGE_INTEGER frequency, before, after;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    DWORD ms = timeGetTime(), ticks = GetTickCount();
    Sleep(30);  // real time passes; the virtual clock does not
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_EQ(after.QuadPart, before.QuadPart);
    EXPECT_EQ(timeGetTime(), ms);

    uint64_t frames = tavrok::PresentedFrames();
    for (int i = 0; i < 4; ++i)
        tavrok::FramePresented();
    EXPECT_EQ(tavrok::PresentedFrames(), frames + 4);
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_EQ(after.QuadPart - before.QuadPart, frequency.QuadPart / 20);  // 4 x 12.5 ms
    EXPECT_EQ(timeGetTime() - ms, 50u);
    EXPECT_EQ(GetTickCount() - ticks, 50u);
}

}  // namespace
