/*
 * registry.cpp - read-only registry access.
 *
 * There is no system registry here.  The keys and values live in a text file in the
 * format regedit exports ("REGEDIT4" or "Windows Registry Editor Version 5.00"), named by
 * the environment switch TAVROK_REGISTRY.  Without it every key is absent, as on a
 * Windows installation that never set them.  Only DWORD ("dword:") and string values are
 * understood; other lines are reported once and skipped.  Key and value names compare
 * without regard to case, as on Windows.
 */
#include <tavrok/platform.h>

#include <strings.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct CaseLess {
    bool operator()(const std::string &a, const std::string &b) const
    {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

using Key = std::map<std::string, Value, CaseLess>;
using Hive = std::map<std::string, Key, CaseLess>;

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Parses the file once; the result is the whole registry as "ROOT\path" -> values.
const Hive &Registry()
{
    static std::unique_ptr<Hive> hive;
    if (hive)
        return *hive;
    hive = std::make_unique<Hive>();
    const char *file = tavrok::EnvSwitch("TAVROK_REGISTRY");
    if (!file)
        return *hive;
    std::ifstream in(file);
    if (!in) {
        tavrok::Diagnostic("win32", file, "", "cannot open registry file");
        return *hive;
    }
    std::string line, current;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        line = Trim(line);
        if (line.empty() || line[0] == ';' || lineNo == 1)
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            (*hive)[current];
            continue;
        }
        size_t eq = line.find('=');
        if (current.empty() || eq == std::string::npos || line[0] != '"' || eq < 2 || line[eq - 1] != '"') {
            tavrok::Diagnostic("win32", file, std::to_string(lineNo), "registry line not understood");
            continue;
        }
        std::string name = line.substr(1, eq - 2);
        std::string text = Trim(line.substr(eq + 1));
        Value value;
        if (text.rfind("dword:", 0) == 0) {
            char *end = nullptr;
            unsigned long v = strtoul(text.c_str() + 6, &end, 16);
            if (!end || *end || text.size() == 6) {
                tavrok::Diagnostic("win32", file, std::to_string(lineNo), "bad dword value");
                continue;
            }
            DWORD d = DWORD(v);
            value.type = REG_DWORD;
            value.data.assign(reinterpret_cast<BYTE *>(&d), reinterpret_cast<BYTE *>(&d) + 4);
        } else if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
            value.type = REG_SZ;
            std::string s = text.substr(1, text.size() - 2);
            value.data.assign(s.begin(), s.end());
            value.data.push_back(0);
        } else {
            tavrok::Diagnostic("win32", file, std::to_string(lineNo), "unsupported registry value type");
            continue;
        }
        (*hive)[current][name] = value;
    }
    return *hive;
}

const char *RootName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (key == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

struct OpenKey {
    const Key *values;
};

}  // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const char *rootName = RootName(root);
    if (!rootName)
        return ERROR_INVALID_HANDLE;
    std::string path = rootName;
    if (subKey && *subKey)
        path += std::string("\\") + subKey;
    const Hive &hive = Registry();
    auto it = hive.find(path);
    if (it == hive.end())
        return ERROR_FILE_NOT_FOUND;
    *result = reinterpret_cast<HKEY>(new OpenKey{&it->second});
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                                           LPDWORD size)
{
    if (!key || RootName(key))
        return ERROR_INVALID_HANDLE;
    const Key &values = *reinterpret_cast<OpenKey *>(key)->values;
    auto it = values.find(name ? name : "");
    if (it == values.end())
        return ERROR_FILE_NOT_FOUND;
    const Value &value = it->second;
    if (type)
        *type = value.type;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    if (!size)
        return ERROR_SUCCESS;
    DWORD needed = DWORD(value.data.size());
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data)
        memcpy(data, value.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY key)
{
    if (!key || RootName(key))
        return ERROR_INVALID_HANDLE;
    delete reinterpret_cast<OpenKey *>(key);
    return ERROR_SUCCESS;
}
