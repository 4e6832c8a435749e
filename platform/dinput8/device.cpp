/*
 * device.cpp - IDirectInputDevice8A for the system keyboard and mouse.
 *
 * Owns what every device does alike: the data format (which of the device's objects go
 * where in the caller's buffer), the cooperative level, acquisition and its loss.  The
 * values themselves come from the device's DeviceSource.  A foreground device is lost as
 * soon as its window no longer has the keyboard focus: reads then answer DIERR_INPUTLOST
 * until the device is acquired again, which succeeds only while the window is in front.
 * Immediate mode only: there is no buffered data (no DIPROP_BUFFERSIZE), no event
 * notification, no force feedback and no action mapping; those entry points report that
 * they are not supported.
 */
#include "dinput8_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tavrok::dinput8 {
namespace {

constexpr HRESULT kInvalidHandle = HRESULT(0x80070006L);  // E_HANDLE
constexpr DWORD kKnownLevels = DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY;

// Where one object of the device goes in the caller's buffer.
struct Placement {
    DWORD offset;
    const DeviceObject *object;
};

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", unsigned(value));
    return text;
}

bool IsAxis(const DeviceObject &o) { return (o.type & DIDFT_AXIS) != 0; }

class Device final : public tavrok::ComObject<IDirectInputDevice8A, IID_IDirectInputDevice8A> {
public:
    Device(std::unique_ptr<DeviceSource> source, IUnknown *owner) : source_(std::move(source)), owner_(owner)
    {
        if (owner_)
            owner_->AddRef();
    }
    ~Device()
    {
        if (acquired_)
            source_->OnUnacquire();
        if (owner_)
            owner_->Release();
    }

    // The entry points the system devices support.
    STDMETHODIMP GetCapabilities(LPDIDEVCAPS caps) override
    {
        if (!caps || caps->dwSize != sizeof(DIDEVCAPS))
            return DIERR_INVALIDPARAM;
        DWORD size = caps->dwSize;
        *caps = DIDEVCAPS{};
        caps->dwSize = size;
        caps->dwFlags = DIDC_ATTACHED | DIDC_EMULATED;
        caps->dwDevType = source_->DevType();
        for (const DeviceObject &o : source_->Objects())
            (IsAxis(o) ? caps->dwAxes : caps->dwButtons)++;
        return DI_OK;
    }

    STDMETHODIMP GetDeviceInfo(LPDIDEVICEINSTANCEA info) override
    {
        if (!info || info->dwSize != sizeof(DIDEVICEINSTANCEA))
            return DIERR_INVALIDPARAM;
        *info = DIDEVICEINSTANCEA{};
        info->dwSize = sizeof(DIDEVICEINSTANCEA);
        info->guidInstance = source_->Guid();
        info->guidProduct = source_->Guid();
        info->dwDevType = source_->DevType();
        snprintf(info->tszInstanceName, MAX_PATH, "%s", source_->Name());
        snprintf(info->tszProductName, MAX_PATH, "%s", source_->Name());
        return DI_OK;
    }

    STDMETHODIMP SetDataFormat(LPCDIDATAFORMAT format) override
    {
        if (!format)
            return DIERR_INVALIDPARAM;
        if (acquired_)
            return DIERR_ACQUIRED;
        std::vector<Placement> placements;
        std::string problem = Place(*format, placements);
        if (!problem.empty()) {
            Diagnostic(kLibrary, "", "", std::string("SetDataFormat on the ") + source_->Name() + ": " + problem);
            return DIERR_INVALIDPARAM;
        }
        placements_ = std::move(placements);
        dataSize_ = format->dwDataSize;
        // Buttons only, the i-th at offset i and of instance i, filling the whole state (the
        // keyboard's usual format): a state is the source's button array as it stands.
        directButtons_ = placements_.size() == dataSize_;
        for (size_t i = 0; i < placements_.size() && directButtons_; i++)
            directButtons_ = !IsAxis(*placements_[i].object) && placements_[i].offset == i &&
                             placements_[i].object->instance == i;
        absolute_ = (format->dwFlags & DIDF_ABSAXIS) != 0;
        hasFormat_ = true;
        return DI_OK;
    }

    STDMETHODIMP SetCooperativeLevel(HWND hWnd, DWORD flags) override
    {
        if (acquired_)
            return DIERR_ACQUIRED;
        bool exclusive = flags & DISCL_EXCLUSIVE, nonexclusive = flags & DISCL_NONEXCLUSIVE;
        bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
        if ((flags & ~kKnownLevels) || exclusive == nonexclusive || foreground == background)
            return DIERR_INVALIDPARAM;
        if (!hWnd)
            return DIERR_INVALIDPARAM;
        if (!SdlWindowOf(hWnd))
            return kInvalidHandle;
        // Windows never lets a program hold the keyboard exclusively from the background.
        if (exclusive && background && source_->Guid() == GUID_SysKeyboard)
            return DIERR_UNSUPPORTED;
        window_ = hWnd;
        level_ = flags;
        return DI_OK;
    }

    STDMETHODIMP Acquire() override
    {
        if (!hasFormat_)
            return DIERR_INVALIDPARAM;
        if (acquired_)
            return DI_NOEFFECT;
        SDL_Window *window = window_ ? SdlWindowOf(window_) : nullptr;
        if (level_ & DISCL_FOREGROUND) {
            if (!window)
                return DIERR_OTHERAPPHASPRIO;
            if (!IsFocused(window, !everAcquired_))
                return DIERR_OTHERAPPHASPRIO;
        }
        acquired_ = true;
        lost_ = false;
        everAcquired_ = true;
        source_->OnAcquire(window, (level_ & DISCL_EXCLUSIVE) != 0);
        return DI_OK;
    }

    STDMETHODIMP Unacquire() override
    {
        if (!acquired_ && !lost_)
            return DI_NOEFFECT;
        if (acquired_)
            source_->OnUnacquire();
        acquired_ = false;
        lost_ = false;
        return DI_OK;
    }

    STDMETHODIMP GetDeviceState(DWORD size, LPVOID data) override
    {
        HRESULT hr = CheckAcquired();
        if (FAILED(hr))
            return hr;
        if (!data || size != dataSize_)
            return DIERR_INVALIDPARAM;
        source_->Snapshot();
        BYTE *out = static_cast<BYTE *>(data);
        memset(out, 0, size);
        DWORD buttonCount = 0;
        const BYTE *buttons = source_->ButtonValues(&buttonCount);
        if (buttons && directButtons_ && size <= buttonCount) {
            memcpy(out, buttons, size);
            return DI_OK;
        }
        for (const Placement &p : placements_) {
            const DWORD instance = p.object->instance;
            if (IsAxis(*p.object)) {
                LONG value = source_->AxisValue(instance, absolute_);
                memcpy(out + p.offset, &value, sizeof value);
            } else if (buttons) {
                out[p.offset] = instance < buttonCount ? buttons[instance] : 0;
            } else {
                out[p.offset] = source_->ButtonValue(instance);
            }
        }
        return DI_OK;
    }

    STDMETHODIMP Poll() override
    {
        HRESULT hr = CheckAcquired();
        // The system devices deliver their state without polling.
        return FAILED(hr) ? hr : DI_NOEFFECT;
    }

    STDMETHODIMP GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override
    {
        HRESULT hr = CheckAcquired();
        // No buffer size can be set, so the device is never buffered.
        return FAILED(hr) ? hr : DIERR_NOTBUFFERED;
    }

    STDMETHODIMP Initialize(HINSTANCE instance, DWORD version, REFGUID guid) override
    {
        if (version != DIRECTINPUT_VERSION)
            return version < DIRECTINPUT_VERSION ? DIERR_OLDDIRECTINPUTVERSION : DIERR_BETADIRECTINPUTVERSION;
        return guid == source_->Guid() ? DI_OK : DIERR_ALREADYINITIALIZED;
    }

    // Entry points outside immediate-mode keyboard and mouse input.
    STDMETHODIMP EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return No("EnumObjects"); }
    STDMETHODIMP GetProperty(REFGUID, LPDIPROPHEADER) override { return No("GetProperty"); }
    STDMETHODIMP SetProperty(REFGUID, LPCDIPROPHEADER) override { return No("SetProperty"); }
    STDMETHODIMP SetEventNotification(HANDLE) override { return No("SetEventNotification"); }
    STDMETHODIMP GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return No("GetObjectInfo"); }
    STDMETHODIMP RunControlPanel(HWND, DWORD) override { return No("RunControlPanel"); }
    STDMETHODIMP CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT *effect, LPUNKNOWN) override
    {
        if (effect)
            *effect = nullptr;
        return No("CreateEffect");
    }
    STDMETHODIMP EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return No("EnumEffects"); }
    STDMETHODIMP GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return No("GetEffectInfo"); }
    STDMETHODIMP GetForceFeedbackState(LPDWORD) override { return No("GetForceFeedbackState"); }
    STDMETHODIMP SendForceFeedbackCommand(DWORD) override { return No("SendForceFeedbackCommand"); }
    STDMETHODIMP EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override
    {
        return No("EnumCreatedEffectObjects");
    }
    STDMETHODIMP Escape(LPVOID) override { return No("Escape"); }
    STDMETHODIMP SendDeviceData(DWORD, const DIDEVICEOBJECTDATA *, LPDWORD, DWORD) override
    {
        return No("SendDeviceData");
    }
    STDMETHODIMP EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override
    {
        return No("EnumEffectsInFile");
    }
    STDMETHODIMP WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return No("WriteEffectToFile"); }
    STDMETHODIMP BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return No("BuildActionMap"); }
    STDMETHODIMP SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return No("SetActionMap"); }
    STDMETHODIMP GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override { return No("GetImageInfo"); }

private:
    HRESULT No(const char *method)
    {
        Unsupported(kLibrary, std::string("IDirectInputDevice8A::") + method);
        return DIERR_UNSUPPORTED;
    }

    // A foreground device whose window went to the background is lost from then on.
    HRESULT CheckAcquired()
    {
        if (acquired_ && (level_ & DISCL_FOREGROUND)) {
            SDL_Window *window = SdlWindowOf(window_);
            if (!window || KeyboardFocus() != window) {
                source_->OnUnacquire();
                acquired_ = false;
                lost_ = true;
            }
        }
        if (lost_)
            return DIERR_INPUTLOST;
        return acquired_ ? DI_OK : DIERR_NOTACQUIRED;
    }

    // Whether the window has the keyboard focus.  Acquiring is rare, so it first takes in
    // what the display sent since the last pass of the message loop (reads never do).  A
    // window that was just shown receives the focus from the window manager a moment
    // later, so a device's first acquisition waits briefly for it; later ones never wait.
    static bool IsFocused(SDL_Window *window, bool mayWait)
    {
        if (KeyboardFocus() == window)
            return true;
        SDL_PumpEvents();
        for (int tries = 0; mayWait && !KeyboardFocus() && tries < 25; ++tries) {
            SDL_Delay(10);
            SDL_PumpEvents();
        }
        return KeyboardFocus() == window;
    }

    // Checks a data format and works out where each of the device's objects goes; returns
    // what is wrong with the format, or "" when it fits the device.
    std::string Place(const DIDATAFORMAT &format, std::vector<Placement> &placements) const
    {
        if (format.dwSize != sizeof(DIDATAFORMAT) || format.dwObjSize != sizeof(DIOBJECTDATAFORMAT))
            return "record sizes " + std::to_string(format.dwSize) + "/" + std::to_string(format.dwObjSize) +
                   " are not those of DIDATAFORMAT/DIOBJECTDATAFORMAT";
        if ((format.dwFlags & (DIDF_ABSAXIS | DIDF_RELAXIS)) == (DIDF_ABSAXIS | DIDF_RELAXIS) ||
            (format.dwFlags & ~DWORD(DIDF_ABSAXIS | DIDF_RELAXIS)))
            return "flags " + Hex(format.dwFlags) + " are not one of DIDF_ABSAXIS, DIDF_RELAXIS";
        if (format.dwDataSize % 4 != 0)
            return "data size " + std::to_string(format.dwDataSize) + " is not a multiple of 4";
        if (format.dwNumObjs && !format.rgodf)
            return "no object array";
        const std::vector<DeviceObject> &objects = source_->Objects();
        std::vector<bool> used(objects.size(), false);
        for (DWORD i = 0; i < format.dwNumObjs; ++i) {
            const DIOBJECTDATAFORMAT &want = format.rgodf[i];
            DWORD kind = DIDFT_GETTYPE(want.dwType);
            bool anyInstance = (want.dwType & DIDFT_ANYINSTANCE) == DIDFT_ANYINSTANCE;
            DWORD instance = DIDFT_GETINSTANCE(want.dwType);
            size_t found = objects.size();
            for (size_t j = 0; j < objects.size() && found == objects.size(); ++j) {
                const DeviceObject &o = objects[j];
                if (used[j] || (want.pguid && *want.pguid != *o.guid) || (kind && !(kind & o.type)) ||
                    (!anyInstance && o.instance != instance))
                    continue;
                found = j;
            }
            if (found == objects.size()) {
                if (want.dwType & DIDFT_OPTIONAL)
                    continue;
                return "object " + std::to_string(i) + " (type " + Hex(want.dwType) + ") is not on this device";
            }
            const DeviceObject &o = objects[found];
            DWORD width = IsAxis(o) ? 4 : 1;
            if (want.dwOfs + width > format.dwDataSize || want.dwOfs > format.dwDataSize)
                return "object " + std::to_string(i) + " at offset " + std::to_string(want.dwOfs) +
                       " lies outside the " + std::to_string(format.dwDataSize) + "-byte state";
            if (width == 4 && want.dwOfs % 4 != 0)
                return "axis " + std::to_string(i) + " at offset " + std::to_string(want.dwOfs) + " is not aligned";
            used[found] = true;
            placements.push_back({want.dwOfs, &o});
        }
        return "";
    }

    std::unique_ptr<DeviceSource> source_;
    IUnknown *owner_;
    std::vector<Placement> placements_;
    bool directButtons_ = false;
    DWORD dataSize_ = 0;
    bool absolute_ = false;
    bool hasFormat_ = false;
    HWND window_ = nullptr;
    DWORD level_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // the default cooperative level
    bool acquired_ = false;
    bool lost_ = false;
    bool everAcquired_ = false;
};

}  // namespace

IDirectInputDevice8A *NewDevice(std::unique_ptr<DeviceSource> source, IUnknown *owner)
{
    return new Device(std::move(source), owner);
}

}  // namespace tavrok::dinput8
