/*
 * entry.cpp - the process entry point: main() calls the program's WinMain.
 *
 * The instance handle is the program module's handle; the command line is the arguments
 * after the program name, joined by spaces.  WinMain's result becomes the exit status.
 * Linux keeps only its low byte, so E_FAIL (0x80004005) ends the process with status 5.
 */
#include <windows.h>

#include <string>

int main(int argc, char **argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)), nullptr, commandLine.data(),
                   SW_SHOWNORMAL);
}
