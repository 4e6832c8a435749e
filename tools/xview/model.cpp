/*
 * model.cpp - xview's allocator of frames and mesh containers, and the model they make:
 * loading with D3DXLoadMeshHierarchyFromX, binding bones with D3DXFrameFind, playing the
 * animation controller's sets, and skinning each pose.
 *
 * The allocator keeps what drawing needs: a copy of the materials (the ambient colour set
 * to the diffuse one, as the fixed-function light then shades the unlit side in the
 * material's own colour), one texture per material, the skin info and, for a skinned
 * mesh, a copy of the mesh for UpdateSkinnedMesh to write.  A mesh without normals gets
 * them from its faces before anything else is made from it.
 *
 * The controller writes only the frames its track's set animates; xview puts every frame
 * back at its rest matrix first, so that a frame the set playing does not animate stands
 * where the file puts it, not where the previous set left it.
 */
#include "model.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

char *CopyName(const char *name)
{
    if (!name)
        return nullptr;
    char *copy = new char[strlen(name) + 1];
    strcpy(copy, name);
    return copy;
}

// The file a relative name means under `folder`: any run of backslashes or slashes is one
// separator and each component matches whatever case the folder spells it in.  A component
// found nowhere is kept as written (the load then says it is missing).
std::string Beside(const std::string &folder, const std::string &name)
{
    std::string path = folder.empty() ? std::string(".") : folder.substr(0, folder.size() - 1);
    size_t at = 0;
    while (at < name.size()) {
        size_t end = name.find_first_of("\\/", at);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(at, end - at);
        at = end + 1;
        if (part.empty())
            continue;
        if (DIR *dir = opendir(path.c_str())) {
            while (dirent *e = readdir(dir))
                if (strcasecmp(e->d_name, part.c_str()) == 0) {
                    part = e->d_name;
                    break;
                }
            closedir(dir);
        }
        path += "/" + part;
    }
    return path;
}

std::string FolderOf(const std::string &file)
{
    size_t cut = file.find_last_of("\\/");
    return cut == std::string::npos ? "" : file.substr(0, cut + 1);
}

// Calls f(frame) for the frame, its children and its siblings, parents before children.
template <class F>
void EachFrame(SFrame *frame, F &&f)
{
    for (; frame; frame = static_cast<SFrame *>(frame->pFrameSibling)) {
        f(frame);
        EachFrame(static_cast<SFrame *>(frame->pFrameFirstChild), f);
    }
}

template <class F>
void EachMeshContainer(SFrame *root, F &&f)
{
    EachFrame(root, [&](SFrame *frame) {
        for (D3DXMESHCONTAINER *mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
            f(frame, static_cast<SMeshContainer *>(mc));
    });
}

void CombineMatrices(SFrame *frame, const D3DXMATRIX &parent)
{
    for (; frame; frame = static_cast<SFrame *>(frame->pFrameSibling)) {
        frame->combined = frame->TransformationMatrix * parent;
        CombineMatrices(static_cast<SFrame *>(frame->pFrameFirstChild), frame->combined);
    }
}

// A name the text reader takes as a frame's name as it stands.
bool IsPlainName(const char *name)
{
    if (!name || !(isalpha(static_cast<unsigned char>(*name)) || *name == '_'))
        return false;
    for (const char *c = name; *c; ++c)
        if (!(isalnum(static_cast<unsigned char>(*c)) || *c == '_' || *c == '-' || *c == '.'))
            return false;
    return true;
}

}  // namespace

// --- the allocator -------------------------------------------------------------------

CAllocateHierarchy::CAllocateHierarchy(IDirect3DDevice9 *device, std::string file, bool textures)
    : device_(device), file_(std::move(file)), folder_(FolderOf(file_)), textures_(textures)
{
}

STDMETHODIMP CAllocateHierarchy::CreateFrame(LPCSTR Name, LPD3DXFRAME *ppNewFrame)
{
    SFrame *frame = new SFrame{};
    frame->Name = CopyName(Name);
    D3DXMatrixIdentity(&frame->TransformationMatrix);
    frame->rest = frame->combined = frame->TransformationMatrix;
    *ppNewFrame = frame;
    return D3D_OK;
}

IDirect3DTexture9 *CAllocateHierarchy::LoadTexture(const char *name)
{
    if (!textures_ || !name || !*name)
        return nullptr;
    // A name with a drive or a root is taken by its last component.
    std::string n = name;
    bool rooted = n[0] == '\\' || n[0] == '/' || (n.size() > 1 && n[1] == ':');
    if (rooted) {
        size_t cut = n.find_last_of("\\/");
        n = cut == std::string::npos ? n.substr(2) : n.substr(cut + 1);
    }
    IDirect3DTexture9 *texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(device_, Beside(folder_, n).c_str(), &texture)))
        return nullptr;  // the library has said why; the material draws untextured
    return texture;
}

STDMETHODIMP CAllocateHierarchy::CreateMeshContainer(LPCSTR Name, CONST D3DXMESHDATA *pMeshData,
                                                     CONST D3DXMATERIAL *pMaterials, CONST D3DXEFFECTINSTANCE *,
                                                     DWORD NumMaterials, CONST DWORD *pAdjacency,
                                                     LPD3DXSKININFO pSkinInfo, LPD3DXMESHCONTAINER *ppNewMeshContainer)
{
    *ppNewMeshContainer = nullptr;
    if (pMeshData->Type != D3DXMESHTYPE_MESH || !pMeshData->pMesh) {
        Say(file_, std::string("mesh '") + (Name ? Name : "") + "': not a plain mesh; left out");
        return D3D_OK;
    }
    ID3DXMesh *mesh = pMeshData->pMesh;
    mesh->AddRef();
    // A mesh the file gives no normals would be lit by the ambient light alone: it gets
    // normals from its faces.  No adjacency is passed, so where the file itself split a
    // vertex (a hard edge) each copy keeps the normal of its own faces.
    if (mesh->GetFVF() && !(mesh->GetFVF() & D3DFVF_NORMAL)) {
        const DWORD fvf = mesh->GetFVF() | D3DFVF_NORMAL;
        ID3DXMesh *lit = nullptr;
        if (SUCCEEDED(mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, fvf, device_, &lit))) {
            if (SUCCEEDED(D3DXComputeNormals(lit, nullptr)) && (!pSkinInfo || SUCCEEDED(pSkinInfo->SetFVF(fvf)))) {
                mesh->Release();
                mesh = lit;
            } else {
                lit->Release();
            }
        }
    }

    SMeshContainer *mc = new SMeshContainer{};
    mc->Name = CopyName(Name);
    mc->MeshData.Type = D3DXMESHTYPE_MESH;
    mc->MeshData.pMesh = mesh;
    // At least one material: a mesh without a material list is mid-grey.
    mc->NumMaterials = std::max<DWORD>(NumMaterials, 1);
    mc->pMaterials = new D3DXMATERIAL[mc->NumMaterials];
    for (DWORD i = 0; i < mc->NumMaterials; ++i) {
        D3DXMATERIAL &m = mc->pMaterials[i];
        m = {};
        m.MatD3D.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
        if (pMaterials && i < NumMaterials) {
            m.MatD3D = pMaterials[i].MatD3D;
            m.pTextureFilename = CopyName(pMaterials[i].pTextureFilename);
        }
        m.MatD3D.Ambient = m.MatD3D.Diffuse;
        mc->textures.push_back(LoadTexture(m.pTextureFilename));
    }
    if (pAdjacency) {
        const DWORD n = 3 * mesh->GetNumFaces();
        mc->pAdjacency = new DWORD[n];
        memcpy(mc->pAdjacency, pAdjacency, n * sizeof(DWORD));
    }
    if (pSkinInfo) {
        mc->pSkinInfo = pSkinInfo;
        pSkinInfo->AddRef();
        // The copy the bones move; the container's mesh keeps the rest pose.
        if (pSkinInfo->GetNumBones() > 0 &&
            FAILED(mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, mesh->GetFVF(), device_, &mc->skinned)))
            mc->skinned = nullptr;
    }
    *ppNewMeshContainer = mc;
    return D3D_OK;
}

STDMETHODIMP CAllocateHierarchy::DestroyFrame(LPD3DXFRAME pFrameToFree)
{
    delete[] pFrameToFree->Name;
    delete static_cast<SFrame *>(pFrameToFree);
    return D3D_OK;
}

STDMETHODIMP CAllocateHierarchy::DestroyMeshContainer(LPD3DXMESHCONTAINER pMeshContainerToFree)
{
    SMeshContainer *mc = static_cast<SMeshContainer *>(pMeshContainerToFree);
    for (IDirect3DTexture9 *t : mc->textures)
        if (t)
            t->Release();
    for (DWORD i = 0; i < mc->NumMaterials; ++i)
        delete[] mc->pMaterials[i].pTextureFilename;
    delete[] mc->pMaterials;
    delete[] mc->pAdjacency;
    delete[] mc->Name;
    for (IUnknown *u : std::initializer_list<IUnknown *>{mc->MeshData.pMesh, mc->pSkinInfo, mc->skinned, mc->blended,
                                                         mc->combinations})
        if (u)
            u->Release();
    delete mc;
    return D3D_OK;
}

// --- the model -----------------------------------------------------------------------

CModel::CModel(IDirect3DDevice9 *device, std::string file)
    : device_(device), file_(std::move(file)), alloc_(device, file_)
{
}

CModel::~CModel()
{
    if (controller_)
        controller_->Release();
    if (root_)
        D3DXFrameDestroy(root_, &alloc_);
}

bool CModel::Load(bool blend)
{
    LPD3DXFRAME root = nullptr;
    if (FAILED(D3DXLoadMeshHierarchyFromX(file_.c_str(), D3DXMESH_SYSTEMMEM, device_, &alloc_, nullptr, &root,
                                          &controller_)))
        return false;  // the loader has said why
    root_ = static_cast<SFrame *>(root);
    EachFrame(root_, [](SFrame *f) { f->rest = f->TransformationMatrix; });
    BindBones(root_, blend);
    bool anything = false;
    EachMeshContainer(root_, [&](SFrame *, SMeshContainer *) { anything = true; });
    Pose();
    return anything;
}

// Each bone is the frame of its name; a bone naming no frame is left at rest (its share of
// a vertex stays where the mesh has it), with one line.
void CModel::BindBones(SFrame *root, bool blend)
{
    EachMeshContainer(root, [&](SFrame *, SMeshContainer *mc) {
        if (!mc->pSkinInfo)
            return;
        for (DWORD b = 0; b < mc->pSkinInfo->GetNumBones(); ++b) {
            const char *name = mc->pSkinInfo->GetBoneName(b);
            SFrame *frame = name ? static_cast<SFrame *>(D3DXFrameFind(root, name)) : nullptr;
            if (!frame)
                Say(file_, std::string("mesh '") + (mc->Name ? mc->Name : "") + "': bone '" + (name ? name : "") +
                               "' names no frame; skipped (its vertices keep their rest place)");
            mc->boneFrames.push_back(frame);
        }
        mc->boneMatrices.resize(mc->boneFrames.size());
        if (blend && mc->skinned)
            ConvertForBlending(mc);
    });
}

// The skinned mesh converted for the device's indexed blending: a palette as large as the
// device's blend matrix indices allow.  False (and one line) when it cannot be; the mesh
// is then skinned in software.
bool CModel::ConvertForBlending(SMeshContainer *mc)
{
    D3DCAPS9 caps;
    device_->GetDeviceCaps(&caps);
    mc->paletteSize = std::min<DWORD>(caps.MaxVertexBlendMatrixIndex + 1, mc->pSkinInfo->GetNumBones());
    if (caps.MaxVertexBlendMatrices >= 4 &&
        SUCCEEDED(mc->pSkinInfo->ConvertToIndexedBlendedMesh(
            mc->MeshData.pMesh, D3DXMESH_MANAGED, mc->paletteSize, mc->pAdjacency, nullptr, nullptr, nullptr,
            &mc->vertexInfluences, &mc->numCombinations, &mc->combinations, &mc->blended)))
        return true;
    Say(file_, std::string("mesh '") + (mc->Name ? mc->Name : "") +
                   "': not converted for the device's blending; skinned in software");
    return false;
}

// The frames' combined matrices for their current matrices, each bone's matrix, and the
// software-skinned copies.
void CModel::Pose()
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CombineMatrices(root_, identity);
    EachMeshContainer(root_, [&](SFrame *, SMeshContainer *mc) {
        if (!mc->IsSkinned())
            return;
        for (size_t b = 0; b < mc->boneFrames.size(); ++b) {
            if (mc->boneFrames[b])
                mc->boneMatrices[b] = *mc->pSkinInfo->GetBoneOffsetMatrix(DWORD(b)) * mc->boneFrames[b]->combined;
            else
                mc->boneMatrices[b] = identity;
        }
        if (mc->blended)
            return;  // the device blends them
        void *src = nullptr, *dst = nullptr;
        if (SUCCEEDED(mc->MeshData.pMesh->LockVertexBuffer(D3DLOCK_READONLY, &src))) {
            if (SUCCEEDED(mc->skinned->LockVertexBuffer(0, &dst))) {
                mc->pSkinInfo->UpdateSkinnedMesh(mc->boneMatrices.data(), nullptr, src, dst);
                mc->skinned->UnlockVertexBuffer();
            }
            mc->MeshData.pMesh->UnlockVertexBuffer();
        }
    });
}

void CModel::AddClips(const std::string &clipsFile)
{
    // A file of clips alone refers to frames it does not hold, which the reader cannot
    // resolve.  A text file is therefore read with the model's frames declared (empty)
    // ahead of its own objects, on its first line so that the reader's line numbers stay
    // the file's own; a binary file must carry the frames itself.
    std::ifstream in(clipsFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() >= 16 && text.compare(0, 4, "xof ") == 0 && text.compare(8, 4, "txt ") == 0) {
        std::string frames;
        EachFrame(root_, [&](SFrame *f) {
            if (IsPlainName(f->Name))
                frames += std::string(" Frame ") + f->Name + " {}";
        });
        text.insert(16, frames);
    }
    CAllocateHierarchy clipsAlloc(device_, clipsFile, false);
    LPD3DXFRAME clipsRoot = nullptr;
    ID3DXAnimationController *clips = nullptr;
    if (text.empty() ||
        FAILED(D3DXLoadMeshHierarchyFromXInMemory(text.data(), DWORD(text.size()), D3DXMESH_SYSTEMMEM, device_,
                                                  &clipsAlloc, nullptr, &clipsRoot, &clips)) ||
        !clips) {
        Say(clipsFile, "no animation sets taken from it");
        if (clipsRoot)
            D3DXFrameDestroy(clipsRoot, &clipsAlloc);
        return;
    }

    // The model's controller, with room for the clips' sets as well.
    const UINT added = clips->GetNumAnimationSets();
    HRESULT hr = D3D_OK;
    if (!controller_) {
        hr = D3DXCreateAnimationController(std::max(1u, D3DXFrameNumNamedMatrices(root_)), added, 2, 30, &controller_);
        if (SUCCEEDED(hr))
            hr = D3DXFrameRegisterNamedMatrices(root_, controller_);
    } else if (controller_->GetNumAnimationSets() + added > controller_->GetMaxNumAnimationSets()) {
        ID3DXAnimationController *roomier = nullptr;
        hr = controller_->CloneAnimationController(controller_->GetMaxNumAnimationOutputs(),
                                                   controller_->GetNumAnimationSets() + added,
                                                   controller_->GetMaxNumTracks(), controller_->GetMaxNumEvents(),
                                                   &roomier);
        if (SUCCEEDED(hr)) {
            controller_->Release();
            controller_ = roomier;
        }
    }
    for (UINT i = 0; SUCCEEDED(hr) && i < added; ++i) {
        ID3DXAnimationSet *set = nullptr;
        if (FAILED(clips->GetAnimationSet(i, &set)))
            continue;
        for (UINT a = 0; a < set->GetNumAnimations(); ++a) {
            LPCSTR name = nullptr;
            if (SUCCEEDED(set->GetAnimationNameByIndex(a, &name)) && name && !D3DXFrameFind(root_, name))
                Say(clipsFile, std::string("animation of '") + name + "' names no frame; not played");
        }
        hr = controller_->RegisterAnimationSet(set);
        set->Release();
    }
    if (FAILED(hr))
        Say(clipsFile, "its animation sets could not all be added");
    // A controller made here has no set on its track yet.
    ID3DXAnimationSet *playing = nullptr;
    if (SUCCEEDED(controller_->GetTrackAnimationSet(0, &playing)) && playing)
        playing->Release();
    else
        PlaySet(0, 0);
    clips->Release();
    D3DXFrameDestroy(clipsRoot, &clipsAlloc);
}

UINT CModel::NumSets() const { return controller_ ? controller_->GetNumAnimationSets() : 0; }

ID3DXAnimationSet *CModel::Set(UINT index) const
{
    ID3DXAnimationSet *set = nullptr;
    if (!controller_ || FAILED(controller_->GetAnimationSet(index, &set)))
        return nullptr;
    return set;
}

UINT CModel::FindSet(const std::string &name) const
{
    ID3DXAnimationSet *wanted = nullptr;
    if (!controller_ || FAILED(controller_->GetAnimationSetByName(name.c_str(), &wanted)))
        return NumSets();
    UINT index = 0;
    for (; index < NumSets(); ++index) {
        ID3DXAnimationSet *s = Set(index);
        const bool same = s == wanted;
        if (s)
            s->Release();
        if (same)
            break;
    }
    wanted->Release();
    return index;
}

void CModel::PlaySet(UINT index, double seconds)
{
    if (ID3DXAnimationSet *set = Set(index)) {
        controller_->SetTrackAnimationSet(0, set);
        controller_->SetTrackPosition(0, seconds);
        set->Release();
        set_ = index;
    }
    Advance(0);
}

void CModel::Advance(double seconds)
{
    EachFrame(root_, [](SFrame *f) { f->TransformationMatrix = f->rest; });
    if (controller_)
        controller_->AdvanceTime(seconds, nullptr);
    Pose();
}

std::string CModel::SetName() const
{
    ID3DXAnimationSet *set = Set(set_);
    std::string name = set && set->GetName() && *set->GetName() ? set->GetName() : "(unnamed)";
    if (set)
        set->Release();
    return name;
}

double CModel::SetPeriod() const
{
    ID3DXAnimationSet *set = Set(set_);
    double period = set ? set->GetPeriod() : 0;
    if (set)
        set->Release();
    return period;
}

double CModel::Position() const
{
    D3DXTRACK_DESC desc{};
    if (!controller_ || FAILED(controller_->GetTrackDesc(0, &desc)))
        return 0;
    return desc.Position;
}

// The box round the rest pose, in world space: a skinned mesh's vertices are where its
// mesh has them, any other mesh's are placed by its frame.
void CModel::Bounds(D3DXVECTOR3 *center, float *radius) const
{
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    EachMeshContainer(root_, [&](SFrame *frame, SMeshContainer *mc) {
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        if (!mc->IsSkinned())
            world = frame->combined;
        ID3DXMesh *mesh = mc->MeshData.pMesh;
        void *v = nullptr;
        if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &v)))
            return;
        const DWORD stride = mesh->GetNumBytesPerVertex();
        for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
            D3DXVECTOR3 q;
            D3DXVec3TransformCoord(&q, reinterpret_cast<const D3DXVECTOR3 *>(static_cast<BYTE *>(v) + i * stride),
                                   &world);
            D3DXVec3Minimize(&lo, &lo, &q);
            D3DXVec3Maximize(&hi, &hi, &q);
        }
        mesh->UnlockVertexBuffer();
    });
    *center = (lo + hi) * 0.5f;
    D3DXVECTOR3 half = (hi - lo) * 0.5f;
    *radius = std::max(D3DXVec3Length(&half), 1e-3f);
}
