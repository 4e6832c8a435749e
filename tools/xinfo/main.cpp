/*
 * xinfo - prints what an .x file holds: its format, its object tree and a summary.
 *
 * Usage: xinfo [--json] <file.x>.  Registers the retained-mode and the extension templates, reads
 * the whole file with the dxfile library and prints, one item per line:
 *
 *   format <txt|bin|tzip|bzip> <version, e.g. 0302> <float bits: 32|64>
 *   template <name> <GUID>                      one per template the file declares
 *   object <depth> <template> <name|-> size <data bytes> children <n>
 *   reference <depth> <name|-> <GUID|->          a reference child
 *   summary objects <data objects> references <references> templates <declared>
 *   summary frames <n>
 *   summary frame <name|->                       each frame, in file order
 *   summary meshes <n>
 *   summary mesh <name|-> vertices <v> faces <f> corners <c> bones <b>
 *   summary bone <mesh name|-> <bone name> weights <w>
 *   summary animationsets <n>
 *   summary animationset <name|-> animations <a> keys <k>
 *   summary animation <set name|-> <frame name|-> rotation <r> scale <s> position <p> matrix <m>
 *
 * With --json before the file, one JSON object instead, for programs:
 *
 *   {"file": ..., "format": "txt|bin|tzip|bzip", "version": "0303", "floatBits": 32,
 *    "templates": [declared names], "ticksPerSecond": n or null,
 *    "frames": [{"name", "parent" (name or null), "depth", "transform" (bool), "meshes"}],
 *    "meshes": [{"name", "frame" (name or null), "vertices", "faces", "corners",
 *                "triangles", "materials", "textures": [names], "normals" (bool),
 *                "textureCoords" (bool), "vertexColors" (bool),
 *                "bones": [{"name", "weights"}]}],
 *    "animationSets": [{"name", "length" (last key time in ticks), "animations":
 *                [{"frame", "keyTypes": [0, 1, 2, 4 as present], "keys": {"rotation",
 *                  "scale", "position", "matrix"}, "length"}]}]}
 *
 * Unnamed objects have the name "".  "triangles" counts the faces once split into fans;
 * "materials" is the material list's count (0 without one).
 *
 * Depth is 0 for top-level objects.  Names never contain spaces in files we write; "-"
 * stands for no name.  "corners" is the sum of the faces' index counts; "keys" of a set is
 * the sum of all its animation keys' counts.  The summary lines are parsed by other tests:
 * keep them as they are.  A file that cannot be read gives the library's diagnostic line on
 * stderr and exit status 1; bad usage gives status 2.
 */
#include "xwriter.h"

#include <rmxfguid.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace tavrok::dxfile;

namespace {

const char *NameOr(const std::string &s) { return s.empty() ? "-" : s.c_str(); }

bool Is(const Node &n, const GUID &g) { return n.kind == Node::Data && IsEqualGUID(n.tmpl->guid, g); }

uint32_t U32At(const Node &n, size_t offset)
{
    uint32_t v = 0;
    if (offset + 4 <= n.data.size())
        memcpy(&v, n.data.data() + offset, 4);
    return v;
}

void PrintTree(const Node &n, int depth)
{
    if (n.kind == Node::Reference) {
        printf("reference %d %s %s\n", depth, NameOr(n.refName), n.refHasId ? FormatGuid(n.refId).c_str() : "-");
        return;
    }
    printf("object %d %s %s size %zu children %zu\n", depth, n.tmpl->name.c_str(), NameOr(n.name), n.data.size(),
           n.children.size());
    for (const Node *c : n.children)
        PrintTree(*c, depth + 1);
}

struct MeshInfo {
    std::string name;
    uint32_t vertices = 0, faces = 0;
    uint64_t corners = 0;
    std::vector<std::pair<std::string, uint32_t>> bones;
};

struct AnimInfo {
    std::string frame;
    uint64_t keys[5] = {};  // by key type: rotation, scale, position, (unused), matrix
};

struct SetInfo {
    std::string name;
    std::vector<AnimInfo> animations;
};

MeshInfo ReadMesh(const Node &n)
{
    MeshInfo m;
    m.name = n.name;
    m.vertices = U32At(n, 0);
    size_t at = 4 + size_t(m.vertices) * 12;
    m.faces = U32At(n, at);
    at += 4;
    for (uint32_t f = 0; f < m.faces && at + 4 <= n.data.size(); ++f) {
        uint32_t count = U32At(n, at);
        m.corners += count;
        at += 4 + size_t(count) * 4;
    }
    for (const Node *c : n.children) {
        if (Is(*c, DXFILEOBJ_SkinWeights)) {
            const char *bone = nullptr;
            if (c->data.size() >= sizeof bone)
                memcpy(&bone, c->data.data(), sizeof bone);
            m.bones.emplace_back(bone ? bone : "", U32At(*c, sizeof bone));
        }
    }
    return m;
}

void ReadAnimation(const Document &doc, const Node &n, AnimInfo &a)
{
    for (const Node *c : n.children) {
        if (c->kind == Node::Reference && a.frame.empty()) {
            // A reference by GUID alone names its frame through the object it resolves to.
            const Node *target = doc.Resolve(*c);
            a.frame = target ? target->name : c->refName;
        }
        else if (Is(*c, TID_D3DRMFrame) && a.frame.empty())
            a.frame = c->name;
        else if (Is(*c, TID_D3DRMAnimationKey)) {
            uint32_t type = U32At(*c, 0);
            if (type < 5)
                a.keys[type] += U32At(*c, 4);
        }
    }
}

struct Summary {
    explicit Summary(const Document &d) : doc(d) {}
    const Document &doc;
    size_t objects = 0, references = 0;
    std::vector<std::string> frames;
    std::vector<MeshInfo> meshes;
    std::vector<SetInfo> sets;

    void Visit(const Node &n)
    {
        if (n.kind == Node::Reference) {
            ++references;
            return;
        }
        ++objects;
        if (Is(n, TID_D3DRMFrame))
            frames.push_back(n.name);
        else if (Is(n, TID_D3DRMMesh))
            meshes.push_back(ReadMesh(n));
        else if (Is(n, TID_D3DRMAnimationSet)) {
            SetInfo s;
            s.name = n.name;
            for (const Node *c : n.children)
                if (Is(*c, TID_D3DRMAnimation)) {
                    AnimInfo a;
                    ReadAnimation(doc, *c, a);
                    s.animations.push_back(a);
                }
            sets.push_back(s);
        }
        for (const Node *c : n.children)
            Visit(*c);
    }
};

// ---- the JSON form ----

std::string Json(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char b[8];
            snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string JsonName(const std::string *s) { return s ? Json(*s) : "null"; }

const char *StringAt(const Node &n, size_t offset)
{
    const char *p = nullptr;
    if (offset + sizeof p <= n.data.size())
        memcpy(&p, n.data.data() + offset, sizeof p);
    return p;
}

struct JsonMesh {
    const Node *node;
    const std::string *frame;
};

struct JsonWalk {
    const Document &doc;
    std::string frames, meshes, sets;
    std::vector<JsonMesh> meshList;
    const Node *ticks = nullptr;

    void Add(std::string &list, const std::string &item)
    {
        list += list.empty() ? "\n  " : ",\n  ";
        list += item;
    }

    void Frame(const Node &n, const std::string *parent, int depth)
    {
        bool transform = false;
        size_t meshCount = 0;
        for (const Node *c : n.children) {
            const Node *t = c->kind == Node::Reference ? doc.Resolve(*c) : c;
            if (!t)
                continue;
            if (Is(*t, TID_D3DRMFrameTransformMatrix))
                transform = true;
            if (Is(*t, TID_D3DRMMesh))
                ++meshCount;
        }
        Add(frames, "{\"name\": " + Json(n.name) + ", \"parent\": " + JsonName(parent) +
                        ", \"depth\": " + std::to_string(depth) + ", \"transform\": " + (transform ? "true" : "false") +
                        ", \"meshes\": " + std::to_string(meshCount) + "}");
        for (const Node *c : n.children)
            Visit(*c, &n.name, depth + 1);
    }

    void Mesh(const Node &n, const std::string *frame)
    {
        MeshInfo m = ReadMesh(n);
        uint64_t triangles = 0;
        size_t at = 4 + size_t(m.vertices) * 12 + 4;
        for (uint32_t f = 0; f < m.faces && at + 4 <= n.data.size(); ++f) {
            uint32_t count = U32At(n, at);
            triangles += count >= 3 ? count - 2 : 0;
            at += 4 + size_t(count) * 4;
        }
        uint32_t materials = 0;
        bool normals = false, coords = false, colors = false;
        std::string textures;
        for (const Node *c : n.children) {
            if (Is(*c, TID_D3DRMMeshNormals))
                normals = true;
            else if (Is(*c, TID_D3DRMMeshTextureCoords))
                coords = true;
            else if (Is(*c, TID_D3DRMMeshVertexColors))
                colors = true;
            else if (Is(*c, TID_D3DRMMeshMaterialList)) {
                materials = U32At(*c, 0);
                for (const Node *mc : c->children) {
                    const Node *mat = mc->kind == Node::Reference ? doc.Resolve(*mc) : mc;
                    if (!mat || !Is(*mat, TID_D3DRMMaterial))
                        continue;
                    for (const Node *t : mat->children)
                        if (Is(*t, TID_D3DRMTextureFilename)) {
                            const char *name = StringAt(*t, 0);
                            textures += (textures.empty() ? "" : ", ") + Json(name ? name : "");
                        }
                }
            }
        }
        std::string bones;
        for (const auto &b : m.bones)
            bones += (bones.empty() ? "" : ", ") + std::string("{\"name\": ") + Json(b.first) +
                     ", \"weights\": " + std::to_string(b.second) + "}";
        Add(meshes, "{\"name\": " + Json(m.name) + ", \"frame\": " + JsonName(frame) +
                        ", \"vertices\": " + std::to_string(m.vertices) + ", \"faces\": " + std::to_string(m.faces) +
                        ", \"corners\": " + std::to_string(m.corners) + ", \"triangles\": " + std::to_string(triangles) +
                        ", \"materials\": " + std::to_string(materials) + ", \"textures\": [" + textures + "]" +
                        ", \"normals\": " + (normals ? "true" : "false") + ", \"textureCoords\": " +
                        (coords ? "true" : "false") + ", \"vertexColors\": " + (colors ? "true" : "false") +
                        ", \"bones\": [" + bones + "]}");
    }

    // The last key time of an AnimationKey: type, count, then per key time, value count
    // and values.  Stops at the end of the block.
    static uint32_t KeyLength(const Node &key)
    {
        uint32_t count = U32At(key, 4), last = 0;
        size_t at = 8;
        for (uint32_t k = 0; k < count && at + 8 <= key.data.size(); ++k) {
            last = std::max(last, U32At(key, at));
            at += 8 + size_t(U32At(key, at + 4)) * 4;
        }
        return last;
    }

    void Set(const Node &n)
    {
        std::string animations;
        uint32_t setLength = 0;
        for (const Node *c : n.children) {
            if (!Is(*c, TID_D3DRMAnimation))
                continue;
            AnimInfo a;
            ReadAnimation(doc, *c, a);
            uint32_t length = 0;
            bool present[5] = {};
            for (const Node *k : c->children)
                if (Is(*k, TID_D3DRMAnimationKey)) {
                    length = std::max(length, KeyLength(*k));
                    uint32_t type = U32At(*k, 0);
                    if (type < 5)
                        present[type] = true;
                }
            setLength = std::max(setLength, length);
            std::string types;
            for (int t = 0; t < 5; ++t)
                if (present[t])
                    types += (types.empty() ? "" : ", ") + std::to_string(t);
            animations += std::string(animations.empty() ? "" : ",\n    ") + "{\"frame\": " + Json(a.frame) +
                          ", \"keyTypes\": [" + types + "], \"keys\": {\"rotation\": " + std::to_string(a.keys[0]) +
                          ", \"scale\": " + std::to_string(a.keys[1]) + ", \"position\": " +
                          std::to_string(a.keys[2]) + ", \"matrix\": " + std::to_string(a.keys[4]) +
                          "}, \"length\": " + std::to_string(length) + "}";
        }
        Add(sets, "{\"name\": " + Json(n.name) + ", \"length\": " + std::to_string(setLength) +
                      ", \"animations\": [" + (animations.empty() ? "" : "\n    " + animations) + "]}");
    }

    void Visit(const Node &n, const std::string *frame, int depth)
    {
        if (n.kind == Node::Reference)
            return;
        if (Is(n, TID_D3DRMFrame))
            Frame(n, frame, depth);
        else if (Is(n, TID_D3DRMMesh))
            Mesh(n, frame);
        else if (Is(n, TID_D3DRMAnimationSet))
            Set(n);
        else if (Is(n, DXFILEOBJ_AnimTicksPerSecond) && !ticks)
            ticks = &n;
    }
};

void PrintJson(const Document &doc, const char *file)
{
    const Header &h = doc.header;
    const char *kind = h.encoding == Encoding::Text ? (h.compressed ? "tzip" : "txt") : (h.compressed ? "bzip" : "bin");
    JsonWalk w{doc, {}, {}, {}, {}, nullptr};
    for (const Node *n : doc.top)
        w.Visit(*n, nullptr, 0);
    std::string templates;
    for (const auto &t : doc.declared)
        templates += (templates.empty() ? "" : ", ") + Json(t->name);
    char version[8];
    snprintf(version, sizeof version, "03%02d", h.minor);
    printf("{\"file\": %s, \"format\": \"%s\", \"version\": \"%s\", \"floatBits\": %d,\n", Json(file).c_str(), kind,
           version, h.encoding == Encoding::Binary64 ? 64 : 32);
    printf(" \"templates\": [%s],\n \"ticksPerSecond\": %s,\n", templates.c_str(),
           w.ticks ? std::to_string(U32At(*w.ticks, 0)).c_str() : "null");
    printf(" \"frames\": [%s%s],\n", w.frames.c_str(), w.frames.empty() ? "" : "\n ");
    printf(" \"meshes\": [%s%s],\n", w.meshes.c_str(), w.meshes.empty() ? "" : "\n ");
    printf(" \"animationSets\": [%s%s]}\n", w.sets.c_str(), w.sets.empty() ? "" : "\n ");
}

}  // namespace

int main(int argc, char **argv)
{
    bool json = argc == 3 && strcmp(argv[1], "--json") == 0;
    if (json) {
        argv[1] = argv[2];
        argc = 2;
    }
    if (argc != 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: xinfo [--json] <file.x>\n");
        return 2;
    }
    std::ifstream in(tavrok::ResolvePath(argv[1]), std::ios::binary);
    if (!in) {
        tavrok::Diagnostic("dxfile", argv[1], "", "cannot open the file");
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TemplateSet templates;
    Document doc;
    doc.fileName = argv[1];
    try {
        AddStandardTemplates(templates, true);
        LoadDocument(bytes.data(), bytes.size(), templates, doc);
    } catch (const ParseError &e) {
        Report(argv[1], e);
        return 1;
    }

    if (json) {
        PrintJson(doc, argv[1]);
        return 0;
    }
    const Header &h = doc.header;
    const char *kind = h.encoding == Encoding::Text ? (h.compressed ? "tzip" : "txt") : (h.compressed ? "bzip" : "bin");
    printf("format %s 03%02d %d\n", kind, h.minor, h.encoding == Encoding::Binary64 ? 64 : 32);
    for (const auto &t : doc.declared)
        printf("template %s %s\n", t->name.c_str(), FormatGuid(t->guid).c_str());
    Summary s(doc);
    for (const Node *n : doc.top) {
        PrintTree(*n, 0);
        s.Visit(*n);
    }

    printf("summary objects %zu references %zu templates %zu\n", s.objects, s.references, doc.declared.size());
    printf("summary frames %zu\n", s.frames.size());
    for (const std::string &f : s.frames)
        printf("summary frame %s\n", NameOr(f));
    printf("summary meshes %zu\n", s.meshes.size());
    for (const MeshInfo &m : s.meshes) {
        printf("summary mesh %s vertices %u faces %u corners %llu bones %zu\n", NameOr(m.name), m.vertices, m.faces,
               (unsigned long long)m.corners, m.bones.size());
        for (const auto &b : m.bones)
            printf("summary bone %s %s weights %u\n", NameOr(m.name), NameOr(b.first), b.second);
    }
    printf("summary animationsets %zu\n", s.sets.size());
    for (const SetInfo &set : s.sets) {
        uint64_t keys = 0;
        for (const AnimInfo &a : set.animations)
            for (uint64_t k : a.keys)
                keys += k;
        printf("summary animationset %s animations %zu keys %llu\n", NameOr(set.name), set.animations.size(),
               (unsigned long long)keys);
        for (const AnimInfo &a : set.animations)
            printf("summary animation %s %s rotation %llu scale %llu position %llu matrix %llu\n", NameOr(set.name),
                   NameOr(a.frame), (unsigned long long)a.keys[0], (unsigned long long)a.keys[1],
                   (unsigned long long)a.keys[2], (unsigned long long)a.keys[4]);
    }
    return 0;
}
