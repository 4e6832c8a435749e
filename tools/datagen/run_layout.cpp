/*
 * run_layout.cpp - writes every generated file into the run layout: Data/ (the ninja, its
 * textures and the particle bitmaps), Level01/ (the level and its textures), Particle.vsh
 * and bin/res/icon102.bmp.  A file whose bytes are already on disk is left untouched, so a
 * rebuild does not make everything downstream stale.
 */
#include "model.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace datagen {
namespace {

bool MakeDirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "datagen: %s: cannot create folder: %s\n", part.c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

bool WriteFile(const std::string &path, const std::string &bytes)
{
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == bytes) return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "datagen: %s: cannot write: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool WriteImage(const std::string &path, const Image &image)
{
    std::vector<uint8_t> bmp = EncodeBmp24(image);
    return WriteFile(path, std::string(bmp.begin(), bmp.end()));
}

}  // namespace

bool WriteRunLayout(const std::string &runDir)
{
    const std::string data = runDir + "/Data", level = runDir + "/Level01", res = runDir + "/bin/res";
    if (!MakeDirs(data) || !MakeDirs(level) || !MakeDirs(res)) return false;
    bool ok = true;

    Ninja ninja = BuildNinja();
    ok &= WriteFile(data + "/Ninja.x", WriteTextX(ninja.model));
    for (const NamedImage &t : ninja.textures) ok &= WriteImage(data + "/" + t.file, t.image);
    ok &= WriteImage(data + "/Particle_Smoke.bmp", SmokeBitmap());
    ok &= WriteImage(data + "/Particle_Spare1.bmp", SparkBitmap());

    Level lvl = BuildLevel();
    ok &= WriteFile(level + "/Level.x", WriteTextX(lvl.model));
    for (const NamedImage &t : lvl.textures) ok &= WriteImage(level + "/" + t.file, t.image);

    ok &= WriteFile(runDir + "/Particle.vsh", ParticleShaderSource());
    ok &= WriteImage(res + "/icon102.bmp", IconBitmap());
    return ok;
}

}  // namespace datagen
