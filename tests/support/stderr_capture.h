/*
 * support/stderr_capture.h - what a call writes on stderr, and how many diagnostic lines
 * that is, for the tests of the one-line reports.
 */
#ifndef TAVROK_TESTS_SUPPORT_STDERR_CAPTURE_H
#define TAVROK_TESTS_SUPPORT_STDERR_CAPTURE_H

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

template <class F>
std::string StderrOf(F &&call)
{
    ::testing::internal::CaptureStderr();
    call();
    return ::testing::internal::GetCapturedStderr();
}

// Diagnostic lines in captured output; the maths library's one-time "(INFO)" announcement
// of its processor variant is not one.
inline int CountLines(const std::string &s)
{
    int lines = 0;
    for (size_t at = 0; at < s.size();) {
        size_t end = s.find('\n', at);
        if (end == std::string::npos)
            end = s.size();
        if (s.compare(at, 6, "(INFO)") != 0)
            lines++;
        at = end + 1;
    }
    return lines;
}

}  // namespace testsupport

#endif
