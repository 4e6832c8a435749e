/*
 * xinfo - prints what an .x file holds: its format, its object tree and a summary.
 *
 * Usage: xinfo <file.x>.  Registers the retained-mode and the extension templates, reads
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
 * Depth is 0 for top-level objects.  Names never contain spaces in files we write; "-"
 * stands for no name.  "corners" is the sum of the faces' index counts; "keys" of a set is
 * the sum of all its animation keys' counts.  The summary lines are parsed by other tests:
 * keep them as they are.  A file that cannot be read gives the library's diagnostic line on
 * stderr and exit status 1; bad usage gives status 2.
 */
#include "xwriter.h"

#include <rmxfguid.h>
#include <tavrok/platform.h>

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

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: xinfo <file.x>\n");
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
