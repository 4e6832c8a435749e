/*
 * shader_tokens.h - shader tokens built by hand, as an assembler would emit them, for the
 * tests that hand bytecode to CreateVertexShader and CreatePixelShader.
 */
#ifndef TAVROK_TESTS_D3D9_SHADER_TOKENS_H
#define TAVROK_TESTS_D3D9_SHADER_TOKENS_H

#include <d3d9.h>

namespace d3d9test {

// A parameter token: bit 31, the register type split over two fields, the number.
inline DWORD Reg(DWORD type, DWORD n)
{
    return 0x80000000 | ((type << D3DSP_REGTYPE_SHIFT) & D3DSP_REGTYPE_MASK) |
           ((type << D3DSP_REGTYPE_SHIFT2) & D3DSP_REGTYPE_MASK2) | n;
}
inline DWORD Dst(DWORD type, DWORD n, DWORD mask = D3DSP_WRITEMASK_ALL) { return Reg(type, n) | mask; }
inline DWORD Src(DWORD type, DWORD n, DWORD swizzle = D3DVS_NOSWIZZLE) { return Reg(type, n) | swizzle; }
inline DWORD Dcl(DWORD usage, DWORD index = 0) { return 0x80000000 | usage | (index << D3DSP_DCL_USAGEINDEX_SHIFT); }
// A version 2 instruction token: the opcode with the count of the tokens that follow it.
inline DWORD Ins(DWORD opcode, DWORD operandTokens) { return opcode | (operandTokens << D3DSI_INSTLENGTH_SHIFT); }
// The dcl token of a pixel shader's t# or v# input, and of a sampler of `type`.
constexpr DWORD kDclInput = 0x80000000;
inline DWORD DclSampler(DWORD type = D3DSTT_2D) { return 0x80000000 | type; }
// A float's bits, for def.
inline DWORD Bits(float f)
{
    DWORD d;
    static_assert(sizeof d == sizeof f);
    __builtin_memcpy(&d, &f, sizeof d);
    return d;
}
// A replicate swizzle: one component (0 x .. 3 w) in all four places.
inline DWORD Replicate(DWORD c) { return (c * 0x55) << D3DVS_SWIZZLE_SHIFT; }

}  // namespace d3d9test

#endif
