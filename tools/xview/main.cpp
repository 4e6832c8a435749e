/*
 * xview - looks at an .x file: its frames, skinned meshes and animation sets, drawn with
 * the fixed-function pipeline, through the same headers a Direct3D 9 program uses.
 *
 *   xview FILE.x                     a window: dragging with the left button or the arrows
 *                                    orbit, the wheel or Page Up/Down zoom, Space (or N)
 *                                    plays the next animation set, P pauses, S steps 1/30 s,
 *                                    W toggles wireframe, B the bones, Escape quits; an
 *                                    overlay names the set, its length and the time
 *   xview --shot OUT.png [--set NAME] [--time S] FILE.x
 *                                    one picture of set NAME (the first by default) at S
 *                                    seconds (0 by default), then exit
 *   --clips CLIPS.x (before FILE.x, as many as wanted) adds the animation sets of a file
 *   that holds clips alone; their tracks drive FILE.x's frames of the same names.
 *   --blend draws skinned meshes by the device's indexed vertex blending: each is converted
 *   once (ConvertToIndexedBlendedMesh, a palette of the device's blend matrices) and each
 *   bone combination drawn with its palette in D3DTS_WORLDMATRIX(0..n), instead of being
 *   skinned in software every frame.  A mesh that cannot be converted is skinned in
 *   software, with one line saying so.
 *
 * The file is read with the DirectX File interfaces, the retained-mode and the extension
 * templates registered.  Frames keep their FrameTransformMatrix (identity without one);
 * each Mesh (inline or referenced, at the top level or in a frame) is loaded with
 * D3DXLoadSkinMeshFromXof; a skinned mesh is drawn through a copy that UpdateSkinnedMesh
 * fills from its bones' frames each frame.  A bone naming no frame is skipped (its share
 * of a vertex stays at rest), with one line naming the file, the mesh and the bone.
 * Textures are looked for beside the file, each component in any case (a name with a drive
 * or a root is taken by its last component); a missing one is drawn untextured.  Animation
 * keys are played at their file's AnimTicksPerSecond (4800 without one), looping, each track
 * composing scale, rotation, translation and matrix keys.  A mesh without normals gets them
 * from its faces (D3DXComputeNormals).  --shot renders one frame with the renderer's capture
 * switch and moves the picture to OUT.  Exit status: 0, 1 when the file gives nothing to
 * draw or the picture could not be made, 2 for bad usage.
 */
#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The extension templates a model file may use without declaring them.
const char kExtensionTemplates[] = R"(xof 0303txt 0032
template XSkinMeshHeader { <3CF169CE-FF7C-44AB-93C0-F78F62D172E2> WORD nMaxSkinWeightsPerVertex;
 WORD nMaxSkinWeightsPerFace; WORD nBones; }
template VertexDuplicationIndices { <B8D65549-D7C9-4995-89CF-53A9A8B031E3> DWORD nIndices;
 DWORD nOriginalVertices; array DWORD indices[nIndices]; }
template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> STRING transformNodeName; DWORD nWeights;
 array DWORD vertexIndices[nWeights]; array FLOAT weights[nWeights]; Matrix4x4 matrixOffset; }
template AnimTicksPerSecond { <9E415A43-7BA6-4A73-8743-B73D47E88476> DWORD AnimTicksPerSecond; }
template FVFData { <B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897> DWORD dwFVF; DWORD nDWords; array DWORD data[nDWords]; }
template VertexElement { <F752461C-1E23-48F6-B9F8-8350850F336F> DWORD Type; DWORD Method; DWORD Usage;
 DWORD UsageIndex; }
template DeclData { <BF22E553-292C-4781-9FEA-62BD554BDD93> DWORD nElements; array VertexElement Elements[nElements];
 DWORD nDWords; array DWORD data[nDWords]; }
template EffectInstance { <E331F7E4-0559-4CC2-8E99-1CEC1657928F> STRING EffectFilename; [...] }
template EffectParamFloats { <3014B9A0-62F5-478C-9B86-E4AC9F4E418B> STRING ParamName; DWORD nFloats;
 array FLOAT Floats[nFloats]; }
template EffectParamString { <1DBC4C88-94C1-46EE-9076-2C28818C9481> STRING ParamName; STRING Value; }
template EffectParamDWord { <E13963BC-AE51-4C5D-B00F-CFA3A9D97CE5> STRING ParamName; DWORD Value; }
)";

const UINT kWidth = 640, kHeight = 480;

struct Frame {
    std::string name;
    int parent = -1;
    D3DXMATRIX rest, local, combined;
};

struct Part {
    ID3DXMesh *mesh = nullptr;
    ID3DXMesh *drawn = nullptr;  // the skinned copy, or the mesh itself
    ID3DXSkinInfo *skin = nullptr;
    std::vector<D3DMATERIAL9> materials;
    std::vector<IDirect3DTexture9 *> textures;
    std::string name;  // the Mesh's, for messages
    int frame = -1;
    std::vector<int> boneFrames;
    std::vector<D3DXMATRIX> boneMatrices;
    // With --blend: the mesh for the device's indexed blending and its bone combinations.
    ID3DXMesh *blended = nullptr;
    ID3DXBuffer *combinations = nullptr;
    DWORD numCombinations = 0, vertexInfluences = 0, paletteSize = 0;
};

template <class V>
struct Key {
    DWORD time;
    V value;
};

struct Track {
    std::string frameName;  // the frame it drives, bound by name once every file is read
    int frame = -1;
    std::vector<Key<D3DXQUATERNION>> rotation;
    std::vector<Key<D3DXVECTOR3>> scale, position;
    std::vector<Key<D3DXMATRIX>> matrix;
};

struct Clip {
    std::string name, file;
    std::vector<Track> tracks;
    DWORD length = 0;
    DWORD ticksPerSecond = 4800;  // its file's AnimTicksPerSecond
};

struct Model {
    std::string file, folder;
    std::vector<Frame> frames;
    std::vector<Part> parts;
    std::vector<Clip> clips;
};

void Say(const std::string &file, const std::string &reason) { fprintf(stderr, "xview: %s: %s\n", file.c_str(), reason.c_str()); }

std::string NameOf(IDirectXFileObject *o)
{
    DWORD n = 0;
    if (FAILED(o->GetName(nullptr, &n)) || n == 0)
        return "";
    std::string s(n, '\0');
    if (FAILED(o->GetName(&s[0], &n)))
        return "";
    s.resize(strlen(s.c_str()));
    return s;
}

bool Is(IDirectXFileData *d, const GUID &g)
{
    const GUID *t = nullptr;
    return SUCCEEDED(d->GetType(&t)) && t && IsEqualGUID(*t, g);
}

// A data child, a reference resolved, or null for none left.
IDirectXFileData *NextChild(IDirectXFileData *d, bool *referenced)
{
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child)) && child) {
        IDirectXFileData *data = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        *referenced = false;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
            *referenced = true;
            if (FAILED(ref->Resolve(&data)))
                data = nullptr;
            ref->Release();
        } else if (FAILED(child->QueryInterface(IID_IDirectXFileData, (void **)&data))) {
            data = nullptr;
        }
        child->Release();
        child = nullptr;
        if (data)
            return data;
    }
    return nullptr;
}

int FindFrame(const Model &m, const std::string &name)
{
    for (size_t i = 0; i < m.frames.size(); ++i)
        if (!name.empty() && m.frames[i].name == name)
            return int(i);
    return -1;
}

class Loader {
public:
    // Reads `file` into the model; a clips file gives its animation sets alone.
    Loader(Model &m, IDirect3DDevice9 *device, const std::string &file, bool clipsOnly)
        : m_(m), device_(device), file_(file), clipsOnly_(clipsOnly)
    {
    }

    // The file's AnimTicksPerSecond, wherever in the file it stands.
    DWORD TicksPerSecond() const { return ticksPerSecond_; }

    void Object(IDirectXFileData *d, int frame, bool referenced)
    {
        if (clipsOnly_ && !Is(d, TID_D3DRMAnimationSet) && !Is(d, DXFILEOBJ_AnimTicksPerSecond))
            return;
        if (Is(d, TID_D3DRMFrame) && !referenced) {
            Frame f;
            f.name = NameOf(d);
            f.parent = frame;
            D3DXMatrixIdentity(&f.rest);
            int index = int(m_.frames.size());
            m_.frames.push_back(f);
            bool ref = false;
            while (IDirectXFileData *c = NextChild(d, &ref)) {
                DWORD size = 0;
                void *data = nullptr;
                if (Is(c, TID_D3DRMFrameTransformMatrix) && SUCCEEDED(c->GetData(nullptr, &size, &data)) && size >= 64)
                    memcpy(&m_.frames[size_t(index)].rest, data, 64);
                else
                    Object(c, index, ref);
                c->Release();
            }
        } else if (Is(d, TID_D3DRMMesh)) {
            Mesh(d, frame);
        } else if (Is(d, TID_D3DRMAnimationSet)) {
            Set(d);
        } else if (Is(d, DXFILEOBJ_AnimTicksPerSecond)) {
            DWORD size = 0;
            DWORD *data = nullptr;
            if (SUCCEEDED(d->GetData(nullptr, &size, (void **)&data)) && size >= 4 && data[0] > 0)
                ticksPerSecond_ = data[0];
        }
    }

private:
    IDirect3DTexture9 *Texture(const char *name)
    {
        if (!name || !*name)
            return nullptr;
        std::string n = name;
        bool rooted = n[0] == '\\' || n[0] == '/' || (n.size() > 1 && n[1] == ':');
        if (rooted) {
            size_t cut = n.find_last_of("\\/");
            n = cut == std::string::npos ? n.substr(2) : n.substr(cut + 1);
        }
        IDirect3DTexture9 *t = nullptr;
        if (FAILED(D3DXCreateTextureFromFileA(device_, Beside(m_.folder, n).c_str(), &t)))
            return nullptr;  // the library has said why; the material draws untextured
        return t;
    }

    // The file a relative name means under `folder`: any run of backslashes or slashes is one
    // separator and each component matches whatever case the folder spells it in.  A
    // component found nowhere is kept as written (the load then says it is missing).
    static std::string Beside(const std::string &folder, const std::string &name)
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

    // A mesh the file gives no normals would be lit by the ambient light alone: it gets
    // normals from its faces.  No adjacency is passed, so where the file itself split a
    // vertex (a hard edge) each copy keeps the normal of its own faces.
    void AddNormals(Part &p)
    {
        const DWORD fvf = p.mesh->GetFVF() | D3DFVF_NORMAL;
        ID3DXMesh *lit = nullptr;
        if (FAILED(p.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, fvf, device_, &lit)))
            return;
        if (FAILED(D3DXComputeNormals(lit, nullptr)) || (p.skin && FAILED(p.skin->SetFVF(fvf)))) {
            lit->Release();
            return;
        }
        p.mesh->Release();
        p.mesh = lit;
    }

    void Mesh(IDirectXFileData *d, int frame)
    {
        Part p;
        ID3DXBuffer *materials = nullptr;
        DWORD count = 0;
        if (FAILED(D3DXLoadSkinMeshFromXof(d, D3DXMESH_SYSTEMMEM, device_, nullptr, &materials, nullptr, &count,
                                           &p.skin, &p.mesh)))
            return;  // the library has said why
        p.frame = frame;
        p.name = NameOf(d);
        if (p.mesh->GetFVF() && !(p.mesh->GetFVF() & D3DFVF_NORMAL))
            AddNormals(p);
        const D3DXMATERIAL *mats = materials ? static_cast<const D3DXMATERIAL *>(materials->GetBufferPointer()) : nullptr;
        for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
            D3DMATERIAL9 mat{};
            mat.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
            if (mats && i < count)
                mat = mats[i].MatD3D;
            mat.Ambient = mat.Diffuse;
            p.materials.push_back(mat);
            p.textures.push_back(mats && i < count ? Texture(mats[i].pTextureFilename) : nullptr);
        }
        if (materials)
            materials->Release();
        if (p.skin && p.skin->GetNumBones() > 0) {
            if (FAILED(p.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, p.mesh->GetFVF(), device_, &p.drawn)))
                p.drawn = nullptr;
        }
        if (!p.drawn) {
            p.drawn = p.mesh;
            p.drawn->AddRef();
        }
        m_.parts.push_back(p);
    }

    void Set(IDirectXFileData *d)
    {
        Clip clip;
        clip.name = NameOf(d);
        clip.file = file_;
        bool ref = false;
        while (IDirectXFileData *a = NextChild(d, &ref)) {
            if (Is(a, TID_D3DRMAnimation))
                clip.tracks.push_back(Animation(a, &clip.length));
            a->Release();
        }
        m_.clips.push_back(clip);
    }

    Track Animation(IDirectXFileData *a, DWORD *length)
    {
        Track t;
        IDirectXFileObject *child = nullptr;
        while (SUCCEEDED(a->GetNextObject(&child)) && child) {
            IDirectXFileDataReference *ref = nullptr;
            IDirectXFileData *c = nullptr;
            if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
                // The reference's own name is the frame's: the frame may be in another file.
                t.frameName = NameOf(ref);
                if (t.frameName.empty() && SUCCEEDED(ref->Resolve(&c))) {
                    t.frameName = NameOf(c);
                    c->Release();
                }
                ref->Release();
            } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&c))) {
                if (Is(c, TID_D3DRMFrame))
                    t.frameName = NameOf(c);
                else if (Is(c, TID_D3DRMAnimationKey))
                    Keys(c, t, length);
                c->Release();
            }
            child->Release();
            child = nullptr;
        }
        return t;
    }

    static void Keys(IDirectXFileData *c, Track &t, DWORD *length)
    {
        DWORD size = 0;
        DWORD *data = nullptr;
        if (FAILED(c->GetData(nullptr, &size, (void **)&data)) || size < 8)
            return;
        DWORD words = size / 4, type = data[0], n = data[1], at = 2;
        for (DWORD k = 0; k < n && at + 2 <= words; ++k) {
            DWORD time = data[at], values = data[at + 1];
            const float *v = reinterpret_cast<const float *>(data + at + 2);
            if (at + 2 + values > words)
                break;
            *length = std::max(*length, time);
            if (type == 0 && values >= 4)
                t.rotation.push_back({time, D3DXQUATERNION(v[1], v[2], v[3], v[0])});
            else if (type == 1 && values >= 3)
                t.scale.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            else if (type == 2 && values >= 3)
                t.position.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            else if (type == 4 && values >= 16)
                t.matrix.push_back({time, D3DXMATRIX(v)});
            at += 2 + values;
        }
    }

    Model &m_;
    IDirect3DDevice9 *device_;
    std::string file_;
    bool clipsOnly_;
    DWORD ticksPerSecond_ = 4800;
};

// Reads one file into the model: all of it, or its animation sets alone.
void Read(Model &m, IDirect3DDevice9 *device, const std::string &name, bool clipsOnly)
{
    IDirectXFile *file = nullptr;
    if (FAILED(DirectXFileCreate(&file)))
        return;
    IDirectXFileEnumObject *objects = nullptr;
    if (SUCCEEDED(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES)) &&
        SUCCEEDED(file->RegisterTemplates((void *)kExtensionTemplates, DWORD(sizeof kExtensionTemplates - 1))) &&
        SUCCEEDED(file->CreateEnumObject((void *)name.c_str(), DXFILELOAD_FROMFILE, &objects))) {
        Loader loader(m, device, name, clipsOnly);
        const size_t firstClip = m.clips.size();
        IDirectXFileData *d = nullptr;
        while (SUCCEEDED(objects->GetNextDataObject(&d)) && d) {
            loader.Object(d, -1, false);
            d->Release();
            d = nullptr;
        }
        objects->Release();
        for (size_t i = firstClip; i < m.clips.size(); ++i)
            m.clips[i].ticksPerSecond = loader.TicksPerSecond();
    }
    file->Release();
}

// The model file, then the animation sets of each clips file, played on the model's frames.
// The skinned mesh converted for the device's indexed blending; false (and one line) when
// it cannot be.
bool ConvertForBlending(Part &p, IDirect3DDevice9 *device, const std::string &file)
{
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    p.paletteSize = std::min<DWORD>(caps.MaxVertexBlendMatrixIndex + 1, p.skin->GetNumBones());
    if (caps.MaxVertexBlendMatrices >= 4 &&
        SUCCEEDED(p.skin->ConvertToIndexedBlendedMesh(p.mesh, D3DXMESH_MANAGED, p.paletteSize, nullptr, nullptr,
                                                      nullptr, nullptr, &p.vertexInfluences, &p.numCombinations,
                                                      &p.combinations, &p.blended)))
        return true;
    Say(file, "mesh '" + p.name + "': not converted for the device's blending; skinned in software");
    return false;
}

bool Load(Model &m, IDirect3DDevice9 *device, const std::vector<std::string> &clipFiles, bool blend)
{
    Read(m, device, m.file, false);
    for (const std::string &f : clipFiles)
        Read(m, device, f, true);
    for (Clip &c : m.clips)
        for (Track &t : c.tracks) {
            t.frame = FindFrame(m, t.frameName);
            if (t.frame < 0 && !t.frameName.empty())
                Say(c.file, "animation of '" + t.frameName + "' names no frame; not played");
        }
    // Bones are frames by name.
    for (Part &p : m.parts) {
        if (!p.skin)
            continue;
        for (DWORD b = 0; b < p.skin->GetNumBones(); ++b) {
            const char *name = p.skin->GetBoneName(b);
            int f = FindFrame(m, name ? name : "");
            if (f < 0)
                Say(m.file, "mesh '" + p.name + "': bone '" + (name ? name : "") +
                                "' names no frame; skipped (its vertices keep their rest place)");
            p.boneFrames.push_back(f);
        }
        p.boneMatrices.resize(p.boneFrames.size());
        if (blend && p.drawn != p.mesh)
            ConvertForBlending(p, device, m.file);
    }
    return !m.parts.empty();
}

// Interpolation of one key track at `t` ticks: the bracketing keys and the fraction.
template <class V>
bool Bracket(const std::vector<Key<V>> &keys, DWORD t, size_t &i, size_t &j, float &s)
{
    if (keys.empty())
        return false;
    i = j = 0;
    s = 0;
    while (j + 1 < keys.size() && keys[j + 1].time <= t)
        ++j;
    i = j;
    if (j + 1 < keys.size() && keys[j].time <= t) {
        j = i + 1;
        s = float(t - keys[i].time) / float(std::max<DWORD>(1, keys[j].time - keys[i].time));
    }
    return true;
}

void Pose(Model &m, const Clip *clip, double seconds)
{
    for (Frame &f : m.frames)
        f.local = f.rest;
    if (clip) {
        DWORD t = DWORD(std::fmod(seconds * clip->ticksPerSecond, double(clip->length + 1)));
        for (const Track &tr : clip->tracks) {
            if (tr.frame < 0)
                continue;
            if (tr.rotation.empty() && tr.scale.empty() && tr.position.empty() && tr.matrix.empty())
                continue;
            D3DXMATRIX out, part;
            D3DXMatrixIdentity(&out);
            size_t i, j;
            float s;
            if (Bracket(tr.scale, t, i, j, s)) {
                D3DXVECTOR3 v;
                D3DXVec3Lerp(&v, &tr.scale[i].value, &tr.scale[j].value, s);
                D3DXMatrixScaling(&part, v.x, v.y, v.z);
                out *= part;
            }
            if (Bracket(tr.rotation, t, i, j, s)) {
                D3DXQUATERNION q;
                D3DXQuaternionSlerp(&q, &tr.rotation[i].value, &tr.rotation[j].value, s);
                D3DXMatrixRotationQuaternion(&part, &q);
                out *= part;
            }
            if (Bracket(tr.position, t, i, j, s)) {
                D3DXVECTOR3 v;
                D3DXVec3Lerp(&v, &tr.position[i].value, &tr.position[j].value, s);
                D3DXMatrixTranslation(&part, v.x, v.y, v.z);
                out *= part;
            }
            if (Bracket(tr.matrix, t, i, j, s)) {
                for (int k = 0; k < 16; ++k)
                    (&part._11)[k] = (&tr.matrix[i].value._11)[k] * (1 - s) + (&tr.matrix[j].value._11)[k] * s;
                out *= part;
            }
            m.frames[size_t(tr.frame)].local = out;
        }
    }
    // Parents come before their children.
    for (Frame &f : m.frames)
        f.combined = f.parent < 0 ? f.local : f.local * m.frames[size_t(f.parent)].combined;
    for (Part &p : m.parts) {
        if (p.drawn == p.mesh)
            continue;
        for (size_t b = 0; b < p.boneFrames.size(); ++b) {
            p.boneMatrices[b] = *p.skin->GetBoneOffsetMatrix(DWORD(b));
            if (p.boneFrames[b] >= 0)
                p.boneMatrices[b] *= m.frames[size_t(p.boneFrames[b])].combined;
            else
                D3DXMatrixIdentity(&p.boneMatrices[b]);  // a skipped bone leaves its share where it rests
        }
        if (p.blended)
            continue;  // the device blends them
        void *src = nullptr, *dst = nullptr;
        if (SUCCEEDED(p.mesh->LockVertexBuffer(D3DLOCK_READONLY, &src))) {
            if (SUCCEEDED(p.drawn->LockVertexBuffer(0, &dst))) {
                p.skin->UpdateSkinnedMesh(p.boneMatrices.data(), nullptr, src, dst);
                p.drawn->UnlockVertexBuffer();
            }
            p.mesh->UnlockVertexBuffer();
        }
    }
}

// The bounding sphere of the rest pose, in world space.
void Bounds(const Model &m, D3DXVECTOR3 *center, float *radius)
{
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const Part &p : m.parts) {
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        if (p.drawn == p.mesh && p.frame >= 0)
            world = m.frames[size_t(p.frame)].combined;
        void *v = nullptr;
        if (FAILED(p.mesh->LockVertexBuffer(D3DLOCK_READONLY, &v)))
            continue;
        DWORD stride = p.mesh->GetNumBytesPerVertex();
        for (DWORD i = 0; i < p.mesh->GetNumVertices(); ++i) {
            D3DXVECTOR3 q;
            D3DXVec3TransformCoord(&q, reinterpret_cast<const D3DXVECTOR3 *>(static_cast<BYTE *>(v) + i * stride), &world);
            D3DXVec3Minimize(&lo, &lo, &q);
            D3DXVec3Maximize(&hi, &hi, &q);
        }
        p.mesh->UnlockVertexBuffer();
    }
    *center = (lo + hi) * 0.5f;
    D3DXVECTOR3 half = (hi - lo) * 0.5f;
    *radius = std::max(D3DXVec3Length(&half), 1e-3f);
}

struct View {
    float yaw = 0.6f, pitch = 0.35f, distance = 3.0f;
    D3DXVECTOR3 center{0, 0, 0};
    float radius = 1;
    bool wireframe = false, bones = false;
};

// The frame tree as lines from each frame's origin to its parent's, over the model.
void RenderBones(IDirect3DDevice9 *device, const Model &m)
{
    struct LineVertex {
        float x, y, z;
        D3DCOLOR color;
    };
    std::vector<LineVertex> lines;
    for (const Frame &f : m.frames) {
        if (f.parent < 0)
            continue;
        const D3DXMATRIX &a = f.combined, &b = m.frames[size_t(f.parent)].combined;
        lines.push_back({b._41, b._42, b._43, D3DCOLOR_XRGB(255, 220, 0)});
        lines.push_back({a._41, a._42, a._43, D3DCOLOR_XRGB(255, 90, 0)});
    }
    if (lines.empty())
        return;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, UINT(lines.size() / 2), lines.data(), sizeof(LineVertex));
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
}

// A converted skinned mesh, one bone combination at a time: its palette of bone matrices as
// the world matrices the vertices' indices name, its material and texture.
void RenderBlended(IDirect3DDevice9 *device, const Part &p)
{
    const auto *combination = static_cast<const D3DXBONECOMBINATION *>(p.combinations->GetBufferPointer());
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_VERTEXBLEND, p.vertexInfluences > 1 ? p.vertexInfluences - 1 : DWORD(D3DVBF_0WEIGHTS));
    for (DWORD c = 0; c < p.numCombinations; ++c) {
        for (DWORD slot = 0; slot < p.paletteSize; ++slot)
            if (combination[c].BoneId[slot] != UINT_MAX)
                device->SetTransform(D3DTS_WORLDMATRIX(slot), &p.boneMatrices[combination[c].BoneId[slot]]);
        const size_t material = std::min<size_t>(combination[c].AttribId, p.materials.size() - 1);
        device->SetMaterial(&p.materials[material]);
        device->SetTexture(0, p.textures[material]);
        p.blended->DrawSubset(c);
    }
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
}

void Render(IDirect3DDevice9 *device, const Model &m, const View &v, ID3DXFont *font = nullptr,
            const std::string &overlay = "")
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(48, 56, 72), 1.0f, 0);
    if (FAILED(device->BeginScene()))
        return;
    D3DXMATRIX view, proj, world;
    D3DXVECTOR3 eye(v.center.x + v.distance * v.radius * std::cos(v.pitch) * std::sin(v.yaw),
                    v.center.y + v.distance * v.radius * std::sin(v.pitch),
                    v.center.z - v.distance * v.radius * std::cos(v.pitch) * std::cos(v.yaw));
    D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &v.center, &up);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, float(kWidth) / float(kHeight), v.radius * 0.01f,
                               v.radius * (v.distance + 2) * 2);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = D3DXVECTOR3(-0.4f, -0.8f, 0.45f);
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(70, 70, 70));
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_FILLMODE, v.wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    for (const Part &p : m.parts) {
        D3DXMatrixIdentity(&world);
        if (p.drawn == p.mesh && p.frame >= 0)
            world = m.frames[size_t(p.frame)].combined;
        device->SetTransform(D3DTS_WORLD, &world);
        if (p.blended) {
            RenderBlended(device, p);
            continue;
        }
        for (size_t i = 0; i < p.materials.size(); ++i) {
            device->SetMaterial(&p.materials[i]);
            device->SetTexture(0, p.textures[i]);
            p.drawn->DrawSubset(DWORD(i));
        }
    }
    device->SetTexture(0, nullptr);
    if (v.bones)
        RenderBones(device, m);
    if (font && !overlay.empty()) {
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        RECT r = {8, 6, 0, 0};
        font->DrawTextA(nullptr, overlay.c_str(), -1, &r, DT_NOCLIP, D3DCOLOR_XRGB(235, 235, 235));
        device->SetRenderState(D3DRS_ZENABLE, TRUE);
    }
    device->EndScene();
}

View *g_view = nullptr;
bool g_next = false, g_pause = false, g_step = false;
bool g_dragging = false;
int g_dragX = 0, g_dragY = 0;

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (msg == WM_KEYDOWN && g_view) {
        switch (wParam) {
        case VK_LEFT: g_view->yaw -= 0.1f; break;
        case VK_RIGHT: g_view->yaw += 0.1f; break;
        case VK_UP: g_view->pitch = std::min(g_view->pitch + 0.1f, 1.5f); break;
        case VK_DOWN: g_view->pitch = std::max(g_view->pitch - 0.1f, -1.5f); break;
        case VK_PRIOR: g_view->distance = std::max(g_view->distance * 0.9f, 0.5f); break;
        case VK_NEXT: g_view->distance *= 1.1f; break;
        case VK_SPACE:
        case 'N': g_next = true; break;
        case 'P': g_pause = !g_pause; break;
        case 'S': g_pause = g_step = true; break;
        case 'W': g_view->wireframe = !g_view->wireframe; break;
        case 'B': g_view->bones = !g_view->bones; break;
        case VK_ESCAPE: PostQuitMessage(0); break;
        }
        return 0;
    }
    // The orbit on the mouse: dragging with the left button turns round the model, the
    // wheel moves nearer or farther.
    if (g_view && (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_MOUSEMOVE)) {
        int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
        if (msg == WM_MOUSEMOVE && g_dragging) {
            g_view->yaw += 0.01f * float(x - g_dragX);
            g_view->pitch = std::max(-1.5f, std::min(1.5f, g_view->pitch + 0.01f * float(y - g_dragY)));
        }
        if (msg != WM_MOUSEMOVE)
            g_dragging = msg == WM_LBUTTONDOWN;
        g_dragX = x, g_dragY = y;
        return 0;
    }
    if (g_view && msg == WM_MOUSEWHEEL) {
        g_view->distance = std::max(0.5f, g_view->distance * (short(HIWORD(wParam)) > 0 ? 0.9f : 1.1f));
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The overlay's lines: the set playing with its length, the time, and the keys.
std::string Overlay(const Model &m, size_t clip, double seconds, bool paused)
{
    char line[256];
    std::string text;
    if (m.clips.empty()) {
        text = "no animation sets\n";
    } else {
        const Clip &c = m.clips[clip];
        snprintf(line, sizeof line, "set %zu of %zu: %s, %.2f s\n", clip + 1, m.clips.size(),
                 c.name.empty() ? "(unnamed)" : c.name.c_str(), double(c.length) / double(c.ticksPerSecond));
        text = line;
        snprintf(line, sizeof line, "time %.2f s%s\n", seconds, paused ? ", paused" : "");
        text += line;
    }
    return text + "Space: next set  P: pause  S: step  W: wireframe  B: bones  drag, wheel, arrows: orbit";
}

int Usage()
{
    fprintf(stderr,
            "usage: xview [--shot OUT.png [--set NAME] [--time SECONDS]] [--clips CLIPS.x]... [--blend] FILE.x\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string shot, setName, file;
    std::vector<std::string> clipFiles;
    double time = 0;
    bool blend = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--blend") {
            blend = true;
        } else if ((a == "--shot" || a == "--set" || a == "--time" || a == "--clips") && i + 1 < argc) {
            std::string value = argv[++i];
            if (a == "--shot")
                shot = value;
            else if (a == "--clips")
                clipFiles.push_back(value);
            else if (a == "--set")
                setName = value;
            else {
                char *end = nullptr;
                time = strtod(value.c_str(), &end);
                if (!end || *end || time < 0)
                    return Usage();
            }
        } else if (a.empty() || a[0] == '-' || !file.empty()) {
            return Usage();
        } else {
            file = a;
        }
    }
    if (file.empty() || ((!setName.empty() || time > 0) && shot.empty()))
        return Usage();

    // A picture is the renderer's capture of the first presented frame, in a fresh folder.
    std::string captureFolder;
    if (!shot.empty()) {
        char pattern[] = "/tmp/xviewXXXXXX";
        if (!mkdtemp(pattern))
            return 1;
        captureFolder = pattern;
        setenv("TAVROK_CAPTURE", captureFolder.c_str(), 1);
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = "xview";
    if (!RegisterClassExA(&wc))
        return 1;
    HWND hWnd = CreateWindowExA(0, "xview", ("xview - " + file).c_str(), WS_OVERLAPPEDWINDOW, 0, 0, int(kWidth),
                                int(kHeight), nullptr, nullptr, instance, nullptr);
    if (!hWnd)
        return 1;
    ShowWindow(hWnd, SW_SHOWNORMAL);
    IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9 *device = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                         &pp, &device))) {
        Say(file, "no Direct3D device");
        return 1;
    }

    Model model;
    model.file = file;
    size_t cut = file.find_last_of("\\/");
    model.folder = cut == std::string::npos ? "" : file.substr(0, cut + 1);
    int status = 0;
    if (!Load(model, device, clipFiles, blend)) {
        Say(file, "nothing to draw");
        status = 1;
    } else {
        size_t clip = 0;
        if (!setName.empty()) {
            clip = model.clips.size();
            for (size_t i = 0; i < model.clips.size(); ++i)
                if (model.clips[i].name == setName)
                    clip = i;
            if (clip == model.clips.size()) {
                Say(file, "no animation set '" + setName + "'");
                status = 1;
            }
        }
        View view;
        Pose(model, nullptr, 0);
        Bounds(model, &view.center, &view.radius);
        g_view = &view;
        if (status == 0 && !shot.empty()) {
            Pose(model, model.clips.empty() ? nullptr : &model.clips[clip], time);
            Render(device, model, view);
            device->Present(nullptr, nullptr, nullptr, nullptr);
        } else if (status == 0) {
            ID3DXFont *font = nullptr;
            if (FAILED(D3DXCreateFontA(device, -14, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "DejaVu Sans", &font)))
                font = nullptr;  // the viewer goes on without its overlay
            DWORD last = timeGetTime();
            double seconds = 0;
            for (;;) {
                MSG msg;
                if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    if (msg.message == WM_QUIT)
                        break;
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                    continue;
                }
                DWORD now = timeGetTime();
                if (!g_pause)
                    seconds += (now - last) / 1000.0;
                last = now;
                if (g_step)
                    seconds += 1.0 / 30.0;  // one step of a 30 frames a second animation
                g_step = false;
                if (g_next && !model.clips.empty()) {
                    clip = (clip + 1) % model.clips.size();
                    seconds = 0;
                }
                g_next = false;
                const Clip *c = model.clips.empty() ? nullptr : &model.clips[clip];
                Pose(model, c, seconds);
                Render(device, model, view, font, Overlay(model, clip, seconds, g_pause));
                device->Present(nullptr, nullptr, nullptr, nullptr);
            }
            if (font)
                font->Release();
        }
    }
    for (Part &p : model.parts) {
        for (IDirect3DTexture9 *t : p.textures)
            if (t)
                t->Release();
        p.drawn->Release();
        p.mesh->Release();
        if (p.skin)
            p.skin->Release();
        if (p.blended)
            p.blended->Release();
        if (p.combinations)
            p.combinations->Release();
    }
    device->Release();
    d3d->Release();
    DestroyWindow(hWnd);

    if (!captureFolder.empty()) {
        std::string frame = captureFolder + "/frame_000000.png";
        if (status == 0 && rename(frame.c_str(), shot.c_str()) != 0) {
            // Another file system: copy the bytes.
            FILE *in = fopen(frame.c_str(), "rb"), *out = in ? fopen(shot.c_str(), "wb") : nullptr;
            char buf[65536];
            size_t n = 0;
            while (in && out && (n = fread(buf, 1, sizeof buf, in)) > 0)
                fwrite(buf, 1, n, out);
            if (!in || !out) {
                Say(file, "no picture was made for " + shot);
                status = 1;
            }
            if (in)
                fclose(in);
            if (out)
                fclose(out);
            unlink(frame.c_str());
        }
        rmdir(captureFolder.c_str());
    }
    return status;
}
