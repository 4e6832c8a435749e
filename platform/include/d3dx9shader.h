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
 * so).  No HLSL compiler.
 *
 * Inspection of compiled bytecode: its version and size, its comment blocks, the
 * semantics of its inputs and outputs, its samplers, the best profile a device offers,
 * the disassembly (in the syntax D3DXAssembleShader reads) and the constant table that an
 * HLSL compiler leaves in a "CTAB" comment block, read through ID3DXConstantTable, which
 * sets the constants' values into the device's shader constant registers.
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


/* A handle to a constant (or a constant's name, wherever a handle is taken). */
typedef LPCSTR D3DXHANDLE;
typedef D3DXHANDLE *LPD3DXHANDLE;

/* The usage (a D3DDECLUSAGE) and usage index of one shader input or output. */
typedef struct _D3DXSEMANTIC {
    UINT Usage;
    UINT UsageIndex;
} D3DXSEMANTIC, *LPD3DXSEMANTIC;

typedef enum _D3DXREGISTER_SET {
    D3DXRS_BOOL,
    D3DXRS_INT4,
    D3DXRS_FLOAT4,
    D3DXRS_SAMPLER,
    D3DXRS_FORCE_DWORD = 0x7fffffff
} D3DXREGISTER_SET, *LPD3DXREGISTER_SET;

#ifndef D3DX_PARAMETER_TYPES_DEFINED
#define D3DX_PARAMETER_TYPES_DEFINED
typedef enum _D3DXPARAMETER_CLASS {
    D3DXPC_SCALAR,
    D3DXPC_VECTOR,
    D3DXPC_MATRIX_ROWS,
    D3DXPC_MATRIX_COLUMNS,
    D3DXPC_OBJECT,
    D3DXPC_STRUCT,
    D3DXPC_FORCE_DWORD = 0x7fffffff
} D3DXPARAMETER_CLASS, *LPD3DXPARAMETER_CLASS;

typedef enum _D3DXPARAMETER_TYPE {
    D3DXPT_VOID,
    D3DXPT_BOOL,
    D3DXPT_INT,
    D3DXPT_FLOAT,
    D3DXPT_STRING,
    D3DXPT_TEXTURE,
    D3DXPT_TEXTURE1D,
    D3DXPT_TEXTURE2D,
    D3DXPT_TEXTURE3D,
    D3DXPT_TEXTURECUBE,
    D3DXPT_SAMPLER,
    D3DXPT_SAMPLER1D,
    D3DXPT_SAMPLER2D,
    D3DXPT_SAMPLER3D,
    D3DXPT_SAMPLERCUBE,
    D3DXPT_PIXELSHADER,
    D3DXPT_VERTEXSHADER,
    D3DXPT_PIXELFRAGMENT,
    D3DXPT_VERTEXFRAGMENT,
    D3DXPT_UNSUPPORTED,
    D3DXPT_FORCE_DWORD = 0x7fffffff
} D3DXPARAMETER_TYPE, *LPD3DXPARAMETER_TYPE;
#endif

/* What ID3DXConstantTable::GetDesc and GetConstantDesc answer. */
typedef struct _D3DXCONSTANTTABLE_DESC {
    LPCSTR Creator;
    DWORD Version;
    UINT Constants;
} D3DXCONSTANTTABLE_DESC, *LPD3DXCONSTANTTABLE_DESC;

typedef struct _D3DXCONSTANT_DESC {
    LPCSTR Name;
    D3DXREGISTER_SET RegisterSet;
    UINT RegisterIndex;
    UINT RegisterCount;
    D3DXPARAMETER_CLASS Class;
    D3DXPARAMETER_TYPE Type;
    UINT Rows;
    UINT Columns;
    UINT Elements;
    UINT StructMembers;
    UINT Bytes;
    LPCVOID DefaultValue;
} D3DXCONSTANT_DESC, *LPD3DXCONSTANT_DESC;

/* The layout of the "CTAB" comment block: every offset counts bytes from the start of the
 * block's data (the D3DXSHADER_CONSTANTTABLE header, just after the FOURCC). */
typedef struct _D3DXSHADER_CONSTANTTABLE {
    DWORD Size;          /* sizeof(D3DXSHADER_CONSTANTTABLE) */
    DWORD Creator;       /* offset of the creator's name */
    DWORD Version;       /* the shader version token */
    DWORD Constants;     /* how many D3DXSHADER_CONSTANTINFO */
    DWORD ConstantInfo;  /* offset of the first */
    DWORD Flags;         /* the flags the shader was compiled with */
    DWORD Target;        /* offset of the target's name ("vs_2_0") */
} D3DXSHADER_CONSTANTTABLE, *LPD3DXSHADER_CONSTANTTABLE;

typedef struct _D3DXSHADER_CONSTANTINFO {
    DWORD Name;           /* offset of the name */
    WORD RegisterSet;     /* a D3DXREGISTER_SET */
    WORD RegisterIndex;
    WORD RegisterCount;
    WORD Reserved;
    DWORD TypeInfo;       /* offset of a D3DXSHADER_TYPEINFO */
    DWORD DefaultValue;   /* offset of the default value, or 0 */
} D3DXSHADER_CONSTANTINFO, *LPD3DXSHADER_CONSTANTINFO;

typedef struct _D3DXSHADER_TYPEINFO {
    WORD Class;           /* a D3DXPARAMETER_CLASS */
    WORD Type;            /* a D3DXPARAMETER_TYPE */
    WORD Rows;
    WORD Columns;
    WORD Elements;
    WORD StructMembers;
    DWORD StructMemberInfo;  /* offset of StructMembers D3DXSHADER_STRUCTMEMBERINFO */
} D3DXSHADER_TYPEINFO, *LPD3DXSHADER_TYPEINFO;

typedef struct _D3DXSHADER_STRUCTMEMBERINFO {
    DWORD Name;
    DWORD TypeInfo;
} D3DXSHADER_STRUCTMEMBERINFO, *LPD3DXSHADER_STRUCTMEMBERINFO;

/* D3DXGetShaderConstantTableEx: handles stay valid pointers-sized values on any address
 * space (ours always are). */
#define D3DXCONSTTABLE_LARGEADDRESSAWARE (1 << 17)

/* The constants of a compiled shader.  Handles come from GetConstant, GetConstantByName
 * ("name", "s.member", "a[2]", "a[2].member") and GetConstantElement; a name string may
 * be passed wherever a handle is taken.  The Set methods write the device's vertex or
 * pixel shader constant registers (as the table's shader version says), converting the
 * values to the register set the constant lives in and packing matrices in the
 * constant's order (MATRIX_COLUMNS: one register per column; MATRIX_ROWS: per row). */
DEFINE_GUID(IID_ID3DXConstantTable, 0xab3c758f, 0x93e, 0x4356, 0xb7, 0x62, 0x4d, 0xb1, 0x8f, 0x1b, 0x3a, 0x1);

#ifdef __cplusplus
interface ID3DXConstantTable : public IUnknown {
    STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
    STDMETHOD_(DWORD, GetBufferSize)() PURE;
    STDMETHOD(GetDesc)(D3DXCONSTANTTABLE_DESC *pDesc) PURE;
    STDMETHOD(GetConstantDesc)(D3DXHANDLE hConstant, D3DXCONSTANT_DESC *pConstantDesc, UINT *pCount) PURE;
    STDMETHOD_(UINT, GetSamplerIndex)(D3DXHANDLE hConstant) PURE;
    STDMETHOD_(D3DXHANDLE, GetConstant)(D3DXHANDLE hConstant, UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetConstantByName)(D3DXHANDLE hConstant, LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetConstantElement)(D3DXHANDLE hConstant, UINT Index) PURE;
    STDMETHOD(SetDefaults)(LPDIRECT3DDEVICE9 pDevice) PURE;
    STDMETHOD(SetValue)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, LPCVOID pData, UINT Bytes) PURE;
    STDMETHOD(SetBool)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, BOOL b) PURE;
    STDMETHOD(SetBoolArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST BOOL *pb, UINT Count) PURE;
    STDMETHOD(SetInt)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, INT n) PURE;
    STDMETHOD(SetIntArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST INT *pn, UINT Count) PURE;
    STDMETHOD(SetFloat)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, FLOAT f) PURE;
    STDMETHOD(SetFloatArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST FLOAT *pf, UINT Count) PURE;
    STDMETHOD(SetVector)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXVECTOR4 *pVector) PURE;
    STDMETHOD(SetVectorArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXVECTOR4 *pVector,
                              UINT Count) PURE;
    STDMETHOD(SetMatrix)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix) PURE;
    STDMETHOD(SetMatrixArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix,
                              UINT Count) PURE;
    STDMETHOD(SetMatrixPointerArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX **ppMatrix,
                                     UINT Count) PURE;
    STDMETHOD(SetMatrixTranspose)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix) PURE;
    STDMETHOD(SetMatrixTransposeArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix,
                                       UINT Count) PURE;
    STDMETHOD(SetMatrixTransposePointerArray)(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant,
                                              CONST D3DXMATRIX **ppMatrix, UINT Count) PURE;
};
typedef ID3DXConstantTable *LPD3DXCONSTANTTABLE;
#endif

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

/* The version token of a shader (0 for NULL). */
DWORD WINAPI D3DXGetShaderVersion(CONST DWORD *pFunction);
/* The size in bytes of a shader, its end token included (0 for NULL or a stream without
 * an end token within 1M tokens). */
UINT WINAPI D3DXGetShaderSize(CONST DWORD *pFunction);
/* The highest vertex / pixel shader profile the device supports ("vs_2_0", "ps_2_0",
 * ...), NULL when it supports none or pDevice is NULL. */
LPCSTR WINAPI D3DXGetVertexShaderProfile(LPDIRECT3DDEVICE9 pDevice);
LPCSTR WINAPI D3DXGetPixelShaderProfile(LPDIRECT3DDEVICE9 pDevice);
/* The data (after the FOURCC) of the first comment block whose first DWORD is FourCC;
 * S_FALSE when there is none. */
HRESULT WINAPI D3DXFindShaderComment(CONST DWORD *pFunction, DWORD FourCC, LPCVOID *ppData, UINT *pSizeInBytes);
/* The usages of the declared inputs, and of the outputs (declared, or for vs_1_x and
 * vs_2_0 the written o# registers); pSemantics may be NULL to ask for the count (at most
 * MAXD3DDECLLENGTH entries). */
HRESULT WINAPI D3DXGetShaderInputSemantics(CONST DWORD *pFunction, D3DXSEMANTIC *pSemantics, UINT *pCount);
HRESULT WINAPI D3DXGetShaderOutputSemantics(CONST DWORD *pFunction, D3DXSEMANTIC *pSemantics, UINT *pCount);
/* The samplers the shader samples: pSamplers[i] is the constant table's name of sampler
 * register i (NULL when the table names none), *pCount one past the highest used. */
HRESULT WINAPI D3DXGetShaderSamplers(CONST DWORD *pFunction, LPCSTR *pSamplers, UINT *pCount);
/* The constant table of a shader's "CTAB" comment; D3DXERR_INVALIDDATA when it has none
 * or the table is malformed. */
HRESULT WINAPI D3DXGetShaderConstantTable(CONST DWORD *pFunction, LPD3DXCONSTANTTABLE *ppConstantTable);
HRESULT WINAPI D3DXGetShaderConstantTableEx(CONST DWORD *pFunction, DWORD Flags,
                                            LPD3DXCONSTANTTABLE *ppConstantTable);
/* The shader as assembly text (NUL-terminated), pComments written first as a comment
 * line when given.  EnableColorCode gives no HTML colours: the text stays plain and a
 * notice on stderr says so once. */
HRESULT WINAPI D3DXDisassembleShader(CONST DWORD *pShader, BOOL EnableColorCode, LPCSTR pComments,
                                     LPD3DXBUFFER *ppDisassembly);

#ifdef __cplusplus
}
#endif

#define D3DXAssembleShaderFromFile D3DXAssembleShaderFromFileA

#endif
