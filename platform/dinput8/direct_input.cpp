/*
 * direct_input.cpp - DirectInput8Create and IDirectInput8A.
 *
 * The DirectInput object makes devices for the system keyboard and the system mouse (the
 * only devices it lists); each device keeps the object alive until it is released.  The
 * ANSI interface of version 8 is the one offered; the Unicode one, device configuration
 * and action mapping are not supported.
 */
#include "dinput8_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <atomic>
#include <cstdio>

namespace tavrok::dinput8 {
namespace {

HRESULT CheckVersion(DWORD version)
{
    if (version < DIRECTINPUT_VERSION)
        return DIERR_OLDDIRECTINPUTVERSION;
    if (version > DIRECTINPUT_VERSION)
        return DIERR_BETADIRECTINPUTVERSION;
    return DI_OK;
}

class DirectInput final : public tavrok::ComObject<IDirectInput8A, IID_IDirectInput8A> {
public:
    STDMETHODIMP CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A *device, LPUNKNOWN outer) override
    {
        if (!device)
            return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (outer)
            return DIERR_NOAGGREGATION;
        if (guid == GUID_SysKeyboard)
            *device = NewDevice(NewKeyboardSource(), this);
        else if (guid == GUID_SysMouse)
            *device = NewDevice(NewMouseSource(), this);
        else
            return DIERR_DEVICENOTREG;
        return DI_OK;
    }

    STDMETHODIMP EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD) override
    {
        if (!callback)
            return DIERR_INVALIDPARAM;
        struct Listed {
            DWORD devClass;
            std::unique_ptr<DeviceSource> source;
        } listed[] = {{DI8DEVCLASS_POINTER, NewMouseSource()}, {DI8DEVCLASS_KEYBOARD, NewKeyboardSource()}};
        for (Listed &l : listed) {
            if (type != DI8DEVCLASS_ALL && type != l.devClass && type != LOBYTE(l.source->DevType()))
                continue;
            DIDEVICEINSTANCEA info{};
            info.dwSize = sizeof info;
            info.guidInstance = info.guidProduct = l.source->Guid();
            info.dwDevType = l.source->DevType();
            snprintf(info.tszInstanceName, MAX_PATH, "%s", l.source->Name());
            snprintf(info.tszProductName, MAX_PATH, "%s", l.source->Name());
            if (callback(&info, context) == DIENUM_STOP)
                break;
        }
        return DI_OK;
    }

    STDMETHODIMP GetDeviceStatus(REFGUID guid) override
    {
        return (guid == GUID_SysKeyboard || guid == GUID_SysMouse) ? DI_OK : DIERR_DEVICENOTREG;
    }

    STDMETHODIMP Initialize(HINSTANCE instance, DWORD version) override
    {
        return instance ? CheckVersion(version) : DIERR_INVALIDPARAM;
    }

    STDMETHODIMP RunControlPanel(HWND, DWORD) override { return No("RunControlPanel"); }
    STDMETHODIMP FindDevice(REFGUID, LPCSTR, LPGUID) override { return No("FindDevice"); }
    STDMETHODIMP EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                        DWORD) override
    {
        return No("EnumDevicesBySemantics");
    }
    STDMETHODIMP ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override
    {
        return No("ConfigureDevices");
    }

private:
    ~DirectInput() = default;
    HRESULT No(const char *method)
    {
        Unsupported(kLibrary, std::string("IDirectInput8A::") + method);
        return DIERR_UNSUPPORTED;
    }
};

}  // namespace
}  // namespace tavrok::dinput8

using namespace tavrok::dinput8;

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID *out,
                                             LPUNKNOWN outer)
{
    if (!out)
        return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer)
        return DIERR_NOAGGREGATION;
    if (!instance)
        return DIERR_INVALIDPARAM;
    HRESULT hr = CheckVersion(version);
    if (FAILED(hr))
        return hr;
    if (riid == IID_IDirectInput8W) {
        tavrok::Unsupported(kLibrary, "the Unicode interface IDirectInput8W");
        return DIERR_NOINTERFACE;
    }
    if (riid != IID_IDirectInput8A && riid != IID_IUnknown)
        return DIERR_NOINTERFACE;
    *out = static_cast<IDirectInput8A *>(new DirectInput);
    return DI_OK;
}
