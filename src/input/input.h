/*
 * input.h - the keyboard and the mouse, read through DirectInput 8 in immediate mode.
 *
 * The keyboard is asked key by key (every question reads the whole keyboard again); the
 * mouse is read once per tick and its movement becomes the free camera's turn rates.
 */
#ifndef TAVROK_INPUT_INPUT_H
#define TAVROK_INPUT_INPUT_H

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

class CKeyboard
{
public:
    CKeyboard();
    ~CKeyboard();

    HRESULT Init();
    // 1 while the key with this DIK code is down, else 0.
    int IsKeyDown(int code);

private:
    LPDIRECTINPUTDEVICE8A m_pDevice;
    BYTE m_keyState[256];
    int m_acquired;
};

class CMouse
{
public:
    CMouse();
    ~CMouse();

    HRESULT Init();
    // Reads the movement since the previous read; S_OK or E_FAIL.
    HRESULT Poll();
    // The movement of the last successful read.
    void GetMovement(LONG *dx, LONG *dy) const;

private:
    LPDIRECTINPUTDEVICE8A m_pDevice;
    int m_acquired;
    DIMOUSESTATE m_state;
};

HRESULT InitInput();
void ShutdownInput();
// Turns the free camera by the mouse movement of this tick.
int UpdateInput();

extern LPDIRECTINPUT8A g_directInput;

// Defined with the other global objects, in their fixed order of construction.
extern CKeyboard g_keyboard;
extern CMouse g_mouse;

#endif
