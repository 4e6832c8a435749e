// The input module without a display.  With the real DirectInput library and no window: the
// set-up failures and their error lines, repeated set-up releasing what it replaces.  With
// scripted devices: lost input and re-acquiring, failed reads, and set-up again after a success.
#include "input/input.h"
#include "input/input_test_support.h"

#include "app/shell.h"
#include "world/camera.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_errorLines.clear();
        g_hInstance = GetModuleHandleA(NULL);
        g_hWnd = NULL;  // no window: devices can be made but not tied to a window
    }
    void TearDown() override { ShutdownInput(); }
};

TEST_F(InputTest, EachFailingStepReportsItselfThenItsDeviceAndNoKeyReadsDown)
{
    CKeyboard keyboard;
    for (int code = 0; code < 256; ++code)
        ASSERT_EQ(keyboard.IsKeyDown(code), 0) << code;

    // No instance handle: DirectInput itself cannot be made.
    g_hInstance = NULL;
    EXPECT_EQ(InitInput(), E_FAIL);
    EXPECT_EQ(g_errorLines, std::vector<std::string>{"Failed to create DirectInput"});
    EXPECT_EQ(g_directInput, nullptr);
    // No window: the keyboard's cooperative level is refused.
    g_errorLines.clear();
    g_hInstance = GetModuleHandleA(NULL);
    EXPECT_EQ(InitInput(), E_FAIL);
    EXPECT_EQ(g_errorLines, (std::vector<std::string>{"Unable to set keyboard cooperative level",
                                                      "Failed to initialize keyboard"}));
    EXPECT_NE(g_directInput, nullptr);  // kept for the tear-down to release
    for (int code : {DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT, DIK_A, DIK_S, DIK_D, DIK_E, DIK_C})
        EXPECT_EQ(g_keyboard.IsKeyDown(code), 0) << code;

    // The devices' own set-up without DirectInput fails silently.
    ShutdownInput();
    g_errorLines.clear();
    CMouse mouse;
    EXPECT_EQ(keyboard.Init(), E_FAIL);
    EXPECT_EQ(mouse.Init(), E_FAIL);
    EXPECT_TRUE(g_errorLines.empty());
    // With DirectInput but no window the mouse stops at the same step as the keyboard.
    ASSERT_EQ(DirectInput8Create(g_hInstance, DIRECTINPUT_VERSION, IID_IDirectInput8A, (void **)&g_directInput,
                                 NULL),
              DI_OK);
    EXPECT_EQ(mouse.Init(), E_FAIL);
    EXPECT_EQ(g_errorLines, std::vector<std::string>{"Unable to set the cooperative level for the mouse"});
    EXPECT_EQ(mouse.Poll(), E_FAIL);  // never acquired
}

TEST_F(InputTest, RepeatedSetUpReleasesTheObjectsItReplaces)
{
    EXPECT_EQ(InitInput(), E_FAIL);
    IDirectInput8A *first = g_directInput;
    ASSERT_NE(first, nullptr);
    // Held by the global, by the keyboard device made with it, and now by the test.
    EXPECT_EQ(first->AddRef(), 3u);
    EXPECT_EQ(InitInput(), E_FAIL);
    EXPECT_NE(g_directInput, first);
    // The second set-up released the old object and the keyboard device that held it.
    EXPECT_EQ(first->Release(), 0u);
    ShutdownInput();
    EXPECT_EQ(g_directInput, nullptr);
    ShutdownInput();  // nothing left to release: does nothing
    EXPECT_EQ(g_directInput, nullptr);
}

// --- scripted devices ----------------------------------------------------------------------

std::vector<std::string> g_calls;

// A device whose answers a test sets: set-up steps, and each read's result and bytes.
class ScriptedDevice : public IDirectInputDevice8A {
public:
    explicit ScriptedDevice(const char *name) : name_(name) {}
    HRESULT setDataFormat = DI_OK, setCooperativeLevel = DI_OK;
    std::deque<HRESULT> acquire;  // one answer per call; DI_OK once empty
    struct Read {
        HRESULT result;
        std::vector<BYTE> bytes;  // copied on success
    };
    std::deque<Read> reads;  // one per GetDeviceState; DIERR_NOTACQUIRED once empty

    STDMETHODIMP QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return Note("Release"), 0; }
    STDMETHODIMP Acquire() override
    {
        Note("Acquire");
        HRESULT hr = acquire.empty() ? DI_OK : acquire.front();
        if (!acquire.empty())
            acquire.pop_front();
        return hr;
    }
    STDMETHODIMP Unacquire() override { return Note("Unacquire"), DI_OK; }
    STDMETHODIMP GetDeviceState(DWORD size, LPVOID data) override
    {
        Note("GetDeviceState " + std::to_string(size));
        if (reads.empty())
            return DIERR_NOTACQUIRED;
        Read r = reads.front();
        reads.pop_front();
        if (SUCCEEDED(r.result)) {
            memset(data, 0, size);
            memcpy(data, r.bytes.data(), std::min<size_t>(size, r.bytes.size()));
        }
        return r.result;
    }
    STDMETHODIMP SetDataFormat(LPCDIDATAFORMAT format) override
    {
        Note("SetDataFormat " + std::to_string(format->dwDataSize));
        return setDataFormat;
    }
    STDMETHODIMP SetCooperativeLevel(HWND, DWORD flags) override
    {
        Note("SetCooperativeLevel " + std::to_string(flags));
        return setCooperativeLevel;
    }

    // Not used by the program.
    STDMETHODIMP GetCapabilities(LPDIDEVCAPS) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperty(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHODIMP SetProperty(REFGUID, LPCDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHODIMP GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetEventNotification(HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDeviceInfo(LPDIDEVICEINSTANCEA) override { return E_NOTIMPL; }
    STDMETHODIMP RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Initialize(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
    STDMETHODIMP CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT *, LPUNKNOWN) override { return E_NOTIMPL; }
    STDMETHODIMP EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
    STDMETHODIMP GetForceFeedbackState(LPDWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SendForceFeedbackCommand(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Escape(LPVOID) override { return E_NOTIMPL; }
    STDMETHODIMP Poll() override { return E_NOTIMPL; }
    STDMETHODIMP SendDeviceData(DWORD, const DIDEVICEOBJECTDATA *, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override { return E_NOTIMPL; }

private:
    void Note(const std::string &call) { g_calls.push_back(name_ + "." + call); }
    std::string name_;
};

// Hands out the scripted devices in turn.
class ScriptedInput : public IDirectInput8A {
public:
    std::deque<ScriptedDevice *> devices;
    STDMETHODIMP QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP CreateDevice(REFGUID, LPDIRECTINPUTDEVICE8A *device, LPUNKNOWN) override
    {
        *device = devices.empty() ? NULL : devices.front();
        if (devices.empty())
            return DIERR_GENERIC;
        devices.pop_front();
        return DI_OK;
    }
    STDMETHODIMP EnumDevices(DWORD, LPDIENUMDEVICESCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDeviceStatus(REFGUID) override { return E_NOTIMPL; }
    STDMETHODIMP RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Initialize(HINSTANCE, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP FindDevice(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                        DWORD) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override
    {
        return E_NOTIMPL;
    }
};

std::vector<BYTE> KeyDown(int code)
{
    std::vector<BYTE> keys(256, 0);
    keys[code] = 0x80;
    return keys;
}

std::vector<BYTE> Moved(LONG dx, LONG dy)
{
    DIMOUSESTATE state = {};
    state.lX = dx;
    state.lY = dy;
    const BYTE *b = reinterpret_cast<const BYTE *>(&state);
    return std::vector<BYTE>(b, b + sizeof state);
}

class ScriptedInputTest : public InputTest {
protected:
    void SetUp() override
    {
        InputTest::SetUp();
        g_calls.clear();
        g_directInput = &input_;
    }
    void TearDown() override
    {
        // The global objects outlive this test: leave them holding nothing.
        g_keyboard = CKeyboard();
        g_mouse = CMouse();
        g_directInput = NULL;
    }
    ScriptedInput input_;
};

TEST_F(ScriptedInputTest, KeyboardReadsAfreshAndReacquiresALostDevice)
{
    ScriptedDevice device("kb");
    input_.devices = {&device};
    CKeyboard keyboard;
    ASSERT_EQ(keyboard.Init(), S_OK);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"kb.SetDataFormat 256", "kb.SetCooperativeLevel 6", "kb.Acquire"}));

    device.reads = {{DI_OK, KeyDown(DIK_C)}, {DI_OK, KeyDown(DIK_A)}};
    EXPECT_EQ(keyboard.IsKeyDown(DIK_C), 1);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_C), 0) << "every question reads the keyboard again";

    // Lost: acquired again (past a second loss), then read once more.
    g_calls.clear();
    device.reads = {{DIERR_INPUTLOST, {}}, {DI_OK, KeyDown(DIK_UP)}};
    device.acquire = {DIERR_INPUTLOST, DI_OK};
    EXPECT_EQ(keyboard.IsKeyDown(DIK_UP), 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"kb.GetDeviceState 256", "kb.Acquire", "kb.Acquire",
                                                 "kb.GetDeviceState 256"}));
    // Lost and not acquired again, or any other failed read: up.
    device.reads = {{DIERR_INPUTLOST, {}}, {DI_OK, KeyDown(DIK_UP)}};
    device.acquire = {DIERR_OTHERAPPHASPRIO};
    EXPECT_EQ(keyboard.IsKeyDown(DIK_UP), 0);
    device.reads = {{DIERR_NOTACQUIRED, {}}};
    EXPECT_EQ(keyboard.IsKeyDown(DIK_UP), 0);
}

TEST_F(ScriptedInputTest, FailedMouseReadKeepsTheLastMovementAndItsTurn)
{
    ScriptedDevice device("mouse");
    input_.devices = {&device};
    ASSERT_EQ(g_mouse.Init(), S_OK);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"mouse.SetDataFormat 16", "mouse.SetCooperativeLevel 5",
                                                 "mouse.Acquire"}));
    LONG dx = 0, dy = 0;
    device.reads = {{DI_OK, Moved(5, -3)}};
    EXPECT_EQ(g_mouse.Poll(), S_OK);
    EXPECT_EQ(UpdateInput(), 0);
    const float yaw = 5 * 0.2f * 0.01f, pitch = -3 * 0.2f * 0.01f;
    EXPECT_FLOAT_EQ(g_freeCamera.GetYawRate(), yaw);
    EXPECT_FLOAT_EQ(g_freeCamera.GetPitchRate(), pitch);

    // A failed read: E_FAIL, and the camera goes on turning by the last movement.
    device.reads = {{DIERR_NOTACQUIRED, {}}};
    g_freeCamera.SetYawRate(0.0f);
    EXPECT_EQ(g_mouse.Poll(), E_FAIL);
    g_mouse.GetMovement(&dx, &dy);
    EXPECT_EQ(dx, 5);
    EXPECT_EQ(dy, -3);
    UpdateInput();
    EXPECT_FLOAT_EQ(g_freeCamera.GetYawRate(), yaw);

    // Lost and not regained: S_OK with the state unchanged; regained: read once more.
    device.reads = {{DIERR_INPUTLOST, {}}};
    device.acquire = {DIERR_OTHERAPPHASPRIO};
    EXPECT_EQ(g_mouse.Poll(), S_OK);
    g_mouse.GetMovement(&dx, &dy);
    EXPECT_EQ(dx, 5);
    device.reads = {{DIERR_INPUTLOST, {}}, {DI_OK, Moved(0, 0)}};
    EXPECT_EQ(g_mouse.Poll(), S_OK);
    // A mouse that did not move stops the turn: the rates are set, not added.
    UpdateInput();
    EXPECT_EQ(g_freeCamera.GetYawRate(), 0.0f);
    EXPECT_EQ(g_freeCamera.GetPitchRate(), 0.0f);
}

TEST_F(ScriptedInputTest, SetUpAgainReleasesTheOldDeviceAndOnlySuccessSetsTheAcquiredFlag)
{
    ScriptedDevice firstKeys("kb1"), secondKeys("kb2"), firstMouse("m1"), secondMouse("m2");
    input_.devices = {&firstKeys, &firstMouse};
    ASSERT_EQ(g_keyboard.Init(), S_OK);
    ASSERT_EQ(g_mouse.Init(), S_OK);

    // The keyboard gives its old device up before it asks for a new one; the mouse only
    // releases its old one.  The new ones fail to take their data format.
    g_calls.clear();
    secondKeys.setDataFormat = DIERR_GENERIC;
    secondMouse.setDataFormat = DIERR_GENERIC;
    input_.devices = {&secondKeys, &secondMouse};
    EXPECT_EQ(g_keyboard.Init(), E_FAIL);
    EXPECT_EQ(g_mouse.Init(), E_FAIL);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"kb1.Unacquire", "kb1.Release", "kb2.SetDataFormat 256",
                                                 "m1.Release", "m2.SetDataFormat 16"}));
    EXPECT_EQ(g_errorLines, (std::vector<std::string>{"Unable to set the keyboard data format",
                                                      "Unable to set the mouse data format"}));

    // A failed set-up does not clear the flag the earlier success raised: the new,
    // never acquired devices are read, and answer that they are not acquired.
    g_calls.clear();
    EXPECT_EQ(g_keyboard.IsKeyDown(DIK_C), 0);
    EXPECT_EQ(g_mouse.Poll(), E_FAIL);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"kb2.GetDeviceState 256", "m2.GetDeviceState 16"}));
    // A device that reads anyway is believed.
    secondKeys.reads = {{DI_OK, KeyDown(DIK_C)}};
    EXPECT_EQ(g_keyboard.IsKeyDown(DIK_C), 1);

    // No device at all this time: still raised, but with nothing to read every key is up.
    g_calls.clear();
    input_.devices.clear();
    EXPECT_EQ(g_keyboard.Init(), E_FAIL);
    EXPECT_EQ(g_mouse.Init(), E_FAIL);
    EXPECT_EQ(g_keyboard.IsKeyDown(DIK_C), 0);
    EXPECT_EQ(g_mouse.Poll(), E_FAIL);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"kb2.Unacquire", "kb2.Release", "m2.Release"}));

    // A keyboard that never succeeded is never read.
    ScriptedDevice failing("kb3");
    failing.setCooperativeLevel = DIERR_GENERIC;
    input_.devices = {&failing};
    CKeyboard fresh;
    EXPECT_EQ(fresh.Init(), E_FAIL);
    g_calls.clear();
    EXPECT_EQ(fresh.IsKeyDown(DIK_C), 0);
    EXPECT_TRUE(g_calls.empty());
}

}  // namespace
