/*
 * preview.cpp - datapreview: a small software rasteriser that draws the generated ninja
 * (posed by any clip at any time, skinned on the CPU) inside the generated level, seen
 * from the program's starting follow camera, and writes PNG pictures.
 *
 *   datapreview <out-folder>
 *
 * Writes start.png (the first view), free.png (the free camera's view), walk_view.png (the
 * follow camera once it has swung down), yard.png (across the yard), front.png and back.png
 * (close views of the bind pose) and one contact sheet per clip (<clip>.png: eight poses
 * across the clip, seen from the right, from the follow camera and from the front).  It reads the models from the
 * generator directly, textures included, and follows the program's conventions: row
 * vectors, left-handed view, 45 degree field of view, near plane 1, clockwise front faces,
 * texture times vertex colour.  For looking only; nothing depends on it.
 */
#include "model.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

using namespace datagen;

namespace {

struct Camera {
    Vec3 eye, right, up, look;
};

Camera FollowCamera(Vec3 at, Vec3 offset)
{
    Camera c;
    c.eye = at + offset;
    Vec3 d = Normalize(at - c.eye);
    c.look = Normalize(Vec3(d.x, d.y + 0.2, d.z));
    c.right = Normalize(Cross({0, 1, 0}, c.look));
    c.up = Cross(c.look, c.right);
    return c;
}

struct Canvas {
    int w, h;
    Image img;
    std::vector<double> depth;
    Canvas(int width, int height) : w(width), h(height), img(width, height), depth(size_t(width) * height, 1e30)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) img.Set(x, y, 0, 0, 0);
    }
};

struct DrawVertex {
    Vec3 p;
    double u, v;
    Rgba c;
};

void Sample(const Image *tex, double u, double v, double &r, double &g, double &b)
{
    if (!tex) {
        r = g = b = 1;
        return;
    }
    u -= std::floor(u);
    v -= std::floor(v);
    int x = std::min(tex->width - 1, int(u * tex->width)), y = std::min(tex->height - 1, int(v * tex->height));
    tex->Get(x, y, r, g, b);
}

void DrawTriangle(Canvas &cv, const Camera &cam, const DrawVertex *v, const Image *tex)
{
    const double f = 1.0 / std::tan(kPi / 8), aspect = double(cv.w) / cv.h;
    double sx[3], sy[3], z[3];
    for (int i = 0; i < 3; ++i) {
        Vec3 d = v[i].p - cam.eye;
        z[i] = Dot(d, cam.look);
        if (z[i] < 1.0) return;  // near plane 1, as the program's projection
        sx[i] = (Dot(d, cam.right) * f / aspect / z[i] * 0.5 + 0.5) * cv.w;
        sy[i] = (0.5 - Dot(d, cam.up) * f / z[i] * 0.5) * cv.h;
    }
    // Screen y grows downwards, so clockwise on screen has a positive signed area here.
    double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    if (area <= 0) return;
    int x0 = std::max(0, int(std::floor(std::min({sx[0], sx[1], sx[2]}))));
    int x1 = std::min(cv.w - 1, int(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
    int y0 = std::max(0, int(std::floor(std::min({sy[0], sy[1], sy[2]}))));
    int y1 = std::min(cv.h - 1, int(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double px = x + 0.5, py = y + 0.5;
            double w0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
            double w1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
            double w2 = 1 - w0 - w1;
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            double iz = w0 / z[0] + w1 / z[1] + w2 / z[2];
            double depth = 1 / iz;
            double &zb = cv.depth[size_t(y) * cv.w + x];
            if (depth >= zb) continue;
            zb = depth;
            double a0 = w0 / z[0] / iz, a1 = w1 / z[1] / iz, a2 = w2 / z[2] / iz;
            double u = a0 * v[0].u + a1 * v[1].u + a2 * v[2].u;
            double vv = a0 * v[0].v + a1 * v[1].v + a2 * v[2].v;
            double r, g, b;
            Sample(tex, u, vv, r, g, b);
            r *= a0 * v[0].c.r + a1 * v[1].c.r + a2 * v[2].c.r;
            g *= a0 * v[0].c.g + a1 * v[1].c.g + a2 * v[2].c.g;
            b *= a0 * v[0].c.b + a1 * v[1].c.b + a2 * v[2].c.b;
            cv.img.Set(x, y, r, g, b);
        }
}

using Textures = std::map<std::string, const Image *>;

void DrawMesh(Canvas &cv, const Camera &cam, const Mesh &m, const std::vector<Vec3> &positions, const Textures &tex)
{
    for (size_t f = 0; f < m.faces.size(); ++f) {
        DrawVertex dv[3];
        for (int i = 0; i < 3; ++i) {
            const Vertex &src = m.vertices[m.faces[f][size_t(i)]];
            dv[i] = {positions[m.faces[f][size_t(i)]], src.u, src.v, src.c};
        }
        auto it = tex.find(m.materials[m.faceMaterial[f]].texture);
        DrawTriangle(cv, cam, dv, it == tex.end() ? nullptr : it->second);
    }
}

void DrawFrames(Canvas &cv, const Camera &cam, const Frame &f, const Mat4 &parent, const Textures &tex)
{
    Mat4 combined = f.local * parent;
    for (const Mesh &m : f.meshes) {
        std::vector<Vec3> pos;
        for (const Vertex &v : m.vertices) pos.push_back(TransformPoint(v.p, combined));
        DrawMesh(cv, cam, m, pos, tex);
    }
    for (const Frame &c : f.children) DrawFrames(cv, cam, c, combined, tex);
}

// Poses the ninja the way the program does: every animated frame's matrix is
// S * R * T * K from its tracks at time t; combined matrices include the root twice.
template <typename T> size_t KeyIndex(const std::vector<Key<T>> &keys, uint32_t t, double &s)
{
    size_t i = 0;
    for (size_t k = 0; k < keys.size(); ++k)
        if (keys[k].time <= t) i = k;
    size_t j = i + 1 < keys.size() ? i + 1 : i;
    uint32_t d = keys[j].time - keys[i].time;
    s = d ? double(t - keys[i].time) / d : 0;
    return i;
}

Mat4 TrackMatrix(const Track &tr, uint32_t t)
{
    Mat4 m;
    double s;
    if (!tr.scale.empty()) {
        size_t i = KeyIndex(tr.scale, t, s), j = std::min(i + 1, tr.scale.size() - 1);
        m = m * Scaling(Lerp(tr.scale[i].value, tr.scale[j].value, s));
    }
    if (!tr.rotation.empty()) {
        size_t i = KeyIndex(tr.rotation, t, s), j = std::min(i + 1, tr.rotation.size() - 1);
        const Quat &a = tr.rotation[i].value, &b = tr.rotation[j].value;
        Quat q{a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s, a.w + (b.w - a.w) * s};
        double l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = {q.x / l, q.y / l, q.z / l, q.w / l};
        m = m * MatrixFromQuat(q);
    }
    if (!tr.position.empty()) {
        size_t i = KeyIndex(tr.position, t, s), j = std::min(i + 1, tr.position.size() - 1);
        m = m * Translation(Lerp(tr.position[i].value, tr.position[j].value, s));
    }
    if (!tr.matrix.empty()) {
        size_t i = KeyIndex(tr.matrix, t, s), j = std::min(i + 1, tr.matrix.size() - 1);
        Mat4 k;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                k.m[r][c] = tr.matrix[i].value.m[r][c] + (tr.matrix[j].value.m[r][c] - tr.matrix[i].value.m[r][c]) * s;
        m = m * k;
    }
    return m;
}

void Combine(const Frame &f, const Mat4 &parent, const AnimationSet *set, uint32_t t, std::map<std::string, Mat4> &out)
{
    Mat4 local = f.local;
    if (set)
        for (const Track &tr : set->tracks)
            if (tr.frame == f.name) local = TrackMatrix(tr, t);
    Mat4 combined = local * parent;
    out[f.name] = combined;
    for (const Frame &c : f.children) Combine(c, combined, set, t, out);
}

void DrawNinja(Canvas &cv, const Camera &cam, const Ninja &ninja, const AnimationSet *set, uint32_t t,
               const Mat4 &world, const Textures &tex)
{
    std::map<std::string, Mat4> combined;
    const Frame &root = ninja.model.root;
    Combine(root, root.local, set, t, combined);
    const Mesh *mesh = nullptr;
    for (const Frame &c : root.children)
        if (!c.meshes.empty()) mesh = &c.meshes[0];
    if (!mesh) return;
    std::vector<Mat4> bones;
    for (size_t b = 0; b < mesh->boneNames.size(); ++b)
        bones.push_back(mesh->boneOffsets[b] * combined[mesh->boneNames[b]]);
    std::vector<Vec3> pos;
    for (const Vertex &v : mesh->vertices) {
        Vec3 p;
        for (int k = 0; k < kMaxInfluences; ++k)
            if (v.bone[size_t(k)] >= 0) p = p + TransformPoint(v.p, bones[size_t(v.bone[size_t(k)])]) * v.weight[size_t(k)];
        pos.push_back(TransformPoint(p, world));
    }
    DrawMesh(cv, cam, *mesh, pos, tex);
}

bool Save(const std::string &path, const Image &img)
{
    std::vector<uint8_t> png = EncodePng(img);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(png.data()), std::streamsize(png.size()));
    return bool(out);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: datapreview <out-folder>\n");
        return 2;
    }
    std::string dir = argv[1];
    Ninja ninja = BuildNinja();
    Level level = BuildLevel();
    Textures tex;
    for (const NamedImage &t : ninja.textures) tex[t.file] = &t.image;
    for (const NamedImage &t : level.textures) tex[t.file] = &t.image;
    const AnimationSet *idle = nullptr;
    for (const AnimationSet &s : ninja.model.sets)
        if (s.name == "idleTot") idle = &s;

    Mat4 placement = LevelPlacement();
    {
        Canvas cv(640, 480);
        Camera cam = FollowCamera({0, 0, 0}, {0, 2, 2});
        DrawFrames(cv, cam, level.model.root, placement, tex);
        DrawNinja(cv, cam, ninja, idle, 0, Mat4(), tex);
        if (!Save(dir + "/start.png", cv.img)) return 1;
    }
    {
        Canvas cv(640, 480);
        Camera cam{{0, 0.7, 0.5}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
        DrawFrames(cv, cam, level.model.root, placement, tex);
        if (!Save(dir + "/free.png", cv.img)) return 1;
    }
    {
        // Across the yard towards the well, the gate and the pagoda beyond the wall.
        Canvas cv(640, 480);
        Vec3 eye(-0.5, 1.5, 4.5);
        Vec3 look = Normalize(Vec3(-2.2, 1.2, -2.0) - eye);
        Vec3 right = Normalize(Cross({0, 1, 0}, look));
        Camera cam{eye, right, Cross(look, right), look};
        DrawFrames(cv, cam, level.model.root, placement, tex);
        DrawNinja(cv, cam, ninja, idle, 0, Mat4(), tex);
        if (!Save(dir + "/yard.png", cv.img)) return 1;
    }
    {
        // Walking away along -z after the camera has swung round: the camera 1.3 above and
        // 2 behind the character.
        Canvas cv(640, 480);
        Vec3 at(0, 0, -3);
        Camera cam = FollowCamera(at, {0, 1.3, 2});
        DrawFrames(cv, cam, level.model.root, placement, tex);
        if (!Save(dir + "/walk_view.png", cv.img)) return 1;
    }
    {
        // Close views of the bind pose from the front and from behind-left.
        Canvas cv(800, 600);
        Camera cam{{0, 0.62, -1.45}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        DrawNinja(cv, cam, ninja, nullptr, 0, Mat4(), tex);
        if (!Save(dir + "/front.png", cv.img)) return 1;
        Canvas back(800, 600);
        Vec3 eye(1.0, 0.9, 1.1);
        Vec3 look = Normalize(Vec3(0, 0.55, 0) - eye);
        Vec3 right = Normalize(Cross({0, 1, 0}, look));
        Camera bc{eye, right, Cross(look, right), look};
        DrawNinja(back, bc, ninja, nullptr, 0, Mat4(), tex);
        if (!Save(dir + "/back.png", back.img)) return 1;
    }
    // Contact sheets: eight poses per clip, seen from the side and from behind.
    for (const AnimationSet &s : ninja.model.sets) {
        uint32_t last = 0;
        for (const Track &tr : s.tracks) {
            if (!tr.rotation.empty()) last = std::max(last, tr.rotation.back().time);
            if (!tr.matrix.empty()) last = std::max(last, tr.matrix.back().time);
        }
        const int cell = 200;
        Image sheet(cell * 8, cell * 3);
        for (int i = 0; i < 8; ++i)
            for (int view = 0; view < 3; ++view) {
                Canvas cv(cell, cell);
                Camera cam;
                if (view == 0)
                    cam = {{-2.2, 0.55, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}};  // from the character's right
                else if (view == 1)
                    cam = FollowCamera({0, 0, 0}, {0, 2, 2});
                else
                    cam = {{0, 0.75, -2.2}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // from the front
                DrawNinja(cv, cam, ninja, &s, uint32_t(uint64_t(last) * i / 7), Mat4(), tex);
                for (int y = 0; y < cell; ++y)
                    for (int x = 0; x < cell; ++x) {
                        double r, g, b;
                        cv.img.Get(x, y, r, g, b);
                        if (cv.depth[size_t(y) * cell + x] > 1e29) { r = 0.55; g = 0.6; b = 0.65; }
                        sheet.Set(i * cell + x, view * cell + y, r, g, b);
                    }
            }
        if (!Save(dir + "/" + s.name + ".png", sheet)) return 1;
    }
    return 0;
}
