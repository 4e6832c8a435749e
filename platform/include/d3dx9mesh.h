/*
 * d3dx9mesh.h - D3DX meshes, skin information and mesh loading from .x files.
 *
 * ID3DXMesh keeps its vertices and indices in the device's vertex and index buffers and its
 * per-face attribute ids in memory; DrawSubset draws one attribute's faces through the
 * device with the mesh's FVF.  ID3DXSkinInfo holds bones (name, offset matrix, weighted
 * vertices), skins positions and normals in software and converts a mesh into one for the
 * device's vertex blending (weights, or weights and palette indices, with a bone
 * combination table).  The loaders read Mesh data objects of DirectX files (dxfile.h).
 * Implemented in platform/d3dx9 (mesh.cpp, skin_info.cpp, skin_convert.cpp,
 * mesh_load_xof.cpp, mesh_load_file.cpp, fvf.cpp).  Progressive and patch meshes and effect
 * instances are declared for completeness and not implemented (they report themselves
 * unsupported and fail).
 */
#ifndef TAVROK_D3DX9MESH_H
#define TAVROK_D3DX9MESH_H

#include <d3dx9.h>
#include <dxfile.h>

/* Mesh creation options */
enum _D3DXMESH {
    D3DXMESH_32BIT = 0x001,
    D3DXMESH_DONOTCLIP = 0x002,
    D3DXMESH_POINTS = 0x004,
    D3DXMESH_RTPATCHES = 0x008,
    D3DXMESH_NPATCHES = 0x4000,
    D3DXMESH_VB_SYSTEMMEM = 0x010,
    D3DXMESH_VB_MANAGED = 0x020,
    D3DXMESH_VB_WRITEONLY = 0x040,
    D3DXMESH_VB_DYNAMIC = 0x080,
    D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000,
    D3DXMESH_IB_SYSTEMMEM = 0x100,
    D3DXMESH_IB_MANAGED = 0x200,
    D3DXMESH_IB_WRITEONLY = 0x400,
    D3DXMESH_IB_DYNAMIC = 0x800,
    D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000,
    D3DXMESH_VB_SHARE = 0x1000,
    D3DXMESH_USEHWONLY = 0x2000,
    D3DXMESH_SYSTEMMEM = 0x110,
    D3DXMESH_MANAGED = 0x220,
    D3DXMESH_WRITEONLY = 0x440,
    D3DXMESH_DYNAMIC = 0x880,
    D3DXMESH_SOFTWAREPROCESSING = 0x18000,
};

/* Optimisation flags */
enum _D3DXMESHOPT {
    D3DXMESHOPT_COMPACT = 0x01000000,
    D3DXMESHOPT_ATTRSORT = 0x02000000,
    D3DXMESHOPT_VERTEXCACHE = 0x04000000,
    D3DXMESHOPT_STRIPREORDER = 0x08000000,
    D3DXMESHOPT_IGNOREVERTS = 0x10000000,
    D3DXMESHOPT_DONOTSPLIT = 0x20000000,
    D3DXMESHOPT_DEVICEINDEPENDENT = 0x00400000,
};

/* Welding options */
enum _D3DXWELDEPSILONSFLAGS {
    D3DXWELDEPSILONS_WELDALL = 0x1,
    D3DXWELDEPSILONS_WELDPARTIALMATCHES = 0x2,
    D3DXWELDEPSILONS_DONOTREMOVEVERTICES = 0x4,
    D3DXWELDEPSILONS_DONOTSPLIT = 0x8,
};

/* File formats for D3DXSaveMeshToX */
#ifndef D3DXF_FILEFORMAT_BINARY
#define D3DXF_FILEFORMAT_BINARY 0
#define D3DXF_FILEFORMAT_TEXT 1
#define D3DXF_FILEFORMAT_COMPRESSED 2
#endif

/* Tangent frame options */
enum _D3DXTANGENT {
    D3DXTANGENT_WRAP_U = 0x01,
    D3DXTANGENT_WRAP_V = 0x02,
    D3DXTANGENT_WRAP_UV = 0x03,
    D3DXTANGENT_DONT_NORMALIZE_PARTIALS = 0x04,
    D3DXTANGENT_DONT_ORTHOGONALIZE = 0x08,
    D3DXTANGENT_ORTHOGONALIZE_FROM_V = 0x010,
    D3DXTANGENT_ORTHOGONALIZE_FROM_U = 0x020,
    D3DXTANGENT_WEIGHT_BY_AREA = 0x040,
    D3DXTANGENT_WEIGHT_EQUAL = 0x080,
    D3DXTANGENT_WIND_CW = 0x0100,
    D3DXTANGENT_CALCULATE_NORMALS = 0x0200,
    D3DXTANGENT_GENERATE_IN_PLACE = 0x0400,
};

/* What D3DXCleanMesh repairs */
typedef enum _D3DXCLEANTYPE {
    D3DXCLEAN_BACKFACING = 0x1,
    D3DXCLEAN_BOWTIES = 0x2,
    D3DXCLEAN_SKINNING = D3DXCLEAN_BACKFACING,
    D3DXCLEAN_OPTIMIZATION = D3DXCLEAN_BACKFACING,
    D3DXCLEAN_SIMPLIFICATION = D3DXCLEAN_BACKFACING | D3DXCLEAN_BOWTIES,
} D3DXCLEANTYPE;

/* How far apart each component of two vertices may be for D3DXWeldVertices to merge them.
   X11's Xutil.h defines PSize as a macro; it is set aside while the member is declared. */
#pragma push_macro("PSize")
#undef PSize
typedef struct _D3DXWELDEPSILONS {
    FLOAT Position;
    FLOAT BlendWeights;
    FLOAT Normal;
    FLOAT PSize;
    FLOAT Specular;
    FLOAT Diffuse;
    FLOAT Texcoord[8];
    FLOAT Tangent;
    FLOAT Binormal;
    FLOAT TessFactor;
} D3DXWELDEPSILONS, *LPD3DXWELDEPSILONS;
#pragma pop_macro("PSize")

typedef enum _D3DXMESHDATATYPE {
    D3DXMESHTYPE_MESH = 0x001,
    D3DXMESHTYPE_PMESH = 0x002,
    D3DXMESHTYPE_PATCHMESH = 0x003,
    D3DXMESHTYPE_FORCE_DWORD = 0x7fffffff,
} D3DXMESHDATATYPE;

typedef D3DXMATRIX *LPD3DXMATRIX;

#define MAX_FVF_DECL_SIZE (MAXD3DDECLLENGTH + 1)

interface ID3DXBaseMesh;
interface ID3DXMesh;
interface ID3DXPMesh;
interface ID3DXPatchMesh;
interface ID3DXSkinInfo;
typedef interface ID3DXBaseMesh *LPD3DXBASEMESH;
typedef interface ID3DXMesh *LPD3DXMESH;
typedef interface ID3DXPMesh *LPD3DXPMESH;
typedef interface ID3DXPatchMesh *LPD3DXPATCHMESH;
typedef interface ID3DXSkinInfo *LPD3DXSKININFO;

DEFINE_GUID(IID_ID3DXBaseMesh, 0x7ed943dd, 0x52e8, 0x40b5, 0xa8, 0xd8, 0x76, 0x68, 0x5c, 0x40, 0x63, 0x30);
DEFINE_GUID(IID_ID3DXMesh, 0x4020e5c2, 0x1403, 0x4929, 0x88, 0x3f, 0xe2, 0xe8, 0x49, 0xfa, 0xc1, 0x95);
DEFINE_GUID(IID_ID3DXSkinInfo, 0x11eaa540, 0xf9a6, 0x4d49, 0xae, 0x6a, 0xe1, 0x92, 0x21, 0xf7, 0x0c, 0xc4);

/* One run of faces that share an attribute id, after an attribute sort. */
typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE, *LPD3DXATTRIBUTERANGE;

/* A material as loaded from a file: the device material and the texture file it names
   (null for none); the strings live in the same buffer as the array. */
typedef struct _D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
} D3DXMATERIAL, *LPD3DXMATERIAL;

typedef enum _D3DXEFFECTDEFAULTTYPE {
    D3DXEDT_STRING = 0x1,
    D3DXEDT_FLOATS = 0x2,
    D3DXEDT_DWORD = 0x3,
    D3DXEDT_FORCEDWORD = 0x7fffffff,
} D3DXEFFECTDEFAULTTYPE;

typedef struct _D3DXEFFECTDEFAULT {
    LPSTR pParamName;
    D3DXEFFECTDEFAULTTYPE Type;
    DWORD NumBytes;
    LPVOID pValue;
} D3DXEFFECTDEFAULT, *LPD3DXEFFECTDEFAULT;

typedef struct _D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    LPD3DXEFFECTDEFAULT pDefaults;
} D3DXEFFECTINSTANCE, *LPD3DXEFFECTINSTANCE;

typedef struct _D3DXMESHDATA {
    D3DXMESHDATATYPE Type;
    union {
        LPD3DXMESH pMesh;
        LPD3DXPMESH pPMesh;
        LPD3DXPATCHMESH pPatchMesh;
    };
} D3DXMESHDATA, *LPD3DXMESHDATA;

typedef struct _D3DXBONECOMBINATION {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
    DWORD *BoneId;
} D3DXBONECOMBINATION, *LPD3DXBONECOMBINATION;

/* ID3DXBaseMesh: what every mesh kind shares. */
interface ID3DXBaseMesh : public IUnknown {
    STDMETHOD(DrawSubset)(DWORD AttribId) PURE;
    STDMETHOD_(DWORD, GetNumFaces)() PURE;
    STDMETHOD_(DWORD, GetNumVertices)() PURE;
    STDMETHOD_(DWORD, GetFVF)() PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
    STDMETHOD_(DWORD, GetNumBytesPerVertex)() PURE;
    STDMETHOD_(DWORD, GetOptions)() PURE;
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9 *ppDevice) PURE;
    STDMETHOD(CloneMeshFVF)(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppCloneMesh) PURE;
    STDMETHOD(CloneMesh)(DWORD Options, CONST D3DVERTEXELEMENT9 *pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                         LPD3DXMESH *ppCloneMesh) PURE;
    STDMETHOD(GetVertexBuffer)(LPDIRECT3DVERTEXBUFFER9 *ppVB) PURE;
    STDMETHOD(GetIndexBuffer)(LPDIRECT3DINDEXBUFFER9 *ppIB) PURE;
    STDMETHOD(LockVertexBuffer)(DWORD Flags, LPVOID *ppData) PURE;
    STDMETHOD(UnlockVertexBuffer)() PURE;
    STDMETHOD(LockIndexBuffer)(DWORD Flags, LPVOID *ppData) PURE;
    STDMETHOD(UnlockIndexBuffer)() PURE;
    STDMETHOD(GetAttributeTable)(D3DXATTRIBUTERANGE *pAttribTable, DWORD *pAttribTableSize) PURE;
    STDMETHOD(ConvertPointRepsToAdjacency)(CONST DWORD *pPRep, DWORD *pAdjacency) PURE;
    STDMETHOD(ConvertAdjacencyToPointReps)(CONST DWORD *pAdjacency, DWORD *pPRep) PURE;
    STDMETHOD(GenerateAdjacency)(FLOAT Epsilon, DWORD *pAdjacency) PURE;
    STDMETHOD(UpdateSemantics)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
};

/* ID3DXMesh: a triangle-list mesh with a per-face attribute buffer. */
interface ID3DXMesh : public ID3DXBaseMesh {
    STDMETHOD(LockAttributeBuffer)(DWORD Flags, DWORD **ppData) PURE;
    STDMETHOD(UnlockAttributeBuffer)() PURE;
    STDMETHOD(Optimize)(DWORD Flags, CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                        LPD3DXBUFFER *ppVertexRemap, LPD3DXMESH *ppOptMesh) PURE;
    STDMETHOD(OptimizeInplace)(DWORD Flags, CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                               LPD3DXBUFFER *ppVertexRemap) PURE;
    STDMETHOD(SetAttributeTable)(CONST D3DXATTRIBUTERANGE *pAttribTable, DWORD cAttribTableSize) PURE;
};

/* ID3DXSkinInfo: bones with names, offset matrices and weighted vertices. */
interface ID3DXSkinInfo : public IUnknown {
    STDMETHOD(SetBoneInfluence)(DWORD bone, DWORD numInfluences, CONST DWORD *vertices, CONST FLOAT *weights) PURE;
    STDMETHOD(SetBoneVertexInfluence)(DWORD boneNum, DWORD influenceNum, float weight) PURE;
    STDMETHOD_(DWORD, GetNumBoneInfluences)(DWORD bone) PURE;
    STDMETHOD(GetBoneInfluence)(DWORD bone, DWORD *vertices, FLOAT *weights) PURE;
    STDMETHOD(GetBoneVertexInfluence)(DWORD boneNum, DWORD influenceNum, float *pWeight, DWORD *pVertexNum) PURE;
    STDMETHOD(GetMaxVertexInfluences)(DWORD *maxVertexInfluences) PURE;
    STDMETHOD_(DWORD, GetNumBones)() PURE;
    STDMETHOD(FindBoneVertexInfluenceIndex)(DWORD boneNum, DWORD vertexNum, DWORD *pInfluenceIndex) PURE;
    STDMETHOD(GetMaxFaceInfluences)(LPDIRECT3DINDEXBUFFER9 pIB, DWORD NumFaces, DWORD *maxFaceInfluences) PURE;
    STDMETHOD(SetMinBoneInfluence)(FLOAT MinInfl) PURE;
    STDMETHOD_(FLOAT, GetMinBoneInfluence)() PURE;
    STDMETHOD(SetBoneName)(DWORD Bone, LPCSTR pName) PURE;
    STDMETHOD_(LPCSTR, GetBoneName)(DWORD Bone) PURE;
    STDMETHOD(SetBoneOffsetMatrix)(DWORD Bone, CONST D3DXMATRIX *pBoneTransform) PURE;
    STDMETHOD_(LPD3DXMATRIX, GetBoneOffsetMatrix)(DWORD Bone) PURE;
    STDMETHOD(Clone)(LPD3DXSKININFO *ppSkinInfo) PURE;
    STDMETHOD(Remap)(DWORD NumVertices, DWORD *pVertexRemap) PURE;
    STDMETHOD(SetFVF)(DWORD FVF) PURE;
    STDMETHOD(SetDeclaration)(CONST D3DVERTEXELEMENT9 *pDeclaration) PURE;
    STDMETHOD_(DWORD, GetFVF)() PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
    STDMETHOD(UpdateSkinnedMesh)(CONST D3DXMATRIX *pBoneTransforms, CONST D3DXMATRIX *pBoneInvTransposeTransforms,
                                 LPCVOID pVerticesSrc, PVOID pVerticesDst) PURE;
    STDMETHOD(ConvertToBlendedMesh)(LPD3DXMESH pMesh, DWORD Options, CONST DWORD *pAdjacencyIn,
                                    LPDWORD pAdjacencyOut, DWORD *pFaceRemap, LPD3DXBUFFER *ppVertexRemap,
                                    DWORD *pMaxFaceInfl, DWORD *pNumBoneCombinations,
                                    LPD3DXBUFFER *ppBoneCombinationTable, LPD3DXMESH *ppMesh) PURE;
    STDMETHOD(ConvertToIndexedBlendedMesh)(LPD3DXMESH pMesh, DWORD Options, DWORD paletteSize,
                                           CONST DWORD *pAdjacencyIn, LPDWORD pAdjacencyOut, DWORD *pFaceRemap,
                                           LPD3DXBUFFER *ppVertexRemap, DWORD *pMaxVertexInfl,
                                           DWORD *pNumBoneCombinations, LPD3DXBUFFER *ppBoneCombinationTable,
                                           LPD3DXMESH *ppMesh) PURE;
};

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, CONST D3DVERTEXELEMENT9 *pDeclaration,
                              LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppMesh);
HRESULT WINAPI D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                                 LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH *ppMesh);

HRESULT WINAPI D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO *ppSkinInfo);
HRESULT WINAPI D3DXCreateSkinInfo(DWORD NumVertices, CONST D3DVERTEXELEMENT9 *pDeclaration, DWORD NumBones,
                                  LPD3DXSKININFO *ppSkinInfo);

/* Loads one Mesh data object with its normals, texture coordinates, vertex colours,
   materials and skin weights. */
HRESULT WINAPI D3DXLoadSkinMeshFromXof(LPDIRECTXFILEDATA pxofobjMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                       LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                       LPD3DXBUFFER *ppEffectInstances, DWORD *pMatOut,
                                       LPD3DXSKININFO *ppSkinInfo, LPD3DXMESH *ppMesh);
HRESULT WINAPI D3DXLoadMeshFromXof(LPDIRECTXFILEDATA pxofobjMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                   LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                   LPD3DXBUFFER *ppEffectInstances, DWORD *pNumMaterials, LPD3DXMESH *ppMesh);
/* Loads every mesh of a file merged into one, each placed by its frames' matrices. */
HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                  LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                  LPD3DXBUFFER *ppEffectInstances, DWORD *pNumMaterials, LPD3DXMESH *ppMesh);
#define D3DXLoadMeshFromX D3DXLoadMeshFromXA
HRESULT WINAPI D3DXSaveMeshToX(LPCSTR pFilename, LPD3DXMESH pMesh, CONST DWORD *pAdjacency,
                               CONST D3DXMATERIAL *pMaterials, CONST D3DXEFFECTINSTANCE *pEffectInstances,
                               DWORD NumMaterials, DWORD Format);
HRESULT WINAPI D3DXLoadMeshFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD Options,
                                         LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXBUFFER *ppAdjacency,
                                         LPD3DXBUFFER *ppMaterials, LPD3DXBUFFER *ppEffectInstances,
                                         DWORD *pNumMaterials, LPD3DXMESH *ppMesh);

UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF);
HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE]);
HRESULT WINAPI D3DXFVFFromDeclarator(CONST D3DVERTEXELEMENT9 *pDeclarator, DWORD *pFVF);
UINT WINAPI D3DXGetDeclLength(CONST D3DVERTEXELEMENT9 *pDecl);
UINT WINAPI D3DXGetDeclVertexSize(CONST D3DVERTEXELEMENT9 *pDecl, DWORD Stream);
/* Unit vertex normals from the faces, angle-weighted; with adjacency, replicated vertices
   share one normal. */
HRESULT WINAPI D3DXComputeNormals(LPD3DXBASEMESH pMesh, CONST DWORD *pAdjacency);
/* D3D_OK or D3DXERR_INVALIDMESH; the buffer (when there is anything to say) holds one line
   per error or warning, null-terminated. */
HRESULT WINAPI D3DXValidMesh(LPD3DXMESH pMeshIn, CONST DWORD *pAdjacency, LPD3DXBUFFER *ppErrorsAndWarnings);
HRESULT WINAPI D3DXCleanMesh(D3DXCLEANTYPE CleanType, LPD3DXMESH pMeshIn, CONST DWORD *pAdjacencyIn,
                             LPD3DXMESH *ppMeshOut, DWORD *pAdjacencyOut, LPD3DXBUFFER *ppErrorsAndWarnings);
/* dP/du, dP/dv and the normal into the declaration's elements of the given usages
   (D3DX_DEFAULT: not written); vertices are not split. */
HRESULT WINAPI D3DXComputeTangentFrameEx(ID3DXMesh *pMesh, DWORD dwTextureInSemantic, DWORD dwTextureInIndex,
                                         DWORD dwUPartialOutSemantic, DWORD dwUPartialOutIndex,
                                         DWORD dwVPartialOutSemantic, DWORD dwVPartialOutIndex,
                                         DWORD dwNormalOutSemantic, DWORD dwNormalOutIndex, DWORD dwOptions,
                                         CONST DWORD *pdwAdjacency, FLOAT fPartialEdgeThreshold,
                                         FLOAT fSingularPointThreshold, FLOAT fNormalEdgeThreshold,
                                         ID3DXMesh **ppMeshOut, ID3DXBuffer **ppVertexMapping);
HRESULT WINAPI D3DXComputeTangent(LPD3DXMESH Mesh, DWORD TexStageIndex, DWORD TangentIndex, DWORD BinormIndex,
                                  DWORD Wrap, CONST DWORD *pAdjacency);
HRESULT WINAPI D3DXConcatenateMeshes(LPD3DXMESH *ppMeshes, UINT NumMeshes, DWORD Options,
                                     CONST D3DXMATRIX *pGeomXForms, CONST D3DXMATRIX *pTextureXForms,
                                     CONST D3DVERTEXELEMENT9 *pDecl, LPDIRECT3DDEVICE9 pD3DDevice,
                                     LPD3DXMESH *ppMeshOut);
HRESULT WINAPI D3DXWeldVertices(LPD3DXMESH pMesh, DWORD Flags, CONST D3DXWELDEPSILONS *pEpsilons,
                                CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                                LPD3DXBUFFER *ppVertexRemap);
/* Drawing orders for a triangle list: pFaceRemap[new] and pVertexRemap[new] are the old
   face and vertex that move to place `new`. */
HRESULT WINAPI D3DXOptimizeFaces(LPCVOID pIndices, UINT NumFaces, UINT NumVertices, BOOL Indices32Bit,
                                 DWORD *pFaceRemap);
HRESULT WINAPI D3DXOptimizeVertices(LPCVOID pIndices, UINT NumFaces, UINT NumVertices, BOOL Indices32Bit,
                                    DWORD *pVertexRemap);
HRESULT WINAPI D3DXComputeBoundingBox(CONST D3DXVECTOR3 *pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3 *pMin, D3DXVECTOR3 *pMax);
HRESULT WINAPI D3DXComputeBoundingSphere(CONST D3DXVECTOR3 *pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                         D3DXVECTOR3 *pCenter, FLOAT *pRadius);

/* Nearest hit of a ray with a mesh's triangles (the distance is the ray parameter). */
typedef struct _D3DXINTERSECTINFO {
    DWORD FaceIndex;
    FLOAT U;
    FLOAT V;
    FLOAT Dist;
} D3DXINTERSECTINFO, *LPD3DXINTERSECTINFO;

HRESULT WINAPI D3DXIntersect(LPD3DXBASEMESH pMesh, CONST D3DXVECTOR3 *pRayPos, CONST D3DXVECTOR3 *pRayDir,
                             BOOL *pHit, DWORD *pFaceIndex, FLOAT *pU, FLOAT *pV, FLOAT *pDist,
                             LPD3DXBUFFER *ppAllHits, DWORD *pCountOfHits);
/* The same for the faces of one attribute (subset); face indices are the mesh's. */
HRESULT WINAPI D3DXIntersectSubset(LPD3DXBASEMESH pMesh, DWORD AttribId, CONST D3DXVECTOR3 *pRayPos,
                                   CONST D3DXVECTOR3 *pRayDir, BOOL *pHit, DWORD *pFaceIndex, FLOAT *pU, FLOAT *pV,
                                   FLOAT *pDist, LPD3DXBUFFER *ppAllHits, DWORD *pCountOfHits);
/* A ray and one triangle, both sides: the hit is p0 + U (p1 - p0) + V (p2 - p0), at the ray
   parameter Dist. */
BOOL WINAPI D3DXIntersectTri(CONST D3DXVECTOR3 *p0, CONST D3DXVECTOR3 *p1, CONST D3DXVECTOR3 *p2,
                             CONST D3DXVECTOR3 *pRayPos, CONST D3DXVECTOR3 *pRayDir, FLOAT *pU, FLOAT *pV,
                             FLOAT *pDist);
/* Whether a ray meets a solid box or sphere (a ray starting inside does). */
BOOL WINAPI D3DXBoxBoundProbe(CONST D3DXVECTOR3 *pMin, CONST D3DXVECTOR3 *pMax, CONST D3DXVECTOR3 *pRayPosition,
                              CONST D3DXVECTOR3 *pRayDirection);
BOOL WINAPI D3DXSphereBoundProbe(CONST D3DXVECTOR3 *pCenter, FLOAT Radius, CONST D3DXVECTOR3 *pRayPosition,
                                 CONST D3DXVECTOR3 *pRayDirection);

#ifdef __cplusplus
}
#endif

/* Frame hierarchies of meshes (they need the mesh types above). */
#include <d3dx9anim.h>

#endif
