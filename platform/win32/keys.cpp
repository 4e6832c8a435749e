/*
 * keys.cpp - virtual-key codes for SDL scancodes, and GetAsyncKeyState.
 *
 * The table maps physical keys (SDL scancodes, US layout positions) to the virtual-key
 * codes a US keyboard layout gives on Windows.  GetAsyncKeyState reports bit 15 while the
 * key is down and bit 0 when it was pressed since the previous query of that key, as
 * Windows does for the calling process.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <array>

namespace tavrok::win32 {
namespace {

struct KeyMapping {
    SDL_Scancode scancode;
    int vk;
};

const KeyMapping kKeys[] = {
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE},        // Esc
    {SDL_SCANCODE_RETURN, VK_RETURN},        // Enter
    {SDL_SCANCODE_KP_ENTER, VK_RETURN},      // keypad Enter
    {SDL_SCANCODE_BACKSPACE, VK_BACK},       // Backspace
    {SDL_SCANCODE_TAB, VK_TAB},              // Tab
    {SDL_SCANCODE_SPACE, VK_SPACE},          // Space
    {SDL_SCANCODE_LSHIFT, VK_LSHIFT},        // left Shift
    {SDL_SCANCODE_RSHIFT, VK_RSHIFT},        // right Shift
    {SDL_SCANCODE_LCTRL, VK_LCONTROL},       // left Ctrl
    {SDL_SCANCODE_RCTRL, VK_RCONTROL},       // right Ctrl
    {SDL_SCANCODE_LALT, VK_LMENU},           // left Alt
    {SDL_SCANCODE_RALT, VK_RMENU},           // right Alt (AltGr)
    {SDL_SCANCODE_LGUI, VK_LWIN},            // left Windows key
    {SDL_SCANCODE_RGUI, VK_RWIN},            // right Windows key
    {SDL_SCANCODE_APPLICATION, VK_APPS},     // menu key
    {SDL_SCANCODE_PAUSE, VK_PAUSE},          // Pause
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL},     // Caps Lock
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK}, // Num Lock
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL},    // Scroll Lock
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT}, // Print Screen
    {SDL_SCANCODE_PAGEUP, VK_PRIOR},         // Page Up
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT},        // Page Down
    {SDL_SCANCODE_END, VK_END},              // End
    {SDL_SCANCODE_HOME, VK_HOME},            // Home
    {SDL_SCANCODE_LEFT, VK_LEFT},            // left arrow
    {SDL_SCANCODE_UP, VK_UP},                // up arrow
    {SDL_SCANCODE_RIGHT, VK_RIGHT},          // right arrow
    {SDL_SCANCODE_DOWN, VK_DOWN},            // down arrow
    {SDL_SCANCODE_INSERT, VK_INSERT},        // Insert
    {SDL_SCANCODE_DELETE, VK_DELETE},        // Delete
    {SDL_SCANCODE_KP_0, VK_NUMPAD0},         // keypad 0
    {SDL_SCANCODE_KP_1, VK_NUMPAD1},         // keypad 1
    {SDL_SCANCODE_KP_2, VK_NUMPAD2},         // keypad 2
    {SDL_SCANCODE_KP_3, VK_NUMPAD3},         // keypad 3
    {SDL_SCANCODE_KP_4, VK_NUMPAD4},         // keypad 4
    {SDL_SCANCODE_KP_5, VK_NUMPAD5},         // keypad 5
    {SDL_SCANCODE_KP_6, VK_NUMPAD6},         // keypad 6
    {SDL_SCANCODE_KP_7, VK_NUMPAD7},         // keypad 7
    {SDL_SCANCODE_KP_8, VK_NUMPAD8},         // keypad 8
    {SDL_SCANCODE_KP_9, VK_NUMPAD9},         // keypad 9
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY}, // keypad *
    {SDL_SCANCODE_KP_PLUS, VK_ADD},          // keypad +
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},    // keypad -
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL},    // keypad .
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE},     // keypad /
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1},      // ;
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS},      // =
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA},      // ,
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS},      // -
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD},    // .
    {SDL_SCANCODE_SLASH, VK_OEM_2},          // /
    {SDL_SCANCODE_GRAVE, VK_OEM_3},          // `
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4},    // [
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5},      // backslash
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6},   // ]
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7},     // '
};

// Bit 0 of GetAsyncKeyState: pressed since the last query of that key.
std::array<bool, 256> g_pressedSinceQuery{};

bool IsScancodeDown(int vk)
{
    // The virtual key of every scancode, worked out once: a query then asks for the state
    // of only the scancodes that give its key.
    static const std::array<uint8_t, SDL_NUM_SCANCODES> vkOf = [] {
        std::array<uint8_t, SDL_NUM_SCANCODES> table{};
        for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc)
            table[sc] = uint8_t(VirtualKeyFromScancode(SDL_Scancode(sc)));
        return table;
    }();
    if (vk < 0 || vk > 255)
        return false;
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc)
        if (vkOf[sc] == vk && tavrok::ScancodeDown(sc))
            return true;
    return false;
}

bool IsVirtualKeyDown(int vk)
{
    switch (vk) {
    case VK_SHIFT: return IsScancodeDown(VK_LSHIFT) || IsScancodeDown(VK_RSHIFT);
    case VK_CONTROL: return IsScancodeDown(VK_LCONTROL) || IsScancodeDown(VK_RCONTROL);
    case VK_MENU: return IsScancodeDown(VK_LMENU) || IsScancodeDown(VK_RMENU);
    case VK_LBUTTON: return tavrok::MouseButtonMask() & SDL_BUTTON_LMASK;
    case VK_RBUTTON: return tavrok::MouseButtonMask() & SDL_BUTTON_RMASK;
    case VK_MBUTTON: return tavrok::MouseButtonMask() & SDL_BUTTON_MMASK;
    default: return IsScancodeDown(vk);
    }
}

}  // namespace

int VirtualKeyFromScancode(SDL_Scancode sc)
{
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
        return 'A' + (sc - SDL_SCANCODE_A);  // letters: their upper-case ASCII codes
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9)
        return '1' + (sc - SDL_SCANCODE_1);  // digits 1-9: their ASCII codes
    if (sc == SDL_SCANCODE_0)
        return '0';
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12)
        return VK_F1 + (sc - SDL_SCANCODE_F1);
    for (const KeyMapping &k : kKeys)
        if (k.scancode == sc)
            return k.vk;
    return 0;
}

void NoteKeyPressed(int vk)
{
    if (vk > 0 && vk < 256)
        g_pressedSinceQuery[vk] = true;
    // The generic codes are pressed whenever one of their sides is.
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) g_pressedSinceQuery[VK_SHIFT] = true;
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) g_pressedSinceQuery[VK_CONTROL] = true;
    if (vk == VK_LMENU || vk == VK_RMENU) g_pressedSinceQuery[VK_MENU] = true;
}

void ResetKeyState() { g_pressedSinceQuery.fill(false); }

}  // namespace tavrok::win32

using namespace tavrok::win32;

extern "C" SHORT WINAPI GetAsyncKeyState(int vk)
{
    if (vk <= 0 || vk >= 256)
        return 0;
    SHORT result = IsVirtualKeyDown(vk) ? SHORT(0x8000) : 0;
    if (g_pressedSinceQuery[vk])
        result |= 1;
    g_pressedSinceQuery[vk] = false;
    return result;
}

extern "C" SHORT WINAPI GetKeyState(int vk)
{
    if (vk <= 0 || vk >= 256)
        return 0;
    return IsVirtualKeyDown(vk) ? SHORT(0x8000) : 0;
}
