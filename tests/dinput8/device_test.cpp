// DirectInput 8 through its public interface, without a display: creation arguments,
// reference counting, data formats, cooperative levels and the acquisition rules.  Live
// key and mouse input and focus loss are covered by the input end-to-end test.
#include <dinput.h>
#include <tavrok/dinput8_debug.h>

#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

IDirectInput8A *Create()
{
    void *out = nullptr;
    EXPECT_EQ(DirectInput8Create(GetModuleHandleA(NULL), 0x0800, IID_IDirectInput8A, &out, NULL), DI_OK);
    return static_cast<IDirectInput8A *>(out);
}

using testsupport::CountLines;
using testsupport::StderrOf;

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        di_ = Create();
        ASSERT_NE(di_, nullptr);
        ASSERT_EQ(di_->CreateDevice(GUID_SysKeyboard, &keyboard_, NULL), DI_OK);
        ASSERT_EQ(di_->CreateDevice(GUID_SysMouse, &mouse_, NULL), DI_OK);
    }
    void TearDown() override
    {
        if (keyboard_)
            keyboard_->Release();
        if (mouse_)
            mouse_->Release();
        if (di_)
            di_->Release();
    }
    IDirectInput8A *di_ = nullptr;
    IDirectInputDevice8A *keyboard_ = nullptr;
    IDirectInputDevice8A *mouse_ = nullptr;
};

TEST_F(DeviceTest, CreationRejectsBadArgumentsWithTheDocumentedCodes)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    void *out = reinterpret_cast<void *>(1);
    EXPECT_EQ(DirectInput8Create(instance, 0x0800, IID_IDirectInput8A, NULL, NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(DirectInput8Create(NULL, 0x0800, IID_IDirectInput8A, &out, NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(out, nullptr);  // the out pointer is cleared on failure
    EXPECT_EQ(DirectInput8Create(instance, 0x0700, IID_IDirectInput8A, &out, NULL), DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(DirectInput8Create(instance, 0x0900, IID_IDirectInput8A, &out, NULL), DIERR_BETADIRECTINPUTVERSION);
    EXPECT_EQ(DirectInput8Create(instance, 0x0800, IID_IDirectInputDevice8A, &out, NULL), DIERR_NOINTERFACE);
    EXPECT_EQ(DirectInput8Create(instance, 0x0800, IID_IDirectInput8A, &out, di_), DIERR_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
}

TEST_F(DeviceTest, CreationMakesTheSystemDevicesOnly)
{
    IDirectInputDevice8A *device = reinterpret_cast<IDirectInputDevice8A *>(1);
    EXPECT_EQ(di_->CreateDevice(GUID_XAxis, &device, NULL), DIERR_DEVICENOTREG);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(di_->CreateDevice(GUID_SysKeyboard, NULL, NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(di_->GetDeviceStatus(GUID_SysMouse), DI_OK);
    EXPECT_EQ(di_->GetDeviceStatus(GUID_Key), DIERR_DEVICENOTREG);

    ASSERT_EQ(di_->CreateDevice(GUID_SysMouse, &device, NULL), DI_OK);
    DIDEVCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(device->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(LOBYTE(caps.dwDevType), DI8DEVTYPE_MOUSE);
    EXPECT_EQ(caps.dwAxes, 3u);
    EXPECT_GE(caps.dwButtons, 3u);
    device->Release();

    // Listing by class gives just the matching device.
    struct Seen {
        int keyboards = 0, mice = 0;
    } seen;
    auto count = [](LPCDIDEVICEINSTANCEA d, LPVOID context) -> BOOL {
        Seen *s = static_cast<Seen *>(context);
        (d->guidInstance == GUID_SysKeyboard ? s->keyboards : s->mice)++;
        return DIENUM_CONTINUE;
    };
    EXPECT_EQ(di_->EnumDevices(DI8DEVCLASS_KEYBOARD, count, &seen, DIEDFL_ATTACHEDONLY), DI_OK);
    EXPECT_EQ(seen.keyboards, 1);
    EXPECT_EQ(seen.mice, 0);
    EXPECT_EQ(di_->EnumDevices(DI8DEVCLASS_ALL, count, &seen, DIEDFL_ATTACHEDONLY), DI_OK);
    EXPECT_EQ(seen.keyboards, 2);
    EXPECT_EQ(seen.mice, 1);
}

TEST(DirectInputCreate, DevicesKeepTheirDirectInputObjectAlive)
{
    IDirectInput8A *di = Create();
    IDirectInputDevice8A *keyboard = nullptr;
    ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, NULL), DI_OK);
    // Released by the program, the object stays while the device holds it.
    EXPECT_EQ(di->Release(), 1u);
    EXPECT_EQ(keyboard->AddRef(), 2u);
    EXPECT_EQ(keyboard->Release(), 1u);

    IUnknown *unknown = nullptr;
    ASSERT_EQ(keyboard->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void *other = reinterpret_cast<void *>(1);
    EXPECT_EQ(keyboard->QueryInterface(IID_IDirectInput8A, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(keyboard->Release(), 0u);
}

TEST_F(DeviceTest, AcquisitionFollowsTheDocumentedStateMachine)
{
    BYTE keys[256];
    // No data format yet: it cannot be acquired, so it cannot be read.
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard_->Acquire(), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard_->Unacquire(), DI_NOEFFECT);

    ASSERT_EQ(keyboard_->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(keyboard_->Poll(), DIERR_NOTACQUIRED);
    // The default level is shared and background, which needs no window.
    ASSERT_EQ(keyboard_->Acquire(), DI_OK);
    EXPECT_EQ(keyboard_->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard_->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard_->SetCooperativeLevel(NULL, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard_->Poll(), DI_NOEFFECT);

    // The state must be read whole, into a buffer of the format's size.
    EXPECT_EQ(keyboard_->GetDeviceState(128, keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, NULL), DIERR_INVALIDPARAM);
    memset(keys, 0xCD, sizeof keys);
    ASSERT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(keys[k], 0) << "key " << k << " reads down with no keyboard input";

    EXPECT_EQ(keyboard_->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard_->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), NULL, NULL, 0), DIERR_NOTACQUIRED);
}

TEST_F(DeviceTest, MouseStateTakesTheLayoutOfItsFormat)
{
    ASSERT_EQ(mouse_->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(mouse_->Acquire(), DI_OK);
    DIMOUSESTATE small;
    EXPECT_EQ(mouse_->GetDeviceState(sizeof small, &small), DIERR_INVALIDPARAM);
    DIMOUSESTATE2 state, still = {};
    memset(&state, 0x55, sizeof state);
    ASSERT_EQ(mouse_->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(memcmp(&state, &still, sizeof state), 0) << "no movement and no button down";
    ASSERT_EQ(mouse_->Unacquire(), DI_OK);

    // A format of the program's own: Y axis first, then one button, in 8 bytes.
    DIOBJECTDATAFORMAT objects[] = {
        {&GUID_YAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
        {&GUID_Button, 4, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0},
    };
    DIDATAFORMAT format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, 8, 2, objects};
    ASSERT_EQ(mouse_->SetDataFormat(&format), DI_OK);
    ASSERT_EQ(mouse_->Acquire(), DI_OK);
    std::vector<BYTE> custom(8, 0x77);
    EXPECT_EQ(mouse_->GetDeviceState(sizeof state, &state), DIERR_INVALIDPARAM);
    ASSERT_EQ(mouse_->GetDeviceState(8, custom.data()), DI_OK);
    EXPECT_EQ(custom, std::vector<BYTE>(8, 0));  // placed objects read 0, the padding is cleared
}

TEST_F(DeviceTest, BadDataFormatsAreRefusedWithOneDiagnosticEach)
{
    DIOBJECTDATAFORMAT axis = {&GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    DIOBJECTDATAFORMAT misaligned = {&GUID_XAxis, 2, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    DIOBJECTDATAFORMAT outside = {&GUID_XAxis, 8, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    DIOBJECTDATAFORMAT sixthButton = {&GUID_Button, 0, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(6), 0};
    const DIDATAFORMAT bad[] = {
        {sizeof(DIDATAFORMAT) - 4, sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 8, 1, &axis},  // record size
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 6, 1, &axis},      // size not 4n
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 3, 8, 1, &axis},                 // both axis modes
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 8, 1, &misaligned},
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 8, 1, &outside},
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 8, 1, &sixthButton},  // not on a mouse
        {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 8, 1, nullptr},
    };
    for (const DIDATAFORMAT &format : bad) {
        std::string said = StderrOf([&] { EXPECT_EQ(mouse_->SetDataFormat(&format), DIERR_INVALIDPARAM); });
        EXPECT_EQ(CountLines(said), 1) << said;
        EXPECT_EQ(said.rfind("dinput8: ", 0), 0u) << said;
    }
    EXPECT_EQ(mouse_->SetDataFormat(NULL), DIERR_INVALIDPARAM);
    // None of them took: the device still has no format to be acquired with.
    EXPECT_EQ(mouse_->Acquire(), DIERR_INVALIDPARAM);
    // The mouse format does not fit a keyboard (its X and Y axes are required).
    std::string said = StderrOf([&] { EXPECT_EQ(keyboard_->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM); });
    EXPECT_EQ(CountLines(said), 1) << said;
}

TEST_F(DeviceTest, CooperativeLevelsAreChecked)
{
    const DWORD contradictory[] = {
        0,
        DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND,
        DISCL_EXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND,
        DISCL_EXCLUSIVE,
        DISCL_FOREGROUND,
        DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | 0x100,
    };
    int window;  // an address that is no window
    for (DWORD flags : contradictory)
        EXPECT_EQ(keyboard_->SetCooperativeLevel(reinterpret_cast<HWND>(&window), flags), DIERR_INVALIDPARAM)
            << std::hex << flags;
    EXPECT_EQ(keyboard_->SetCooperativeLevel(NULL, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse_->SetCooperativeLevel(reinterpret_cast<HWND>(&window), DISCL_EXCLUSIVE | DISCL_FOREGROUND),
              HRESULT(0x80070006L));  // E_HANDLE
}

TEST_F(DeviceTest, UnsupportedEntryPointsSaySoAndFail)
{
    std::string said = StderrOf([&] {
        EXPECT_EQ(keyboard_->SetEventNotification(NULL), DIERR_UNSUPPORTED);
        EXPECT_EQ(keyboard_->SetEventNotification(NULL), DIERR_UNSUPPORTED);
    });
    EXPECT_EQ(CountLines(said), 1) << "reported once per run: " << said;
    EXPECT_NE(said.find("SetEventNotification"), std::string::npos);
}

// Key states come through whichever format the program sets: the usual one (each key at
// its own offset, read as one block) and one of its own with a few keys elsewhere.
TEST_F(DeviceTest, KeyboardStateTakesTheLayoutOfItsFormat)
{
    BYTE source[256] = {};
    for (int k = 0; k < 256; ++k)
        source[k] = (k % 3 == 0) ? 0x80 : 0;
    tavrok::dinput8::SetKeyboardStateOverride(source);
    ASSERT_EQ(keyboard_->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(keyboard_->Acquire(), DI_OK);
    BYTE keys[256];
    ASSERT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(memcmp(keys, source, 256), 0);
    // A change shows in the next read.
    source[DIK_A] = 0x80;
    source[DIK_S] = 0;
    ASSERT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x80);
    EXPECT_EQ(keys[DIK_S], 0);
    ASSERT_EQ(keyboard_->Unacquire(), DI_OK);

    // Z first, then A at offset 3, in four bytes: the bytes between are cleared.
    DIOBJECTDATAFORMAT objects[] = {
        {&GUID_Key, 0, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(DIK_Z), 0},
        {&GUID_Key, 3, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(DIK_A), 0},
    };
    DIDATAFORMAT format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 4, 2, objects};
    ASSERT_EQ(keyboard_->SetDataFormat(&format), DI_OK);
    ASSERT_EQ(keyboard_->Acquire(), DI_OK);
    source[DIK_Z] = 0x80;
    std::vector<BYTE> custom(4, 0x55);
    ASSERT_EQ(keyboard_->GetDeviceState(4, custom.data()), DI_OK);
    EXPECT_EQ(custom, (std::vector<BYTE>{0x80, 0, 0, 0x80}));
    source[DIK_Z] = 0;
    ASSERT_EQ(keyboard_->GetDeviceState(4, custom.data()), DI_OK);
    EXPECT_EQ(custom[0], 0);
    tavrok::dinput8::SetKeyboardStateOverride(nullptr);
}

}  // namespace
