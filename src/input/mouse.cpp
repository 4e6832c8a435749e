/*
 * mouse.cpp - CMouse: the exclusive, foreground mouse device.
 *
 * Read once per tick; the state holds the movement since the previous read.  A read that
 * fails keeps the last good movement, so whoever turns by it keeps turning until a read
 * succeeds again.
 */
#include "input/input.h"

#include "app/shell.h"

#include <string.h>

static const int kMaxReacquireTries = 16;

CMouse::CMouse()
{
    m_pDevice = NULL;
    m_acquired = 0;
    memset(&m_state, 0, sizeof(m_state));
}

CMouse::~CMouse()
{
    if (m_pDevice) {
        m_pDevice->Unacquire();
        m_pDevice->Release();
    }
}

HRESULT CMouse::Init()
{
    if (!g_directInput)
        return E_FAIL;
    if (m_pDevice) {
        m_pDevice->Release();
        m_pDevice = NULL;
    }
    if (FAILED(g_directInput->CreateDevice(GUID_SysMouse, &m_pDevice, NULL))) {
        LogError("Unable to create mouse device");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->SetDataFormat(&c_dfDIMouse))) {
        LogError("Unable to set the mouse data format");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->SetCooperativeLevel(g_hWnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND))) {
        LogError("Unable to set the cooperative level for the mouse");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->Acquire())) {
        LogError("Unable to acquire mouse");
        return E_FAIL;
    }
    m_acquired = 1;
    return S_OK;
}

HRESULT CMouse::Poll()
{
    if (!m_acquired || !m_pDevice)
        return E_FAIL;
    HRESULT hr = m_pDevice->GetDeviceState(sizeof(m_state), &m_state);
    if (SUCCEEDED(hr))
        return S_OK;
    if (hr == DIERR_INPUTLOST) {
        hr = m_pDevice->Acquire();
        for (int tries = 1; hr == DIERR_INPUTLOST && tries < kMaxReacquireTries; ++tries)
            hr = m_pDevice->Acquire();
        if (SUCCEEDED(hr))
            m_pDevice->GetDeviceState(sizeof(m_state), &m_state);
        return S_OK;
    }
    return E_FAIL;
}

void CMouse::GetMovement(LONG *dx, LONG *dy) const
{
    *dx = m_state.lX;
    *dy = m_state.lY;
}
