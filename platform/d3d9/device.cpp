/*
 * device.cpp - IDirect3DDevice9: states, transforms, resources, scenes and draws.
 *
 * The device keeps the whole Direct3D state (device_states.cpp has the defaults),
 * validates every call the way the runtime does (bad pointers, ranges, draws outside a
 * scene or reading past a buffer give D3DERR_INVALIDCALL and one diagnostic line), holds
 * a reference on everything bound to it, and hands clears, draws and presents to its
 * renderer: OpenGL (renderer_gl.cpp) or the NULLREF back end that draws nothing.
 * State blocks are in state_block.cpp.  Reset changes the size of a windowed device's
 * back buffer and sets every state to its default.
 * Pixel shaders are ps_1_1 to ps_1_4 and ps_2_0 (pixel_shader.cpp).  Integer and boolean
 * pixel shader constants are kept and recorded by state blocks, though no ps_2_0
 * instruction reads them.  Patches, palettes and cursors are not offered.
 * Queries are in queries.cpp, presentation and swap chains in swap_chain.cpp.  Render
 * targets, depth surfaces and the copies between surfaces are in render_target.cpp.
 * With TAVROK_FRAME_STATS=1 the device prints its frame statistics when it is released.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tavrok::d3d9 {

namespace {

double NowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

HRESULT Invalid(const std::string &what)
{
    Diagnostic(kLib, "", "", what);
    return D3DERR_INVALIDCALL;
}

HRESULT NotOffered(const char *what)
{
    Unsupported(kLib, what);
    return D3DERR_INVALIDCALL;
}

}  // namespace

D3DMATRIX Multiply(const D3DMATRIX &a, const D3DMATRIX &b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT primitives)
{
    switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

Device::Device(IDirect3D9 *d3d, D3DDEVTYPE type, HWND focus, DWORD flags, const D3DPRESENT_PARAMETERS &pp,
               std::unique_ptr<Renderer> renderer)
    : d3d(AddRefed(d3d)), type(type), focus(focus), behaviorFlags(flags), pp(pp), renderer(std::move(renderer))
{
    SetDefaultStates(state, pp);
    createdSeconds = NowSeconds();
}

Device::~Device()
{
    // Drop what is bound, then the declarations made for FVF codes: what is left alive
    // belongs to the program.
    UnbindTargets();
    for (auto &t : state.textures)
        Assign(t, static_cast<IDirect3DBaseTexture9 *>(nullptr));
    for (auto &s : state.streams)
        Assign(s.buffer, static_cast<VertexBuffer *>(nullptr));
    Assign(state.indices, static_cast<IndexBuffer *>(nullptr));
    Assign(state.declaration, static_cast<VertexDeclaration *>(nullptr));
    Assign(state.vertexShader, static_cast<VertexShader *>(nullptr));
    Assign(state.pixelShader, static_cast<PixelShader *>(nullptr));
    for (auto *d : fvfDeclarations_)
        d->Release();
    fvfDeclarations_.clear();

    if (const char *stats = EnvSwitch("TAVROK_FRAME_STATS"); stats && strcmp(stats, "0") != 0) {
        double seconds = NowSeconds() - createdSeconds;
        char line[200];
        snprintf(line, sizeof line,
                 "frame statistics: %llu frames presented in %.2f s, %.1f frames per second, %d live device objects",
                 static_cast<unsigned long long>(framesPresented), seconds,
                 seconds > 0 ? double(framesPresented) / seconds : 0.0, liveChildren);
        Diagnostic(kLib, "", "", line);
    }
    *alive = false;
    renderer.reset();
    if (d3d)
        d3d->Release();
}

HRESULT Device::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// --- device and adapter ------------------------------------------------------------------

HRESULT Device::TestCooperativeLevel() { return D3D_OK; }
UINT Device::GetAvailableTextureMem() { return 256u << 20; }
HRESULT Device::EvictManagedResources() { return D3D_OK; }

HRESULT Device::GetDirect3D(IDirect3D9 **out)
{
    if (!out)
        return Invalid("GetDirect3D: null result pointer");
    *out = AddRefed(d3d);
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9 *caps)
{
    if (!caps)
        return Invalid("GetDeviceCaps: null D3DCAPS9");
    return d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, type, caps);
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE *mode)
{
    if (swapChain != 0 || !mode)
        return Invalid("GetDisplayMode: swap chain other than 0 or null mode");
    if (!pp.Windowed || type == D3DDEVTYPE_NULLREF) {
        *mode = {pp.BackBufferWidth, pp.BackBufferHeight, pp.FullScreen_RefreshRateInHz, pp.BackBufferFormat};
        return D3D_OK;
    }
    return d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, mode);
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS *out)
{
    if (!out)
        return Invalid("GetCreationParameters: null result");
    *out = {D3DADAPTER_DEFAULT, type, focus, behaviorFlags};
    return D3D_OK;
}

HRESULT Device::SetCursorProperties(UINT, UINT, IDirect3DSurface9 *) { return NotOffered("SetCursorProperties"); }
void Device::SetCursorPosition(int, int, DWORD) { Unsupported(kLib, "SetCursorPosition"); }
BOOL Device::ShowCursor(BOOL)
{
    Unsupported(kLib, "IDirect3DDevice9::ShowCursor (hardware cursors)");
    return FALSE;
}
HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9 **out)
{
    if (!out)
        return Invalid("GetSwapChain: null result pointer");
    *out = nullptr;
    if (index != 0)
        return Invalid("GetSwapChain: swap chain " + std::to_string(index) + " (the device has one, number 0)");
    if (swapChain)
        *out = AddRefed(swapChain);
    else
        *out = swapChain = new SwapChain(this);
    return D3D_OK;
}
UINT Device::GetNumberOfSwapChains() { return 1; }
HRESULT Device::Reset(D3DPRESENT_PARAMETERS *params)
{
    if (!params)
        return Invalid("Reset: null presentation parameters");
    D3DPRESENT_PARAMETERS next = *params;
    // A size left to the device is the window's client area, or the current one where
    // there is no window (NULLREF).
    TakeClientSize(next, focus);
    if (!next.BackBufferWidth)
        next.BackBufferWidth = pp.BackBufferWidth;
    if (!next.BackBufferHeight)
        next.BackBufferHeight = pp.BackBufferHeight;
    // A windowed back buffer may leave its format to the device (it keeps the current one);
    // a full-screen one names the display format it switches to.
    if (next.BackBufferFormat == D3DFMT_UNKNOWN && next.Windowed)
        next.BackBufferFormat = pp.BackBufferFormat;
    if (!IsBackBufferFormat(next.BackBufferFormat))
        return Invalid(std::string("Reset: back-buffer format ") + FormatName(next.BackBufferFormat) +
                       " is not supported");
    if (next.EnableAutoDepthStencil && !IsDepthFormat(next.AutoDepthStencilFormat))
        return Invalid("Reset: AutoDepthStencilFormat is not a depth format");
    if (!CheckBackBufferCount(next, "Reset")) {
        params->BackBufferCount = next.BackBufferCount;
        return D3DERR_INVALIDCALL;
    }
    if (backBuffer)
        return Invalid("Reset: the back buffer is still held; release it first");
    if (liveAdditionalChains)
        return Invalid("Reset: " + std::to_string(liveAdditionalChains) +
                       " additional swap chains still exist; release them first");
    if (autoDepthSurface)
        return Invalid("Reset: the automatic depth-stencil surface is still held; release it first");
    // A target the device alone still holds goes with the Reset; one the program holds
    // must be released first, as every other resource of D3DPOOL_DEFAULT.
    int heldByDevice = 0;
    for (IDirect3DSurface9 *bound :
         {static_cast<IDirect3DSurface9 *>(state.renderTarget), static_cast<IDirect3DSurface9 *>(state.depthStencil),
          static_cast<IDirect3DSurface9 *>(state.moreTargets[0]),
          static_cast<IDirect3DSurface9 *>(state.moreTargets[1]),
          static_cast<IDirect3DSurface9 *>(state.moreTargets[2])})
        if (bound) {
            bound->AddRef();
            heldByDevice += bound->Release() == 1;
        }
    if (liveDefaultPool > heldByDevice)
        return Invalid("Reset: " + std::to_string(liveDefaultPool - heldByDevice) +
                       " resources of D3DPOOL_DEFAULT still exist; release them first");
    if (recording)
        return Invalid("Reset while a state block is being recorded");
    UnbindTargets();
    HRESULT hr = renderer->Resize(next);
    if (FAILED(hr))
        return hr;
    // Everything bound is let go and every state is the default again, as on a new
    // device with these parameters.
    for (auto &t : state.textures)
        Assign(t, static_cast<IDirect3DBaseTexture9 *>(nullptr));
    for (auto &s : state.streams)
        Assign(s.buffer, static_cast<VertexBuffer *>(nullptr)), s.offset = s.stride = 0, s.freq = 1;
    Assign(state.indices, static_cast<IndexBuffer *>(nullptr));
    Assign(state.declaration, static_cast<VertexDeclaration *>(nullptr));
    Assign(state.vertexShader, static_cast<VertexShader *>(nullptr));
    Assign(state.pixelShader, static_cast<PixelShader *>(nullptr));
    uint64_t transforms = state.transformRevision, lighting = state.lightingRevision,
             constants = state.constantRevision;
    state = DeviceState();
    SetDefaultStates(state, next);
    state.transformRevision = transforms + 1;
    state.lightingRevision = lighting + 1;
    state.constantRevision = constants + 1;
    pp = next;
    *params = next;
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE kind, IDirect3DSurface9 **out)
{
    if (!out)
        return Invalid("GetBackBuffer: null result pointer");
    *out = nullptr;
    if (swapChain != 0 || index >= pp.BackBufferCount || kind != D3DBACKBUFFER_TYPE_MONO)
        return Invalid("GetBackBuffer: no back buffer " + std::to_string(index) + " of swap chain " +
                       std::to_string(swapChain) + " (D3DBACKBUFFER_TYPE_MONO)");
    // Every Present shows back buffer 0 of the chain; the ones behind it are not surfaces here.
    if (index > 0)
        return NotOffered("GetBackBuffer of back buffers after the first");
    if (backBuffer) {
        *out = AddRefed(static_cast<IDirect3DSurface9 *>(backBuffer));
        return D3D_OK;
    }
    backBuffer = new Surface(this, Surface::Kind::BackBuffer, nullptr, 0, 0, pp.BackBufferWidth, pp.BackBufferHeight,
                             pp.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    *out = backBuffer;
    return D3D_OK;
}

HRESULT Device::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS *status)
{
    if (swapChain != 0 || !status)
        return Invalid("GetRasterStatus: swap chain other than 0 or null status");
    status->InVBlank = FALSE;
    status->ScanLine = 0;
    return D3D_OK;
}

HRESULT Device::SetDialogBoxMode(BOOL enable) { return enable ? NotOffered("SetDialogBoxMode(TRUE)") : D3D_OK; }

void Device::SetGammaRamp(UINT, DWORD, CONST D3DGAMMARAMP *ramp)
{
    if (ramp)
        gamma = *ramp;
}

void Device::GetGammaRamp(UINT, D3DGAMMARAMP *ramp)
{
    if (ramp)
        *ramp = gamma;
}

// --- resources ---------------------------------------------------------------------------

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateTexture: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateTexture: shared handles");
    if (width == 0 || height == 0 || width > 8192 || height > 8192)
        return Invalid("CreateTexture: size " + std::to_string(width) + " x " + std::to_string(height) +
                       " outside 1..8192");
    if (!IsTextureFormat(format)) {
        Unsupported(kLib, "CreateTexture: texture format " + std::to_string(format));
        return D3DERR_INVALIDCALL;
    }
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return NotOffered("CreateTexture: depth-stencil textures");
    if (pool > D3DPOOL_SCRATCH)
        return Invalid("CreateTexture: unknown pool " + std::to_string(pool));
    if (usage & D3DUSAGE_RENDERTARGET) {
        if (pool != D3DPOOL_DEFAULT)
            return Invalid("CreateTexture: render-target textures must be in D3DPOOL_DEFAULT");
        if (!IsRenderTargetFormat(format))
            return Invalid(std::string("CreateTexture: ") + FormatName(format) + " cannot be a render target");
        if (usage & D3DUSAGE_DYNAMIC)
            return Invalid("CreateTexture: render-target textures cannot be dynamic");
    }
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return Invalid("CreateTexture: dynamic textures cannot be managed");
    *out = new Texture(this, width, height, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DVolumeTexture9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateVolumeTexture: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateVolumeTexture: shared handles");
    if (width == 0 || height == 0 || depth == 0 || width > kMaxVolumeExtent || height > kMaxVolumeExtent ||
        depth > kMaxVolumeExtent)
        return Invalid("CreateVolumeTexture: size " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                       std::to_string(depth) + " outside 1.." + std::to_string(kMaxVolumeExtent));
    if (!IsTextureFormat(format)) {
        Unsupported(kLib, "CreateVolumeTexture: texture format " + std::to_string(format));
        return D3DERR_INVALIDCALL;
    }
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_AUTOGENMIPMAP))
        return NotOffered("CreateVolumeTexture: render-target, depth-stencil and automatic-mipmap volumes");
    if (pool > D3DPOOL_SCRATCH)
        return Invalid("CreateVolumeTexture: unknown pool " + std::to_string(pool));
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return Invalid("CreateVolumeTexture: dynamic textures cannot be managed");
    *out = new VolumeTexture(this, width, height, depth, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateCubeTexture: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateCubeTexture: shared handles");
    if (edge == 0 || edge > 8192)
        return Invalid("CreateCubeTexture: edge " + std::to_string(edge) + " outside 1..8192");
    if (!IsTextureFormat(format)) {
        Unsupported(kLib, "CreateCubeTexture: texture format " + std::to_string(format));
        return D3DERR_INVALIDCALL;
    }
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return NotOffered("CreateCubeTexture: depth-stencil cube textures");
    if (pool > D3DPOOL_SCRATCH)
        return Invalid("CreateCubeTexture: unknown pool " + std::to_string(pool));
    if (usage & D3DUSAGE_RENDERTARGET) {
        if (pool != D3DPOOL_DEFAULT)
            return Invalid("CreateCubeTexture: render-target cube textures must be in D3DPOOL_DEFAULT");
        if (!IsRenderTargetFormat(format))
            return Invalid(std::string("CreateCubeTexture: ") + FormatName(format) + " cannot be a render target");
        if (usage & D3DUSAGE_DYNAMIC)
            return Invalid("CreateCubeTexture: render-target cube textures cannot be dynamic");
    }
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return Invalid("CreateCubeTexture: dynamic textures cannot be managed");
    *out = new CubeTexture(this, edge, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9 **out,
                                   HANDLE *shared)
{
    if (!out)
        return Invalid("CreateVertexBuffer: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateVertexBuffer: shared handles");
    if (length == 0)
        return Invalid("CreateVertexBuffer: length 0");
    if (fvf) {
        UINT size = FvfVertexSize(fvf);
        if (size == 0)
            return Invalid("CreateVertexBuffer: FVF " + std::to_string(fvf) + " is not valid");
        if (length < size)
            return Invalid("CreateVertexBuffer: length smaller than one vertex of the FVF");
    }
    if (pool > D3DPOOL_SCRATCH)
        return Invalid("CreateVertexBuffer: unknown pool");
    *out = new VertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateIndexBuffer: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateIndexBuffer: shared handles");
    if (length == 0)
        return Invalid("CreateIndexBuffer: length 0");
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)
        return Invalid("CreateIndexBuffer: format " + std::to_string(format) + " is not an index format");
    if (pool > D3DPOOL_SCRATCH)
        return Invalid("CreateIndexBuffer: unknown pool");
    *out = new IndexBuffer(this, length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateOffscreenPlainSurface: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateOffscreenPlainSurface: shared handles");
    if (width == 0 || height == 0 || width > 8192 || height > 8192 || !IsTextureFormat(format))
        return Invalid("CreateOffscreenPlainSurface: bad size or format");
    *out = new Surface(this, Surface::Kind::Plain, nullptr, 0, 0, width, height, format, pool, 0);
    return D3D_OK;
}

// --- scenes and clears -------------------------------------------------------------------

HRESULT Device::BeginScene()
{
    Trace("BeginScene");
    if (state.inScene)
        return Invalid("BeginScene: already inside a scene");
    state.inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    Trace("EndScene");
    if (!state.inScene)
        return Invalid("EndScene: no scene begun");
    state.inScene = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, CONST D3DRECT *rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    Trace("Clear", std::to_string(flags));
    if (count && !rects)
        return Invalid("Clear: rectangle count without rectangles");
    if (flags & ~DWORD(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))
        return Invalid("Clear: unknown flags");
    const bool hasDepth = state.autoDepth ? pp.EnableAutoDepthStencil != FALSE : state.depthStencil != nullptr;
    const D3DFORMAT depthFormat = state.autoDepth ? pp.AutoDepthStencilFormat
                                  : state.depthStencil ? state.depthStencil->format
                                                       : D3DFMT_UNKNOWN;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !hasDepth)
        return Invalid("Clear: no depth buffer to clear");
    if ((flags & D3DCLEAR_STENCIL) && !HasStencilBits(depthFormat))
        return Invalid("Clear: the depth buffer has no stencil");
    if (z < 0.0f || z > 1.0f)
        return Invalid("Clear: depth outside 0..1");
    return renderer->Clear(state, count, rects, flags, color, z, stencil);
}

// --- transforms, viewport, material, lights ----------------------------------------------

static D3DMATRIX *TransformSlot(DeviceState &s, D3DTRANSFORMSTATETYPE t)
{
    if (t == D3DTS_VIEW)
        return &s.view;
    if (t == D3DTS_PROJECTION)
        return &s.projection;
    if (t == D3DTS_WORLD)
        return &s.world;
    if (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7)
        return &s.textureMatrix[t - D3DTS_TEXTURE0];
    if (t > D3DTS_WORLD && t < D3DTS_WORLDMATRIX(kMaxBlendMatrices))
        return &s.moreWorlds[t - D3DTS_WORLDMATRIX(1)];
    return nullptr;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE t, CONST D3DMATRIX *m)
{
    Trace("SetTransform", std::to_string(t));
    if (!m)
        return Invalid("SetTransform: null matrix");
    D3DMATRIX *slot = TransformSlot(Target(), t);
    if (!slot) {
        if (t > D3DTS_WORLD && t < D3DTS_WORLDMATRIX(256))
            return NotOffered("SetTransform of world matrices past D3DTS_WORLDMATRIX(63)");
        return Invalid("SetTransform: unknown transform " + std::to_string(t));
    }
    *slot = *m;
    if (recording)
        recording->transform[StateBlock::TransformIndex(t)] = true;
    state.transformRevision++;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE t, D3DMATRIX *m)
{
    Trace("GetTransform", std::to_string(t));
    if (!m)
        return Invalid("GetTransform: null matrix");
    D3DMATRIX *slot = TransformSlot(state, t);
    if (!slot)
        return Invalid("GetTransform: unknown transform " + std::to_string(t));
    *m = *slot;
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE t, CONST D3DMATRIX *m)
{
    if (!m)
        return Invalid("MultiplyTransform: null matrix");
    D3DMATRIX *slot = TransformSlot(state, t);
    if (!slot)
        return Invalid("MultiplyTransform: unknown transform " + std::to_string(t));
    *slot = Multiply(*m, *slot);
    state.transformRevision++;
    return D3D_OK;
}

HRESULT Device::SetViewport(CONST D3DVIEWPORT9 *vp)
{
    if (!vp)
        return Invalid("SetViewport: null viewport");
    UINT width, height;
    TargetSize(&width, &height);
    if (vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > width || vp->Y + vp->Height > height ||
        vp->X >= width || vp->Y >= height)
        return Invalid("SetViewport: viewport outside the render target");
    if (!(vp->MinZ >= 0.0f && vp->MinZ <= 1.0f && vp->MaxZ >= 0.0f && vp->MaxZ <= 1.0f))
        return Invalid("SetViewport: depth range outside 0..1");
    Target().viewport = *vp;
    if (recording)
        recording->viewport = true;
    state.transformRevision++;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9 *vp)
{
    if (!vp)
        return Invalid("GetViewport: null viewport");
    *vp = state.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(CONST D3DMATERIAL9 *m)
{
    if (!m)
        return Invalid("SetMaterial: null material");
    Target().material = *m;
    if (recording)
        recording->material = true;
    state.lightingRevision++;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9 *m)
{
    if (!m)
        return Invalid("GetMaterial: null material");
    *m = state.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, CONST D3DLIGHT9 *light)
{
    if (!light)
        return Invalid("SetLight: null light");
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return Invalid("SetLight: unknown light type " + std::to_string(light->Type));
    Target().lights[index].light = *light;
    if (recording)
        recording->light.insert(index);
    state.lightingRevision++;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9 *light)
{
    const auto found = state.lights.find(index);
    if (!light || found == state.lights.end())
        return Invalid("GetLight: no light " + std::to_string(index));
    *light = found->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable)
{
    DeviceState &target = Target();
    auto found = target.lights.find(index);
    if (found == target.lights.end()) {
        // Enabling a light never set gives it the default: a white directional light
        // shining along +z.
        D3DLIGHT9 l = {};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        l.Direction = {0.0f, 0.0f, 1.0f};
        found = target.lights.emplace(index, DeviceState::LightSlot{l, false}).first;
        if (recording)
            recording->light.insert(index);
    }
    found->second.enabled = enable != FALSE;
    if (recording)
        recording->lightEnable.insert(index);
    state.lightingRevision++;
    if (enable && !recording) {
        int enabled = 0;
        for (const auto &entry : state.lights)
            enabled += entry.second.enabled;
        if (enabled > kMaxLights)
            Unsupported(kLib, "more than " + std::to_string(kMaxLights) +
                                  " lights enabled at once (the first ones by index light the draws)");
    }
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL *enable)
{
    const auto found = state.lights.find(index);
    if (!enable || found == state.lights.end())
        return Invalid("GetLightEnable: no light " + std::to_string(index));
    *enable = found->second.enabled ? 128 : FALSE;  // Direct3D answers 128 for an enabled light
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, CONST float *plane)
{
    if (!plane || index >= 6)
        return Invalid("SetClipPlane: null plane or index past 5");
    memcpy(Target().clipPlanes[index], plane, sizeof(float) * 4);
    if (recording)
        recording->clipPlane[index] = true;
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float *plane)
{
    if (!plane || index >= 6)
        return Invalid("GetClipPlane: null plane or index past 5");
    memcpy(plane, state.clipPlanes[index], sizeof(float) * 4);
    return D3D_OK;
}

// --- render, stage and sampler states ----------------------------------------------------

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE s, DWORD value)
{
    Trace("SetRenderState", std::to_string(s) + " " + std::to_string(value));
    if (DWORD(s) >= DWORD(kRenderStates))
        return Invalid("SetRenderState: unknown state " + std::to_string(s));
    Target().render[s] = value;
    if (recording)
        recording->render[s] = true;
    if (s == D3DRS_AMBIENT || s == D3DRS_LIGHTING || s == D3DRS_TEXTUREFACTOR)
        state.lightingRevision++;
    if (const char *what = UnsupportedRenderState(s, value)) {
        Unsupported(kLib, std::string("render state ") + what);
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE s, DWORD *value)
{
    if (!value || DWORD(s) >= DWORD(kRenderStates))
        return Invalid("GetRenderState: null value or unknown state");
    *value = state.render[s];
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9 **out)
{
    if (!out)
        return Invalid("CreateStateBlock: null result pointer");
    *out = nullptr;
    if (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE)
        return Invalid("CreateStateBlock: unknown type " + std::to_string(type));
    if (recording)
        return Invalid("CreateStateBlock while a state block is being recorded");
    auto *block = new StateBlock(this);
    block->Select(type, state);
    block->Capture();
    *out = block;
    return D3D_OK;
}

HRESULT Device::BeginStateBlock()
{
    if (recording)
        return Invalid("BeginStateBlock: a state block is already being recorded");
    recording = new StateBlock(this);
    return D3D_OK;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9 **out)
{
    if (!out)
        return Invalid("EndStateBlock: null result pointer");
    *out = nullptr;
    if (!recording)
        return Invalid("EndStateBlock without BeginStateBlock");
    *out = recording;  // the device's reference passes to the caller
    recording = nullptr;
    return D3D_OK;
}

HRESULT Device::SetClipStatus(CONST D3DCLIPSTATUS9 *status)
{
    if (!status)
        return Invalid("SetClipStatus: null status");
    clipStatus = *status;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9 *status)
{
    if (!status)
        return Invalid("GetClipStatus: null status");
    *status = clipStatus;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9 **out)
{
    if (!out || stage >= DWORD(kMaxSamplers))
        return Invalid("GetTexture: null result or stage past 15");
    *out = AddRefed(state.textures[stage]);
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9 *texture)
{
    Trace("SetTexture", std::to_string(stage));
    if (stage >= DWORD(kMaxSamplers))
        return Invalid("SetTexture: stage " + std::to_string(stage) + " past 15");
    if (texture && texture->GetType() != D3DRTYPE_TEXTURE && texture->GetType() != D3DRTYPE_CUBETEXTURE &&
        texture->GetType() != D3DRTYPE_VOLUMETEXTURE)
        return Invalid("SetTexture: not a texture");
    Assign(Target().textures[stage], texture);
    if (recording)
        recording->texture[stage] = true;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD *value)
{
    if (!value || stage >= DWORD(kMaxStages) || DWORD(t) >= DWORD(kStageStates) || t == 0)
        return Invalid("GetTextureStageState: null value, stage past 7 or unknown state");
    *value = state.stage[stage][t];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD value)
{
    if (stage >= DWORD(kMaxStages) || DWORD(t) >= DWORD(kStageStates) || t == 0)
        return Invalid("SetTextureStageState: stage past 7 or unknown state " + std::to_string(t));
    Target().stage[stage][t] = value;
    if (recording)
        recording->stage[stage][t] = true;
    if (const char *what = UnsupportedStageState(stage, t, value)) {
        Unsupported(kLib, std::string("texture stage state: ") + what);
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE t, DWORD *value)
{
    if (!value || sampler >= DWORD(kMaxSamplers) || DWORD(t) >= DWORD(kSamplerStates) || t == 0)
        return Invalid("GetSamplerState: null value, sampler past 15 or unknown state");
    *value = state.sampler[sampler][t];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE t, DWORD value)
{
    if (sampler >= DWORD(kMaxSamplers) || DWORD(t) >= DWORD(kSamplerStates) || t == 0)
        return Invalid("SetSamplerState: sampler past 15 or unknown state " + std::to_string(t));
    Target().sampler[sampler][t] = value;
    if (recording)
        recording->sampler[sampler][t] = true;
    if (const char *what = UnsupportedSamplerState(t, value)) {
        Unsupported(kLib, std::string("sampler state: ") + what);
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD *passes)
{
    if (!passes)
        return Invalid("ValidateDevice: null pass count");
    *passes = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT, CONST PALETTEENTRY *) { return NotOffered("palettes"); }
HRESULT Device::GetPaletteEntries(UINT, PALETTEENTRY *) { return NotOffered("palettes"); }
HRESULT Device::SetCurrentTexturePalette(UINT) { return NotOffered("palettes"); }
HRESULT Device::GetCurrentTexturePalette(UINT *) { return NotOffered("palettes"); }

HRESULT Device::SetScissorRect(CONST RECT *rect)
{
    if (!rect)
        return Invalid("SetScissorRect: null rectangle");
    Target().scissor = *rect;
    if (recording)
        recording->scissor = true;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT *rect)
{
    if (!rect)
        return Invalid("GetScissorRect: null rectangle");
    *rect = state.scissor;
    return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL software)
{
    softwareVertexProcessing = software;
    return D3D_OK;
}
BOOL Device::GetSoftwareVertexProcessing() { return softwareVertexProcessing; }
HRESULT Device::SetNPatchMode(float segments) { return segments > 0.0f ? NotOffered("N-patches") : D3D_OK; }
float Device::GetNPatchMode() { return 0.0f; }

// --- draws -------------------------------------------------------------------------------

HRESULT Device::CheckDraw(const char *what, DrawCall &call, UINT indexCount)
{
    if (!state.inScene)
        return Invalid(std::string(what) + ": drawing outside BeginScene/EndScene");
    return CheckVertices(what, call, indexCount);
}

HRESULT Device::CheckVertices(const char *what, DrawCall &call, UINT indexCount)
{
    VertexDeclaration *decl = state.declaration;
    if (!decl)
        return Invalid(std::string(what) + ": no vertex declaration or FVF set");
    if (call.vertexCount == 0)
        return Invalid(std::string(what) + ": unknown primitive type or no primitives");

    // The vertices the call reads: [first, first + count).
    uint64_t first, count;
    if (call.indexed) {
        const uint8_t *indices;
        size_t available;
        bool wide;
        if (call.userIndices) {
            indices = static_cast<const uint8_t *>(call.userIndices);
            wide = call.userIndexFormat == D3DFMT_INDEX32;
            available = indexCount;
        } else {
            if (!state.indices)
                return Invalid(std::string(what) + ": no index buffer set");
            wide = state.indices->format == D3DFMT_INDEX32;
            indices = state.indices->buffer.data.data();
            available = state.indices->buffer.data.size() / (wide ? 4 : 2);
            if (uint64_t(call.startIndex) + indexCount > available)
                return Invalid(std::string(what) + ": indices " + std::to_string(call.startIndex) + "+" +
                               std::to_string(indexCount) + " run past the index buffer");
            indices += size_t(call.startIndex) * (wide ? 4 : 2);
        }
        // Scan the indices so that no draw reads past a vertex buffer.
        uint64_t lo = ~uint64_t(0), hi = 0;
        if (!call.userIndices && indexCount) {
            UINT l, h;
            state.indices->IndexRange(call.startIndex, indexCount, &l, &h);
            lo = l;
            hi = h;
        } else {
            for (UINT i = 0; i < indexCount; i++) {
                UINT v;
                if (wide) {
                    uint32_t x;
                    memcpy(&x, indices + i * 4, 4);
                    v = x;
                } else {
                    uint16_t x;
                    memcpy(&x, indices + i * 2, 2);
                    v = x;
                }
                lo = std::min<uint64_t>(lo, v);
                hi = std::max<uint64_t>(hi, v);
            }
        }
        // Vertices in user memory are known only by the count the caller gives.
        if (call.userIndices && (lo < call.minIndex || hi >= uint64_t(call.minIndex) + call.numVertices))
            return Invalid(std::string(what) + ": an index lies outside MinVertexIndex + NumVertices");
        int64_t base = call.baseVertex;
        if (base + int64_t(lo) < 0)
            return Invalid(std::string(what) + ": base vertex plus index is negative");
        first = uint64_t(base + int64_t(lo));
        count = hi - lo + 1;
    } else {
        first = call.startVertex;
        count = call.vertexCount;
    }

    if (call.userVertices) {
        if (call.userStride == 0)
            return Invalid(std::string(what) + ": stride 0");
        call.userVertexBytes = UINT((first + count) * call.userStride);
        for (const auto &e : decl->elements)
            if (e.Stream != 0)
                return Invalid(std::string(what) + ": the declaration reads streams other than 0");
        return D3D_OK;
    }
    for (const auto &e : decl->elements) {
        const StreamSource &s = state.streams[e.Stream];
        if (!s.buffer)
            return Invalid(std::string(what) + ": no vertex buffer on stream " + std::to_string(e.Stream));
        // An instance stream is read from its first element, once every `divisor` instances.
        const UINT divisor = InstanceDivisor(state, call, e.Stream);
        const uint64_t last = divisor ? (call.instances - 1) / divisor : first + count - 1;
        uint64_t end = s.offset + last * uint64_t(s.stride) + e.Offset + DeclTypeSize(e.Type);
        if (end > s.buffer->buffer.data.size())
            return Invalid(std::string(what) + ": vertices " + std::to_string(first) + "+" + std::to_string(count) +
                           " run past the vertex buffer on stream " + std::to_string(e.Stream));
    }
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitives)
{
    Trace("DrawPrimitive", std::to_string(primitives));
    DrawCall call;
    call.type = type;
    call.vertexCount = VertexCountFor(type, primitives);
    call.startVertex = startVertex;
    HRESULT hr = CheckDraw("DrawPrimitive", call, 0);
    if (FAILED(hr))
        return hr;
    return renderer->Draw(state, call);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitives)
{
    Trace("DrawIndexedPrimitive", std::to_string(primitives));
    DrawCall call;
    call.type = type;
    call.indexed = true;
    call.vertexCount = VertexCountFor(type, primitives);
    call.baseVertex = baseVertex;
    call.minIndex = minIndex;
    call.numVertices = numVertices;
    call.startIndex = startIndex;
    SetInstancing(state, call);
    HRESULT hr = CheckDraw("DrawIndexedPrimitive", call, call.vertexCount);
    if (FAILED(hr))
        return hr;
    return renderer->Draw(state, call);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitives, CONST void *vertices, UINT stride)
{
    Trace("DrawPrimitiveUP", std::to_string(primitives));
    if (!vertices)
        return Invalid("DrawPrimitiveUP: null vertices");
    DrawCall call;
    call.type = type;
    call.vertexCount = VertexCountFor(type, primitives);
    call.userVertices = vertices;
    call.userStride = stride;
    HRESULT hr = CheckDraw("DrawPrimitiveUP", call, 0);
    if (SUCCEEDED(hr))
        hr = renderer->Draw(state, call);
    // As in Direct3D, a draw from user memory leaves stream 0 unset.
    Assign(state.streams[0].buffer, static_cast<VertexBuffer *>(nullptr));
    state.streams[0].offset = state.streams[0].stride = 0;
    return hr;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitives,
                                       CONST void *indices, D3DFORMAT indexFormat, CONST void *vertices, UINT stride)
{
    Trace("DrawIndexedPrimitiveUP", std::to_string(primitives));
    if (!vertices || !indices)
        return Invalid("DrawIndexedPrimitiveUP: null vertices or indices");
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)
        return Invalid("DrawIndexedPrimitiveUP: bad index format");
    DrawCall call;
    call.type = type;
    call.indexed = true;
    call.vertexCount = VertexCountFor(type, primitives);
    call.minIndex = minIndex;
    call.numVertices = numVertices;
    call.userVertices = vertices;
    call.userStride = stride;
    call.userIndices = indices;
    call.userIndexFormat = indexFormat;
    HRESULT hr = CheckDraw("DrawIndexedPrimitiveUP", call, call.vertexCount);
    if (SUCCEEDED(hr))
        hr = renderer->Draw(state, call);
    Assign(state.streams[0].buffer, static_cast<VertexBuffer *>(nullptr));
    state.streams[0].offset = state.streams[0].stride = 0;
    Assign(state.indices, static_cast<IndexBuffer *>(nullptr));
    return hr;
}

namespace {

D3DCOLOR ColorFromFloats(const float *rgba)
{
    auto byte = [](float v) { return DWORD(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return D3DCOLOR_ARGB(byte(rgba[3]), byte(rgba[0]), byte(rgba[1]), byte(rgba[2]));
}

// A source vertex's coordinates of one element, as floats; false for a type that is not
// float.
bool ReadFloats(const DeviceState &s, const D3DVERTEXELEMENT9 &e, UINT vertex, float out[4])
{
    if (e.Type > D3DDECLTYPE_FLOAT4)
        return false;
    const StreamSource &source = s.streams[e.Stream];
    const size_t at = size_t(source.offset) + size_t(vertex) * source.stride + e.Offset;
    const size_t bytes = size_t(e.Type + 1) * sizeof(float);
    if (!source.buffer || at + bytes > source.buffer->buffer.data.size())
        return false;
    memcpy(out, source.buffer->buffer.data.data() + at, bytes);
    return true;
}

}  // namespace

// Transforms (and lights) vertices of the streams through the current vertex stage into a
// buffer of screen-space vertices, as a draw would before rasterising them: positions in
// pixels with 1/w, or left in projection space when clipping is on and they lie outside
// the view volume.  The destination's FVF says what each vertex keeps; texture coordinate
// sets the stage does not write are copied from the source.  With D3DPV_DONOTCOPYDATA the
// fixed-function stage writes only the positions and, when lighting is on, the colours.
HRESULT Device::ProcessVertices(UINT srcStart, UINT destIndex, UINT count, IDirect3DVertexBuffer9 *destBuffer,
                                IDirect3DVertexDeclaration9 *, DWORD flags)
{
    Trace("ProcessVertices", std::to_string(count));
    auto *dest = static_cast<VertexBuffer *>(destBuffer);
    if (!dest || count == 0)
        return Invalid("ProcessVertices: no destination buffer or no vertices");
    std::vector<D3DVERTEXELEMENT9> out;
    if ((dest->fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW || !ElementsFromFvf(dest->fvf, out))
        return Invalid("ProcessVertices: the destination buffer was not made with an FVF of D3DFVF_XYZRHW vertices");
    const UINT stride = FvfVertexSize(dest->fvf);
    if ((uint64_t(destIndex) + count) * stride > dest->buffer.data.size())
        return Invalid("ProcessVertices: vertices " + std::to_string(destIndex) + "+" + std::to_string(count) +
                       " run past the destination buffer");
    if (state.declaration)
        for (const auto &e : state.declaration->elements)
            if (e.Usage == D3DDECLUSAGE_POSITIONT)
                return Invalid("ProcessVertices: the source vertices are already transformed");
    DrawCall call;
    call.type = D3DPT_POINTLIST;
    call.vertexCount = count;
    call.startVertex = srcStart;
    HRESULT hr = CheckVertices("ProcessVertices", call, 0);
    if (FAILED(hr))
        return hr;
    TransformedVertices result;
    result.sets = (dest->fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (FAILED(hr = renderer->Transform(state, call, result)) || result.values.empty())
        return hr;

    void *locked;
    if (FAILED(hr = dest->buffer.Lock("ProcessVertices", destIndex * stride, count * stride, &locked, 0)))
        return hr;
    const D3DVIEWPORT9 &vp = state.viewport;
    const bool clipping = state.render[D3DRS_CLIPPING] != FALSE;
    // D3DPV_DONOTCOPYDATA speaks of the fixed-function stage; a shader writes all it outputs.
    const bool copy = !(flags & D3DPV_DONOTCOPYDATA) || state.vertexShader;
    const bool colours = copy || state.render[D3DRS_LIGHTING];
    const UINT floats = kTransformedFloats + 4 * result.sets;
    // The source's element of each texture set the stage does not write, to copy from.
    const D3DVERTEXELEMENT9 *sourceSet[8] = {};
    for (const auto &e : state.declaration->elements)
        if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex < 8 && !(result.written & (1u << e.UsageIndex)))
            sourceSet[e.UsageIndex] = &e;
    for (UINT v = 0; v < count; v++) {
        const float *in = &result.values[size_t(v) * floats];
        uint8_t *vertex = static_cast<uint8_t *>(locked) + size_t(v) * stride;
        const float x = in[0], y = in[1], z = in[2], w = in[3];
        float position[4] = {x, y, z, w};
        const bool inside = w > 0 && std::fabs(x) <= w && std::fabs(y) <= w && z >= 0 && z <= w;
        if (inside || !clipping) {
            position[0] = float(vp.X) + (1.0f + x / w) * 0.5f * float(vp.Width);
            position[1] = float(vp.Y) + (1.0f - y / w) * 0.5f * float(vp.Height);
            position[2] = vp.MinZ + z / w * (vp.MaxZ - vp.MinZ);
            position[3] = 1.0f / w;
        }
        for (const auto &e : out) {
            uint8_t *to = vertex + e.Offset;
            if (e.Usage == D3DDECLUSAGE_POSITIONT) {
                memcpy(to, position, sizeof position);
            } else if (e.Usage == D3DDECLUSAGE_COLOR && colours) {
                const D3DCOLOR c = ColorFromFloats(in + 4 + 4 * e.UsageIndex);
                memcpy(to, &c, sizeof c);
            } else if (e.Usage == D3DDECLUSAGE_TEXCOORD && copy) {
                // Components past those the source has are left as they are.
                float coords[4];
                UINT size = e.Type + 1;
                if (result.written & (1u << e.UsageIndex)) {
                    memcpy(coords, in + kTransformedFloats + 4 * e.UsageIndex, sizeof coords);
                } else {
                    const D3DVERTEXELEMENT9 *from = sourceSet[e.UsageIndex];
                    if (!from || !ReadFloats(state, *from, srcStart + v, coords))
                        continue;
                    size = std::min<UINT>(size, from->Type + 1u);
                }
                memcpy(to, coords, size * sizeof(float));
            }
        }
    }
    return dest->buffer.Unlock("ProcessVertices");
}

// --- vertex layouts and shaders ----------------------------------------------------------

HRESULT Device::CreateVertexDeclaration(CONST D3DVERTEXELEMENT9 *elements, IDirect3DVertexDeclaration9 **out)
{
    if (!out)
        return Invalid("CreateVertexDeclaration: null result pointer");
    *out = nullptr;
    std::vector<D3DVERTEXELEMENT9> list;
    HRESULT hr = ParseDeclaration(elements, list);
    if (FAILED(hr))
        return hr;
    *out = new VertexDeclaration(this, std::move(list), 0);
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9 *decl)
{
    DeviceState &target = Target();
    Assign(target.declaration, static_cast<VertexDeclaration *>(decl));
    target.fvf = target.declaration ? target.declaration->fvf : 0;
    if (recording)
        recording->vertexFormat = true;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9 **out)
{
    if (!out)
        return Invalid("GetVertexDeclaration: null result pointer");
    *out = AddRefed(static_cast<IDirect3DVertexDeclaration9 *>(state.declaration));
    return D3D_OK;
}

VertexDeclaration *Device::DeclarationForFvf(DWORD fvf)
{
    for (auto *d : fvfDeclarations_)
        if (d->fvf == fvf)
            return d;
    std::vector<D3DVERTEXELEMENT9> elements;
    if (!ElementsFromFvf(fvf, elements))
        return nullptr;
    auto *d = new VertexDeclaration(this, std::move(elements), fvf);
    fvfDeclarations_.push_back(d);
    return d;
}

HRESULT Device::SetFVF(DWORD fvf)
{
    if (fvf == 0) {
        // FVF 0 leaves the current declaration in place, as Direct3D does.
        return D3D_OK;
    }
    VertexDeclaration *decl = DeclarationForFvf(fvf);
    if (!decl)
        return Invalid("SetFVF: FVF " + std::to_string(fvf) + " is not valid");
    DeviceState &target = Target();
    Assign(target.declaration, decl);
    target.fvf = fvf;
    if (recording)
        recording->vertexFormat = true;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD *fvf)
{
    if (!fvf)
        return Invalid("GetFVF: null result pointer");
    *fvf = state.fvf;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(CONST DWORD *function, IDirect3DVertexShader9 **out)
{
    if (!out)
        return Invalid("CreateVertexShader: null result pointer");
    *out = nullptr;
    ParsedShader parsed;
    std::string why;
    // The stream carries no length: the parser stops at the end token, or after a bound
    // far past any real shader.
    if (!ParseVertexShader(function, 1u << 16, parsed, why)) {
        Diagnostic(kLib, "vertex shader", "", why);
        return D3DERR_INVALIDCALL;
    }
    *out = new VertexShader(this, std::move(parsed));
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9 *shader)
{
    Trace("SetVertexShader", shader ? "shader" : "null");
    Assign(Target().vertexShader, static_cast<VertexShader *>(shader));
    if (recording)
        recording->vertexShader = true;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9 **out)
{
    if (!out)
        return Invalid("GetVertexShader: null result pointer");
    *out = AddRefed(static_cast<IDirect3DVertexShader9 *>(state.vertexShader));
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, CONST float *data, UINT count)
{
    Trace("SetVertexShaderConstantF", std::to_string(start) + " " + std::to_string(count));
    if (!data || uint64_t(start) + count > uint64_t(kVsConstants))
        return Invalid("SetVertexShaderConstantF: null data or registers past c255");
    memcpy(Target().vsConstF[start], data, size_t(count) * 4 * sizeof(float));
    if (recording)
        std::fill(recording->vsConstF + start, recording->vsConstF + start + count, true);
    state.constantRevision++;
    return D3D_OK;
}

HRESULT Device::GetVertexShaderConstantF(UINT start, float *data, UINT count)
{
    if (!data || uint64_t(start) + count > uint64_t(kVsConstants))
        return Invalid("GetVertexShaderConstantF: null data or registers past c255");
    memcpy(data, state.vsConstF[start], size_t(count) * 4 * sizeof(float));
    return D3D_OK;
}

// The integer and boolean constant banks (16 registers each, for both shader kinds): a
// write goes to the device or to the block being recorded, which marks the registers; a
// read comes from the device.
template <class Register, size_t N>
HRESULT Device::WriteConstants(const char *what, Register (DeviceState::*bank)[N], bool (StateBlock::*marks)[N],
                               UINT start, const void *data, UINT count)
{
    if (!data || uint64_t(start) + count > N)
        return Invalid(std::string(what) + ": null data or registers past " + std::to_string(N - 1));
    memcpy(&(Target().*bank)[start], data, size_t(count) * sizeof(Register));
    if (recording)
        std::fill((recording->*marks) + start, (recording->*marks) + start + count, true);
    return D3D_OK;
}

template <class Register, size_t N>
HRESULT Device::ReadConstants(const char *what, Register (DeviceState::*bank)[N], UINT start, void *data, UINT count)
{
    if (!data || uint64_t(start) + count > N)
        return Invalid(std::string(what) + ": null data or registers past " + std::to_string(N - 1));
    memcpy(data, &(state.*bank)[start], size_t(count) * sizeof(Register));
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantI(UINT start, CONST int *data, UINT count)
{
    return WriteConstants("SetVertexShaderConstantI", &DeviceState::vsConstI, &StateBlock::vsConstI, start, data, count);
}
HRESULT Device::GetVertexShaderConstantI(UINT start, int *data, UINT count)
{
    return ReadConstants("GetVertexShaderConstantI", &DeviceState::vsConstI, start, data, count);
}
HRESULT Device::SetVertexShaderConstantB(UINT start, CONST BOOL *data, UINT count)
{
    return WriteConstants("SetVertexShaderConstantB", &DeviceState::vsConstB, &StateBlock::vsConstB, start, data, count);
}
HRESULT Device::GetVertexShaderConstantB(UINT start, BOOL *data, UINT count)
{
    return ReadConstants("GetVertexShaderConstantB", &DeviceState::vsConstB, start, data, count);
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9 *buffer, UINT offset, UINT stride)
{
    if (stream >= UINT(kMaxStreams))
        return Invalid("SetStreamSource: stream " + std::to_string(stream) + " past 15");
    if (buffer && stride == 0)
        return Invalid("SetStreamSource: stride 0");
    if (offset % 4)
        return Invalid("SetStreamSource: offset not a multiple of 4");
    StreamSource &source = Target().streams[stream];
    Assign(source.buffer, static_cast<VertexBuffer *>(buffer));
    source.offset = offset;
    source.stride = stride;
    if (recording)
        recording->stream[stream] = true;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9 **out, UINT *offset, UINT *stride)
{
    if (!out || !offset || !stride || stream >= UINT(kMaxStreams))
        return Invalid("GetStreamSource: null result or stream past 15");
    *out = AddRefed(static_cast<IDirect3DVertexBuffer9 *>(state.streams[stream].buffer));
    *offset = state.streams[stream].offset;
    *stride = state.streams[stream].stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9 *indices)
{
    Assign(Target().indices, static_cast<IndexBuffer *>(indices));
    if (recording)
        recording->indices = true;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9 **out)
{
    if (!out)
        return Invalid("GetIndices: null result pointer");
    *out = AddRefed(static_cast<IDirect3DIndexBuffer9 *>(state.indices));
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(CONST DWORD *function, IDirect3DPixelShader9 **out)
{
    if (!out)
        return Invalid("CreatePixelShader: null result pointer");
    *out = nullptr;
    ParsedShader parsed;
    std::string why;
    // As for vertex shaders, the stream ends at its end token, or after a far bound.
    if (!ParsePixelShader(function, 1u << 16, parsed, why)) {
        Diagnostic(kLib, "pixel shader", "", why);
        return D3DERR_INVALIDCALL;
    }
    *out = new PixelShader(this, std::move(parsed));
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9 *shader)
{
    Trace("SetPixelShader", shader ? "shader" : "null");
    Assign(Target().pixelShader, static_cast<PixelShader *>(shader));
    if (recording)
        recording->pixelShader = true;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9 **out)
{
    if (!out)
        return Invalid("GetPixelShader: null result pointer");
    *out = AddRefed(static_cast<IDirect3DPixelShader9 *>(state.pixelShader));
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT start, CONST float *data, UINT count)
{
    Trace("SetPixelShaderConstantF", std::to_string(start) + " " + std::to_string(count));
    if (!data || uint64_t(start) + count > uint64_t(kPsConstants))
        return Invalid("SetPixelShaderConstantF: null data or registers past c223");
    memcpy(Target().psConstF[start], data, size_t(count) * 4 * sizeof(float));
    if (recording)
        std::fill(recording->psConstF + start, recording->psConstF + start + count, true);
    state.constantRevision++;
    return D3D_OK;
}

HRESULT Device::GetPixelShaderConstantF(UINT start, float *data, UINT count)
{
    if (!data || uint64_t(start) + count > uint64_t(kPsConstants))
        return Invalid("GetPixelShaderConstantF: null data or registers past c223");
    memcpy(data, state.psConstF[start], size_t(count) * 4 * sizeof(float));
    return D3D_OK;
}

// Pixel shaders up to ps_2_0 read no integer or boolean constants; the device keeps them
// all the same, as state blocks and constant tables expect.
HRESULT Device::SetPixelShaderConstantI(UINT start, CONST int *data, UINT count)
{
    return WriteConstants("SetPixelShaderConstantI", &DeviceState::psConstI, &StateBlock::psConstI, start, data, count);
}
HRESULT Device::GetPixelShaderConstantI(UINT start, int *data, UINT count)
{
    return ReadConstants("GetPixelShaderConstantI", &DeviceState::psConstI, start, data, count);
}
HRESULT Device::SetPixelShaderConstantB(UINT start, CONST BOOL *data, UINT count)
{
    return WriteConstants("SetPixelShaderConstantB", &DeviceState::psConstB, &StateBlock::psConstB, start, data, count);
}
HRESULT Device::GetPixelShaderConstantB(UINT start, BOOL *data, UINT count)
{
    return ReadConstants("GetPixelShaderConstantB", &DeviceState::psConstB, start, data, count);
}
HRESULT Device::DrawRectPatch(UINT, CONST float *, CONST D3DRECTPATCH_INFO *) { return NotOffered("patches"); }
HRESULT Device::DrawTriPatch(UINT, CONST float *, CONST D3DTRIPATCH_INFO *) { return NotOffered("patches"); }
HRESULT Device::DeletePatch(UINT) { return NotOffered("patches"); }

// --- the NULLREF back end ----------------------------------------------------------------

namespace {

class NullRenderer final : public Renderer {
public:
    HRESULT Clear(const DeviceState &, DWORD, const D3DRECT *, DWORD, D3DCOLOR, float, DWORD) override
    {
        return D3D_OK;
    }
    HRESULT Draw(const DeviceState &, const DrawCall &) override { return D3D_OK; }
    HRESULT Transform(const DeviceState &, const DrawCall &, TransformedVertices &) override { return D3D_OK; }
    HRESULT Present(const Presentation &) override { return D3D_OK; }
    bool ReadBackBuffer(MipLevel &, D3DFORMAT) override { return true; }
    void WriteBackBuffer(const MipLevel &, D3DFORMAT) override {}
    bool ReadFrontBuffer(SDL_Window *, FrontBuffer &) override { return false; }
    HRESULT Resize(const D3DPRESENT_PARAMETERS &) override { return D3D_OK; }
    bool IsNull() const override { return true; }
    // Every surface keeps its pixels in memory, so the copies between them are made there.
    bool HoldsPixels(const Surface &) const override { return false; }
    bool ReadSurface(Surface &, MipLevel &) override { return false; }
    bool WriteSurface(Surface &, const MipLevel &) override { return false; }
    bool Blit(Surface &, const RECT &, Surface &, const RECT &, bool) override { return false; }
    bool Fill(Surface &, const RECT &, D3DCOLOR) override { return false; }
    std::unique_ptr<QueryWork> NewQuery(D3DQUERYTYPE type) override { return NewImmediateQuery(type); }
};

}  // namespace

std::unique_ptr<Renderer> CreateNullRenderer() { return std::make_unique<NullRenderer>(); }

}  // namespace tavrok::d3d9
