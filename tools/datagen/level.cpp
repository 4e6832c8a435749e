/*
 * level.cpp - the level: a walled courtyard about 16 x 16 units with a flagstone floor,
 * timber-framed plaster walls under a tiled coping, a lacquered gate over the start point,
 * four pillars, four stone lanterns, two stacks of crates and a sky cylinder with distant
 * mountains.
 *
 * Authored in world coordinates (y up, the character starting at the origin, facing -z)
 * and stored through the exact inverse of the program's placement in the root frame, so
 * that after world = local * RotX(-1.57) * T(0, 1.4, 0) the floor lies flat with its top at
 * y = -0.02.  Each part is its own mesh in its own frame; parts placed by a frame transform
 * are stored in that frame's coordinates.  The walls reach from below the floor to above
 * the camera, so horizontal rays at the character's feet meet them.
 *
 * The program draws the level with lighting off after the first frame, so all shading is
 * baked into vertex colours: a sky term with ambient occlusion and a sun term with cast
 * shadows, both traced against a list of boxes that stand for the solid parts.
 */
#include "loft.h"

#include <algorithm>

namespace datagen {
namespace {

constexpr double kFloorTop = -0.02;
constexpr double kHalf = 8.0;        // inner faces of the walls at |x| = 8 and |z| = 8
constexpr double kWallTop = 3.2;
constexpr double kWallBottom = -0.4;
constexpr double kWallThick = 0.4;

// A solid box, turned by yaw about its centre, that casts shadows and occludes the sky.
struct Occluder {
    Vec3 centre, half;
    double yaw = 0;
};

bool RayHitsBox(const Vec3 &o, const Vec3 &d, const Occluder &b, double maxT)
{
    Mat4 toLocal = Translation(-b.centre) * RotationY(-b.yaw);
    Vec3 lo = TransformPoint(o, toLocal), ld = TransformNormal(d, toLocal);
    double t0 = 1e-4, t1 = maxT;
    const double org[3] = {lo.x, lo.y, lo.z}, dir[3] = {ld.x, ld.y, ld.z};
    const double h[3] = {b.half.x, b.half.y, b.half.z};
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(dir[a]) < 1e-12) {
            if (org[a] < -h[a] || org[a] > h[a]) return false;
            continue;
        }
        double ta = (-h[a] - org[a]) / dir[a], tb = (h[a] - org[a]) / dir[a];
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return false;
    }
    return true;
}

// A part under construction: its mesh in world coordinates, the frame that will hold it,
// and whether its vertices are lit (the sky is not).
struct Part {
    std::string frame;
    Mat4 frameLocal;  // the frame's transform, world coordinates of the frame's origin
    Mesh mesh;
    bool lit = true;
};

struct Builder {
    std::vector<Part> parts;
    std::vector<Occluder> occluders;

    Part &NewPart(const std::string &frame, const std::string &mesh, Mat4 local = Mat4())
    {
        parts.push_back(Part{frame, local, Mesh{}, true});
        parts.back().mesh.name = mesh;
        parts.back().mesh.colors = true;
        return parts.back();
    }
};

uint32_t AddMaterial(Mesh &m, const std::string &name, const std::string &texture)
{
    m.materials.push_back({m.name + "_" + name, {1, 1, 1, 1}, 0, {0, 0, 0}, {0, 0, 0}, texture});
    return uint32_t(m.materials.size() - 1);
}

// A flat rectangle from corner o along edges eu and ev, cut into nu x nv quads, facing
// normal n; texture coordinates come from world positions: u along eu, v along ev, at
// `repeat` world units a texture.
void AddQuadGrid(Mesh &m, Vec3 o, Vec3 eu, Vec3 ev, int nu, int nv, uint32_t mat, double repeatU,
                 double repeatV, double u0 = 0, double v0 = 0)
{
    Vec3 n = Normalize(Cross(ev, eu));  // clockwise corners o, o+ev, o+eu seen from n
    uint32_t base = uint32_t(m.vertices.size());
    double lu = Length(eu), lv = Length(ev);
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i) {
            Vertex v;
            v.p = o + eu * (double(i) / nu) + ev * (double(j) / nv);
            v.n = n;
            v.u = u0 + lu * i / nu / repeatU;
            v.v = v0 + lv * j / nv / repeatV;
            m.vertices.push_back(v);
        }
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            uint32_t a = base + uint32_t(j * (nu + 1) + i), b = a + 1;
            uint32_t c = a + uint32_t(nu + 1), d = c + 1;
            AddOutward(m, a, c, d, mat);
            AddOutward(m, a, d, b, mat);
        }
}

int Cells(double length, double step) { return std::max(1, int(std::ceil(length / step - 1e-9))); }

// A box with its six faces, turned by yaw about the vertical through its centre; faces are
// cut into cells of about `step` units so that baked shading has room to vary.
void AddBox(Mesh &m, Vec3 c, Vec3 h, double yaw, uint32_t mat, double repeat, double step,
            bool bottom = false)
{
    Mat4 turn = RotationY(yaw);
    auto P = [&](double x, double y, double z) { return TransformPoint({x, y, z}, turn) + c; };
    auto face = [&](Vec3 o, Vec3 eu, Vec3 ev, double lu, double lv) {
        AddQuadGrid(m, o, eu, ev, Cells(lu, step), Cells(lv, step), mat, repeat, repeat);
    };
    Vec3 ex = TransformNormal({2 * h.x, 0, 0}, turn), ey = {0, 2 * h.y, 0};
    Vec3 ez = TransformNormal({0, 0, 2 * h.z}, turn);
    // Each face: corner, then the edge that runs along texture u and the one down along v.
    face(P(-h.x, h.y, h.z), ex, -ey, 2 * h.x, 2 * h.y);
    face(P(h.x, h.y, -h.z), -ex, -ey, 2 * h.x, 2 * h.y);
    face(P(h.x, h.y, h.z), -ez, -ey, 2 * h.z, 2 * h.y);
    face(P(-h.x, h.y, -h.z), ez, -ey, 2 * h.z, 2 * h.y);
    face(P(-h.x, h.y, -h.z), ex, ez, 2 * h.x, 2 * h.z);
    if (bottom) face(P(-h.x, -h.y, h.z), ex, -ez, 2 * h.x, 2 * h.z);
}

// A vertical cylinder (a loft standing on y) with texture wrapped `wraps` times.
void AddColumn(Mesh &m, Vec3 base, double r, double height, uint32_t mat, int segments, double vScale,
               bool capTop = true)
{
    LoftStyle st;
    st.segments = segments;
    st.subdivisions = Cells(height, 0.5);
    st.material = mat;
    st.side = {0, 0, 1};
    st.u0 = 0;
    st.u1 = std::max(1.0, std::round(2 * kPi * r));
    st.capStart = false;
    st.capEnd = capTop;
    Loft(m, {{base, r, r, {}, 0.0}, {base + Vec3(0, height, 0), r, r, {}, -height / vScale}}, st);
}

// ---- The parts ----------------------------------------------------------------------

void BuildFloor(Builder &b)
{
    Part &p = b.NewPart("Ground", "Floor");
    uint32_t stone = AddMaterial(p.mesh, "Flagstones", "flagstones.bmp");
    // 64 x 64 cells of 0.25 units; rows run along +z so the texture's v follows z.
    AddQuadGrid(p.mesh, {-kHalf, kFloorTop, -kHalf}, {2 * kHalf, 0, 0}, {0, 0, 2 * kHalf}, 64, 64, stone,
                4.0, 4.0);
}

void BuildWalls(Builder &b)
{
    Part &p = b.NewPart("Walls", "Walls");
    uint32_t wall = AddMaterial(p.mesh, "Plaster", "wall.bmp");
    uint32_t roof = AddMaterial(p.mesh, "Coping", "roof.bmp");
    const double h = kWallTop - kWallBottom, cy = (kWallTop + kWallBottom) / 2;
    const double outer = kHalf + kWallThick;
    // Four walls; the north and south ones span the corners.
    struct W { Vec3 c, half; };
    const W walls[4] = {
        {{0, cy, -kHalf - kWallThick / 2}, {outer, h / 2, kWallThick / 2}},
        {{0, cy, kHalf + kWallThick / 2}, {outer, h / 2, kWallThick / 2}},
        {{-kHalf - kWallThick / 2, cy, 0}, {kWallThick / 2, h / 2, kHalf}},
        {{kHalf + kWallThick / 2, cy, 0}, {kWallThick / 2, h / 2, kHalf}},
    };
    for (const W &w : walls) {
        // Texture: one tile is 4 units wide and the wall's full height tall.
        Mesh &m = p.mesh;
        Vec3 c = w.c, hh = w.half;
        auto grid = [&](Vec3 o, Vec3 eu, Vec3 ev) {
            AddQuadGrid(m, o, eu, ev, Cells(Length(eu), 0.5), Cells(Length(ev), 0.45), wall, 4.0, h);
        };
        Vec3 ex{2 * hh.x, 0, 0}, ey{0, 2 * hh.y, 0}, ez{0, 0, 2 * hh.z};
        grid(c + Vec3(-hh.x, hh.y, hh.z), ex, -ey);
        grid(c + Vec3(hh.x, hh.y, -hh.z), -ex, -ey);
        grid(c + Vec3(hh.x, hh.y, hh.z), -ez, -ey);
        grid(c + Vec3(-hh.x, hh.y, -hh.z), ez, -ey);
        b.occluders.push_back({c, hh});
    }
    // A tiled coping along the top of each wall, overhanging both sides.
    const double over = 0.25, ch = 0.12;
    AddBox(p.mesh, {0, kWallTop + ch, -kHalf - kWallThick / 2}, {outer + over, ch, kWallThick / 2 + over}, 0,
           roof, 1.0, 1.0, true);
    AddBox(p.mesh, {0, kWallTop + ch, kHalf + kWallThick / 2}, {outer + over, ch, kWallThick / 2 + over}, 0,
           roof, 1.0, 1.0, true);
    AddBox(p.mesh, {-kHalf - kWallThick / 2, kWallTop + ch, 0}, {kWallThick / 2 + over, ch, kHalf - over}, 0,
           roof, 1.0, 1.0, true);
    AddBox(p.mesh, {kHalf + kWallThick / 2, kWallTop + ch, 0}, {kWallThick / 2 + over, ch, kHalf - over}, 0,
           roof, 1.0, 1.0, true);
}

// The gate over the start point; its frame stands at z = -0.65.  The lower beam crosses
// x = 0 at a height of 1.22 to 1.42 between z = -0.75 and -0.55, just above the
// character's head.
void BuildGate(Builder &b)
{
    const Vec3 at(0, 0, -0.65);
    Part &p = b.NewPart("Gate", "Gate", Translation(at));
    uint32_t lacquer = AddMaterial(p.mesh, "Lacquer", "gate_wood.bmp");
    uint32_t stone = AddMaterial(p.mesh, "Footing", "stone.bmp");
    for (double x : {-1.3, 1.3}) {
        AddColumn(p.mesh, at + Vec3(x, kWallBottom, 0), 0.12, 2.42 - kWallBottom, lacquer, 16, 1.0);
        AddBox(p.mesh, at + Vec3(x, 0.08, 0), {0.17, 0.10, 0.17}, 0, stone, 1.0, 0.2);
        b.occluders.push_back({at + Vec3(x, 1.0, 0), {0.08, 1.4, 0.08}});
    }
    AddBox(p.mesh, at + Vec3(0, 1.32, 0), {1.65, 0.10, 0.10}, 0, lacquer, 1.0, 0.25, true);  // lower beam
    AddBox(p.mesh, at + Vec3(0, 2.25, 0), {1.95, 0.10, 0.16}, 0, lacquer, 1.0, 0.25, true);  // top beam
    AddBox(p.mesh, at + Vec3(0, 2.40, 0), {2.10, 0.05, 0.20}, 0, lacquer, 1.0, 0.25, true);  // its cap
    AddBox(p.mesh, at + Vec3(0, 1.78, 0), {0.16, 0.36, 0.04}, 0, lacquer, 1.0, 0.25, true);  // plaque
    b.occluders.push_back({at + Vec3(0, 1.32, 0), {1.65, 0.10, 0.10}});
    b.occluders.push_back({at + Vec3(0, 2.25, 0), {1.95, 0.10, 0.16}});
    b.occluders.push_back({at + Vec3(0, 2.40, 0), {2.10, 0.05, 0.20}});
    b.occluders.push_back({at + Vec3(0, 1.78, 0), {0.16, 0.36, 0.04}});
}

void BuildPillars(Builder &b)
{
    Part &p = b.NewPart("Pillars", "Pillars");
    uint32_t wood = AddMaterial(p.mesh, "Wood", "pillar_wood.bmp");
    uint32_t stone = AddMaterial(p.mesh, "Base", "stone.bmp");
    for (Vec3 c : {Vec3(-4.5, 0, -4.5), Vec3(4.5, 0, -4.5), Vec3(-4.5, 0, 4.0), Vec3(4.5, 0, 4.0)}) {
        AddColumn(p.mesh, c + Vec3(0, kWallBottom, 0), 0.22, 3.6 - kWallBottom, wood, 16, 2.0);
        AddBox(p.mesh, c + Vec3(0, 0.10, 0), {0.36, 0.13, 0.36}, 0, stone, 1.0, 0.25);
        AddBox(p.mesh, c + Vec3(0, 3.65, 0), {0.34, 0.08, 0.34}, 0, stone, 1.0, 0.25, true);
        b.occluders.push_back({c + Vec3(0, 1.6, 0), {0.15, 2.1, 0.15}});
        b.occluders.push_back({c + Vec3(0, 0.1, 0), {0.36, 0.13, 0.36}});
    }
}

// A stone lantern built round its own frame's origin, standing on the floor.
void BuildLantern(Builder &b, int index, Vec3 at, double yaw)
{
    Mat4 local = RotationY(yaw) * Translation(at);
    Part &p = b.NewPart("Lantern" + std::to_string(index), "Lantern" + std::to_string(index), local);
    uint32_t stone = AddMaterial(p.mesh, "Stone", "stone.bmp");
    uint32_t paper = AddMaterial(p.mesh, "Light", "lantern_paper.bmp");
    Mesh &m = p.mesh;
    size_t first = m.vertices.size();
    AddBox(m, {0, 0.04, 0}, {0.26, 0.08, 0.26}, 0, stone, 1.0, 0.2);
    AddColumn(m, {0, 0.12, 0}, 0.08, 0.46, stone, 12, 1.0, false);
    AddBox(m, {0, 0.62, 0}, {0.22, 0.04, 0.22}, 0, stone, 1.0, 0.2, true);
    AddBox(m, {0, 0.79, 0}, {0.15, 0.13, 0.15}, 0, paper, 0.3, 0.3);
    // Pyramid roof: a four-sided loft turned by 45 degrees, and a knob on top.
    LoftStyle roof;
    roof.segments = 4;
    roof.subdivisions = 1;
    roof.side = Normalize(Vec3(1, 0, 1));
    roof.material = stone;
    Loft(m, {{{0, 0.92, 0}, 0.36, 0.36, {}, 0.0}, {{0, 0.98, 0}, 0.34, 0.34, {}, 0.1},
             {{0, 1.14, 0}, 0.05, 0.05, {}, 0.6}},
         roof);
    LoftStyle knob = roof;
    knob.segments = 8;
    Loft(m, {{{0, 1.12, 0}, 0.0, 0.0, {}, 0.0}, {{0, 1.17, 0}, 0.06, 0.06, {}, 0.5},
             {{0, 1.24, 0}, 0.0, 0.0, {}, 1.0}},
         knob);
    for (size_t i = first; i < m.vertices.size(); ++i) {
        m.vertices[i].p = TransformPoint(m.vertices[i].p, local);
        m.vertices[i].n = TransformNormal(m.vertices[i].n, local);
    }
    b.occluders.push_back({at + Vec3(0, 0.55, 0), {0.09, 0.5, 0.09}, yaw});
}

void BuildCrates(Builder &b, const std::string &name, Vec3 at, double yaw)
{
    Mat4 local = RotationY(yaw) * Translation(at);
    Part &p = b.NewPart(name, name, local);
    uint32_t wood = AddMaterial(p.mesh, "Planks", "crate.bmp");
    Mesh &m = p.mesh;
    size_t first = m.vertices.size();
    struct C { Vec3 c; double half, yaw; };
    // The lower crates sink a little into the floor so that no face lies in the plane of the
    // feet-level rays.
    const C crates[3] = {{{-0.45, 0.38, 0}, 0.4, 0.0}, {{0.45, 0.38, 0.05}, 0.4, 0.1}, {{0.0, 1.08, 0.0}, 0.3, 0.35}};
    for (const C &c : crates) {
        AddBox(m, c.c, {c.half, c.half, c.half}, c.yaw, wood, 2 * c.half, 0.25);
        b.occluders.push_back({TransformPoint(c.c, local), {c.half, c.half, c.half}, yaw + c.yaw});
    }
    for (size_t i = first; i < m.vertices.size(); ++i) {
        m.vertices[i].p = TransformPoint(m.vertices[i].p, local);
        m.vertices[i].n = TransformNormal(m.vertices[i].n, local);
    }
}

// A stone well under a small gabled roof, standing on its own frame's origin.
void BuildWell(Builder &b, Vec3 at)
{
    Mat4 local = Translation(at);
    Part &p = b.NewPart("Well", "Well", local);
    uint32_t stone = AddMaterial(p.mesh, "Stone", "stone.bmp");
    uint32_t water = AddMaterial(p.mesh, "Water", "water.bmp");
    uint32_t wood = AddMaterial(p.mesh, "Wood", "pillar_wood.bmp");
    uint32_t roof = AddMaterial(p.mesh, "Roof", "roof.bmp");
    Mesh &m = p.mesh;
    const double outer = 0.55, inner = 0.44, top = 0.55, level = 0.18;
    AddColumn(m, {0, kWallBottom, 0}, outer, top - kWallBottom, stone, 20, 1.0, false);
    LoftStyle in;
    in.segments = 20;
    in.subdivisions = 2;
    in.material = stone;
    in.capStart = in.capEnd = false;
    in.inward = true;
    in.u1 = 3;
    Loft(m, {{{0, level, 0}, inner, inner, {}, 0.4}, {{0, top, 0}, inner, inner, {}, 0.0}}, in);
    // The rim: a flat ring between the two walls.
    uint32_t base = uint32_t(m.vertices.size());
    for (int j = 0; j <= 20; ++j) {
        double th = 2 * kPi * j / 20;
        for (double r : {inner, outer}) {
            Vertex v;
            v.p = {r * std::sin(th), top, r * std::cos(th)};
            v.n = {0, 1, 0};
            v.u = 3.0 * j / 20;
            v.v = r == inner ? 0.0 : 0.15;
            m.vertices.push_back(v);
        }
    }
    for (uint32_t j = 0; j < 20; ++j) {
        uint32_t a = base + 2 * j;
        AddOutward(m, a, a + 1, a + 3, stone);
        AddOutward(m, a, a + 3, a + 2, stone);
    }
    // The water: a disc facing up.
    LoftStyle disc;
    disc.segments = 20;
    disc.subdivisions = 1;
    disc.material = water;
    disc.side = {0, 0, 1};
    disc.capStart = false;
    Loft(m, {{{0, level - 0.01, 0}, inner, inner, {}, 0.0}, {{0, level, 0}, inner, inner, {}, 0.0}}, disc);
    // Posts, crossbar and a gabled roof (each slope drawn from above and from below).
    for (double x : {-0.62, 0.62}) AddBox(m, {x, 1.05, 0}, {0.05, 0.55, 0.05}, 0, wood, 1.0, 0.3, false);
    AddBox(m, {0, 1.30, 0}, {0.67, 0.04, 0.04}, 0, wood, 1.0, 0.3, true);
    for (double side : {1.0, -1.0}) {
        Vec3 ridge(0, 1.82, 0), eu(1.6 * side, 0, 0), ev(0, -0.38, 0.62 * side);
        Vec3 o = ridge - Vec3(0.8 * side, 0, 0);
        AddQuadGrid(m, o, eu, ev, 4, 2, roof, 1.0, 1.0);
        AddQuadGrid(m, o + eu, -eu, ev, 4, 2, roof, 1.0, 1.0);
    }
    for (size_t i = 0; i < m.vertices.size(); ++i) m.vertices[i].p = TransformPoint(m.vertices[i].p, local);
    b.occluders.push_back({at + Vec3(0, 0.12, 0), {0.38, 0.42, 0.38}});
    b.occluders.push_back({at + Vec3(0, 1.62, 0), {0.78, 0.18, 0.6}});
}

// A three-tiered pagoda outside the walls, whose roofs show over them.
void BuildPagoda(Builder &b, Vec3 at)
{
    Mat4 local = Translation(at);
    Part &p = b.NewPart("Pagoda", "Pagoda", local);
    uint32_t wood = AddMaterial(p.mesh, "Wood", "gate_wood.bmp");
    uint32_t roof = AddMaterial(p.mesh, "Roof", "roof.bmp");
    uint32_t stone = AddMaterial(p.mesh, "Base", "stone.bmp");
    Mesh &m = p.mesh;
    AddBox(m, {0, 0.2, 0}, {2.4, 0.4, 2.4}, 0, stone, 1.0, 1.0);
    double y = 0.6;
    for (int tier = 0; tier < 3; ++tier) {
        double half = 1.5 - 0.35 * tier, h = 1.6 - 0.2 * tier;
        AddBox(m, {0, y + h / 2, 0}, {half, h / 2, half}, 0, wood, 1.0, 1.0);
        y += h;
        LoftStyle r;
        r.segments = 4;
        r.subdivisions = 1;
        r.side = Normalize(Vec3(1, 0, 1));  // corners on the diagonals: square, axis-aligned
        r.material = roof;
        r.capEnd = tier == 2;
        double eave = (half + 1.0) * std::sqrt(2.0);
        Loft(m, {{{0, y - 0.1, 0}, eave, eave, {}, 0.0}, {{0, y + 0.05, 0}, eave, eave, {}, 0.1},
                 {{0, y + 0.9, 0}, (half - 0.2) * std::sqrt(2.0), (half - 0.2) * std::sqrt(2.0), {}, 1.0}},
             r);
        y += 0.9;
    }
    LoftStyle spire;
    spire.segments = 8;
    spire.material = wood;
    spire.capStart = false;
    Loft(m, {{{0, y - 0.2, 0}, 0.12, 0.12, {}, 0.0}, {{0, y + 1.6, 0}, 0.04, 0.04, {}, 1.0}, {{0, y + 1.8, 0}, 0.0, 0.0, {}, 1.0}},
         spire);
    for (size_t i = 0; i < m.vertices.size(); ++i) m.vertices[i].p = TransformPoint(m.vertices[i].p, local);
}

// A cylinder seen from inside: sky and mountains all round, and a lid overhead.
void BuildSky(Builder &b)
{
    Part &p = b.NewPart("Sky", "Sky");
    p.lit = false;
    uint32_t sky = AddMaterial(p.mesh, "Sky", "sky.bmp");
    Mesh &m = p.mesh;
    const double r = 50, y0 = -10, y1 = 40;
    const int segs = 32;
    uint32_t base = uint32_t(m.vertices.size());
    for (int j = 0; j <= 1; ++j)
        for (int i = 0; i <= segs; ++i) {
            double th = 2 * kPi * i / segs;
            Vertex v;
            v.p = {r * std::sin(th), j ? y1 : y0, r * std::cos(th)};
            v.n = Normalize(Vec3(-v.p.x, 0, -v.p.z));  // seen from inside
            v.u = 4.0 * i / segs;
            v.v = j ? 0.0 : 1.0;
            m.vertices.push_back(v);
        }
    for (int i = 0; i < segs; ++i) {
        uint32_t a = base + uint32_t(i), c = base + uint32_t(segs + 1 + i);
        AddOutward(m, a, a + 1, c + 1, sky);
        AddOutward(m, a, c + 1, c, sky);
    }
    uint32_t centre = uint32_t(m.vertices.size());
    Vertex top;
    top.p = {0, y1, 0};
    top.n = {0, -1, 0};
    top.u = 0.5;
    top.v = 0.0;
    m.vertices.push_back(top);
    uint32_t rim = uint32_t(m.vertices.size());
    for (int i = 0; i <= segs; ++i) {
        Vertex v = m.vertices[base + uint32_t(segs + 1 + i)];
        v.n = {0, -1, 0};
        m.vertices.push_back(v);
    }
    for (int i = 0; i < segs; ++i) AddOutward(m, centre, rim + uint32_t(i), rim + uint32_t(i) + 1, sky);
}

// ---- Baked light ---------------------------------------------------------------------

void Bake(Builder &b)
{
    const Vec3 sun = Normalize(Vec3(0.45, 0.80, 0.40));
    // Fixed, evenly spread directions over the upper hemisphere of +y, turned per vertex.
    std::vector<Vec3> dirs;
    const int rings = 3, perRing = 8;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < perRing; ++j) {
            double el = Rad(15 + 25 * i), az = 2 * kPi * (j + 0.5 * i) / perRing;
            dirs.push_back({std::cos(el) * std::cos(az), std::sin(el), std::cos(el) * std::sin(az)});
        }
    dirs.push_back({0, 1, 0});
    for (Part &p : b.parts)
        for (Vertex &v : p.mesh.vertices) {
            if (!p.lit) {
                v.c = {1, 1, 1, 1};
                continue;
            }
            Vec3 n = v.n;
            Vec3 t = Normalize(std::fabs(n.y) < 0.9 ? Cross(n, {0, 1, 0}) : Cross(n, {1, 0, 0}));
            Vec3 bt = Cross(t, n);
            Vec3 o = v.p + n * 0.02;
            int open = 0;
            for (const Vec3 &d0 : dirs) {
                Vec3 d = t * d0.x + n * d0.y + bt * d0.z;
                bool hit = false;
                for (const Occluder &oc : b.occluders)
                    if (RayHitsBox(o, d, oc, 2.5)) {
                        hit = true;
                        break;
                    }
                open += hit ? 0 : 1;
            }
            double ao = 0.35 + 0.65 * double(open) / double(dirs.size());
            double lambert = std::max(0.0, Dot(n, sun));
            bool shadowed = false;
            if (lambert > 0)
                for (const Occluder &oc : b.occluders)
                    if (RayHitsBox(o, sun, oc, 100)) {
                        shadowed = true;
                        break;
                    }
            double direct = shadowed ? 0 : lambert;
            double sky = 0.55 + 0.15 * n.y;
            v.c.r = std::clamp(ao * sky * 0.95 + 0.55 * direct, 0.0, 1.0);
            v.c.g = std::clamp(ao * sky * 0.97 + 0.50 * direct, 0.0, 1.0);
            v.c.b = std::clamp(ao * sky * 1.05 + 0.40 * direct, 0.0, 1.0);
            v.c.a = 1.0;
        }
}

// ---- Textures -------------------------------------------------------------------------

uint32_t Hash(int a, int b, uint32_t salt)
{
    uint32_t h = uint32_t(a) * 73856093u ^ uint32_t(b) * 19349663u ^ salt * 83492791u;
    h = (h ^ (h >> 15)) * 2246822519u;
    return h ^ (h >> 13);
}

Image Flagstones()
{
    // 4 x 4 units: rows of 0.5 units, stones 0.5 to 1.0 long, staggered.
    const int N = 512, row = 64;
    Image img(N, N);
    for (int y = 0; y < N; ++y) {
        int r = y / row;
        // Stone boundaries of this row, repeating every N pixels.
        std::vector<int> cuts;
        int x = int(Hash(r, 0, 3) % 64);
        while (x < N + 128) {
            cuts.push_back(x);
            x += 64 + int(Hash(r, x, 4) % 65);
        }
        for (int px = 0; px < N; ++px) {
            int k = 0;
            int xx = px < cuts[0] ? px + N : px;
            while (k + 1 < int(cuts.size()) && cuts[size_t(k) + 1] <= xx) ++k;
            int dx = std::min(xx - cuts[size_t(k)], (k + 1 < int(cuts.size()) ? cuts[size_t(k) + 1] : xx + 99) - xx);
            int dy = std::min(y % row, row - 1 - y % row);
            double m = std::min(dx, dy) < 3 ? 0.35 : (std::min(dx, dy) < 5 ? 0.7 : 1.0);
            uint32_t hs = Hash(r, cuts[size_t(k)] % N, 7);
            double tint = 0.82 + 0.18 * ((hs & 255) / 255.0);
            double warm = ((hs >> 8) & 255) / 255.0 * 0.06;
            double n = 0.80 + 0.20 * Fbm2(px / 16.0, y / 16.0, 32, 13, 4);
            double k2 = m * tint * n;
            img.Set(px, y, (0.62 + warm) * k2, (0.60 + warm * 0.5) * k2, 0.56 * k2);
        }
    }
    return img;
}

Image WallTexture()
{
    // One tile: 4 units of wall, its full height.  Dark timber frame (top plate, mid rail,
    // posts every 2 units) on white plaster over a stone plinth.
    const int W = 256, H = 256;
    Image img(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double v = (y + 0.5) / H, u = (x + 0.5) / W;
            double n = Fbm2(x / 12.0, y / 12.0, 22, 17, 3);
            double r, g, b;
            double plinth = 0.80;  // below this the stone base starts (v grows downwards)
            bool post = std::fmod(u, 0.5) < 0.045;
            bool rail = (v > 0.04 && v < 0.09) || (v > 0.42 && v < 0.47) || (v > plinth - 0.05 && v < plinth);
            bool brace = false;
            double fu = std::fmod(u, 0.5) / 0.5;  // diagonal braces in each bay's lower half
            if (v > 0.47 && v < plinth - 0.05) {
                double t = (v - 0.47) / (plinth - 0.05 - 0.47);
                brace = std::fabs(fu - (0.09 + 0.3 * t)) < 0.025;
            }
            if (v >= plinth) {
                int row = int((v - plinth) / 0.05);
                double off = (row % 2) * 0.05;
                bool joint = std::fmod(u + off, 0.1) < 0.006 || std::fmod(v - plinth, 0.05) < 0.006;
                double k = (joint ? 0.45 : 0.85) * (0.85 + 0.3 * n);
                r = 0.55 * k; g = 0.54 * k; b = 0.52 * k;
            } else if (post || rail || brace) {
                double grain = 0.8 + 0.2 * std::sin(y * 0.9 + 6 * n);
                r = 0.30 * grain; g = 0.19 * grain; b = 0.11 * grain;
            } else {
                double k = 0.88 + 0.12 * n;
                r = 0.93 * k; g = 0.90 * k; b = 0.82 * k;
            }
            img.Set(x, y, r, g, b);
        }
    return img;
}

Image WoodTexture(double r0, double g0, double b0, uint32_t salt, bool lacquer)
{
    Image img(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            double n = Fbm2(x / 32.0, y / 4.0, 4, salt, 3);
            double grain = 0.75 + 0.25 * std::sin(x * 0.35 + 10 * n);
            if (lacquer) grain = 0.88 + 0.12 * grain;
            img.Set(x, y, r0 * grain, g0 * grain, b0 * grain);
        }
    return img;
}

Image StoneTexture()
{
    Image img(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            double n = Fbm2(x / 8.0, y / 8.0, 16, 29, 4);
            double speck = (Hash(x, y, 31) % 100) < 4 ? 0.8 : 1.0;
            double k = (0.7 + 0.35 * n) * speck;
            img.Set(x, y, 0.58 * k, 0.57 * k, 0.54 * k);
        }
    return img;
}

Image RoofTexture()
{
    Image img(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double ridge = 0.6 + 0.4 * std::fabs(std::sin(x * kPi / 16.0));
            double course = (y % 16) < 2 ? 0.6 : 1.0;
            double k = ridge * course;
            img.Set(x, y, 0.22 * k, 0.24 * k, 0.28 * k);
        }
    return img;
}

Image CrateTexture()
{
    Image img(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            bool frame = x < 12 || x > 115 || y < 12 || y > 115;
            bool gap = (y % 26) < 2;
            double n = Fbm2(x / 32.0, y / 4.0, 4, 41, 3);
            double grain = 0.8 + 0.2 * std::sin(x * 0.3 + 8 * n);
            double k = frame ? 0.75 * grain : (gap ? 0.35 : grain);
            img.Set(x, y, 0.62 * k, 0.45 * k, 0.26 * k);
        }
    return img;
}

Image LanternPaper()
{
    Image img(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool lattice = (x % 16) < 2 || (y % 16) < 2;
            if (lattice)
                img.Set(x, y, 0.25, 0.18, 0.12);
            else
                img.Set(x, y, 1.0, 0.86, 0.55);
        }
    return img;
}

Image WaterTexture()
{
    Image img(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double n = Fbm2(x / 8.0, y / 8.0, 8, 83, 3);
            double ripple = 0.85 + 0.15 * std::sin((x + 2 * n * 8) * 0.5);
            img.Set(x, y, 0.10 * ripple, 0.22 * ripple, 0.28 * ripple);
        }
    return img;
}

Image SkyTexture()
{
    // Four repeats round the cylinder (radius 50, from y = -10 at v = 1 to y = 40 at v = 0).
    // Deep blue fading to a warm haze, clouds, and two mountain ranges tall enough to show
    // over the courtyard walls; darker foothills below them.
    const int W = 512, H = 256;
    Image img(W, H);
    for (int x = 0; x < W; ++x) {
        double u = double(x) / W;
        double far = 0.46 - 0.10 * Fbm2(u * 8, 0.5, 8, 51, 4);
        double nearR = 0.52 - 0.06 * Fbm2(u * 6, 3.5, 6, 53, 4);
        for (int y = 0; y < H; ++y) {
            double v = (y + 0.5) / H;
            double t = std::clamp(v / 0.50, 0.0, 1.0);
            double r = 0.28 + 0.62 * t * t, g = 0.46 + 0.42 * t * t, b = 0.78 + 0.12 * t;
            double cloud = Fbm2(u * 16, v * 6, 16, 57, 4);
            if (v < 0.40 && cloud > 0.58) {
                double k = std::min(1.0, (cloud - 0.58) * 5) * 0.7;
                r += (0.97 - r) * k; g += (0.96 - g) * k; b += (0.95 - b) * k;
            }
            if (v > far) { r = 0.48; g = 0.55; b = 0.68; }
            if (v > nearR) { r = 0.30; g = 0.38; b = 0.42; }
            if (v > 0.62) { double k = 1 - (v - 0.62); r = 0.22 * k; g = 0.30 * k; b = 0.26 * k; }
            img.Set(x, y, r, g, b);
        }
    }
    return img;
}

}  // namespace

Mat4 LevelPlacement() { return RotationX(-1.57) * Translation({0, 1.4, 0}); }

Level BuildLevel()
{
    Builder b;
    BuildFloor(b);
    BuildWalls(b);
    BuildGate(b);
    BuildPillars(b);
    const Vec3 lanterns[4] = {{-2.7, 0, -2.6}, {2.7, 0, -2.6}, {-2.7, 0, 2.8}, {2.7, 0, 2.8}};
    for (int i = 0; i < 4; ++i) BuildLantern(b, i + 1, lanterns[i], Rad(i * 20.0));
    BuildCrates(b, "CratesEast", {6.2, 0, -6.0}, Rad(15));
    BuildCrates(b, "CratesWest", {-6.1, 0, 5.8}, Rad(-30));
    BuildWell(b, {-3.6, 0, 1.4});
    BuildPagoda(b, {4.0, 0, -17.0});
    BuildSky(b);
    Bake(b);

    Level level;
    Frame &root = level.model.root;
    root.name = "Level";
    root.local = Inverse(LevelPlacement());
    for (Part &p : b.parts) {
        Frame f;
        f.name = p.frame;
        f.local = p.frameLocal;
        Mat4 toFrame = Inverse(p.frameLocal);
        for (Vertex &v : p.mesh.vertices) {
            v.p = TransformPoint(v.p, toFrame);
            v.n = Normalize(TransformNormal(v.n, toFrame));
        }
        f.meshes.push_back(std::move(p.mesh));
        root.children.push_back(std::move(f));
    }
    level.textures = {{"flagstones.bmp", Flagstones()},
                      {"wall.bmp", WallTexture()},
                      {"roof.bmp", RoofTexture()},
                      {"gate_wood.bmp", WoodTexture(0.78, 0.20, 0.10, 61, true)},
                      {"pillar_wood.bmp", WoodTexture(0.42, 0.27, 0.15, 67, false)},
                      {"stone.bmp", StoneTexture()},
                      {"lantern_paper.bmp", LanternPaper()},
                      {"crate.bmp", CrateTexture()},
                      {"water.bmp", WaterTexture()},
                      {"sky.bmp", SkyTexture()}};
    return level;
}

}  // namespace datagen
