/*
 * message_box.cpp - MessageBoxA as a real SDL message box.
 *
 * The ANSI text is Windows-1252; it is converted to UTF-8 for display ("Modalit\xE0"
 * shows as "Modalità").  Buttons follow the MB_ type in Windows' order; Return answers
 * the first button (Yes, OK, Abort, Retry) and Escape the cancelling one (No, Cancel).
 * For unattended runs the environment switch TAVROK_MSGBOX_ANSWER (yes, no, ok, cancel,
 * abort, retry, ignore, or a number) answers every box without showing it; the answer
 * is reported in one line on stderr.  A box that cannot be shown answers as closing it
 * would (Cancel, or No where there is no Cancel) and says so in one line.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <strings.h>

#include <cstring>
#include <cstdlib>

namespace {

// Windows-1252 code points for bytes 0x80..0x9F; the rest of the page is Latin-1.
const unsigned short kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

}  // namespace

namespace tavrok::win32 {

std::string Cp1252ToUtf8(const char *text)
{
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : ""); *p; ++p) {
        unsigned cp = *p;
        if (cp >= 0x80 && cp < 0xA0)
            cp = kCp1252High[cp - 0x80];
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace tavrok::win32

namespace {

struct Button {
    int id;
    const char *label;
};

int AnswerFromEnvironment(const char *value)
{
    static const Button names[] = {{IDYES, "yes"},     {IDNO, "no"},       {IDOK, "ok"},       {IDCANCEL, "cancel"},
                                   {IDABORT, "abort"}, {IDRETRY, "retry"}, {IDIGNORE, "ignore"}};
    for (const Button &b : names)
        if (strcasecmp(value, b.label) == 0)
            return b.id;
    return atoi(value);
}

}  // namespace

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR text, LPCSTR caption, UINT type)
{
    std::string utf8Text = tavrok::win32::Cp1252ToUtf8(text);
    std::string utf8Caption = tavrok::win32::Cp1252ToUtf8(caption ? caption : "Error");

    if (const char *answer = tavrok::EnvSwitch("TAVROK_MSGBOX_ANSWER")) {
        int id = AnswerFromEnvironment(answer);
        tavrok::Diagnostic("win32", "", "",
                           "MessageBoxA \"" + utf8Caption + "\" \"" + utf8Text + "\" answered " + std::to_string(id) +
                               " by TAVROK_MSGBOX_ANSWER");
        return id;
    }

    // Buttons of each box type, in Windows' order.
    static const Button kOk[] = {{IDOK, "OK"}};
    static const Button kOkCancel[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    static const Button kAbortRetryIgnore[] = {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    static const Button kYesNoCancel[] = {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    static const Button kYesNo[] = {{IDYES, "Yes"}, {IDNO, "No"}};
    static const Button kRetryCancel[] = {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    const Button *first = kOk, *last = kOk + 1;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: first = kOkCancel, last = kOkCancel + 2; break;
    case MB_ABORTRETRYIGNORE: first = kAbortRetryIgnore, last = kAbortRetryIgnore + 3; break;
    case MB_YESNOCANCEL: first = kYesNoCancel, last = kYesNoCancel + 3; break;
    case MB_YESNO: first = kYesNo, last = kYesNo + 2; break;
    case MB_RETRYCANCEL: first = kRetryCancel, last = kRetryCancel + 2; break;
    default: break;
    }
    std::vector<Button> buttons(first, last);
    // The button Escape answers: Cancel where there is one, else No, else the only button.
    int escapeId = buttons.back().id;
    for (const Button &b : buttons)
        if (b.id == IDCANCEL)
            escapeId = IDCANCEL;

    std::vector<SDL_MessageBoxButtonData> data;
    for (size_t i = 0; i < buttons.size(); ++i) {
        Uint32 flags = 0;
        if (i == 0)
            flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (buttons[i].id == escapeId)
            flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        data.push_back(SDL_MessageBoxButtonData{flags, buttons[i].id, buttons[i].label});
    }
    Uint32 kind = SDL_MESSAGEBOX_INFORMATION;
    if ((type & MB_ICONMASK) == MB_ICONHAND)
        kind = SDL_MESSAGEBOX_ERROR;
    else if ((type & MB_ICONMASK) == MB_ICONEXCLAMATION)
        kind = SDL_MESSAGEBOX_WARNING;

    // Where no box can be shown at all (no display, or none of SDL's ways of showing one
    // works: its X11 box, or zenity on Wayland), the answer is the one a user who closes the
    // box gives, and one line says so.
    auto unshown = [&](const std::string &reason) {
        tavrok::Diagnostic("win32", "", "",
                           "MessageBoxA \"" + utf8Caption + "\" cannot show its box (" + reason + "): answered " +
                               std::to_string(escapeId) + " as closing it would");
        return escapeId;
    };
    std::string noDisplay;
    if (!tavrok::EnsureVideo(&noDisplay))
        return unshown(noDisplay);
    // SDL falls back to a driver without a screen when it cannot reach the display (an X
    // server that is resetting refuses clients for a moment); its boxes would then go to a
    // display SDL itself does not know, and its X11 box dereferences the missing screen.
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0))
        return unshown(std::string("SDL's ") + driver + " video driver has no screen");
    SDL_MessageBoxData box{};
    box.flags = kind;
    // No parent: SDL's X11 box runs in a forked child, which cannot use the parent
    // window's display connection (the box then fails to appear).
    box.window = nullptr;
    box.title = utf8Caption.c_str();
    box.message = utf8Text.c_str();
    box.numbuttons = int(data.size());
    box.buttons = data.data();
    int pressed = 0;
    if (SDL_ShowMessageBox(&box, &pressed) != 0)
        return unshown(SDL_GetError());
    // As on Windows, the owner window gets the keyboard back when its box closes.
    if (SDL_Window *owner = tavrok::SdlWindowOf(hWnd))
        SDL_SetWindowInputFocus(owner);
    // Closing the box without a button answers like Escape.
    return pressed < 0 ? escapeId : pressed;
}
