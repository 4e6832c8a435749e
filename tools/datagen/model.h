/*
 * model.h - the data generator's shared vocabulary: vector, matrix and quaternion maths in
 * the Direct3D convention (row vectors, p * M, M1 * M2 applies M1 first, left-handed),
 * the in-memory model (frames, meshes with skin weights, animation sets), images, and the
 * builders that fill them.
 *
 * Everything here is plain values in std::vector; nothing touches the program's headers or
 * any platform library, so the generator builds and runs on its own.  Doubles are used
 * throughout and rounded only when written, so results do not depend on evaluation order.
 */
#ifndef TAVROK_DATAGEN_MODEL_H
#define TAVROK_DATAGEN_MODEL_H

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

constexpr double kPi = 3.14159265358979323846;
inline double Rad(double degrees) { return degrees * kPi / 180.0; }

struct Vec3 {
    double x = 0, y = 0, z = 0;
    Vec3() = default;
    Vec3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
    Vec3 operator+(const Vec3 &o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3 &o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3 operator-() const { return {-x, -y, -z}; }
};
inline double Dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3 &a, const Vec3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3 &a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(const Vec3 &a)
{
    double l = Length(a);
    return l > 1e-12 ? a * (1.0 / l) : Vec3(0, 1, 0);
}
inline Vec3 Lerp(const Vec3 &a, const Vec3 &b, double s) { return a + (b - a) * s; }

// Row-major 4x4 matrix used with row vectors: m[3][0..2] is the translation.
struct Mat4 {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};
Mat4 operator*(const Mat4 &a, const Mat4 &b);
Mat4 Translation(const Vec3 &t);
Mat4 Scaling(const Vec3 &s);
Mat4 RotationX(double a);
Mat4 RotationY(double a);
Mat4 RotationZ(double a);
Mat4 Inverse(const Mat4 &a);
Vec3 TransformPoint(const Vec3 &p, const Mat4 &m);
Vec3 TransformNormal(const Vec3 &n, const Mat4 &m);

// Quaternion (x, y, z, w) whose rotation matrix is the one D3DXMatrixRotationQuaternion builds.
struct Quat {
    double x = 0, y = 0, z = 0, w = 1;
};
Quat QuatFromMatrix(const Mat4 &m);
Mat4 MatrixFromQuat(const Quat &q);

// Colour as four 0..1 floats.
struct Rgba {
    double r = 1, g = 1, b = 1, a = 1;
};

// ---- Meshes -------------------------------------------------------------------------

constexpr int kMaxInfluences = 4;

struct Vertex {
    Vec3 p;
    Vec3 n;
    double u = 0, v = 0;
    Rgba c;
    std::array<int, kMaxInfluences> bone{{-1, -1, -1, -1}};
    std::array<double, kMaxInfluences> weight{{0, 0, 0, 0}};
};

struct Material {
    std::string name;
    Rgba diffuse;
    double power = 0;
    Vec3 specular;
    Vec3 emissive;
    std::string texture;  // file name only; empty for none
};

struct Mesh {
    std::string name;
    std::vector<Vertex> vertices;
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<uint32_t> faceMaterial;
    std::vector<Material> materials;
    bool colors = false;                 // write MeshVertexColors
    std::vector<std::string> boneNames;  // skinned meshes: bone index -> frame name
    std::vector<Mat4> boneOffsets;       // inverse of each bone's bind-pose model matrix
    // Appends a triangle whose corners must already be wound clockwise from outside.
    void Tri(uint32_t a, uint32_t b, uint32_t c, uint32_t material)
    {
        faces.push_back({{a, b, c}});
        faceMaterial.push_back(material);
    }
};

struct Frame {
    std::string name;
    Mat4 local;
    std::vector<Mesh> meshes;
    std::vector<Frame> children;
};

// ---- Animation ----------------------------------------------------------------------

template <typename T> struct Key {
    uint32_t time;
    T value;
};

struct Track {
    std::string frame;
    std::vector<Key<Quat>> rotation;
    std::vector<Key<Vec3>> scale;
    std::vector<Key<Vec3>> position;
    std::vector<Key<Mat4>> matrix;
};

struct AnimationSet {
    std::string name;
    bool looping = true;  // written as AnimationOptions (closed or open); the program ignores it
    std::vector<Track> tracks;
};

struct Model {
    Frame root;
    std::vector<AnimationSet> sets;
    std::vector<std::string> extraTemplates;  // "XSkinMeshHeader", "SkinWeights"
};

// ---- Images -------------------------------------------------------------------------

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
    Image() = default;
    Image(int w, int h) : width(w), height(h), rgb(size_t(w) * h * 3, 0) {}
    void Set(int x, int y, double r, double g, double b);
    void Get(int x, int y, double &r, double &g, double &b) const;
};

// Bytes of a bottom-up BMP, 24 bits a pixel.
std::vector<uint8_t> EncodeBmp24(const Image &image);
// Bytes of an uncompressed-deflate PNG (preview pictures only).
std::vector<uint8_t> EncodePng(const Image &image);
// Smooth value noise in 0..1, deterministic, tiling with the given period.
double Noise2(double x, double y, int period, uint32_t salt);
double Fbm2(double x, double y, int period, uint32_t salt, int octaves);

// ---- Writers and builders -----------------------------------------------------------

std::string WriteTextX(const Model &model);

struct NamedImage {
    std::string file;
    Image image;
};

struct Ninja {
    Model model;
    std::vector<NamedImage> textures;
};
Ninja BuildNinja();

struct Level {
    Model model;
    std::vector<NamedImage> textures;
};
Level BuildLevel();
// The level's placement in the program: world = local * RotX(-1.57) * T(0, 1.4, 0).
Mat4 LevelPlacement();

std::string ParticleShaderSource();
Image SmokeBitmap();
Image SparkBitmap();
Image IconBitmap();

// Writes every data file under runDir (Data/, Level01/, Particle.vsh, bin/res/icon102.bmp).
// Returns false and prints the reason on a write error.
bool WriteRunLayout(const std::string &runDir);

}  // namespace datagen

#endif
