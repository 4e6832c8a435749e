/*
 * d3dx9anim.h - D3DX frame hierarchies and their animation.
 *
 * D3DXLoadMeshHierarchyFromX reads a file's frames into D3DXFRAME records and its meshes
 * into D3DXMESHCONTAINER records, both made by the caller's ID3DXAllocateHierarchy, and
 * D3DXFrameDestroy hands them back to it; its AnimationSet objects become keyframed
 * animation sets registered on an animation controller that drives the frames' matrices
 * (platform/d3dx9/mesh_hierarchy.cpp).  ID3DXKeyframedAnimationSet holds scale, rotation
 * and translation keys per animated output and callback keys
 * (platform/d3dx9/keyframed_animation_set.cpp); ID3DXAnimationController blends the sets
 * on its tracks into the registered outputs and runs the track events
 * (platform/d3dx9/animation_controller.cpp).  Compressed animation sets are not provided
 * (ID3DXKeyframedAnimationSet::Compress says so), and user data loaders are accepted and
 * not called.
 */
#ifndef TAVROK_D3DX9ANIM_H
#define TAVROK_D3DX9ANIM_H

#include <d3dx9.h>

/* Times and positions of animation are double precision, as the SDK's DOUBLE. */
typedef double DOUBLE;

/* One mesh of a frame: the mesh, its materials, effect instances, adjacency (three DWORDs
   a face) and skin, as the allocator chose to keep them; further meshes of the same frame
   follow through pNextMeshContainer. */
typedef struct _D3DXMESHCONTAINER {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    LPD3DXMATERIAL pMaterials;
    LPD3DXEFFECTINSTANCE pEffects;
    DWORD NumMaterials;
    DWORD *pAdjacency;
    LPD3DXSKININFO pSkinInfo;
    struct _D3DXMESHCONTAINER *pNextMeshContainer;
} D3DXMESHCONTAINER, *LPD3DXMESHCONTAINER;

/* One frame: its name, its matrix relative to its parent, its meshes, its next sibling and
   its first child. */
typedef struct _D3DXFRAME {
    LPSTR Name;
    D3DXMATRIX TransformationMatrix;
    LPD3DXMESHCONTAINER pMeshContainer;
    struct _D3DXFRAME *pFrameSibling;
    struct _D3DXFRAME *pFrameFirstChild;
} D3DXFRAME, *LPD3DXFRAME;

interface ID3DXAllocateHierarchy;
interface ID3DXLoadUserData;
interface ID3DXFileData;
interface ID3DXAnimationSet;
interface ID3DXKeyframedAnimationSet;
interface ID3DXAnimationCallbackHandler;
interface ID3DXAnimationController;
typedef interface ID3DXAllocateHierarchy *LPD3DXALLOCATEHIERARCHY;
typedef interface ID3DXLoadUserData *LPD3DXLOADUSERDATA;
typedef interface ID3DXFileData *LPD3DXFILEDATA;
typedef interface ID3DXAnimationSet *LPD3DXANIMATIONSET;
typedef interface ID3DXKeyframedAnimationSet *LPD3DXKEYFRAMEDANIMATIONSET;
typedef interface ID3DXAnimationCallbackHandler *LPD3DXANIMATIONCALLBACKHANDLER;
typedef interface ID3DXAnimationController *LPD3DXANIMATIONCONTROLLER;

DEFINE_GUID(IID_ID3DXAnimationSet, 0x698cfb3f, 0x9289, 0x4d95, 0x9a, 0x57, 0x33, 0xa9, 0x4b, 0x5a, 0x65, 0xf9);
DEFINE_GUID(IID_ID3DXKeyframedAnimationSet, 0xfa4e8e3a, 0x9786, 0x407d, 0x8b, 0x4c, 0x59, 0x95, 0x89, 0x37, 0x64,
            0xaf);
DEFINE_GUID(IID_ID3DXAnimationController, 0xac8948ec, 0xf86d, 0x43e2, 0x96, 0xde, 0x31, 0xfc, 0x35, 0xf9, 0x6d,
            0x9e);

/* How an animation set's local time maps onto its period. */
typedef enum _D3DXPLAYBACK_TYPE {
    D3DXPLAY_LOOP = 0,      /* wraps around: the period repeats */
    D3DXPLAY_ONCE = 1,      /* holds the last key after one period */
    D3DXPLAY_PINGPONG = 2,  /* forwards, then backwards, and so on */
    D3DXPLAY_FORCE_DWORD = 0x7fffffff
} D3DXPLAYBACK_TYPE;

/* A key at Time (in the set's ticks). */
typedef struct _D3DXKEY_VECTOR3 {
    FLOAT Time;
    D3DXVECTOR3 Value;
} D3DXKEY_VECTOR3, *LPD3DXKEY_VECTOR3;

typedef struct _D3DXKEY_QUATERNION {
    FLOAT Time;
    D3DXQUATERNION Value;
} D3DXKEY_QUATERNION, *LPD3DXKEY_QUATERNION;

typedef struct _D3DXKEY_CALLBACK {
    FLOAT Time;
    LPVOID pCallbackData;
} D3DXKEY_CALLBACK, *LPD3DXKEY_CALLBACK;

typedef enum _D3DXCOMPRESSION_FLAGS {
    D3DXCOMPRESS_DEFAULT = 0x00,
    D3DXCOMPRESS_FORCE_DWORD = 0x7fffffff
} D3DXCOMPRESSION_FLAGS;

/* Which way ID3DXAnimationSet::GetCallback looks from the position it is given. */
typedef enum _D3DXCALLBACK_SEARCH_FLAGS {
    D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION = 0x01,
    D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION = 0x02,
    D3DXCALLBACK_SEARCH_FORCE_DWORD = 0x7fffffff
} D3DXCALLBACK_SEARCH_FLAGS;

typedef enum _D3DXPRIORITY_TYPE {
    D3DXPRIORITY_LOW = 0,
    D3DXPRIORITY_HIGH = 1,
    D3DXPRIORITY_FORCE_DWORD = 0x7fffffff
} D3DXPRIORITY_TYPE;

/* One track of an animation controller. */
typedef struct _D3DXTRACK_DESC {
    D3DXPRIORITY_TYPE Priority;
    FLOAT Weight;
    FLOAT Speed;
    DOUBLE Position;
    BOOL Enable;
} D3DXTRACK_DESC, *LPD3DXTRACK_DESC;

typedef enum _D3DXEVENT_TYPE {
    D3DXEVENT_TRACKSPEED = 0,
    D3DXEVENT_TRACKWEIGHT = 1,
    D3DXEVENT_TRACKPOSITION = 2,
    D3DXEVENT_TRACKENABLE = 3,
    D3DXEVENT_PRIORITYBLEND = 4,
    D3DXEVENT_FORCE_DWORD = 0x7fffffff
} D3DXEVENT_TYPE;

typedef enum _D3DXTRANSITION_TYPE {
    D3DXTRANSITION_LINEAR = 0x000,
    D3DXTRANSITION_EASEINEASEOUT = 0x001,
    D3DXTRANSITION_FORCE_DWORD = 0x7fffffff
} D3DXTRANSITION_TYPE;

/* One keyed event of an animation controller. */
typedef struct _D3DXEVENT_DESC {
    D3DXEVENT_TYPE Type;
    UINT Track;
    DOUBLE StartTime;
    DOUBLE Duration;
    D3DXTRANSITION_TYPE Transition;
    union {
        FLOAT Weight;
        FLOAT Speed;
        DOUBLE Position;
        BOOL Enable;
    };
} D3DXEVENT_DESC, *LPD3DXEVENT_DESC;

typedef DWORD D3DXEVENTHANDLE;
typedef D3DXEVENTHANDLE *LPD3DXEVENTHANDLE;

/* The application's allocator of frames and mesh containers. */
interface ID3DXAllocateHierarchy {
    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME *ppNewFrame) PURE;
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, CONST D3DXMESHDATA *pMeshData, CONST D3DXMATERIAL *pMaterials,
                                   CONST D3DXEFFECTINSTANCE *pEffectInstances, DWORD NumMaterials,
                                   CONST DWORD *pAdjacency, LPD3DXSKININFO pSkinInfo,
                                   LPD3DXMESHCONTAINER *ppNewMeshContainer) PURE;
    STDMETHOD(DestroyFrame)(LPD3DXFRAME pFrameToFree) PURE;
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER pMeshContainerToFree) PURE;
};

/* The application's reader of data objects the loader does not know. */
interface ID3DXLoadUserData {
    STDMETHOD(LoadTopLevelData)(LPD3DXFILEDATA pXofChildData) PURE;
    STDMETHOD(LoadFrameChildData)(LPD3DXFRAME pFrame, LPD3DXFILEDATA pXofChildData) PURE;
    STDMETHOD(LoadMeshChildData)(LPD3DXMESHCONTAINER pMeshContainer, LPD3DXFILEDATA pXofChildData) PURE;
};

/* The animation of many outputs over one period: what an animation controller plays. */
interface ID3DXAnimationSet : public IUnknown {
    STDMETHOD_(LPCSTR, GetName)() PURE;
    STDMETHOD_(DOUBLE, GetPeriod)() PURE;
    STDMETHOD_(DOUBLE, GetPeriodicPosition)(DOUBLE Position) PURE;
    STDMETHOD_(UINT, GetNumAnimations)() PURE;
    STDMETHOD(GetAnimationNameByIndex)(UINT Index, LPCSTR *ppName) PURE;
    STDMETHOD(GetAnimationIndexByName)(LPCSTR pName, UINT *pIndex) PURE;
    STDMETHOD(GetSRT)(DOUBLE PeriodicPosition, UINT Animation, D3DXVECTOR3 *pScale, D3DXQUATERNION *pRotation,
                      D3DXVECTOR3 *pTranslation) PURE;
    STDMETHOD(GetCallback)(DOUBLE Position, DWORD Flags, DOUBLE *pCallbackPosition, LPVOID *ppCallbackData) PURE;
};

/* An animation set made of keys, interpolated between them. */
interface ID3DXKeyframedAnimationSet : public ID3DXAnimationSet {
    STDMETHOD_(D3DXPLAYBACK_TYPE, GetPlaybackType)() PURE;
    STDMETHOD_(DOUBLE, GetSourceTicksPerSecond)() PURE;
    STDMETHOD_(UINT, GetNumScaleKeys)(UINT Animation) PURE;
    STDMETHOD(GetScaleKeys)(UINT Animation, LPD3DXKEY_VECTOR3 pScaleKeys) PURE;
    STDMETHOD(GetScaleKey)(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pScaleKey) PURE;
    STDMETHOD(SetScaleKey)(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pScaleKey) PURE;
    STDMETHOD_(UINT, GetNumRotationKeys)(UINT Animation) PURE;
    STDMETHOD(GetRotationKeys)(UINT Animation, LPD3DXKEY_QUATERNION pRotationKeys) PURE;
    STDMETHOD(GetRotationKey)(UINT Animation, UINT Key, LPD3DXKEY_QUATERNION pRotationKey) PURE;
    STDMETHOD(SetRotationKey)(UINT Animation, UINT Key, LPD3DXKEY_QUATERNION pRotationKey) PURE;
    STDMETHOD_(UINT, GetNumTranslationKeys)(UINT Animation) PURE;
    STDMETHOD(GetTranslationKeys)(UINT Animation, LPD3DXKEY_VECTOR3 pTranslationKeys) PURE;
    STDMETHOD(GetTranslationKey)(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pTranslationKey) PURE;
    STDMETHOD(SetTranslationKey)(UINT Animation, UINT Key, LPD3DXKEY_VECTOR3 pTranslationKey) PURE;
    STDMETHOD_(UINT, GetNumCallbackKeys)() PURE;
    STDMETHOD(GetCallbackKeys)(LPD3DXKEY_CALLBACK pCallbackKeys) PURE;
    STDMETHOD(GetCallbackKey)(UINT Key, LPD3DXKEY_CALLBACK pCallbackKey) PURE;
    STDMETHOD(SetCallbackKey)(UINT Key, LPD3DXKEY_CALLBACK pCallbackKey) PURE;
    STDMETHOD(UnregisterScaleKey)(UINT Animation, UINT Key) PURE;
    STDMETHOD(UnregisterRotationKey)(UINT Animation, UINT Key) PURE;
    STDMETHOD(UnregisterTranslationKey)(UINT Animation, UINT Key) PURE;
    STDMETHOD(RegisterAnimationSRTKeys)(LPCSTR pName, UINT NumScaleKeys, UINT NumRotationKeys,
                                        UINT NumTranslationKeys, CONST D3DXKEY_VECTOR3 *pScaleKeys,
                                        CONST D3DXKEY_QUATERNION *pRotationKeys,
                                        CONST D3DXKEY_VECTOR3 *pTranslationKeys, DWORD *pAnimationIndex) PURE;
    STDMETHOD(Compress)(DWORD CompressionFlags, FLOAT Lossiness, LPD3DXFRAME pHierarchy,
                        LPD3DXBUFFER *ppCompressedData) PURE;
    STDMETHOD(UnregisterAnimation)(UINT Index) PURE;
};

/* The application's receiver of callback keys passed during ID3DXAnimationController::AdvanceTime. */
interface ID3DXAnimationCallbackHandler {
    STDMETHOD(HandleCallback)(UINT Track, LPVOID pCallbackData) PURE;
};

/* Plays animation sets on tracks, blends them and writes the results into the registered outputs. */
interface ID3DXAnimationController : public IUnknown {
    STDMETHOD_(UINT, GetMaxNumAnimationOutputs)() PURE;
    STDMETHOD_(UINT, GetMaxNumAnimationSets)() PURE;
    STDMETHOD_(UINT, GetMaxNumTracks)() PURE;
    STDMETHOD_(UINT, GetMaxNumEvents)() PURE;
    STDMETHOD(RegisterAnimationOutput)(LPCSTR pName, D3DXMATRIX *pMatrix, D3DXVECTOR3 *pScale,
                                       D3DXQUATERNION *pRotation, D3DXVECTOR3 *pTranslation) PURE;
    STDMETHOD(RegisterAnimationSet)(LPD3DXANIMATIONSET pAnimSet) PURE;
    STDMETHOD(UnregisterAnimationSet)(LPD3DXANIMATIONSET pAnimSet) PURE;
    STDMETHOD_(UINT, GetNumAnimationSets)() PURE;
    STDMETHOD(GetAnimationSet)(UINT Index, LPD3DXANIMATIONSET *ppAnimationSet) PURE;
    STDMETHOD(GetAnimationSetByName)(LPCSTR szName, LPD3DXANIMATIONSET *ppAnimationSet) PURE;
    STDMETHOD(AdvanceTime)(DOUBLE TimeDelta, LPD3DXANIMATIONCALLBACKHANDLER pCallbackHandler) PURE;
    STDMETHOD(ResetTime)() PURE;
    STDMETHOD_(DOUBLE, GetTime)() PURE;
    STDMETHOD(SetTrackAnimationSet)(UINT Track, LPD3DXANIMATIONSET pAnimSet) PURE;
    STDMETHOD(GetTrackAnimationSet)(UINT Track, LPD3DXANIMATIONSET *ppAnimSet) PURE;
    STDMETHOD(SetTrackPriority)(UINT Track, D3DXPRIORITY_TYPE Priority) PURE;
    STDMETHOD(SetTrackSpeed)(UINT Track, FLOAT Speed) PURE;
    STDMETHOD(SetTrackWeight)(UINT Track, FLOAT Weight) PURE;
    STDMETHOD(SetTrackPosition)(UINT Track, DOUBLE Position) PURE;
    STDMETHOD(SetTrackEnable)(UINT Track, BOOL Enable) PURE;
    STDMETHOD(SetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) PURE;
    STDMETHOD(GetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) PURE;
    STDMETHOD(SetPriorityBlend)(FLOAT BlendWeight) PURE;
    STDMETHOD_(FLOAT, GetPriorityBlend)() PURE;
    STDMETHOD_(D3DXEVENTHANDLE, KeyTrackSpeed)(UINT Track, FLOAT NewSpeed, DOUBLE StartTime, DOUBLE Duration,
                                               D3DXTRANSITION_TYPE Transition) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, KeyTrackWeight)(UINT Track, FLOAT NewWeight, DOUBLE StartTime, DOUBLE Duration,
                                                D3DXTRANSITION_TYPE Transition) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, KeyTrackPosition)(UINT Track, DOUBLE NewPosition, DOUBLE StartTime) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, KeyTrackEnable)(UINT Track, BOOL NewEnable, DOUBLE StartTime) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, KeyPriorityBlend)(FLOAT NewBlendWeight, DOUBLE StartTime, DOUBLE Duration,
                                                  D3DXTRANSITION_TYPE Transition) PURE;
    STDMETHOD(UnkeyEvent)(D3DXEVENTHANDLE hEvent) PURE;
    STDMETHOD(UnkeyAllTrackEvents)(UINT Track) PURE;
    STDMETHOD(UnkeyAllPriorityBlends)() PURE;
    STDMETHOD_(D3DXEVENTHANDLE, GetCurrentTrackEvent)(UINT Track, D3DXEVENT_TYPE EventType) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, GetCurrentPriorityBlend)() PURE;
    STDMETHOD_(D3DXEVENTHANDLE, GetUpcomingTrackEvent)(UINT Track, D3DXEVENTHANDLE hEvent) PURE;
    STDMETHOD_(D3DXEVENTHANDLE, GetUpcomingPriorityBlend)(D3DXEVENTHANDLE hEvent) PURE;
    STDMETHOD(ValidateEvent)(D3DXEVENTHANDLE hEvent) PURE;
    STDMETHOD(GetEventDesc)(D3DXEVENTHANDLE hEvent, LPD3DXEVENT_DESC pDesc) PURE;
    STDMETHOD(CloneAnimationController)(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                        UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER *ppAnimController) PURE;
};

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                           LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                           LPD3DXFRAME *ppFrameHierarchy,
                                           LPD3DXANIMATIONCONTROLLER *ppAnimController);
#define D3DXLoadMeshHierarchyFromX D3DXLoadMeshHierarchyFromXA
HRESULT WINAPI D3DXLoadMeshHierarchyFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD MeshOptions,
                                                  LPDIRECT3DDEVICE9 pDevice, LPD3DXALLOCATEHIERARCHY pAlloc,
                                                  LPD3DXLOADUSERDATA pUserDataLoader,
                                                  LPD3DXFRAME *ppFrameHierarchy,
                                                  LPD3DXANIMATIONCONTROLLER *ppAnimController);
/* Gives every mesh container and frame of the tree back to the allocator. */
HRESULT WINAPI D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc);
/* Makes pFrameChild the last child of pFrameParent. */
HRESULT WINAPI D3DXFrameAppendChild(LPD3DXFRAME pFrameParent, CONST D3DXFRAME *pFrameChild);
/* The first frame of the tree (the root, its children and its siblings) with that name. */
LPD3DXFRAME WINAPI D3DXFrameFind(CONST D3DXFRAME *pFrameRoot, LPCSTR Name);
/* How many frames of the tree have a name. */
UINT WINAPI D3DXFrameNumNamedMatrices(CONST D3DXFRAME *pFrameRoot);
/* Registers the TransformationMatrix of every named frame of the tree as an output of the controller. */
HRESULT WINAPI D3DXFrameRegisterNamedMatrices(LPD3DXFRAME pFrameRoot, LPD3DXANIMATIONCONTROLLER pAnimController);
/* A sphere around every mesh of the tree, each placed by its frames' combined matrices. */
HRESULT WINAPI D3DXFrameCalculateBoundingSphere(CONST D3DXFRAME *pFrameRoot, D3DXVECTOR3 *pObjectCenter,
                                                FLOAT *pObjectRadius);

/* An empty keyframed set with room for NumAnimations animations and the given callback keys. */
HRESULT WINAPI D3DXCreateKeyframedAnimationSet(LPCSTR pName, DOUBLE TicksPerSecond, D3DXPLAYBACK_TYPE Playback,
                                               UINT NumAnimations, UINT NumCallbackKeys,
                                               CONST D3DXKEY_CALLBACK *pCallbackKeys,
                                               LPD3DXKEYFRAMEDANIMATIONSET *ppAnimationSet);
/* A controller with room for the given numbers of outputs, sets, tracks and events. */
HRESULT WINAPI D3DXCreateAnimationController(UINT MaxNumMatrices, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                             UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER *ppAnimController);

#ifdef __cplusplus
}
#endif

#endif
