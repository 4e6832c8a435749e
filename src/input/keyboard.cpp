/*
 * keyboard.cpp - CKeyboard: the shared, foreground keyboard device.
 *
 * Every IsKeyDown reads the whole 256-byte state again; there is no per-frame copy.  When
 * the window has gone to the background the device reports its loss once it is read, and
 * the read re-acquires it; while the window stays in the background every key reads up.
 */
#include "input/input.h"

#include "app/shell.h"

#include <string.h>

// Acquire is not expected to answer DIERR_INPUTLOST; the bound only guards against a
// device that keeps doing so.
static const int kMaxReacquireTries = 16;

CKeyboard::CKeyboard()
{
    m_pDevice = NULL;
    memset(m_keyState, 0, sizeof(m_keyState));
    m_acquired = 0;
}

CKeyboard::~CKeyboard()
{
    if (m_pDevice) {
        m_pDevice->Unacquire();
        m_pDevice->Release();
    }
}

HRESULT CKeyboard::Init()
{
    if (!g_directInput)
        return E_FAIL;
    if (m_pDevice) {
        m_pDevice->Unacquire();
        m_pDevice->Release();
        m_pDevice = NULL;
    }
    if (FAILED(g_directInput->CreateDevice(GUID_SysKeyboard, &m_pDevice, NULL))) {
        LogError("Failed to create key device");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->SetDataFormat(&c_dfDIKeyboard))) {
        LogError("Unable to set the keyboard data format");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->SetCooperativeLevel(g_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND))) {
        LogError("Unable to set keyboard cooperative level");
        return E_FAIL;
    }
    if (FAILED(m_pDevice->Acquire())) {
        LogError("Unable to acquire the keyboard");
        return E_FAIL;
    }
    m_acquired = 1;
    return S_OK;
}

int CKeyboard::IsKeyDown(int code)
{
    // Only a successful Init raises the flag and nothing lowers it, so after a failed
    // second Init it may stand for a device that was never acquired, or for none.
    if (!m_acquired || !m_pDevice)
        return 0;
    HRESULT hr = m_pDevice->GetDeviceState(sizeof(m_keyState), m_keyState);
    if (hr == DIERR_INPUTLOST) {
        hr = m_pDevice->Acquire();
        for (int tries = 1; hr == DIERR_INPUTLOST && tries < kMaxReacquireTries; ++tries)
            hr = m_pDevice->Acquire();
        if (FAILED(hr))
            return 0;
        m_pDevice->GetDeviceState(sizeof(m_keyState), m_keyState);
    } else if (FAILED(hr)) {
        return 0;
    }
    return (m_keyState[code & 0xFF] & 0x80) ? 1 : 0;
}
