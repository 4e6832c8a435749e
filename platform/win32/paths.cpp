/*
 * paths.cpp - Windows path names on a case-sensitive, slash-separated file system.
 *
 * Every platform call that opens a file passes its name through ResolvePath: backslashes
 * become slashes and, component by component, a name missing with its exact spelling is
 * replaced by the first case-insensitive match in its folder (in directory order sorted by
 * name, so the choice is repeatable).  Drive letters are not supported.
 */
#include <tavrok/platform.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace {

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` ignoring ASCII case, or "" for none.
std::string CaseInsensitiveMatch(const std::string &folder, const std::string &name)
{
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return "";
    std::vector<std::string> matches;
    while (dirent *entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0)
            matches.push_back(entry->d_name);
    }
    closedir(dir);
    if (matches.empty())
        return "";
    std::sort(matches.begin(), matches.end());
    return matches.front();
}

}  // namespace

namespace tavrok {

std::string ResolvePath(const char *windowsPath)
{
    if (!windowsPath)
        return "";
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || Exists(path))
        return path;

    // Walk the components, fixing the case of each one that does not exist as spelled.
    std::string resolved;
    size_t start = 0;
    if (path[0] == '/') {
        resolved = "/";
        start = 1;
    }
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty()) {
            std::string folder = resolved;
            std::string candidate = resolved + part;
            if (part != "." && part != ".." && !Exists(candidate)) {
                std::string match = CaseInsensitiveMatch(folder, part);
                if (match.empty())
                    return path;
                candidate = resolved + match;
            }
            resolved = candidate;
            if (end < path.size())
                resolved += '/';
        } else if (end < path.size() && !resolved.empty() && resolved.back() != '/') {
            resolved += '/';
        }
        start = end + 1;
    }
    return resolved;
}

}  // namespace tavrok
