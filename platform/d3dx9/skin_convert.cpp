/*
 * skin_convert.cpp - ConvertToBlendedMesh and ConvertToIndexedBlendedMesh: a skinned mesh
 * rebuilt for the device's fixed-function vertex blending.
 *
 * A vertex is blended by at most four bones (three weights and the implied last); one with
 * more keeps its four heaviest, their weights scaled to the sum of all of its weights.
 * Faces are grouped, attribute by attribute and in their order, into bone combinations:
 * a face joins the first combination of its attribute that holds its bones already, else
 * the first that can take them without growing past the limit, else it starts one.  The
 * limit is the palette size for indexed blending, and for blending by weights the most
 * bones any face needs (at most four: a face of more keeps the four heaviest over its
 * corners).  The new mesh holds the faces combination by combination, each combination's
 * vertices in one run, so that a vertex shared by faces of two combinations is duplicated;
 * its attribute table makes DrawSubset(i) draw combination i.
 *
 * Weights are written in the order of the combination's BoneId slots (blending by weights)
 * or of the vertex's own bones with their palette slots in a D3DFVF_LASTBETA_UBYTE4 word
 * (indexed); the device supplies the last weight as one minus the others, so a vertex whose
 * weights do not sum to 1 is not drawn as UpdateSkinnedMesh skins it, and neither is a
 * vertex that no bone moves (the combination's bones move it).  The vertex layout is the
 * source's with the position, blend weights and indices first and the other elements
 * packed after them in offset order; it is an FVF code whenever one describes it.
 * Vertices no face uses are left out.  D3DXMESHOPT_* flags reorder the faces and vertices
 * of each combination as ID3DXMesh::OptimizeInplace does, the remaps given back through both.
 */
#include "skin_convert.h"

#include "mesh_private.h"

#include <tavrok/platform.h>
#include <tavrok/vertex_elements.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <string>

namespace tavrok::d3dx9mesh {
namespace {

constexpr DWORD kNoBone = UINT_MAX;
constexpr DWORD kNoFace = 0xFFFFFFFF;
constexpr DWORD kMostBlendBones = 4;      // three weights and the implied last
constexpr DWORD kMostPaletteBones = 256;  // what one byte of a UBYTE4 word indexes
constexpr DWORD kCreationOptions = 0x0001FFFF;
constexpr DWORD kPasses = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER;

HRESULT Refuse(const std::string &who, const std::string &reason)
{
    Diagnostic(kLib, "", "", who + ": " + reason);
    return D3DERR_INVALIDCALL;
}

// The influences a vertex is blended by: its heaviest four, bones ascending.
struct VertexBones {
    DWORD count = 0;
    SkinInfluence inf[kMostBlendBones];
};

VertexBones HeaviestOf(const SkinInfluence *inf, DWORD count)
{
    VertexBones out;
    float total = 0, kept = 0;
    for (DWORD i = 0; i < count; i++) {
        total += inf[i].weight;
        // Insertion into the heaviest so far, heaviest first (the earlier bone on a tie).
        DWORD at = out.count;
        while (at > 0 && out.inf[at - 1].weight < inf[i].weight)
            at--;
        if (at == kMostBlendBones)
            continue;
        DWORD last = std::min(out.count, kMostBlendBones - 1);
        for (DWORD j = last; j > at; j--)
            out.inf[j] = out.inf[j - 1];
        out.inf[at] = inf[i];
        out.count = std::min(out.count + 1, kMostBlendBones);
    }
    for (DWORD i = 0; i < out.count; i++)
        kept += out.inf[i].weight;
    if (count > kMostBlendBones && kept != 0)
        for (DWORD i = 0; i < out.count; i++)
            out.inf[i].weight *= total / kept;
    std::sort(out.inf, out.inf + out.count,
              [](const SkinInfluence &a, const SkinInfluence &b) { return a.bone < b.bone; });
    return out;
}

// The bones the three corners of a face are blended by.  When there are more than `most`
// (at least three), each corner's heaviest bone is kept, then the heaviest over the three
// corners, so that no corner loses all of its bones.
struct FaceBones {
    DWORD count = 0;
    DWORD bone[3 * kMostBlendBones];
};

FaceBones BonesOfFace(const VertexBones *const corners[3], DWORD most)
{
    FaceBones out;
    float weight[3 * kMostBlendBones];
    bool top[3 * kMostBlendBones];
    for (int c = 0; c < 3; c++) {
        for (DWORD i = 0; i < corners[c]->count; i++) {
            const SkinInfluence &s = corners[c]->inf[i];
            DWORD at = DWORD(std::find(out.bone, out.bone + out.count, s.bone) - out.bone);
            if (at == out.count) {
                out.bone[out.count] = s.bone;
                top[out.count] = false;
                weight[out.count++] = 0;
            }
            weight[at] += s.weight;
        }
        // The corner's heaviest bone (the lower one on a tie).
        DWORD heaviest = 0;
        for (DWORD i = 1; i < corners[c]->count; i++)
            if (corners[c]->inf[i].weight > corners[c]->inf[heaviest].weight)
                heaviest = i;
        if (corners[c]->count)
            top[std::find(out.bone, out.bone + out.count, corners[c]->inf[heaviest].bone) - out.bone] = true;
    }
    if (out.count > most) {
        // Selection to the front: corners' heaviest bones first, then by summed weight (the
        // lower bone on a tie).
        auto before = [&](DWORD a, DWORD b) {
            if (top[a] != top[b])
                return top[a];
            return weight[a] > weight[b] || (weight[a] == weight[b] && out.bone[a] < out.bone[b]);
        };
        for (DWORD i = 0; i < most; i++) {
            DWORD best = i;
            for (DWORD j = i + 1; j < out.count; j++)
                if (before(j, best))
                    best = j;
            std::swap(out.bone[i], out.bone[best]);
            std::swap(weight[i], weight[best]);
            std::swap(top[i], top[best]);
        }
        out.count = most;
    }
    return out;
}

// One bone combination as it is built: its bones in slot order, a bit per bone of the
// skin for the membership tests, and its faces in source order.
struct Combination {
    Combination(DWORD attrib, DWORD numBones) : attribute(attrib), has((numBones + 63) / 64, 0) {}
    bool Has(DWORD bone) const { return (has[bone / 64] >> (bone % 64)) & 1; }
    DWORD Missing(const FaceBones &f) const
    {
        DWORD n = 0;
        for (DWORD i = 0; i < f.count; i++)
            n += !Has(f.bone[i]);
        return n;
    }
    void Add(const FaceBones &f)
    {
        for (DWORD i = 0; i < f.count; i++)
            if (!Has(f.bone[i])) {
                has[f.bone[i] / 64] |= uint64_t(1) << (f.bone[i] % 64);
                bones.push_back(f.bone[i]);
            }
    }
    DWORD SlotOf(DWORD bone) const { return DWORD(std::find(bones.begin(), bones.end(), bone) - bones.begin()); }

    DWORD attribute;
    std::vector<DWORD> bones;
    std::vector<uint64_t> has;
    std::vector<DWORD> faces;
};

// The new vertex layout: position, `weights` blend weights and (indexed) the UBYTE4
// indices, then the source's other elements packed in offset order.
struct BlendLayout {
    struct Copy {
        UINT from, to, bytes;
    };
    std::vector<D3DVERTEXELEMENT9> elements;  // with the end marker
    std::vector<Copy> copies;
    UINT stride = 0;
    UINT weights = 0;
    int indices = -1;
};

HRESULT LayoutFor(const std::string &who, const D3DVERTEXELEMENT9 *source, UINT weights, bool indexed, BlendLayout *out)
{
    const UINT n = D3DXGetDeclLength(source);
    bool position = false;
    std::vector<D3DVERTEXELEMENT9> kept;
    for (UINT i = 0; i < n; i++) {
        const D3DVERTEXELEMENT9 &e = source[i];
        if (e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 0)
            position = e.Stream == 0 && e.Offset == 0 && e.Type == D3DDECLTYPE_FLOAT3;
        else if ((e.Usage == D3DDECLUSAGE_BLENDWEIGHT || e.Usage == D3DDECLUSAGE_BLENDINDICES) && e.UsageIndex == 0)
            continue;  // replaced by the new ones
        else
            kept.push_back(e);
    }
    if (!position)
        return Refuse(who, "the mesh's vertices have no three-float position at offset 0");
    std::stable_sort(kept.begin(), kept.end(),
                     [](const D3DVERTEXELEMENT9 &a, const D3DVERTEXELEMENT9 &b) { return a.Offset < b.Offset; });
    auto add = [&](BYTE type, BYTE usage) {
        out->elements.push_back({0, WORD(out->stride), type, D3DDECLMETHOD_DEFAULT, usage, 0});
        out->stride += tavrok::d3d9::DeclTypeSize(type);
    };
    add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
    out->weights = weights;
    if (weights)
        add(BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT);
    if (indexed) {
        out->indices = int(out->stride);
        add(D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES);
    }
    for (D3DVERTEXELEMENT9 e : kept) {
        const UINT bytes = tavrok::d3d9::DeclTypeSize(e.Type);
        out->copies.push_back({e.Offset, out->stride, bytes});
        e.Offset = WORD(out->stride);
        out->elements.push_back(e);
        out->stride += bytes;
    }
    out->elements.push_back(D3DVERTEXELEMENT9 D3DDECL_END());
    return D3D_OK;
}

// What the conversion reads of the source mesh.
struct SourceMesh {
    std::vector<DWORD> indices;
    std::vector<DWORD> attributes;
    std::vector<BYTE> vertices;
    UINT stride = 0;
};

HRESULT ReadSource(const std::string &who, ID3DXMesh *mesh, SourceMesh *out)
{
    const DWORD faces = mesh->GetNumFaces(), vertices = mesh->GetNumVertices();
    out->stride = mesh->GetNumBytesPerVertex();
    void *p = nullptr;
    DWORD *a = nullptr;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p)))
        return Refuse(who, "the mesh's index buffer cannot be read");
    out->indices.resize(size_t(faces) * 3);
    if (mesh->GetOptions() & D3DXMESH_32BIT)
        memcpy(out->indices.data(), p, out->indices.size() * 4);
    else
        std::copy(static_cast<const WORD *>(p), static_cast<const WORD *>(p) + out->indices.size(),
                  out->indices.begin());
    mesh->UnlockIndexBuffer();
    for (size_t i = 0; i < out->indices.size(); i++)
        if (out->indices[i] >= vertices)
            return Refuse(who, "face " + std::to_string(i / 3) + " names vertex " + std::to_string(out->indices[i]) +
                                   " of " + std::to_string(vertices));
    if (FAILED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &a)))
        return Refuse(who, "the mesh's attribute buffer is locked");
    out->attributes.assign(a, a + faces);
    mesh->UnlockAttributeBuffer();
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &p)))
        return Refuse(who, "the mesh's vertex buffer cannot be read");
    out->vertices.assign(static_cast<const BYTE *>(p), static_cast<const BYTE *>(p) + size_t(vertices) * out->stride);
    mesh->UnlockVertexBuffer();
    return D3D_OK;
}

// The bones and weights of new vertex `to` of combination `comb`, made from the source
// vertex's bones: the weights of the bones the combination lacks are shared out over the
// others, which keep their sum.
void WriteBlend(const BlendLayout &layout, const Combination &comb, const VertexBones &b, BYTE *to)
{
    float total = 0, kept = 0;
    for (DWORD i = 0; i < b.count; i++) {
        total += b.inf[i].weight;
        if (comb.Has(b.inf[i].bone))
            kept += b.inf[i].weight;
    }
    const float scale = kept != 0 ? total / kept : 1.0f;
    float weights[kMostBlendBones] = {};
    if (layout.indices >= 0) {
        // Indexed: the vertex's own bones, by palette slot; unused slots repeat the first.
        BYTE slots[4] = {};
        for (DWORD i = 0; i < b.count; i++) {
            slots[i] = BYTE(comb.SlotOf(b.inf[i].bone));
            weights[i] = b.inf[i].weight * scale;
        }
        for (DWORD i = b.count; i < 4; i++)
            slots[i] = slots[0];
        memcpy(to + layout.indices, slots, 4);
    } else {
        // By weights: one per BoneId slot of the combination.
        for (DWORD i = 0; i < b.count; i++)
            if (comb.Has(b.inf[i].bone)) {
                DWORD slot = comb.SlotOf(b.inf[i].bone);
                if (slot < kMostBlendBones)
                    weights[slot] = b.inf[i].weight * scale;
            }
    }
    memcpy(to + 12, weights, layout.weights * sizeof(float));
}

// The out-parameters made by a conversion, handed over only when all of them are made.
struct Made {
    ID3DXMesh *mesh = nullptr;
    ID3DXBuffer *vertexRemap = nullptr, *combinations = nullptr;
    ~Made()
    {
        for (IUnknown *u : {static_cast<IUnknown *>(mesh), static_cast<IUnknown *>(vertexRemap),
                            static_cast<IUnknown *>(combinations)})
            if (u)
                u->Release();
    }
};

}  // namespace

HRESULT ConvertToBlended(const SkinInfluences &skin, ID3DXMesh *source, const BlendConversion &c)
{
    const std::string who = c.caller;
    if (c.mesh)
        *c.mesh = nullptr;
    if (c.vertexRemap)
        *c.vertexRemap = nullptr;
    if (c.combinations)
        *c.combinations = nullptr;
    if (!source || !c.mesh)
        return Refuse(who, "null mesh or result pointer");
    if (c.indexed && (c.paletteSize == 0 || c.paletteSize > kMostPaletteBones))
        return Refuse(who, "a palette of " + std::to_string(c.paletteSize) + " bones (1 to 256 can be indexed)");
    if (source->GetNumVertices() != skin.numVertices)
        return Refuse(who, "the mesh has " + std::to_string(source->GetNumVertices()) + " vertices, the skin " +
                               std::to_string(skin.numVertices));
    SourceMesh src;
    HRESULT hr = ReadSource(who, source, &src);
    if (FAILED(hr))
        return hr;
    const DWORD numFaces = source->GetNumFaces();

    std::vector<VertexBones> vertexBones(skin.numVertices);
    DWORD mostPerVertex = 1;
    for (DWORD v = 0; v < skin.numVertices; v++) {
        vertexBones[v] = HeaviestOf(skin.influences + skin.start[v], skin.start[v + 1] - skin.start[v]);
        mostPerVertex = std::max(mostPerVertex, vertexBones[v].count);
    }
    std::vector<FaceBones> faceBones(numFaces);
    DWORD mostPerFace = 1;
    for (DWORD f = 0; f < numFaces; f++) {
        const VertexBones *corners[3] = {&vertexBones[src.indices[f * 3]], &vertexBones[src.indices[f * 3 + 1]],
                                         &vertexBones[src.indices[f * 3 + 2]]};
        faceBones[f] = BonesOfFace(corners, c.indexed ? 3 * kMostBlendBones : kMostBlendBones);
        if (c.indexed && faceBones[f].count > c.paletteSize)
            return Refuse(who, "face " + std::to_string(f) + " needs " + std::to_string(faceBones[f].count) +
                                   " bones, more than the palette of " + std::to_string(c.paletteSize));
        mostPerFace = std::max(mostPerFace, faceBones[f].count);
    }
    const DWORD limit = c.indexed ? c.paletteSize : mostPerFace;
    const DWORD slots = limit;  // BoneId entries per combination

    // The combinations, attribute by attribute (ascending), faces in their order.
    std::vector<DWORD> order(numFaces);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](DWORD a, DWORD b) { return src.attributes[a] < src.attributes[b]; });
    std::vector<Combination> combos;
    size_t first = 0;
    for (DWORD k = 0; k < numFaces; k++) {
        const DWORD f = order[k];
        if (k == 0 || src.attributes[f] != src.attributes[order[k - 1]])
            first = combos.size();
        const FaceBones &fb = faceBones[f];
        size_t into = combos.size();
        for (size_t i = first; i < combos.size() && into == combos.size(); i++)
            if (combos[i].Missing(fb) == 0)
                into = i;
        for (size_t i = first; i < combos.size() && into == combos.size(); i++)
            if (combos[i].bones.size() + combos[i].Missing(fb) <= limit)
                into = i;
        if (into == combos.size())
            combos.emplace_back(src.attributes[f], skin.numBones);
        combos[into].Add(fb);
        combos[into].faces.push_back(f);
    }

    // Faces combination by combination; each combination's vertices in one run.
    std::vector<DWORD> indices(size_t(numFaces) * 3), faceRemap(numFaces), attributes(numFaces);
    std::vector<DWORD> vertexRemap, vertexCombination, newOf(skin.numVertices),
        lastCombination(skin.numVertices, kNoFace);
    std::vector<D3DXATTRIBUTERANGE> table;
    DWORD n = 0;
    for (DWORD ci = 0; ci < combos.size(); ci++) {
        D3DXATTRIBUTERANGE r{ci, n, DWORD(combos[ci].faces.size()), DWORD(vertexRemap.size()), 0};
        for (DWORD f : combos[ci].faces) {
            faceRemap[n] = f;
            attributes[n] = ci;
            for (int corner = 0; corner < 3; corner++) {
                const DWORD v = src.indices[f * 3 + corner];
                if (lastCombination[v] != ci) {
                    lastCombination[v] = ci;
                    newOf[v] = DWORD(vertexRemap.size());
                    vertexRemap.push_back(v);
                    vertexCombination.push_back(ci);
                }
                indices[size_t(n) * 3 + corner] = newOf[v];
            }
            n++;
        }
        r.VertexCount = DWORD(vertexRemap.size()) - r.VertexStart;
        table.push_back(r);
    }
    const DWORD numVertices = DWORD(vertexRemap.size());

    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    BlendLayout layout;
    if (FAILED(hr = source->GetDeclaration(declaration)) ||
        FAILED(hr = LayoutFor(who, declaration, (c.indexed ? mostPerVertex : mostPerFace) - 1, c.indexed, &layout)))
        return hr;
    const size_t tableBytes = combos.size() * (sizeof(D3DXBONECOMBINATION) + size_t(slots) * sizeof(DWORD));
    if (tableBytes > 0x7FFFFFFF)
        return E_OUTOFMEMORY;

    Made made;
    IDirect3DDevice9 *device = nullptr;
    if (FAILED(hr = source->GetDevice(&device)))
        return hr;
    DWORD options = c.options & kCreationOptions;
    if (numVertices > 0xFFFF)
        options |= D3DXMESH_32BIT;
    hr = D3DXCreateMesh(numFaces, numVertices, options, layout.elements.data(), device, &made.mesh);
    device->Release();
    if (FAILED(hr))
        return hr;

    void *p = nullptr;
    if (FAILED(hr = made.mesh->LockVertexBuffer(0, &p)))
        return hr;
    BYTE *to = static_cast<BYTE *>(p);
    for (DWORD v = 0; v < numVertices; v++, to += layout.stride) {
        const BYTE *from = src.vertices.data() + size_t(vertexRemap[v]) * src.stride;
        memset(to, 0, layout.stride);
        memcpy(to, from, 12);
        for (const BlendLayout::Copy &copy : layout.copies)
            memcpy(to + copy.to, from + copy.from, copy.bytes);
        WriteBlend(layout, combos[vertexCombination[v]], vertexBones[vertexRemap[v]], to);
    }
    made.mesh->UnlockVertexBuffer();
    if (FAILED(hr = made.mesh->LockIndexBuffer(0, &p)))
        return hr;
    if (options & D3DXMESH_32BIT)
        memcpy(p, indices.data(), indices.size() * 4);
    else
        std::transform(indices.begin(), indices.end(), static_cast<WORD *>(p), [](DWORD i) { return WORD(i); });
    made.mesh->UnlockIndexBuffer();
    DWORD *a = nullptr;
    if (FAILED(hr = made.mesh->LockAttributeBuffer(0, &a)))
        return hr;
    std::copy(attributes.begin(), attributes.end(), a);
    made.mesh->UnlockAttributeBuffer();
    if (FAILED(hr = made.mesh->SetAttributeTable(table.data(), DWORD(table.size()))))
        return hr;
    if (c.options & kPasses) {
        // The passes asked for reorder each combination's faces and vertices in the made
        // mesh (a combination is one attribute); its remaps compose with the conversion's.
        std::vector<DWORD> moved(numFaces);
        ID3DXBuffer *movedVertices = nullptr;
        if (FAILED(hr = made.mesh->OptimizeInplace(c.options & ~kCreationOptions, nullptr, nullptr, moved.data(),
                                                   &movedVertices)))
            return hr;
        std::vector<DWORD> faces(numFaces), vertices(movedVertices->GetBufferSize() / sizeof(DWORD));
        for (DWORD f = 0; f < numFaces; f++)
            faces[f] = faceRemap[moved[f]];
        const DWORD *was = static_cast<const DWORD *>(movedVertices->GetBufferPointer());
        for (size_t v = 0; v < vertices.size(); v++)
            vertices[v] = vertexRemap[was[v]];
        movedVertices->Release();
        faceRemap.swap(faces);
        vertexRemap.swap(vertices);
        if (FAILED(hr = made.mesh->LockIndexBuffer(D3DLOCK_READONLY, &p)))
            return hr;
        for (size_t i = 0; i < indices.size(); i++)
            indices[i] = (options & D3DXMESH_32BIT) ? static_cast<const DWORD *>(p)[i] : static_cast<const WORD *>(p)[i];
        made.mesh->UnlockIndexBuffer();
        DWORD size = DWORD(table.size());
        if (FAILED(hr = made.mesh->GetAttributeTable(table.data(), &size)))
            return hr;
    }

    if (c.combinations) {
        if (FAILED(hr = D3DXCreateBuffer(DWORD(tableBytes), &made.combinations)))
            return hr;
        BYTE *base = static_cast<BYTE *>(made.combinations->GetBufferPointer());
        auto *bc = reinterpret_cast<D3DXBONECOMBINATION *>(base);
        DWORD *ids = reinterpret_cast<DWORD *>(base + combos.size() * sizeof(D3DXBONECOMBINATION));
        for (size_t i = 0; i < combos.size(); i++) {
            DWORD *mine = ids + i * slots;
            std::fill(mine, mine + slots, kNoBone);
            std::copy(combos[i].bones.begin(), combos[i].bones.end(), mine);
            bc[i] = D3DXBONECOMBINATION{combos[i].attribute,  table[i].FaceStart,   table[i].FaceCount,
                                        table[i].VertexStart, table[i].VertexCount, mine};
        }
    }
    if (c.vertexRemap) {
        if (FAILED(hr = D3DXCreateBuffer(DWORD(vertexRemap.size() * sizeof(DWORD)), &made.vertexRemap)))
            return hr;
        std::copy(vertexRemap.begin(), vertexRemap.end(), static_cast<DWORD *>(made.vertexRemap->GetBufferPointer()));
    }
    if (c.adjacencyOut) {
        if (c.adjacencyIn) {
            // The corners keep their order, so each edge keeps its neighbour, renumbered.
            std::vector<DWORD> newFace(numFaces);
            for (DWORD f = 0; f < numFaces; f++)
                newFace[faceRemap[f]] = f;
            for (DWORD f = 0; f < numFaces; f++)
                for (int e = 0; e < 3; e++) {
                    const DWORD old = c.adjacencyIn[size_t(faceRemap[f]) * 3 + e];
                    c.adjacencyOut[size_t(f) * 3 + e] = old < numFaces ? newFace[old] : kNoFace;
                }
        } else {
            // Copies of one source vertex are one point.
            AdjacencyFromPointReps(indices.data(), numFaces, vertexRemap.data(), c.adjacencyOut);
        }
    }
    if (c.faceRemap)
        std::copy(faceRemap.begin(), faceRemap.end(), c.faceRemap);
    if (c.maxInfluences)
        *c.maxInfluences = c.indexed ? mostPerVertex : mostPerFace;
    if (c.numCombinations)
        *c.numCombinations = DWORD(combos.size());
    if (c.vertexRemap)
        std::swap(*c.vertexRemap, made.vertexRemap);
    if (c.combinations)
        std::swap(*c.combinations, made.combinations);
    std::swap(*c.mesh, made.mesh);
    return D3D_OK;
}

HRESULT MaxFaceInfluences(const SkinInfluences &skin, IDirect3DIndexBuffer9 *ib, DWORD numFaces, DWORD *out)
{
    const std::string who = "ID3DXSkinInfo::GetMaxFaceInfluences";
    if (!ib || !out)
        return Refuse(who, "null index buffer or result pointer");
    D3DINDEXBUFFER_DESC desc;
    HRESULT hr = ib->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    const UINT bytes = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
    if (size_t(numFaces) * 3 * bytes > desc.Size)
        return Refuse(who, std::to_string(numFaces) + " faces do not fit the index buffer of " +
                               std::to_string(desc.Size) + " bytes");
    void *p = nullptr;
    if (FAILED(hr = ib->Lock(0, 0, &p, D3DLOCK_READONLY)))
        return hr;
    DWORD most = 0;
    std::vector<DWORD> bones;
    for (DWORD f = 0; f < numFaces && SUCCEEDED(hr); f++) {
        bones.clear();
        for (int c = 0; c < 3; c++) {
            const size_t i = size_t(f) * 3 + c;
            const DWORD v = bytes == 4 ? static_cast<const DWORD *>(p)[i] : static_cast<const WORD *>(p)[i];
            if (v >= skin.numVertices) {
                hr = Refuse(who, "face " + std::to_string(f) + " names vertex " + std::to_string(v) + " of " +
                                     std::to_string(skin.numVertices));
                break;
            }
            for (DWORD k = skin.start[v]; k < skin.start[v + 1]; k++)
                if (std::find(bones.begin(), bones.end(), skin.influences[k].bone) == bones.end())
                    bones.push_back(skin.influences[k].bone);
        }
        most = std::max(most, DWORD(bones.size()));
    }
    ib->Unlock();
    if (SUCCEEDED(hr))
        *out = most;
    return hr;
}

}  // namespace tavrok::d3dx9mesh
