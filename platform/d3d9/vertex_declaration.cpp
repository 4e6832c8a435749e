/*
 * vertex_declaration.cpp - IDirect3DVertexDeclaration9 and flexible vertex formats.
 *
 * A declaration is a checked list of vertex elements.  FVF codes are turned into the
 * same element lists, so that the back end reads every vertex layout one way.  FVF
 * position forms: XYZ, XYZRHW, XYZW and XYZB1..B5 (blend weights, with the last beta
 * as UBYTE4 or D3DCOLOR indices); then normal, point size, diffuse, specular and up to
 * eight texture coordinate sets of one to four floats.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

namespace tavrok::d3d9 {

UINT DeclTypeSize(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR: return 4;
    case D3DDECLTYPE_UBYTE4: return 4;
    case D3DDECLTYPE_SHORT2: return 4;
    case D3DDECLTYPE_SHORT4: return 8;
    case D3DDECLTYPE_UBYTE4N: return 4;
    case D3DDECLTYPE_SHORT2N: return 4;
    case D3DDECLTYPE_SHORT4N: return 8;
    case D3DDECLTYPE_USHORT2N: return 4;
    case D3DDECLTYPE_USHORT4N: return 8;
    case D3DDECLTYPE_FLOAT16_2: return 4;
    case D3DDECLTYPE_FLOAT16_4: return 8;
    default: return 0;  // UDEC3, DEC3N and UNUSED are not read
    }
}

HRESULT ParseDeclaration(const D3DVERTEXELEMENT9 *elements, std::vector<D3DVERTEXELEMENT9> &out)
{
    out.clear();
    if (!elements) {
        Diagnostic(kLib, "", "", "CreateVertexDeclaration: null element list");
        return D3DERR_INVALIDCALL;
    }
    for (int i = 0; i < MAXD3DDECLLENGTH + 1; i++) {
        const D3DVERTEXELEMENT9 &e = elements[i];
        if (e.Stream == 0xFF && e.Type == D3DDECLTYPE_UNUSED)
            return D3D_OK;
        std::string where = "element " + std::to_string(i);
        if (e.Stream >= kMaxStreams) {
            Diagnostic(kLib, "", where, "stream " + std::to_string(e.Stream) + " out of range");
            return D3DERR_INVALIDCALL;
        }
        if (DeclTypeSize(e.Type) == 0) {
            if (e.Type == D3DDECLTYPE_UDEC3 || e.Type == D3DDECLTYPE_DEC3N)
                Unsupported(kLib, "vertex element types UDEC3 and DEC3N");
            else
                Diagnostic(kLib, "", where, "unknown type " + std::to_string(e.Type));
            return D3DERR_INVALIDCALL;
        }
        if (e.Usage > MAXD3DDECLUSAGE || e.UsageIndex > MAXD3DDECLUSAGEINDEX || e.Method > MAXD3DDECLMETHOD) {
            Diagnostic(kLib, "", where, "bad usage, usage index or method");
            return D3DERR_INVALIDCALL;
        }
        if (e.Method != D3DDECLMETHOD_DEFAULT) {
            Unsupported(kLib, "vertex element methods other than D3DDECLMETHOD_DEFAULT");
            return D3DERR_INVALIDCALL;
        }
        if (e.Offset % 4) {
            Diagnostic(kLib, "", where, "offset " + std::to_string(e.Offset) + " is not a multiple of 4");
            return D3DERR_INVALIDCALL;
        }
        for (const auto &prior : out)
            if (prior.Usage == e.Usage && prior.UsageIndex == e.UsageIndex) {
                Diagnostic(kLib, "", where, "usage and usage index repeat an earlier element");
                return D3DERR_INVALIDCALL;
            }
        out.push_back(e);
    }
    Diagnostic(kLib, "", "", "CreateVertexDeclaration: no D3DDECL_END() within " +
                                 std::to_string(MAXD3DDECLLENGTH) + " elements");
    out.clear();
    return D3DERR_INVALIDCALL;
}

bool ElementsFromFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9> &out)
{
    out.clear();
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = WORD(offset + DeclTypeSize(type));
    };
    DWORD known = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                  D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000;
    if (fvf & ~known)
        return false;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    int betas = 0;
    switch (position) {
    case 0: break;
    case D3DFVF_XYZ: add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZRHW: add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0); break;
    case D3DFVF_XYZW: add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZB1: betas = 1; break;
    case D3DFVF_XYZB2: betas = 2; break;
    case D3DFVF_XYZB3: betas = 3; break;
    case D3DFVF_XYZB4: betas = 4; break;
    case D3DFVF_XYZB5: betas = 5; break;
    default: return false;
    }
    if (betas) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        bool lastIndices = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
        int weights = lastIndices ? betas - 1 : betas;
        if (weights > 4)
            return false;
        if (weights > 0)
            add(BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (lastIndices)
            add((fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
    }
    if (fvf & D3DFVF_NORMAL)
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE)
        add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8)
        return false;
    for (UINT i = 0; i < texCount; i++) {
        DWORD size = (fvf >> (16 + 2 * i)) & 3;
        static const BYTE kTypes[4] = {
            D3DDECLTYPE_FLOAT2,  // D3DFVF_TEXTUREFORMAT2
            D3DDECLTYPE_FLOAT3,  // D3DFVF_TEXTUREFORMAT3
            D3DDECLTYPE_FLOAT4,  // D3DFVF_TEXTUREFORMAT4
            D3DDECLTYPE_FLOAT1,  // D3DFVF_TEXTUREFORMAT1
        };
        add(kTypes[size], D3DDECLUSAGE_TEXCOORD, BYTE(i));
    }
    return true;
}

UINT FvfVertexSize(DWORD fvf)
{
    std::vector<D3DVERTEXELEMENT9> elements;
    if (!ElementsFromFvf(fvf, elements) || elements.empty())
        return 0;
    const auto &last = elements.back();
    return last.Offset + DeclTypeSize(last.Type);
}

VertexDeclaration::VertexDeclaration(Device *device, std::vector<D3DVERTEXELEMENT9> elements, DWORD fromFvf)
    : device(device), deviceAlive(device->alive), elements(std::move(elements)), fvf(fromFvf), id(NextObjectId())
{
    device->liveChildren++;
}

VertexDeclaration::~VertexDeclaration()
{
    if (*deviceAlive)
        device->liveChildren--;
}

HRESULT VertexDeclaration::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVertexDeclaration9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = *deviceAlive ? AddRefed(static_cast<IDirect3DDevice9 *>(device)) : nullptr;
    return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9 *out, UINT *count)
{
    if (!count)
        return D3DERR_INVALIDCALL;
    // The count includes the end marker.
    if (out) {
        for (size_t i = 0; i < elements.size(); i++)
            out[i] = elements[i];
        out[elements.size()] = D3DDECL_END();
    }
    *count = UINT(elements.size() + 1);
    return D3D_OK;
}

}  // namespace tavrok::d3d9
