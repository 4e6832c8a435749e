/*
 * tavrok/vertex_elements.h - vertex element sizes, shared by the device and D3DX.
 *
 * Defined in platform/d3d9, which reads vertices by their declarations; D3DX uses the same
 * sizes for the vertex size of a mesh made from a declaration.
 */
#ifndef TAVROK_VERTEX_ELEMENTS_H
#define TAVROK_VERTEX_ELEMENTS_H

#include <d3d9types.h>

namespace tavrok::d3d9 {

// Bytes of one element of a D3DDECLTYPE; 0 for the types that are not read (UDEC3, DEC3N,
// UNUSED) and for unknown ones.
UINT DeclTypeSize(BYTE type);

}  // namespace tavrok::d3d9

#endif
