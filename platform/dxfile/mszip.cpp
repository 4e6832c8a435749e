/*
 * mszip.cpp - the 16-byte file header and the compressed ("tzip", "bzip") bodies.
 *
 * A header is "xof ", a four-digit version ("0302", "0303"), a format ("txt ", "bin ",
 * "tzip", "bzip") and a float size ("0032", "0064").  A compressed body is a 32-bit total
 * size (the inflated body plus the 16 header bytes), then blocks of: 16-bit inflated size,
 * 16-bit compressed size (counting the "CK" that follows), "CK", raw deflate data.  Each
 * block is a complete deflate stream whose dictionary is the previous block's inflated
 * bytes.  Relies on zlib; holds no state between files.
 */
#include "dxfile_private.h"

#include <zlib.h>

#include <cstring>

namespace tavrok::dxfile {
namespace {

constexpr size_t kBlock = 32768;

[[noreturn]] void Bad(HRESULT code, size_t pos, const std::string &reason)
{
    throw ParseError{code, "byte " + std::to_string(pos), reason};
}

uint16_t U16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

// The 16-byte header into doc.header; throws as ReadHeaderAndBody does.
void ReadHeader(const uint8_t *bytes, size_t size, Document &doc)
{
    if (size < 16)
        Bad(DXFILEERR_BADFILE, size, "expected a 16-byte header \"xof 0302txt 0032\", the file has " +
                                         std::to_string(size) + " bytes");
    if (memcmp(bytes, "xof ", 4) != 0)
        Bad(DXFILEERR_BADFILETYPE, 0, "expected \"xof \" at the start of the file");
    for (int i = 4; i < 8; ++i)
        if (bytes[i] < '0' || bytes[i] > '9')
            Bad(DXFILEERR_BADFILEVERSION, 4, "expected a four-digit version such as 0302");
    if (bytes[4] != '0' || bytes[5] != '3')
        Bad(DXFILEERR_BADFILEVERSION, 4, "expected major version 03, found " + std::string(bytes + 4, bytes + 6));
    doc.header.minor = (bytes[6] - '0') * 10 + (bytes[7] - '0');
    const char *fmt = reinterpret_cast<const char *>(bytes + 8);
    Encoding text = Encoding::Text;
    bool binary;
    if (memcmp(fmt, "txt ", 4) == 0) {
        binary = false;
        doc.header.compressed = false;
    } else if (memcmp(fmt, "bin ", 4) == 0) {
        binary = true;
        doc.header.compressed = false;
    } else if (memcmp(fmt, "tzip", 4) == 0) {
        binary = false;
        doc.header.compressed = true;
    } else if (memcmp(fmt, "bzip", 4) == 0) {
        binary = true;
        doc.header.compressed = true;
    } else {
        Bad(DXFILEERR_BADFILECOMPRESSIONTYPE, 8,
            "expected format \"txt \", \"bin \", \"tzip\" or \"bzip\", found \"" + std::string(fmt, fmt + 4) + "\"");
    }
    const char *floats = reinterpret_cast<const char *>(bytes + 12);
    bool doubles;
    if (memcmp(floats, "0032", 4) == 0)
        doubles = false;
    else if (memcmp(floats, "0064", 4) == 0)
        doubles = true;
    else
        Bad(DXFILEERR_BADFILEFLOATSIZE, 12, "expected float size 0032 or 0064, found \"" + std::string(floats, floats + 4) + "\"");
    doc.header.encoding = !binary ? text : doubles ? Encoding::Binary64 : Encoding::Binary32;
}

}  // namespace

void ReadHeaderAndBody(const uint8_t *bytes, size_t size, Document &doc)
{
    ReadHeader(bytes, size, doc);
    if (doc.header.compressed)
        InflateMszip(bytes + 16, bytes + size, doc.body);
    else
        doc.body.assign(bytes + 16, bytes + size);
}

void ReadHeaderAndBody(Bytes &&bytes, Document &doc)
{
    ReadHeader(bytes.data(), bytes.size(), doc);
    if (doc.header.compressed) {
        InflateMszip(bytes.data() + 16, bytes.data() + bytes.size(), doc.body);
    } else {
        // The header moves out of the way inside the buffer the file was read into: no
        // second buffer of the file's size.
        bytes.erase(bytes.begin(), bytes.begin() + 16);
        doc.body = std::move(bytes);
    }
}

void InflateMszip(const uint8_t *begin, const uint8_t *end, Bytes &out)
{
    const uint8_t *p = begin;
    auto pos = [&] { return size_t(p - begin) + 16; };
    if (end - p < 4)
        Bad(DXFILEERR_BADFILE, pos(), "expected the 32-bit inflated size of a compressed file");
    uint32_t total = uint32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
    p += 4;
    out.clear();
    // The declared size only sizes the reservation, and only up to a few megabytes: a
    // lying size must not make us allocate what the blocks cannot produce.
    out.reserve(size_t(std::min<uint64_t>(total, 4u << 20)));

    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        Bad(DXFILEERR_BADALLOC, pos(), "zlib could not be initialised");
    struct Guard {
        z_stream *z;
        ~Guard() { inflateEnd(z); }
    } guard{&z};

    int block = 0;
    while (p < end) {
        if (end - p < 6)
            Bad(DXFILEERR_BADFILE, pos(), "compressed block " + std::to_string(block) + ": truncated block header");
        uint16_t plain = U16(p);
        uint16_t packed = U16(p + 2);
        if (packed < 2 || size_t(end - (p + 4)) < packed)
            Bad(DXFILEERR_BADFILE, pos(), "compressed block " + std::to_string(block) + ": compressed size " +
                                              std::to_string(packed) + " runs past the end of the file");
        if (p[4] != 'C' || p[5] != 'K')
            Bad(DXFILEERR_BADFILE, pos() + 4, "compressed block " + std::to_string(block) + ": expected \"CK\"");
        if (plain > kBlock)
            Bad(DXFILEERR_BADFILE, pos(), "compressed block " + std::to_string(block) + ": inflated size " +
                                              std::to_string(plain) + " is larger than 32768");
        const uint8_t *data = p + 6;
        size_t dataSize = packed - 2u;

        if (inflateReset(&z) != Z_OK)
            Bad(DXFILEERR_BADFILE, pos(), "zlib reset failed");
        size_t have = out.size();
        if (have > 0) {
            size_t dict = std::min(have, kBlock);
            if (inflateSetDictionary(&z, out.data() + have - dict, uInt(dict)) != Z_OK)
                Bad(DXFILEERR_BADFILE, pos(), "compressed block " + std::to_string(block) + ": dictionary rejected");
        }
        // Each block inflates straight onto the end of the output.
        out.resize(have + plain);
        z.next_in = const_cast<Bytef *>(data);
        z.avail_in = uInt(dataSize);
        z.next_out = out.data() + have;
        z.avail_out = plain;
        int rc = inflate(&z, Z_FINISH);
        if (rc != Z_STREAM_END || z.avail_out != 0)
            Bad(DXFILEERR_BADFILE, pos() + 6, "compressed block " + std::to_string(block) + ": deflate data does not inflate to " +
                                                  std::to_string(plain) + " bytes");
        p = data + dataSize;
        ++block;
    }
    if (total != out.size() + 16 && total != out.size())
        Bad(DXFILEERR_BADFILE, 16, "compressed file declares " + std::to_string(total) + " bytes but its blocks inflate to " +
                                       std::to_string(out.size() + 16));
}

std::vector<uint8_t> DeflateMszip(const std::vector<uint8_t> &in)
{
    std::vector<uint8_t> out;
    uint32_t total = uint32_t(in.size() + 16);
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(total >> (8 * i)));
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> buf(deflateBound(&z, kBlock) + 16);
    for (size_t off = 0; off < in.size(); off += kBlock) {
        size_t n = std::min(kBlock, in.size() - off);
        deflateReset(&z);
        if (off > 0)
            deflateSetDictionary(&z, in.data() + off - kBlock, kBlock);
        z.next_in = const_cast<Bytef *>(in.data() + off);
        z.avail_in = uInt(n);
        z.next_out = buf.data();
        z.avail_out = uInt(buf.size());
        deflate(&z, Z_FINISH);
        size_t packed = buf.size() - z.avail_out + 2;
        out.push_back(uint8_t(n));
        out.push_back(uint8_t(n >> 8));
        out.push_back(uint8_t(packed));
        out.push_back(uint8_t(packed >> 8));
        out.push_back('C');
        out.push_back('K');
        out.insert(out.end(), buf.data(), buf.data() + (packed - 2));
    }
    deflateEnd(&z);
    return out;
}

}  // namespace tavrok::dxfile
