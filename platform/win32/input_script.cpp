/*
 * input_script.cpp - keyboard and mouse input played from a file, frame by frame.
 *
 * TAVROK_INPUT_SCRIPT names a text file of events, one per line:
 *
 *     <frame> down <key>         a key goes down; keys are named as SDL names them
 *     <frame> up <key>           ("Left", "A", "Escape", "Return", "Left Shift", ...)
 *     <frame> move <dx> <dy>     the mouse moves by dx, dy
 *     <frame> press <button>     a mouse button (left, right, middle) goes down
 *     <frame> release <button>
 *     <frame> wheel <notches>    the wheel turns; positive away from the user
 *     <frame> close              the window's close box is clicked
 *     <frame> blur               the window loses the keyboard focus
 *     <frame> focus              and gets it back
 *
 * "#" starts a comment.  An event at frame N happens once N frames have been presented, at
 * the next pass of the message loop, so the program sees it while it prepares frame N
 * (the N+1-th, the one a capture numbers N).  Events of one frame keep their file order.
 *
 * While a script plays it is the only input: real key and mouse events are dropped, the
 * key, button and focus state are the script's own, and the program's newest visible
 * window has the focus unless the script took it away.  Together with the virtual clock
 * this makes a run a function of its script alone.  Scripted events take the same path
 * into the message queue and DirectInput as real ones: keys are posted as the SDL key
 * events are, mouse events are pushed into SDL's queue marked as the script's.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tavrok::win32 {
namespace {

// The mouse instance id that marks SDL events the script pushed.
constexpr Uint32 kScriptMouse = 0x7a5c0001;

enum class Action { KeyDown, KeyUp, Move, Press, Release, Wheel, Close, Blur, Focus };

struct Event {
    uint64_t frame = 0;
    Action action = Action::Close;
    int a = 0, b = 0;  // scancode, button, or motion
};

struct Script {
    bool on = false;
    std::vector<Event> events;
    size_t next = 0;
    std::array<bool, SDL_NUM_SCANCODES> keys{};
    Uint32 buttons = 0;
    bool blurred = false;
    int x = 0, y = 0;  // the pointer's position in the window
};

int ButtonNamed(const std::string &name)
{
    if (name == "left") return SDL_BUTTON_LEFT;
    if (name == "right") return SDL_BUTTON_RIGHT;
    if (name == "middle") return SDL_BUTTON_MIDDLE;
    return 0;
}

// Reads one line's event; returns what is wrong with it, or "".
std::string ParseEvent(std::istringstream &in, Event &e)
{
    std::string frame, action;
    in >> frame >> action;
    char *end = nullptr;
    unsigned long long n = strtoull(frame.c_str(), &end, 10);
    if (frame.empty() || *end || frame[0] == '-')
        return "\"" + frame + "\" is not a frame number";
    e.frame = n;
    std::string rest, word;
    while (in >> word)
        rest += (rest.empty() ? "" : " ") + word;
    auto integer = [](const std::string &text, int &value) {
        char *stop = nullptr;
        long v = strtol(text.c_str(), &stop, 10);
        value = int(v);
        return !text.empty() && !*stop && v > -100000 && v < 100000;
    };
    if (action == "down" || action == "up") {
        SDL_Scancode sc = SDL_GetScancodeFromName(rest.c_str());
        if (sc == SDL_SCANCODE_UNKNOWN)
            return "\"" + rest + "\" is not a key";
        e.action = action == "down" ? Action::KeyDown : Action::KeyUp;
        e.a = sc;
    } else if (action == "move") {
        std::istringstream xy(rest);
        std::string dx, dy, extra;
        xy >> dx >> dy >> extra;
        if (!integer(dx, e.a) || !integer(dy, e.b) || !extra.empty())
            return "move needs two whole numbers";
        e.action = Action::Move;
    } else if (action == "press" || action == "release") {
        e.a = ButtonNamed(rest);
        if (!e.a)
            return "\"" + rest + "\" is not a mouse button (left, right, middle)";
        e.action = action == "press" ? Action::Press : Action::Release;
    } else if (action == "wheel") {
        if (!integer(rest, e.a))
            return "wheel needs a whole number of notches";
        e.action = Action::Wheel;
    } else if (action == "close" || action == "blur" || action == "focus") {
        if (!rest.empty())
            return action + " takes no argument";
        e.action = action == "close" ? Action::Close : action == "blur" ? Action::Blur : Action::Focus;
    } else {
        return "\"" + action + "\" is not an event";
    }
    return "";
}

Script Load()
{
    Script script;
    const char *path = tavrok::EnvSwitch("TAVROK_INPUT_SCRIPT");
    if (!path)
        return script;
    std::ifstream file(path);
    if (!file) {
        tavrok::Diagnostic("win32", path, "", "cannot open the input script; real input is used");
        return script;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::istringstream in(line);
        Event e;
        std::string problem = ParseEvent(in, e);
        if (!problem.empty()) {
            tavrok::Diagnostic("win32", path, std::to_string(number), problem + "; the line is skipped");
            continue;
        }
        script.events.push_back(e);
    }
    std::stable_sort(script.events.begin(), script.events.end(),
                     [](const Event &l, const Event &r) { return l.frame < r.frame; });
    script.on = true;
    return script;
}

Script &Played()
{
    static Script script = Load();
    return script;
}

// The window scripted input goes to: the newest visible one.
Window *Target()
{
    auto &windows = Windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!(*it)->destroyed && (*it)->visible && (*it)->sdl)
            return it->get();
    return nullptr;
}

void PushMouse(SDL_Event &e, Window *w)
{
    Uint32 id = SDL_GetWindowID(w->sdl);
    switch (e.type) {
    case SDL_MOUSEMOTION: e.motion.windowID = id; e.motion.which = kScriptMouse; break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: e.button.windowID = id; e.button.which = kScriptMouse; break;
    case SDL_MOUSEWHEEL: e.wheel.windowID = id; e.wheel.which = kScriptMouse; break;
    default: break;
    }
    SDL_PushEvent(&e);
}

void Play(Script &script, const Event &ev, Window *w)
{
    HWND hWnd = HandleOf(w);
    SDL_Event e{};
    switch (ev.action) {
    case Action::KeyDown:
    case Action::KeyUp: {
        bool down = ev.action == Action::KeyDown;
        bool repeat = down && script.keys[ev.a];
        script.keys[ev.a] = down;
        bool alt = script.keys[SDL_SCANCODE_LALT] || script.keys[SDL_SCANCODE_RALT];
        PostKey(hWnd, SDL_Scancode(ev.a), down, repeat, alt);
        break;
    }
    case Action::Move: {
        int width = 0, height = 0;
        SDL_GetWindowSize(w->sdl, &width, &height);
        script.x = std::clamp(script.x + ev.a, 0, std::max(0, width - 1));
        script.y = std::clamp(script.y + ev.b, 0, std::max(0, height - 1));
        e.type = SDL_MOUSEMOTION;
        e.motion.state = script.buttons;
        e.motion.x = script.x;
        e.motion.y = script.y;
        e.motion.xrel = ev.a;
        e.motion.yrel = ev.b;
        PushMouse(e, w);
        break;
    }
    case Action::Press:
    case Action::Release: {
        bool down = ev.action == Action::Press;
        if (down)
            script.buttons |= SDL_BUTTON(ev.a);
        else
            script.buttons &= ~SDL_BUTTON(ev.a);
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = Uint8(ev.a);
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = script.x;
        e.button.y = script.y;
        PushMouse(e, w);
        break;
    }
    case Action::Wheel:
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = ev.a;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        PushMouse(e, w);
        break;
    case Action::Close:
        Send(hWnd, WM_CLOSE, 0, 0);
        break;
    case Action::Blur:
    case Action::Focus:
        script.blurred = ev.action == Action::Blur;
        SendFocus(hWnd, !script.blurred);
        break;
    }
}

}  // namespace

void PlayInputScript()
{
    Script &script = Played();
    if (!script.on)
        return;
    uint64_t presented = tavrok::PresentedFrames();
    while (script.next < script.events.size() && script.events[script.next].frame <= presented) {
        Window *w = Target();
        if (!w)
            return;  // no window yet: the event waits for one
        Play(script, script.events[script.next++], w);
    }
}

}  // namespace tavrok::win32

using namespace tavrok::win32;

namespace tavrok {

bool InputScripted() { return Played().on; }

bool ScancodeDown(int scancode)
{
    if (scancode <= SDL_SCANCODE_UNKNOWN || scancode >= SDL_NUM_SCANCODES)
        return false;
    const Script &script = Played();
    if (script.on)
        return script.keys[scancode];
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return false;
    int count = 0;
    const Uint8 *state = SDL_GetKeyboardState(&count);
    return scancode < count && state[scancode];
}

uint32_t MouseButtonMask()
{
    const Script &script = Played();
    if (script.on)
        return script.buttons;
    return SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetMouseState(nullptr, nullptr) : 0;
}

SDL_Window *KeyboardFocus()
{
    const Script &script = Played();
    if (script.on) {
        Window *w = script.blurred ? nullptr : Target();
        return w ? w->sdl : nullptr;
    }
    return SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetKeyboardFocus() : nullptr;
}

bool AcceptsInputEvent(const SDL_Event &e)
{
    if (!Played().on)
        return true;
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
        return false;
    case SDL_MOUSEMOTION: return e.motion.which == kScriptMouse;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.which == kScriptMouse;
    case SDL_MOUSEWHEEL: return e.wheel.which == kScriptMouse;
    case SDL_WINDOWEVENT:
        return e.window.event != SDL_WINDOWEVENT_FOCUS_GAINED && e.window.event != SDL_WINDOWEVENT_FOCUS_LOST;
    default:
        return true;
    }
}

}  // namespace tavrok
