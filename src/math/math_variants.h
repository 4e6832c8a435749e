/*
 * math_variants.h - the table of processor-specific maths variants.
 *
 * The public D3DX functions call through one table chosen on first use: the SSE2 table
 * where the processor has SSE2 and neither DisablePSGP nor DisableD3DXPSGP is set under
 * HKEY_LOCAL_MACHINE\Software\Microsoft\Direct3D, the scalar table otherwise.  Both
 * tables are exposed here so that tests can compare them on the same inputs.
 */
#ifndef TAVROK_MATH_VARIANTS_H
#define TAVROK_MATH_VARIANTS_H

#include "d3dx9math.h"

struct SMathOps {
    const char *name;  // as announced: "x87", "SSE2"
    D3DXMATRIX *(*MatrixMultiply)(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2);
    D3DXVECTOR3 *(*Vec3TransformCoord)(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m);
    D3DXVECTOR3 *(*Vec3TransformNormal)(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m);
    D3DXVECTOR4 *(*Vec4Transform)(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, const D3DXMATRIX *m);
    D3DXVECTOR4 *(*Vec4Normalize)(D3DXVECTOR4 *out, const D3DXVECTOR4 *v);
};

extern const SMathOps g_scalarMathOps;
// Null when this build or processor has no SSE2 variant.
const SMathOps *Sse2MathOps();
// The table in use, chosen (and announced) on the first call.
const SMathOps &ActiveMathOps();
// True when DisablePSGP or DisableD3DXPSGP is set: every processor-specific variant, of
// the maths and of the other D3DX loops that have them, gives way to the scalar one.
bool ProcessorVariantsDisabled();

#endif
