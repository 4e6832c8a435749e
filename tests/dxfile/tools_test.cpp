// xinfo's summary against assimp on the same files, in every encoding; xinfo's failure
// report; xconv's determinism.
#include "dx_test_util.h"
#include "xwriter.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace dxtest;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun Tool(const std::string &args)
{
    static int counter = 0;
    fs::path base = fs::temp_directory_path() / ("dxfile_tool_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::string cmd = args + " >" + base.string() + ".out 2>" + base.string() + ".err";
    ToolRun r;
    int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::vector<uint8_t> o = ReadFile(base.string() + ".out"), e = ReadFile(base.string() + ".err");
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    fs::remove(base.string() + ".out");
    fs::remove(base.string() + ".err");
    return r;
}

// xinfo's summary lines, split into words.
std::vector<std::vector<std::string>> Summary(const std::string &out, const std::string &kind)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        std::string s;
        while (words >> s)
            w.push_back(s);
        if (w.size() >= 2 && w[0] == "summary" && w[1] == kind)
            rows.push_back(std::vector<std::string>(w.begin() + 2, w.end()));
    }
    return rows;
}

void Nodes(const aiNode *n, std::vector<std::string> &names)
{
    names.push_back(n->mName.C_Str());
    for (unsigned i = 0; i < n->mNumChildren; ++i)
        Nodes(n->mChildren[i], names);
}

// Compares what xinfo says about `path` with what assimp reads from it.
void CompareWithAssimp(const std::string &path)
{
    ToolRun r = Tool(std::string(XINFO_PATH) + " " + path);
    ASSERT_EQ(r.status, 0) << r.err;
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    // Frames: the node tree, in the same depth-first order.
    std::vector<std::string> nodes;
    Nodes(scene->mRootNode, nodes);
    auto frames = Summary(r.out, "frame");
    ASSERT_EQ(frames.size(), nodes.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i][0], nodes[i]);

    // Meshes, in order: faces, vertices (our files share no vertices, so assimp's
    // per-corner vertices equal the file's), bones and their weight counts.
    auto meshes = Summary(r.out, "mesh");
    auto bones = Summary(r.out, "bone");
    ASSERT_EQ(meshes.size(), scene->mNumMeshes);
    size_t bone = 0;
    for (size_t i = 0; i < meshes.size(); ++i) {
        const aiMesh *m = scene->mMeshes[i];
        EXPECT_EQ(std::stoul(meshes[i][2]), m->mNumVertices);
        EXPECT_EQ(std::stoul(meshes[i][4]), m->mNumFaces);
        EXPECT_EQ(std::stoul(meshes[i][6]), m->mNumVertices);
        ASSERT_EQ(std::stoul(meshes[i][8]), m->mNumBones);
        for (unsigned b = 0; b < m->mNumBones; ++b, ++bone) {
            ASSERT_LT(bone, bones.size());
            EXPECT_EQ(bones[bone][1], m->mBones[b]->mName.C_Str());
            EXPECT_EQ(std::stoul(bones[bone][3]), m->mBones[b]->mNumWeights);
        }
    }

    // Animation sets by name; each animation is a channel of its frame.  Matrix keys
    // become position, rotation and scale keys in assimp; a track the file lacks is
    // filled by assimp with at most one default key.
    auto sets = Summary(r.out, "animationset");
    auto anims = Summary(r.out, "animation");
    ASSERT_EQ(sets.size(), scene->mNumAnimations);
    std::map<std::string, const aiAnimation *> byName;
    for (unsigned i = 0; i < scene->mNumAnimations; ++i) {
        std::string name = scene->mAnimations[i]->mName.C_Str();
        byName[name.empty() ? "-" : name] = scene->mAnimations[i];  // xinfo's word for no name
    }
    for (const auto &s : sets) {
        ASSERT_EQ(byName.count(s[0]), 1u) << s[0];
        const aiAnimation *a = byName[s[0]];
        EXPECT_EQ(std::stoul(s[2]), a->mNumChannels);
        for (const auto &an : anims) {
            if (an[0] != s[0])
                continue;
            const aiNodeAnim *ch = nullptr;
            for (unsigned c = 0; c < a->mNumChannels; ++c)
                if (an[1] == a->mChannels[c]->mNodeName.C_Str())
                    ch = a->mChannels[c];
            ASSERT_NE(ch, nullptr) << an[1];
            unsigned long rot = std::stoul(an[3]), scale = std::stoul(an[5]), pos = std::stoul(an[7]),
                          mat = std::stoul(an[9]);
            auto check = [](unsigned long ours, unsigned theirs, const char *track) {
                if (ours > 0)
                    EXPECT_EQ(ours, theirs) << track;
                else
                    EXPECT_LE(theirs, 1u) << track;
            };
            check(rot + mat, ch->mNumRotationKeys, "rotation");
            check(scale + mat, ch->mNumScalingKeys, "scale");
            check(pos + mat, ch->mNumPositionKeys, "position");
        }
    }
}

// Positions of every mesh corner as the library reads the file, against assimp's corner
// positions, mesh by mesh in file order (each of our files' meshes has one material, so
// assimp keeps them whole).
void ComparePositionsWithAssimp(const std::string &path)
{
    std::vector<uint8_t> bytes = ReadFile(path);
    tavrok::dxfile::TemplateSet templates;
    tavrok::dxfile::AddStandardTemplates(templates, true);
    tavrok::dxfile::Document doc;
    tavrok::dxfile::LoadDocument(bytes.data(), bytes.size(), templates, doc);
    std::vector<const tavrok::dxfile::Node *> meshes;
    std::vector<const tavrok::dxfile::Node *> stack(doc.top.rbegin(), doc.top.rend());
    while (!stack.empty()) {
        const tavrok::dxfile::Node *n = stack.back();
        stack.pop_back();
        if (n->kind != tavrok::dxfile::Node::Data)
            continue;
        if (IsEqualGUID(n->tmpl->guid, TID_D3DRMMesh))
            meshes.push_back(n);
        stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(meshes.size(), scene->mNumMeshes);
    for (size_t i = 0; i < meshes.size(); ++i) {
        const std::vector<uint8_t> &d = meshes[i]->data;
        auto u32 = [&](size_t at) {
            uint32_t v = 0;
            if (at + 4 <= d.size())
                memcpy(&v, d.data() + at, 4);
            return v;
        };
        uint32_t nVertices = u32(0);
        size_t at = 4 + size_t(nVertices) * 12;
        const aiMesh *m = scene->mMeshes[i];
        ASSERT_EQ(u32(at), m->mNumFaces);
        at += 4;
        for (unsigned f = 0; f < m->mNumFaces; ++f) {
            uint32_t corners = u32(at);
            at += 4;
            ASSERT_EQ(corners, m->mFaces[f].mNumIndices);
            for (uint32_t k = 0; k < corners; ++k, at += 4) {
                uint32_t v = u32(at);
                ASSERT_LT(v, nVertices);
                float p[3];
                memcpy(p, d.data() + 4 + size_t(v) * 12, 12);
                // assimp turns the file's left-handed space into a right-handed one: z
                // negated, every face's corners in the opposite order.
                const aiVector3D &q = m->mVertices[m->mFaces[f].mIndices[corners - 1 - k]];
                EXPECT_EQ(p[0], q.x) << "mesh " << i << " face " << f << " corner " << k;
                EXPECT_EQ(p[1], q.y) << "mesh " << i << " face " << f << " corner " << k;
                EXPECT_EQ(p[2], -q.z) << "mesh " << i << " face " << f << " corner " << k;
            }
        }
    }
}

// Just enough JSON to read xinfo's output: objects, arrays, strings, numbers, literals.
struct JValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    bool flag = false;
    std::string text;
    std::vector<JValue> items;
    std::vector<std::pair<std::string, JValue>> fields;
    const JValue &operator[](const std::string &key) const
    {
        static const JValue none;
        for (const auto &f : fields)
            if (f.first == key)
                return f.second;
        ADD_FAILURE() << "no field " << key;
        return none;
    }
    const JValue &operator[](size_t i) const { return items.at(i); }
    unsigned long U() const { return (unsigned long)number; }
};

struct JParser {
    const std::string &s;
    size_t at = 0;
    bool ok = true;
    void Space()
    {
        while (at < s.size() && isspace((unsigned char)s[at]))
            ++at;
    }
    bool Eat(char c)
    {
        Space();
        if (at < s.size() && s[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    std::string Str()
    {
        std::string out;
        if (!Eat('"'))
            return ok = false, out;
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (c == '\\' && at < s.size()) {
                char e = s[at++];
                if (e == 'u' && at + 4 <= s.size()) {
                    out += char(std::stoi(s.substr(at, 4), nullptr, 16));
                    at += 4;
                } else {
                    out += e == 'n' ? '\n' : e;
                }
            } else {
                out += c;
            }
        }
        ok = ok && Eat('"');
        return out;
    }
    JValue Value()
    {
        JValue v;
        Space();
        if (at >= s.size())
            return ok = false, v;
        char c = s[at];
        if (c == '{') {
            v.kind = JValue::Object;
            ++at;
            if (Eat('}'))
                return v;
            do {
                std::string key = Str();
                ok = ok && Eat(':');
                v.fields.emplace_back(key, Value());
            } while (ok && Eat(','));
            ok = ok && Eat('}');
        } else if (c == '[') {
            v.kind = JValue::Array;
            ++at;
            if (Eat(']'))
                return v;
            do
                v.items.push_back(Value());
            while (ok && Eat(','));
            ok = ok && Eat(']');
        } else if (c == '"') {
            v.kind = JValue::String;
            v.text = Str();
        } else if (s.compare(at, 4, "null") == 0) {
            at += 4;
        } else if (s.compare(at, 4, "true") == 0 || s.compare(at, 5, "false") == 0) {
            v.kind = JValue::Bool;
            v.flag = s[at] == 't';
            at += v.flag ? 4 : 5;
        } else {
            v.kind = JValue::Number;
            size_t used = 0;
            v.number = std::stod(s.substr(at), &used);
            at += used;
        }
        return v;
    }
};

// Parent of every node by name, from assimp's tree.
void Parents(const aiNode *n, std::map<std::string, std::string> &parent)
{
    for (unsigned i = 0; i < n->mNumChildren; ++i) {
        parent[n->mChildren[i]->mName.C_Str()] = n->mName.C_Str();
        Parents(n->mChildren[i], parent);
    }
}

// xinfo --json against assimp: frame tree, mesh counts and bones, animation sets, their
// channels, key counts, ticks per second and lengths.
void CompareJsonWithAssimp(const std::string &path)
{
    ToolRun r = Tool(std::string(XINFO_PATH) + " --json " + path);
    ASSERT_EQ(r.status, 0) << r.err;
    JParser p{r.out};
    JValue doc = p.Value();
    p.Space();
    ASSERT_TRUE(p.ok && p.at == r.out.size()) << "not one JSON value:\n" << r.out;
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    std::map<std::string, std::string> parent;
    Parents(scene->mRootNode, parent);
    const JValue &frames = doc["frames"];
    ASSERT_EQ(frames.items.size(), parent.size() + 1);
    for (const JValue &f : frames.items) {
        if (f["parent"].kind == JValue::Null)
            EXPECT_EQ(f["name"].text, scene->mRootNode->mName.C_Str());
        else
            EXPECT_EQ(f["parent"].text, parent[f["name"].text]) << f["name"].text;
    }
    const JValue &meshes = doc["meshes"];
    ASSERT_EQ(meshes.items.size(), scene->mNumMeshes);
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh *m = scene->mMeshes[i];
        const JValue &j = meshes[i];
        EXPECT_EQ(j["faces"].U(), m->mNumFaces);
        EXPECT_EQ(j["corners"].U(), m->mNumVertices);
        EXPECT_EQ(j["normals"].flag, m->HasNormals());
        EXPECT_EQ(j["textureCoords"].flag, m->HasTextureCoords(0));
        EXPECT_EQ(j["materials"].U(), 1u);
        ASSERT_EQ(j["bones"].items.size(), m->mNumBones);
        for (unsigned b = 0; b < m->mNumBones; ++b) {
            EXPECT_EQ(j["bones"][b]["name"].text, m->mBones[b]->mName.C_Str());
            EXPECT_EQ(j["bones"][b]["weights"].U(), m->mBones[b]->mNumWeights);
        }
    }
    const JValue &sets = doc["animationSets"];
    ASSERT_EQ(sets.items.size(), scene->mNumAnimations);
    for (unsigned i = 0; i < scene->mNumAnimations; ++i) {
        const aiAnimation *a = nullptr;
        for (unsigned k = 0; k < scene->mNumAnimations; ++k)
            if (sets[i]["name"].text == scene->mAnimations[k]->mName.C_Str())
                a = scene->mAnimations[k];
        ASSERT_NE(a, nullptr) << sets[i]["name"].text;
        const JValue &ticks = doc["ticksPerSecond"];
        if (ticks.kind == JValue::Number) {
            EXPECT_EQ(ticks.number, a->mTicksPerSecond);
        }
        EXPECT_EQ(sets[i]["length"].number, a->mDuration);
        const JValue &anims = sets[i]["animations"];
        ASSERT_EQ(anims.items.size(), a->mNumChannels);
        for (const JValue &an : anims.items) {
            const aiNodeAnim *ch = nullptr;
            for (unsigned c = 0; c < a->mNumChannels; ++c)
                if (an["frame"].text == a->mChannels[c]->mNodeName.C_Str())
                    ch = a->mChannels[c];
            ASSERT_NE(ch, nullptr) << an["frame"].text;
            const JValue &keys = an["keys"];
            std::set<int> types;
            for (const JValue &t : an["keyTypes"].items)
                types.insert(int(t.number));
            EXPECT_EQ(types.count(0) > 0, keys["rotation"].U() > 0);
            EXPECT_EQ(types.count(1) > 0, keys["scale"].U() > 0);
            EXPECT_EQ(types.count(2) > 0, keys["position"].U() > 0);
            EXPECT_EQ(types.count(4) > 0, keys["matrix"].U() > 0);
            unsigned long mat = keys["matrix"].U();
            if (keys["rotation"].U() + mat > 0) {
                EXPECT_EQ(keys["rotation"].U() + mat, ch->mNumRotationKeys);
            }
            if (keys["scale"].U() + mat > 0) {
                EXPECT_EQ(keys["scale"].U() + mat, ch->mNumScalingKeys);
            }
            if (keys["position"].U() + mat > 0) {
                EXPECT_EQ(keys["position"].U() + mat, ch->mNumPositionKeys);
            }
        }
    }
}

fs::path TempDir()
{
    fs::path dir = fs::temp_directory_path() / ("dxfile_tools_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(DxTools, XinfoAgreesWithAssimpInEveryEncoding)
{
    fs::path dir = TempDir();
    for (const char *name : {"oracle_meshes.x", "oracle_anim.x", "exporter_style.x", "clips.x"}) {
        SCOPED_TRACE(name);
        CompareWithAssimp(TestFile(name));
        ComparePositionsWithAssimp(TestFile(name));
        CompareJsonWithAssimp(TestFile(name));
        for (const char *fmt : {"txt", "bin32", "bin64", "tzip", "bzip"}) {
            SCOPED_TRACE(fmt);
            std::string out = (dir / (std::string(fmt) + "_" + name)).string();
            ASSERT_EQ(Tool(std::string(XCONV_PATH) + " " + TestFile(name) + " " + out + " " + fmt).status, 0);
            CompareWithAssimp(out);
            ComparePositionsWithAssimp(out);
            CompareJsonWithAssimp(out);
        }
    }
    fs::remove_all(dir);
}

// A file of clips alone, for the bones of another (assimp reads no file without a frame or
// a mesh): every animation names a frame of that other file, with the file's keys.
TEST(DxTools, XinfoReadsClipsForTheFramesOfAnotherFile)
{
    Assimp::Importer importer;
    const aiScene *model = importer.ReadFile(TestFile("clips.x"), 0);
    ASSERT_NE(model, nullptr) << importer.GetErrorString();
    ToolRun r = Tool(std::string(XINFO_PATH) + " --json " + TestFile("clips_only.x"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    JParser p{r.out};
    JValue doc = p.Value();
    ASSERT_TRUE(p.ok) << r.out;
    EXPECT_TRUE(doc["frames"].items.empty());
    EXPECT_TRUE(doc["meshes"].items.empty());
    ASSERT_EQ(doc["animationSets"].items.size(), 1u);
    const JValue &shake = doc["animationSets"][0];
    EXPECT_EQ(shake["name"].text, "Shake");
    EXPECT_EQ(shake["length"].U(), 16u);
    ASSERT_EQ(shake["animations"].items.size(), 2u);
    for (const JValue &a : shake["animations"].items)
        EXPECT_NE(model->mRootNode->FindNode(a["frame"].text.c_str()), nullptr) << a["frame"].text;
    EXPECT_EQ(shake["animations"][0]["keys"]["rotation"].U(), 3u);
    EXPECT_EQ(shake["animations"][1]["keys"]["position"].U(), 2u);
}

TEST(DxTools, XinfoReportsMalformedFilesWithOneLine)
{
    fs::path dir = TempDir();
    fs::path bad = dir / "bad.x";
    {
        std::ofstream f(bad);
        f << "xof 0302txt 0032\nFrame A {\n Mesh { 3; 1.0; }\n}\n";
    }
    ToolRun r = Tool(std::string(XINFO_PATH) + " " + bad.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "dxfile: " + bad.string() + ":3: expected a number, found '}'\n");
    r = Tool(std::string(XINFO_PATH) + " " + (dir / "absent.x").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos);
    EXPECT_EQ(Tool(std::string(XINFO_PATH)).status, 2);
    fs::remove_all(dir);
}

TEST(DxTools, XconvIsDeterministicAndKeepsTheSummary)
{
    fs::path dir = TempDir();
    ToolRun ref = Tool(std::string(XINFO_PATH) + " " + TestFile("skinned.x"));
    ASSERT_EQ(ref.status, 0);
    std::string refSummary = ref.out.substr(ref.out.find('\n'));  // all but the format line
    for (const char *fmt : {"txt", "bin32", "bin64", "tzip", "bzip"}) {
        SCOPED_TRACE(fmt);
        std::string a = (dir / "a.x").string(), b = (dir / "b.x").string();
        ASSERT_EQ(Tool(std::string(XCONV_PATH) + " " + TestFile("skinned.x") + " " + a + " " + fmt).status, 0);
        ASSERT_EQ(Tool(std::string(XCONV_PATH) + " " + a + " " + b + " " + fmt).status, 0);
        EXPECT_EQ(ReadFile(a), ReadFile(b));
        ToolRun info = Tool(std::string(XINFO_PATH) + " " + b);
        EXPECT_EQ(info.out.substr(info.out.find('\n')), refSummary);
    }
    EXPECT_EQ(Tool(std::string(XCONV_PATH) + " in.x out.x zip").status, 2);
    fs::remove_all(dir);
}
