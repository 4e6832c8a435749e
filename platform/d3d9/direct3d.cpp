/*
 * direct3d.cpp - Direct3DCreate9 and the IDirect3D9 object.
 */
#define INITGUID
#include <d3d9.h>

#include <tavrok/platform.h>

extern "C" IDirect3D9 *WINAPI Direct3DCreate9(UINT)
{
    tavrok::Unsupported("d3d9", "Direct3DCreate9 (device under construction)");
    return nullptr;
}
