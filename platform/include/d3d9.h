/*
 * d3d9.h - the Direct3D 9 interfaces: the Direct3D object, the device and its resources.
 *
 * COM-style C++ interfaces with the Windows SDK's names, method order and parameter
 * order, the interface identifiers, Direct3DCreate9 and the D3DERR_* result codes.
 * platform/d3d9 implements them over OpenGL 3.3 core (or, for D3DDEVTYPE_NULLREF, as a
 * device that keeps every state and resource in memory and draws nothing).  Interfaces
 * that the program never uses (swap chains, state blocks,
 * queries, pixel shaders) are declared by name only.
 */
#ifndef TAVROK_D3D9_H
#define TAVROK_D3D9_H

#ifndef DIRECT3D_VERSION
#define DIRECT3D_VERSION 0x0900
#endif

#include <windows.h>
#include <objbase.h>

#include <d3d9types.h>
#include <d3d9caps.h>

#define D3D_SDK_VERSION 32

#ifndef TAVROK_HAVE_PALETTEENTRY
#define TAVROK_HAVE_PALETTEENTRY
typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;
#endif

/* Interface identifiers */
DEFINE_GUID(IID_IDirect3D9, 0x81bdcbca, 0x64d4, 0x426d, 0xae, 0x8d, 0xad, 0x01, 0x47, 0xf4, 0x27, 0x5c);
DEFINE_GUID(IID_IDirect3DDevice9, 0xd0223b96, 0xbf7a, 0x43fd, 0x92, 0xbd, 0xa4, 0x3b, 0x0d, 0x82, 0xb9, 0xeb);
DEFINE_GUID(IID_IDirect3DResource9, 0x05eec05d, 0x8f7d, 0x4362, 0xb9, 0x99, 0xd1, 0xba, 0xf3, 0x57, 0xc7, 0x04);
DEFINE_GUID(IID_IDirect3DBaseTexture9, 0x580ca87e, 0x1d3c, 0x4d54, 0x99, 0x1d, 0xb7, 0xd3, 0xe3, 0xc2, 0x98, 0xce);
DEFINE_GUID(IID_IDirect3DTexture9, 0x85c31227, 0x3de5, 0x4f00, 0x9b, 0x3a, 0xf1, 0x1a, 0xc3, 0x8c, 0x18, 0xb5);
DEFINE_GUID(IID_IDirect3DCubeTexture9, 0xfff32f81, 0xd953, 0x473a, 0x92, 0x23, 0x93, 0xd6, 0x52, 0xab, 0xa9, 0x3f);
DEFINE_GUID(IID_IDirect3DVolumeTexture9, 0x2518526c, 0xe789, 0x4111, 0xa7, 0xb9, 0x47, 0xef, 0x32, 0x8d, 0x13, 0xe6);
DEFINE_GUID(IID_IDirect3DVolume9, 0x24f416e6, 0x1f67, 0x4aa7, 0xb8, 0x8e, 0xd3, 0x3f, 0x6f, 0x31, 0x28, 0xa1);
DEFINE_GUID(IID_IDirect3DSurface9, 0x0cfbaf3a, 0x9ff6, 0x429a, 0x99, 0xb3, 0xa2, 0x79, 0x6a, 0xf8, 0xb8, 0x9b);
DEFINE_GUID(IID_IDirect3DVertexBuffer9, 0xb64bb1b5, 0xfd70, 0x4df6, 0xbf, 0x91, 0x19, 0xd0, 0xa1, 0x24, 0x55, 0xe3);
DEFINE_GUID(IID_IDirect3DIndexBuffer9, 0x7c9dd65e, 0xd3f7, 0x4529, 0xac, 0xee, 0x78, 0x58, 0x30, 0xac, 0xde, 0x35);
DEFINE_GUID(IID_IDirect3DVertexShader9, 0xefc5557e, 0x6265, 0x4613, 0x8a, 0x94, 0x43, 0x85, 0x78, 0x89, 0xeb, 0x36);
DEFINE_GUID(IID_IDirect3DPixelShader9, 0x6d3bdbdc, 0x5b02, 0x4415, 0xb8, 0x52, 0xce, 0x5e, 0x8b, 0xcc, 0xb2, 0x89);
DEFINE_GUID(IID_IDirect3DVertexDeclaration9, 0xdd13c59c, 0x36fa, 0x4098, 0xa8, 0xfb, 0xc7, 0xed, 0x39, 0xdc, 0x85, 0x46);
DEFINE_GUID(IID_IDirect3DSwapChain9, 0x794950f2, 0xadfc, 0x458a, 0x90, 0x5e, 0x10, 0xa1, 0x0b, 0x0b, 0x50, 0x3b);
DEFINE_GUID(IID_IDirect3DStateBlock9, 0xb07c4fe5, 0x310d, 0x4ba8, 0xa2, 0x3c, 0x4f, 0x0f, 0x20, 0x6f, 0x21, 0x8b);
DEFINE_GUID(IID_IDirect3DQuery9, 0xd9771460, 0xa695, 0x4f26, 0xbb, 0xd3, 0x27, 0xb8, 0x40, 0xb5, 0x41, 0xcc);

interface IDirect3D9;
interface IDirect3DDevice9;
interface IDirect3DResource9;
interface IDirect3DBaseTexture9;
interface IDirect3DTexture9;
interface IDirect3DSurface9;
interface IDirect3DVertexBuffer9;
interface IDirect3DIndexBuffer9;
interface IDirect3DVertexShader9;
interface IDirect3DPixelShader9;
interface IDirect3DVertexDeclaration9;
interface IDirect3DStateBlock9;
interface IDirect3DSwapChain9;
/* Declared by name only: nothing in this system creates them. */
interface IDirect3DVolumeTexture9;
interface IDirect3DCubeTexture9;
interface IDirect3DVolume9;
interface IDirect3DQuery9;

typedef interface IDirect3D9 *LPDIRECT3D9, *PDIRECT3D9;
typedef interface IDirect3DDevice9 *LPDIRECT3DDEVICE9, *PDIRECT3DDEVICE9;
typedef interface IDirect3DResource9 *LPDIRECT3DRESOURCE9, *PDIRECT3DRESOURCE9;
typedef interface IDirect3DBaseTexture9 *LPDIRECT3DBASETEXTURE9, *PDIRECT3DBASETEXTURE9;
typedef interface IDirect3DTexture9 *LPDIRECT3DTEXTURE9, *PDIRECT3DTEXTURE9;
typedef interface IDirect3DSurface9 *LPDIRECT3DSURFACE9, *PDIRECT3DSURFACE9;
typedef interface IDirect3DCubeTexture9 *LPDIRECT3DCUBETEXTURE9, *PDIRECT3DCUBETEXTURE9;
typedef interface IDirect3DVolumeTexture9 *LPDIRECT3DVOLUMETEXTURE9, *PDIRECT3DVOLUMETEXTURE9;
typedef interface IDirect3DVolume9 *LPDIRECT3DVOLUME9, *PDIRECT3DVOLUME9;
typedef interface IDirect3DVertexBuffer9 *LPDIRECT3DVERTEXBUFFER9, *PDIRECT3DVERTEXBUFFER9;
typedef interface IDirect3DIndexBuffer9 *LPDIRECT3DINDEXBUFFER9, *PDIRECT3DINDEXBUFFER9;
typedef interface IDirect3DVertexShader9 *LPDIRECT3DVERTEXSHADER9, *PDIRECT3DVERTEXSHADER9;
typedef interface IDirect3DPixelShader9 *LPDIRECT3DPIXELSHADER9, *PDIRECT3DPIXELSHADER9;
typedef interface IDirect3DVertexDeclaration9 *LPDIRECT3DVERTEXDECLARATION9, *PDIRECT3DVERTEXDECLARATION9;
typedef interface IDirect3DStateBlock9 *LPDIRECT3DSTATEBLOCK9, *PDIRECT3DSTATEBLOCK9;
typedef interface IDirect3DSwapChain9 *LPDIRECT3DSWAPCHAIN9, *PDIRECT3DSWAPCHAIN9;

/* IDirect3D9: the adapter and the factory of devices. */
interface IDirect3D9 : public IUnknown {
    STDMETHOD(RegisterSoftwareDevice)(void *pInitializeFunction) PURE;
    STDMETHOD_(UINT, GetAdapterCount)() PURE;
    STDMETHOD(GetAdapterIdentifier)(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9 *pIdentifier) PURE;
    STDMETHOD_(UINT, GetAdapterModeCount)(UINT Adapter, D3DFORMAT Format) PURE;
    STDMETHOD(EnumAdapterModes)(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE *pMode) PURE;
    STDMETHOD(GetAdapterDisplayMode)(UINT Adapter, D3DDISPLAYMODE *pMode) PURE;
    STDMETHOD(CheckDeviceType)(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                               D3DFORMAT BackBufferFormat, BOOL bWindowed) PURE;
    STDMETHOD(CheckDeviceFormat)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                 D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) PURE;
    STDMETHOD(CheckDeviceMultiSampleType)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
                                          BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType,
                                          DWORD *pQualityLevels) PURE;
    STDMETHOD(CheckDepthStencilMatch)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                      D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) PURE;
    STDMETHOD(CheckDeviceFormatConversion)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                           D3DFORMAT TargetFormat) PURE;
    STDMETHOD(GetDeviceCaps)(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9 *pCaps) PURE;
    STDMETHOD_(HMONITOR, GetAdapterMonitor)(UINT Adapter) PURE;
    STDMETHOD(CreateDevice)(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                            D3DPRESENT_PARAMETERS *pPresentationParameters,
                            IDirect3DDevice9 **ppReturnedDeviceInterface) PURE;
};

/* IDirect3DDevice9: the rendering device. */
interface IDirect3DDevice9 : public IUnknown {
    STDMETHOD(TestCooperativeLevel)() PURE;
    STDMETHOD_(UINT, GetAvailableTextureMem)() PURE;
    STDMETHOD(EvictManagedResources)() PURE;
    STDMETHOD(GetDirect3D)(IDirect3D9 **ppD3D9) PURE;
    STDMETHOD(GetDeviceCaps)(D3DCAPS9 *pCaps) PURE;
    STDMETHOD(GetDisplayMode)(UINT iSwapChain, D3DDISPLAYMODE *pMode) PURE;
    STDMETHOD(GetCreationParameters)(D3DDEVICE_CREATION_PARAMETERS *pParameters) PURE;
    STDMETHOD(SetCursorProperties)(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9 *pCursorBitmap) PURE;
    STDMETHOD_(void, SetCursorPosition)(int X, int Y, DWORD Flags) PURE;
    STDMETHOD_(BOOL, ShowCursor)(BOOL bShow) PURE;
    STDMETHOD(CreateAdditionalSwapChain)(D3DPRESENT_PARAMETERS *pPresentationParameters,
                                         IDirect3DSwapChain9 **pSwapChain) PURE;
    STDMETHOD(GetSwapChain)(UINT iSwapChain, IDirect3DSwapChain9 **pSwapChain) PURE;
    STDMETHOD_(UINT, GetNumberOfSwapChains)() PURE;
    STDMETHOD(Reset)(D3DPRESENT_PARAMETERS *pPresentationParameters) PURE;
    STDMETHOD(Present)(CONST RECT *pSourceRect, CONST RECT *pDestRect, HWND hDestWindowOverride,
                       CONST RGNDATA *pDirtyRegion) PURE;
    STDMETHOD(GetBackBuffer)(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                             IDirect3DSurface9 **ppBackBuffer) PURE;
    STDMETHOD(GetRasterStatus)(UINT iSwapChain, D3DRASTER_STATUS *pRasterStatus) PURE;
    STDMETHOD(SetDialogBoxMode)(BOOL bEnableDialogs) PURE;
    STDMETHOD_(void, SetGammaRamp)(UINT iSwapChain, DWORD Flags, CONST D3DGAMMARAMP *pRamp) PURE;
    STDMETHOD_(void, GetGammaRamp)(UINT iSwapChain, D3DGAMMARAMP *pRamp) PURE;
    STDMETHOD(CreateTexture)(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                             IDirect3DTexture9 **ppTexture, HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateVolumeTexture)(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                   D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture9 **ppVolumeTexture,
                                   HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateCubeTexture)(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DCubeTexture9 **ppCubeTexture, HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateVertexBuffer)(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                  IDirect3DVertexBuffer9 **ppVertexBuffer, HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateIndexBuffer)(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DIndexBuffer9 **ppIndexBuffer, HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateRenderTarget)(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                  DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9 **ppSurface,
                                  HANDLE *pSharedHandle) PURE;
    STDMETHOD(CreateDepthStencilSurface)(UINT Width, UINT Height, D3DFORMAT Format,
                                         D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                         BOOL Discard, IDirect3DSurface9 **ppSurface, HANDLE *pSharedHandle) PURE;
    STDMETHOD(UpdateSurface)(IDirect3DSurface9 *pSourceSurface, CONST RECT *pSourceRect,
                             IDirect3DSurface9 *pDestinationSurface, CONST POINT *pDestPoint) PURE;
    STDMETHOD(UpdateTexture)(IDirect3DBaseTexture9 *pSourceTexture, IDirect3DBaseTexture9 *pDestinationTexture) PURE;
    STDMETHOD(GetRenderTargetData)(IDirect3DSurface9 *pRenderTarget, IDirect3DSurface9 *pDestSurface) PURE;
    STDMETHOD(GetFrontBufferData)(UINT iSwapChain, IDirect3DSurface9 *pDestSurface) PURE;
    STDMETHOD(StretchRect)(IDirect3DSurface9 *pSourceSurface, CONST RECT *pSourceRect,
                           IDirect3DSurface9 *pDestSurface, CONST RECT *pDestRect,
                           D3DTEXTUREFILTERTYPE Filter) PURE;
    STDMETHOD(ColorFill)(IDirect3DSurface9 *pSurface, CONST RECT *pRect, D3DCOLOR color) PURE;
    STDMETHOD(CreateOffscreenPlainSurface)(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                           IDirect3DSurface9 **ppSurface, HANDLE *pSharedHandle) PURE;
    STDMETHOD(SetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9 *pRenderTarget) PURE;
    STDMETHOD(GetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9 **ppRenderTarget) PURE;
    STDMETHOD(SetDepthStencilSurface)(IDirect3DSurface9 *pNewZStencil) PURE;
    STDMETHOD(GetDepthStencilSurface)(IDirect3DSurface9 **ppZStencilSurface) PURE;
    STDMETHOD(BeginScene)() PURE;
    STDMETHOD(EndScene)() PURE;
    STDMETHOD(Clear)(DWORD Count, CONST D3DRECT *pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) PURE;
    STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX *pMatrix) PURE;
    STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE State, D3DMATRIX *pMatrix) PURE;
    STDMETHOD(MultiplyTransform)(D3DTRANSFORMSTATETYPE, CONST D3DMATRIX *) PURE;
    STDMETHOD(SetViewport)(CONST D3DVIEWPORT9 *pViewport) PURE;
    STDMETHOD(GetViewport)(D3DVIEWPORT9 *pViewport) PURE;
    STDMETHOD(SetMaterial)(CONST D3DMATERIAL9 *pMaterial) PURE;
    STDMETHOD(GetMaterial)(D3DMATERIAL9 *pMaterial) PURE;
    STDMETHOD(SetLight)(DWORD Index, CONST D3DLIGHT9 *) PURE;
    STDMETHOD(GetLight)(DWORD Index, D3DLIGHT9 *) PURE;
    STDMETHOD(LightEnable)(DWORD Index, BOOL Enable) PURE;
    STDMETHOD(GetLightEnable)(DWORD Index, BOOL *pEnable) PURE;
    STDMETHOD(SetClipPlane)(DWORD Index, CONST float *pPlane) PURE;
    STDMETHOD(GetClipPlane)(DWORD Index, float *pPlane) PURE;
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE State, DWORD Value) PURE;
    STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE State, DWORD *pValue) PURE;
    STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9 **ppSB) PURE;
    STDMETHOD(BeginStateBlock)() PURE;
    STDMETHOD(EndStateBlock)(IDirect3DStateBlock9 **ppSB) PURE;
    STDMETHOD(SetClipStatus)(CONST D3DCLIPSTATUS9 *pClipStatus) PURE;
    STDMETHOD(GetClipStatus)(D3DCLIPSTATUS9 *pClipStatus) PURE;
    STDMETHOD(GetTexture)(DWORD Stage, IDirect3DBaseTexture9 **ppTexture) PURE;
    STDMETHOD(SetTexture)(DWORD Stage, IDirect3DBaseTexture9 *pTexture) PURE;
    STDMETHOD(GetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD *pValue) PURE;
    STDMETHOD(SetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(GetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD *pValue) PURE;
    STDMETHOD(SetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(ValidateDevice)(DWORD *pNumPasses) PURE;
    STDMETHOD(SetPaletteEntries)(UINT PaletteNumber, CONST PALETTEENTRY *pEntries) PURE;
    STDMETHOD(GetPaletteEntries)(UINT PaletteNumber, PALETTEENTRY *pEntries) PURE;
    STDMETHOD(SetCurrentTexturePalette)(UINT PaletteNumber) PURE;
    STDMETHOD(GetCurrentTexturePalette)(UINT *PaletteNumber) PURE;
    STDMETHOD(SetScissorRect)(CONST RECT *pRect) PURE;
    STDMETHOD(GetScissorRect)(RECT *pRect) PURE;
    STDMETHOD(SetSoftwareVertexProcessing)(BOOL bSoftware) PURE;
    STDMETHOD_(BOOL, GetSoftwareVertexProcessing)() PURE;
    STDMETHOD(SetNPatchMode)(float nSegments) PURE;
    STDMETHOD_(float, GetNPatchMode)() PURE;
    STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) PURE;
    STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE, INT BaseVertexIndex, UINT MinVertexIndex, UINT NumVertices,
                                    UINT startIndex, UINT primCount) PURE;
    STDMETHOD(DrawPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                               CONST void *pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(DrawIndexedPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                      UINT PrimitiveCount, CONST void *pIndexData, D3DFORMAT IndexDataFormat,
                                      CONST void *pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(ProcessVertices)(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                               IDirect3DVertexBuffer9 *pDestBuffer, IDirect3DVertexDeclaration9 *pVertexDecl,
                               DWORD Flags) PURE;
    STDMETHOD(CreateVertexDeclaration)(CONST D3DVERTEXELEMENT9 *pVertexElements,
                                       IDirect3DVertexDeclaration9 **ppDecl) PURE;
    STDMETHOD(SetVertexDeclaration)(IDirect3DVertexDeclaration9 *pDecl) PURE;
    STDMETHOD(GetVertexDeclaration)(IDirect3DVertexDeclaration9 **ppDecl) PURE;
    STDMETHOD(SetFVF)(DWORD FVF) PURE;
    STDMETHOD(GetFVF)(DWORD *pFVF) PURE;
    STDMETHOD(CreateVertexShader)(CONST DWORD *pFunction, IDirect3DVertexShader9 **ppShader) PURE;
    STDMETHOD(SetVertexShader)(IDirect3DVertexShader9 *pShader) PURE;
    STDMETHOD(GetVertexShader)(IDirect3DVertexShader9 **ppShader) PURE;
    STDMETHOD(SetVertexShaderConstantF)(UINT StartRegister, CONST float *pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(GetVertexShaderConstantF)(UINT StartRegister, float *pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(SetVertexShaderConstantI)(UINT StartRegister, CONST int *pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(GetVertexShaderConstantI)(UINT StartRegister, int *pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(SetVertexShaderConstantB)(UINT StartRegister, CONST BOOL *pConstantData, UINT BoolCount) PURE;
    STDMETHOD(GetVertexShaderConstantB)(UINT StartRegister, BOOL *pConstantData, UINT BoolCount) PURE;
    STDMETHOD(SetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9 *pStreamData, UINT OffsetInBytes,
                               UINT Stride) PURE;
    STDMETHOD(GetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9 **ppStreamData, UINT *pOffsetInBytes,
                               UINT *pStride) PURE;
    STDMETHOD(SetStreamSourceFreq)(UINT StreamNumber, UINT Setting) PURE;
    STDMETHOD(GetStreamSourceFreq)(UINT StreamNumber, UINT *pSetting) PURE;
    STDMETHOD(SetIndices)(IDirect3DIndexBuffer9 *pIndexData) PURE;
    STDMETHOD(GetIndices)(IDirect3DIndexBuffer9 **ppIndexData) PURE;
    STDMETHOD(CreatePixelShader)(CONST DWORD *pFunction, IDirect3DPixelShader9 **ppShader) PURE;
    STDMETHOD(SetPixelShader)(IDirect3DPixelShader9 *pShader) PURE;
    STDMETHOD(GetPixelShader)(IDirect3DPixelShader9 **ppShader) PURE;
    STDMETHOD(SetPixelShaderConstantF)(UINT StartRegister, CONST float *pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(GetPixelShaderConstantF)(UINT StartRegister, float *pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(SetPixelShaderConstantI)(UINT StartRegister, CONST int *pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(GetPixelShaderConstantI)(UINT StartRegister, int *pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(SetPixelShaderConstantB)(UINT StartRegister, CONST BOOL *pConstantData, UINT BoolCount) PURE;
    STDMETHOD(GetPixelShaderConstantB)(UINT StartRegister, BOOL *pConstantData, UINT BoolCount) PURE;
    STDMETHOD(DrawRectPatch)(UINT Handle, CONST float *pNumSegs, CONST D3DRECTPATCH_INFO *pRectPatchInfo) PURE;
    STDMETHOD(DrawTriPatch)(UINT Handle, CONST float *pNumSegs, CONST D3DTRIPATCH_INFO *pTriPatchInfo) PURE;
    STDMETHOD(DeletePatch)(UINT Handle) PURE;
    STDMETHOD(CreateQuery)(D3DQUERYTYPE Type, IDirect3DQuery9 **ppQuery) PURE;
};

/* IDirect3DResource9: what every device memory object shares. */
interface IDirect3DResource9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(SetPrivateData)(REFGUID refguid, CONST void *pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(REFGUID refguid, void *pData, DWORD *pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)() PURE;
    STDMETHOD_(void, PreLoad)() PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)() PURE;
};

interface IDirect3DBaseTexture9 : public IDirect3DResource9 {
    STDMETHOD_(DWORD, SetLOD)(DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)() PURE;
    STDMETHOD_(DWORD, GetLevelCount)() PURE;
    STDMETHOD(SetAutoGenFilterType)(D3DTEXTUREFILTERTYPE FilterType) PURE;
    STDMETHOD_(D3DTEXTUREFILTERTYPE, GetAutoGenFilterType)() PURE;
    STDMETHOD_(void, GenerateMipSubLevels)() PURE;
};

interface IDirect3DTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DSURFACE_DESC *pDesc) PURE;
    STDMETHOD(GetSurfaceLevel)(UINT Level, IDirect3DSurface9 **ppSurfaceLevel) PURE;
    STDMETHOD(LockRect)(UINT Level, D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(CONST RECT *pDirtyRect) PURE;
};

interface IDirect3DCubeTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DSURFACE_DESC *pDesc) PURE;
    STDMETHOD(GetCubeMapSurface)(D3DCUBEMAP_FACES FaceType, UINT Level, IDirect3DSurface9 **ppCubeMapSurface) PURE;
    STDMETHOD(LockRect)(D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect,
                        DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(D3DCUBEMAP_FACES FaceType, UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(D3DCUBEMAP_FACES FaceType, CONST RECT *pDirtyRect) PURE;
};

interface IDirect3DVolumeTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DVOLUME_DESC *pDesc) PURE;
    STDMETHOD(GetVolumeLevel)(UINT Level, IDirect3DVolume9 **ppVolumeLevel) PURE;
    STDMETHOD(LockBox)(UINT Level, D3DLOCKED_BOX *pLockedVolume, CONST D3DBOX *pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)(UINT Level) PURE;
    STDMETHOD(AddDirtyBox)(CONST D3DBOX *pDirtyBox) PURE;
};

/* IDirect3DVolume9: one level of a volume texture. */
interface IDirect3DVolume9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(SetPrivateData)(REFGUID refguid, CONST void *pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(REFGUID refguid, void *pData, DWORD *pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(REFGUID refguid) PURE;
    STDMETHOD(GetContainer)(REFIID riid, void **ppContainer) PURE;
    STDMETHOD(GetDesc)(D3DVOLUME_DESC *pDesc) PURE;
    STDMETHOD(LockBox)(D3DLOCKED_BOX *pLockedVolume, CONST D3DBOX *pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)() PURE;
};

interface IDirect3DSurface9 : public IDirect3DResource9 {
    STDMETHOD(GetContainer)(REFIID riid, void **ppContainer) PURE;
    STDMETHOD(GetDesc)(D3DSURFACE_DESC *pDesc) PURE;
    STDMETHOD(LockRect)(D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)() PURE;
    STDMETHOD(GetDC)(HDC *phdc) PURE;
    STDMETHOD(ReleaseDC)(HDC hdc) PURE;
};

interface IDirect3DVertexBuffer9 : public IDirect3DResource9 {
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void **ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)() PURE;
    STDMETHOD(GetDesc)(D3DVERTEXBUFFER_DESC *pDesc) PURE;
};

interface IDirect3DIndexBuffer9 : public IDirect3DResource9 {
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void **ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)() PURE;
    STDMETHOD(GetDesc)(D3DINDEXBUFFER_DESC *pDesc) PURE;
};

interface IDirect3DVertexShader9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(GetFunction)(void *pData, UINT *pSizeOfData) PURE;
};

interface IDirect3DPixelShader9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(GetFunction)(void *pData, UINT *pSizeOfData) PURE;
};

interface IDirect3DVertexDeclaration9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 *pElement, UINT *pNumElements) PURE;
};

/* IDirect3DStateBlock9: a recorded set of device states, captured again or applied. */
interface IDirect3DStateBlock9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(Capture)() PURE;
    STDMETHOD(Apply)() PURE;
};

/* IDirect3DQuery9: an asynchronous question to the device (occlusion, event, timestamp). */
interface IDirect3DQuery9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD_(D3DQUERYTYPE, GetType)() PURE;
    STDMETHOD_(DWORD, GetDataSize)() PURE;
    STDMETHOD(Issue)(DWORD dwIssueFlags) PURE;
    STDMETHOD(GetData)(void *pData, DWORD dwSize, DWORD dwGetDataFlags) PURE;
};
typedef interface IDirect3DQuery9 *LPDIRECT3DQUERY9, *PDIRECT3DQUERY9;

/* IDirect3DSwapChain9: the device's one swap chain (the implicit one), its back buffer and
   presentation. */
interface IDirect3DSwapChain9 : public IUnknown {
    STDMETHOD(Present)(CONST RECT *pSourceRect, CONST RECT *pDestRect, HWND hDestWindowOverride,
                       CONST RGNDATA *pDirtyRegion, DWORD dwFlags) PURE;
    STDMETHOD(GetFrontBufferData)(IDirect3DSurface9 *pDestSurface) PURE;
    STDMETHOD(GetBackBuffer)(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9 **ppBackBuffer) PURE;
    STDMETHOD(GetRasterStatus)(D3DRASTER_STATUS *pRasterStatus) PURE;
    STDMETHOD(GetDisplayMode)(D3DDISPLAYMODE *pMode) PURE;
    STDMETHOD(GetDevice)(IDirect3DDevice9 **ppDevice) PURE;
    STDMETHOD(GetPresentParameters)(D3DPRESENT_PARAMETERS *pPresentationParameters) PURE;
};

/* Device creation behaviour flags */
#define D3DPV_DONOTCOPYDATA (1 << 0)  // ProcessVertices: write only what the vertex stage changes

#define D3DCREATE_FPU_PRESERVE 0x00000002L
#define D3DCREATE_MULTITHREADED 0x00000004L
#define D3DCREATE_PUREDEVICE 0x00000010L
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x00000080L
#define D3DCREATE_DISABLE_DRIVER_MANAGEMENT 0x00000100L
#define D3DCREATE_ADAPTERGROUP_DEVICE 0x00000200L

#define D3DADAPTER_DEFAULT 0
#define D3DENUM_WHQL_LEVEL 0x00000002L
#define D3DSGR_NO_CALIBRATION 0x00000000L
#define D3DSGR_CALIBRATE 0x00000001L
#define D3DCURSOR_IMMEDIATE_UPDATE 0x00000001L

/* Result codes */
#define _FACD3D 0x876
#define MAKE_D3DHRESULT(code) MAKE_HRESULT(1, _FACD3D, code)
#define MAKE_D3DSTATUS(code) MAKE_HRESULT(0, _FACD3D, code)

#define D3D_OK S_OK
#define D3DERR_WRONGTEXTUREFORMAT MAKE_D3DHRESULT(2072)
#define D3DERR_UNSUPPORTEDCOLOROPERATION MAKE_D3DHRESULT(2073)
#define D3DERR_UNSUPPORTEDCOLORARG MAKE_D3DHRESULT(2074)
#define D3DERR_UNSUPPORTEDALPHAOPERATION MAKE_D3DHRESULT(2075)
#define D3DERR_UNSUPPORTEDALPHAARG MAKE_D3DHRESULT(2076)
#define D3DERR_TOOMANYOPERATIONS MAKE_D3DHRESULT(2077)
#define D3DERR_CONFLICTINGTEXTUREFILTER MAKE_D3DHRESULT(2078)
#define D3DERR_UNSUPPORTEDFACTORVALUE MAKE_D3DHRESULT(2079)
#define D3DERR_CONFLICTINGRENDERSTATE MAKE_D3DHRESULT(2081)
#define D3DERR_UNSUPPORTEDTEXTUREFILTER MAKE_D3DHRESULT(2082)
#define D3DERR_CONFLICTINGTEXTUREPALETTE MAKE_D3DHRESULT(2086)
#define D3DERR_DRIVERINTERNALERROR MAKE_D3DHRESULT(2087)
#define D3DERR_NOTFOUND MAKE_D3DHRESULT(2150)
#define D3DERR_MOREDATA MAKE_D3DHRESULT(2151)
#define D3DERR_DEVICELOST MAKE_D3DHRESULT(2152)
#define D3DERR_DEVICENOTRESET MAKE_D3DHRESULT(2153)
#define D3DERR_NOTAVAILABLE MAKE_D3DHRESULT(2154)
#define D3DERR_OUTOFVIDEOMEMORY MAKE_D3DHRESULT(380)
#define D3DERR_INVALIDDEVICE MAKE_D3DHRESULT(2155)
#define D3DERR_INVALIDCALL MAKE_D3DHRESULT(2156)
#define D3DERR_DRIVERINVALIDCALL MAKE_D3DHRESULT(2157)
#define D3DERR_WASSTILLDRAWING MAKE_D3DHRESULT(540)

/* IDirect3DSwapChain9::Present flags */
#define D3DPRESENT_DONOTWAIT 0x00000001L
#define D3DPRESENT_LINEAR_CONTENT 0x00000002L
#define D3DOK_NOAUTOGEN MAKE_D3DSTATUS(2159)

#ifdef __cplusplus
extern "C" {
#endif
IDirect3D9 *WINAPI Direct3DCreate9(UINT SDKVersion);
#ifdef __cplusplus
}
#endif

#endif
