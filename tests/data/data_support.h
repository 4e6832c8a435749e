/*
 * data_support.h - what the data tests share: loading a model with assimp in the file's
 * own (left-handed, clockwise) conventions, posing and skinning the ninja from assimp's
 * animation channels, world-space triangles, ray and triangle tests, and a BMP reader.
 *
 * Matrices here are assimp's (column vectors); the program's row-vector matrices are their
 * transposes, so a placement written as local * RotX(a) * T(t) for row vectors reads
 * T(t) * RotX(a) * local here.
 */
#ifndef TAVROK_TESTS_DATA_SUPPORT_H
#define TAVROK_TESTS_DATA_SUPPORT_H

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace datatest {

std::string RunDir();
std::string DataPath(const std::string &relative);  // under the run layout

struct Loaded {
    std::unique_ptr<Assimp::Importer> importer;
    const aiScene *scene = nullptr;
    std::string error;
};
// Loads a model without post-processing other than undoing assimp's own conversion to
// right-handed coordinates and counter-clockwise faces.
Loaded Load(const std::string &path);

struct Tri {
    aiVector3D a, b, c;
};

// Every face of every mesh, transformed by the node hierarchy and then by `outer`.
std::vector<Tri> WorldTriangles(const aiScene *scene, const aiMatrix4x4 &outer);

// The program's placement of the level: RotX(-1.57) then a move to (0, 1.4, 0).
aiMatrix4x4 LevelPlacement();

// Nearest hit of the ray o + t d (t > 0) with any triangle, either side; -1 when none.
double CastRay(const std::vector<Tri> &tris, const aiVector3D &o, const aiVector3D &d, size_t *hit = nullptr);

// True when the two triangles intersect (an edge of one crosses the other).
bool TrianglesTouch(const Tri &p, const Tri &q);

// The skinned positions of every mesh of a skinned model, posed by `anim` at `time`
// (null: the bind pose), in model space.
std::vector<aiVector3D> SkinnedVertices(const aiScene *scene, const aiAnimation *anim, double time);
// The model-space matrix of the named node in the same pose, or of every node by name.
aiMatrix4x4 NodeMatrix(const aiScene *scene, const aiAnimation *anim, double time, const std::string &name);
std::map<std::string, aiMatrix4x4> NodeMatrices(const aiScene *scene, const aiAnimation *anim, double time);
// Whether the file gave the node's track in `anim` as matrix keys: assimp's rotation keys
// from quaternion keys are the conjugates of the program's, those from matrices are not.
bool KeyedByMatrices(const aiScene *scene, const aiAnimation *anim, const std::string &node);

const aiAnimation *FindAnimation(const aiScene *scene, const std::string &name);

struct Bitmap {
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
    bool ok = false;
    void At(int x, int y, int &r, int &g, int &b) const;
};
Bitmap ReadBmp(const std::string &path);

std::string ReadText(const std::string &path);

}  // namespace datatest

#endif
