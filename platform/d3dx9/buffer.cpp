/*
 * buffer.cpp - ID3DXBuffer and D3DXCreateBuffer: a reference-counted block of bytes.
 *
 * The block is zero-filled when made and freed with the last reference.  Also the storage
 * of the identifiers that d3dx9core.h declares.
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <atomic>
#include <new>


namespace tavrok::d3dx9 {
namespace {

class Buffer final : public tavrok::ComObject<ID3DXBuffer, IID_ID3DXBuffer> {
public:
    explicit Buffer(DWORD size) : bytes_(size, 0) {}

    STDMETHODIMP_(LPVOID) GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    STDMETHODIMP_(DWORD) GetBufferSize() override { return DWORD(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXCreateBuffer(DWORD size, LPD3DXBUFFER *buffer)
{
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    try {
        *buffer = new tavrok::d3dx9::Buffer(size);
    } catch (const std::bad_alloc &) {
        tavrok::Diagnostic(tavrok::d3dx9::kLibrary, "", "", "D3DXCreateBuffer: no memory for " + std::to_string(size) + " bytes");
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}
