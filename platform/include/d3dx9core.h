/*
 * d3dx9core.h - D3DX buffers and fonts.
 *
 * ID3DXBuffer is a block of bytes with a reference count.  ID3DXFont draws text with a
 * face picked by the system's font configuration (a missing face gets its substitute),
 * its glyphs rendered antialiased into textures and drawn as quads through the device.
 * ID3DXSprite batches textured quads; a font can draw its text into one.  Implemented in
 * platform/d3dx9 (buffer.cpp, font.cpp, sprite.cpp).  Billboarded sprites, the Unicode
 * entry points and the GDI side of fonts (device contexts, text metrics) are declared for
 * completeness and report themselves unsupported.
 *
 * ID3DXRenderToSurface points the device at a surface for one scene and puts the
 * device's target, depth buffer and viewport back afterwards (render_to_surface.cpp).
 * ID3DXLine draws line strips in screen pixels, or through a matrix, as quads of its
 * width, with a stipple pattern and antialiased edges (line.cpp).
 * ID3DXRenderToEnvMap draws the six faces of a cube texture one scene each, the same way
 * (render_to_env_map.cpp); the sphere, hemisphere and parabolic maps report themselves
 * unsupported.
 */
#ifndef TAVROK_D3DX9CORE_H
#define TAVROK_D3DX9CORE_H

#include <d3dx9.h>

/* GDI font and DrawText constants the font entry points take. */
#ifndef LF_FACESIZE
#define LF_FACESIZE 32
#endif
#ifndef FW_DONTCARE
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900
#endif
#ifndef DEFAULT_CHARSET
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define OUT_TT_ONLY_PRECIS 7
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50
#endif
#ifndef DT_TOP
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#endif

typedef struct tagTEXTMETRICA TEXTMETRICA, *LPTEXTMETRICA;
typedef struct tagTEXTMETRICW TEXTMETRICW, *LPTEXTMETRICW;

typedef struct _D3DXFONT_DESCA {
    INT Height;
    UINT Width;
    UINT Weight;
    UINT MipLevels;
    BOOL Italic;
    BYTE CharSet;
    BYTE OutputPrecision;
    BYTE Quality;
    BYTE PitchAndFamily;
    CHAR FaceName[LF_FACESIZE];
} D3DXFONT_DESCA, *LPD3DXFONT_DESCA;

typedef struct _D3DXFONT_DESCW {
    INT Height;
    UINT Width;
    UINT Weight;
    UINT MipLevels;
    BOOL Italic;
    BYTE CharSet;
    BYTE OutputPrecision;
    BYTE Quality;
    BYTE PitchAndFamily;
    WCHAR FaceName[LF_FACESIZE];
} D3DXFONT_DESCW, *LPD3DXFONT_DESCW;
typedef D3DXFONT_DESCA D3DXFONT_DESC;
typedef LPD3DXFONT_DESCA LPD3DXFONT_DESC;

DEFINE_GUID(IID_ID3DXBuffer, 0x8ba5fb08, 0x5195, 0x40e2, 0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02);
DEFINE_GUID(IID_ID3DXFont, 0xd79dbb70, 0x5f21, 0x4d36, 0xbb, 0xc2, 0xff, 0x52, 0x5c, 0x21, 0x3c, 0xdc);
DEFINE_GUID(IID_ID3DXRenderToSurface, 0x6985f346, 0x2c3d, 0x43b3, 0xbe, 0x8b, 0xda, 0xae, 0x8a, 0x03, 0xd8, 0x94);
DEFINE_GUID(IID_ID3DXLine, 0xd379ba7f, 0x9042, 0x4ac4, 0x9f, 0x5e, 0x58, 0x19, 0x2a, 0x4c, 0x6b, 0xd8);
DEFINE_GUID(IID_ID3DXSprite, 0xba0b762d, 0x7d28, 0x43ec, 0xb9, 0xdc, 0x2f, 0x84, 0x44, 0x3b, 0x06, 0x14);

#ifdef __cplusplus
interface ID3DXBuffer : public IUnknown {
    STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
    STDMETHOD_(DWORD, GetBufferSize)() PURE;
};
typedef ID3DXBuffer *LPD3DXBUFFER;

/* Sprites batch textured quads between Begin and End, in screen pixels or, with
   D3DXSPRITE_OBJECTSPACE, through the device's transforms. */
#define D3DXSPRITE_DONOTSAVESTATE (1 << 0)
#define D3DXSPRITE_DONOTMODIFY_RENDERSTATE (1 << 1)
#define D3DXSPRITE_OBJECTSPACE (1 << 2)
#define D3DXSPRITE_BILLBOARD (1 << 3)
#define D3DXSPRITE_ALPHABLEND (1 << 4)
#define D3DXSPRITE_SORT_TEXTURE (1 << 5)
#define D3DXSPRITE_SORT_DEPTH_FRONTTOBACK (1 << 6)
#define D3DXSPRITE_SORT_DEPTH_BACKTOFRONT (1 << 7)
#define D3DXSPRITE_DO_NOT_ADDREF_TEXTURE (1 << 8)

interface ID3DXSprite : public IUnknown {
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(GetTransform)(D3DXMATRIX *pTransform) PURE;
    STDMETHOD(SetTransform)(CONST D3DXMATRIX *pTransform) PURE;
    STDMETHOD(SetWorldViewRH)(CONST D3DXMATRIX *pWorld, CONST D3DXMATRIX *pView) PURE;
    STDMETHOD(SetWorldViewLH)(CONST D3DXMATRIX *pWorld, CONST D3DXMATRIX *pView) PURE;
    STDMETHOD(Begin)(DWORD Flags) PURE;
    STDMETHOD(Draw)(LPDIRECT3DTEXTURE9 pTexture, CONST RECT *pSrcRect, CONST D3DXVECTOR3 *pCenter,
                    CONST D3DXVECTOR3 *pPosition, D3DCOLOR Color) PURE;
    STDMETHOD(Flush)() PURE;
    STDMETHOD(End)() PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXSprite *LPD3DXSPRITE;

interface ID3DXFont : public IUnknown {
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(GetDescA)(D3DXFONT_DESCA *pDesc) PURE;
    STDMETHOD(GetDescW)(D3DXFONT_DESCW *pDesc) PURE;
    STDMETHOD_(BOOL, GetTextMetricsA)(TEXTMETRICA *pTextMetrics) PURE;
    STDMETHOD_(BOOL, GetTextMetricsW)(TEXTMETRICW *pTextMetrics) PURE;
    STDMETHOD_(HDC, GetDC)() PURE;
    STDMETHOD(GetGlyphData)(UINT Glyph, LPDIRECT3DTEXTURE9 *ppTexture, RECT *pBlackBox, POINT *pCellInc) PURE;
    STDMETHOD(PreloadCharacters)(UINT First, UINT Last) PURE;
    STDMETHOD(PreloadGlyphs)(UINT First, UINT Last) PURE;
    STDMETHOD(PreloadTextA)(LPCSTR pString, INT Count) PURE;
    STDMETHOD(PreloadTextW)(LPCWSTR pString, INT Count) PURE;
    STDMETHOD_(INT, DrawTextA)(LPD3DXSPRITE pSprite, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format,
                               D3DCOLOR Color) PURE;
    STDMETHOD_(INT, DrawTextW)(LPD3DXSPRITE pSprite, LPCWSTR pString, INT Count, LPRECT pRect, DWORD Format,
                               D3DCOLOR Color) PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXFont *LPD3DXFONT;

typedef struct _D3DXRTS_DESC {
    UINT Width;
    UINT Height;
    D3DFORMAT Format;
    BOOL DepthStencil;
    D3DFORMAT DepthStencilFormat;
} D3DXRTS_DESC, *LPD3DXRTS_DESC;

interface ID3DXRenderToSurface : public IUnknown {
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(GetDesc)(D3DXRTS_DESC *pDesc) PURE;
    STDMETHOD(BeginScene)(LPDIRECT3DSURFACE9 pSurface, CONST D3DVIEWPORT9 *pViewport) PURE;
    STDMETHOD(EndScene)(DWORD MipFilter) PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXRenderToSurface *LPD3DXRENDERTOSURFACE;

interface ID3DXLine : public IUnknown {
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(Begin)() PURE;
    STDMETHOD(Draw)(CONST D3DXVECTOR2 *pVertexList, DWORD dwVertexListCount, D3DCOLOR Color) PURE;
    STDMETHOD(DrawTransform)(CONST D3DXVECTOR3 *pVertexList, DWORD dwVertexListCount, CONST D3DXMATRIX *pTransform,
                             D3DCOLOR Color) PURE;
    STDMETHOD(SetPattern)(DWORD dwPattern) PURE;
    STDMETHOD_(DWORD, GetPattern)() PURE;
    STDMETHOD(SetPatternScale)(FLOAT fPatternScale) PURE;
    STDMETHOD_(FLOAT, GetPatternScale)() PURE;
    STDMETHOD(SetWidth)(FLOAT fWidth) PURE;
    STDMETHOD_(FLOAT, GetWidth)() PURE;
    STDMETHOD(SetAntialias)(BOOL bAntialias) PURE;
    STDMETHOD_(BOOL, GetAntialias)() PURE;
    STDMETHOD(SetGLLines)(BOOL bGLLines) PURE;
    STDMETHOD_(BOOL, GetGLLines)() PURE;
    STDMETHOD(End)() PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXLine *LPD3DXLINE;

/* Environment maps drawn face by face: a cube texture's six faces, one scene each. */
DEFINE_GUID(IID_ID3DXRenderToEnvMap, 0x313f1b4b, 0xc7b0, 0x4fa2, 0x9d, 0x9d, 0x8d, 0x38, 0x0b, 0x64, 0x38, 0x5e);

typedef struct _D3DXRTE_DESC {
    UINT Size;
    UINT MipLevels;
    D3DFORMAT Format;
    BOOL DepthStencil;
    D3DFORMAT DepthStencilFormat;
} D3DXRTE_DESC, *LPD3DXRTE_DESC;

interface ID3DXRenderToEnvMap : public IUnknown {
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(GetDesc)(D3DXRTE_DESC *pDesc) PURE;
    STDMETHOD(BeginCube)(LPDIRECT3DCUBETEXTURE9 pCubeTex) PURE;
    STDMETHOD(BeginSphere)(LPDIRECT3DTEXTURE9 pTex) PURE;
    STDMETHOD(BeginHemisphere)(LPDIRECT3DTEXTURE9 pTexZPos, LPDIRECT3DTEXTURE9 pTexZNeg) PURE;
    STDMETHOD(BeginParabolic)(LPDIRECT3DTEXTURE9 pTexZPos, LPDIRECT3DTEXTURE9 pTexZNeg) PURE;
    STDMETHOD(Face)(D3DCUBEMAP_FACES Face, DWORD MipFilter) PURE;
    STDMETHOD(End)(DWORD MipFilter) PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXRenderToEnvMap *LPD3DXRenderToEnvMap;
typedef ID3DXRenderToEnvMap *LPD3DXRENDERTOENVMAP;

extern "C" {
HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER *ppBuffer);
HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 pDevice, LPD3DXSPRITE *ppSprite);
HRESULT WINAPI D3DXCreateRenderToSurface(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, D3DFORMAT Format,
                                         BOOL DepthStencil, D3DFORMAT DepthStencilFormat,
                                         LPD3DXRENDERTOSURFACE *ppRenderToSurface);
HRESULT WINAPI D3DXCreateLine(LPDIRECT3DDEVICE9 pDevice, LPD3DXLINE *ppLine);
HRESULT WINAPI D3DXCreateRenderToEnvMap(LPDIRECT3DDEVICE9 pDevice, UINT Size, UINT MipLevels, D3DFORMAT Format,
                                        BOOL DepthStencil, D3DFORMAT DepthStencilFormat,
                                        LPD3DXRENDERTOENVMAP *ppRenderToEnvMap);

HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight, UINT MipLevels,
                               BOOL Italic, DWORD CharSet, DWORD OutputPrecision, DWORD Quality,
                               DWORD PitchAndFamily, LPCSTR pFaceName, LPD3DXFONT *ppFont);
HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 pDevice, CONST D3DXFONT_DESCA *pDesc, LPD3DXFONT *ppFont);
}
#define D3DXCreateFont D3DXCreateFontA
#define D3DXCreateFontIndirect D3DXCreateFontIndirectA
#endif /* __cplusplus */

#endif /* TAVROK_D3DX9CORE_H */
