/*
 * mouse.cpp - the system mouse: SDL's motion events as relative DirectInput axes.
 *
 * An event watch adds up the motion and wheel of every mouse event SDL queues, for each
 * acquired mouse; a snapshot hands over the sums since the previous one and clears them.
 * An exclusive acquisition puts SDL in relative mouse mode (pointer hidden and held in
 * the window, motion unbounded by the screen's edges), as DirectInput's exclusive mouse
 * does on Windows.  Objects: the X, Y and wheel axes (instances 0, 1, 2) and five buttons
 * (left, right, middle, back, forward); the wheel moves by 120 per notch.
 */
#include "dinput8_private.h"

#include <tavrok/platform.h>

#include <algorithm>

namespace tavrok::dinput8 {
namespace {

constexpr LONG kWheelDelta = 120;

class MouseSource;
// Mice that are adding up motion.  Never destroyed: a program's static mouse object may
// unacquire in its destructor at exit, after this file's statics would have gone.
std::vector<MouseSource *> &g_acquired = *new std::vector<MouseSource *>;
int g_relativeUsers = 0;                // exclusive acquisitions holding relative mode
bool g_watching = false;

int SDLCALL WatchMotion(void *, SDL_Event *event);

class MouseSource final : public DeviceSource {
public:
    MouseSource()
    {
        objects_.push_back({&GUID_XAxis, DIDFT_RELAXIS, 0});
        objects_.push_back({&GUID_YAxis, DIDFT_RELAXIS, 1});
        objects_.push_back({&GUID_ZAxis, DIDFT_RELAXIS, 2});
        for (DWORD b = 0; b < 5; ++b)
            objects_.push_back({&GUID_Button, DIDFT_PSHBUTTON, b});
    }
    ~MouseSource() override { OnUnacquire(); }

    DWORD DevType() const override { return DI8DEVTYPE_MOUSE | (DI8DEVTYPEMOUSE_TRADITIONAL << 8); }
    const GUID &Guid() const override { return GUID_SysMouse; }
    const char *Name() const override { return "Mouse"; }
    const std::vector<DeviceObject> &Objects() const override { return objects_; }

    void OnAcquire(SDL_Window *, bool exclusive) override
    {
        if (!g_watching) {
            SDL_AddEventWatch(WatchMotion, nullptr);
            g_watching = true;
        }
        pending_[0] = pending_[1] = pending_[2] = 0;
        g_acquired.push_back(this);
        // Under an input script the script is the mouse: SDL's pointer is left alone.
        if (exclusive && !InputScripted()) {
            relative_ = true;
            if (g_relativeUsers++ == 0 && SDL_WasInit(SDL_INIT_VIDEO) &&
                SDL_SetRelativeMouseMode(SDL_TRUE) != 0)
                Diagnostic(kLibrary, "", "", std::string("relative mouse mode unavailable: ") + SDL_GetError());
        }
    }

    void OnUnacquire() override
    {
        g_acquired.erase(std::remove(g_acquired.begin(), g_acquired.end(), this), g_acquired.end());
        if (relative_) {
            relative_ = false;
            if (--g_relativeUsers == 0 && SDL_WasInit(SDL_INIT_VIDEO))
                SDL_SetRelativeMouseMode(SDL_FALSE);
        }
    }

    void Add(LONG dx, LONG dy, LONG dz)
    {
        pending_[0] += dx;
        pending_[1] += dy;
        pending_[2] += dz;
    }

    void Snapshot() override
    {
        for (int axis = 0; axis < 3; ++axis) {
            moved_[axis] = pending_[axis];
            total_[axis] += pending_[axis];
            pending_[axis] = 0;
        }
        Uint32 sdl = MouseButtonMask();
        // DirectInput numbers the buttons left, right, middle; SDL left, middle, right.
        const Uint32 masks[5] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK, SDL_BUTTON_X1MASK,
                                 SDL_BUTTON_X2MASK};
        for (int b = 0; b < 5; ++b)
            buttons_[b] = (sdl & masks[b]) ? 0x80 : 0x00;
    }

    LONG AxisValue(DWORD instance, bool absolute) const override
    {
        if (instance > 2)
            return 0;
        return absolute ? total_[instance] : moved_[instance];
    }
    BYTE ButtonValue(DWORD instance) const override { return instance < 5 ? buttons_[instance] : 0; }

private:
    std::vector<DeviceObject> objects_;
    LONG pending_[3] = {};  // movement since the last snapshot
    LONG moved_[3] = {};    // movement between the last two snapshots
    LONG total_[3] = {};    // sum of all movement seen while acquired
    BYTE buttons_[5] = {};
    bool relative_ = false;
};

int SDLCALL WatchMotion(void *, SDL_Event *event)
{
    LONG dx = 0, dy = 0, dz = 0;
    if (!AcceptsInputEvent(*event))
        return 0;
    if (event->type == SDL_MOUSEMOTION) {
        dx = event->motion.xrel;
        dy = event->motion.yrel;
    } else if (event->type == SDL_MOUSEWHEEL) {
        LONG notches = event->wheel.y;
        if (event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        dz = notches * kWheelDelta;
    } else {
        return 0;
    }
    for (MouseSource *mouse : g_acquired)
        mouse->Add(dx, dy, dz);
    return 0;
}

}  // namespace

std::unique_ptr<DeviceSource> NewMouseSource() { return std::make_unique<MouseSource>(); }

}  // namespace tavrok::dinput8
