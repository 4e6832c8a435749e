#include "d3dx9/image_files.h"

#include <stb/stb_image_write.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

void Append(void *context, void *data, int size)
{
    auto *out = static_cast<std::vector<uint8_t> *>(context);
    out->insert(out->end(), static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + size);
}

// The pixels as R, G, B (and A) bytes, rows top first.
std::vector<uint8_t> Bytes(const std::vector<uint32_t> &argb, bool alpha)
{
    std::vector<uint8_t> b;
    for (uint32_t p : argb) {
        b.insert(b.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        if (alpha)
            b.push_back(uint8_t(p >> 24));
    }
    return b;
}

}  // namespace

std::vector<uint8_t> EncodeBmp24(const std::vector<uint32_t> &argb, int width, int height)
{
    std::vector<uint8_t> out;
    stbi_write_bmp_to_func(Append, &out, width, height, 3, Bytes(argb, false).data());
    return out;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint32_t> &argb, int width, int height)
{
    std::vector<uint8_t> out;
    stbi_write_jpg_to_func(Append, &out, width, height, 3, Bytes(argb, false).data(), 95);
    return out;
}

std::vector<uint8_t> EncodePngRgba(const std::vector<uint32_t> &argb, int width, int height)
{
    std::vector<uint8_t> out;
    stbi_write_png_to_func(Append, &out, width, height, 4, Bytes(argb, true).data(), width * 4);
    return out;
}

void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    if (!bytes.empty())  // an empty vector's data() may be null, which fwrite does not take
        fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::vector<uint8_t> bytes;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + n);
        fclose(f);
    }
    return bytes;
}

ScratchFolder::ScratchFolder()
{
    char pattern[] = "/tmp/tavrok-d3dx9-XXXXXX";
    path_ = mkdtemp(pattern);
}

ScratchFolder::~ScratchFolder() { std::filesystem::remove_all(path_); }
