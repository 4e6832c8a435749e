/*
 * mesh_private.h - what the mesh, skin-information and mesh-loading files of d3dx9 share.
 *
 * The layout of a vertex described by an FVF code, the ref-counting base of the mesh
 * objects, adjacency from point representatives, and the in-memory model of one Mesh data
 * object (MeshData) that both loaders fill and turn into an ID3DXMesh.  Private to
 * platform/d3dx9.
 */
#ifndef TAVROK_D3DX9_MESH_PRIVATE_H
#define TAVROK_D3DX9_MESH_PRIVATE_H

#include <d3dx9mesh.h>
#include <tavrok/com_object.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrok::d3dx9mesh {

inline constexpr const char *kLib = "d3dx9";

// Byte offsets of the components of one vertex; -1 for a component the format lacks.
struct FvfLayout {
    bool valid = false;
    UINT stride = 0;
    UINT positionBytes = 0;  // position and any blend weights
    int normal = -1;
    int psize = -1;
    int diffuse = -1;
    int specular = -1;
    UINT texCount = 0;
    int tex[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    UINT texBytes[8] = {};
};
FvfLayout LayoutOfFvf(DWORD fvf);
// The same offsets for a vertex declaration's stream 0: the position at offset 0, the
// components an FVF code could name, the vertex size; anything else it carries is left out.
FvfLayout LayoutOfDeclaration(const D3DVERTEXELEMENT9 *elements);

// Copies one vertex between two formats: the components both have are copied, a diffuse
// colour the source lacks becomes opaque white, anything else it lacks becomes zero.
void ConvertVertex(const FvfLayout &from, const BYTE *src, const FvfLayout &to, BYTE *dst);

// Adjacency (three entries per face, 0xFFFFFFFF for an open edge) of triangles whose corners
// are compared through their point representatives: two faces are neighbours across an edge
// whose two ends they share.
void AdjacencyFromPointReps(const DWORD *indices, DWORD numFaces, const DWORD *pointReps, DWORD *adjacency);
// The reverse: vertices at the two ends of an edge that neighbouring faces share are one
// point, represented by the lowest of their indices.  False when an entry names no face.
bool PointRepsFromAdjacency(const DWORD *indices, DWORD numFaces, DWORD numVertices, const DWORD *adjacency,
                            DWORD *pointReps);

// Face and vertex orders (mesh_optimize.cpp).  `faces` is the group of faces to reorder;
// the result holds the same faces in drawing order.  CacheOrder favours a post-transform
// vertex cache of `cacheSize` entries; StripOrder makes consecutive faces share an edge as
// often as the adjacency allows.  FirstUseOrder lists the vertices the faces use, in the
// order they are first used.  IndicesInRange checks every index against the vertex count
// (one line naming `caller` when one is not).
inline constexpr UINT kVertexCacheSize = 16;
std::vector<DWORD> CacheOrder(const DWORD *indices, const std::vector<DWORD> &faces, DWORD numVertices,
                              UINT cacheSize);
std::vector<DWORD> StripOrder(const DWORD *adjacency, const std::vector<DWORD> &faces, DWORD numFaces);
std::vector<DWORD> FirstUseOrder(const DWORD *indices, DWORD numFaces, DWORD numVertices);
bool IndicesInRange(const char *caller, const DWORD *indices, DWORD numFaces, DWORD numVertices);
// The mesh's indices widened to 32 bits, three a face (not checked); the lock's error when
// the index buffer cannot be read.
HRESULT ReadMeshIndices(ID3DXBaseMesh *mesh, std::vector<DWORD> &out);

// One Mesh data object as read from a file, before it becomes an ID3DXMesh: vertices already
// split so that every corner's normal is its vertex's, triangles already made from fans.
struct MeshBone {
    std::string name;
    D3DXMATRIX offset;
    std::vector<DWORD> vertices;  // indices into MeshData's vertices
    std::vector<float> weights;
};

struct MeshMaterial {
    D3DMATERIAL9 material;
    std::string textureFile;
    bool hasTexture = false;  // a TextureFilename was given (its name may be empty)
};

struct MeshData {
    std::string name;
    DWORD fvf = D3DFVF_XYZ;
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;     // one per vertex when fvf has D3DFVF_NORMAL
    std::vector<D3DCOLOR> colors;         // when fvf has D3DFVF_DIFFUSE
    // The point size, specular colour and texture coordinate sets: extraFvf names them (its
    // bits are fvf's own) and extra holds each vertex's in LayoutOfFvf(extraFvf).
    DWORD extraFvf = 0;
    std::vector<BYTE> extra;
    std::vector<DWORD> pointReps;         // the file's vertex for each vertex
    std::vector<DWORD> indices;           // three per triangle
    std::vector<DWORD> attributes;        // one per triangle
    std::vector<MeshMaterial> materials;  // empty when the mesh has no material list
    std::vector<MeshBone> bones;
    bool hasSkin = false;                 // a skin header or weights were present
};

// Reads a Mesh data object (its children included).  Failures write one diagnostic line
// (naming `file` when given) and return D3DXERR_INVALIDDATA, D3DXERR_LOADEDMESHASNODATA
// for a mesh without faces, or the reader's code.
HRESULT ReadMeshObject(IDirectXFileData *object, MeshData *out, const std::string &file = "");

// What a load hands out: the mesh and, where the caller asked for them, the adjacency
// buffer, the materials buffer (D3DXMATERIAL array followed by its strings; none for a mesh
// without materials) and the effect-instance buffer.
struct LoadedMesh {
    ID3DXMesh *mesh = nullptr;
    ID3DXBuffer *adjacency = nullptr, *materials = nullptr, *effects = nullptr;
    DWORD materialCount = 0;

    // Gives each object to its out-parameter (those not asked for are null already).
    void HandOut(ID3DXBuffer **adjacencyOut, ID3DXBuffer **materialsOut, ID3DXBuffer **effectsOut,
                 DWORD *materialCountOut, ID3DXMesh **meshOut);
    void Release();
};

// Builds the mesh from what ReadMeshObject produced, with the buffers asked for: all of them,
// or none and the failure's code.
HRESULT BuildLoadedMesh(const MeshData &data, DWORD options, IDirect3DDevice9 *device, bool adjacency,
                        bool materials, bool effects, LoadedMesh *out);

// The skin information of a mesh built from `data`: its bones, named and weighted as read.
HRESULT CreateSkinInfoFromData(const MeshData &data, ID3DXMesh *mesh, ID3DXSkinInfo **out);

// Whether a file object's template is `type`.
bool IsType(IDirectXFileData *object, const GUID &type);
// The data children of an object, references resolved, each holding one reference.  A
// reference that resolves to nothing (the reader has said so) is left out and, when asked
// for, sets *unresolved.
std::vector<IDirectXFileData *> ChildrenOf(IDirectXFileData *object, bool *unresolved = nullptr);

// How often the mesh's vertices or indices may have been written: data derived from its
// geometry is rebuilt when this changes.
uint64_t WriteGeneration(ID3DXBaseMesh *mesh);
// Drops the ray hierarchy built for a mesh (the mesh is going away).
void ForgetRayHierarchy(const ID3DXBaseMesh *mesh);

}  // namespace tavrok::d3dx9mesh

#endif
