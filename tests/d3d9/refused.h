/*
 * refused.h - EXPECT_REFUSED: a call answers D3DERR_INVALIDCALL with one diagnostic line on
 * stderr saying why, as every refusal of the device does.
 */
#ifndef TAVROK_TESTS_D3D9_REFUSED_H
#define TAVROK_TESTS_D3D9_REFUSED_H

#include <d3d9.h>

#include "support/stderr_capture.h"

#include <sstream>
#include <string>

namespace d3d9test {

// How many diagnostic lines `call` writes on stderr.
template <class F>
int StderrLines(F &&call)
{
    return testsupport::CountLines(testsupport::StderrOf(call));
}

// An answer and the number of diagnostic lines beside it, readable in a failure message.
inline std::string Answer(HRESULT hr, int lines)
{
    std::ostringstream out;
    out << "HRESULT 0x" << std::hex << ULONG(hr) << std::dec << " with " << lines << " line(s) on stderr";
    return out.str();
}

template <class F>
std::string AnswerOf(F &&call)
{
    HRESULT hr = S_OK;
    const int lines = StderrLines([&] { hr = call(); });
    return Answer(hr, lines);
}

}  // namespace d3d9test

// `call` is refused with D3DERR_INVALIDCALL and one line on stderr saying why.
#define EXPECT_REFUSED(call)                                                                                           \
    EXPECT_EQ(d3d9test::AnswerOf([&] { return HRESULT(call); }), d3d9test::Answer(D3DERR_INVALIDCALL, 1)) << #call

#endif
