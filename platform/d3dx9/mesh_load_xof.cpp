/*
 * mesh_load_xof.cpp - D3DXLoadSkinMeshFromXof and D3DXLoadMeshFromXof: one Mesh data
 * object of a DirectX file into an ID3DXMesh, its materials, adjacency and skin information.
 *
 * Reads the Mesh's positions and faces (polygons of more than three corners become fans
 * around their first corner) and its children: MeshNormals (with their own per-face
 * indices), MeshTextureCoords, MeshVertexColors, MeshMaterialList with inline or
 * referenced Materials and their TextureFilename, XSkinMeshHeader and SkinWeights.  A vertex
 * whose corners need different normals is split: the file's vertices keep their indices and
 * each further normal adds a copy at the end, which also receives the original's skin
 * weights (weights naming a vertex the mesh lacks fail the whole mesh).  Vertex format:
 * position, then normal, diffuse colour and texture coordinates as the file provides them.  Adjacency is computed on the file's vertices, so split
 * copies still join their neighbours.  Every count and index is checked against the data
 * block's size: a malformed mesh fails with D3DXERR_INVALIDDATA, a malformed optional child
 * is skipped; each costs one diagnostic line.  DeclData supplies texture coordinates,
 * normals and colours the mesh's own children lack; VertexDuplicationIndices make
 * duplicated vertices one point for adjacency.  FVFData (a vertex format without the
 * position and the data it describes, the same number of DWORDs for every vertex) joins
 * its components to the vertex format: its normal and diffuse colour when the mesh's own
 * children lack them, its point size, specular colour and texture coordinate sets always
 * (the mesh's own coordinates replacing its first set).  Effect instances in the file are
 * ignored; the effect-instance buffer, when asked for, holds one empty instance per
 * material.
 */
#include "mesh_private.h"

#include <rmxfguid.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tavrok::d3dx9mesh {
namespace {

const DWORD kNone = 0xFFFFFFFF;

// Bounds-checked reading of a data block laid out by its template.
class Reader {
public:
    Reader(const void *data, DWORD size) : p_(static_cast<const BYTE *>(data)), size_(size) {}
    bool Dword(DWORD *out) { return Bytes(out, 4); }
    bool Float(float *out) { return Bytes(out, 4); }
    bool Floats(float *out, size_t n) { return Bytes(out, n * 4); }
    // Fills `out` (vectors of floats, possibly none) from the next bytes.
    template <class Vector>
    bool Vectors(std::vector<Vector> &out)
    {
        return Bytes(out.data(), out.size() * sizeof(Vector));
    }
    bool String(const char **out) { return Bytes(out, sizeof(char *)); }
    // Appends the next n DWORDs to `out`; false, with nothing read, when fewer are left.
    bool AppendDwords(std::vector<DWORD> &out, size_t n)
    {
        if (n > (size_ - at_) / 4)
            return false;
        const BYTE *p = p_ + at_;
        for (size_t i = 0; i < n; ++i) {
            DWORD v;
            memcpy(&v, p + 4 * i, 4);
            out.push_back(v);
        }
        at_ += 4 * n;
        return true;
    }
    // True when n elements of the given size fit in what is left.
    bool Fits(size_t n, size_t elementBytes) const { return elementBytes == 0 || n <= (size_ - at_) / elementBytes; }
    size_t Left() const { return size_ - at_; }

private:
    bool Bytes(void *out, size_t n)
    {
        if (n == 0)
            return true;  // an empty array may have no storage at all
        if (n > size_ - at_)
            return false;
        memcpy(out, p_ + at_, n);
        at_ += n;
        return true;
    }
    const BYTE *p_;
    size_t size_;
    size_t at_ = 0;
};

// The name of a data object, empty when it has none.
std::string NameOf(IDirectXFileObject *object)
{
    DWORD len = 0;
    if (FAILED(object->GetName(nullptr, &len)) || len == 0)
        return {};
    std::string name(len, '\0');
    if (FAILED(object->GetName(&name[0], &len)))
        return {};
    name.resize(strnlen(name.c_str(), name.size()));
    return name;
}

// Calls visit(data) for each data child of an object, references resolved.
template <class Visit>
void ForEachChild(IDirectXFileData *object, Visit visit)
{
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(object->GetNextObject(&child)) && child) {
        IDirectXFileData *data = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void **>(&ref)))) {
            if (FAILED(ref->Resolve(&data)))
                data = nullptr;
            ref->Release();
        } else if (FAILED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void **>(&data)))) {
            data = nullptr;
        }
        child->Release();
        child = nullptr;
        if (data) {
            visit(data);
            data->Release();
        }
    }
}

D3DCOLOR ColorOf(const float *rgba)
{
    auto byte = [](float f) { return DWORD(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
    return (byte(rgba[3]) << 24) | (byte(rgba[0]) << 16) | (byte(rgba[1]) << 8) | byte(rgba[2]);
}

// A list of faces: each face's corners, one face after the other in one array.
struct FaceList {
    std::vector<DWORD> start = {0};  // where each face's corners begin, then the end
    std::vector<DWORD> corners;

    size_t size() const { return start.size() - 1; }
    bool empty() const { return size() == 0; }
    DWORD CornerCount(size_t f) const { return start[f + 1] - start[f]; }
    const DWORD *Corners(size_t f) const { return corners.data() + start[f]; }
};

struct RawBone {
    std::string name;
    D3DXMATRIX offset;
    std::vector<DWORD> fileVertices;
    std::vector<float> weights;
};

// The whole of one Mesh object while it is read.
class MeshReader {
public:
    MeshReader(IDirectXFileData *object, MeshData *out, const std::string &file)
        : object_(object), out_(out), file_(file)
    {
        out_->name = NameOf(object);
        where_ = out_->name.empty() ? std::string("Mesh (unnamed)") : "Mesh '" + out_->name + "'";
    }

    HRESULT Read()
    {
        HRESULT hr = ReadBody();
        if (FAILED(hr))
            return hr;
        ForEachChild(object_, [&](IDirectXFileData *child) {
            if (SUCCEEDED(failed_))
                ReadChild(child);
        });
        if (declNormals_ && !hasNormals_)
            hasNormals_ = true;
        if (FAILED(failed_))
            return failed_;
        return Build();
    }

private:
    // The file when the caller named one, else the mesh leads the reason.
    void Report(const std::string &reason)
    {
        if (file_.empty())
            Diagnostic(kLib, "", "", where_ + ": " + reason);
        else
            Diagnostic(kLib, file_, where_, reason);
    }
    HRESULT Invalid(const std::string &reason)
    {
        Report(reason);
        return D3DXERR_INVALIDDATA;
    }

    // Reads a list of faces (count, then each face's corner count and corners).
    bool ReadFaces(Reader &r, FaceList *faces)
    {
        DWORD n = 0;
        if (!r.Dword(&n) || !r.Fits(n, 4))
            return false;
        faces->start.reserve(size_t(n) + 1);
        faces->corners.reserve(r.Left() / 4);  // at most what the block holds
        for (DWORD f = 0; f < n; f++) {
            DWORD corners = 0;
            if (!r.Dword(&corners) || !r.AppendDwords(faces->corners, corners))
                return false;
            faces->start.push_back(DWORD(faces->corners.size()));
        }
        return true;
    }

    HRESULT ReadBody()
    {
        DWORD size = 0;
        void *data = nullptr;
        HRESULT hr = object_->GetData(nullptr, &size, &data);
        if (FAILED(hr))
            return hr;
        Reader r(data, size);
        DWORD nVertices = 0;
        if (!r.Dword(&nVertices) || !r.Fits(nVertices, 12))
            return Invalid("the vertex count does not match the data");
        positions_.resize(nVertices);
        r.Vectors(positions_);
        if (!ReadFaces(r, &faces_))
            return Invalid("the face list does not match the data");
        for (size_t f = 0; f < faces_.size(); f++) {
            if (faces_.CornerCount(f) < 3)
                return Invalid("face " + std::to_string(f) + " has " + std::to_string(faces_.CornerCount(f)) +
                               " corners (at least 3 needed)");
            for (DWORD k = 0; k < faces_.CornerCount(f); k++)
                if (DWORD c = faces_.Corners(f)[k]; c >= nVertices)
                    return Invalid("face " + std::to_string(f) + " uses vertex " + std::to_string(c) + " of " +
                                   std::to_string(nVertices));
        }
        if (faces_.empty()) {
            // Exporters write empty meshes for helper objects: nothing to load, but nothing
            // wrong with the file either.
            Report("the mesh has no faces");
            return D3DXERR_LOADEDMESHASNODATA;
        }
        return D3D_OK;
    }

    void ReadChild(IDirectXFileData *child)
    {
        DWORD size = 0;
        void *data = nullptr;
        if (FAILED(child->GetData(nullptr, &size, &data)))
            return;
        Reader r(data, size);
        if (IsType(child, TID_D3DRMMeshNormals))
            ReadNormals(r);
        else if (IsType(child, TID_D3DRMMeshTextureCoords))
            ReadTexCoords(r);
        else if (IsType(child, TID_D3DRMMeshVertexColors))
            ReadColors(r);
        else if (IsType(child, TID_D3DRMMeshMaterialList))
            ReadMaterialList(child, r);
        else if (IsType(child, DXFILEOBJ_DeclData))
            ReadDeclData(r);
        else if (IsType(child, DXFILEOBJ_FVFData))
            ReadFvfData(r);
        else if (IsType(child, DXFILEOBJ_VertexDuplicationIndices))
            ReadDuplicationIndices(r);
        else if (IsType(child, DXFILEOBJ_XSkinMeshHeader))
            out_->hasSkin = true;
        else if (IsType(child, DXFILEOBJ_SkinWeights))
            ReadSkinWeights(r);
    }

    void ReadNormals(Reader &r)
    {
        DWORD n = 0;
        std::vector<D3DXVECTOR3> normals;
        FaceList faces;
        if (!r.Dword(&n) || !r.Fits(n, 12))
            return Report("MeshNormals: the normal count does not match the data; normals ignored");
        normals.resize(n);
        r.Vectors(normals);
        if (!ReadFaces(r, &faces))
            return Report("MeshNormals: the face list does not match the data; normals ignored");
        if (faces.size() != faces_.size())
            return Report("MeshNormals: " + std::to_string(faces.size()) + " faces for a mesh of " +
                          std::to_string(faces_.size()) + "; normals ignored");
        for (size_t f = 0; f < faces.size(); f++) {
            if (faces.CornerCount(f) != faces_.CornerCount(f))
                return Report("MeshNormals: face " + std::to_string(f) + " has a different corner count; normals ignored");
            for (DWORD k = 0; k < faces.CornerCount(f); k++)
                if (DWORD c = faces.Corners(f)[k]; c >= n)
                    return Report("MeshNormals: face " + std::to_string(f) + " uses normal " + std::to_string(c) +
                                  " of " + std::to_string(n) + "; normals ignored");
        }
        normals_ = std::move(normals);
        normalFaces_ = std::move(faces);
        hasNormals_ = true;
    }

    void ReadTexCoords(Reader &r)
    {
        DWORD n = 0;
        if (!r.Dword(&n) || !r.Fits(n, 8))
            return Report("MeshTextureCoords: the count does not match the data; ignored");
        if (n != positions_.size())
            return Report("MeshTextureCoords: " + std::to_string(n) + " coordinates for " +
                          std::to_string(positions_.size()) + " vertices; ignored");
        texCoords_.resize(n);
        r.Vectors(texCoords_);
        hasTexCoords_ = true;
    }

    void ReadColors(Reader &r)
    {
        DWORD n = 0;
        if (!r.Dword(&n) || !r.Fits(n, 20))
            return Report("MeshVertexColors: the count does not match the data; ignored");
        colors_.assign(positions_.size(), 0xFFFFFFFF);
        DWORD bad = 0;
        for (DWORD i = 0; i < n; i++) {
            DWORD index = 0;
            float rgba[4];
            r.Dword(&index);
            r.Floats(rgba, 4);
            if (index < positions_.size())
                colors_[index] = ColorOf(rgba);
            else
                bad++;
        }
        if (bad)
            Report("MeshVertexColors: " + std::to_string(bad) + " colours name vertices beyond the " +
                   std::to_string(positions_.size()) + "; skipped");
        hasColors_ = true;
    }

    void ReadMaterialList(IDirectXFileData *list, Reader &r)
    {
        DWORD nMaterials = 0, nIndexes = 0;
        if (!r.Dword(&nMaterials) || !r.Dword(&nIndexes) || !r.Fits(nIndexes, 4))
            return Report("MeshMaterialList: the counts do not match the data; materials ignored");
        std::vector<DWORD> indexes(nIndexes);
        for (DWORD &i : indexes)
            r.Dword(&i);
        std::vector<MeshMaterial> materials;
        ForEachChild(list, [&](IDirectXFileData *m) {
            if (IsType(m, TID_D3DRMMaterial))
                ReadMaterial(m, &materials);
        });
        if (materials.size() > nMaterials)
            materials.resize(nMaterials);
        // Announced materials that are neither given nor usable by any face are a damaged
        // count, not a request for billions of white ones.
        if (nMaterials - materials.size() > nIndexes)
            return Report("MeshMaterialList: " + std::to_string(nMaterials) + " materials announced for " +
                          std::to_string(nIndexes) + " faces, " + std::to_string(materials.size()) +
                          " given; materials ignored");
        if (materials.size() < nMaterials) {
            Report("MeshMaterialList: " + std::to_string(nMaterials) + " materials announced, " +
                   std::to_string(materials.size()) + " given; the rest are white");
            MeshMaterial white{};
            white.material.Diffuse = {1, 1, 1, 1};
            materials.resize(nMaterials, white);
        }
        for (size_t i = 0; i < indexes.size(); i++)
            if (indexes[i] >= nMaterials) {
                Report("MeshMaterialList: face " + std::to_string(i) + " uses material " + std::to_string(indexes[i]) +
                       " of " + std::to_string(nMaterials) + "; materials ignored");
                return;
            }
        if (nMaterials == 0)
            return;
        materials_ = std::move(materials);
        faceMaterials_ = std::move(indexes);
        hasMaterials_ = true;
    }

    void ReadMaterial(IDirectXFileData *m, std::vector<MeshMaterial> *materials)
    {
        DWORD size = 0;
        void *data = nullptr;
        float f[11];
        if (FAILED(m->GetData(nullptr, &size, &data)) || !Reader(data, size).Floats(f, 11)) {
            Report("Material: the data is too short; skipped");
            return;
        }
        MeshMaterial mm{};
        mm.material.Diffuse = {f[0], f[1], f[2], f[3]};
        mm.material.Power = f[4];
        mm.material.Specular = {f[5], f[6], f[7], 1.0f};
        mm.material.Emissive = {f[8], f[9], f[10], 1.0f};
        ForEachChild(m, [&](IDirectXFileData *t) {
            DWORD tsize = 0;
            void *tdata = nullptr;
            const char *file = nullptr;
            if (IsType(t, TID_D3DRMTextureFilename) && SUCCEEDED(t->GetData(nullptr, &tsize, &tdata)) &&
                Reader(tdata, tsize).String(&file)) {
                mm.textureFile = file ? file : "";
                mm.hasTexture = true;
            }
        });
        materials->push_back(mm);
    }

    // Bytes one element of a vertex declaration takes, 0 for an unknown type.
    static DWORD DeclTypeBytes(DWORD type)
    {
        static const BYTE bytes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
        return type < sizeof bytes ? bytes[type] : 0;
    }

    // Per-vertex data in declaration form, as some exporters write texture coordinates,
    // normals and colours.  What the mesh's own children give takes precedence; elements
    // of other kinds (tangents, further coordinate sets) are passed over.
    void ReadDeclData(Reader &r)
    {
        struct Element {
            DWORD type, method, usage, usageIndex;
        };
        DWORD nElements = 0, nDwords = 0;
        if (!r.Dword(&nElements) || !r.Fits(nElements, 16))
            return Report("DeclData: the element count does not match the data; ignored");
        std::vector<Element> elements(nElements);
        DWORD stride = 0;
        for (Element &e : elements) {
            r.Dword(&e.type);
            r.Dword(&e.method);
            r.Dword(&e.usage);
            r.Dword(&e.usageIndex);
            DWORD bytes = DeclTypeBytes(e.type);
            if (bytes == 0)
                return Report("DeclData: element type " + std::to_string(e.type) + " is not a vertex type; ignored");
            stride += bytes;
        }
        if (!r.Dword(&nDwords) || !r.Fits(nDwords, 4))
            return Report("DeclData: the data count does not match the data; ignored");
        const size_t n = positions_.size();
        if (stride == 0 || size_t(nDwords) * 4 != n * stride)
            return Report("DeclData: " + std::to_string(nDwords) + " values for " + std::to_string(n) +
                          " vertices of " + std::to_string(stride) + " bytes; ignored");
        std::vector<BYTE> data(size_t(nDwords) * 4);
        r.Floats(reinterpret_cast<float *>(data.data()), nDwords);
        DWORD offset = 0;
        for (const Element &e : elements) {
            const BYTE *first = data.data() + offset;
            if (e.usage == D3DDECLUSAGE_TEXCOORD && e.usageIndex == 0 && e.type == D3DDECLTYPE_FLOAT2 && !hasTexCoords_) {
                texCoords_.resize(n);
                for (size_t v = 0; v < n; v++)
                    memcpy(&texCoords_[v].x, first + v * stride, 8);
                hasTexCoords_ = true;
            } else if (e.usage == D3DDECLUSAGE_NORMAL && e.usageIndex == 0 && e.type == D3DDECLTYPE_FLOAT3 &&
                       !hasNormals_) {
                // One normal per vertex: the corners index them as they index the positions.
                normals_.resize(n);
                for (size_t v = 0; v < n; v++)
                    memcpy(&normals_[v].x, first + v * stride, 12);
                normalFaces_ = faces_;
                declNormals_ = true;
            } else if (e.usage == D3DDECLUSAGE_COLOR && e.usageIndex == 0 && e.type == D3DDECLTYPE_D3DCOLOR &&
                       !hasColors_) {
                colors_.resize(n);
                for (size_t v = 0; v < n; v++)
                    memcpy(&colors_[v], first + v * stride, 4);
                hasColors_ = true;
            }
            offset += DeclTypeBytes(e.type);
        }
    }

    // Per-vertex data described by a vertex format without the position.  Normals and
    // colours fill in for children the mesh lacks (its own MeshNormals and MeshVertexColors
    // replace them); the rest is kept whole for Build.
    void ReadFvfData(Reader &r)
    {
        DWORD fvf = 0, nDwords = 0;
        if (!r.Dword(&fvf) || !r.Dword(&nDwords) || !r.Fits(nDwords, 4))
            return Report("FVFData: the data count does not match the data; ignored");
        // The position and blend weights are the Mesh's own: the data never holds them.
        fvf &= ~DWORD(D3DFVF_POSITION_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
        const FvfLayout l = LayoutOfFvf(fvf);
        const size_t n = positions_.size();
        char code[16];
        snprintf(code, sizeof code, "0x%X", unsigned(fvf));
        if (!l.valid)
            return Report(std::string("FVFData: format ") + code + " describes no vertex data; ignored");
        if (nDwords % n != 0 || size_t(nDwords) / n * 4 != l.stride)
            return Report("FVFData: " + std::to_string(nDwords) + " values for " + std::to_string(n) +
                          " vertices of format " + code + " (" + std::to_string(l.stride / 4) + " each); ignored");
        fvfData_.resize(size_t(nDwords) * 4);
        r.Floats(reinterpret_cast<float *>(fvfData_.data()), nDwords);
        fvfDataFormat_ = fvf;
        if (l.normal >= 0 && !hasNormals_ && !declNormals_) {
            normals_.resize(n);
            for (size_t v = 0; v < n; v++)
                memcpy(&normals_[v].x, &fvfData_[v * l.stride + l.normal], 12);
            normalFaces_ = faces_;
            declNormals_ = true;
        }
        if (l.diffuse >= 0 && !hasColors_) {
            colors_.resize(n);
            for (size_t v = 0; v < n; v++)
                memcpy(&colors_[v], &fvfData_[v * l.stride + l.diffuse], 4);
            hasColors_ = true;
        }
    }

    // The point size, specular colour and texture sets of the vertices: FVFData's, with the
    // mesh's own coordinates (two values) as the first set.
    void BuildExtra(const std::vector<DWORD> &fileOf)
    {
        MeshData &d = *out_;
        const DWORD kTexBits = D3DFVF_TEXCOUNT_MASK | 0xFFFF0000;  // count and per-set sizes
        DWORD fvf = fvfDataFormat_ & (D3DFVF_PSIZE | D3DFVF_SPECULAR | kTexBits);
        if (hasTexCoords_) {
            if ((fvf & D3DFVF_TEXCOUNT_MASK) == 0)
                fvf |= D3DFVF_TEX1;
            fvf &= ~DWORD(D3DFVF_TEXCOORDSIZE1(0));  // set 0 has two values
        }
        if (fvf == 0)
            return;
        const FvfLayout from = LayoutOfFvf(fvfDataFormat_), to = LayoutOfFvf(fvf);
        d.extraFvf = fvf;
        d.extra.assign(fileOf.size() * to.stride, 0);
        for (size_t v = 0; v < fileOf.size(); v++) {
            BYTE *row = &d.extra[v * to.stride];
            if (!fvfData_.empty())
                ConvertVertex(from, &fvfData_[size_t(fileOf[v]) * from.stride], to, row);
            if (hasTexCoords_)
                memcpy(row + to.tex[0], &texCoords_[fileOf[v]], 8);
        }
    }

    // The file vertex each vertex duplicates, so that adjacency joins faces across seams.
    void ReadDuplicationIndices(Reader &r)
    {
        DWORD n = 0, original = 0;
        if (!r.Dword(&n) || !r.Dword(&original) || !r.Fits(n, 4))
            return Report("VertexDuplicationIndices: the count does not match the data; ignored");
        std::vector<DWORD> indices(n);
        for (DWORD &i : indices)
            r.Dword(&i);
        if (n != positions_.size())
            return Report("VertexDuplicationIndices: " + std::to_string(n) + " indices for " +
                          std::to_string(positions_.size()) + " vertices; ignored");
        for (DWORD v = 0; v < n; v++)
            if (indices[v] > v)  // a vertex duplicates an earlier one, or is its own
                return Report("VertexDuplicationIndices: vertex " + std::to_string(v) + " names vertex " +
                              std::to_string(indices[v]) + "; ignored");
        duplicates_ = std::move(indices);
    }

    void ReadSkinWeights(Reader &r)
    {
        out_->hasSkin = true;
        const char *name = nullptr;
        DWORD n = 0;
        if (!r.String(&name) || !r.Dword(&n) || r.Left() != size_t(n) * 8 + 64)
            return Report("SkinWeights" + std::string(name ? " '" + std::string(name) + "'" : "") +
                          ": the weight arrays do not match their count; skipped");
        RawBone b;
        b.name = name ? name : "";
        b.fileVertices.resize(n);
        b.weights.resize(n);
        for (DWORD &v : b.fileVertices)
            r.Dword(&v);
        r.Floats(b.weights.data(), n);
        r.Floats(&b.offset._11, 16);
        for (DWORD v : b.fileVertices)
            if (v >= positions_.size()) {
                // Weights on vertices the mesh does not have: the skin cannot be trusted.
                Report("SkinWeights '" + b.name + "': vertex " + std::to_string(v) + " of " +
                       std::to_string(positions_.size()) + "; the mesh is not loaded");
                failed_ = D3DXERR_INVALIDDATA;
                return;
            }
        bones_.push_back(std::move(b));
    }

    HRESULT Build()
    {
        MeshData &d = *out_;
        const DWORD nFile = DWORD(positions_.size());
        d.positions = positions_;
        d.pointReps.resize(nFile);
        for (DWORD v = 0; v < nFile; v++)
            d.pointReps[v] = duplicates_.empty() ? v : duplicates_[v];
        std::vector<DWORD> fileOf(nFile);         // the file vertex each vertex copies
        for (DWORD v = 0; v < nFile; v++)
            fileOf[v] = v;
        std::vector<DWORD> chain(nFile, kNone);   // next copy of the same file vertex
        std::vector<bool> normalSet(nFile, false);
        if (hasNormals_)
            d.normals.assign(nFile, D3DXVECTOR3(0, 0, 0));

        // The vertex for a corner: the file's vertex, or the copy of it that has this normal.
        auto vertexFor = [&](DWORD p, DWORD normalIndex) -> DWORD {
            if (!hasNormals_)
                return p;
            const D3DXVECTOR3 &n = normals_[normalIndex];
            if (!normalSet[p]) {
                normalSet[p] = true;
                d.normals[p] = n;
                return p;
            }
            DWORD last = p;
            for (DWORD v = p; v != kNone; last = v, v = chain[v])
                if (d.normals[v] == n)
                    return v;
            DWORD copy = DWORD(d.positions.size());
            d.positions.push_back(positions_[p]);
            d.normals.push_back(n);
            d.pointReps.push_back(d.pointReps[p]);
            fileOf.push_back(p);
            chain.push_back(kNone);
            chain[last] = copy;
            return copy;
        };

        const size_t triangles = faces_.corners.size() - 2 * faces_.size();
        d.indices.reserve(3 * triangles);
        d.attributes.reserve(triangles);
        std::vector<DWORD> v;  // the vertices of one face's corners
        for (size_t f = 0; f < faces_.size(); f++) {
            const DWORD *c = faces_.Corners(f);
            const size_t count = faces_.CornerCount(f);
            v.resize(count);
            for (size_t k = 0; k < count; k++)
                v[k] = vertexFor(c[k], hasNormals_ ? normalFaces_.Corners(f)[k] : 0);
            DWORD attribute = 0;
            if (hasMaterials_ && !faceMaterials_.empty())
                attribute = faceMaterials_[std::min(f, faceMaterials_.size() - 1)];
            for (size_t k = 1; k + 1 < count; k++) {
                d.indices.insert(d.indices.end(), {v[0], v[k], v[k + 1]});
                d.attributes.push_back(attribute);
            }
        }

        const size_t nVertices = d.positions.size();
        d.fvf = D3DFVF_XYZ;
        if (hasNormals_)
            d.fvf |= D3DFVF_NORMAL;
        if (hasColors_) {
            d.fvf |= D3DFVF_DIFFUSE;
            d.colors.resize(nVertices);
            for (size_t v = 0; v < nVertices; v++)
                d.colors[v] = colors_[fileOf[v]];
        }
        BuildExtra(fileOf);
        d.fvf |= d.extraFvf;
        if (hasMaterials_)
            d.materials = materials_;

        // Skin weights name the file's vertices; every copy of a vertex shares its weights.
        for (RawBone &raw : bones_) {
            MeshBone b;
            b.name = raw.name;
            b.offset = raw.offset;
            for (size_t i = 0; i < raw.fileVertices.size(); i++)
                for (DWORD v = raw.fileVertices[i]; v != kNone; v = chain[v]) {
                    b.vertices.push_back(v);
                    b.weights.push_back(raw.weights[i]);
                }
            d.bones.push_back(std::move(b));
        }
        return D3D_OK;
    }

    IDirectXFileData *object_;
    MeshData *out_;
    std::string file_;
    std::string where_;
    HRESULT failed_ = D3D_OK;  // a child that makes the whole mesh unusable
    std::vector<D3DXVECTOR3> positions_;
    FaceList faces_;
    bool hasNormals_ = false, hasTexCoords_ = false, hasColors_ = false, hasMaterials_ = false;
    std::vector<D3DXVECTOR3> normals_;
    FaceList normalFaces_;
    std::vector<D3DXVECTOR2> texCoords_;
    std::vector<D3DCOLOR> colors_;
    std::vector<MeshMaterial> materials_;
    std::vector<DWORD> faceMaterials_;
    std::vector<RawBone> bones_;
    bool declNormals_ = false;     // normals came from DeclData (MeshNormals would replace them)
    std::vector<DWORD> duplicates_;  // VertexDuplicationIndices, when valid
    DWORD fvfDataFormat_ = 0;        // FVFData's format (without the position), when valid
    std::vector<BYTE> fvfData_;      // and its data, one vertex after the other
};

template <class T>
void SafeRelease(T *&p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

HRESULT CreateMeshFromData(const MeshData &d, DWORD options, IDirect3DDevice9 *device, ID3DXMesh **out)
{
    *out = nullptr;
    const DWORD nVertices = DWORD(d.positions.size()), nFaces = DWORD(d.attributes.size());
    if (nVertices > 0xFFFF)
        options |= D3DXMESH_32BIT;  // 16-bit indices cannot reach every vertex
    ID3DXMesh *mesh = nullptr;
    HRESULT hr = D3DXCreateMeshFVF(nFaces, nVertices, options, d.fvf, device, &mesh);
    if (FAILED(hr))
        return hr;
    const FvfLayout l = LayoutOfFvf(d.fvf), extra = LayoutOfFvf(d.extraFvf);
    void *vp = nullptr, *ip = nullptr;
    DWORD *ap = nullptr;
    if (FAILED(hr = mesh->LockVertexBuffer(0, &vp))) {
        mesh->Release();
        return hr;
    }
    BYTE *v = static_cast<BYTE *>(vp);
    for (DWORD i = 0; i < nVertices; i++, v += l.stride) {
        if (!d.extra.empty())
            ConvertVertex(extra, &d.extra[size_t(i) * extra.stride], l, v);  // first: it clears the vertex
        memcpy(v, &d.positions[i], 12);
        if (l.normal >= 0)
            memcpy(v + l.normal, &d.normals[i], 12);
        if (l.diffuse >= 0)
            memcpy(v + l.diffuse, &d.colors[i], 4);
    }
    mesh->UnlockVertexBuffer();
    if (FAILED(hr = mesh->LockIndexBuffer(0, &ip))) {
        mesh->Release();
        return hr;
    }
    if (options & D3DXMESH_32BIT) {
        memcpy(ip, d.indices.data(), d.indices.size() * 4);
    } else {
        WORD *w = static_cast<WORD *>(ip);
        for (size_t i = 0; i < d.indices.size(); i++)
            w[i] = WORD(d.indices[i]);
    }
    mesh->UnlockIndexBuffer();
    if (FAILED(hr = mesh->LockAttributeBuffer(0, &ap))) {
        mesh->Release();
        return hr;
    }
    std::copy(d.attributes.begin(), d.attributes.end(), ap);
    mesh->UnlockAttributeBuffer();
    *out = mesh;
    return D3D_OK;
}

HRESULT CreateMaterialBuffer(const std::vector<MeshMaterial> &materials, ID3DXBuffer **buffer)
{
    size_t bytes = materials.size() * sizeof(D3DXMATERIAL);
    for (const MeshMaterial &m : materials)
        if (m.hasTexture)
            bytes += m.textureFile.size() + 1;
    HRESULT hr = D3DXCreateBuffer(DWORD(bytes), buffer);
    if (FAILED(hr))
        return hr;
    BYTE *base = static_cast<BYTE *>((*buffer)->GetBufferPointer());
    D3DXMATERIAL *out = reinterpret_cast<D3DXMATERIAL *>(base);
    char *strings = reinterpret_cast<char *>(base + materials.size() * sizeof(D3DXMATERIAL));
    for (size_t i = 0; i < materials.size(); i++) {
        out[i].MatD3D = materials[i].material;
        out[i].pTextureFilename = nullptr;
        if (materials[i].hasTexture) {
            memcpy(strings, materials[i].textureFile.c_str(), materials[i].textureFile.size() + 1);
            out[i].pTextureFilename = strings;
            strings += materials[i].textureFile.size() + 1;
        }
    }
    return D3D_OK;
}

HRESULT CreateEffectBuffer(DWORD count, ID3DXBuffer **buffer)
{
    HRESULT hr = D3DXCreateBuffer(DWORD(std::max<DWORD>(count, 1) * sizeof(D3DXEFFECTINSTANCE)), buffer);
    if (SUCCEEDED(hr))
        memset((*buffer)->GetBufferPointer(), 0, (*buffer)->GetBufferSize());
    return hr;
}

HRESULT CreateAdjacencyBuffer(const MeshData &d, ID3DXBuffer **buffer)
{
    HRESULT hr = D3DXCreateBuffer(DWORD(d.indices.size() * sizeof(DWORD)), buffer);
    if (SUCCEEDED(hr))
        AdjacencyFromPointReps(d.indices.data(), DWORD(d.attributes.size()), d.pointReps.data(),
                               static_cast<DWORD *>((*buffer)->GetBufferPointer()));
    return hr;
}

}  // namespace

HRESULT ReadMeshObject(IDirectXFileData *object, MeshData *out, const std::string &file)
{
    return MeshReader(object, out, file).Read();
}

void LoadedMesh::HandOut(ID3DXBuffer **adjacencyOut, ID3DXBuffer **materialsOut, ID3DXBuffer **effectsOut,
                         DWORD *materialCountOut, ID3DXMesh **meshOut)
{
    if (adjacencyOut)
        *adjacencyOut = adjacency;
    if (materialsOut)
        *materialsOut = materials;
    if (effectsOut)
        *effectsOut = effects;
    if (materialCountOut)
        *materialCountOut = materialCount;
    *meshOut = mesh;
    *this = LoadedMesh{};
}

void LoadedMesh::Release()
{
    SafeRelease(mesh);
    SafeRelease(adjacency);
    SafeRelease(materials);
    SafeRelease(effects);
}

HRESULT BuildLoadedMesh(const MeshData &data, DWORD options, IDirect3DDevice9 *device, bool adjacency,
                        bool materials, bool effects, LoadedMesh *out)
{
    LoadedMesh built;
    built.materialCount = DWORD(data.materials.size());
    HRESULT hr = CreateMeshFromData(data, options, device, &built.mesh);
    if (SUCCEEDED(hr) && adjacency)
        hr = CreateAdjacencyBuffer(data, &built.adjacency);
    if (SUCCEEDED(hr) && materials && !data.materials.empty())
        hr = CreateMaterialBuffer(data.materials, &built.materials);
    if (SUCCEEDED(hr) && effects)
        hr = CreateEffectBuffer(built.materialCount, &built.effects);
    if (FAILED(hr)) {
        built.Release();
        return hr;
    }
    *out = built;
    return D3D_OK;
}

HRESULT CreateSkinInfoFromData(const MeshData &data, ID3DXMesh *mesh, ID3DXSkinInfo **out)
{
    *out = nullptr;
    ID3DXSkinInfo *skin = nullptr;
    HRESULT hr = D3DXCreateSkinInfoFVF(mesh->GetNumVertices(), mesh->GetFVF(), DWORD(data.bones.size()), &skin);
    for (DWORD b = 0; SUCCEEDED(hr) && b < data.bones.size(); b++) {
        const MeshBone &bone = data.bones[b];
        skin->SetBoneName(b, bone.name.c_str());
        skin->SetBoneOffsetMatrix(b, &bone.offset);
        hr = skin->SetBoneInfluence(b, DWORD(bone.vertices.size()), bone.vertices.data(), bone.weights.data());
    }
    if (FAILED(hr)) {
        SafeRelease(skin);
        return hr;
    }
    *out = skin;
    return D3D_OK;
}

}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXLoadSkinMeshFromXof(LPDIRECTXFILEDATA pxofobjMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                       LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                       LPD3DXBUFFER *ppEffectInstances, DWORD *pMatOut,
                                       LPD3DXSKININFO *ppSkinInfo, LPD3DXMESH *ppMesh)
{
    for (LPD3DXBUFFER *b : {ppAdjacency, ppMaterials, ppEffectInstances})
        if (b)
            *b = nullptr;
    if (ppSkinInfo)
        *ppSkinInfo = nullptr;
    if (ppMesh)
        *ppMesh = nullptr;
    if (pMatOut)
        *pMatOut = 0;
    if (!pxofobjMesh || !pD3D || !ppMesh)
        return D3DERR_INVALIDCALL;
    if (!IsType(pxofobjMesh, TID_D3DRMMesh)) {
        tavrok::Diagnostic(kLib, "", NameOf(pxofobjMesh), "D3DXLoadSkinMeshFromXof: the data object is not a Mesh");
        return D3DXERR_INVALIDDATA;
    }
    MeshData data;
    HRESULT hr = ReadMeshObject(pxofobjMesh, &data);
    if (FAILED(hr))
        return hr;

    LoadedMesh loaded;
    if (FAILED(hr = BuildLoadedMesh(data, Options, pD3D, ppAdjacency, ppMaterials, ppEffectInstances, &loaded)))
        return hr;
    if (ppSkinInfo && FAILED(hr = CreateSkinInfoFromData(data, loaded.mesh, ppSkinInfo))) {
        loaded.Release();
        return hr;
    }
    loaded.HandOut(ppAdjacency, ppMaterials, ppEffectInstances, pMatOut, ppMesh);
    return D3D_OK;
}

HRESULT WINAPI D3DXLoadMeshFromXof(LPDIRECTXFILEDATA pxofobjMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                   LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                   LPD3DXBUFFER *ppEffectInstances, DWORD *pNumMaterials, LPD3DXMESH *ppMesh)
{
    return D3DXLoadSkinMeshFromXof(pxofobjMesh, Options, pD3D, ppAdjacency, ppMaterials, ppEffectInstances,
                                   pNumMaterials, nullptr, ppMesh);
}
