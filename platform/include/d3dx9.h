/*
 * d3dx9.h - the D3DX 9 utility library: one header for all of it.
 *
 * Holds what every part of D3DX shares (D3DX_DEFAULT and friends, the D3DXERR_* result
 * codes) and includes the parts: maths, core (buffers, fonts), textures, and meshes and
 * shaders where they exist.  The part headers include this one first, as the SDK's do,
 * so any of them may be included on its own.
 */
#ifndef TAVROK_D3DX9_H
#define TAVROK_D3DX9_H

#include <float.h>

#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_DEFAULT_NONPOW2 ((UINT)-2)
#define D3DX_DEFAULT_FLOAT FLT_MAX
#define D3DX_FROM_FILE ((UINT)-3)
#define D3DFMT_FROM_FILE ((D3DFORMAT)-3)

#define D3DX_VERSION 0x0902
#define D3DX_SDK_VERSION 43

#include <d3d9.h>
#include <d3dx9math.h>

/* Result codes (facility 0x876, as Direct3D's). */
#ifndef D3DXERR_INVALIDMESH
#define D3DXERR_CANNOTMODIFYINDEXBUFFER MAKE_HRESULT(1, 0x876, 2900)
#define D3DXERR_INVALIDMESH MAKE_HRESULT(1, 0x876, 2901)
#define D3DXERR_CANNOTATTRSORT MAKE_HRESULT(1, 0x876, 2902)
#define D3DXERR_SKINNINGNOTSUPPORTED MAKE_HRESULT(1, 0x876, 2903)
#define D3DXERR_TOOMANYINFLUENCES MAKE_HRESULT(1, 0x876, 2904)
#define D3DXERR_INVALIDDATA MAKE_HRESULT(1, 0x876, 2905)
#define D3DXERR_LOADEDMESHASNODATA MAKE_HRESULT(1, 0x876, 2906)
#define D3DXERR_DUPLICATENAMEDFRAGMENT MAKE_HRESULT(1, 0x876, 2907)
#define D3DXERR_CANNOTREMOVELASTITEM MAKE_HRESULT(1, 0x876, 2908)
#endif

#include <d3dx9core.h>
#include <d3dx9tex.h>
#if __has_include(<d3dx9mesh.h>)
#include <d3dx9mesh.h>
#include <d3dx9shape.h>
#endif
#if __has_include(<d3dx9shader.h>)
#include <d3dx9shader.h>
#endif

#endif /* TAVROK_D3DX9_H */
