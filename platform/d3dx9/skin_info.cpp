/*
 * skin_info.cpp - ID3DXSkinInfo: bones with names, offset matrices and weighted vertices,
 * software skinning of positions and normals, and the conversions to meshes for the
 * device's vertex blending.
 *
 * Influences are stored per bone, as the interface hands them in and out.  For skinning
 * they are regrouped once, per vertex (bone, weight pairs in vertex order) and by
 * influence count, rebuilt only after the influences change, so that UpdateSkinnedMesh walks the
 * source and destination vertices in order, allocates nothing and reads each vertex's
 * influences from one contiguous run.  The loops themselves are the kernels of
 * skin_kernels.h.  A skin's vertices are described by an FVF code or by a vertex
 * declaration (one stream); only those with a three-float position at offset 0 can be
 * skinned, and only the position and the three-float normal are moved.
 * ConvertToBlendedMesh and ConvertToIndexedBlendedMesh read the same per-vertex runs
 * (skin_convert.cpp builds the meshes), as does GetMaxFaceInfluences.
 */
#include "mesh_private.h"
#include "skin_convert.h"
#include "skin_kernels.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cstring>

namespace tavrok::d3dx9mesh {
namespace {

struct Bone {
    std::string name;
    bool named = false;
    D3DXMATRIX offset;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
};

class CSkinInfo final : public RefCounted<ID3DXSkinInfo> {
public:
    CSkinInfo(DWORD numVertices, DWORD fvf, DWORD numBones) : numVertices_(numVertices), bones_(numBones)
    {
        SetFVF(fvf);
        for (Bone &b : bones_)
            D3DXMatrixIdentity(&b.offset);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ID3DXSkinInfo)) {
            *ppv = static_cast<ID3DXSkinInfo *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP SetBoneInfluence(DWORD bone, DWORD numInfluences, CONST DWORD *vertices, CONST FLOAT *weights) override
    {
        if (bone >= bones_.size() || (numInfluences && (!vertices || !weights)))
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < numInfluences; i++) {
            if (vertices[i] >= numVertices_) {
                Diagnostic(kLib, "", "", "ID3DXSkinInfo::SetBoneInfluence: vertex " + std::to_string(vertices[i]) +
                                             " of bone " + std::to_string(bone) + " is beyond the " +
                                             std::to_string(numVertices_) + " vertices");
                return D3DERR_INVALIDCALL;
            }
        }
        bones_[bone].vertices.assign(vertices, vertices + numInfluences);
        bones_[bone].weights.assign(weights, weights + numInfluences);
        stale_ = true;
        return D3D_OK;
    }
    STDMETHODIMP SetBoneVertexInfluence(DWORD boneNum, DWORD influenceNum, float weight) override
    {
        if (boneNum >= bones_.size() || influenceNum >= bones_[boneNum].weights.size())
            return D3DERR_INVALIDCALL;
        bones_[boneNum].weights[influenceNum] = weight;
        stale_ = true;
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetNumBoneInfluences(DWORD bone) override
    {
        return bone < bones_.size() ? DWORD(bones_[bone].vertices.size()) : 0;
    }
    STDMETHODIMP GetBoneInfluence(DWORD bone, DWORD *vertices, FLOAT *weights) override
    {
        if (bone >= bones_.size() || !vertices || !weights)
            return D3DERR_INVALIDCALL;
        const Bone &b = bones_[bone];
        std::copy(b.vertices.begin(), b.vertices.end(), vertices);
        std::copy(b.weights.begin(), b.weights.end(), weights);
        return D3D_OK;
    }
    STDMETHODIMP GetBoneVertexInfluence(DWORD boneNum, DWORD influenceNum, float *pWeight, DWORD *pVertexNum) override
    {
        if (boneNum >= bones_.size() || influenceNum >= bones_[boneNum].vertices.size() || !pWeight || !pVertexNum)
            return D3DERR_INVALIDCALL;
        *pWeight = bones_[boneNum].weights[influenceNum];
        *pVertexNum = bones_[boneNum].vertices[influenceNum];
        return D3D_OK;
    }
    STDMETHODIMP GetMaxVertexInfluences(DWORD *maxVertexInfluences) override
    {
        if (!maxVertexInfluences)
            return D3DERR_INVALIDCALL;
        Regroup();
        DWORD most = 0;
        for (DWORD v = 0; v < numVertices_; v++)
            most = std::max(most, start_[v + 1] - start_[v]);
        *maxVertexInfluences = most;
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetNumBones() override { return DWORD(bones_.size()); }
    STDMETHODIMP FindBoneVertexInfluenceIndex(DWORD boneNum, DWORD vertexNum, DWORD *pInfluenceIndex) override
    {
        if (boneNum >= bones_.size() || !pInfluenceIndex)
            return D3DERR_INVALIDCALL;
        const std::vector<DWORD> &v = bones_[boneNum].vertices;
        auto it = std::find(v.begin(), v.end(), vertexNum);
        if (it == v.end())
            return D3DERR_INVALIDCALL;
        *pInfluenceIndex = DWORD(it - v.begin());
        return D3D_OK;
    }
    STDMETHODIMP GetMaxFaceInfluences(LPDIRECT3DINDEXBUFFER9 pIB, DWORD NumFaces, DWORD *maxFaceInfluences) override
    {
        Regroup();
        return MaxFaceInfluences(Influences(), pIB, NumFaces, maxFaceInfluences);
    }
    STDMETHODIMP SetMinBoneInfluence(FLOAT MinInfl) override
    {
        minInfluence_ = MinInfl;
        stale_ = true;
        return D3D_OK;
    }
    STDMETHODIMP_(FLOAT) GetMinBoneInfluence() override { return minInfluence_; }
    STDMETHODIMP SetBoneName(DWORD Bone, LPCSTR pName) override
    {
        if (Bone >= bones_.size() || !pName)
            return D3DERR_INVALIDCALL;
        bones_[Bone].name = pName;
        bones_[Bone].named = true;
        return D3D_OK;
    }
    STDMETHODIMP_(LPCSTR) GetBoneName(DWORD Bone) override
    {
        return Bone < bones_.size() && bones_[Bone].named ? bones_[Bone].name.c_str() : nullptr;
    }
    STDMETHODIMP SetBoneOffsetMatrix(DWORD Bone, CONST D3DXMATRIX *pBoneTransform) override
    {
        if (Bone >= bones_.size() || !pBoneTransform)
            return D3DERR_INVALIDCALL;
        bones_[Bone].offset = *pBoneTransform;
        return D3D_OK;
    }
    STDMETHODIMP_(LPD3DXMATRIX) GetBoneOffsetMatrix(DWORD Bone) override
    {
        return Bone < bones_.size() ? &bones_[Bone].offset : nullptr;
    }
    STDMETHODIMP Clone(LPD3DXSKININFO *ppSkinInfo) override
    {
        if (!ppSkinInfo)
            return D3DERR_INVALIDCALL;
        CSkinInfo *copy = new CSkinInfo(numVertices_, fvf_, 0);
        copy->declaration_ = declaration_;
        copy->layout_ = layout_;
        copy->bones_ = bones_;
        copy->minInfluence_ = minInfluence_;
        *ppSkinInfo = copy;
        return D3D_OK;
    }
    STDMETHODIMP Remap(DWORD NumVertices, DWORD *pVertexRemap) override
    {
        // pVertexRemap[new] = old: each influence moves to every new vertex made from its old one.
        if (!pVertexRemap)
            return D3DERR_INVALIDCALL;
        std::vector<std::vector<DWORD>> newOf(numVertices_);
        for (DWORD n = 0; n < NumVertices; n++) {
            if (pVertexRemap[n] == 0xFFFFFFFF)
                continue;
            if (pVertexRemap[n] >= numVertices_)
                return D3DERR_INVALIDCALL;
            newOf[pVertexRemap[n]].push_back(n);
        }
        for (Bone &b : bones_) {
            Bone moved = b;
            moved.vertices.clear();
            moved.weights.clear();
            for (size_t i = 0; i < b.vertices.size(); i++)
                for (DWORD n : newOf[b.vertices[i]]) {
                    moved.vertices.push_back(n);
                    moved.weights.push_back(b.weights[i]);
                }
            b = std::move(moved);
        }
        numVertices_ = NumVertices;
        stale_ = true;
        return D3D_OK;
    }
    STDMETHODIMP SetFVF(DWORD FVF) override
    {
        D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
        FvfLayout l = LayoutOfFvf(FVF);
        if (!l.valid || FAILED(D3DXDeclaratorFromFVF(FVF, elements)))
            return D3DERR_INVALIDCALL;
        fvf_ = FVF;
        layout_ = l;
        declaration_.assign(elements, elements + D3DXGetDeclLength(elements) + 1);
        return D3D_OK;
    }
    // A declaration no FVF code expresses leaves the skin without one (GetFVF is 0).
    STDMETHODIMP SetDeclaration(CONST D3DVERTEXELEMENT9 *pDeclaration) override
    {
        const char *who = "ID3DXSkinInfo::SetDeclaration: ";
        if (!pDeclaration) {
            Diagnostic(kLib, "", "", std::string(who) + "null declaration");
            return D3DERR_INVALIDCALL;
        }
        const UINT n = D3DXGetDeclLength(pDeclaration);
        if (n > MAXD3DDECLLENGTH) {
            Diagnostic(kLib, "", "",
                       std::string(who) + "no D3DDECL_END() within " + std::to_string(MAXD3DDECLLENGTH) + " elements");
            return D3DERR_INVALIDCALL;
        }
        for (UINT i = 0; i < n; i++)
            if (pDeclaration[i].Stream != 0) {
                Diagnostic(kLib, "", "element " + std::to_string(i),
                           std::string(who) + "skinned vertices are in stream 0");
                return D3DERR_INVALIDCALL;
            }
        DWORD fvf = 0;
        fvf_ = SUCCEEDED(D3DXFVFFromDeclarator(pDeclaration, &fvf)) ? fvf : 0;
        layout_ = LayoutOfDeclaration(pDeclaration);
        declaration_.assign(pDeclaration, pDeclaration + n + 1);
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetFVF() override { return fvf_; }
    STDMETHODIMP GetDeclaration(D3DVERTEXELEMENT9 *Declaration) override
    {
        if (!Declaration)
            return D3DERR_INVALIDCALL;
        std::copy(declaration_.begin(), declaration_.end(), Declaration);
        return D3D_OK;
    }
    STDMETHODIMP UpdateSkinnedMesh(CONST D3DXMATRIX *pBoneTransforms, CONST D3DXMATRIX *pBoneInvTransposeTransforms,
                                   LPCVOID pVerticesSrc, PVOID pVerticesDst) override
    {
        return Skin(ActiveSkinKernel(), pBoneTransforms, pBoneInvTransposeTransforms, pVerticesSrc, pVerticesDst);
    }
    STDMETHODIMP Skin(const SkinKernel &kernel, CONST D3DXMATRIX *pBoneTransforms,
                      CONST D3DXMATRIX *pBoneInvTransposeTransforms, LPCVOID pVerticesSrc, PVOID pVerticesDst);
    STDMETHODIMP ConvertToBlendedMesh(LPD3DXMESH pMesh, DWORD Options, CONST DWORD *pAdjacencyIn, LPDWORD pAdjacencyOut,
                                      DWORD *pFaceRemap, LPD3DXBUFFER *ppVertexRemap, DWORD *pMaxFaceInfl,
                                      DWORD *pNumBoneCombinations, LPD3DXBUFFER *ppBoneCombinationTable,
                                      LPD3DXMESH *ppMesh) override
    {
        Regroup();
        return ConvertToBlended(Influences(), pMesh,
                                {"ID3DXSkinInfo::ConvertToBlendedMesh", false, 0, Options, pAdjacencyIn, pAdjacencyOut,
                                 pFaceRemap, ppVertexRemap, pMaxFaceInfl, pNumBoneCombinations, ppBoneCombinationTable,
                                 ppMesh});
    }
    STDMETHODIMP ConvertToIndexedBlendedMesh(LPD3DXMESH pMesh, DWORD Options, DWORD paletteSize,
                                             CONST DWORD *pAdjacencyIn, LPDWORD pAdjacencyOut, DWORD *pFaceRemap,
                                             LPD3DXBUFFER *ppVertexRemap, DWORD *pMaxVertexInfl,
                                             DWORD *pNumBoneCombinations, LPD3DXBUFFER *ppBoneCombinationTable,
                                             LPD3DXMESH *ppMesh) override
    {
        Regroup();
        return ConvertToBlended(Influences(), pMesh,
                                {"ID3DXSkinInfo::ConvertToIndexedBlendedMesh", true, paletteSize, Options, pAdjacencyIn,
                                 pAdjacencyOut, pFaceRemap, ppVertexRemap, pMaxVertexInfl, pNumBoneCombinations,
                                 ppBoneCombinationTable, ppMesh});
    }

private:
    SkinInfluences Influences() const
    {
        return SkinInfluences{numVertices_, DWORD(bones_.size()), start_.data(), influences_.data()};
    }
    // Rebuilds the per-vertex influence runs after the influences changed.
    void Regroup()
    {
        if (!stale_)
            return;
        start_.assign(size_t(numVertices_) + 1, 0);
        for (const Bone &b : bones_)
            for (size_t i = 0; i < b.vertices.size(); i++)
                if (b.weights[i] >= minInfluence_ && b.weights[i] != 0.0f)
                    start_[b.vertices[i] + 1]++;
        for (DWORD v = 0; v < numVertices_; v++)
            start_[v + 1] += start_[v];
        influences_.resize(start_[numVertices_]);
        std::vector<DWORD> fill(start_.begin(), start_.end() - 1);
        for (DWORD bi = 0; bi < bones_.size(); bi++) {
            const Bone &b = bones_[bi];
            for (size_t i = 0; i < b.vertices.size(); i++)
                if (b.weights[i] >= minInfluence_ && b.weights[i] != 0.0f)
                    influences_[fill[b.vertices[i]]++] = SkinInfluence{bi, b.weights[i]};
        }
        BuildSkinGroups(numVertices_, start_.data(), influences_.data(), &groups_);
        stale_ = false;
    }

    DWORD numVertices_;
    DWORD fvf_ = 0;
    FvfLayout layout_;
    std::vector<D3DVERTEXELEMENT9> declaration_;  // with the end marker
    std::vector<Bone> bones_;
    float minInfluence_ = 0.0f;
    bool stale_ = true;
    std::vector<DWORD> start_;  // numVertices_ + 1 offsets into influences_
    std::vector<SkinInfluence> influences_;
    SkinGroups groups_;
};

STDMETHODIMP CSkinInfo::Skin(const SkinKernel &kernel, CONST D3DXMATRIX *pBoneTransforms,
                             CONST D3DXMATRIX *pBoneInvTransposeTransforms, LPCVOID pVerticesSrc,
                             PVOID pVerticesDst)
{
    if (!pBoneTransforms || !pVerticesSrc || !pVerticesDst)
        return D3DERR_INVALIDCALL;
    // The kernels move three floats at offset 0 (and the normal, when there is one).
    const auto position = std::find_if(declaration_.begin(), declaration_.end(), [](const D3DVERTEXELEMENT9 &e) {
        return e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 0 && e.Stream == 0;
    });
    if (!layout_.valid || position == declaration_.end() || position->Offset != 0 ||
        position->Type != D3DDECLTYPE_FLOAT3) {
        Unsupported(kLib, "ID3DXSkinInfo::UpdateSkinnedMesh on a vertex format without a three-float position");
        return E_NOTIMPL;
    }
    Regroup();
    SkinBatch batch;
    batch.bones = pBoneTransforms;
    batch.normalBones = pBoneInvTransposeTransforms;
    batch.src = static_cast<const BYTE *>(pVerticesSrc);
    batch.dst = static_cast<BYTE *>(pVerticesDst);
    batch.stride = layout_.stride;
    batch.normal = layout_.normal;
    batch.numVertices = numVertices_;
    batch.start = start_.data();
    batch.influences = influences_.data();
    batch.groups = groups_.groups.data();
    batch.numGroups = DWORD(groups_.groups.size());
    kernel.skin(batch);
    return D3D_OK;
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

HRESULT tavrok::d3dx9mesh::UpdateSkinnedMeshWith(const SkinKernel &kernel, ID3DXSkinInfo *skin,
                                                 const D3DXMATRIX *bones, const D3DXMATRIX *normalBones,
                                                 LPCVOID src, PVOID dst)
{
    if (!skin)
        return D3DERR_INVALIDCALL;
    // Every ID3DXSkinInfo of this library is a CSkinInfo.
    return static_cast<CSkinInfo *>(skin)->Skin(kernel, bones, normalBones, src, dst);
}

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO *ppSkinInfo)
{
    if (!ppSkinInfo)
        return D3DERR_INVALIDCALL;
    *ppSkinInfo = nullptr;
    if (!LayoutOfFvf(FVF).valid) {
        tavrok::Diagnostic(kLib, "", "", "D3DXCreateSkinInfoFVF: invalid vertex format");
        return D3DERR_INVALIDCALL;
    }
    *ppSkinInfo = new CSkinInfo(NumVertices, FVF, NumBones);
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateSkinInfo(DWORD NumVertices, CONST D3DVERTEXELEMENT9 *pDeclaration, DWORD NumBones,
                                  LPD3DXSKININFO *ppSkinInfo)
{
    if (!ppSkinInfo)
        return D3DERR_INVALIDCALL;
    *ppSkinInfo = nullptr;
    CSkinInfo *skin = new CSkinInfo(NumVertices, D3DFVF_XYZ, NumBones);
    HRESULT hr = skin->SetDeclaration(pDeclaration);
    if (FAILED(hr)) {
        skin->Release();
        return hr;
    }
    *ppSkinInfo = skin;
    return D3D_OK;
}
