/*
 * files_test.cpp - the generator as a whole and its smaller files: a run gives the build's
 * bytes, every texture a model names is there and loadable, the particle bitmaps keep an
 * exact black background, the icon is a 32 x 32 24-bit bitmap, the particle shader (run
 * through a small interpreter) puts each corner where the program expects.
 */
#include "data_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

using namespace datatest;
namespace fs = std::filesystem;

namespace {

// Every file under a folder by its path there ("/Data/Ninja.x"), with its bytes.
std::map<std::string, std::string> ListFiles(const std::string &root)
{
    std::map<std::string, std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out[e.path().string().substr(root.size())] = ReadText(e.path().string());
    return out;
}

std::string TempDir()
{
    char pattern[] = "/tmp/tavrok-datagen-XXXXXX";
    const char *d = mkdtemp(pattern);
    return d ? d : "";
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

TEST(Generator, ARunWritesTheSameBytesAsTheBuildsRun)
{
    // The build made the run layout with the generator; a second run elsewhere must give
    // the very same files.
    std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(std::system((std::string(TAVROK_DATAGEN) + " " + dir).c_str()), 0);
    std::map<std::string, std::string> files = ListFiles(dir);
    EXPECT_GE(files.size(), 10u);
    for (const auto &f : files)
        EXPECT_TRUE(ReadText(RunDir() + f.first) == f.second) << f.first << " differs from the build's";
    for (const char *required : {"/Data/Ninja.x", "/Level01/Level.x", "/Particle.vsh", "/Data/Particle_Smoke.bmp",
                                 "/Data/Particle_Spare1.bmp", "/bin/res/icon102.bmp"})
        EXPECT_EQ(files.count(required), 1u) << required;
    fs::remove_all(dir);

    // A folder that cannot be made is an error, not a crash.
    EXPECT_NE(std::system((std::string(TAVROK_DATAGEN) + " /proc/no-such-place 2>/dev/null").c_str()), 0);
}

TEST(Textures, EveryTextureAModelNamesIsALoadableBitmap)
{
    for (const char *model : {"Data/Ninja.x", "Level01/Level.x"}) {
        Loaded l = Load(DataPath(model));
        ASSERT_NE(l.scene, nullptr) << l.error;
        std::string folder = std::string(model).substr(0, std::string(model).find('/') + 1);
        for (unsigned m = 0; m < l.scene->mNumMaterials; ++m) {
            aiString tex;
            if (l.scene->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &tex) != AI_SUCCESS) continue;
            Bitmap bmp = ReadBmp(DataPath(folder + tex.C_Str()));
            ASSERT_TRUE(bmp.ok) << folder << tex.C_Str();
            EXPECT_TRUE(IsPowerOfTwo(bmp.width) && IsPowerOfTwo(bmp.height)) << tex.C_Str();
        }
    }
}

TEST(Bitmaps, ParticlesHaveExactBlackBackgroundsAndBrightCentres)
{
    for (const char *name : {"Data/Particle_Smoke.bmp", "Data/Particle_Spare1.bmp"}) {
        Bitmap bmp = ReadBmp(DataPath(name));
        ASSERT_TRUE(bmp.ok) << name;
        EXPECT_TRUE(bmp.bits == 24 || bmp.bits == 32);
        // The whole border is keyed out, exact black; a fair share inside too, round a
        // bright centre.
        int r, g, b, black = 0, lit = 0;
        for (int y = 0; y < bmp.height; ++y)
            for (int x = 0; x < bmp.width; ++x) {
                bmp.At(x, y, r, g, b);
                (r | g | b) == 0 ? ++black : ++lit;
                if (x == 0 || y == 0 || x == bmp.width - 1 || y == bmp.height - 1) {
                    EXPECT_EQ(r | g | b, 0) << name << " at " << x << ", " << y;
                }
            }
        EXPECT_GT(black, bmp.width * bmp.height / 5) << name;
        EXPECT_GT(lit, bmp.width * bmp.height / 10) << name;
        bmp.At(bmp.width / 2, bmp.height / 2, r, g, b);
        EXPECT_GT(r + g + b, 3 * 150) << name;
    }
    Bitmap icon = ReadBmp(DataPath("bin/res/icon102.bmp"));
    ASSERT_TRUE(icon.ok);
    EXPECT_EQ(icon.width, 32);
    EXPECT_EQ(icon.height, 32);
    EXPECT_EQ(icon.bits, 24);
    std::map<int, int> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int r, g, b;
            icon.At(x, y, r, g, b);
            colours[r << 16 | g << 8 | b] += 1;
        }
    EXPECT_GE(colours.size(), 4u);
}

namespace {

// A small interpreter for the vertex-shader instructions the particle shader uses (mov, mad,
// dp4), with write masks and swizzles; anything else is an error.
struct ShaderRun {
    std::map<std::string, std::array<float, 4>> reg;  // "v0", "c4", "r0", "oPos", ...
    std::map<std::string, std::string> declared;       // "v1" -> "position1"
    std::string version, error;

    // "r0.xy" as the register's name and its swizzle or mask ("xyzw" when none is written).
    static std::string Split(const std::string &operand, std::string &components)
    {
        const size_t dot = operand.find('.');
        components = dot == std::string::npos ? "xyzw" : operand.substr(dot + 1);
        return operand.substr(0, dot);
    }

    std::array<float, 4> Read(const std::string &operand)
    {
        std::string swz;
        const std::string name = Split(operand, swz);
        while (swz.size() < 4) swz += swz.back();
        if (!reg.count(name)) error = "reads unset register " + name;
        std::array<float, 4> src = reg[name], out;
        for (size_t i = 0; i < 4; ++i) out[i] = src[std::string("xyzw").find(swz[i])];
        return out;
    }

    void Write(const std::string &operand, const std::array<float, 4> &v)
    {
        std::string mask;
        auto &dst = reg[Split(operand, mask)];
        for (char c : mask) dst[std::string("xyzw").find(c)] = v[std::string("xyzw").find(c)];
    }

    void Run(const std::string &source)
    {
        std::istringstream in(source);
        std::string line;
        while (std::getline(in, line)) {
            for (const char *comment : {"//", ";"}) {
                size_t c = line.find(comment);
                if (c != std::string::npos) line = line.substr(0, c);
            }
            for (char &ch : line)
                if (ch == ',') ch = ' ';
            std::istringstream words(line);
            std::string op;
            if (!(words >> op)) continue;
            std::vector<std::string> args;
            for (std::string a; words >> a;) args.push_back(a);
            if (op.rfind("vs_", 0) == 0) {
                version = op;
            } else if (op.rfind("dcl_", 0) == 0 && args.size() == 1) {
                declared[args[0]] = op.substr(4);
            } else if (op == "mov" && args.size() == 2) {
                Write(args[0], Read(args[1]));
            } else if (op == "mad" && args.size() == 4) {
                auto a = Read(args[1]), b = Read(args[2]), c = Read(args[3]);
                std::array<float, 4> r;
                for (size_t i = 0; i < 4; ++i) r[i] = a[i] * b[i] + c[i];
                Write(args[0], r);
            } else if (op == "dp4" && args.size() == 3) {
                auto a = Read(args[1]), b = Read(args[2]);
                float s = 0;
                for (size_t i = 0; i < 4; ++i) s += a[i] * b[i];
                Write(args[0], {s, s, s, s});
            } else {
                error = "unknown instruction: " + line;
            }
        }
    }
};

}  // namespace

TEST(ParticleShader, ExpandsCornersAlongTheCameraAxesAndProjects)
{
    std::string source = ReadText(DataPath("Particle.vsh"));
    ASSERT_FALSE(source.empty());
    ShaderRun run;
    // Inputs as the vertex declaration delivers them: float3 and float2 are widened with
    // 0 and 1, the colour is four floats.
    run.reg["v0"] = {1.5f, 0.25f, -2.0f, 1.0f};  // centre
    run.reg["v1"] = {-0.15f, 0.15f, 0.0f, 1.0f};  // corner offset (sx, sy)
    run.reg["v2"] = {0.2f, 0.4f, 0.6f, 0.8f};     // colour
    run.reg["v3"] = {1.0f, 0.0f, 0.0f, 1.0f};     // texture coordinates
    // c0..c3: rows of a transposed matrix M (column vectors), c4 right, c5 up.
    const float m[4][4] = {{1.2f, 0.1f, 0.0f, 0.5f}, {0.0f, 1.6f, 0.2f, -0.3f}, {0.1f, 0.0f, 1.0f, 2.0f}, {0.0f, 0.0f, 1.0f, 0.0f}};
    for (int r = 0; r < 4; ++r) run.reg["c" + std::to_string(r)] = {m[r][0], m[r][1], m[r][2], m[r][3]};
    run.reg["c4"] = {0.8f, 0.0f, -0.6f, 0.0f};
    run.reg["c5"] = {0.0f, 1.0f, 0.0f, 0.0f};
    run.Run(source);
    ASSERT_TRUE(run.error.empty()) << run.error;
    EXPECT_TRUE(run.version == "vs_1_1" || run.version == "vs_2_0") << run.version;
    EXPECT_EQ(run.declared["v0"], "position0");
    EXPECT_EQ(run.declared["v1"], "position1");
    EXPECT_EQ(run.declared["v2"], "color0");
    EXPECT_EQ(run.declared["v3"], "texcoord0");
    EXPECT_EQ(run.declared.size(), 4u);
    // The corner: centre + right * sx + up * sy, with w = 1, then projected.
    const float p[4] = {1.5f + 0.8f * -0.15f, 0.25f + 0.15f, -2.0f - 0.6f * -0.15f, 1.0f};
    for (int r = 0; r < 4; ++r) {
        float want = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + m[r][3] * p[3];
        EXPECT_NEAR(run.reg["oPos"][size_t(r)], want, 1e-5f) << "component " << r;
    }
    for (size_t i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(run.reg["oD0"][i], run.reg["v2"][i]);
    EXPECT_FLOAT_EQ(run.reg["oT0"][0], 1.0f);
    EXPECT_FLOAT_EQ(run.reg["oT0"][1], 0.0f);
    // No constants beyond the six the program sets.
    for (const auto &r : run.reg) {
        if (r.first[0] == 'c') {
            EXPECT_LE(std::stoi(r.first.substr(1)), 5);
        }
    }
}
