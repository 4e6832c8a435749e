/*
 * math_image.cpp - the generator's maths (matrices, quaternions) and its image helpers:
 * pixel access, value noise for procedural textures, and the BMP and PNG encoders.
 *
 * The encoders write the simplest valid forms: BMP as uncompressed 24-bit rows, bottom row
 * first, padded to four bytes; PNG with stored (uncompressed) deflate blocks, which every
 * viewer reads and which needs no compression library.  Noise is a hashed lattice, so the
 * same inputs give the same bytes on every run and machine.
 */
#include "model.h"

#include <algorithm>
#include <cstddef>

namespace datagen {

Mat4 operator*(const Mat4 &a, const Mat4 &b)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Mat4 Translation(const Vec3 &t)
{
    Mat4 r;
    r.m[3][0] = t.x;
    r.m[3][1] = t.y;
    r.m[3][2] = t.z;
    return r;
}

Mat4 Scaling(const Vec3 &s)
{
    Mat4 r;
    r.m[0][0] = s.x;
    r.m[1][1] = s.y;
    r.m[2][2] = s.z;
    return r;
}

Mat4 RotationX(double a)
{
    Mat4 r;
    double c = std::cos(a), s = std::sin(a);
    r.m[1][1] = c; r.m[1][2] = s;
    r.m[2][1] = -s; r.m[2][2] = c;
    return r;
}

Mat4 RotationY(double a)
{
    Mat4 r;
    double c = std::cos(a), s = std::sin(a);
    r.m[0][0] = c; r.m[0][2] = -s;
    r.m[2][0] = s; r.m[2][2] = c;
    return r;
}

Mat4 RotationZ(double a)
{
    Mat4 r;
    double c = std::cos(a), s = std::sin(a);
    r.m[0][0] = c; r.m[0][1] = s;
    r.m[1][0] = -s; r.m[1][1] = c;
    return r;
}

// Gauss-Jordan with partial pivoting; the generator only inverts well-conditioned matrices.
Mat4 Inverse(const Mat4 &a)
{
    double w[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            w[i][j] = a.m[i][j];
            w[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int c = 0; c < 4; ++c) {
        int p = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(w[r][c]) > std::fabs(w[p][c])) p = r;
        if (p != c)
            for (int j = 0; j < 8; ++j) std::swap(w[c][j], w[p][j]);
        double d = w[c][c];
        for (int j = 0; j < 8; ++j) w[c][j] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == c) continue;
            double f = w[r][c];
            for (int j = 0; j < 8; ++j) w[r][j] -= f * w[c][j];
        }
    }
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = w[i][j + 4];
    return r;
}

Vec3 TransformPoint(const Vec3 &p, const Mat4 &m)
{
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

Vec3 TransformNormal(const Vec3 &n, const Mat4 &m)
{
    return {n.x * m.m[0][0] + n.y * m.m[1][0] + n.z * m.m[2][0],
            n.x * m.m[0][1] + n.y * m.m[1][1] + n.z * m.m[2][1],
            n.x * m.m[0][2] + n.y * m.m[1][2] + n.z * m.m[2][2]};
}

Mat4 MatrixFromQuat(const Quat &q)
{
    Mat4 r;
    r.m[0][0] = 1 - 2 * (q.y * q.y + q.z * q.z);
    r.m[0][1] = 2 * (q.x * q.y + q.z * q.w);
    r.m[0][2] = 2 * (q.x * q.z - q.y * q.w);
    r.m[1][0] = 2 * (q.x * q.y - q.z * q.w);
    r.m[1][1] = 1 - 2 * (q.x * q.x + q.z * q.z);
    r.m[1][2] = 2 * (q.y * q.z + q.x * q.w);
    r.m[2][0] = 2 * (q.x * q.z + q.y * q.w);
    r.m[2][1] = 2 * (q.y * q.z - q.x * q.w);
    r.m[2][2] = 1 - 2 * (q.x * q.x + q.y * q.y);
    return r;
}

Quat QuatFromMatrix(const Mat4 &a)
{
    const auto &m = a.m;
    Quat q;
    double trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0) {
        double s = std::sqrt(trace + 1.0) * 2;
        q.w = 0.25 * s;
        q.x = (m[1][2] - m[2][1]) / s;
        q.y = (m[2][0] - m[0][2]) / s;
        q.z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        double s = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 2;
        q.x = 0.25 * s;
        q.w = (m[1][2] - m[2][1]) / s;
        q.y = (m[0][1] + m[1][0]) / s;
        q.z = (m[2][0] + m[0][2]) / s;
    } else if (m[1][1] > m[2][2]) {
        double s = std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]) * 2;
        q.y = 0.25 * s;
        q.w = (m[2][0] - m[0][2]) / s;
        q.x = (m[0][1] + m[1][0]) / s;
        q.z = (m[1][2] + m[2][1]) / s;
    } else {
        double s = std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]) * 2;
        q.z = 0.25 * s;
        q.w = (m[0][1] - m[1][0]) / s;
        q.x = (m[2][0] + m[0][2]) / s;
        q.y = (m[1][2] + m[2][1]) / s;
    }
    double l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    double sign = q.w < 0 ? -1.0 : 1.0;  // one canonical hemisphere
    q.x *= sign / l; q.y *= sign / l; q.z *= sign / l; q.w *= sign / l;
    return q;
}

// ---- Images -------------------------------------------------------------------------

static uint8_t ToByte(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    return uint8_t(std::lround(v * 255.0));
}

void Image::Set(int x, int y, double r, double g, double b)
{
    size_t i = (size_t(y) * width + x) * 3;
    rgb[i] = ToByte(r);
    rgb[i + 1] = ToByte(g);
    rgb[i + 2] = ToByte(b);
}

void Image::Get(int x, int y, double &r, double &g, double &b) const
{
    size_t i = (size_t(y) * width + x) * 3;
    r = rgb[i] / 255.0;
    g = rgb[i + 1] / 255.0;
    b = rgb[i + 2] / 255.0;
}

static void Put16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

static void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> EncodeBmp24(const Image &image)
{
    uint32_t rowBytes = (uint32_t(image.width) * 3 + 3) & ~3u;
    uint32_t pixelBytes = rowBytes * uint32_t(image.height);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + pixelBytes);  // file size
    Put32(out, 0);                // reserved
    Put32(out, 54);               // offset of the pixels
    Put32(out, 40);               // BITMAPINFOHEADER size
    Put32(out, uint32_t(image.width));
    Put32(out, uint32_t(image.height));  // positive: bottom row first
    Put16(out, 1);                       // planes
    Put16(out, 24);                      // bits a pixel
    Put32(out, 0);                       // BI_RGB
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            size_t i = (size_t(y) * image.width + x) * 3;
            out.push_back(image.rgb[i + 2]);  // stored blue, green, red
            out.push_back(image.rgb[i + 1]);
            out.push_back(image.rgb[i]);
        }
        while (out.size() - start < rowBytes) out.push_back(0);
    }
    return out;
}

static uint32_t Crc32(const uint8_t *data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

static void PutBe32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

static void PngChunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data)
{
    PutBe32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

std::vector<uint8_t> EncodePng(const Image &image)
{
    std::vector<uint8_t> raw;  // filter byte 0, then the row
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        auto row = image.rgb.begin() + std::ptrdiff_t(y) * image.width * 3;
        raw.insert(raw.end(), row, row + image.width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        Put16(z, uint32_t(n));
        Put16(z, uint32_t(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(pos), raw.begin() + std::ptrdiff_t(pos + n));
        pos += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBe32(z, (b << 16) | a);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    PutBe32(ihdr, uint32_t(image.width));
    PutBe32(ihdr, uint32_t(image.height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    PngChunk(out, "IHDR", ihdr);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", {});
    return out;
}

static double Lattice(int x, int y, uint32_t salt)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + salt * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / double(0xFFFFFF);
}

double Noise2(double x, double y, int period, uint32_t salt)
{
    double fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [&](int i, int j) {
        int px = ((ix + i) % period + period) % period;
        int py = ((iy + j) % period + period) % period;
        return Lattice(px, py, salt);
    };
    double a = at(0, 0) + (at(1, 0) - at(0, 0)) * tx;
    double b = at(0, 1) + (at(1, 1) - at(0, 1)) * tx;
    return a + (b - a) * ty;
}

double Fbm2(double x, double y, int period, uint32_t salt, int octaves)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * Noise2(x, y, period, salt + uint32_t(o) * 101u);
        norm += amp;
        x *= 2;
        y *= 2;
        period *= 2;
        amp *= 0.5;
    }
    return sum / norm;
}

}  // namespace datagen
