/*
 * keyboard.cpp - the system keyboard: SDL's key state as DirectInput's 256 scan codes.
 *
 * SDL keeps the state of every physical key (SDL scancodes name key positions, as
 * DirectInput scan codes do); a snapshot translates it through one table, so the keys
 * read as on a US PC keyboard whatever the layout.  A key is down when its byte is 0x80.
 * The keyboard's objects are its 256 possible keys; keys that SDL has no scancode for
 * always read as up.
 */
#include "dinput8_private.h"

#include <tavrok/dinput8_debug.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <array>

namespace tavrok::dinput8 {
namespace {

struct KeyMapping {
    SDL_Scancode scancode;
    BYTE dik;
};

const KeyMapping kKeys[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},               // Esc
    {SDL_SCANCODE_1, DIK_1},                         // 1
    {SDL_SCANCODE_2, DIK_2},                         // 2
    {SDL_SCANCODE_3, DIK_3},                         // 3
    {SDL_SCANCODE_4, DIK_4},                         // 4
    {SDL_SCANCODE_5, DIK_5},                         // 5
    {SDL_SCANCODE_6, DIK_6},                         // 6
    {SDL_SCANCODE_7, DIK_7},                         // 7
    {SDL_SCANCODE_8, DIK_8},                         // 8
    {SDL_SCANCODE_9, DIK_9},                         // 9
    {SDL_SCANCODE_0, DIK_0},                         // 0
    {SDL_SCANCODE_MINUS, DIK_MINUS},                 // -
    {SDL_SCANCODE_EQUALS, DIK_EQUALS},               // =
    {SDL_SCANCODE_BACKSPACE, DIK_BACK},              // Backspace
    {SDL_SCANCODE_TAB, DIK_TAB},                     // Tab
    {SDL_SCANCODE_Q, DIK_Q},                         // Q
    {SDL_SCANCODE_W, DIK_W},                         // W
    {SDL_SCANCODE_E, DIK_E},                         // E
    {SDL_SCANCODE_R, DIK_R},                         // R
    {SDL_SCANCODE_T, DIK_T},                         // T
    {SDL_SCANCODE_Y, DIK_Y},                         // Y
    {SDL_SCANCODE_U, DIK_U},                         // U
    {SDL_SCANCODE_I, DIK_I},                         // I
    {SDL_SCANCODE_O, DIK_O},                         // O
    {SDL_SCANCODE_P, DIK_P},                         // P
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},        // [
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},       // ]
    {SDL_SCANCODE_RETURN, DIK_RETURN},               // Enter
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL},              // left Ctrl
    {SDL_SCANCODE_A, DIK_A},                         // A
    {SDL_SCANCODE_S, DIK_S},                         // S
    {SDL_SCANCODE_D, DIK_D},                         // D
    {SDL_SCANCODE_F, DIK_F},                         // F
    {SDL_SCANCODE_G, DIK_G},                         // G
    {SDL_SCANCODE_H, DIK_H},                         // H
    {SDL_SCANCODE_J, DIK_J},                         // J
    {SDL_SCANCODE_K, DIK_K},                         // K
    {SDL_SCANCODE_L, DIK_L},                         // L
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},         // ;
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},       // '
    {SDL_SCANCODE_GRAVE, DIK_GRAVE},                 // `
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},               // left Shift
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},         // backslash
    {SDL_SCANCODE_Z, DIK_Z},                         // Z
    {SDL_SCANCODE_X, DIK_X},                         // X
    {SDL_SCANCODE_C, DIK_C},                         // C
    {SDL_SCANCODE_V, DIK_V},                         // V
    {SDL_SCANCODE_B, DIK_B},                         // B
    {SDL_SCANCODE_N, DIK_N},                         // N
    {SDL_SCANCODE_M, DIK_M},                         // M
    {SDL_SCANCODE_COMMA, DIK_COMMA},                 // ,
    {SDL_SCANCODE_PERIOD, DIK_PERIOD},               // .
    {SDL_SCANCODE_SLASH, DIK_SLASH},                 // /
    {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},               // right Shift
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},        // keypad *
    {SDL_SCANCODE_LALT, DIK_LMENU},                  // left Alt
    {SDL_SCANCODE_SPACE, DIK_SPACE},                 // Space
    {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},            // Caps Lock
    {SDL_SCANCODE_F1, DIK_F1},                       // F1
    {SDL_SCANCODE_F2, DIK_F2},                       // F2
    {SDL_SCANCODE_F3, DIK_F3},                       // F3
    {SDL_SCANCODE_F4, DIK_F4},                       // F4
    {SDL_SCANCODE_F5, DIK_F5},                       // F5
    {SDL_SCANCODE_F6, DIK_F6},                       // F6
    {SDL_SCANCODE_F7, DIK_F7},                       // F7
    {SDL_SCANCODE_F8, DIK_F8},                       // F8
    {SDL_SCANCODE_F9, DIK_F9},                       // F9
    {SDL_SCANCODE_F10, DIK_F10},                     // F10
    {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK},        // Num Lock
    {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},           // Scroll Lock
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7},                // keypad 7
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8},                // keypad 8
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9},                // keypad 9
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},           // keypad -
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4},                // keypad 4
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5},                // keypad 5
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6},                // keypad 6
    {SDL_SCANCODE_KP_PLUS, DIK_ADD},                 // keypad +
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1},                // keypad 1
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2},                // keypad 2
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3},                // keypad 3
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0},                // keypad 0
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},           // keypad .
    {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},      // the extra key left of Z on ISO keyboards
    {SDL_SCANCODE_F11, DIK_F11},                     // F11
    {SDL_SCANCODE_F12, DIK_F12},                     // F12
    {SDL_SCANCODE_F13, DIK_F13},                     // F13
    {SDL_SCANCODE_F14, DIK_F14},                     // F14
    {SDL_SCANCODE_F15, DIK_F15},                     // F15
    {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},         // Katakana/Hiragana
    {SDL_SCANCODE_INTERNATIONAL1, DIK_ABNT_C1},      // Brazilian / and ?
    {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},      // Henkan
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},    // Muhenkan
    {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},          // Yen
    {SDL_SCANCODE_KP_COMMA, DIK_ABNT_C2},            // Brazilian keypad .
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS},      // keypad =
    {SDL_SCANCODE_AUDIOPREV, DIK_PREVTRACK},         // previous track
    {SDL_SCANCODE_AUDIONEXT, DIK_NEXTTRACK},         // next track
    {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},        // keypad Enter
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL},              // right Ctrl
    {SDL_SCANCODE_AUDIOMUTE, DIK_MUTE},              // mute
    {SDL_SCANCODE_CALCULATOR, DIK_CALCULATOR},       // calculator
    {SDL_SCANCODE_AUDIOPLAY, DIK_PLAYPAUSE},         // play / pause
    {SDL_SCANCODE_AUDIOSTOP, DIK_MEDIASTOP},         // stop
    {SDL_SCANCODE_VOLUMEDOWN, DIK_VOLUMEDOWN},       // volume down
    {SDL_SCANCODE_VOLUMEUP, DIK_VOLUMEUP},           // volume up
    {SDL_SCANCODE_AC_HOME, DIK_WEBHOME},             // browser home
    {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},            // keypad /
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},           // Print Screen / SysRq
    {SDL_SCANCODE_RALT, DIK_RMENU},                  // right Alt (AltGr)
    {SDL_SCANCODE_PAUSE, DIK_PAUSE},                 // Pause
    {SDL_SCANCODE_HOME, DIK_HOME},                   // Home
    {SDL_SCANCODE_UP, DIK_UP},                       // up arrow
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR},                // Page Up
    {SDL_SCANCODE_LEFT, DIK_LEFT},                   // left arrow
    {SDL_SCANCODE_RIGHT, DIK_RIGHT},                 // right arrow
    {SDL_SCANCODE_END, DIK_END},                     // End
    {SDL_SCANCODE_DOWN, DIK_DOWN},                   // down arrow
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},               // Page Down
    {SDL_SCANCODE_INSERT, DIK_INSERT},               // Insert
    {SDL_SCANCODE_DELETE, DIK_DELETE},               // Delete
    {SDL_SCANCODE_LGUI, DIK_LWIN},                   // left Windows key
    {SDL_SCANCODE_RGUI, DIK_RWIN},                   // right Windows key
    {SDL_SCANCODE_APPLICATION, DIK_APPS},            // menu key
    {SDL_SCANCODE_POWER, DIK_POWER},                 // power
    {SDL_SCANCODE_SLEEP, DIK_SLEEP},                 // sleep
    {SDL_SCANCODE_MAIL, DIK_MAIL},                   // mail
    {SDL_SCANCODE_MEDIASELECT, DIK_MEDIASELECT},     // media select
};

// The table turned around: for each scan code, the SDL scancode that produces it.
struct ScancodeByDik {
    std::array<SDL_Scancode, 256> scancode{};
    ScancodeByDik()
    {
        scancode.fill(SDL_SCANCODE_UNKNOWN);
        for (const KeyMapping &k : kKeys)
            scancode[k.dik] = k.scancode;
    }
};

// The key bytes a test has put in place of SDL's, or null.
const BYTE *g_stateOverride = nullptr;

const ScancodeByDik &Inverse()
{
    static const ScancodeByDik inverse;
    return inverse;
}

class KeyboardSource final : public DeviceSource {
public:
    KeyboardSource()
    {
        for (DWORD key = 0; key < 256; ++key)
            objects_.push_back({&GUID_Key, DIDFT_PSHBUTTON, key});
    }
    DWORD DevType() const override { return DI8DEVTYPE_KEYBOARD | (DI8DEVTYPEKEYBOARD_PCENH << 8); }
    const GUID &Guid() const override { return GUID_SysKeyboard; }
    const char *Name() const override { return "Keyboard"; }
    const std::vector<DeviceObject> &Objects() const override { return objects_; }
    void OnAcquire(SDL_Window *, bool) override {}
    void OnUnacquire() override {}

    void Snapshot() override
    {
        if (g_stateOverride) {
            std::copy(g_stateOverride, g_stateOverride + 256, state_.begin());
            return;
        }
        const ScancodeByDik &inverse = Inverse();
        for (int dik = 0; dik < 256; ++dik) {
            SDL_Scancode sc = inverse.scancode[dik];
            state_[dik] = (sc != SDL_SCANCODE_UNKNOWN && ScancodeDown(sc)) ? 0x80 : 0x00;
        }
    }
    LONG AxisValue(DWORD, bool) const override { return 0; }
    BYTE ButtonValue(DWORD instance) const override { return instance < 256 ? state_[instance] : 0; }
    const BYTE *ButtonValues(DWORD *count) const override
    {
        *count = 256;
        return state_.data();
    }

private:
    std::vector<DeviceObject> objects_;
    std::array<BYTE, 256> state_{};
};

}  // namespace

BYTE DikFromScancode(SDL_Scancode scancode)
{
    for (const KeyMapping &k : kKeys)
        if (k.scancode == scancode)
            return k.dik;
    return 0;
}

void SetKeyboardStateOverride(const BYTE *state) { g_stateOverride = state; }

std::unique_ptr<DeviceSource> NewKeyboardSource() { return std::make_unique<KeyboardSource>(); }

}  // namespace tavrok::dinput8
