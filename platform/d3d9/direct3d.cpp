/*
 * direct3d.cpp - Direct3DCreate9, the IDirect3D9 object and the library's live-object count.
 *
 * The Direct3D object describes one adapter: the desktop display SDL reports, with the
 * formats the OpenGL back end can draw into.  CreateDevice builds a device over OpenGL
 * 3.3 core on the window's SDL_Window (D3DDEVTYPE_HAL) or, for D3DDEVTYPE_NULLREF, a
 * device that keeps every state and resource in memory and draws nothing.  No mode is
 * enumerated beyond the desktop mode and 1024 x 768, and multisampling is refused.
 * The caps offer vs_2_0 and ps_2_0; of vs_2_x, the flow control the vertex shader reader
 * accepts (rep, loop and call 4 deep, if_comp, break and break_comp), without predication.
 */
#define INITGUID
#include "d3d9_private.h"

#include <tavrok/d3d9_debug.h>
#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace tavrok::d3d9 {

void TakeClientSize(D3DPRESENT_PARAMETERS &pp, HWND focus)
{
    HWND window = DeviceWindow(pp, focus);
    SDL_Window *sdl = window ? SdlWindowOf(window) : nullptr;
    if (!pp.Windowed || !sdl || (pp.BackBufferWidth && pp.BackBufferHeight))
        return;
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    if (!pp.BackBufferWidth)
        pp.BackBufferWidth = UINT(std::max(w, 0));
    if (!pp.BackBufferHeight)
        pp.BackBufferHeight = UINT(std::max(h, 0));
}

bool CheckBackBufferCount(D3DPRESENT_PARAMETERS &pp, const char *what)
{
    if (pp.BackBufferCount == 0)
        pp.BackBufferCount = 1;
    if (pp.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) {
        pp.BackBufferCount = D3DPRESENT_BACK_BUFFERS_MAX;
        Diagnostic(kLib, "", "", std::string(what) + ": more than 3 back buffers (the count is set to 3)");
        return false;
    }
    if (pp.SwapEffect == D3DSWAPEFFECT_COPY && pp.BackBufferCount > 1) {
        Diagnostic(kLib, "", "", std::string(what) + ": D3DSWAPEFFECT_COPY takes one back buffer");
        return false;
    }
    return true;
}

namespace {
std::atomic<long> g_liveObjects{0};
std::atomic<uint32_t> g_nextId{1};
}  // namespace

void NoteCreated() { ++g_liveObjects; }
void NoteDestroyed() { --g_liveObjects; }
long LiveObjectCount() { return g_liveObjects.load(); }
uint32_t NextObjectId() { return g_nextId++; }

bool IsDepthFormat(D3DFORMAT f)
{
    return f == D3DFMT_D16 || f == D3DFMT_D16_LOCKABLE || f == D3DFMT_D24S8 || f == D3DFMT_D24X8 || f == D3DFMT_D32 ||
           f == D3DFMT_D24X4S4 || f == D3DFMT_D15S1 || f == D3DFMT_D32F_LOCKABLE || f == D3DFMT_D24FS8;
}

bool HasStencilBits(D3DFORMAT f)
{
    return f == D3DFMT_D24S8 || f == D3DFMT_D24X4S4 || f == D3DFMT_D15S1 || f == D3DFMT_D24FS8;
}

namespace {

D3DFORMAT FormatOfPixelFormat(Uint32 sdlFormat)
{
    return SDL_BITSPERPIXEL(sdlFormat) <= 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
}

void FillCaps(D3DDEVTYPE type, D3DCAPS9 &c)
{
    memset(&c, 0, sizeof c);
    c.DeviceType = type;
    c.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANAUTOGENMIPMAP;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                D3DDEVCAPS_TEXTUREVIDEOMEMORY;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_SEPARATEALPHABLEND |
                          D3DPMISCCAPS_TSSARGTEMP | D3DPMISCCAPS_PERSTAGECONSTANT |
                          // Render targets 1 to 3: their own write masks and formats, blended as target 0.
                          D3DPMISCCAPS_INDEPENDENTWRITEMASKS | D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS |
                          D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING;
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_DEPTHBIAS |
                   D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_ZFOG;
    c.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                    D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR |
                    D3DSTENCILCAPS_TWOSIDED;
    c.ZCmpCaps = c.AlphaCmpCaps = 0xFF;
    c.SrcBlendCaps = c.DestBlendCaps = 0x3FF;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                  D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP |
                    D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPCUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP |
                    D3DPTEXTURECAPS_MIPVOLUMEMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.CubeTextureFilterCaps = c.VolumeTextureFilterCaps = c.TextureFilterCaps;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_MIRRORONCE;
    c.VolumeTextureAddressCaps = c.TextureAddressCaps;
    c.MaxVolumeExtent = kMaxVolumeExtent;
    c.MaxTextureWidth = c.MaxTextureHeight = 8192;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 8192;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e10f;
    c.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                      D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
                      D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT |
                      D3DTEXOPCAPS_ADDSMOOTH | D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                      D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDCURRENTALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHAPM |
                      D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA |
                      D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA |
                      D3DTEXOPCAPS_DOTPRODUCT3 | D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_LERP | D3DTEXOPCAPS_BUMPENVMAP;
    c.MaxTextureBlendStages = kMaxStages;
    c.MaxSimultaneousTextures = kMaxStages;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_TEXGEN_SPHEREMAP | D3DVTXPCAPS_MATERIALSOURCE7 |
                             D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER |
                             D3DVTXPCAPS_TWEENING;
    c.MaxActiveLights = kMaxLights;
    c.MaxUserClipPlanes = 6;
    c.MaxVertexBlendMatrices = 4;
    c.MaxVertexBlendMatrixIndex = kMaxBlendMatrices - 1;
    c.MaxPointSize = kMaxPointSize;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = kMaxStreams;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(2, 0);
    c.MaxVertexShaderConst = kVsConstants;
    // ps_2_0 as such: no ps_2_x extensions (arbitrary swizzles, predication, flow control).
    c.PixelShaderVersion = D3DPS_VERSION(2, 0);
    c.PS20Caps.Caps = 0;
    c.PS20Caps.DynamicFlowControlDepth = 0;
    c.PS20Caps.NumTemps = D3DPS20_MIN_NUMTEMPS;
    c.PS20Caps.StaticFlowControlDepth = 0;
    c.PS20Caps.NumInstructionSlots = D3DPS20_MIN_NUMINSTRUCTIONSLOTS;
    // ps_1_x arithmetic runs in floating point: values to 8 pass unclamped.
    c.PixelShader1xMaxValue = 8.0f;
    c.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N;
    c.NumSimultaneousRTs = kMaxRenderTargets;
    // StretchRect scales with point and linear filtering, up and down.
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                              D3DPTFILTERCAPS_MAGFLINEAR;
    // vs_2_x: rep, loop and call nest 4 deep, if_comp 24; no predication.
    c.VS20Caps.Caps = 0;
    c.VS20Caps.DynamicFlowControlDepth = D3DVS20_MAX_DYNAMICFLOWCONTROLDEPTH;
    c.VS20Caps.NumTemps = D3DVS20_MIN_NUMTEMPS;
    c.VS20Caps.StaticFlowControlDepth = D3DVS20_MAX_STATICFLOWCONTROLDEPTH;
    c.NumberOfAdaptersInGroup = 1;
}

}  // namespace

class Direct3D final : public ComObject<IDirect3D9> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
            *ppv = AddRefed(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void *) override
    {
        Unsupported(kLib, "IDirect3D9::RegisterSoftwareDevice");
        return D3DERR_INVALIDCALL;
    }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9 *id) override
    {
        if (adapter != 0 || !id)
            return D3DERR_INVALIDCALL;
        memset(id, 0, sizeof *id);
        strcpy(id->Driver, "tavrok-d3d9");
        strcpy(id->Description, "Direct3D 9 over OpenGL 3.3 core");
        strcpy(id->DeviceName, "\\\\.\\DISPLAY1");
        return D3D_OK;
    }
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override
    {
        D3DDISPLAYMODE mode;
        if (adapter != 0 || FAILED(GetAdapterDisplayMode(0, &mode)) || format != mode.Format)
            return 0;
        return 1;
    }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                                               D3DDISPLAYMODE *mode) override
    {
        if (adapter != 0 || index != 0 || !mode)
            return D3DERR_INVALIDCALL;
        HRESULT hr = GetAdapterDisplayMode(0, mode);
        if (FAILED(hr))
            return hr;
        return mode->Format == format ? D3D_OK : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE *mode) override
    {
        if (adapter != 0 || !mode)
            return D3DERR_INVALIDCALL;
        SDL_DisplayMode desktop;
        if (!EnsureVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
            Diagnostic(kLib, "", "", std::string("GetAdapterDisplayMode: no display: ") + SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        mode->Width = UINT(desktop.w);
        mode->Height = UINT(desktop.h);
        mode->RefreshRate = UINT(desktop.refresh_rate);
        mode->Format = FormatOfPixelFormat(desktop.format);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE, D3DFORMAT adapterFormat,
                                              D3DFORMAT backBufferFormat, BOOL) override
    {
        if (adapter != 0)
            return D3DERR_INVALIDCALL;
        return IsBackBufferFormat(adapterFormat) && (backBufferFormat == D3DFMT_UNKNOWN ||
                                                     IsBackBufferFormat(backBufferFormat))
                   ? D3D_OK
                   : D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE, D3DFORMAT, DWORD usage,
                                                D3DRESOURCETYPE type, D3DFORMAT format) override
    {
        if (adapter != 0)
            return D3DERR_INVALIDCALL;
        // Depth formats are depth-stencil surfaces only (no depth textures); render targets
        // are surfaces, 2D textures and cube textures of the render-target colour formats.
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return type == D3DRTYPE_SURFACE && IsDepthFormat(format) && !(usage & D3DUSAGE_RENDERTARGET)
                       ? D3D_OK
                       : D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET)
            return (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_CUBETEXTURE ||
                    (type == D3DRTYPE_SURFACE && !(usage & D3DUSAGE_AUTOGENMIPMAP))) &&
                           IsRenderTargetFormat(format) && !(usage & D3DUSAGE_DYNAMIC)
                       ? D3D_OK
                       : D3DERR_NOTAVAILABLE;
        // DXT1 to DXT5 textures of every kind, read only (the render-target formats above
        // do not include them), their lower levels not made automatically.
        if (IsCompressedFormat(format) && type != D3DRTYPE_VERTEXBUFFER && type != D3DRTYPE_INDEXBUFFER)
            return (usage & D3DUSAGE_AUTOGENMIPMAP) ? D3DOK_NOAUTOGEN : D3D_OK;
        if (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_SURFACE)
            return IsTextureFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
        // Cube and volume textures take the 2D formats (render-target cubes are answered above).
        if (type == D3DRTYPE_CUBETEXTURE || type == D3DRTYPE_VOLUMETEXTURE || type == D3DRTYPE_VOLUME)
            return IsTextureFormat(format) && !(usage & D3DUSAGE_RENDERTARGET) ? D3D_OK : D3DERR_NOTAVAILABLE;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE, D3DFORMAT, BOOL,
                                                         D3DMULTISAMPLE_TYPE type, DWORD *quality) override
    {
        if (adapter != 0)
            return D3DERR_INVALIDCALL;
        if (quality)
            *quality = type == D3DMULTISAMPLE_NONE ? 1 : 0;
        return type == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE, D3DFORMAT, D3DFORMAT rt,
                                                     D3DFORMAT ds) override
    {
        if (adapter != 0)
            return D3DERR_INVALIDCALL;
        // Any depth format goes with any render-target format.
        return IsRenderTargetFormat(rt) && IsDepthFormat(ds) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) override
    {
        Unsupported(kLib, "IDirect3D9::CheckDeviceFormatConversion");
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9 *caps) override
    {
        if (adapter != 0 || !caps)
            return D3DERR_INVALIDCALL;
        FillCaps(type, *caps);
        return D3D_OK;
    }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT) override { return nullptr; }

    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                           D3DPRESENT_PARAMETERS *pp, IDirect3DDevice9 **out) override
    {
        if (out)
            *out = nullptr;
        if (!pp || !out || adapter != 0) {
            Diagnostic(kLib, "", "", "CreateDevice: null presentation parameters or result, or adapter not 0");
            return D3DERR_INVALIDCALL;
        }
        if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_NULLREF) {
            Unsupported(kLib, "CreateDevice: device types other than D3DDEVTYPE_HAL and D3DDEVTYPE_NULLREF");
            return D3DERR_NOTAVAILABLE;
        }
        if (pp->MultiSampleType != D3DMULTISAMPLE_NONE) {
            Unsupported(kLib, "CreateDevice: multisampled back buffers");
            return D3DERR_NOTAVAILABLE;
        }
        if (!CheckBackBufferCount(*pp, "CreateDevice"))
            return D3DERR_INVALIDCALL;
        if (pp->EnableAutoDepthStencil && !IsDepthFormat(pp->AutoDepthStencilFormat)) {
            Diagnostic(kLib, "", "", "CreateDevice: AutoDepthStencilFormat is not a depth format");
            return D3DERR_INVALIDCALL;
        }
        HWND window = DeviceWindow(*pp, focus);
        SDL_Window *sdl = window ? SdlWindowOf(window) : nullptr;
        TakeClientSize(*pp, focus);
        if (pp->BackBufferWidth == 0 || pp->BackBufferHeight == 0) {
            if (type == D3DDEVTYPE_NULLREF) {
                pp->BackBufferWidth = pp->BackBufferWidth ? pp->BackBufferWidth : 1;
                pp->BackBufferHeight = pp->BackBufferHeight ? pp->BackBufferHeight : 1;
            } else {
                Diagnostic(kLib, "", "", "CreateDevice: back buffer of size 0");
                return D3DERR_INVALIDCALL;
            }
        }
        if (pp->BackBufferFormat == D3DFMT_UNKNOWN && pp->Windowed) {
            D3DDISPLAYMODE mode;
            pp->BackBufferFormat = SUCCEEDED(GetAdapterDisplayMode(0, &mode)) ? mode.Format : D3DFMT_X8R8G8B8;
        }
        if (!IsBackBufferFormat(pp->BackBufferFormat)) {
            Diagnostic(kLib, "", "", std::string("CreateDevice: back-buffer format ") +
                                         std::to_string(pp->BackBufferFormat) + " is not supported");
            return D3DERR_INVALIDCALL;
        }

        std::unique_ptr<Renderer> renderer;
        if (type == D3DDEVTYPE_NULLREF) {
            renderer = CreateNullRenderer();
        } else {
            if (!sdl) {
                Diagnostic(kLib, "", "", "CreateDevice: the focus/device window is not a live window");
                return D3DERR_INVALIDCALL;
            }
            std::string why;
            renderer = CreateGlRenderer(sdl, *pp, why);
            if (!renderer) {
                Diagnostic(kLib, "", "", "CreateDevice: " + why);
                return D3DERR_NOTAVAILABLE;
            }
        }
        *out = new Device(this, type, focus, flags, *pp, std::move(renderer));
        return D3D_OK;
    }
};

}  // namespace tavrok::d3d9

using namespace tavrok::d3d9;

extern "C" IDirect3D9 *WINAPI Direct3DCreate9(UINT sdkVersion)
{
    // 31 is the version number of the earlier 9.0 SDKs, 32 that of the later ones.
    if (sdkVersion != 31 && sdkVersion != D3D_SDK_VERSION) {
        tavrok::Diagnostic(kLib, "", "", "Direct3DCreate9: unknown SDK version " + std::to_string(sdkVersion));
        return nullptr;
    }
    return new Direct3D();
}
