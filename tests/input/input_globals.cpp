// What the input module expects from the rest of the program, for its tests: the shell's
// handles, the global objects, no graphics device, and an error report that the tests can
// read back (the shell's own writes the same lines to the debugger output).
#include "input/input_test_support.h"

#include "input/input.h"
#include "world/camera.h"
#include "app/shell.h"

#include <d3d9.h>

#include <stdio.h>

HINSTANCE g_hInstance = NULL;
HWND g_hWnd = NULL;
LPDIRECT3DDEVICE9 g_pd3dDevice = NULL;

CKeyboard g_keyboard;
CMouse g_mouse;
CCamera g_followCamera;
CCamera g_freeCamera;

std::vector<std::string> g_errorLines;
bool g_echoErrors = false;

void LogError(const char *message)
{
    g_errorLines.push_back(message);
    if (g_echoErrors) {
        printf("ERROR: %s\n", message);
        fflush(stdout);
    }
}
