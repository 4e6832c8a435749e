/*
 * mesh.cpp - ID3DXMesh: a triangle list in the device's vertex and index buffers with one
 * attribute id per face.
 *
 * The vertex and index buffers are created on the mesh's device in the pool and with the
 * usage the D3DXMESH_* options ask for; the device keeps their contents in memory and
 * uploads what a lock changed, so DrawSubset simply binds them and draws the faces of one
 * attribute with DrawIndexedPrimitive.  Before an attribute sort (no attribute table)
 * DrawSubset draws each run of faces that carry the attribute.  Indices are 16-bit unless
 * D3DXMESH_32BIT is given.  A mesh is made from an FVF code or from a vertex declaration
 * (one stream, the position first); a declaration that no FVF code expresses leaves the
 * mesh without a code (GetFVF is 0) and DrawSubset sets the declaration instead.
 * A clone between two FVF codes converts each vertex by its FVF components; a clone from or
 * to a declaration without a code copies each element of the new declaration from the
 * source's element of the same usage and usage index.  OptimizeInplace sorts the faces by
 * attribute (stably), reorders each attribute's faces for the vertex cache or into strips
 * (mesh_optimize.cpp), renumbers the vertices in the order the faces first use them and
 * compacts away those no face uses.  Vertices shared between attribute groups are never
 * split, so ranges of the attribute table may overlap; faces are never removed.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>
#include <tavrok/vertex_elements.h>

#include <algorithm>
#include <cstring>
#include <numeric>


namespace tavrok::d3dx9mesh {
namespace {

// Where and how a buffer lives, from the options' vertex-buffer or index-buffer bits.
struct BufferPlacement {
    D3DPOOL pool;
    DWORD usage;
};

BufferPlacement PlacementOf(DWORD options, bool indices)
{
    DWORD sys = indices ? D3DXMESH_IB_SYSTEMMEM : D3DXMESH_VB_SYSTEMMEM;
    DWORD managed = indices ? D3DXMESH_IB_MANAGED : D3DXMESH_VB_MANAGED;
    DWORD writeOnly = indices ? D3DXMESH_IB_WRITEONLY : D3DXMESH_VB_WRITEONLY;
    DWORD dynamic = indices ? D3DXMESH_IB_DYNAMIC : D3DXMESH_VB_DYNAMIC;
    DWORD software = indices ? D3DXMESH_IB_SOFTWAREPROCESSING : D3DXMESH_VB_SOFTWAREPROCESSING;
    BufferPlacement p{D3DPOOL_DEFAULT, 0};
    if (options & sys)
        p.pool = D3DPOOL_SYSTEMMEM;
    else if (options & managed)
        p.pool = D3DPOOL_MANAGED;
    if (options & writeOnly)
        p.usage |= D3DUSAGE_WRITEONLY;
    if (options & dynamic)
        p.usage |= D3DUSAGE_DYNAMIC;
    if (options & software)
        p.usage |= D3DUSAGE_SOFTWAREPROCESSING;
    if (options & D3DXMESH_DONOTCLIP)
        p.usage |= D3DUSAGE_DONOTCLIP;
    if (options & D3DXMESH_POINTS)
        p.usage |= D3DUSAGE_POINTS;
    if (options & D3DXMESH_NPATCHES)
        p.usage |= D3DUSAGE_NPATCHES;
    if (options & D3DXMESH_RTPATCHES)
        p.usage |= D3DUSAGE_RTPATCHES;
    return p;
}

// Options a mesh keeps: the creation bits, not the optimisation flags.
constexpr DWORD kCreationOptions = 0x0001FFFF;

// How a mesh's vertices are laid out: the FVF code (0 when the declaration has none), the
// component offsets conversions read, and the declaration with its end marker.
struct VertexFormat {
    DWORD fvf = 0;
    FvfLayout layout;
    std::vector<D3DVERTEXELEMENT9> elements;
};

HRESULT FormatOfFvf(const char *caller, DWORD fvf, VertexFormat *out)
{
    out->fvf = fvf;
    out->layout = LayoutOfFvf(fvf);
    out->elements.resize(MAX_FVF_DECL_SIZE);
    if (!out->layout.valid || (fvf & D3DFVF_POSITION_MASK) == 0 ||
        FAILED(D3DXDeclaratorFromFVF(fvf, out->elements.data()))) {
        char reason[112];
        snprintf(reason, sizeof reason, "%s: vertex format 0x%lx has no valid position", caller, (unsigned long)fvf);
        Diagnostic(kLib, "", "", reason);
        return D3DERR_INVALIDCALL;
    }
    out->elements.resize(D3DXGetDeclLength(out->elements.data()) + 1);
    return D3D_OK;
}

HRESULT FormatOfDeclaration(const char *caller, const D3DVERTEXELEMENT9 *elements, VertexFormat *out)
{
    const std::string who = caller;
    if (!elements) {
        Diagnostic(kLib, "", "", who + ": null vertex declaration");
        return D3DERR_INVALIDCALL;
    }
    const UINT n = D3DXGetDeclLength(elements);
    if (n > MAXD3DDECLLENGTH) {
        Diagnostic(kLib, "", "", who + ": no D3DDECL_END() within " + std::to_string(MAXD3DDECLLENGTH) + " elements");
        return D3DERR_INVALIDCALL;
    }
    // The mesh has one vertex buffer, and the ray, adjacency and bounding code read each
    // vertex's position from its first bytes.
    for (UINT i = 0; i < n; i++) {
        if (elements[i].Stream != 0) {
            Diagnostic(kLib, "", "element " + std::to_string(i), who + ": a mesh's vertices are all in stream 0");
            return D3DERR_INVALIDCALL;
        }
    }
    out->layout = LayoutOfDeclaration(elements);
    if (out->layout.positionBytes < 12) {
        Diagnostic(kLib, "", "", who + ": the declaration has no float position at offset 0");
        return D3DERR_INVALIDCALL;
    }
    if (FAILED(D3DXFVFFromDeclarator(elements, &out->fvf)))
        out->fvf = 0;
    else
        out->layout = LayoutOfFvf(out->fvf);
    out->elements.assign(elements, elements + n + 1);
    return D3D_OK;
}

// Copies one vertex element by element: each element of `to` takes the source's element of
// the same usage and usage index.  The same type is copied as it is; between float types
// the components both have are copied and the others are zero.  An element the source
// lacks is zero, except a missing diffuse colour, which is opaque white (as in the FVF
// conversion).
void CopyVertexByElements(const std::vector<D3DVERTEXELEMENT9> &from, const BYTE *src,
                          const std::vector<D3DVERTEXELEMENT9> &to, UINT toStride, BYTE *dst)
{
    memset(dst, 0, toStride);
    for (size_t i = 0; i + 1 < to.size(); i++) {
        const D3DVERTEXELEMENT9 &t = to[i];
        const D3DVERTEXELEMENT9 *f = nullptr;
        for (size_t j = 0; j + 1 < from.size() && !f; j++)
            if (from[j].Usage == t.Usage && from[j].UsageIndex == t.UsageIndex)
                f = &from[j];
        if (!f) {
            if (t.Usage == D3DDECLUSAGE_COLOR && t.UsageIndex == 0 && t.Type == D3DDECLTYPE_D3DCOLOR)
                memset(dst + t.Offset, 0xFF, 4);
            continue;
        }
        if (f->Type == t.Type)
            memcpy(dst + t.Offset, src + f->Offset, tavrok::d3d9::DeclTypeSize(t.Type));
        else if (f->Type <= D3DDECLTYPE_FLOAT4 && t.Type <= D3DDECLTYPE_FLOAT4)
            memcpy(dst + t.Offset, src + f->Offset, 4 * (std::min(f->Type, t.Type) + 1));
    }
}

class CMesh final : public RefCounted<ID3DXMesh> {
public:
    // Counts the locks that may write vertices or indices (and reorderings), so that data
    // derived from the geometry, such as the ray hierarchy, knows when to rebuild.
    uint64_t WriteGeneration() const { return writeGeneration_; }

    CMesh(IDirect3DDevice9 *device, DWORD options, const VertexFormat &format, DWORD numFaces, DWORD numVertices)
        : device_(device), options_(options & kCreationOptions), format_(format), fvf_(format.fvf),
          layout_(format.layout), numFaces_(numFaces), numVertices_(numVertices), attributes_(numFaces, 0)
    {
        device_->AddRef();
    }

    HRESULT CreateBuffers()
    {
        HRESULT hr;
        // Without an FVF code the device draws the vertices by the declaration.
        if (!fvf_ && FAILED(hr = device_->CreateVertexDeclaration(format_.elements.data(), &declaration_)))
            return hr;
        BufferPlacement vb = PlacementOf(options_, false);
        hr = device_->CreateVertexBuffer(numVertices_ * layout_.stride, vb.usage, fvf_, vb.pool, &vb_, nullptr);
        if (FAILED(hr))
            return hr;
        BufferPlacement ib = PlacementOf(options_, true);
        return device_->CreateIndexBuffer(numFaces_ * 3 * IndexBytes(), ib.usage, Uses32Bit() ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                          ib.pool, &ib_, nullptr);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ID3DXBaseMesh) || IsEqualGUID(riid, IID_ID3DXMesh)) {
            *ppv = static_cast<ID3DXMesh *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    // ID3DXBaseMesh
    STDMETHODIMP DrawSubset(DWORD AttribId) override
    {
        if (attributeLocked_) {
            Diagnostic(kLib, "", "", "ID3DXMesh::DrawSubset: the attribute buffer is locked");
            return D3DERR_INVALIDCALL;
        }
        if (declaration_)
            device_->SetVertexDeclaration(declaration_);
        else
            device_->SetFVF(fvf_);
        device_->SetStreamSource(0, vb_, 0, layout_.stride);
        device_->SetIndices(ib_);
        if (!table_.empty()) {
            for (const D3DXATTRIBUTERANGE &r : table_) {
                if (r.AttribId == AttribId && r.FaceCount > 0)
                    device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, r.VertexStart, r.VertexCount, r.FaceStart * 3,
                                                  r.FaceCount);
            }
            return D3D_OK;
        }
        // Unsorted: one draw per run of consecutive faces that carry the attribute.  The
        // runs are found once after the attributes change, not on every draw.
        if (runsStale_) {
            runs_.clear();
            for (DWORD f = 0; f < numFaces_;) {
                DWORD start = f;
                while (f < numFaces_ && attributes_[f] == attributes_[start])
                    f++;
                runs_.push_back(D3DXATTRIBUTERANGE{attributes_[start], start, f - start, 0, 0});
            }
            runsStale_ = false;
        }
        for (const D3DXATTRIBUTERANGE &r : runs_)
            if (r.AttribId == AttribId)
                device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, numVertices_, r.FaceStart * 3, r.FaceCount);
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetNumFaces() override { return numFaces_; }
    STDMETHODIMP_(DWORD) GetNumVertices() override { return numVertices_; }
    STDMETHODIMP_(DWORD) GetFVF() override { return fvf_; }
    STDMETHODIMP GetDeclaration(D3DVERTEXELEMENT9 *Declaration) override
    {
        if (!Declaration)
            return D3DERR_INVALIDCALL;
        std::copy(format_.elements.begin(), format_.elements.end(), Declaration);
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetNumBytesPerVertex() override { return layout_.stride; }
    STDMETHODIMP_(DWORD) GetOptions() override { return options_; }
    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *ppDevice) override
    {
        if (!ppDevice)
            return D3DERR_INVALIDCALL;
        device_->AddRef();
        *ppDevice = device_;
        return D3D_OK;
    }
    STDMETHODIMP CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppCloneMesh) override
    {
        VertexFormat format;
        if (!ppCloneMesh || !pD3DDevice)
            return D3DERR_INVALIDCALL;
        *ppCloneMesh = nullptr;
        HRESULT hr = FormatOfFvf("ID3DXMesh::CloneMeshFVF", FVF, &format);
        return FAILED(hr) ? hr : Clone("ID3DXMesh::CloneMeshFVF", Options, format, pD3DDevice, ppCloneMesh);
    }
    // A copy in another format, on another device or with other options.
    HRESULT Clone(const char *caller, DWORD options, const VertexFormat &format, IDirect3DDevice9 *device,
                  ID3DXMesh **out);
    STDMETHODIMP CloneMesh(DWORD Options, CONST D3DVERTEXELEMENT9 *pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                           LPD3DXMESH *ppCloneMesh) override
    {
        VertexFormat format;
        if (!ppCloneMesh || !pD3DDevice)
            return D3DERR_INVALIDCALL;
        *ppCloneMesh = nullptr;
        HRESULT hr = FormatOfDeclaration("ID3DXMesh::CloneMesh", pDeclaration, &format);
        return FAILED(hr) ? hr : Clone("ID3DXMesh::CloneMesh", Options, format, pD3DDevice, ppCloneMesh);
    }
    STDMETHODIMP GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9 *ppVB) override
    {
        if (!ppVB)
            return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *ppVB = vb_;
        return D3D_OK;
    }
    STDMETHODIMP GetIndexBuffer(LPDIRECT3DINDEXBUFFER9 *ppIB) override
    {
        if (!ppIB)
            return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *ppIB = ib_;
        return D3D_OK;
    }
    STDMETHODIMP LockVertexBuffer(DWORD Flags, LPVOID *ppData) override
    {
        if (!(Flags & D3DLOCK_READONLY))
            ++writeGeneration_;
        return vb_->Lock(0, 0, ppData, Flags);
    }
    STDMETHODIMP UnlockVertexBuffer() override { return vb_->Unlock(); }
    STDMETHODIMP LockIndexBuffer(DWORD Flags, LPVOID *ppData) override
    {
        if (!(Flags & D3DLOCK_READONLY))
            ++writeGeneration_;
        return ib_->Lock(0, 0, ppData, Flags);
    }
    STDMETHODIMP UnlockIndexBuffer() override { return ib_->Unlock(); }
    STDMETHODIMP GetAttributeTable(D3DXATTRIBUTERANGE *pAttribTable, DWORD *pAttribTableSize) override
    {
        if (!pAttribTableSize)
            return D3DERR_INVALIDCALL;
        if (pAttribTable)
            std::copy(table_.begin(), table_.end(), pAttribTable);
        *pAttribTableSize = DWORD(table_.size());
        return D3D_OK;
    }
    STDMETHODIMP ConvertPointRepsToAdjacency(CONST DWORD *pPRep, DWORD *pAdjacency) override
    {
        if (!pAdjacency)
            return D3DERR_INVALIDCALL;
        std::vector<DWORD> indices;
        HRESULT hr = ReadIndices(&indices);
        if (FAILED(hr))
            return hr;
        for (DWORD i = 0; pPRep && i < numVertices_; i++) {
            if (pPRep[i] >= numVertices_) {
                Diagnostic(kLib, "", "", "ConvertPointRepsToAdjacency: point representative " + std::to_string(pPRep[i]) +
                                             " of vertex " + std::to_string(i) + " is not a vertex");
                return D3DERR_INVALIDCALL;
            }
        }
        AdjacencyFromPointReps(indices.data(), numFaces_, pPRep, pAdjacency);
        return D3D_OK;
    }
    STDMETHODIMP ConvertAdjacencyToPointReps(CONST DWORD *pAdjacency, DWORD *pPRep) override
    {
        std::vector<DWORD> indices;
        HRESULT hr = pPRep ? ReadIndices(&indices) : D3DERR_INVALIDCALL;
        if (FAILED(hr))
            return hr;
        if (!pAdjacency) {
            std::iota(pPRep, pPRep + numVertices_, 0);  // no neighbours: every vertex is its own point
            return D3D_OK;
        }
        if (!PointRepsFromAdjacency(indices.data(), numFaces_, numVertices_, pAdjacency, pPRep)) {
            Diagnostic(kLib, "", "", "ConvertAdjacencyToPointReps: the adjacency names a face the mesh lacks");
            return D3DERR_INVALIDCALL;
        }
        return D3D_OK;
    }
    STDMETHODIMP GenerateAdjacency(FLOAT Epsilon, DWORD *pAdjacency) override;
    // A new declaration over the same vertices: it must describe vertices of the same size.
    STDMETHODIMP UpdateSemantics(D3DVERTEXELEMENT9 *Declaration) override
    {
        VertexFormat format;
        HRESULT hr = FormatOfDeclaration("ID3DXMesh::UpdateSemantics", Declaration, &format);
        if (FAILED(hr))
            return hr;
        if (format.layout.stride != layout_.stride) {
            Diagnostic(kLib, "", "", "ID3DXMesh::UpdateSemantics: the declaration's vertices are " +
                                         std::to_string(format.layout.stride) + " bytes, the mesh's " +
                                         std::to_string(layout_.stride));
            return D3DERR_INVALIDCALL;
        }
        IDirect3DVertexDeclaration9 *declaration = nullptr;
        if (!format.fvf && FAILED(hr = device_->CreateVertexDeclaration(format.elements.data(), &declaration)))
            return hr;
        if (declaration_)
            declaration_->Release();
        declaration_ = declaration;
        format_ = std::move(format);
        fvf_ = format_.fvf;
        layout_ = format_.layout;
        return D3D_OK;
    }

    // ID3DXMesh
    STDMETHODIMP LockAttributeBuffer(DWORD Flags, DWORD **ppData) override
    {
        if (!ppData || attributeLocked_) {
            Diagnostic(kLib, "", "",
                       !ppData ? "ID3DXMesh::LockAttributeBuffer: null result pointer"
                               : "ID3DXMesh::LockAttributeBuffer: the attribute buffer is locked already");
            return D3DERR_INVALIDCALL;
        }
        attributeLocked_ = true;
        // Writing the attributes makes the attribute table stale, as with the real library.
        if (!(Flags & D3DLOCK_READONLY)) {
            table_.clear();
            runsStale_ = true;
        }
        *ppData = attributes_.data();
        return D3D_OK;
    }
    STDMETHODIMP UnlockAttributeBuffer() override
    {
        if (!attributeLocked_) {
            Diagnostic(kLib, "", "", "ID3DXMesh::UnlockAttributeBuffer: the attribute buffer is not locked");
            return D3DERR_INVALIDCALL;
        }
        attributeLocked_ = false;
        return D3D_OK;
    }
    STDMETHODIMP Optimize(DWORD Flags, CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                          LPD3DXBUFFER *ppVertexRemap, LPD3DXMESH *ppOptMesh) override
    {
        if (!ppOptMesh)
            return D3DERR_INVALIDCALL;
        ID3DXMesh *copy = nullptr;
        HRESULT hr = Clone("ID3DXMesh::Optimize", options_, format_, device_, &copy);
        if (FAILED(hr))
            return hr;
        hr = copy->OptimizeInplace(Flags, pAdjacencyIn, pAdjacencyOut, pFaceRemap, ppVertexRemap);
        if (FAILED(hr)) {
            copy->Release();
            return hr;
        }
        *ppOptMesh = copy;
        return D3D_OK;
    }
    STDMETHODIMP OptimizeInplace(DWORD Flags, CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                                 LPD3DXBUFFER *ppVertexRemap) override;
    STDMETHODIMP SetAttributeTable(CONST D3DXATTRIBUTERANGE *pAttribTable, DWORD cAttribTableSize) override
    {
        if (!pAttribTable && cAttribTableSize)
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < cAttribTableSize; i++) {
            const D3DXATTRIBUTERANGE &r = pAttribTable[i];
            if (r.FaceStart > numFaces_ || r.FaceCount > numFaces_ - r.FaceStart || r.VertexStart > numVertices_ ||
                r.VertexCount > numVertices_ - r.VertexStart) {
                Diagnostic(kLib, "", "", "SetAttributeTable: range " + std::to_string(i) + " lies outside the mesh");
                return D3DERR_INVALIDCALL;
            }
        }
        table_.assign(pAttribTable, pAttribTable + cAttribTableSize);
        return D3D_OK;
    }

    bool Uses32Bit() const { return (options_ & D3DXMESH_32BIT) != 0; }
    UINT IndexBytes() const { return Uses32Bit() ? 4 : 2; }
    const FvfLayout &Layout() const { return layout_; }

    // All indices widened to 32 bits.
    HRESULT ReadIndices(std::vector<DWORD> *out)
    {
        void *p = nullptr;
        HRESULT hr = ib_->Lock(0, 0, &p, D3DLOCK_READONLY);
        if (FAILED(hr))
            return hr;
        out->resize(size_t(numFaces_) * 3);
        if (Uses32Bit()) {
            memcpy(out->data(), p, out->size() * 4);
        } else {
            const WORD *w = static_cast<const WORD *>(p);
            for (size_t i = 0; i < out->size(); i++)
                (*out)[i] = w[i];
        }
        ib_->Unlock();
        return D3D_OK;
    }
    HRESULT WriteIndices(const std::vector<DWORD> &in)
    {
        ++writeGeneration_;
        void *p = nullptr;
        HRESULT hr = ib_->Lock(0, 0, &p, 0);
        if (FAILED(hr))
            return hr;
        if (Uses32Bit()) {
            memcpy(p, in.data(), in.size() * 4);
        } else {
            WORD *w = static_cast<WORD *>(p);
            for (size_t i = 0; i < in.size(); i++)
                w[i] = WORD(in[i]);
        }
        return ib_->Unlock();
    }
    // Rewrites the vertex buffer with vertex order[n] at place n; a shorter order drops the
    // vertices it leaves out and the buffer shrinks to match.
    HRESULT ReorderVertices(const std::vector<DWORD> &order);
    std::vector<DWORD> &Attributes()
    {
        runsStale_ = true;  // the caller may change them
        return attributes_;
    }
    std::vector<D3DXATTRIBUTERANGE> &Table() { return table_; }

private:
    ~CMesh() override
    {
        ForgetRayHierarchy(this);
        if (declaration_)
            declaration_->Release();
        if (vb_)
            vb_->Release();
        if (ib_)
            ib_->Release();
        device_->Release();
    }

    IDirect3DDevice9 *device_;
    DWORD options_;
    VertexFormat format_;
    DWORD fvf_;
    FvfLayout layout_;
    IDirect3DVertexDeclaration9 *declaration_ = nullptr;
    DWORD numFaces_;
    DWORD numVertices_;
    IDirect3DVertexBuffer9 *vb_ = nullptr;
    IDirect3DIndexBuffer9 *ib_ = nullptr;
    uint64_t writeGeneration_ = 0;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
    std::vector<D3DXATTRIBUTERANGE> runs_;  // runs of equal attributes in face order
    bool runsStale_ = true;
    bool attributeLocked_ = false;
};

// The checks every way of making a mesh shares (`caller` names it in the diagnostics);
// the vertex format has been checked already.
HRESULT CreateMeshObject(const char *caller, DWORD numFaces, DWORD numVertices, DWORD options,
                         const VertexFormat &format, IDirect3DDevice9 *device, CMesh **out)
{
    const std::string who = caller;
    *out = nullptr;
    if (numFaces == 0 || numVertices == 0) {
        Diagnostic(kLib, "", "", who + ": a mesh needs at least one face and one vertex");
        return D3DERR_INVALIDCALL;
    }
    if (!(options & D3DXMESH_32BIT) && numVertices > 0xFFFF) {
        Diagnostic(kLib, "", "", who + ": " + std::to_string(numVertices) +
                                     " vertices do not fit 16-bit indices (D3DXMESH_32BIT not given)");
        return D3DERR_INVALIDCALL;
    }
    if (numFaces > 0x7FFFFFFF / 12 || numVertices > 0x7FFFFFFF / 256) {
        Diagnostic(kLib, "", "", who + ": mesh too large");
        return E_OUTOFMEMORY;
    }
    if (options & (D3DXMESH_VB_SHARE | D3DXMESH_USEHWONLY))
        Unsupported(kLib, "D3DXMESH_VB_SHARE / D3DXMESH_USEHWONLY (ignored)");
    CMesh *mesh = new CMesh(device, options, format, numFaces, numVertices);
    HRESULT hr = mesh->CreateBuffers();
    if (FAILED(hr)) {
        mesh->Release();
        return hr;
    }
    *out = mesh;
    return D3D_OK;
}

HRESULT CMesh::Clone(const char *caller, DWORD options, const VertexFormat &format, IDirect3DDevice9 *device,
                     ID3DXMesh **out)
{
    CMesh *clone = nullptr;
    HRESULT hr = CreateMeshObject(caller, numFaces_, numVertices_, options, format, device, &clone);
    if (FAILED(hr))
        return hr;
    void *src = nullptr, *dst = nullptr;
    if (FAILED(hr = vb_->Lock(0, 0, &src, D3DLOCK_READONLY))) {
        clone->Release();
        return hr;
    }
    clone->LockVertexBuffer(0, &dst);
    const FvfLayout &to = clone->Layout();
    if (format.elements.size() == format_.elements.size() &&
        !memcmp(format.elements.data(), format_.elements.data(), format_.elements.size() * sizeof(D3DVERTEXELEMENT9))) {
        memcpy(dst, src, size_t(numVertices_) * layout_.stride);
    } else if (!format.fvf || !fvf_) {
        for (DWORD v = 0; v < numVertices_; v++)
            CopyVertexByElements(format_.elements, static_cast<const BYTE *>(src) + size_t(v) * layout_.stride,
                                 format.elements, to.stride, static_cast<BYTE *>(dst) + size_t(v) * to.stride);
    } else {
        for (DWORD v = 0; v < numVertices_; v++)
            ConvertVertex(layout_, static_cast<const BYTE *>(src) + size_t(v) * layout_.stride, to,
                          static_cast<BYTE *>(dst) + size_t(v) * to.stride);
    }
    clone->UnlockVertexBuffer();
    vb_->Unlock();

    std::vector<DWORD> indices;
    if (FAILED(hr = ReadIndices(&indices)) || FAILED(hr = clone->WriteIndices(indices))) {
        clone->Release();
        return hr;
    }
    clone->Attributes() = attributes_;
    clone->Table() = table_;
    *out = clone;
    return D3D_OK;
}

HRESULT CMesh::ReorderVertices(const std::vector<DWORD> &order)
{
    ++writeGeneration_;
    const UINT stride = layout_.stride;
    void *p = nullptr;
    HRESULT hr = vb_->Lock(0, 0, &p, D3DLOCK_READONLY);
    if (FAILED(hr))
        return hr;
    std::vector<BYTE> moved(order.size() * stride);
    for (size_t n = 0; n < order.size(); n++)
        memcpy(moved.data() + n * stride, static_cast<const BYTE *>(p) + size_t(order[n]) * stride, stride);
    vb_->Unlock();
    if (order.size() != numVertices_) {
        IDirect3DVertexBuffer9 *smaller = nullptr;
        BufferPlacement vb = PlacementOf(options_, false);
        if (FAILED(hr = device_->CreateVertexBuffer(UINT(moved.size()), vb.usage, fvf_, vb.pool, &smaller, nullptr)))
            return hr;
        vb_->Release();
        vb_ = smaller;
        numVertices_ = DWORD(order.size());
    }
    if (FAILED(hr = vb_->Lock(0, 0, &p, 0)))
        return hr;
    memcpy(p, moved.data(), moved.size());
    return vb_->Unlock();
}

STDMETHODIMP CMesh::GenerateAdjacency(FLOAT Epsilon, DWORD *pAdjacency)
{
    if (!pAdjacency || Epsilon < 0)
        return D3DERR_INVALIDCALL;
    std::vector<DWORD> indices;
    HRESULT hr = ReadIndices(&indices);
    if (FAILED(hr))
        return hr;
    void *p = nullptr;
    if (FAILED(hr = vb_->Lock(0, 0, &p, D3DLOCK_READONLY)))
        return hr;
    std::vector<D3DXVECTOR3> pos(numVertices_);
    for (DWORD v = 0; v < numVertices_; v++)
        memcpy(&pos[v], static_cast<const BYTE *>(p) + size_t(v) * layout_.stride, 12);
    vb_->Unlock();

    // Vertices within Epsilon of each other on every axis share the lowest such index as
    // their point representative; a sweep along x keeps the comparisons local.
    std::vector<DWORD> order(numVertices_), reps(numVertices_);
    std::iota(order.begin(), order.end(), 0);
    std::iota(reps.begin(), reps.end(), 0);
    std::sort(order.begin(), order.end(), [&](DWORD a, DWORD b) { return pos[a].x < pos[b].x || (pos[a].x == pos[b].x && a < b); });
    for (size_t i = 0; i < order.size(); i++) {
        DWORD a = order[i];
        for (size_t j = i + 1; j < order.size() && pos[order[j]].x - pos[a].x <= Epsilon; j++) {
            DWORD b = order[j];
            if (fabsf(pos[a].y - pos[b].y) <= Epsilon && fabsf(pos[a].z - pos[b].z) <= Epsilon) {
                DWORD lo = std::min(reps[a], reps[b]);
                reps[a] = reps[b] = lo;
            }
        }
    }
    for (DWORD v = 0; v < numVertices_; v++)
        while (reps[reps[v]] != reps[v])
            reps[v] = reps[reps[v]];
    AdjacencyFromPointReps(indices.data(), numFaces_, reps.data(), pAdjacency);
    return D3D_OK;
}

STDMETHODIMP CMesh::OptimizeInplace(DWORD Flags, CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                                    LPD3DXBUFFER *ppVertexRemap)
{
    const char *who = "ID3DXMesh::OptimizeInplace";
    const DWORD reorders = D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER;
    const char *refusal = nullptr;
    if (!(Flags & (reorders | D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT)))
        refusal = "no optimisation asked for";
    else if ((Flags & reorders) == reorders)
        refusal = "D3DXMESHOPT_VERTEXCACHE and D3DXMESHOPT_STRIPREORDER exclude each other";
    else if (attributeLocked_)
        refusal = "the attribute buffer is locked";
    if (refusal) {
        Diagnostic(kLib, "", "", std::string(who) + ": " + refusal);
        return D3DERR_INVALIDCALL;
    }
    std::vector<DWORD> indices;
    HRESULT hr = ReadIndices(&indices);
    if (FAILED(hr))
        return hr;
    if (!IndicesInRange(who, indices.data(), numFaces_, numVertices_))
        return D3DERR_INVALIDCALL;

    // newToOld[n] is the face that moves to position n.  The attribute sort is stable, so
    // faces that share an attribute keep their relative order; the cache and strip passes
    // then reorder each run of one attribute on its own, so every subset stays together.
    std::vector<DWORD> newToOld(numFaces_);
    std::iota(newToOld.begin(), newToOld.end(), 0);
    if (Flags & D3DXMESHOPT_ATTRSORT)
        std::stable_sort(newToOld.begin(), newToOld.end(),
                         [&](DWORD a, DWORD b) { return attributes_[a] < attributes_[b]; });
    std::vector<DWORD> adjacencyIn;
    if (Flags & D3DXMESHOPT_STRIPREORDER) {
        adjacencyIn.resize(size_t(numFaces_) * 3);
        if (pAdjacencyIn)
            std::copy(pAdjacencyIn, pAdjacencyIn + adjacencyIn.size(), adjacencyIn.begin());
        else
            AdjacencyFromPointReps(indices.data(), numFaces_, nullptr, adjacencyIn.data());
    }
    if (Flags & reorders) {
        for (DWORD f = 0; f < numFaces_;) {
            DWORD first = f;
            while (f < numFaces_ && attributes_[newToOld[f]] == attributes_[newToOld[first]])
                f++;
            std::vector<DWORD> group(newToOld.begin() + first, newToOld.begin() + f);
            group = (Flags & D3DXMESHOPT_VERTEXCACHE) ? CacheOrder(indices.data(), group, numVertices_, kVertexCacheSize)
                                                      : StripOrder(adjacencyIn.data(), group, numFaces_);
            std::copy(group.begin(), group.end(), newToOld.begin() + first);
        }
    }
    std::vector<DWORD> oldToNew(numFaces_);
    for (DWORD n = 0; n < numFaces_; n++)
        oldToNew[newToOld[n]] = n;

    std::vector<DWORD> sortedIndices(indices.size()), sortedAttributes(numFaces_);
    for (DWORD n = 0; n < numFaces_; n++) {
        DWORD o = newToOld[n];
        sortedAttributes[n] = attributes_[o];
        for (int c = 0; c < 3; c++)
            sortedIndices[n * 3 + c] = indices[o * 3 + c];
    }

    // The vertices: after a cache or strip pass, in the order the new faces first use them;
    // else where they were.  Compaction drops those no face uses; IGNOREVERTS leaves all.
    std::vector<DWORD> vertexOrder(numVertices_);
    std::iota(vertexOrder.begin(), vertexOrder.end(), 0);
    if (!(Flags & D3DXMESHOPT_IGNOREVERTS) && (Flags & (reorders | D3DXMESHOPT_COMPACT))) {
        std::vector<DWORD> used = FirstUseOrder(sortedIndices.data(), numFaces_, numVertices_);
        std::vector<bool> isUsed(numVertices_, false);
        for (DWORD v : used)
            isUsed[v] = true;
        if (Flags & reorders)
            vertexOrder = used;
        else
            vertexOrder.erase(
                std::remove_if(vertexOrder.begin(), vertexOrder.end(), [&](DWORD v) { return !isUsed[v]; }),
                vertexOrder.end());
        if (!(Flags & D3DXMESHOPT_COMPACT))
            for (DWORD v = 0; v < numVertices_; v++)
                if (!isUsed[v])
                    vertexOrder.push_back(v);
        std::vector<DWORD> newVertex(numVertices_);
        for (DWORD n = 0; n < vertexOrder.size(); n++)
            newVertex[vertexOrder[n]] = n;
        for (DWORD &i : sortedIndices)
            i = newVertex[i];
        if (FAILED(hr = ReorderVertices(vertexOrder)))
            return hr;
    }
    if (FAILED(hr = WriteIndices(sortedIndices)))
        return hr;
    attributes_ = sortedAttributes;
    runsStale_ = true;

    // A sort builds the attribute table; a mesh sorted before gets its table rebuilt, as
    // its faces and vertices have moved.
    if ((Flags & D3DXMESHOPT_ATTRSORT) || !table_.empty()) {
        table_.clear();
        for (DWORD f = 0; f < numFaces_;) {
            D3DXATTRIBUTERANGE r{attributes_[f], f, 0, 0xFFFFFFFF, 0};
            DWORD lo = 0xFFFFFFFF, hi = 0;
            while (f < numFaces_ && attributes_[f] == r.AttribId) {
                for (int c = 0; c < 3; c++) {
                    lo = std::min(lo, sortedIndices[f * 3 + c]);
                    hi = std::max(hi, sortedIndices[f * 3 + c]);
                }
                f++;
            }
            r.FaceCount = f - r.FaceStart;
            r.VertexStart = lo;
            r.VertexCount = hi - lo + 1;
            table_.push_back(r);
        }
    }

    if (pFaceRemap)
        std::copy(newToOld.begin(), newToOld.end(), pFaceRemap);
    if (pAdjacencyOut) {
        std::vector<DWORD> adjacency(size_t(numFaces_) * 3);
        if (pAdjacencyIn) {
            for (DWORD n = 0; n < numFaces_; n++)
                for (int c = 0; c < 3; c++) {
                    DWORD a = pAdjacencyIn[newToOld[n] * 3 + c];
                    adjacency[n * 3 + c] = a < numFaces_ ? oldToNew[a] : 0xFFFFFFFF;
                }
        } else {
            AdjacencyFromPointReps(sortedIndices.data(), numFaces_, nullptr, adjacency.data());
        }
        std::copy(adjacency.begin(), adjacency.end(), pAdjacencyOut);
    }
    if (ppVertexRemap) {
        // One entry per vertex of the optimised mesh: the vertex it was before.
        *ppVertexRemap = nullptr;
        if (FAILED(hr = D3DXCreateBuffer(DWORD(vertexOrder.size() * sizeof(DWORD)), ppVertexRemap)))
            return hr;
        std::copy(vertexOrder.begin(), vertexOrder.end(), static_cast<DWORD *>((*ppVertexRemap)->GetBufferPointer()));
    }
    return D3D_OK;
}

// D3DXCreateMesh and D3DXCreateMeshFVF: the vertex format from a declaration when one is
// given, else from the FVF code.
HRESULT CreateMesh(const char *caller, DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                   const D3DVERTEXELEMENT9 *declaration, bool fromDeclaration, IDirect3DDevice9 *device,
                   ID3DXMesh **out)
{
    if (out)
        *out = nullptr;
    if (!out || !device) {
        Diagnostic(kLib, "", "", std::string(caller) + ": null device or result pointer");
        return D3DERR_INVALIDCALL;
    }
    VertexFormat format;
    HRESULT hr = fromDeclaration ? FormatOfDeclaration(caller, declaration, &format) : FormatOfFvf(caller, fvf, &format);
    CMesh *mesh = nullptr;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = CreateMeshObject(caller, numFaces, numVertices, options, format, device, &mesh)))
        *out = mesh;
    return hr;
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                                 LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppMesh)
{
    return CreateMesh("D3DXCreateMeshFVF", NumFaces, NumVertices, Options, FVF, nullptr, false, pD3DDevice, ppMesh);
}

HRESULT WINAPI D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, CONST D3DVERTEXELEMENT9 *pDeclaration,
                              LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppMesh)
{
    return CreateMesh("D3DXCreateMesh", NumFaces, NumVertices, Options, 0, pDeclaration, true, pD3DDevice, ppMesh);
}

namespace tavrok::d3dx9mesh {

uint64_t WriteGeneration(ID3DXBaseMesh *mesh)
{
    // Meshes of other origins have no generation: they count as rewritten at every query.
    auto *own = dynamic_cast<CMesh *>(mesh);
    static uint64_t foreign = 0;
    return own ? own->WriteGeneration() : ++foreign;
}

}  // namespace tavrok::d3dx9mesh
