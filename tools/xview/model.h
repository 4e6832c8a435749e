/*
 * model.h - xview's model: the frame hierarchy D3DXLoadMeshHierarchyFromX builds through
 * xview's ID3DXAllocateHierarchy, its skinned mesh containers bound to their bones' frames,
 * and the animation controller that drives the frames (model.cpp).  The window, the input
 * and the drawing are in main.cpp.
 */
#ifndef XVIEW_MODEL_H
#define XVIEW_MODEL_H

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <d3dx9anim.h>

#include <string>
#include <vector>

// One line on stderr about `file`: "xview: FILE: REASON".
void Say(const std::string &file, const std::string &reason);

// A frame with what the viewer adds: the matrix the file gives it (what the frame goes back
// to when no animation drives it) and its matrix in world space for the current pose.
struct SFrame : D3DXFRAME {
    D3DXMATRIX rest;
    D3DXMATRIX combined;
};

// A mesh container with what drawing it needs.  pMaterials holds NumMaterials materials
// (at least one: a mesh without a material list is drawn in mid-grey) and textures one
// texture or null per material.  A skinned mesh (pSkinInfo with bones) is drawn through
// `skinned`, a copy UpdateSkinnedMesh fills each pose, or with --blend through `blended`
// and its bone combinations; boneFrames holds each bone's frame (null for a bone naming no
// frame) and boneMatrices each bone's offset times its frame's combined matrix.
struct SMeshContainer : D3DXMESHCONTAINER {
    std::vector<IDirect3DTexture9 *> textures;
    ID3DXMesh *skinned = nullptr;
    std::vector<SFrame *> boneFrames;
    std::vector<D3DXMATRIX> boneMatrices;
    ID3DXMesh *blended = nullptr;
    ID3DXBuffer *combinations = nullptr;
    DWORD numCombinations = 0, vertexInfluences = 0, paletteSize = 0;

    bool IsSkinned() const { return skinned != nullptr || blended != nullptr; }
};

// xview's allocator: frames and mesh containers of the types above.  Texture names are
// looked for beside the model file, each component in any case.
class CAllocateHierarchy : public ID3DXAllocateHierarchy {
public:
    // `file` is the model's (or the clips') file: its folder holds the textures.  A file
    // read for its animation sets alone gets no textures.
    CAllocateHierarchy(IDirect3DDevice9 *device, std::string file, bool textures = true);
    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME *ppNewFrame) override;
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, CONST D3DXMESHDATA *pMeshData, CONST D3DXMATERIAL *pMaterials,
                                   CONST D3DXEFFECTINSTANCE *pEffectInstances, DWORD NumMaterials,
                                   CONST DWORD *pAdjacency, LPD3DXSKININFO pSkinInfo,
                                   LPD3DXMESHCONTAINER *ppNewMeshContainer) override;
    STDMETHOD(DestroyFrame)(LPD3DXFRAME pFrameToFree) override;
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER pMeshContainerToFree) override;

private:
    IDirect3DTexture9 *LoadTexture(const char *name);

    IDirect3DDevice9 *device_;
    std::string file_, folder_;
    bool textures_;
};

class CModel {
public:
    CModel(IDirect3DDevice9 *device, std::string file);
    ~CModel();
    CModel(const CModel &) = delete;
    CModel &operator=(const CModel &) = delete;

    // Loads the file, binds the bones and, with `blend`, converts the skinned meshes for
    // the device's indexed blending.  False (the loader or xview has said why) when the
    // file gives nothing to draw.
    bool Load(bool blend);
    // Registers the animation sets of a file of clips on the model's controller.
    void AddClips(const std::string &clipsFile);

    // The animation sets: how many, the one at an index, the index of a named one
    // (NumSets() when there is none).
    UINT NumSets() const;
    UINT FindSet(const std::string &name) const;
    // Plays set `index` on track 0 from position `seconds` and poses the model there.
    void PlaySet(UINT index, double seconds);
    // Moves the animation on by `seconds` and poses the model.
    void Advance(double seconds);
    // The name and period of the set playing and the track's position, for the overlay.
    std::string SetName() const;
    double SetPeriod() const;
    double Position() const;
    UINT SetIndex() const { return set_; }

    SFrame *Root() const { return root_; }
    // The centre and radius of the rest pose's bounding box.
    void Bounds(D3DXVECTOR3 *center, float *radius) const;

private:
    void BindBones(SFrame *frame, bool blend);
    bool ConvertForBlending(SMeshContainer *mc);
    void Pose();
    ID3DXAnimationSet *Set(UINT index) const;

    IDirect3DDevice9 *device_;
    std::string file_;
    CAllocateHierarchy alloc_;
    SFrame *root_ = nullptr;
    ID3DXAnimationController *controller_ = nullptr;
    UINT set_ = 0;
};

#endif
