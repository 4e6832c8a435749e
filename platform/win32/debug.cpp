/*
 * debug.cpp - the debugger output and the platform's diagnostic lines.
 *
 * OutputDebugStringA writes the program's bytes to stderr exactly as given, so that the
 * program's own lines ("ERROR: ...", "Initialization Failed") stay as they are.  The
 * platform's own diagnostics are single lines prefixed with the library's name.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace {
thread_local DWORD g_lastError = 0;
}

extern "C" void WINAPI OutputDebugStringA(LPCSTR text)
{
    if (!text)
        return;
    fwrite(text, 1, strlen(text), stderr);
    fflush(stderr);
}

extern "C" DWORD WINAPI GetLastError(void) { return g_lastError; }
extern "C" void WINAPI SetLastError(DWORD code) { g_lastError = code; }

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    // Only the program's own module exists; its handle is a fixed non-null token.
    static int module;
    return name ? nullptr : reinterpret_cast<HMODULE>(&module);
}

namespace tavrok {

void Diagnostic(const char *library, const std::string &file, const std::string &position,
                const std::string &reason)
{
    std::string line = library;
    line += ": ";
    if (!file.empty())
        line += file + ':';
    if (!position.empty())
        line += position + ':';
    if (!file.empty() || !position.empty())
        line += ' ';
    line += reason;
    // One line whatever the text holds: control bytes (from a damaged name, say) are
    // written as \xNN.
    std::string out;
    out.reserve(line.size() + 1);
    for (unsigned char c : line) {
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    out += '\n';
    fwrite(out.data(), 1, out.size(), stderr);
    fflush(stderr);
}

namespace {

// Whether this key is new to the run; remembers it.
bool FirstTime(const std::string &key)
{
    static std::mutex lock;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> hold(lock);
    return said.insert(key).second;
}

}  // namespace

void FileDiagnostic(const char *library, const std::string &file, const std::string &position,
                    const std::string &reason)
{
    // NUL cannot occur in a file name or position, so the key cannot be ambiguous.
    if (FirstTime(std::string("file") + '\0' + library + '\0' + file + '\0' + position + '\0' + reason))
        Diagnostic(library, file, position, reason);
}

void Unsupported(const char *library, const std::string &what)
{
    if (FirstTime(std::string("unsupported") + '\0' + library + '\0' + what))
        Diagnostic(library, "", "", "not supported: " + what);
}

const char *EnvSwitch(const char *name)
{
    const char *value = getenv(name);
    return (value && *value) ? value : nullptr;
}

}  // namespace tavrok
