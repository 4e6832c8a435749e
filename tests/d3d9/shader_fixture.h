/*
 * shader_fixture.h - creating vertex and pixel shaders from hand-built token streams on a
 * NULLREF device: a stream accepted prints nothing and gives a shader; a stream refused
 * gives D3DERR_INVALIDCALL, no shader and its diagnostic line.
 */
#ifndef TAVROK_TESTS_D3D9_SHADER_FIXTURE_H
#define TAVROK_TESTS_D3D9_SHADER_FIXTURE_H

#include "null_fixture.h"

#include <vector>

namespace d3d9test {

// A stream to be refused, and what is wrong with it.
struct RefusedStream {
    const char *what;
    std::vector<DWORD> tokens;
};

// `base` with token `at` replaced by `value`.
inline RefusedStream Mutated(const char *what, std::vector<DWORD> base, size_t at, DWORD value)
{
    base.at(at) = value;
    return {what, std::move(base)};
}

template <class Shader>
class ShaderTest : public NullDeviceTest {
protected:
    HRESULT Create(const std::vector<DWORD> &tokens, int *diagnostics = nullptr)
    {
        Shader *shader = nullptr;
        HRESULT hr = E_FAIL;
        int lines = StderrLines([&] { hr = CreateShader(tokens.data(), &shader); });
        if (diagnostics)
            *diagnostics = lines;
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(lines, 0);
            EXPECT_NE(shader, nullptr);
            if (shader)
                shader->Release();
        } else {
            EXPECT_EQ(shader, nullptr);
        }
        return hr;
    }

    Shader *Make(const std::vector<DWORD> &tokens)
    {
        Shader *shader = nullptr;
        EXPECT_EQ(CreateShader(tokens.data(), &shader), D3D_OK);
        return shader;
    }

    // Each stream is refused with its diagnostic, and at most one "not supported" note
    // beside it (those print once a run).
    void ExpectRefused(const std::vector<RefusedStream> &streams)
    {
        for (const RefusedStream &s : streams) {
            int lines = -1;
            EXPECT_EQ(Create(s.tokens, &lines), D3DERR_INVALIDCALL) << s.what;
            EXPECT_GE(lines, 1) << s.what;
            EXPECT_LE(lines, 2) << s.what << " (a diagnostic, plus an unsupported note at most)";
        }
    }

private:
    HRESULT CreateShader(const DWORD *tokens, IDirect3DVertexShader9 **out)
    {
        return device_->CreateVertexShader(tokens, out);
    }
    HRESULT CreateShader(const DWORD *tokens, IDirect3DPixelShader9 **out)
    {
        return device_->CreatePixelShader(tokens, out);
    }
};

}  // namespace d3d9test

#endif
