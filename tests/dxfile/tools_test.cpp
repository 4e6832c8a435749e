// xinfo's summary and its JSON against assimp on the same files, in every encoding; xinfo's
// failure report; xconv's determinism.
#include "dx_test_util.h"

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

// Runs a shell command line: its exit status, stdout and stderr.
ToolRun Tool(const std::string &args)
{
    static int counter = 0;
    const std::string err = (fs::temp_directory_path() / ("dxfile_tool_" + std::to_string(::getpid()) + "_" +
                                                          std::to_string(counter++) + ".err")).string();
    ToolRun r;
    FILE *p = popen((args + " 2>" + err).c_str(), "r");
    for (int c; (c = fgetc(p)) != EOF;)
        r.out += char(c);
    const int rc = pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    const std::vector<uint8_t> e = ReadFile(err);
    r.err.assign(e.begin(), e.end());
    fs::remove(err);
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

// Positions of every mesh corner as the library reads the file, against assimp's corner
// positions, mesh by mesh in file order (each of our files' meshes has one material, so
// assimp keeps them whole).
void ComparePositionsWithAssimp(const std::string &path)
{
    std::vector<uint8_t> bytes = ReadFile(path);
    const tavrok::dxfile::Document doc = LoadDoc(bytes, true);
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
        const tavrok::dxfile::Bytes &d = meshes[i]->data;
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

// xinfo --json's leaves, one "<path> <value>" line each, read by json_lines.py (which
// fails on anything but one JSON value).
using Flat = std::map<std::string, std::string>;

Flat JsonOf(const std::string &path)
{
    ToolRun r = Tool(std::string(XINFO_PATH) + " --json " + path + " | python3 " + JSON_LINES_PATH);
    EXPECT_EQ(r.status, 0) << r.err;
    Flat flat;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        size_t space = line.find(' ');
        flat[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return flat;
}

std::string At(const Flat &j, const std::string &key)
{
    auto it = j.find(key);
    EXPECT_NE(it, j.end()) << "no " << key;
    return it == j.end() ? "" : it->second;
}
unsigned long N(const Flat &j, const std::string &key) { return std::stoul("0" + At(j, key)); }

// Parent of every node by name, from assimp's tree.
void Parents(const aiNode *n, std::map<std::string, std::string> &parent)
{
    for (unsigned i = 0; i < n->mNumChildren; ++i) {
        parent[n->mChildren[i]->mName.C_Str()] = n->mName.C_Str();
        Parents(n->mChildren[i], parent);
    }
}

// xinfo --json against assimp: frame tree, mesh counts, attributes and bones, animation
// sets, their channels, key types and counts, ticks per second and lengths.
void CompareJsonWithAssimp(const std::string &path)
{
    Flat j = JsonOf(path);
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    std::map<std::string, std::string> parent;
    Parents(scene->mRootNode, parent);
    ASSERT_EQ(N(j, "frames.size"), parent.size() + 1);
    for (size_t i = 0; i <= parent.size(); ++i) {
        const std::string f = "frames." + std::to_string(i) + ".";
        const std::string name = At(j, f + "name"), up = At(j, f + "parent");
        if (up == "null") {
            EXPECT_EQ(name, scene->mRootNode->mName.C_Str());
        } else {
            EXPECT_EQ(up, parent[name]) << name;
        }
    }
    ASSERT_EQ(N(j, "meshes.size"), scene->mNumMeshes);
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh *m = scene->mMeshes[i];
        const std::string k = "meshes." + std::to_string(i) + ".";
        EXPECT_EQ(N(j, k + "faces"), m->mNumFaces);
        EXPECT_EQ(N(j, k + "corners"), m->mNumVertices);
        EXPECT_EQ(At(j, k + "normals"), m->HasNormals() ? "true" : "false");
        EXPECT_EQ(At(j, k + "textureCoords"), m->HasTextureCoords(0) ? "true" : "false");
        EXPECT_EQ(N(j, k + "materials"), 1u);
        ASSERT_EQ(N(j, k + "bones.size"), m->mNumBones);
        for (unsigned b = 0; b < m->mNumBones; ++b) {
            const std::string bone = k + "bones." + std::to_string(b) + ".";
            EXPECT_EQ(At(j, bone + "name"), m->mBones[b]->mName.C_Str());
            EXPECT_EQ(N(j, bone + "weights"), m->mBones[b]->mNumWeights);
        }
    }
    ASSERT_EQ(N(j, "animationSets.size"), scene->mNumAnimations);
    for (unsigned i = 0; i < scene->mNumAnimations; ++i) {
        const std::string s = "animationSets." + std::to_string(i) + ".";
        const aiAnimation *a = nullptr;
        for (unsigned k = 0; k < scene->mNumAnimations; ++k)
            if (At(j, s + "name") == scene->mAnimations[k]->mName.C_Str())
                a = scene->mAnimations[k];
        ASSERT_NE(a, nullptr) << At(j, s + "name");
        if (At(j, "ticksPerSecond") != "null") {
            EXPECT_EQ(std::stod(At(j, "ticksPerSecond")), a->mTicksPerSecond);
        }
        EXPECT_EQ(std::stod(At(j, s + "length")), a->mDuration);
        ASSERT_EQ(N(j, s + "animations.size"), a->mNumChannels);
        for (unsigned c = 0; c < a->mNumChannels; ++c) {
            const std::string an = s + "animations." + std::to_string(c) + ".";
            const aiNodeAnim *ch = nullptr;
            for (unsigned k = 0; k < a->mNumChannels; ++k)
                if (At(j, an + "frame") == a->mChannels[k]->mNodeName.C_Str())
                    ch = a->mChannels[k];
            ASSERT_NE(ch, nullptr) << At(j, an + "frame");
            std::set<std::string> types;
            for (unsigned long t = 0; t < N(j, an + "keyTypes.size"); ++t)
                types.insert(At(j, an + "keyTypes." + std::to_string(t)));
            const unsigned long mat = N(j, an + "keys.matrix");
            EXPECT_EQ(types.count("4") > 0, mat > 0);
            const struct {
                const char *track, *type;
                unsigned theirs;
            } tracks[] = {{"rotation", "0", ch->mNumRotationKeys},
                          {"scale", "1", ch->mNumScalingKeys},
                          {"position", "2", ch->mNumPositionKeys}};
            for (const auto &t : tracks) {
                const unsigned long ours = N(j, an + "keys." + t.track);
                EXPECT_EQ(types.count(t.type) > 0, ours > 0) << t.track;
                if (ours + mat > 0) {
                    EXPECT_EQ(ours + mat, t.theirs) << t.track;
                }
            }
        }
    }
}

// The summary's word for a name: "-" for none.
std::string Word(const std::string &name) { return name.empty() ? "-" : name; }

// xinfo's summary lines against its JSON for the same file: frames in order, meshes with
// their counts and bones, animation sets and the key counts of each animation.
void CompareSummaryWithJson(const std::string &path)
{
    ToolRun r = Tool(std::string(XINFO_PATH) + " " + path);
    ASSERT_EQ(r.status, 0) << r.err;
    Flat j = JsonOf(path);
    auto frames = Summary(r.out, "frame");
    ASSERT_EQ(frames.size(), N(j, "frames.size"));
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i][0], Word(At(j, "frames." + std::to_string(i) + ".name")));
    auto meshes = Summary(r.out, "mesh"), bones = Summary(r.out, "bone");
    ASSERT_EQ(meshes.size(), N(j, "meshes.size"));
    size_t bone = 0;
    for (size_t i = 0; i < meshes.size(); ++i) {
        // <name> vertices <v> faces <f> corners <c> bones <b>
        const std::string k = "meshes." + std::to_string(i) + ".";
        EXPECT_EQ(meshes[i][2], At(j, k + "vertices"));
        EXPECT_EQ(meshes[i][4], At(j, k + "faces"));
        EXPECT_EQ(meshes[i][6], At(j, k + "corners"));
        ASSERT_EQ(std::stoul(meshes[i][8]), N(j, k + "bones.size"));
        for (unsigned long b = 0; b < N(j, k + "bones.size"); ++b, ++bone) {
            // <mesh> <bone> weights <w>
            ASSERT_LT(bone, bones.size());
            EXPECT_EQ(bones[bone][1], At(j, k + "bones." + std::to_string(b) + ".name"));
            EXPECT_EQ(bones[bone][3], At(j, k + "bones." + std::to_string(b) + ".weights"));
        }
    }
    auto sets = Summary(r.out, "animationset"), anims = Summary(r.out, "animation");
    ASSERT_EQ(sets.size(), N(j, "animationSets.size"));
    size_t anim = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        const std::string s = "animationSets." + std::to_string(i) + ".";
        EXPECT_EQ(sets[i][0], Word(At(j, s + "name")));
        ASSERT_EQ(std::stoul(sets[i][2]), N(j, s + "animations.size"));
        for (unsigned long a = 0; a < N(j, s + "animations.size"); ++a, ++anim) {
            // <set> <frame> rotation <r> scale <s> position <p> matrix <m>
            const std::string k = s + "animations." + std::to_string(a) + ".";
            ASSERT_LT(anim, anims.size());
            EXPECT_EQ(anims[anim][1], Word(At(j, k + "frame")));
            EXPECT_EQ(anims[anim][3], At(j, k + "keys.rotation"));
            EXPECT_EQ(anims[anim][5], At(j, k + "keys.scale"));
            EXPECT_EQ(anims[anim][7], At(j, k + "keys.position"));
            EXPECT_EQ(anims[anim][9], At(j, k + "keys.matrix"));
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

// Every encoding of each file, as xconv writes it, reads in xinfo (its JSON; its summary is
// the original's but for the format line, and the original's says what its JSON says) as in
// assimp; converting that output again in the same encoding gives the very same bytes.
TEST(DxTools, XinfoAgreesWithAssimpInEveryEncodingAndXconvIsDeterministic)
{
    fs::path dir = TempDir();
    for (const char *name : {"oracle_meshes.x", "oracle_anim.x", "exporter_style.x", "clips.x"}) {
        SCOPED_TRACE(name);
        CompareSummaryWithJson(TestFile(name));
        ComparePositionsWithAssimp(TestFile(name));
        CompareJsonWithAssimp(TestFile(name));
        const std::string summary = Tool(std::string(XINFO_PATH) + " " + TestFile(name)).out;
        for (const char *fmt : {"txt", "bin32", "bin64", "tzip", "bzip"}) {
            SCOPED_TRACE(fmt);
            std::string out = (dir / (std::string(fmt) + "_" + name)).string(), again = out + ".again";
            ASSERT_EQ(Tool(std::string(XCONV_PATH) + " " + TestFile(name) + " " + out + " " + fmt).status, 0);
            ASSERT_EQ(Tool(std::string(XCONV_PATH) + " " + out + " " + again + " " + fmt).status, 0);
            EXPECT_EQ(ReadFile(out), ReadFile(again));
            const std::string converted = Tool(std::string(XINFO_PATH) + " " + out).out;
            EXPECT_EQ(converted.substr(converted.find('\n')), summary.substr(summary.find('\n')));
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
    Flat j = JsonOf(TestFile("clips_only.x"));
    EXPECT_EQ(N(j, "frames.size"), 0u);
    EXPECT_EQ(N(j, "meshes.size"), 0u);
    ASSERT_EQ(N(j, "animationSets.size"), 1u);
    EXPECT_EQ(At(j, "animationSets.0.name"), "Shake");
    EXPECT_EQ(N(j, "animationSets.0.length"), 16u);
    ASSERT_EQ(N(j, "animationSets.0.animations.size"), 2u);
    for (const char *a : {"animationSets.0.animations.0.frame", "animationSets.0.animations.1.frame"})
        EXPECT_NE(model->mRootNode->FindNode(At(j, a).c_str()), nullptr) << At(j, a);
    EXPECT_EQ(N(j, "animationSets.0.animations.0.keys.rotation"), 3u);
    EXPECT_EQ(N(j, "animationSets.0.animations.1.keys.position"), 2u);
}

TEST(DxTools, ToolsReportMalformedFilesWithOneLineAndBadUsageWithStatusTwo)
{
    fs::path dir = TempDir();
    fs::path bad = dir / "bad.x";
    std::ofstream(bad) << "xof 0302txt 0032\nFrame A {\n Mesh { 3; 1.0; }\n}\n";
    ToolRun r = Tool(std::string(XINFO_PATH) + " " + bad.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "dxfile: " + bad.string() + ":3: expected a number, found '}'\n");
    r = Tool(std::string(XINFO_PATH) + " " + (dir / "absent.x").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos);
    EXPECT_EQ(Tool(std::string(XINFO_PATH)).status, 2);
    EXPECT_EQ(Tool(std::string(XCONV_PATH) + " in.x out.x zip").status, 2);
    fs::remove_all(dir);
}
