/*
 * skin_convert.h - meshes for the device's vertex blending, made from a skin's influences.
 *
 * ID3DXSkinInfo hands its per-vertex influences (the same runs UpdateSkinnedMesh reads) and
 * the out-parameters of ConvertToBlendedMesh or ConvertToIndexedBlendedMesh to
 * ConvertToBlended, which writes the blended mesh, its bone combinations and the remaps.
 * Private to platform/d3dx9.
 */
#ifndef TAVROK_D3DX9_SKIN_CONVERT_H
#define TAVROK_D3DX9_SKIN_CONVERT_H

#include "skin_kernels.h"

namespace tavrok::d3dx9mesh {

// Vertex v's influences are influences[start[v] .. start[v + 1]), bones ascending, the
// weights below the skin's minimum already left out.
struct SkinInfluences {
    DWORD numVertices;
    DWORD numBones;
    const DWORD *start;
    const SkinInfluence *influences;
};

// One conversion's arguments: `indexed` with a palette of `paletteSize` bones, or weights
// over at most four bones per face.  Every out-parameter may be null except `mesh`.
struct BlendConversion {
    const char *caller;
    bool indexed;
    DWORD paletteSize;
    DWORD options;
    const DWORD *adjacencyIn;
    DWORD *adjacencyOut;
    DWORD *faceRemap;
    ID3DXBuffer **vertexRemap;
    DWORD *maxInfluences;  // per face (weights) or per vertex (indexed)
    DWORD *numCombinations;
    ID3DXBuffer **combinations;
    ID3DXMesh **mesh;
};

HRESULT ConvertToBlended(const SkinInfluences &skin, ID3DXMesh *source, const BlendConversion &c);

// The most bones that the three corners of any of the first `numFaces` triangles of the
// index buffer name together.
HRESULT MaxFaceInfluences(const SkinInfluences &skin, IDirect3DIndexBuffer9 *indices, DWORD numFaces, DWORD *out);

}  // namespace tavrok::d3dx9mesh

#endif
