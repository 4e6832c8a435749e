/*
 * d3d_setup.h - the graphics device: the start-up question, the Direct3D object, the
 * device and its first states.
 */
#ifndef TAVROK_APP_D3D_SETUP_H
#define TAVROK_APP_D3D_SETUP_H

#include <d3d9.h>

extern IDirect3D9 *g_pD3D;
extern IDirect3DDevice9 *g_pd3dDevice;
extern D3DPRESENT_PARAMETERS g_d3dpp;
extern IDirect3DSurface9 *g_pBackBuffer;  // owned by the scene set-up

HRESULT InitD3D(IDirect3D9 **ppD3D, IDirect3DDevice9 **ppDevice, HWND hWnd);

#endif
