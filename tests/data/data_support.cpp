/*
 * data_support.cpp - loading, posing, ray casting and bitmap reading for the data tests.
 */
#include "data_support.h"

#include <assimp/postprocess.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

namespace datatest {

std::string RunDir() { return TAVROK_DATA_RUN_DIR; }
std::string DataPath(const std::string &relative) { return RunDir() + "/" + relative; }

// assimp reads a rotation key (w, x, y, z) as the inverse of the rotation that
// D3DXMatrixRotationQuaternion builds from it, which is how the program reads it; matrix
// keys it reads as the program does.  Both arrive as rotation keys, so the channels that
// came from matrix keys are found in the text and only the others are inverted.
static std::map<const aiScene *, std::set<std::string>> g_matrixTracks;

static std::set<std::string> MatrixKeyedTracks(const std::string &text)
{
    std::set<std::string> out;
    std::regex token(R"(AnimationSet\s+(\w+)|\{\s*(\w+)\s*\}|AnimationKey\s*\{\s*4\s*;)");
    std::string set, frame;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].matched)
            set = (*it)[1];
        else if ((*it)[2].matched)
            frame = (*it)[2];
        else
            out.insert(set + "/" + frame);
    }
    return out;
}

Loaded Load(const std::string &path)
{
    Loaded l;
    l.importer = std::make_unique<Assimp::Importer>();
    l.scene = l.importer->ReadFile(path, aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder);
    if (!l.scene) {
        l.error = l.importer->GetErrorString();
        return l;
    }
    std::string text = ReadText(path);
    if (text.compare(0, 4, "xof ") == 0 && text.compare(8, 3, "txt") == 0)
        g_matrixTracks[l.scene] = MatrixKeyedTracks(text);
    return l;
}

static void Collect(const aiScene *s, const aiNode *n, const aiMatrix4x4 &parent, std::vector<Tri> &out)
{
    aiMatrix4x4 m = parent * n->mTransformation;
    for (unsigned i = 0; i < n->mNumMeshes; ++i) {
        const aiMesh *mesh = s->mMeshes[n->mMeshes[i]];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace &face = mesh->mFaces[f];
            if (face.mNumIndices != 3) continue;
            out.push_back({m * mesh->mVertices[face.mIndices[0]], m * mesh->mVertices[face.mIndices[1]],
                           m * mesh->mVertices[face.mIndices[2]]});
        }
    }
    for (unsigned i = 0; i < n->mNumChildren; ++i) Collect(s, n->mChildren[i], m, out);
}

std::vector<Tri> WorldTriangles(const aiScene *scene, const aiMatrix4x4 &outer)
{
    std::vector<Tri> out;
    Collect(scene, scene->mRootNode, outer, out);
    return out;
}

aiMatrix4x4 LevelPlacement()
{
    aiMatrix4x4 r, t;
    aiMatrix4x4::RotationX(-1.57f, r);
    aiMatrix4x4::Translation(aiVector3D(0, 1.4f, 0), t);
    return t * r;
}

namespace {

// Double-precision vectors for the ray tests, so that rays along a shared edge of two
// triangles are not lost between them.
struct D3 {
    double x, y, z;
    D3(const aiVector3D &v) : x(v.x), y(v.y), z(v.z) {}
    D3(double a, double b, double c) : x(a), y(b), z(c) {}
    D3 operator-(const D3 &o) const { return {x - o.x, y - o.y, z - o.z}; }
};
double Dot(const D3 &a, const D3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 Cross(const D3 &a, const D3 &b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// Ray parameter of the hit of o + t d with the triangle, or -1; edges count as inside.
double RayTriangle(const D3 &o, const D3 &d, const Tri &tri)
{
    const double eps = 1e-9;
    D3 a(tri.a), e1 = D3(tri.b) - a, e2 = D3(tri.c) - a;
    D3 p = Cross(d, e2);
    double det = Dot(e1, p);
    if (std::fabs(det) < 1e-15) return -1;
    D3 s = o - a;
    double u = Dot(s, p) / det;
    if (u < -eps || u > 1 + eps) return -1;
    D3 q = Cross(s, e1);
    double v = Dot(d, q) / det;
    if (v < -eps || u + v > 1 + eps) return -1;
    return Dot(e2, q) / det;
}

}  // namespace

double CastRay(const std::vector<Tri> &tris, const aiVector3D &o, const aiVector3D &d, size_t *hit)
{
    double best = -1;
    D3 od(o), dd(d);
    for (size_t i = 0; i < tris.size(); ++i) {
        double t = RayTriangle(od, dd, tris[i]);
        if (t > 1e-6 && (best < 0 || t < best)) {
            best = t;
            if (hit) *hit = i;
        }
    }
    return best;
}

// Whether the segment p0..p1 meets the triangle (edges count as inside).
static bool SegmentHitsTriangle(const aiVector3D &p0, const aiVector3D &p1, const Tri &t)
{
    double k = RayTriangle(D3(p0), D3(p1) - D3(p0), t);
    return k >= 0 && k <= 1;
}

bool TrianglesTouch(const Tri &p, const Tri &q)
{
    const aiVector3D pe[3][2] = {{p.a, p.b}, {p.b, p.c}, {p.c, p.a}};
    const aiVector3D qe[3][2] = {{q.a, q.b}, {q.b, q.c}, {q.c, q.a}};
    for (const auto &e : pe)
        if (SegmentHitsTriangle(e[0], e[1], q)) return true;
    for (const auto &e : qe)
        if (SegmentHitsTriangle(e[0], e[1], p)) return true;
    return false;
}

const aiAnimation *FindAnimation(const aiScene *scene, const std::string &name)
{
    for (unsigned i = 0; i < scene->mNumAnimations; ++i)
        if (name == scene->mAnimations[i]->mName.C_Str()) return scene->mAnimations[i];
    return nullptr;
}

// The keys on either side of time t (the last one twice past the end) and how far t lies
// between them.
template <typename K> static void KeysAround(const K *keys, unsigned n, double t, unsigned &i, unsigned &j, double &s)
{
    i = 0;
    for (unsigned k = 0; k < n; ++k)
        if (keys[k].mTime <= t + 1e-9) i = k;
    j = i + 1 < n ? i + 1 : i;
    double d = keys[j].mTime - keys[i].mTime;
    s = d > 0 ? std::clamp((t - keys[i].mTime) / d, 0.0, 1.0) : 0;
}

template <typename K> static aiVector3D Lerp(const K *keys, unsigned n, double t, aiVector3D none)
{
    if (!n) return none;
    unsigned i, j;
    double s;
    KeysAround(keys, n, t, i, j, s);
    return keys[i].mValue + (keys[j].mValue - keys[i].mValue) * float(s);
}

bool KeyedByMatrices(const aiScene *scene, const aiAnimation *anim, const std::string &node)
{
    return g_matrixTracks[scene].count(std::string(anim->mName.C_Str()) + "/" + node) > 0;
}

static aiMatrix4x4 Local(const aiScene *scene, const aiNode *n, const aiAnimation *anim, double t)
{
    if (!anim) return n->mTransformation;
    for (unsigned c = 0; c < anim->mNumChannels; ++c) {
        const aiNodeAnim *ch = anim->mChannels[c];
        if (std::string(ch->mNodeName.C_Str()) != n->mName.C_Str()) continue;
        aiQuaternion rot;
        if (ch->mNumRotationKeys) {
            unsigned i, j;
            double s;
            KeysAround(ch->mRotationKeys, ch->mNumRotationKeys, t, i, j, s);
            aiQuaternion::Interpolate(rot, ch->mRotationKeys[i].mValue, ch->mRotationKeys[j].mValue, float(s));
            if (!KeyedByMatrices(scene, anim, ch->mNodeName.C_Str()))
                rot.Conjugate();
        }
        // Scale, then rotation, then translation, as the program does.  (assimp's own
        // scale-rotation-position constructor scales after rotating.)
        aiMatrix4x4 scale, move;
        aiMatrix4x4::Scaling(Lerp(ch->mScalingKeys, ch->mNumScalingKeys, t, aiVector3D(1, 1, 1)), scale);
        aiMatrix4x4::Translation(Lerp(ch->mPositionKeys, ch->mNumPositionKeys, t, aiVector3D(0, 0, 0)), move);
        return move * aiMatrix4x4(rot.GetMatrix()) * scale;
    }
    return n->mTransformation;
}

static void Globals(const aiScene *s, const aiNode *n, const aiMatrix4x4 &parent, const aiAnimation *anim, double t,
                    std::map<std::string, aiMatrix4x4> &out)
{
    aiMatrix4x4 g = parent * Local(s, n, anim, t);
    out[n->mName.C_Str()] = g;
    for (unsigned i = 0; i < n->mNumChildren; ++i) Globals(s, n->mChildren[i], g, anim, t, out);
}

std::map<std::string, aiMatrix4x4> NodeMatrices(const aiScene *scene, const aiAnimation *anim, double time)
{
    std::map<std::string, aiMatrix4x4> g;
    Globals(scene, scene->mRootNode, aiMatrix4x4(), anim, time, g);
    return g;
}

aiMatrix4x4 NodeMatrix(const aiScene *scene, const aiAnimation *anim, double time, const std::string &name)
{
    return NodeMatrices(scene, anim, time)[name];
}

std::vector<aiVector3D> SkinnedVertices(const aiScene *scene, const aiAnimation *anim, double time)
{
    std::map<std::string, aiMatrix4x4> g = NodeMatrices(scene, anim, time);
    std::vector<aiVector3D> out;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh *mesh = scene->mMeshes[m];
        std::vector<aiVector3D> pos(mesh->mNumVertices, aiVector3D(0, 0, 0));
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone *bone = mesh->mBones[b];
            aiMatrix4x4 skin = g[bone->mName.C_Str()] * bone->mOffsetMatrix;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight &vw = bone->mWeights[w];
                pos[vw.mVertexId] += (skin * mesh->mVertices[vw.mVertexId]) * vw.mWeight;
            }
        }
        out.insert(out.end(), pos.begin(), pos.end());
    }
    return out;
}

void Bitmap::At(int x, int y, int &r, int &g, int &b) const
{
    size_t i = (size_t(y) * width + x) * 3;
    r = rgb[i];
    g = rgb[i + 1];
    b = rgb[i + 2];
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

static uint32_t U32(const std::string &s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}

Bitmap ReadBmp(const std::string &path)
{
    Bitmap bmp;
    std::string s = ReadText(path);
    if (s.size() < 54 || s[0] != 'B' || s[1] != 'M') return bmp;
    uint32_t offset = U32(s, 10);
    int32_t w = int32_t(U32(s, 18)), h = int32_t(U32(s, 22));
    int bits = uint8_t(s[28]) | uint8_t(s[29]) << 8;
    if (U32(s, 30) != 0 || (bits != 24 && bits != 32) || w <= 0 || h == 0) return bmp;
    bool bottomUp = h > 0;
    h = std::abs(h);
    size_t stride = (size_t(w) * (bits / 8) + 3) & ~size_t(3);
    if (s.size() < offset + stride * size_t(h)) return bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.bits = bits;
    bmp.rgb.resize(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        size_t row = offset + stride * size_t(bottomUp ? h - 1 - y : y);
        for (int x = 0; x < w; ++x) {
            size_t p = row + size_t(x) * (bits / 8);
            size_t o = (size_t(y) * w + x) * 3;
            bmp.rgb[o] = uint8_t(s[p + 2]);
            bmp.rgb[o + 1] = uint8_t(s[p + 1]);
            bmp.rgb[o + 2] = uint8_t(s[p]);
        }
    }
    bmp.ok = true;
    return bmp;
}

}  // namespace datatest
