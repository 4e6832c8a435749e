// libFuzzer target for the shader assembler: any bytes, assembled with and without
// validation.  Besides the sanitizers' checks, it aborts when a call breaks its contract:
// success must give a framed token stream and no error text, failure must give error
// text and no shader.
#include <d3dx9.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void AssembleOnce(const uint8_t *data, size_t size, DWORD flags)
{
    LPD3DXBUFFER shader = nullptr, errors = nullptr;
    HRESULT hr = D3DXAssembleShader(reinterpret_cast<const char *>(data), static_cast<UINT>(size), nullptr,
                                    nullptr, flags, &shader, &errors);
    if (SUCCEEDED(hr)) {
        if (!shader || errors)
            abort();
        const DWORD *code = static_cast<const DWORD *>(shader->GetBufferPointer());
        DWORD words = shader->GetBufferSize() / sizeof(DWORD);
        if (words < 2 || (code[0] & 0xFFFF0000) != 0xFFFE0000 || code[words - 1] != 0x0000FFFF)
            abort();
        shader->Release();
    } else {
        if (shader || !errors || hr != D3DXERR_INVALIDDATA)
            abort();
        const char *text = static_cast<const char *>(errors->GetBufferPointer());
        if (errors->GetBufferSize() == 0 || text[errors->GetBufferSize() - 1] != '\0' || strlen(text) == 0)
            abort();
        errors->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AssembleOnce(data, size, 0);
    AssembleOnce(data, size, D3DXSHADER_SKIPVALIDATION);
    return 0;
}
