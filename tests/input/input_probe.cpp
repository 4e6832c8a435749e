// input_probe: a window with the program's input set up, for the input end-to-end test.  When
// the queue is empty it applies the mouse to the free camera as the tick does and prints what
// changed: the keys asked about, the camera's rates, and the reads of a keyboard device of its
// own that is not re-acquired behind its back.  "other window" takes the focus; Escape ends.
#include "input/input.h"
#include "input/input_test_support.h"
#include "app/shell.h"
#include "world/camera.h"

#include <stdio.h>
#include <string>

static LRESULT CALLBACK ProbeProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

static const char *Name(HRESULT hr)
{
    switch (hr) {
    case DI_OK: return "DI_OK";
    case DI_NOEFFECT: return "DI_NOEFFECT";
    case DIERR_INPUTLOST: return "DIERR_INPUTLOST";
    case DIERR_NOTACQUIRED: return "DIERR_NOTACQUIRED";
    case DIERR_OTHERAPPHASPRIO: return "DIERR_OTHERAPPHASPRIO";
    default: return "other";
    }
}

int main()
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = instance;
    wc.lpszClassName = "InputProbe";
    if (!RegisterClassExA(&wc))
        return 1;
    HWND other = CreateWindowExA(0, "InputProbe", "other window", WS_CAPTION, 400, 0, 200, 150, NULL, NULL,
                                 instance, NULL);
    HWND main = CreateWindowExA(0, "InputProbe", "input probe", WS_CAPTION, 0, 0, 320, 240, NULL, NULL, instance,
                                NULL);
    if (!main || !other)
        return 1;
    ShowWindow(other, SW_SHOWNORMAL);
    ShowWindow(main, SW_SHOWNORMAL);
    g_hInstance = instance;
    g_hWnd = main;
    g_echoErrors = true;

    if (FAILED(InitInput())) {
        printf("init failed\n");
        return 2;
    }
    LPDIRECTINPUTDEVICE8A watcher = NULL;
    g_directInput->CreateDevice(GUID_SysKeyboard, &watcher, NULL);
    watcher->SetDataFormat(&c_dfDIKeyboard);
    watcher->SetCooperativeLevel(main, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    printf("init ok, watcher acquire %s\n", Name(watcher->Acquire()));
    fflush(stdout);

    const struct { int code; const char *name; } keys[] = {
        {DIK_UP, "up"}, {DIK_DOWN, "down"}, {DIK_LEFT, "left"}, {DIK_RIGHT, "right"}, {DIK_A, "a"},
        {DIK_S, "s"},   {DIK_D, "d"},       {DIK_E, "e"},       {DIK_C, "c"},
    };
    std::string lastKeys;
    HRESULT lastWatch = DI_OK;
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        g_mouse.Poll();
        UpdateInput();
        if (g_freeCamera.GetYawRate() != 0.0f || g_freeCamera.GetPitchRate() != 0.0f)
            printf("rates yaw %.6f pitch %.6f\n", g_freeCamera.GetYawRate(), g_freeCamera.GetPitchRate());

        std::string line = "keys";
        for (const auto &k : keys)
            line += std::string(" ") + k.name + "=" + (g_keyboard.IsKeyDown(k.code) ? "1" : "0");
        if (line != lastKeys)
            printf("%s\n", line.c_str());
        lastKeys = line;

        BYTE state[256];
        HRESULT hr = watcher->GetDeviceState(sizeof state, state);
        if (hr != lastWatch) {
            printf("watcher read %s\n", Name(hr));
            if (hr == DIERR_INPUTLOST) {
                HRESULT again = watcher->Acquire();
                printf("watcher acquire %s\n", Name(again));
                if (SUCCEEDED(again))
                    hr = DI_OK;
            }
        } else if (hr == DIERR_INPUTLOST && SUCCEEDED(watcher->Acquire())) {
            printf("watcher acquire DI_OK\n");
            hr = DI_OK;
        }
        lastWatch = hr;
        fflush(stdout);
        Sleep(2);  // the machine is shared; a real frame takes longer than this anyway
    }
    watcher->Release();
    ShutdownInput();
    printf("done\n");
    return 0;
}
