// The input module without a display: set-up failures and their error lines, repeated
// set-up and tear-down releasing what they replace, keys reading up when there is no
// keyboard, and the mouse setting (not adding to) the free camera's rates.
#include "input/input.h"
#include "input/input_test_support.h"
#include "app/shell.h"
#include "world/camera.h"

#include <gtest/gtest.h>

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

TEST_F(InputTest, NoKeyIsDownBeforeOrAfterAFailedSetUp)
{
    CKeyboard keyboard;
    for (int code = 0; code < 256; ++code)
        ASSERT_EQ(keyboard.IsKeyDown(code), 0) << code;

    EXPECT_EQ(InitInput(), E_FAIL);
    for (int code : {DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT, DIK_A, DIK_S, DIK_D, DIK_E, DIK_C})
        EXPECT_EQ(g_keyboard.IsKeyDown(code), 0) << code;
}

TEST_F(InputTest, EachFailingStepReportsItselfThenItsDevice)
{
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

    // The devices' own set-up without DirectInput fails silently.
    ShutdownInput();
    g_errorLines.clear();
    CKeyboard keyboard;
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

TEST_F(InputTest, StillMouseSetsBothTurnRatesToZero)
{
    g_freeCamera.SetYawRate(0.5f);
    g_freeCamera.SetPitchRate(-0.25f);
    EXPECT_EQ(UpdateInput(), 0);
    EXPECT_EQ(g_freeCamera.GetYawRate(), 0.0f);
    EXPECT_EQ(g_freeCamera.GetPitchRate(), 0.0f);
    LONG dx = 1, dy = 1;
    g_mouse.GetMovement(&dx, &dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

}  // namespace
