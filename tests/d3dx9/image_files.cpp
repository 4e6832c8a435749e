#include "d3dx9/image_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

void Put16(std::vector<uint8_t> &b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(std::vector<uint8_t> &b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
void Put32Be(std::vector<uint8_t> &b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(uint8_t(v >> s));
}

uint32_t Crc32(const uint8_t *p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

void Chunk(std::vector<uint8_t> &png, const char *type, const std::vector<uint8_t> &data)
{
    Put32Be(png, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    Put32Be(png, Crc32(body.data(), body.size()));
}

}  // namespace

std::vector<uint8_t> EncodeBmp24(const std::vector<uint32_t> &argb, int width, int height)
{
    int stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, uint32_t(54 + stride * height));
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));  // positive: rows stored bottom first
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t p = argb[size_t(y) * width + x];
            b.push_back(uint8_t(p)), b.push_back(uint8_t(p >> 8)), b.push_back(uint8_t(p >> 16));
        }
        for (int pad = width * 3; pad < stride; ++pad)
            b.push_back(0);
    }
    return b;
}

std::vector<uint8_t> EncodePngRgba(const std::vector<uint32_t> &argb, int width, int height)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    Put32Be(header, uint32_t(width));
    Put32Be(header, uint32_t(height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, no interlace
    Chunk(png, "IHDR", header);

    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            uint32_t p = argb[size_t(y) * width + x];
            raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw)
        a = (a + v) % 65521, b = (b + a) % 65521;
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        Put16(z, uint32_t(n));
        Put16(z, uint32_t(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        if (last)
            break;
    }
    Put32Be(z, (b << 16) | a);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
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

ScratchFolder::ScratchFolder()
{
    char pattern[] = "/tmp/tavrok-d3dx9-XXXXXX";
    path_ = mkdtemp(pattern);
}

ScratchFolder::~ScratchFolder() { std::filesystem::remove_all(path_); }
