/*
 * d3d9_private.h - what the files of platform/d3d9 share.
 *
 * The COM plumbing (a reference-counted base with a library-wide count of live objects),
 * the device's whole state record, the resource classes that keep their contents in
 * memory, and the Renderer interface behind which the OpenGL back end and the NULLREF
 * back end sit.  Nothing here includes an OpenGL header: GL types stay in the *_gl files.
 */
#ifndef TAVROK_D3D9_PRIVATE_H
#define TAVROK_D3D9_PRIVATE_H

#include <d3d9.h>
#include <tavrok/com_object.h>
#include <tavrok/vertex_elements.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct SDL_Window;

namespace tavrok::d3d9 {

constexpr const char *kLib = "d3d9";

// ---------------------------------------------------------------------------------------
// Live object counting: every COM object of the library counts itself while it exists.
// ---------------------------------------------------------------------------------------
void NoteCreated();
void NoteDestroyed();

// Reference counting shared by every interface implementation, with each object counted
// while it lives.  `Base` is the most derived SDK interface.
template <class Base>
class ComObject : public RefCounted<Base> {
public:
    ComObject() { NoteCreated(); }
    ~ComObject() override { NoteDestroyed(); }
    ComObject(const ComObject &) = delete;
    ComObject &operator=(const ComObject &) = delete;
};

// Adds a reference to `p` when it is not null; returns it.
template <class T>
T *AddRefed(T *p)
{
    if (p)
        p->AddRef();
    return p;
}
// Replaces a held reference.
template <class T, class U>
void Assign(T *&slot, U *value)
{
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

// ---------------------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------------------
// The colour formats (texel_formats.cpp): BytesPerPixel, the D3DCOLOR and float texel
// conversions are in tavrok/texture_storage.h.
bool IsTextureFormat(D3DFORMAT format);
const char *FormatName(D3DFORMAT format);
// The colour formats a render target can have, and the fewer a back buffer can; the
// depth formats of depth-stencil surfaces; whether a depth format has stencil bits.
bool IsRenderTargetFormat(D3DFORMAT format);
bool IsBackBufferFormat(D3DFORMAT format);
// The 16- and 32-bit float formats (D3DFMT_R16F to D3DFMT_A32B32G32R32F).
bool IsFloatFormat(D3DFORMAT format);
// The bits of a texel no channel uses (X8R8G8B8's top byte...): the device sets them on
// every texel it writes.
uint64_t UnusedBits(D3DFORMAT format);
// Checks a swap chain's back-buffer count as CreateDevice and Reset do: 0 means 1; more
// than D3DPRESENT_BACK_BUFFERS_MAX is cut to it and refused, as is more than one with
// D3DSWAPEFFECT_COPY.  One diagnostic line names `what` on a refusal.
bool CheckBackBufferCount(D3DPRESENT_PARAMETERS &pp, const char *what);
bool IsDepthFormat(D3DFORMAT format);
bool HasStencilBits(D3DFORMAT format);

// ---------------------------------------------------------------------------------------
// Resources.  Every resource keeps its contents in memory (`data`) and a revision that
// grows each time they change, so that a back end uploads only what changed.
// ---------------------------------------------------------------------------------------
class Device;
class SwapChain;
class Renderer;

// Back-end state attached to a resource (a GL buffer or texture name).  The back end
// owns it; the resource deletes it, telling the back end if it is still alive.
struct BackendObject {
    virtual ~BackendObject() = default;
};

struct ResourceCore {
    Device *device = nullptr;                   // not owned: resources do not keep it alive
    std::shared_ptr<bool> deviceAlive;          // false once the device is gone
    std::unique_ptr<BackendObject> backend;     // created by the renderer when first used
    uint64_t revision = 1;                      // bumped on every change of the contents
    void Reset();                               // drops back-end state
};

class Buffer {
public:
    std::vector<uint8_t> data;
    ResourceCore core;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool locked = false;
    bool discarded = false;  // the last lock discarded the whole contents
    UINT dirtyBegin = 0, dirtyEnd = 0;

    HRESULT Lock(const char *what, UINT offset, UINT size, void **out, DWORD flags);
    HRESULT Unlock(const char *what);
};

// Private data and priorities are not kept: the methods every resource has for them.
HRESULT NoPrivateData();  // says so once and answers D3DERR_NOTFOUND

template <class Interface>
class ResourceMethods : public ComObject<Interface> {
public:
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, CONST void *, DWORD, DWORD) override { return NoPrivateData(); }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void *, DWORD *) override { return NoPrivateData(); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return NoPrivateData(); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
};

// What vertex and index buffers share: the resource methods, and Lock and Unlock over the
// contents.  Defined for the two interfaces in buffers.cpp.
template <class Interface>
class BufferResource : public ResourceMethods<Interface> {
public:
    BufferResource(Device *device, UINT length, DWORD usage, D3DPOOL pool, const IID &iid, const char *name);
    ~BufferResource() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, void **ppbData, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;

    Buffer buffer;

private:
    const IID &iid_;    // the interface's own identifier, besides IUnknown and the resource's
    const char *name_;  // the interface's name, for diagnostics
};

class VertexBuffer final : public BufferResource<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(Device *device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC *pDesc) override;

    DWORD fvf = 0;
};

class IndexBuffer final : public BufferResource<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device *device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC *pDesc) override;

    D3DFORMAT format = D3DFMT_INDEX16;

    // The lowest and highest of `count` indices from `start` (which must lie inside the
    // buffer).  Answered from the ranges asked lately, else from per-block extremes, both
    // kept until the contents change, so that a mesh drawn every frame is not rescanned
    // on every draw.
    void IndexRange(UINT start, UINT count, UINT *lo, UINT *hi);

private:
    static constexpr UINT kBlock = 32;
    void Scan(UINT from, UINT to, UINT *lo, UINT *hi) const;
    void IndexRangeOfContents(UINT start, UINT count, UINT *lo, UINT *hi);
    // The answers for the ranges asked lately, by a hash of the range.
    struct KnownRange {
        uint64_t revision = 0;
        UINT start = 0, count = 0, lo = 0, hi = 0;
    };
    KnownRange known_[64];
    uint64_t blocksRevision_ = 0;
    std::vector<UINT> blockLo_, blockHi_;
};

struct MipLevel {
    UINT width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> data;  // a texture's levels: empty until first used (Texture::Level)
    bool locked = false;
};

class Surface;

// What the three texture kinds share: the device and the contents' revision, format, usage,
// pool and LOD, and the device's counts of live resources while the texture exists.
class TextureCommon {
public:
    TextureCommon(Device *device, D3DFORMAT format, DWORD usage, D3DPOOL pool);
    virtual ~TextureCommon();
    TextureCommon(const TextureCommon &) = delete;
    TextureCommon &operator=(const TextureCommon &) = delete;
    HRESULT DeviceOf(IDirect3DDevice9 **out) const;
    // SetLOD: the new LOD, kept inside a chain of `levelTotal` levels; answers the old one.
    DWORD SetLodWithin(DWORD lodNew, UINT levelTotal);

    ResourceCore core;
    D3DFORMAT format;
    DWORD usage;
    D3DPOOL pool;
    DWORD lod = 0;
};

// The level storage of the textures whose levels are surfaces: one chain of mip levels per
// face (one face for a 2D texture, six for a cube texture in D3DCUBEMAP_FACES order), the
// surfaces of the levels, the checks of the level calls and the device's counts of live
// resources.  Each level's surface is made on first request and kept, so that every request
// answers the same object; it is owned here and its references are the texture's.
class LevelChains : public TextureCommon {
public:
    LevelChains(Device *device, UINT faceCount, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                D3DPOOL pool);
    ~LevelChains() override;

    // The texture as a COM object: the surfaces' references and containers are its.
    virtual IDirect3DBaseTexture9 *Self() = 0;
    // Level `level` of `face` with its storage made (zero when first used).
    virtual MipLevel &FaceLevel(UINT face, UINT level);
    // The texture's own LockRect and UnlockRect for one face's level.
    virtual HRESULT LockFace(UINT face, UINT level, D3DLOCKED_RECT *out, const RECT *rect, DWORD flags) = 0;
    virtual HRESULT UnlockFace(UINT face, UINT level) = 0;

    UINT LevelTotal() const { return UINT(chains[0].size()); }
    bool IsCube() const { return faceCount == 6; }
    bool IsRenderTarget() const { return (usage & D3DUSAGE_RENDERTARGET) != 0; }
    HRESULT DescribeLevel(UINT level, D3DSURFACE_DESC *desc, const char *what) const;
    HRESULT SurfaceOf(UINT face, UINT level, IDirect3DSurface9 **out, const char *what);
    // Locks and unlocks a level after checking the face and the level (`what` names the call).
    HRESULT LockChecked(UINT face, UINT level, D3DLOCKED_RECT *out, const RECT *rect, DWORD flags, const char *what);
    HRESULT UnlockChecked(UINT face, UINT level, const char *what);
    DWORD SetLodChecked(DWORD lodNew) { return SetLodWithin(lodNew, LevelTotal()); }

    const UINT faceCount;
    std::vector<MipLevel> chains[6];  // faces past faceCount stay empty
    std::vector<Surface *> surfaces;  // face * LevelTotal() + level
    // A render-target texture with automatic mipmaps drawn into since the back end last
    // made its lower levels.
    bool targetMipsStale = false;
};

class Texture final : public ResourceMethods<IDirect3DTexture9>, public LevelChains {
public:
    Texture(Device *device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override { return DeviceOf(ppDevice); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD LODNew) override { return SetLodChecked(LODNew); }
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override;
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE FilterType) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return D3DTEXF_LINEAR; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC *pDesc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT Level, IDirect3DSurface9 **ppSurfaceLevel) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT Level, D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(CONST RECT *pDirtyRect) override;

    IDirect3DBaseTexture9 *Self() override { return this; }
    MipLevel &FaceLevel(UINT, UINT level) override { return Level(level); }
    HRESULT LockFace(UINT, UINT level, D3DLOCKED_RECT *out, const RECT *rect, DWORD flags) override
    {
        return LockRect(level, out, rect, flags);
    }
    HRESULT UnlockFace(UINT, UINT level) override { return UnlockRect(level); }

    // The one chain.  Levels made zero when first used; while `boxMipsPending`, the levels
    // below 0 are the box-filtered chain of level 0, made by Level() when one of them is
    // first needed.
    std::vector<MipLevel> &levels = chains[0];
    bool boxMipsPending = false;
    // Level `i` with its storage made (and the pending chain built first if `i` is below 0).
    MipLevel &Level(UINT i);
    void BuildBoxMips();
};

// Shared by the 2D, cube and volume textures (texture.cpp): the length of a full mip chain
// of a w x h (x d) texture, locking one level (rectangle checked, `what` names the caller in
// diagnostics) and making a level the box-filtered halving of the one above it.
UINT FullChainLength(UINT w, UINT h, UINT d = 1);
HRESULT LockLevel(MipLevel &level, D3DFORMAT format, D3DLOCKED_RECT *out, const RECT *rect, const char *what);
void Downsample(D3DFORMAT format, const MipLevel &src, MipLevel &dst);

constexpr UINT kMaxVolumeExtent = 512;  // the largest side of a volume texture (caps' MaxVolumeExtent)

// A cube texture (cube_texture.cpp): six faces of one square mip chain each, in the order of
// D3DCUBEMAP_FACES (+X, -X, +Y, -Y, +Z, -Z), each face's rows top first.
class CubeTexture final : public ResourceMethods<IDirect3DCubeTexture9>, public LevelChains {
public:
    CubeTexture(Device *device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override { return DeviceOf(ppDevice); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD LODNew) override { return SetLodChecked(LODNew); }
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override;
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE FilterType) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return D3DTEXF_LINEAR; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC *pDesc) override;
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES FaceType, UINT Level, IDirect3DSurface9 **ppCubeMapSurface) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES FaceType, UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES FaceType, CONST RECT *pDirtyRect) override;

    IDirect3DBaseTexture9 *Self() override { return this; }
    HRESULT LockFace(UINT face, UINT level, D3DLOCKED_RECT *out, const RECT *rect, DWORD flags) override
    {
        return LockRect(D3DCUBEMAP_FACES(face), level, out, rect, flags);
    }
    HRESULT UnlockFace(UINT face, UINT level) override { return UnlockRect(D3DCUBEMAP_FACES(face), level); }
    MipLevel &Level(UINT face, UINT level) { return FaceLevel(face, level); }
};

// One level of a volume texture: `depth` slices of rows, each slice's rows top first.
struct VolumeLevel {
    UINT width = 0, height = 0, depth = 0, rowPitch = 0, slicePitch = 0;
    std::vector<uint8_t> data;  // empty until first used
    bool locked = false;
};

class VolumeTexture final : public ResourceMethods<IDirect3DVolumeTexture9>, public TextureCommon {
public:
    VolumeTexture(Device *device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                  D3DPOOL pool);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override { return DeviceOf(ppDevice); }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD LODNew) override { return SetLodWithin(LODNew, UINT(levels.size())); }
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return DWORD(levels.size()); }
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE FilterType) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return D3DTEXF_LINEAR; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override {}
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DVOLUME_DESC *pDesc) override;
    HRESULT STDMETHODCALLTYPE GetVolumeLevel(UINT Level, IDirect3DVolume9 **ppVolumeLevel) override;
    HRESULT STDMETHODCALLTYPE LockBox(UINT Level, D3DLOCKED_BOX *pLockedVolume, CONST D3DBOX *pBox, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox(UINT Level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyBox(CONST D3DBOX *pDirtyBox) override;

    std::vector<VolumeLevel> levels;
    VolumeLevel &Level(UINT i);
};

// A surface: a texture level, the device's back buffer (whose pixels the back end reads
// on lock), a plain off-screen surface, a render target of CreateRenderTarget, or a
// depth-stencil surface (CreateDepthStencilSurface, or the device's automatic one).
// A texture level (of a 2D texture, or a face level of a cube texture) has its texture's
// references: AddRef and Release go to the texture, which owns the surface.
class Surface final : public ResourceMethods<IDirect3DSurface9> {
public:
    enum class Kind { TextureLevel, BackBuffer, Plain, RenderTarget, DepthStencil };
    Surface(Device *device, Kind kind, LevelChains *container, UINT face, UINT level, UINT width, UINT height,
            D3DFORMAT format, D3DPOOL pool, DWORD usage);
    ~Surface() override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void **ppContainer) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC *pDesc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT *pLockedRect, CONST RECT *pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC *phdc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hdc) override;

    Device *device;
    std::shared_ptr<bool> deviceAlive;
    Kind kind;
    LevelChains *container;  // the 2D or cube texture of a TextureLevel, which owns it
    UINT face, level;        // the level's face (0 for a 2D texture) and level
    UINT width, height;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD usage;
    MipLevel own;        // pixels of a surface that is not a texture level (none for depth)
    ResourceCore core;   // the back end's storage of a render target or depth surface
    bool lockable = true;     // a render target made Lockable (and the lockable back buffer)
    bool automatic = false;   // the device's automatic depth-stencil surface
    bool locked = false;
    bool lockedReadOnly = false;  // the lock in force was D3DLOCK_READONLY: nothing to write back
    IDirect3DSwapChain9 *chain = nullptr;  // the additional swap chain whose back buffer this is, while it lives

    // A surface of the default pool that the device must not hold across a Reset (the
    // back buffer and the automatic depth surface are the device's own; a texture level
    // counts with its texture).
    bool DefaultPoolOwn() const
    {
        return (kind == Kind::Plain || kind == Kind::RenderTarget || (kind == Kind::DepthStencil && !automatic)) &&
               pool == D3DPOOL_DEFAULT;
    }
    bool IsRenderTarget() const { return (usage & D3DUSAGE_RENDERTARGET) != 0; }
    bool IsDepthStencil() const { return (usage & D3DUSAGE_DEPTHSTENCIL) != 0; }
    // The memory copy of the pixels: the texture's level or the surface's own.
    MipLevel &Memory();
};

struct VertexElementList {
    std::vector<D3DVERTEXELEMENT9> elements;  // without the end marker
};

class VertexDeclaration final : public ComObject<IDirect3DVertexDeclaration9> {
public:
    VertexDeclaration(Device *device, std::vector<D3DVERTEXELEMENT9> elements, DWORD fromFvf);
    ~VertexDeclaration() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9 *pElement, UINT *pNumElements) override;

    Device *device;
    std::shared_ptr<bool> deviceAlive;
    std::vector<D3DVERTEXELEMENT9> elements;  // without the end marker
    DWORD fvf;                                // the FVF it was made from, or 0
    uint32_t id;                              // unique, for back-end caches
};

// Validates a declaration (end marker within MAXD3DDECLLENGTH, known types and usages).
HRESULT ParseDeclaration(const D3DVERTEXELEMENT9 *elements, std::vector<D3DVERTEXELEMENT9> &out);
// The elements an FVF code stands for; false for codes the device does not support.
bool ElementsFromFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9> &out);
UINT FvfVertexSize(DWORD fvf);

// ---------------------------------------------------------------------------------------
// Vertex shaders: parsed bytecode.
// ---------------------------------------------------------------------------------------
struct ShaderParam {
    DWORD regType = 0;
    DWORD regNum = 0;
    DWORD mask = 0xF;         // destination write mask (bits x y z w)
    DWORD swizzle = 0xE4;     // source swizzle, two bits per component
    DWORD modifier = 0;       // source modifier (D3DSPSM_* >> shift) or destination modifier
    bool relative = false;    // indexed by a0.x, or by aL in a vertex shader's loop
    DWORD relComponent = 0;   // component of a0 used for the index
    bool relLoop = false;     // the index is the loop counter aL rather than a0
};

struct ShaderInstruction {
    DWORD opcode = 0;
    bool hasDest = false;
    ShaderParam dest;
    std::vector<ShaderParam> sources;
    DWORD dclUsage = 0, dclIndex = 0;  // for dcl; texld's specific-control bits in pixel shaders, the
                                       // D3DSPC_* comparison of a vertex shader's if_comp and break_comp
    float def[4] = {0, 0, 0, 0};       // for def
    DWORD shift = 0;       // ps_1_x destination shift (D3DSP_DSTSHIFT): 1..3 multiply by 2^n, 13..15 divide
    bool coissue = false;  // ps_1_x: runs together with the instruction before it
};

struct ShaderInput {
    DWORD reg;
    BYTE usage;
    BYTE usageIndex;
};

struct ParsedShader {
    DWORD version = 0;
    std::vector<DWORD> tokens;            // the function as given, end token included
    std::vector<ShaderInstruction> code;  // without dcl/def/comments
    std::vector<ShaderInput> inputs;      // declared inputs
    std::vector<std::pair<DWORD, std::vector<float>>> defs;  // def c#
    // Vertex shaders: defi i# and defb b#, which hide the device's integer and boolean
    // constants of those numbers.  `code` holds the flow-control instructions in order,
    // the subroutines after the main program's ret, each opened by its label.
    std::vector<std::pair<DWORD, std::vector<int>>> defsI;
    std::vector<std::pair<DWORD, BOOL>> defsB;
    bool readsIntConstants = false, readsBoolConstants = false;  // flow control reads some i#, some b#
    UINT maxConst = 0;                    // highest constant register read + 1
    bool usesAddress = false;
    bool writesFog = false, writesPointSize = false;
    DWORD outputsTexcoord = 0;            // bit per oT#
    bool writesColor[2] = {false, false};
    // Pixel shaders: the declared colour inputs (bit per v#), texture coordinate inputs
    // (bit per t#) and samplers (the D3DSTT_* type of each s#, 0 when undeclared).  A
    // ps_1_x shader declares nothing: these are what its instructions use.
    uint8_t colorInputs = 0, texcoordInputs = 0;
    DWORD samplerTypes[8] = {};
    bool writesDepth = false;
    uint8_t colorOutputs = 0;  // pixel shaders: the oC# written, bit #
};

// Parses and checks a vertex shader token stream: false with a reason for anything
// malformed (bad version, unknown opcode, wrong register, missing end, oversized input).
// `maxTokens` bounds how far the parser may read.
bool ParseVertexShader(const DWORD *tokens, size_t maxTokens, ParsedShader &out, std::string &why);
// The same for a ps_2_0 token stream (pixel_shader.cpp).
bool ParsePixelShader(const DWORD *tokens, size_t maxTokens, ParsedShader &out, std::string &why);
// The GLSL vertex shader for a parsed shader: input v# is attribute "a_v#", constants
// are the uniform array "c" (of ConstantArraySize entries); it writes the varyings that
// the fixed-function pixel stage reads, with texture output oT<texIndex> as its texture
// coordinates.
// `stageSets`, when given, names for stages 1..7 the oT register each later texture
// stage reads into v_tex<stage> (0xFF: none).
// What a draw asks of a translated shader beyond its own code.
struct ShaderVariant {
    const uint8_t *stageSets = nullptr;  // stages 1..7: the oT register each reads, 0xFF unused
    bool points = false;                 // a point list: the point size is written
    uint8_t clipPlanes = 0;              // user clip planes in use (clip-space planes), one bit each
    bool flat = false;                   // colours not interpolated (D3DSHADE_FLAT)
};
std::string TranslateToGlsl(const ParsedShader &shader, int texIndex, const ShaderVariant &variant = {});
UINT ConstantArraySize(const ParsedShader &shader);
// What a draw asks of a translated pixel shader beyond its own code; the fixed-function
// rest of the pixel pipeline (fog, alpha test, sRGB write) comes from the fragment key.
struct FragmentKey;
// The GLSL fragment shader for a parsed pixel shader: v0/v1 read v_diffuse/v_specular,
// t# reads v_tex#, s# samples u_texture#, constants are the uniform array "pc".
std::string TranslatePixelShaderToGlsl(const ParsedShader &shader, const FragmentKey &key);

// A shader object: the checked bytecode it was made from, kept verbatim for GetFunction.
// `Interface` is IDirect3DVertexShader9 or IDirect3DPixelShader9 (vertex_shader.cpp).
template <class Interface>
class ShaderObject final : public ComObject<Interface> {
public:
    ShaderObject(Device *device, ParsedShader parsed);
    ~ShaderObject() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetFunction(void *pData, UINT *pSizeOfData) override;

    Device *device;
    std::shared_ptr<bool> deviceAlive;
    ParsedShader parsed;
    uint32_t id;
};
using VertexShader = ShaderObject<IDirect3DVertexShader9>;
using PixelShader = ShaderObject<IDirect3DPixelShader9>;

uint32_t NextObjectId();

// ---------------------------------------------------------------------------------------
// Device state
// ---------------------------------------------------------------------------------------
constexpr int kMaxStages = 8;
constexpr int kMaxRenderTargets = 4;  // D3DCAPS9::NumSimultaneousRTs
constexpr int kMaxSamplers = 16;
constexpr float kMaxPointSize = 64.0f;  // the largest point drawn, in pixels (caps' MaxPointSize)
constexpr int kMaxBlendMatrices = 64;   // world matrices a blend reads: D3DTS_WORLDMATRIX(0..63); the
                                        // refusal of SetTransform past them names 63
constexpr int kMaxStreams = 16;
constexpr int kMaxLights = 8;
constexpr int kRenderStates = 256;
constexpr int kStageStates = 33;
constexpr int kSamplerStates = 14;
constexpr int kVsConstants = 256;
constexpr int kPsConstants = 224;     // the pixel shader constant bank SetPixelShaderConstantF takes
constexpr int kPs20Constants = 32;    // the constants a ps_2_0 shader may read
constexpr int kPsSamplers = 8;        // s0..s7: the samplers a pixel shader may declare here

struct StreamSource {
    VertexBuffer *buffer = nullptr;  // holds a reference
    UINT offset = 0;
    UINT stride = 0;
    UINT freq = 1;  // SetStreamSourceFreq's setting
};

struct DeviceState {
    DWORD render[kRenderStates] = {};
    DWORD stage[kMaxStages][kStageStates] = {};
    DWORD sampler[kMaxSamplers][kSamplerStates] = {};
    D3DMATRIX world, view, projection;
    D3DMATRIX moreWorlds[kMaxBlendMatrices - 1];  // D3DTS_WORLDMATRIX(1..63), for vertex blending
    D3DMATRIX textureMatrix[kMaxStages];
    D3DMATERIAL9 material = {};
    // Every light set or enabled, by index (any DWORD); the first kMaxLights enabled ones
    // in index order light a draw (ActiveLights).
    struct LightSlot {
        D3DLIGHT9 light = {};
        bool enabled = false;
    };
    std::map<DWORD, LightSlot> lights;
    // The enabled lights, in index order, at most kMaxLights; their count.
    int ActiveLights(const D3DLIGHT9 *out[kMaxLights]) const
    {
        int n = 0;
        for (const auto &entry : lights)
            if (entry.second.enabled && n < kMaxLights)
                out[n++] = &entry.second.light;
        return n;
    }
    D3DVIEWPORT9 viewport = {};
    IDirect3DBaseTexture9 *textures[kMaxSamplers] = {};  // hold references
    StreamSource streams[kMaxStreams];
    IndexBuffer *indices = nullptr;                      // holds a reference
    VertexDeclaration *declaration = nullptr;            // holds a reference
    DWORD fvf = 0;
    VertexShader *vertexShader = nullptr;                // holds a reference
    float vsConstF[kVsConstants][4] = {};
    int vsConstI[16][4] = {};
    BOOL vsConstB[16] = {};
    int psConstI[16][4] = {};
    BOOL psConstB[16] = {};
    PixelShader *pixelShader = nullptr;                  // holds a reference
    float psConstF[kPsConstants][4] = {};
    RECT scissor = {0, 0, 0, 0};
    // What draws and clears go to.  Null render target: the back buffer.  The depth
    // surface is the device's automatic one while `autoDepth`, else `depthStencil` (none
    // when null).  Render targets 1 to 3 (none when null) take a pixel shader's oC1 to
    // oC3.  All hold references.
    Surface *renderTarget = nullptr;
    Surface *moreTargets[kMaxRenderTargets - 1] = {};
    Surface *depthStencil = nullptr;
    bool autoDepth = false;
    float clipPlanes[6][4] = {};
    bool inScene = false;
    // Bumped when the uniforms that depend on them change, so that the back end uploads
    // transforms, lighting and shader constants only when they changed.
    uint64_t transformRevision = 1;
    uint64_t lightingRevision = 1;
    uint64_t constantRevision = 1;
};

void SetDefaultStates(DeviceState &state, const D3DPRESENT_PARAMETERS &pp);
// What the back end does not draw for this value ("fog", ...), or null when it does.
const char *UnsupportedRenderState(D3DRENDERSTATETYPE state, DWORD value);
const char *UnsupportedStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
const char *UnsupportedSamplerState(D3DSAMPLERSTATETYPE type, DWORD value);

// A draw, already checked by the device, handed to the back end.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT vertexCount = 0;  // vertices the primitives use (non-indexed) or index count (indexed)
    UINT startVertex = 0;  // first vertex (non-indexed)
    bool indexed = false;
    INT baseVertex = 0;
    UINT minIndex = 0, numVertices = 0;
    UINT startIndex = 0;
    // Vertices and indices given by pointer (the *UP calls).
    const void *userVertices = nullptr;
    UINT userStride = 0;
    UINT userVertexBytes = 0;
    const void *userIndices = nullptr;
    D3DFORMAT userIndexFormat = D3DFMT_INDEX16;
    // An instanced indexed draw: the geometry `instances` times, streams marked
    // D3DSTREAMSOURCE_INSTANCEDATA | k stepping once every k instances.
    bool instanced = false;
    UINT instances = 1;
};

// What the stream frequencies make of an indexed draw (instancing), and the instance
// divisor of one stream in it (0: the stream steps per vertex).
void SetInstancing(const DeviceState &s, DrawCall &call);
UINT InstanceDivisor(const DeviceState &s, const DrawCall &call, UINT stream);

// Vertices run through the vertex stage without being drawn (ProcessVertices): per vertex
// kTransformedFloats values, its clip-space position (x, y, z, w with z from 0 to w), its
// diffuse and its specular colour (r, g, b, a), then four for each of the first texture
// coordinate sets asked for, filled for the sets in `written` (bit i for set i) and 0 for
// sets the vertex stage does not write.
struct TransformedVertices {
    std::vector<float> values;
    UINT sets = 0;     // texture coordinate sets per vertex
    UINT written = 0;
};
constexpr UINT kTransformedFloats = 12;

UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT primitives);  // 0 for an unknown type
D3DMATRIX Multiply(const D3DMATRIX &a, const D3DMATRIX &b);  // a then b, for row vectors

// The back end.  The NULLREF one accepts everything and draws nothing.
class Renderer {
public:
    virtual ~Renderer() = default;
    virtual HRESULT Clear(const DeviceState &state, DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color,
                          float z, DWORD stencil) = 0;
    virtual HRESULT Draw(const DeviceState &state, const DrawCall &call) = 0;
    // The vertices of a non-indexed point list through the vertex stage into `out`, its
    // `sets` already chosen; the NULLREF back end leaves `out.values` empty.
    virtual HRESULT Transform(const DeviceState &state, const DrawCall &call, TransformedVertices &out) = 0;
    // Shows a back buffer in a window's client area: `from` of the source, scaled into `to`
    // of the window (both clipped, null for the whole).  With `keep` (D3DSWAPEFFECT_COPY)
    // the rest of the client area keeps what earlier presentations put there.
    struct Presentation {
        Surface *source = nullptr;     // an additional swap chain's back buffer; null: the device's
        const RECT *from = nullptr;
        const RECT *to = nullptr;
        SDL_Window *window = nullptr;  // null: the device's window
        bool keep = false;
    };
    virtual HRESULT Present(const Presentation &what) = 0;
    // Copies the back buffer into `out` (rows top first, in `format`).  False on failure.
    virtual bool ReadBackBuffer(MipLevel &out, D3DFORMAT format) = 0;
    // The back buffer's pixels were changed through a lock: put them back.
    virtual void WriteBackBuffer(const MipLevel &in, D3DFORMAT format) = 0;
    // What the last Present put in `window` (null: the device's), as ARGB rows top first of
    // `width` by `height`, and where the window's drawable starts on the desktop.  False
    // when nothing is shown there.
    struct FrontBuffer {
        std::vector<D3DCOLOR> argb;
        int width = 0, height = 0, left = 0, top = 0;
    };
    virtual bool ReadFrontBuffer(SDL_Window *window, FrontBuffer &out) = 0;
    // New presentation parameters (a Reset): the back buffer and the depth buffer take
    // the new size, cleared.
    virtual HRESULT Resize(const D3DPRESENT_PARAMETERS &pp) = 0;
    virtual bool IsNull() const = 0;

    // Surfaces whose pixels the back end keeps (render targets, depth surfaces, textures
    // of D3DUSAGE_RENDERTARGET, the back buffer); the others' pixels live in memory.
    virtual bool HoldsPixels(const Surface &surface) const = 0;
    // A surface the back end holds, read into `out` (rows top first, in its format) or
    // written from `in`.  False on failure.
    virtual bool ReadSurface(Surface &surface, MipLevel &out) = 0;
    virtual bool WriteSurface(Surface &surface, const MipLevel &in) = 0;
    // Copies `from` of `src` scaled into `to` of `dst`, both held by the back end (linear or
    // point filtered); fills `area` of a held surface with a colour.
    virtual bool Blit(Surface &src, const RECT &from, Surface &dst, const RECT &to, bool linear) = 0;
    virtual bool Fill(Surface &surface, const RECT &area, D3DCOLOR color) = 0;

    // The back end's side of a query (queries.cpp): Begin and End mark the commands it
    // covers, in the order the device is given them; Result is true once the answer is in
    // `data` (the query type's data size), `flush` first sending the commands on.  The
    // device checks the order of the calls.
    struct QueryWork {
        virtual ~QueryWork() = default;
        virtual void Begin() = 0;
        virtual void End() = 0;
        virtual bool Result(bool flush, void *data) = 0;
    };
    // Null for a type the back end does not answer.
    virtual std::unique_ptr<QueryWork> NewQuery(D3DQUERYTYPE type) = 0;
};

// The bytes of a query type's answer (0 for a type the device has no queries of).
DWORD QueryDataSize(D3DQUERYTYPE type);
// A query the NULLREF back end answers at once: nothing is drawn (no samples pass), every
// command is done, timestamps are the steady clock's nanoseconds.
std::unique_ptr<Renderer::QueryWork> NewImmediateQuery(D3DQUERYTYPE type);

// The window a device presents to: its device window, else its focus window.
inline HWND DeviceWindow(const D3DPRESENT_PARAMETERS &pp, HWND focus)
{
    return pp.hDeviceWindow ? pp.hDeviceWindow : focus;
}
// A windowed back buffer of width or height 0 takes that of the client area of the device
// window, at creation and at Reset alike.
void TakeClientSize(D3DPRESENT_PARAMETERS &pp, HWND focus);

std::unique_ptr<Renderer> CreateNullRenderer();
// Creates the OpenGL back end on the window; null (with a diagnostic) when no GL 3.3
// core context can be made there.
std::unique_ptr<Renderer> CreateGlRenderer(SDL_Window *window, const D3DPRESENT_PARAMETERS &pp, std::string &why);

// The device: state, resources, statistics; drawing goes to the renderer.
// A state block: which states it holds and their values.  The values' pointers hold
// references.  Applying sets each held state through the device; capturing reads them
// back from it.  While the device records (BeginStateBlock), its setters write into the
// recording block instead of the device's own state.
// A swap chain (swap_chain.cpp).  The implicit one is made when first asked for, each
// method the device's own for swap chain 0.  An additional one (CreateAdditionalSwapChain)
// has its own presentation parameters and window, and its back buffer is a render-target
// surface it owns.  Neither holds a reference to the device; both are counted among the
// device's live objects.
class SwapChain final : public ComObject<IDirect3DSwapChain9> {
public:
    explicit SwapChain(Device *device);
    SwapChain(Device *device, const D3DPRESENT_PARAMETERS &pp, Surface *backBuffer);
    ~SwapChain() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE Present(CONST RECT *pSourceRect, CONST RECT *pDestRect, HWND hDestWindowOverride,
                                      CONST RGNDATA *pDirtyRegion, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(IDirect3DSurface9 *pDestSurface) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9 **ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS *pRasterStatus) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE *pMode) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS *pPresentationParameters) override;

private:
    bool Alive(const char *what);
    Device *device;
    std::shared_ptr<bool> deviceAlive;
    Surface *backBuffer = nullptr;  // an additional chain's, holding one reference; null for the implicit one
    D3DPRESENT_PARAMETERS pp = {};  // an additional chain's
};

class StateBlock final : public ComObject<IDirect3DStateBlock9> {
public:
    explicit StateBlock(Device *device);
    ~StateBlock() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **ppDevice) override;
    HRESULT STDMETHODCALLTYPE Capture() override;
    HRESULT STDMETHODCALLTYPE Apply() override;

    // Marks the states a block of this type holds (D3DSBT_ALL, PIXELSTATE, VERTEXSTATE).
    void Select(D3DSTATEBLOCKTYPE type, const DeviceState &current);

    // world, view, projection, texture 0..7, world matrices 1..63
    static constexpr int kTransforms = 3 + kMaxStages + kMaxBlendMatrices - 1;
    static int TransformIndex(D3DTRANSFORMSTATETYPE t);  // -1 for others

    Device *device;  // holds a reference
    DeviceState values;
    bool render[kRenderStates] = {};
    bool stage[kMaxStages][kStageStates] = {};
    bool sampler[kMaxSamplers][kSamplerStates] = {};
    bool transform[kTransforms] = {};
    bool material = false, viewport = false, indices = false, vertexFormat = false, vertexShader = false;
    std::set<DWORD> light, lightEnable;  // the light indices whose properties / enable state it holds
    bool texture[kMaxSamplers] = {};
    bool stream[kMaxStreams] = {};
    bool vsConstF[kVsConstants] = {}, vsConstI[16] = {}, vsConstB[16] = {};
    bool pixelShader = false, psConstF[kPsConstants] = {}, psConstI[16] = {}, psConstB[16] = {};
    bool clipPlane[6] = {}, scissor = false;
};

class Device final : public ComObject<IDirect3DDevice9> {
public:
    Device(IDirect3D9 *d3d, D3DDEVTYPE type, HWND focus, DWORD flags, const D3DPRESENT_PARAMETERS &pp,
           std::unique_ptr<Renderer> renderer);
    ~Device() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override;
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override;
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9 **ppD3D9) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9 *pCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE *pMode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS *pParameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9 *pCursorBitmap) override;
    void STDMETHODCALLTYPE SetCursorPosition(int X, int Y, DWORD Flags) override;
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL bShow) override;
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS *pPresentationParameters, IDirect3DSwapChain9 **pSwapChain) override;
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9 **pSwapChain) override;
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS *pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE Present(CONST RECT *pSourceRect, CONST RECT *pDestRect, HWND hDestWindowOverride, CONST RGNDATA *pDirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9 **ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS *pRasterStatus) override;
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL bEnableDialogs) override;
    void STDMETHODCALLTYPE SetGammaRamp(UINT iSwapChain, DWORD Flags, CONST D3DGAMMARAMP *pRamp) override;
    void STDMETHODCALLTYPE GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP *pRamp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9 **ppTexture, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture9 **ppVolumeTexture, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DCubeTexture9 **ppCubeTexture, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer9 **ppVertexBuffer, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DIndexBuffer9 **ppIndexBuffer, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9 **ppSurface, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9 **ppSurface, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9 *pSourceSurface, CONST RECT *pSourceRect, IDirect3DSurface9 *pDestinationSurface, CONST POINT *pDestPoint) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9 *pSourceTexture, IDirect3DBaseTexture9 *pDestinationTexture) override;
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9 *pRenderTarget, IDirect3DSurface9 *pDestSurface) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9 *pDestSurface) override;
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9 *pSourceSurface, CONST RECT *pSourceRect, IDirect3DSurface9 *pDestSurface, CONST RECT *pDestRect, D3DTEXTUREFILTERTYPE Filter) override;
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9 *pSurface, CONST RECT *pRect, D3DCOLOR color) override;
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool, IDirect3DSurface9 **ppSurface, HANDLE *pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9 *pRenderTarget) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9 **ppRenderTarget) override;
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9 *pNewZStencil) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9 **ppZStencilSurface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, CONST D3DRECT *pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX *pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX *pMatrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE, CONST D3DMATRIX *) override;
    HRESULT STDMETHODCALLTYPE SetViewport(CONST D3DVIEWPORT9 *pViewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9 *pViewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(CONST D3DMATERIAL9 *pMaterial) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9 *pMaterial) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD Index, CONST D3DLIGHT9 *) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT9 *) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, BOOL *pEnable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD Index, CONST float *pPlane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float *pPlane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD *pValue) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9 **ppSB) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9 **ppSB) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(CONST D3DCLIPSTATUS9 *pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9 *pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture9 **ppTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture9 *pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD *pValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD *pValue) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD *pNumPasses) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT PaletteNumber, CONST PALETTEENTRY *pEntries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY *pEntries) override;
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT *PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE SetScissorRect(CONST RECT *pRect) override;
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT *pRect) override;
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL bSoftware) override;
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override;
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float nSegments) override;
    float STDMETHODCALLTYPE GetNPatchMode() override;
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE, INT BaseVertexIndex, UINT MinVertexIndex, UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, CONST void *pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices, UINT PrimitiveCount, CONST void *pIndexData, D3DFORMAT IndexDataFormat, CONST void *pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount, IDirect3DVertexBuffer9 *pDestBuffer, IDirect3DVertexDeclaration9 *pVertexDecl, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(CONST D3DVERTEXELEMENT9 *pVertexElements, IDirect3DVertexDeclaration9 **ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9 *pDecl) override;
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9 **ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD FVF) override;
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD *pFVF) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(CONST DWORD *pFunction, IDirect3DVertexShader9 **ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9 *pShader) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9 **ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT StartRegister, CONST float *pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT StartRegister, float *pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT StartRegister, CONST int *pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT StartRegister, int *pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT StartRegister, CONST BOOL *pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT StartRegister, BOOL *pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9 *pStreamData, UINT OffsetInBytes, UINT Stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9 **ppStreamData, UINT *pOffsetInBytes, UINT *pStride) override;
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT StreamNumber, UINT Setting) override;
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT StreamNumber, UINT *pSetting) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9 *pIndexData) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9 **ppIndexData) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(CONST DWORD *pFunction, IDirect3DPixelShader9 **ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9 *pShader) override;
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9 **ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT StartRegister, CONST float *pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT StartRegister, float *pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT StartRegister, CONST int *pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT StartRegister, int *pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT StartRegister, CONST BOOL *pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT StartRegister, BOOL *pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT Handle, CONST float *pNumSegs, CONST D3DRECTPATCH_INFO *pRectPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT Handle, CONST float *pNumSegs, CONST D3DTRIPATCH_INFO *pTriPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override;
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9 **ppQuery) override;

    IDirect3D9 *d3d;  // holds a reference
    D3DDEVTYPE type;
    HWND focus;
    DWORD behaviorFlags;
    D3DPRESENT_PARAMETERS pp;
    std::unique_ptr<Renderer> renderer;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    DeviceState state;
    Surface *backBuffer = nullptr;  // not owned: cleared by the surface when it goes
    SwapChain *swapChain = nullptr;  // the implicit swap chain; not owned, as the back buffer
    Surface *autoDepthSurface = nullptr;  // the same, for the automatic depth-stencil surface
    int liveChildren = 0;           // resources made by this device that still exist
    int liveDefaultPool = 0;        // those of them in D3DPOOL_DEFAULT, which stop a Reset
    int liveAdditionalChains = 0;   // additional swap chains, which stop a Reset too

    // Frame statistics.
    uint64_t framesPresented = 0;
    double createdSeconds = 0;

    // The calls made while a test traces the device (call_trace.cpp), one line each.
    bool tracing = false;
    std::vector<std::string> callTrace;
    void Trace(const char *call, const std::string &arguments = std::string())
    {
        if (tracing)
            callTrace.push_back(arguments.empty() ? std::string(call) : std::string(call) + " " + arguments);
    }

    // The block that BeginStateBlock opened (holds a reference), or null; the state the
    // setters write: the recording block's values while one is open.
    StateBlock *recording = nullptr;
    DeviceState &Target() { return recording ? recording->values : state; }
    template <class Register, size_t N>
    HRESULT WriteConstants(const char *what, Register (DeviceState::*bank)[N], bool (StateBlock::*marks)[N],
                           UINT start, const void *data, UINT count);
    template <class Register, size_t N>
    HRESULT ReadConstants(const char *what, Register (DeviceState::*bank)[N], UINT start, void *data, UINT count);

    D3DGAMMARAMP gamma = {};
    D3DCLIPSTATUS9 clipStatus = {};
    BOOL softwareVertexProcessing = FALSE;

    // What Present of the device and of every swap chain share: the checks of the
    // rectangles, the window and the dirty region against the chain's parameters `chain`,
    // then `source` (null: the device's back buffer) shown through the back end.
    HRESULT PresentChain(const D3DPRESENT_PARAMETERS &chain, Surface *source, const RECT *from, const RECT *to,
                         HWND destWindow, const RGNDATA *dirty, const char *what);
    // GetFrontBufferData of the swap chain that shows in `window` (null: the device's).
    HRESULT ReadFrontBufferInto(HWND window, IDirect3DSurface9 *dest, const char *what);

    // The back buffer and the automatic depth-stencil surface as surfaces, made when first
    // asked for; each call adds a reference.
    Surface *BackBufferSurface();
    Surface *AutoDepthSurface();
    // The size of render target 0, which viewports and scissor rectangles lie in.
    void TargetSize(UINT *width, UINT *height) const;
    // Lets go of the targets bound and binds the back buffer and automatic depth again.
    void UnbindTargets();

private:
    // Checks that a draw has what it reads (scene, layout, streams, indices in range);
    // fills in the vertex range the call touches.
    HRESULT CheckDraw(const char *what, DrawCall &call, UINT indexCount);
    HRESULT CheckVertices(const char *what, DrawCall &call, UINT indexCount);  // CheckDraw less the scene
    VertexDeclaration *DeclarationForFvf(DWORD fvf);
    std::vector<VertexDeclaration *> fvfDeclarations_;  // made for SetFVF; hold references
};

}  // namespace tavrok::d3d9

#endif
