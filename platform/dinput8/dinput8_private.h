/*
 * dinput8_private.h - what the files of platform/dinput8 share.
 *
 * One device class serves both system devices; what differs between the keyboard and the
 * mouse (their objects, and where their state comes from) sits behind the small
 * DeviceSource interface, implemented in keyboard.cpp and mouse.cpp.  SDL already holds
 * the keyboard state and receives the mouse motion while the message loop pumps events;
 * the devices only copy from it, so reading a device never pumps events.
 */
#ifndef TAVROK_DINPUT8_PRIVATE_H
#define TAVROK_DINPUT8_PRIVATE_H

#include <dinput.h>

#include <SDL.h>

#include <memory>
#include <vector>

namespace tavrok::dinput8 {

constexpr const char *kLibrary = "dinput8";

// One control of a device, as a data format can name it.
struct DeviceObject {
    const GUID *guid;  // GUID_Key, GUID_XAxis, GUID_YAxis, GUID_ZAxis or GUID_Button
    DWORD type;        // DIDFT_RELAXIS or DIDFT_PSHBUTTON
    DWORD instance;    // instance number within the device
};

// Where a device's values come from.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    virtual DWORD DevType() const = 0;  // DI8DEVTYPE_* | subtype << 8
    virtual const GUID &Guid() const = 0;
    virtual const char *Name() const = 0;
    virtual const std::vector<DeviceObject> &Objects() const = 0;
    // Called when the device becomes acquired or stops being acquired.
    virtual void OnAcquire(SDL_Window *window, bool exclusive) = 0;
    virtual void OnUnacquire() = 0;
    // Takes a snapshot of the current values; then Value() reads one object.  Axes give
    // the movement since the previous snapshot (relative) or the running total (absolute).
    virtual void Snapshot() = 0;
    virtual LONG AxisValue(DWORD instance, bool absolute) const = 0;
    virtual BYTE ButtonValue(DWORD instance) const = 0;
    // The snapshot's button values indexed by instance, when the source keeps them in one
    // array (*count of them), so that a whole state is read without a call per button;
    // null otherwise.
    virtual const BYTE *ButtonValues(DWORD *count) const
    {
        *count = 0;
        return nullptr;
    }
};

std::unique_ptr<DeviceSource> NewKeyboardSource();
std::unique_ptr<DeviceSource> NewMouseSource();

// The DirectInput scan code of an SDL scancode, 0 for keys that have none.
BYTE DikFromScancode(SDL_Scancode scancode);

// Creates a device object for a source; the object holds one reference to `owner` (the
// DirectInput object that made it) for as long as it lives.
IDirectInputDevice8A *NewDevice(std::unique_ptr<DeviceSource> source, IUnknown *owner);

}  // namespace tavrok::dinput8

#endif
