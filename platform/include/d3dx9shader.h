/*
 * d3dx9shader.h - D3DX 9 shader assembly: shader source text to D3D9 bytecode.
 *
 * D3DXAssembleShader and D3DXAssembleShaderFromFileA turn vs_1_1, vs_2_0, ps_1_1 to
 * ps_1_4 and ps_2_0 assembly into the token stream that IDirect3DDevice9::CreateVertexShader or
 * CreatePixelShader takes, handing it back in an
 * ID3DXBuffer (d3dx9core.h).  platform/d3dx9 implements them.  Object-like macros come
 * from the D3DXMACRO list and from "#define" lines; "#include" is not supported, so the
 * ID3DXInclude handler is never called.  Of the flags, only D3DXSHADER_SKIPVALIDATION
 * changes the result; D3DXSHADER_DEBUG adds no debug information (a notice on stderr says
 * so).  No HLSL compiler and no constant tables.
 */
#ifndef TAVROK_D3DX9SHADER_H
#define TAVROK_D3DX9SHADER_H

#include <d3dx9.h>
#include <d3dx9core.h>

/* Flags of the assemble and compile calls. */
#define D3DXSHADER_DEBUG (1 << 0)
#define D3DXSHADER_SKIPVALIDATION (1 << 1)
#define D3DXSHADER_SKIPOPTIMIZATION (1 << 2)
#define D3DXSHADER_PACKMATRIX_ROWMAJOR (1 << 3)
#define D3DXSHADER_PACKMATRIX_COLUMNMAJOR (1 << 4)
#define D3DXSHADER_PARTIALPRECISION (1 << 5)
#define D3DXSHADER_FORCE_VS_SOFTWARE_NOOPT (1 << 6)
#define D3DXSHADER_FORCE_PS_SOFTWARE_NOOPT (1 << 7)
#define D3DXSHADER_NO_PRESHADER (1 << 8)
#define D3DXSHADER_AVOID_FLOW_CONTROL (1 << 9)
#define D3DXSHADER_PREFER_FLOW_CONTROL (1 << 10)
#define D3DXSHADER_ENABLE_BACKWARDS_COMPATIBILITY (1 << 12)
#define D3DXSHADER_IEEE_STRICTNESS (1 << 13)
#define D3DXSHADER_USE_LEGACY_D3DX9_31_DLL (1 << 16)
#define D3DXSHADER_OPTIMIZATION_LEVEL0 (1 << 14)
#define D3DXSHADER_OPTIMIZATION_LEVEL1 0
#define D3DXSHADER_OPTIMIZATION_LEVEL2 ((1 << 14) | (1 << 15))
#define D3DXSHADER_OPTIMIZATION_LEVEL3 (1 << 15)

/* One preprocessor definition; a list of them ends with { NULL, NULL }. */
typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO, *LPD3DXMACRO;

typedef enum _D3DXINCLUDE_TYPE {
    D3DXINC_LOCAL = 0,
    D3DXINC_SYSTEM = 1,
    D3DXINC_FORCE_DWORD = 0x7fffffff
} D3DXINCLUDE_TYPE, *LPD3DXINCLUDE_TYPE;

/* The caller's handler for "#include" files (not a COM interface: no IUnknown). */
interface ID3DXInclude;
typedef interface ID3DXInclude *LPD3DXINCLUDE;

DECLARE_INTERFACE(ID3DXInclude)
{
    STDMETHOD(Open)(THIS_ D3DXINCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData,
                    LPCVOID *ppData, UINT *pBytes) PURE;
    STDMETHOD(Close)(THIS_ LPCVOID pData) PURE;
};

#ifdef __cplusplus
extern "C" {
#endif

/* Assembles the shader in the file pSrcFile (a Windows path).  On success *ppShader holds
 * the bytecode and *ppErrorMsgs (when given) is NULL; on failure *ppShader is NULL and
 * *ppErrorMsgs holds one "file(line,column): error: reason" line per error. */
HRESULT WINAPI D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, CONST D3DXMACRO *pDefines,
                                           LPD3DXINCLUDE pInclude, DWORD Flags,
                                           LPD3DXBUFFER *ppShader, LPD3DXBUFFER *ppErrorMsgs);

/* The same for SrcDataLen bytes of source text in memory. */
HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, CONST D3DXMACRO *pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXBUFFER *ppShader,
                                  LPD3DXBUFFER *ppErrorMsgs);

#ifdef __cplusplus
}
#endif

#define D3DXAssembleShaderFromFile D3DXAssembleShaderFromFileA

#endif
