/*
 * ninja.cpp - the character: an 18-bone skeleton, one skinned mesh of lofted body parts
 * (wrapped outfit, hood with an eye slit, red sash, sword in the right hand), its four
 * textures, baked vertex shading, and the five animation sets.
 *
 * Model space: y up, feet on y = 0, facing -z, about 1.1 units tall; the character's right
 * side is -x.  The root frame is the identity (the program applies it twice).  In the bind
 * pose every bone frame is a pure translation, so pose angles are about the model axes:
 * +x swings a hanging limb forward, -x leans the spine forward, +z moves a hanging limb
 * towards +x, +y turns the front towards -x.
 *
 * Clips are authored as a few poses and sampled densely into keys; between poses the
 * angles follow a Catmull-Rom curve.  For every sample the hips' height is solved so that
 * the lower foot rests on the floor.  Rotation keys are used throughout, position keys on
 * every bone (the program replaces a frame's whole matrix), scale keys on the chest while
 * idling (breathing) and matrix keys on the sword during the slash.
 */
#include "loft.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace datagen {
namespace {

enum Bone {
    Hips, Spine, Chest, Neck, Head,
    UpperArmL, ForearmL, HandL, UpperArmR, ForearmR, HandR, Sword,
    ThighL, ShinL, FootL, ThighR, ShinR, FootR,
    BoneCount
};

struct BoneDef {
    const char *name;
    int parent;
    Vec3 joint;  // model-space position in the bind pose
};

const Vec3 kSwordDir = Normalize(Vec3(0, -0.30, -1));

const BoneDef kBones[BoneCount] = {
    {"Hips", -1, {0, 0.56, 0}},
    {"Spine", Hips, {0, 0.66, 0}},
    {"Chest", Spine, {0, 0.78, 0}},
    {"Neck", Chest, {0, 0.915, 0}},
    {"Head", Neck, {0, 0.965, 0}},
    {"UpperArm_L", Chest, {0.155, 0.875, 0}},
    {"Forearm_L", UpperArmL, {0.205, 0.695, 0}},
    {"Hand_L", ForearmL, {0.228, 0.525, -0.005}},
    {"UpperArm_R", Chest, {-0.155, 0.875, 0}},
    {"Forearm_R", UpperArmR, {-0.205, 0.695, 0}},
    {"Hand_R", ForearmR, {-0.228, 0.525, -0.005}},
    {"Katana", HandR, {-0.232, 0.478, -0.02}},
    {"Thigh_L", Hips, {0.085, 0.525, 0}},
    {"Shin_L", ThighL, {0.09, 0.29, 0.005}},
    {"Foot_L", ShinL, {0.095, 0.065, 0.01}},
    {"Thigh_R", Hips, {-0.085, 0.525, 0}},
    {"Shin_R", ThighR, {-0.09, 0.29, 0.005}},
    {"Foot_R", ShinR, {-0.095, 0.065, 0.01}},
};

Vec3 BindOffset(int b)
{
    int p = kBones[b].parent;
    return p < 0 ? kBones[b].joint : kBones[b].joint - kBones[p].joint;
}

enum Materials { Cloth, Hood, Sash, Steel };

// ---- Mesh ---------------------------------------------------------------------------

Station S(Vec3 c, double rx, double rz, Weights w, double v) { return {c, rx, rz, std::move(w), v}; }

Vec3 Mirror(Vec3 p) { return {-p.x, p.y, p.z}; }

void AddTorso(Mesh &m)
{
    // Rings start on the left side (+x), so rx is the half width and rz the half depth.
    LoftStyle st;
    st.segments = 20;
    st.material = Cloth;
    st.side = {1, 0, 0};
    st.u0 = 0;
    st.u1 = 1;
    std::vector<Station> s = {
        S({0, 0.47, 0.005}, 0.100, 0.070, {{Hips, 1}}, 0.48),
        S({0, 0.53, 0.0}, 0.125, 0.085, {{Hips, 1}}, 0.42),
        S({0, 0.60, 0.0}, 0.118, 0.080, {{Hips, 1}}, 0.36),
        S({0, 0.66, 0.0}, 0.108, 0.074, {{Hips, 0.5}, {Spine, 0.5}}, 0.30),
        S({0, 0.72, -0.004}, 0.118, 0.078, {{Spine, 1}}, 0.24),
        S({0, 0.78, -0.008}, 0.135, 0.088, {{Spine, 0.5}, {Chest, 0.5}}, 0.18),
        S({0, 0.84, -0.008}, 0.145, 0.090, {{Chest, 1}}, 0.12),
        S({0, 0.88, -0.004}, 0.140, 0.082, {{Chest, 1}}, 0.07),
        S({0, 0.915, 0.0}, 0.085, 0.065, {{Chest, 0.6}, {Neck, 0.4}}, 0.03),
        S({0, 0.935, 0.0}, 0.050, 0.048, {{Neck, 1}}, 0.0),
    };
    size_t first = m.vertices.size();
    Loft(m, s, st);
    // The sides of the seat follow the thighs and the tops of the shoulders follow the upper
    // arms a little, so that the torso does not tear away from the limbs when they swing.
    auto smooth = [](double t) {
        t = std::clamp(t, 0.0, 1.0);
        return t * t * (3 - 2 * t);
    };
    for (size_t i = first; i < m.vertices.size(); ++i) {
        Vertex &v = m.vertices[i];
        Weights w;
        for (int k = 0; k < kMaxInfluences; ++k)
            if (v.bone[k] >= 0) w.push_back({v.bone[k], v.weight[k]});
        double ax = std::fabs(v.p.x);
        double seat = smooth((0.58 - v.p.y) / 0.10) * smooth(ax / 0.09);
        if (seat > 0) w.push_back({v.p.x > 0 ? ThighL : ThighR, 0.6 * seat});
        double shoulder = smooth((v.p.y - 0.82) / 0.08) * smooth((ax - 0.09) / 0.05);
        if (shoulder > 0) w.push_back({v.p.x > 0 ? UpperArmL : UpperArmR, 0.35 * shoulder});
        SetWeights(v, w);
    }

    // Sash: a red band round the waist, a knot at the back and two hanging tails.
    LoftStyle sash;
    sash.segments = 20;
    sash.material = Sash;
    sash.side = {1, 0, 0};
    Loft(m, {S({0, 0.595, 0.0}, 0.133, 0.094, {{Hips, 1}}, 0.0),
             S({0, 0.630, 0.0}, 0.129, 0.091, {{Hips, 0.75}, {Spine, 0.25}}, 0.5),
             S({0, 0.665, 0.0}, 0.123, 0.088, {{Hips, 0.5}, {Spine, 0.5}}, 1.0)},
         sash);
    LoftStyle knot = sash;
    knot.segments = 10;
    knot.subdivisions = 2;
    Loft(m, {S({0, 0.655, 0.085}, 0.0, 0.0, {{Hips, 1}}, 0.0),
             S({0, 0.645, 0.095}, 0.028, 0.018, {{Hips, 1}}, 0.3),
             S({0, 0.615, 0.100}, 0.030, 0.020, {{Hips, 1}}, 0.6),
             S({0, 0.605, 0.095}, 0.0, 0.0, {{Hips, 1}}, 1.0)},
         knot);
    LoftStyle tail = sash;
    tail.segments = 6;
    tail.side = {1, 0, 0};
    Loft(m, {S({0.012, 0.615, 0.100}, 0.022, 0.005, {{Hips, 1}}, 0.0),
             S({0.030, 0.54, 0.112}, 0.024, 0.005, {{Hips, 1}}, 0.5),
             S({0.045, 0.46, 0.118}, 0.026, 0.004, {{Hips, 1}}, 1.0)},
         tail);
    Loft(m, {S({-0.012, 0.615, 0.100}, 0.022, 0.005, {{Hips, 1}}, 0.0),
             S({-0.025, 0.55, 0.114}, 0.024, 0.005, {{Hips, 1}}, 0.5),
             S({-0.035, 0.485, 0.122}, 0.026, 0.004, {{Hips, 1}}, 1.0)},
         tail);
}

void AddHead(Mesh &m)
{
    LoftStyle neck;
    neck.segments = 16;
    neck.material = Hood;
    neck.u0 = 0;
    neck.u1 = 1;
    Loft(m, {S({0, 0.900, 0}, 0.050, 0.048, {{Chest, 0.5}, {Neck, 0.5}}, 0.97),
             S({0, 0.930, 0}, 0.046, 0.045, {{Neck, 1}}, 0.95),
             S({0, 0.960, 0}, 0.047, 0.046, {{Neck, 0.5}, {Head, 0.5}}, 0.93)},
         neck);

    // The hooded head: an ellipsoid swept from chin to crown; the eye slit is in the texture,
    // centred on the front (-z, u = 0.5).
    const Vec3 c(0, 1.015, -0.004);
    const double rx = 0.078, ry = 0.086, rz = 0.084;
    std::vector<Station> s;
    const int n = 14;
    for (int i = 0; i <= n; ++i) {
        double phi = kPi * (1.0 - double(i) / n);  // pi at the chin, 0 at the crown
        double y = c.y + ry * std::cos(phi);
        Weights w = i < 2 ? Weights{{Neck, 0.3}, {Head, 0.7}} : Weights{{Head, 1}};
        s.push_back(S({c.x, y, c.z}, rx * std::sin(phi), rz * std::sin(phi), w, phi / kPi));
    }
    LoftStyle head;
    head.segments = 20;
    head.subdivisions = 1;
    head.material = Hood;
    head.side = {0, 0, 1};
    Loft(m, s, head);

    // Two cloth tails of the hood's knot, hanging from the back of the head.
    LoftStyle tail;
    tail.segments = 6;
    tail.side = {1, 0, 0};
    tail.material = Hood;
    tail.u0 = 0.9;
    tail.u1 = 1.0;
    for (double side : {1.0, -1.0})
        Loft(m, {S({0.015 * side, 1.035, 0.072}, 0.016, 0.004, {{Head, 1}}, 0.90),
                 S({0.050 * side, 0.965, 0.150}, 0.018, 0.004, {{Head, 1}}, 0.95),
                 S({0.070 * side, 0.905, 0.185}, 0.020, 0.004, {{Head, 1}}, 1.0)},
             tail);
}

void AddArm(Mesh &m, bool left)
{
    int ua = left ? UpperArmL : UpperArmR, fa = left ? ForearmL : ForearmR;
    int hand = left ? HandL : HandR;
    auto P = [&](Vec3 p) { return left ? p : Mirror(p); };
    LoftStyle st;
    st.segments = 12;
    st.material = Cloth;
    st.side = {0, 0, 1};
    // The first ring sits inside the torso, so the shoulder reads as one rounded mass.
    Loft(m, {S(P({0.110, 0.862, 0}), 0.046, 0.046, {{Chest, 0.7}, {ua, 0.3}}, 0.05),
             S(P({0.152, 0.862, 0}), 0.052, 0.051, {{Chest, 0.3}, {ua, 0.7}}, 0.12),
             S(P({0.180, 0.790, 0}), 0.047, 0.046, {{ua, 1}}, 0.30),
             S(P({0.205, 0.695, 0}), 0.040, 0.040, {{ua, 0.5}, {fa, 0.5}}, 0.50),
             S(P({0.217, 0.610, -0.003}), 0.037, 0.036, {{fa, 1}}, 0.70),
             S(P({0.228, 0.525, -0.005}), 0.030, 0.029, {{fa, 0.5}, {hand, 0.5}}, 0.95)},
         st);
    LoftStyle mitten = st;
    mitten.segments = 10;
    mitten.subdivisions = 2;
    mitten.u0 = 0.0;
    mitten.u1 = 0.25;
    Loft(m, {S(P({0.228, 0.530, -0.005}), 0.029, 0.024, {{fa, 0.3}, {hand, 0.7}}, 0.96),
             S(P({0.232, 0.490, -0.008}), 0.034, 0.024, {{hand, 1}}, 0.97),
             S(P({0.235, 0.455, -0.010}), 0.030, 0.021, {{hand, 1}}, 0.98),
             S(P({0.236, 0.432, -0.010}), 0.0, 0.0, {{hand, 1}}, 0.99)},
         mitten);
}

void AddLeg(Mesh &m, bool left)
{
    int th = left ? ThighL : ThighR, sh = left ? ShinL : ShinR, ft = left ? FootL : FootR;
    auto P = [&](Vec3 p) { return left ? p : Mirror(p); };
    LoftStyle st;
    st.segments = 14;
    st.material = Cloth;
    st.side = {0, 0, 1};
    Loft(m, {S(P({0.075, 0.600, 0}), 0.070, 0.072, {{Hips, 0.6}, {th, 0.4}}, 0.00),
             S(P({0.085, 0.525, 0}), 0.073, 0.074, {{Hips, 0.2}, {th, 0.8}}, 0.10),
             S(P({0.087, 0.450, 0}), 0.068, 0.070, {{th, 1}}, 0.22),
             S(P({0.089, 0.370, 0.002}), 0.060, 0.062, {{th, 1}}, 0.34),
             S(P({0.090, 0.290, 0.005}), 0.050, 0.052, {{th, 0.5}, {sh, 0.5}}, 0.48),
             S(P({0.091, 0.220, 0.010}), 0.048, 0.050, {{sh, 1}}, 0.62),
             S(P({0.093, 0.140, 0.010}), 0.040, 0.041, {{sh, 1}}, 0.78),
             S(P({0.094, 0.085, 0.010}), 0.035, 0.036, {{sh, 0.5}, {ft, 0.5}}, 0.90),
             S(P({0.095, 0.060, 0.010}), 0.033, 0.034, {{ft, 1}}, 0.97)},
         st);
    LoftStyle foot;
    foot.segments = 12;
    foot.material = Cloth;
    foot.side = {1, 0, 0};
    foot.u0 = 0.0;
    foot.u1 = 0.3;
    Loft(m, {S(P({0.095, 0.035, 0.055}), 0.022, 0.028, {{ft, 1}}, 0.90),
             S(P({0.095, 0.040, 0.035}), 0.036, 0.040, {{sh, 0.2}, {ft, 0.8}}, 0.92),
             S(P({0.096, 0.040, -0.020}), 0.042, 0.040, {{ft, 1}}, 0.94),
             S(P({0.098, 0.028, -0.080}), 0.042, 0.028, {{ft, 1}}, 0.97),
             S(P({0.100, 0.020, -0.118}), 0.024, 0.020, {{ft, 1}}, 0.99)},
         foot);
}

void AddSword(Mesh &m)
{
    const Vec3 g = kBones[Sword].joint, d = kSwordDir;
    LoftStyle blade;
    blade.segments = 6;
    blade.subdivisions = 2;
    blade.side = {0, 1, 0};  // the blade's width stands in the plane of the swing
    blade.material = Steel;
    blade.u0 = 0.02;
    blade.u1 = 0.48;
    Loft(m, {S(g + d * 0.045, 0.016, 0.0035, {{Sword, 1}}, 0.0),
             S(g + d * 0.50, 0.015, 0.0030, {{Sword, 1}}, 0.8),
             S(g + d * 0.58, 0.011, 0.0025, {{Sword, 1}}, 0.95),
             S(g + d * 0.62, 0.0, 0.0, {{Sword, 1}}, 1.0)},
         blade);
    LoftStyle guard = blade;
    guard.segments = 12;
    guard.subdivisions = 1;
    guard.u0 = 0.76;
    guard.u1 = 0.98;
    Loft(m, {S(g + d * 0.030, 0.0, 0.0, {{Sword, 1}}, 0.0),
             S(g + d * 0.032, 0.033, 0.029, {{Sword, 1}}, 0.3),
             S(g + d * 0.043, 0.033, 0.029, {{Sword, 1}}, 0.7),
             S(g + d * 0.045, 0.0, 0.0, {{Sword, 1}}, 1.0)},
         guard);
    LoftStyle grip = blade;
    grip.segments = 8;
    grip.u0 = 0.52;
    grip.u1 = 0.73;
    Loft(m, {S(g - d * 0.085, 0.013, 0.012, {{Sword, 1}}, 0.0),
             S(g - d * 0.020, 0.012, 0.011, {{Sword, 1}}, 0.6),
             S(g + d * 0.030, 0.012, 0.011, {{Sword, 1}}, 1.0)},
         grip);
}

// Baked shading: a key light from above and behind the character (where the follow camera
// sits) with a soft fill, darkened towards the feet.
void ShadeNinja(Mesh &m)
{
    const Vec3 light = Normalize(Vec3(-0.35, 0.85, 0.45));
    for (Vertex &v : m.vertices) {
        double key = std::max(0.0, Dot(v.n, light));
        double fill = 0.5 + 0.5 * v.n.y;
        double ao = 0.72 + 0.28 * std::clamp(v.p.y / 0.45, 0.0, 1.0);
        double c = std::clamp((0.40 + 0.55 * key + 0.15 * fill) * ao, 0.0, 1.0);
        v.c = {c, c, c, 1.0};
    }
}

// ---- Textures -----------------------------------------------------------------------

Image ClothTexture()
{
    // Top half: dark wrapped cloth with diagonal creases.  Bottom half: bandage wraps, used
    // on the forearms and shins.
    Image img(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            double weave = 0.85 + 0.15 * Fbm2(x / 8.0, y / 8.0, 32, 11, 3);
            double grain = ((x + y) % 4 == 0) ? 0.94 : 1.0;
            double r = 0.13, g = 0.14, b = 0.19;
            if (y < 128) {
                double crease = std::sin((x * 0.7 + y * 1.3) * 2 * kPi / 64.0);
                double k = weave * grain * (0.92 + 0.14 * crease * crease * crease);
                r *= k * 1.25; g *= k * 1.25; b *= k * 1.25;
            } else {
                double band = std::fmod(y * 1.0 + x * 0.25, 16.0);
                double edge = band < 1.5 ? 0.45 : (band < 3 ? 0.8 : 1.0);
                double k = weave * edge;
                r = 0.30 * k; g = 0.31 * k; b = 0.35 * k;
            }
            img.Set(x, y, r, g, b);
        }
    return img;
}

Image HoodTexture()
{
    Image img(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            double u = (x + 0.5) / 256, v = (y + 0.5) / 256;
            double weave = 0.85 + 0.15 * Fbm2(x / 8.0, y / 8.0, 32, 23, 3);
            double fold = 0.9 + 0.1 * std::sin((u * 5 + v * 14) * 2 * kPi);
            double r = 0.15 * weave * fold, g = 0.16 * weave * fold, b = 0.22 * weave * fold;
            // Eye slit: a band of skin across the front, soft at its edges.
            double du = std::fabs(u - 0.5), dv = std::fabs(v - 0.452);
            double inside = std::clamp((0.14 - du) / 0.02, 0.0, 1.0) * std::clamp((0.056 - dv) / 0.012, 0.0, 1.0);
            if (inside > 0) {
                double sr = 0.85, sg = 0.64, sb = 0.50;
                // Eyes: dark almonds left and right of the centre, a white glint each.
                for (double ex : {0.5 - 0.048, 0.5 + 0.048}) {
                    double ax = (u - ex) / 0.030, ay = (v - 0.455) / 0.021;
                    double d = ax * ax + ay * ay;
                    if (d < 1) {
                        double iris = d < 0.45 ? 0.05 : 0.85;
                        sr = sg = sb = iris;
                        if (d < 0.45 && ax > 0.1 && ax < 0.4 && ay < -0.1) sr = sg = sb = 0.95;
                    }
                }
                // A shadow under the brow.
                double brow = std::clamp((v - 0.40) / 0.03, 0.0, 1.0);
                sr *= 0.6 + 0.4 * brow; sg *= 0.6 + 0.4 * brow; sb *= 0.6 + 0.4 * brow;
                r += (sr - r) * inside; g += (sg - g) * inside; b += (sb - b) * inside;
            }
            img.Set(x, y, r, g, b);
        }
    return img;
}

Image SashTexture()
{
    Image img(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double fold = 0.8 + 0.2 * std::sin((y / 64.0) * 6 * kPi + x * 0.05);
            double n = 0.9 + 0.1 * Fbm2(x / 4.0, y / 4.0, 16, 37, 2);
            img.Set(x, y, 0.70 * fold * n, 0.09 * fold * n, 0.07 * fold * n);
        }
    return img;
}

Image SwordTexture()
{
    // Columns: steel blade 0..0.5, grip wrap 0.5..0.75, brass guard 0.75..1.
    Image img(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            double u = (x + 0.5) / 128;
            double r, g, b;
            if (u < 0.5) {
                double edge = std::fabs(u - 0.25) / 0.25;  // the ring's angle 0 and pi: the edges
                double k = 0.70 + 0.25 * (1 - edge) + 0.05 * Noise2(x / 3.0, y / 3.0, 64, 5);
                r = 0.80 * k; g = 0.83 * k; b = 0.88 * k;
            } else if (u < 0.75) {
                bool diamond = ((x / 4 + y / 4) % 2) == 0;
                r = diamond ? 0.10 : 0.45; g = diamond ? 0.08 : 0.40; b = diamond ? 0.08 : 0.30;
            } else {
                double k = 0.8 + 0.2 * Noise2(x / 2.0, y / 2.0, 64, 9);
                r = 0.72 * k; g = 0.55 * k; b = 0.20 * k;
            }
            img.Set(x, y, r, g, b);
        }
    return img;
}

// ---- Animation ----------------------------------------------------------------------

struct Pose {
    Vec3 angle[BoneCount];  // degrees about x, y, z, applied in that order
    Vec3 hips;              // offset of the hips in x and z (y is solved)
    double chestScale = 1.0;
    double swordTilt = 0;   // extra turn of the sword about x, degrees (matrix keys)
};

struct ClipKey {
    uint32_t time;
    Pose pose;
};

Mat4 LocalMatrix(const Pose &p, int b, double hipsY)
{
    Vec3 a = p.angle[b];
    Mat4 r = RotationX(Rad(a.x)) * RotationY(Rad(a.y)) * RotationZ(Rad(a.z));
    if (b == Sword) r = RotationX(Rad(p.swordTilt)) * r;
    Vec3 off = BindOffset(b);
    if (b == Hips) off = off + Vec3(p.hips.x, hipsY, p.hips.z);
    Mat4 m = r * Translation(off);
    if (b == Chest) m = Scaling({p.chestScale, 1.0, p.chestScale * 1.2 - 0.2}) * m;
    return m;
}

void GlobalMatrices(const Pose &p, double hipsY, Mat4 out[BoneCount])
{
    for (int b = 0; b < BoneCount; ++b) {
        Mat4 local = LocalMatrix(p, b, hipsY);
        out[b] = kBones[b].parent < 0 ? local : local * out[kBones[b].parent];
    }
}

// Lowers or raises the hips so that the lowest point of the skinned mesh touches y = 0.
double SolveHipsHeight(const Pose &p, const Mesh &mesh)
{
    Mat4 g[BoneCount], skin[BoneCount];
    GlobalMatrices(p, 0, g);
    for (int b = 0; b < BoneCount; ++b) skin[b] = Translation(-kBones[b].joint) * g[b];
    double lowest = 1e9;
    for (const Vertex &v : mesh.vertices) {
        if (v.p.y > 0.2) continue;  // only the legs can reach the floor
        double y = 0;
        for (int k = 0; k < kMaxInfluences; ++k)
            if (v.bone[k] >= 0) y += TransformPoint(v.p, skin[v.bone[k]]).y * v.weight[k];
        lowest = std::min(lowest, y);
    }
    return -lowest;
}

double CatmullRom(double p0, double p1, double p2, double p3, double t)
{
    return 0.5 * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                  (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
}

Pose Sample(const std::vector<ClipKey> &keys, bool loop, uint32_t t)
{
    size_t i = 0;
    while (i + 2 < keys.size() && keys[i + 1].time <= t) ++i;
    size_t n = keys.size();
    auto at = [&](long k) -> const Pose & {
        if (loop) {
            // The last key repeats the first, so the cycle has n - 1 distinct poses.
            long m = long(n) - 1;
            return keys[size_t(((k % m) + m) % m)].pose;
        }
        return keys[size_t(std::clamp<long>(k, 0, long(n) - 1))].pose;
    };
    double s = double(t - keys[i].time) / double(keys[i + 1].time - keys[i].time);
    s = std::clamp(s, 0.0, 1.0);
    const Pose &p0 = at(long(i) - 1), &p1 = at(long(i)), &p2 = at(long(i) + 1), &p3 = at(long(i) + 2);
    Pose r;
    auto cr = [&](double a, double b, double c, double d) { return CatmullRom(a, b, c, d, s); };
    for (int b = 0; b < BoneCount; ++b) {
        r.angle[b].x = cr(p0.angle[b].x, p1.angle[b].x, p2.angle[b].x, p3.angle[b].x);
        r.angle[b].y = cr(p0.angle[b].y, p1.angle[b].y, p2.angle[b].y, p3.angle[b].y);
        r.angle[b].z = cr(p0.angle[b].z, p1.angle[b].z, p2.angle[b].z, p3.angle[b].z);
    }
    r.hips.x = cr(p0.hips.x, p1.hips.x, p2.hips.x, p3.hips.x);
    r.hips.z = cr(p0.hips.z, p1.hips.z, p2.hips.z, p3.hips.z);
    r.chestScale = cr(p0.chestScale, p1.chestScale, p2.chestScale, p3.chestScale);
    r.swordTilt = cr(p0.swordTilt, p1.swordTilt, p2.swordTilt, p3.swordTilt);
    return r;
}

struct ClipSpec {
    const char *name;
    std::vector<ClipKey> keys;
    uint32_t step;  // ticks between written keys
    bool loop;
    bool breathing;     // scale keys on the chest
    bool swordMatrix;   // matrix keys on the sword
};

AnimationSet BuildClip(const ClipSpec &clip, const Mesh &mesh)
{
    AnimationSet set;
    set.name = clip.name;
    set.looping = clip.loop;
    set.tracks.resize(BoneCount);
    for (int b = 0; b < BoneCount; ++b) set.tracks[b].frame = kBones[b].name;
    uint32_t end = clip.keys.back().time;
    for (uint32_t t = 0;; t = std::min(end, t + clip.step)) {
        Pose p = Sample(clip.keys, clip.loop, t);
        double hipsY = SolveHipsHeight(p, mesh);
        for (int b = 0; b < BoneCount; ++b) {
            Track &tr = set.tracks[b];
            Vec3 a = p.angle[b];
            Mat4 r = RotationX(Rad(a.x)) * RotationY(Rad(a.y)) * RotationZ(Rad(a.z));
            if (b == Sword && clip.swordMatrix) {
                tr.matrix.push_back({t, LocalMatrix(p, b, hipsY)});
                continue;
            }
            if (b == Sword) r = RotationX(Rad(p.swordTilt)) * r;
            Quat q = QuatFromMatrix(r);
            if (!tr.rotation.empty()) {
                const Quat &prev = tr.rotation.back().value;
                if (prev.x * q.x + prev.y * q.y + prev.z * q.z + prev.w * q.w < 0)
                    q = {-q.x, -q.y, -q.z, -q.w};
            }
            tr.rotation.push_back({t, q});
            if (b == Hips)
                tr.position.push_back({t, BindOffset(b) + Vec3(p.hips.x, hipsY, p.hips.z)});
            else if (tr.position.empty())
                tr.position.push_back({0, BindOffset(b)});
            if (b == Chest && clip.breathing)
                tr.scale.push_back({t, {p.chestScale, 1.0, p.chestScale * 1.2 - 0.2}});
        }
        if (t == end) break;
    }
    return set;
}

Pose Relaxed()
{
    Pose p;
    p.angle[Spine] = {-2, 0, 0};
    p.angle[Chest] = {-2, 0, 0};
    p.angle[Head] = {3, 0, 0};
    p.angle[UpperArmL] = {4, 0, 4};
    p.angle[ForearmL] = {14, 0, 0};
    p.angle[UpperArmR] = {10, 0, -4};
    p.angle[ForearmR] = {24, 0, 0};
    p.angle[HandR] = {-40, 0, 0};  // the blade points down and forward
    p.angle[ThighL] = {4, 0, 0};
    p.angle[ShinL] = {-6, 0, 0};
    p.angle[FootL] = {2, 0, 0};
    p.angle[ThighR] = {-2, 0, 0};
    p.angle[ShinR] = {-4, 0, 0};
    p.angle[FootR] = {6, 0, 0};
    return p;
}

Pose Guard()
{
    Pose p;
    p.angle[Spine] = {-5, 0, 0};
    p.angle[Chest] = {-4, 0, 0};
    p.angle[Head] = {8, 0, 0};
    p.angle[UpperArmL] = {38, 0, 8};
    p.angle[ForearmL] = {80, 0, 0};
    p.angle[UpperArmR] = {28, 0, -8};
    p.angle[ForearmR] = {45, 0, 0};
    p.angle[HandR] = {-15, 0, 0};
    p.angle[ThighL] = {24, 0, 0};
    p.angle[ShinL] = {-30, 0, 0};
    p.angle[FootL] = {6, 0, 0};
    p.angle[ThighR] = {-10, 0, 0};
    p.angle[ShinR] = {-24, 0, 0};
    p.angle[FootR] = {34, 0, 0};
    return p;
}

Pose MirrorPose(const Pose &p)
{
    Pose m = p;
    auto swap = [&](int l, int r) {
        m.angle[l] = {p.angle[r].x, -p.angle[r].y, -p.angle[r].z};
        m.angle[r] = {p.angle[l].x, -p.angle[l].y, -p.angle[l].z};
    };
    swap(ThighL, ThighR);
    swap(ShinL, ShinR);
    swap(FootL, FootR);
    for (int b : {Hips, Spine, Chest, Neck, Head})
        m.angle[b] = {p.angle[b].x, -p.angle[b].y, -p.angle[b].z};
    m.hips.x = -p.hips.x;
    return m;
}

ClipSpec Idle()
{
    Pose a = Relaxed();
    a.hips.x = 0.012;
    a.angle[Hips] = {0, 0, -2};
    a.angle[ThighL] = {4, 0, 0.5};
    a.angle[ThighR] = {-2, 0, 0.5};
    Pose b = a;
    b.chestScale = 1.035;
    b.angle[Head] = {0, -10, 0};
    b.angle[Chest] = {-1, -3, 0};
    b.angle[UpperArmL] = {2, 0, 6};
    Pose c = Relaxed();
    c.hips.x = -0.012;
    c.angle[Hips] = {0, 0, 2};
    c.angle[ThighL] = {4, 0, -0.5};
    c.angle[ThighR] = {-2, 0, -0.5};
    c.angle[ForearmR] = {28, 0, 0};
    Pose d = c;
    d.chestScale = 1.035;
    d.angle[Head] = {-2, 10, 0};
    d.angle[Chest] = {-1, 3, 0};
    return {"idleTot", {{0, a}, {1500, b}, {3000, c}, {4500, d}, {6000, a}}, 250, true, true, false};
}

ClipSpec Walk()
{
    Pose contact;  // left heel strikes, right toe pushes off
    contact.hips = {0.008, 0, 0};
    contact.angle[Hips] = {0, 6, 0};
    contact.angle[Spine] = {-5, -3, 0};
    contact.angle[Chest] = {-3, -4, 0};
    contact.angle[Head] = {6, 1, 0};
    contact.angle[ThighL] = {28, 0, 0};
    contact.angle[ShinL] = {-6, 0, 0};
    contact.angle[FootL] = {14, 0, 0};
    contact.angle[ThighR] = {-20, 0, 0};
    contact.angle[ShinR] = {-20, 0, 0};
    contact.angle[FootR] = {-14, 0, 0};
    contact.angle[UpperArmL] = {-20, 0, 6};
    contact.angle[ForearmL] = {18, 0, 0};
    contact.angle[UpperArmR] = {18, 0, -6};
    contact.angle[ForearmR] = {32, 0, 0};
    contact.angle[HandR] = {-35, 0, 0};  // the blade trails low and forward
    Pose passing;  // left leg carries the weight, right leg swings past it
    passing.hips = {0.014, 0, 0};
    passing.angle[Spine] = {-5, 0, 0};
    passing.angle[Chest] = {-3, 0, 0};
    passing.angle[Head] = {6, 0, 0};
    passing.angle[ThighL] = {0, 0, 0};
    passing.angle[ShinL] = {-6, 0, 0};
    passing.angle[FootL] = {4, 0, 0};
    passing.angle[ThighR] = {22, 0, 0};
    passing.angle[ShinR] = {-58, 0, 0};
    passing.angle[FootR] = {12, 0, 0};
    passing.angle[UpperArmL] = {0, 0, 6};
    passing.angle[ForearmL] = {16, 0, 0};
    passing.angle[UpperArmR] = {4, 0, -6};
    passing.angle[ForearmR] = {30, 0, 0};
    passing.angle[HandR] = {-35, 0, 0};
    // The second half mirrors the legs and swaps the arm swing; the sword arm swings less.
    Pose contact2 = MirrorPose(contact);
    contact2.angle[UpperArmL] = {16, 0, 6};
    contact2.angle[ForearmL] = {22, 0, 0};
    contact2.angle[UpperArmR] = {-8, 0, -6};
    contact2.angle[ForearmR] = {28, 0, 0};
    contact2.angle[HandR] = {-35, 0, 0};
    Pose passing2 = MirrorPose(passing);
    passing2.angle[UpperArmL] = passing.angle[UpperArmL];
    passing2.angle[ForearmL] = passing.angle[ForearmL];
    passing2.angle[UpperArmR] = passing.angle[UpperArmR];
    passing2.angle[ForearmR] = passing.angle[ForearmR];
    passing2.angle[HandR] = passing.angle[HandR];
    return {"camminata",
            {{0, contact}, {500, passing}, {1000, contact2}, {1500, passing2}, {2000, contact}},
            100, true, false, false};
}

ClipSpec Punch()
{
    Pose g = Guard();
    Pose wind = g;
    wind.angle[Chest] = {-4, -16, 0};
    wind.angle[Spine] = {-5, -6, 0};
    wind.angle[UpperArmL] = {30, 0, 14};
    wind.angle[ForearmL] = {100, 0, 0};
    Pose hit = g;
    hit.hips = {0, 0, -0.03};
    hit.angle[Spine] = {-6, 10, 0};
    hit.angle[Chest] = {-6, 26, 0};
    hit.angle[Head] = {8, -24, 0};
    hit.angle[UpperArmL] = {86, 0, 4};
    hit.angle[ForearmL] = {6, 0, 0};
    hit.angle[UpperArmR] = {12, 0, -14};
    hit.angle[ForearmR] = {60, 0, 0};
    hit.angle[ThighL] = {34, 0, 0};
    hit.angle[ShinL] = {-22, 0, 0};
    Pose hold = hit;
    hold.angle[UpperArmL] = {80, 0, 4};
    hold.angle[ForearmL] = {18, 0, 0};
    return {"pugno", {{0, g}, {350, wind}, {700, hit}, {1000, hold}, {1500, g}}, 75, false, false, false};
}

ClipSpec Kick()
{
    Pose g = Guard();
    Pose chamber = g;
    chamber.angle[Spine] = {4, 0, 0};
    chamber.angle[Chest] = {4, 0, 0};
    chamber.angle[Head] = {-4, 0, 0};
    chamber.angle[ThighL] = {6, 0, 0};
    chamber.angle[ShinL] = {-12, 0, 0};
    chamber.angle[FootL] = {6, 0, 0};
    chamber.angle[ThighR] = {82, 0, 0};
    chamber.angle[ShinR] = {-100, 0, 0};
    chamber.angle[FootR] = {-10, 0, 0};
    chamber.angle[UpperArmL] = {40, 0, 20};
    Pose extend = chamber;
    extend.hips = {0, 0, 0.02};
    extend.angle[Spine] = {10, 0, 0};
    extend.angle[Chest] = {8, 0, 0};
    extend.angle[Head] = {-12, 0, 0};
    extend.angle[ThighR] = {88, 0, 0};
    extend.angle[ShinR] = {-6, 0, 0};
    extend.angle[FootR] = {-30, 0, 0};
    return {"calcio", {{0, g}, {400, chamber}, {700, extend}, {1050, chamber}, {1600, g}}, 80, false,
            false, false};
}

ClipSpec Slash()
{
    Pose g = Guard();
    Pose raise = g;
    raise.angle[Spine] = {-2, 8, 0};
    raise.angle[Chest] = {2, 16, 0};
    raise.angle[Head] = {6, -14, 0};
    raise.angle[UpperArmR] = {158, 0, -14};
    raise.angle[ForearmR] = {40, 0, 0};
    raise.angle[HandR] = {-20, 0, 0};
    raise.swordTilt = 35;
    Pose cut = g;
    cut.hips = {0, 0, -0.03};
    cut.angle[Spine] = {-8, -10, 0};
    cut.angle[Chest] = {-8, -26, 0};
    cut.angle[Head] = {10, 20, 0};
    cut.angle[UpperArmR] = {62, 0, 26};
    cut.angle[ForearmR] = {12, 0, 0};
    cut.angle[HandR] = {-5, 0, 0};
    cut.angle[ThighL] = {36, 0, 0};
    cut.angle[ShinL] = {-26, 0, 0};
    cut.swordTilt = -10;
    Pose follow = cut;
    follow.angle[Chest] = {-10, -34, 0};
    follow.angle[UpperArmR] = {22, 0, 38};
    follow.angle[ForearmR] = {18, 0, 0};
    follow.swordTilt = -24;
    return {"spada", {{0, g}, {600, raise}, {1150, cut}, {1650, follow}, {2400, g}}, 100, false, false,
            true};
}

}  // namespace

Ninja BuildNinja()
{
    Ninja ninja;
    Mesh mesh;
    mesh.name = "NinjaBody";
    mesh.colors = true;
    mesh.materials = {
        {"NinjaCloth", {1, 1, 1, 1}, 4, {0.05, 0.05, 0.05}, {0, 0, 0}, "ninja_cloth.bmp"},
        {"NinjaHood", {1, 1, 1, 1}, 4, {0.05, 0.05, 0.05}, {0, 0, 0}, "ninja_hood.bmp"},
        {"NinjaSash", {1, 1, 1, 1}, 8, {0.1, 0.1, 0.1}, {0, 0, 0}, "ninja_sash.bmp"},
        {"NinjaSteel", {1, 1, 1, 1}, 40, {0.8, 0.8, 0.8}, {0, 0, 0}, "ninja_sword.bmp"},
    };
    AddTorso(mesh);
    AddHead(mesh);
    AddArm(mesh, true);
    AddArm(mesh, false);
    AddLeg(mesh, true);
    AddLeg(mesh, false);
    AddSword(mesh);
    ShadeNinja(mesh);
    for (int b = 0; b < BoneCount; ++b) {
        mesh.boneNames.push_back(kBones[b].name);
        mesh.boneOffsets.push_back(Translation(-kBones[b].joint));
    }

    for (const ClipSpec &c : {Idle(), Walk(), Punch(), Kick(), Slash()})
        ninja.model.sets.push_back(BuildClip(c, mesh));

    // Frames: Root (identity) holds the skeleton and, beside it, the frame of the mesh.
    std::vector<Frame> frames(BoneCount);
    for (int b = 0; b < BoneCount; ++b) {
        frames[b].name = kBones[b].name;
        frames[b].local = Translation(BindOffset(b));
    }
    for (int b = BoneCount - 1; b >= 0; --b) {
        int p = kBones[b].parent;
        if (p >= 0) frames[p].children.insert(frames[p].children.begin(), frames[b]);
    }
    Frame &root = ninja.model.root;
    root.name = "Root";
    Frame body;
    body.name = "Body";
    body.meshes.push_back(std::move(mesh));
    root.children.push_back(frames[Hips]);
    root.children.push_back(std::move(body));

    ninja.model.extraTemplates = {"XSkinMeshHeader", "SkinWeights"};

    ninja.textures = {{"ninja_cloth.bmp", ClothTexture()},
                      {"ninja_hood.bmp", HoodTexture()},
                      {"ninja_sash.bmp", SashTexture()},
                      {"ninja_sword.bmp", SwordTexture()}};
    return ninja;
}

}  // namespace datagen
