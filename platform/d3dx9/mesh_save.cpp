/*
 * mesh_save.cpp - D3DXSaveMeshToX: one mesh written as a .x file.
 *
 * The mesh becomes one Mesh data object: its positions and triangles, then, as its vertex
 * declaration has them, MeshNormals (one normal per vertex, faces as the mesh's), the first
 * set of two-float MeshTextureCoords and the diffuse colours as MeshVertexColors; with
 * materials, a MeshMaterialList naming each face's attribute and one Material (with its
 * TextureFilename when it has one) per entry.  The object is written as text, parsed by the
 * DirectX File code and encoded by its writer in the format asked for (text, 32-bit binary,
 * or MSZIP-compressed binary), so every format holds the same objects.  Effect instances
 * are not written; the adjacency is checked but not needed.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>

#include "xwriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using tavrok::Diagnostic;
using tavrok::d3dx9mesh::kLib;

const D3DVERTEXELEMENT9 *Find(const D3DVERTEXELEMENT9 *decl, BYTE usage, BYTE index, BYTE type)
{
    for (int i = 0; i < MAX_FVF_DECL_SIZE && decl[i].Stream != 0xFF; i++)
        if (decl[i].Stream == 0 && decl[i].Usage == usage && decl[i].UsageIndex == index && decl[i].Type == type)
            return &decl[i];
    return nullptr;
}

std::string F(float f)
{
    return tavrok::dxfile::FormatFloat(f);
}

std::string Vec(const BYTE *p, int count)
{
    std::string s;
    for (int i = 0; i < count; i++) {
        float f;
        memcpy(&f, p + 4 * i, 4);
        s += F(f) + ";";
    }
    return s;
}

// The mesh as a text .x file.
std::string MeshText(const D3DVERTEXELEMENT9 *decl, const BYTE *vertices, UINT stride, DWORD numVertices,
                     const std::vector<DWORD> &indices, const DWORD *attributes, const D3DXMATERIAL *materials,
                     DWORD numMaterials)
{
    const DWORD faces = DWORD(indices.size() / 3);
    const D3DVERTEXELEMENT9 *position = Find(decl, D3DDECLUSAGE_POSITION, 0, D3DDECLTYPE_FLOAT3);
    const D3DVERTEXELEMENT9 *normal = Find(decl, D3DDECLUSAGE_NORMAL, 0, D3DDECLTYPE_FLOAT3);
    const D3DVERTEXELEMENT9 *uv = Find(decl, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLTYPE_FLOAT2);
    const D3DVERTEXELEMENT9 *colour = Find(decl, D3DDECLUSAGE_COLOR, 0, D3DDECLTYPE_D3DCOLOR);
    auto list = [&](DWORD n, auto item) {
        std::string s = " " + std::to_string(n) + ";\n";
        for (DWORD i = 0; i < n; i++)
            s += "  " + item(i) + (i + 1 < n ? ",\n" : ";\n");
        return s;
    };
    auto faceList = [&] {
        return list(faces, [&](DWORD f) {
            return "3;" + std::to_string(indices[f * 3]) + "," + std::to_string(indices[f * 3 + 1]) + "," +
                   std::to_string(indices[f * 3 + 2]) + ";";
        });
    };
    auto row = [&](DWORD v) { return vertices + size_t(v) * stride; };

    std::string x = "xof 0303txt 0032\nMesh {\n";
    x += list(numVertices, [&](DWORD v) { return Vec(row(v) + position->Offset, 3); });
    x += faceList();
    if (normal) {
        x += " MeshNormals {\n";
        x += list(numVertices, [&](DWORD v) { return Vec(row(v) + normal->Offset, 3); });
        x += faceList() + " }\n";
    }
    if (uv) {
        x += " MeshTextureCoords {\n";
        x += list(numVertices, [&](DWORD v) { return Vec(row(v) + uv->Offset, 2); });
        x += " }\n";
    }
    if (colour) {
        x += " MeshVertexColors {\n";
        x += list(numVertices, [&](DWORD v) {
            D3DCOLOR c;
            memcpy(&c, row(v) + colour->Offset, 4);
            return std::to_string(v) + ";" + F(((c >> 16) & 0xFF) / 255.0f) + ";" + F(((c >> 8) & 0xFF) / 255.0f) +
                   ";" + F((c & 0xFF) / 255.0f) + ";" + F((c >> 24) / 255.0f) + ";;";
        });
        x += " }\n";
    }
    if (numMaterials) {
        x += " MeshMaterialList {\n  " + std::to_string(numMaterials) + ";\n";
        x += list(faces, [&](DWORD f) { return std::to_string(attributes[f]); });
        for (DWORD m = 0; m < numMaterials; m++) {
            const D3DMATERIAL9 &d = materials[m].MatD3D;
            x += "  Material {\n   " + F(d.Diffuse.r) + ";" + F(d.Diffuse.g) + ";" + F(d.Diffuse.b) + ";" +
                 F(d.Diffuse.a) + ";;\n   " + F(d.Power) + ";\n   " + F(d.Specular.r) + ";" + F(d.Specular.g) + ";" +
                 F(d.Specular.b) + ";;\n   " + F(d.Emissive.r) + ";" + F(d.Emissive.g) + ";" + F(d.Emissive.b) +
                 ";;\n";
            if (materials[m].pTextureFilename) {
                std::string name;
                for (const char *c = materials[m].pTextureFilename; *c; c++) {
                    if (*c == '"' || *c == '\\')
                        name += '\\';
                    name += *c;
                }
                x += "   TextureFilename { \"" + name + "\"; }\n";
            }
            x += "  }\n";
        }
        x += " }\n";
    }
    return x + "}\n";
}

HRESULT Refuse(const std::string &file, const std::string &why)
{
    tavrok::FileDiagnostic(kLib, file, "", "D3DXSaveMeshToX: " + why);
    return D3DERR_INVALIDCALL;
}

}  // namespace

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXSaveMeshToX(LPCSTR pFilename, LPD3DXMESH pMesh, CONST DWORD *pAdjacency,
                               CONST D3DXMATERIAL *pMaterials, CONST D3DXEFFECTINSTANCE *pEffectInstances,
                               DWORD NumMaterials, DWORD Format)
{
    const std::string file = pFilename ? pFilename : "";
    if (!pFilename || !pMesh)
        return Refuse(file, !pFilename ? "no file name" : "null mesh");
    if (NumMaterials && !pMaterials)
        return Refuse(file, std::to_string(NumMaterials) + " materials but no material array");
    tavrok::dxfile::OutFormat format;
    switch (Format) {
    case D3DXF_FILEFORMAT_TEXT:
        format = tavrok::dxfile::OutFormat::Text;
        break;
    case D3DXF_FILEFORMAT_BINARY:
        format = tavrok::dxfile::OutFormat::Binary32;
        break;
    case D3DXF_FILEFORMAT_COMPRESSED:
        format = tavrok::dxfile::OutFormat::BinaryZip;
        break;
    default:
        return Refuse(file, "unknown file format " + std::to_string(Format));
    }
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = pMesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    if (!Find(decl, D3DDECLUSAGE_POSITION, 0, D3DDECLTYPE_FLOAT3))
        return Refuse(file, "the mesh has no three-float position");
    const DWORD faces = pMesh->GetNumFaces(), numVertices = pMesh->GetNumVertices();
    std::vector<DWORD> indices;
    if (FAILED(hr = ReadMeshIndices(pMesh, indices)))
        return hr;
    if (!IndicesInRange("D3DXSaveMeshToX", indices.data(), faces, numVertices))
        return D3DERR_INVALIDCALL;
    if (pAdjacency)
        for (size_t i = 0; i < indices.size(); i++)
            if (pAdjacency[i] != 0xFFFFFFFF && pAdjacency[i] >= faces)
                return Refuse(file, "the adjacency names a face the mesh lacks");
    DWORD *attributes = nullptr;
    if (FAILED(hr = pMesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes)))
        return hr;
    std::vector<DWORD> attr(attributes, attributes + faces);
    pMesh->UnlockAttributeBuffer();
    for (DWORD f = 0; NumMaterials && f < faces; f++)
        if (attr[f] >= NumMaterials)
            return Refuse(file, "face " + std::to_string(f) + " uses material " + std::to_string(attr[f]) + " of " +
                                    std::to_string(NumMaterials));
    BYTE *vertices = nullptr;
    if (FAILED(hr = pMesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void **>(&vertices))))
        return hr;
    const std::string text = MeshText(decl, vertices, pMesh->GetNumBytesPerVertex(), numVertices, indices,
                                      attr.data(), pMaterials, NumMaterials);
    pMesh->UnlockVertexBuffer();

    std::vector<uint8_t> bytes;
    try {
        tavrok::dxfile::TemplateSet templates;
        tavrok::dxfile::AddStandardTemplates(templates, true);
        tavrok::dxfile::Document doc;
        tavrok::dxfile::LoadDocument(reinterpret_cast<const uint8_t *>(text.data()), text.size(), templates, doc);
        bytes = tavrok::dxfile::Encode(doc, format);
    } catch (const std::exception &e) {
        return Refuse(file, std::string("the mesh could not be encoded: ") + e.what());
    }
    const std::string path = tavrok::ResolvePath(pFilename);
    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        return Refuse(file, std::string("cannot write the file: ") + strerror(errno));
    const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (fclose(out) != 0 || !written)
        return Refuse(file, "writing the file failed");
    return D3D_OK;
}
