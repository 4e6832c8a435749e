/*
 * support/child_process.h - runs a helper program in a child process with a registry file
 * of the test's own, for choices a process makes once (processor variants).
 */
#ifndef TAVROK_TESTS_SUPPORT_CHILD_PROCESS_H
#define TAVROK_TESTS_SUPPORT_CHILD_PROCESS_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace testsupport {

// What `program` writes on stdout (and on stderr too with `withStderr`) when the registry
// file holds `registryText`.
inline std::string RunWithRegistry(const char *program, const char *registryText, bool withStderr)
{
    char regPath[] = "/tmp/tavrok-reg-XXXXXX";
    int fd = mkstemp(regPath);
    if (fd < 0)
        return "mkstemp failed";
    FILE *f = fdopen(fd, "w");
    fputs(registryText, f);
    fclose(f);
    std::string command =
        std::string("TAVROK_REGISTRY=") + regPath + " " + program + (withStderr ? " 2>&1" : " 2>/dev/null");
    std::string output;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p))
            output += buffer;
        pclose(p);
    }
    remove(regPath);
    return output;
}

}  // namespace testsupport

#endif
