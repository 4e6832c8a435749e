/*
 * d3dx9shape.h - meshes of simple shapes: box, sphere, cylinder (or cone) and torus.
 *
 * Each is centred at the origin with its axis along z, a managed D3DFVF_XYZ | D3DFVF_NORMAL
 * mesh; the adjacency buffer may be NULL.  Implemented in platform/d3dx9/shapes.cpp.
 */
#ifndef TAVROK_D3DX9SHAPE_H
#define TAVROK_D3DX9SHAPE_H

#include <d3dx9.h>

#ifdef __cplusplus
/* Declared here too: d3dx9.h includes this header while d3dx9mesh.h is being read. */
interface ID3DXMesh;
typedef ID3DXMesh *LPD3DXMESH;

extern "C" {
#endif

HRESULT WINAPI D3DXCreateBox(LPDIRECT3DDEVICE9 pDevice, FLOAT Width, FLOAT Height, FLOAT Depth, LPD3DXMESH *ppMesh,
                             LPD3DXBUFFER *ppAdjacency);
HRESULT WINAPI D3DXCreateSphere(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius, UINT Slices, UINT Stacks, LPD3DXMESH *ppMesh,
                                LPD3DXBUFFER *ppAdjacency);
/* Radius1 at the -z end, Radius2 at the +z end. */
HRESULT WINAPI D3DXCreateCylinder(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius1, FLOAT Radius2, FLOAT Length, UINT Slices,
                                  UINT Stacks, LPD3DXMESH *ppMesh, LPD3DXBUFFER *ppAdjacency);
/* InnerRadius is the tube's radius, OuterRadius the central hole's. */
HRESULT WINAPI D3DXCreateTorus(LPDIRECT3DDEVICE9 pDevice, FLOAT InnerRadius, FLOAT OuterRadius, UINT Sides, UINT Rings,
                               LPD3DXMESH *ppMesh, LPD3DXBUFFER *ppAdjacency);
/* A regular polygon in the z = 0 plane facing +z, each side Length long. */
HRESULT WINAPI D3DXCreatePolygon(LPDIRECT3DDEVICE9 pDevice, FLOAT Length, UINT Sides, LPD3DXMESH *ppMesh,
                                 LPD3DXBUFFER *ppAdjacency);

#ifdef __cplusplus
}
#endif

#endif
