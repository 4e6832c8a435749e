// Win32 services that need no display: Windows paths, the registry file, MulDiv, the
// ANSI code page, and the order in which the message queue hands out messages.
#include <windows.h>

#include <tavrok/platform.h>

#include "../../platform/win32/win32_private.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string MakeTempDir()
{
    char tmpl[] = "/tmp/tavrok-win32-XXXXXX";
    return mkdtemp(tmpl);
}

void Touch(const std::string &path) { std::ofstream(path) << "x"; }

TEST(ResolvePath, BackslashesAndCaseInsensitiveComponents)
{
    std::string root = MakeTempDir();
    mkdir((root + "/Data").c_str(), 0755);
    mkdir((root + "/Data/Sub").c_str(), 0755);
    Touch(root + "/Data/Ninja.x");
    Touch(root + "/Data/Sub/tex.BMP");

    EXPECT_EQ(tavrok::ResolvePath((root + "\\Data\\Ninja.x").c_str()), root + "/Data/Ninja.x");
    EXPECT_EQ(tavrok::ResolvePath((root + "\\DATA\\ninja.X").c_str()), root + "/Data/Ninja.x");
    EXPECT_EQ(tavrok::ResolvePath((root + "/data/sub/TEX.bmp").c_str()), root + "/Data/Sub/tex.BMP");
    // Relative paths with "..", as the program writes them.
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir((root + "/Data/Sub").c_str()));
    EXPECT_EQ(tavrok::ResolvePath("..\\ninja.x"), "../Ninja.x");
    EXPECT_EQ(tavrok::ResolvePath("..\\..\\data\\NINJA.x"), "../../Data/Ninja.x");
    // A missing file keeps its name with slashes, so the caller's open fails normally.
    EXPECT_EQ(tavrok::ResolvePath("..\\Missing\\file.x"), "../Missing/file.x");
    ASSERT_EQ(0, chdir(cwd));
    EXPECT_EQ(tavrok::ResolvePath(nullptr), "");
    std::string cleanup = "rm -rf " + root;
    ASSERT_EQ(0, system(cleanup.c_str()));
}

TEST(Registry, ReadsDwordsFromARegFileIgnoringCase)
{
    // The registry file is read once per process, so this is the only test that sets it.
    std::string root = MakeTempDir();
    std::string file = root + "/test.reg";
    std::ofstream(file) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Direct3D]\n"
                           "\"DisablePSGP\"=dword:0000002a\n\"Name\"=\"hello\"\n\"Broken\"=hex:00\n";
    setenv("TAVROK_REGISTRY", file.c_str(), 1);
    testing::internal::CaptureStderr();

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\microsoft\\direct3d", 0, KEY_READ, &key));
    DWORD value = 0, type = 0, size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "disablepsgp", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(size, 4u);

    char text[3];
    DWORD textSize = sizeof text;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Name", nullptr, &type, reinterpret_cast<BYTE *>(text), &textSize));
    EXPECT_EQ(textSize, 6u);  // "hello" and its terminator
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "DisableD3DXPSGP", nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Broken", nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_READ, &missing));
    EXPECT_EQ(missing, nullptr);
    // The unsupported value type was reported in one line naming the file and line.
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(file + ":6: unsupported registry value type"), std::string::npos) << err;
    unsetenv("TAVROK_REGISTRY");
    std::string cleanup = "rm -rf " + root;
    ASSERT_EQ(0, system(cleanup.c_str()));
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndReportsOverflow)
{
    EXPECT_EQ(MulDiv(12, 96, 72), 16);
    EXPECT_EQ(MulDiv(10, 96, 72), 13);   // 13.33
    EXPECT_EQ(MulDiv(1, 3, 2), 2);       // 1.5 rounds up
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);     // -1.5 rounds away from zero
    EXPECT_EQ(MulDiv(5, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x40000000, 8, 1), -1);
    EXPECT_EQ(MulDiv(0x40000000, 8, 16), 0x20000000);  // 64-bit intermediate
}

TEST(AnsiText, Windows1252BecomesUtf8)
{
    EXPECT_EQ(tavrok::win32::Cp1252ToUtf8("Modalit\xE0 schermo-intero?"), "Modalit\xC3\xA0 schermo-intero?");
    EXPECT_EQ(tavrok::win32::Cp1252ToUtf8("\x80 \x93x\x94"), "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
    EXPECT_EQ(tavrok::win32::Cp1252ToUtf8(nullptr), "");
}

TEST(MessageQueue, PostedMessagesComeBeforeQuitAndQuitCarriesItsCode)
{
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PostQuitMessage(3);
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 7, 8));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));

    // A peek without removal leaves the message in place.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    EXPECT_EQ(msg.wParam, WPARAM(7));
    EXPECT_EQ(msg.lParam, LPARAM(8));
    // A filter skips to the matching message.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(3));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 2));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Without a display no key is down.
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
}

TEST(WindowClasses, RegistrationIsCheckedAndUnregistrationWorks)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TestClass";
    EXPECT_NE(0, RegisterClassExA(&wc));
    EXPECT_EQ(0, RegisterClassExA(&wc));  // already exists
    EXPECT_EQ(DWORD(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    WNDCLASSEXA bad = wc;
    bad.cbSize = 12;
    EXPECT_EQ(0, RegisterClassExA(&bad));
    EXPECT_TRUE(UnregisterClassA("testclass", nullptr));
    EXPECT_FALSE(UnregisterClassA("TestClass", nullptr));
}

}  // namespace
