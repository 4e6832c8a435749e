// The error lines the input module reported, for its tests and its probe.
#ifndef TAVROK_TESTS_INPUT_SUPPORT_H
#define TAVROK_TESTS_INPUT_SUPPORT_H

#include <string>
#include <vector>

extern std::vector<std::string> g_errorLines;
extern bool g_echoErrors;  // the probe prints each line as it comes

#endif
