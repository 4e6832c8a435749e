// dds_builder.h - DDS files written byte by byte for the texture loader tests: the
// header, and S3TC colour and alpha blocks from their ends and indices.
#ifndef TAVROK_TESTS_D3DX9_DDS_BUILDER_H
#define TAVROK_TESTS_D3DX9_DDS_BUILDER_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

inline void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    if (b.size() < at + 4)
        b.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A DDS header for a 2D image: a four-character code, or (when fourCC is null) an
// uncompressed format of `bits` with the four masks (r, g, b, a; a == 0 for none).
inline std::vector<uint8_t> Header(uint32_t width, uint32_t height, const char *fourCC, uint32_t bits = 0,
                            const uint32_t masks[4] = nullptr)
{
    std::vector<uint8_t> b(128, 0);
    memcpy(b.data(), "DDS ", 4);
    Put32(b, 4, 124);
    Put32(b, 8, 0x1 | 0x2 | 0x4 | 0x1000);  // caps, height, width, pixel format
    Put32(b, 12, height);
    Put32(b, 16, width);
    Put32(b, 28, 1);
    Put32(b, 76, 32);
    if (fourCC) {
        Put32(b, 80, 0x4);
        memcpy(&b[84], fourCC, 4);
    } else {
        Put32(b, 80, 0x40 | (masks[3] ? 0x1 : 0));
        Put32(b, 88, bits);
        for (int i = 0; i < 4; ++i)
            Put32(b, 92 + 4 * i, masks[i]);
    }
    Put32(b, 108, 0x1000);  // DDSCAPS_TEXTURE
    return b;
}

inline void Append(std::vector<uint8_t> &b, std::initializer_list<uint8_t> bytes)
{
    b.insert(b.end(), bytes);
}

// A colour block: two 5:6:5 ends and sixteen 2-bit indices, row by row.
inline void ColourBlock(std::vector<uint8_t> &b, uint16_t c0, uint16_t c1, const int idx[16])
{
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= uint32_t(idx[i]) << (2 * i);
    Append(b, {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), uint8_t(bits), uint8_t(bits >> 8),
               uint8_t(bits >> 16), uint8_t(bits >> 24)});
}

// A DXT5 alpha block: two ends and sixteen 3-bit indices.
inline void AlphaBlock(std::vector<uint8_t> &b, uint8_t a0, uint8_t a1, const int idx[16])
{
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= uint64_t(idx[i]) << (3 * i);
    Append(b, {a0, a1});
    for (int i = 0; i < 6; ++i)
        b.push_back(uint8_t(bits >> (8 * i)));
}


#endif
