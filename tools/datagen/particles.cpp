/*
 * particles.cpp - the particle vertex shader source, the two particle bitmaps and the
 * program's window icon.
 *
 * The shader expands each particle corner from the particle's centre along the camera's
 * right and up vectors and projects it: inputs v0 centre, v1 corner offset, v2 colour,
 * v3 texture coordinates; constants c0-c3 the transposed view x projection, c4 the camera
 * right, c5 the camera up.  The bitmaps keep an exact black background, which the texture
 * loader's colour key turns transparent.
 */
#include "model.h"

#include <algorithm>

namespace datagen {

std::string ParticleShaderSource()
{
    return "// Particle.vsh - camera-facing particle quads.\n"
           "// v0 = centre (POSITION0), v1 = corner offset sx, sy (POSITION1),\n"
           "// v2 = colour (COLOR0), v3 = texture coordinates (TEXCOORD0).\n"
           "// c0..c3 = transposed view x projection, c4 = camera right, c5 = camera up.\n"
           "vs_1_1\n"
           "dcl_position0 v0\n"
           "dcl_position1 v1\n"
           "dcl_color0 v2\n"
           "dcl_texcoord0 v3\n"
           "mov r0, v0\n"
           "mad r0.xyz, c4.xyz, v1.x, r0.xyz\n"
           "mad r0.xyz, c5.xyz, v1.y, r0.xyz\n"
           "dp4 oPos.x, r0, c0\n"
           "dp4 oPos.y, r0, c1\n"
           "dp4 oPos.z, r0, c2\n"
           "dp4 oPos.w, r0, c3\n"
           "mov oD0, v2\n"
           "mov oT0.xy, v3\n";
}

// A soft round puff: bright centre, ragged noisy edge, exact black outside.
Image SmokeBitmap()
{
    const int n = 64;
    Image img(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double dx = (x + 0.5 - n / 2.0) / (n / 2.0), dy = (y + 0.5 - n / 2.0) / (n / 2.0);
            double r = std::sqrt(dx * dx + dy * dy);
            double edge = 0.80 + 0.18 * (Fbm2(x / 6.0, y / 6.0, 11, 71, 3) - 0.5);
            double k = r < edge ? 1.0 - r / edge : 0.0;
            k = k * k * (3 - 2 * k);
            double puff = 0.75 + 0.25 * Fbm2(x / 4.0, y / 4.0, 16, 73, 3);
            double v = k * puff;
            if (v < 1.5 / 255) v = 0;  // exact black where the puff has faded
            img.Set(x, y, v * 0.92, v * 0.90, v * 0.86);
        }
    return img;
}

// A spark: a white-hot core with a four-pointed flare and an orange glow.
Image SparkBitmap()
{
    const int n = 32;
    Image img(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double dx = (x + 0.5 - n / 2.0) / (n / 2.0), dy = (y + 0.5 - n / 2.0) / (n / 2.0);
            double r = std::sqrt(dx * dx + dy * dy);
            double core = std::max(0.0, 1.0 - r / 0.25);
            double flare = std::max(0.0, 1.0 - r / 0.85) * std::max(0.0, 1.0 - std::min(std::fabs(dx), std::fabs(dy)) / 0.08);
            double glow = std::max(0.0, 1.0 - r / 0.7);
            glow *= glow;
            double red = std::min(1.0, core + flare + 0.9 * glow);
            double green = std::min(1.0, core + 0.85 * flare + 0.55 * glow);
            double blue = std::min(1.0, core + 0.5 * flare + 0.15 * glow);
            if (std::max({red, green, blue}) < 1.5 / 255) red = green = blue = 0;
            img.Set(x, y, red, green, blue);
        }
    return img;
}

// The window icon: a steel throwing star on a dark red disc.
Image IconBitmap()
{
    const int n = 32;
    Image img(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double dx = x + 0.5 - 16, dy = y + 0.5 - 16;
            double r = std::sqrt(dx * dx + dy * dy);
            double ang = std::atan2(dy, dx) + kPi / 4;
            // Four points: the radius of the star's outline shrinks between the points.
            double a = std::fmod(ang + 2 * kPi, kPi / 2) - kPi / 4;
            double outline = 14.0 - 9.5 * std::fabs(a) / (kPi / 4);
            double red = 0.05, green = 0.05, blue = 0.07;
            if (r < 15.5) { red = 0.45; green = 0.06; blue = 0.06; }
            if (r < outline) {
                double shade = 0.65 + 0.3 * (dx - dy) / 28.0;
                red = green = blue = shade;
                blue += 0.05;
            }
            if (r < 2.5) { red = 0.1; green = 0.1; blue = 0.12; }  // the hole in the middle
            img.Set(x, y, red, green, blue);
        }
    return img;
}

}  // namespace datagen
