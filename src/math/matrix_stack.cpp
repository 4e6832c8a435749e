/*
 * matrix_stack.cpp - ID3DXMatrixStack: a vector of matrices whose last is the top.
 */
// This file defines IID_ID3DXMatrixStack.
#define INITGUID
#include <d3d9.h>

#include "d3dx9math.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <new>
#include <vector>

namespace {

class MatrixStack final : public tavrok::ComObject<ID3DXMatrixStack, IID_ID3DXMatrixStack> {
public:
    MatrixStack() : stack_(1) { D3DXMatrixIdentity(&stack_.back()); }

    HRESULT STDMETHODCALLTYPE Pop() override
    {
        if (stack_.size() == 1) {
            tavrok::Diagnostic("d3dx9", "", "", "ID3DXMatrixStack::Pop: the last matrix stays on the stack");
            return D3DERR_INVALIDCALL;
        }
        stack_.pop_back();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Push() override
    {
        stack_.push_back(stack_.back());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadIdentity() override
    {
        D3DXMatrixIdentity(&Top());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadMatrix(const D3DXMATRIX *m) override
    {
        if (!m)
            return D3DERR_INVALIDCALL;
        Top() = *m;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE MultMatrix(const D3DXMATRIX *m) override { return m ? After(*m) : D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE MultMatrixLocal(const D3DXMATRIX *m) override
    {
        return m ? Before(*m) : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE RotateAxis(const D3DXVECTOR3 *axis, FLOAT angle) override
    {
        D3DXMATRIX r;
        return axis ? After(*D3DXMatrixRotationAxis(&r, axis, angle)) : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE RotateAxisLocal(const D3DXVECTOR3 *axis, FLOAT angle) override
    {
        D3DXMATRIX r;
        return axis ? Before(*D3DXMatrixRotationAxis(&r, axis, angle)) : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRoll(FLOAT yaw, FLOAT pitch, FLOAT roll) override
    {
        D3DXMATRIX r;
        return After(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRollLocal(FLOAT yaw, FLOAT pitch, FLOAT roll) override
    {
        D3DXMATRIX r;
        return Before(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }
    HRESULT STDMETHODCALLTYPE Scale(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX s;
        return After(*D3DXMatrixScaling(&s, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE ScaleLocal(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX s;
        return Before(*D3DXMatrixScaling(&s, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE Translate(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX t;
        return After(*D3DXMatrixTranslation(&t, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE TranslateLocal(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX t;
        return Before(*D3DXMatrixTranslation(&t, x, y, z));
    }
    D3DXMATRIX *STDMETHODCALLTYPE GetTop() override { return &Top(); }

private:
    D3DXMATRIX &Top() { return stack_.back(); }
    // top = top * m: m applies after the top's transform.
    HRESULT After(const D3DXMATRIX &m)
    {
        D3DXMatrixMultiply(&Top(), &Top(), &m);
        return D3D_OK;
    }
    // top = m * top: m applies first, in the object's own frame.
    HRESULT Before(const D3DXMATRIX &m)
    {
        D3DXMatrixMultiply(&Top(), &m, &Top());
        return D3D_OK;
    }

    std::vector<D3DXMATRIX> stack_;
};

}  // namespace

HRESULT WINAPI D3DXCreateMatrixStack(DWORD flags, LPD3DXMATRIXSTACK *out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (flags != 0) {
        tavrok::Diagnostic("d3dx9", "", "", "D3DXCreateMatrixStack: flags must be 0");
        return D3DERR_INVALIDCALL;
    }
    *out = new (std::nothrow) MatrixStack;
    return *out ? D3D_OK : E_OUTOFMEMORY;
}
