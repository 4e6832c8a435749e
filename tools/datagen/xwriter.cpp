/*
 * xwriter.cpp - writes a Model as a text DirectX file ("xof 0302txt 0032").
 *
 * Layout follows the retained-mode templates: Frame with FrameTransformMatrix, Mesh with
 * MeshNormals, MeshTextureCoords, MeshVertexColors, MeshMaterialList (Material with
 * TextureFilename), and for skinned meshes XSkinMeshHeader and SkinWeights, whose template
 * declarations are written at the top because readers register only the standard set.
 * AnimationSets hold one Animation per frame, each naming its frame by reference ({Name})
 * and carrying AnimationKeys of types 0 (rotation, stored w, x, y, z), 1 (scale),
 * 2 (position) and 4 (matrix).
 *
 * Separators: members end with ';', list elements are separated by ',' and a list ends
 * with ';'; a structure used as a member gets its own closing ';'.  Numbers are written in
 * fixed notation with six decimals, so output is byte-identical from run to run.
 */
#include "model.h"

#include <algorithm>
#include <cstdio>

namespace datagen {
namespace {

class Writer {
public:
    std::string out;

    void Line(int depth, const std::string &text)
    {
        out.append(size_t(depth), ' ');
        out += text;
        out += '\n';
    }

    static std::string F(double v)
    {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.6f", v);
        std::string s = buf;
        if (s == "-0.000000") s = "0.000000";
        return s;
    }

    static std::string U(uint64_t v) { return std::to_string(v); }

    static std::string Matrix(const Mat4 &m)
    {
        std::string s;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                s += F(m.m[i][j]);
                s += (i == 3 && j == 3) ? ";;" : ",";
            }
        return s;
    }

    void Templates(const std::vector<std::string> &names)
    {
        for (const std::string &n : names) {
            if (n == "XSkinMeshHeader") {
                Line(0, "template XSkinMeshHeader {");
                Line(1, "<3cf169ce-ff7c-44ab-93c0-f78f62d172e2>");
                Line(1, "WORD nMaxSkinWeightsPerVertex;");
                Line(1, "WORD nMaxSkinWeightsPerFace;");
                Line(1, "WORD nBones;");
                Line(0, "}");
                Line(0, "");
            } else if (n == "SkinWeights") {
                Line(0, "template SkinWeights {");
                Line(1, "<6f0d123b-bad2-4167-a0d0-80224f25fabb>");
                Line(1, "STRING transformNodeName;");
                Line(1, "DWORD nWeights;");
                Line(1, "array DWORD vertexIndices[nWeights];");
                Line(1, "array FLOAT weights[nWeights];");
                Line(1, "Matrix4x4 matrixOffset;");
                Line(0, "}");
                Line(0, "");
            }
        }
    }

    void WriteMesh(int d, const Mesh &mesh)
    {
        const auto &vs = mesh.vertices;
        Line(d, "Mesh " + mesh.name + " {");
        Line(d + 1, U(vs.size()) + ";");
        for (size_t i = 0; i < vs.size(); ++i)
            Line(d + 1, F(vs[i].p.x) + ";" + F(vs[i].p.y) + ";" + F(vs[i].p.z) + ";" +
                            (i + 1 < vs.size() ? "," : ";"));
        Faces(d + 1, mesh);

        Line(d + 1, "MeshNormals {");
        Line(d + 2, U(vs.size()) + ";");
        for (size_t i = 0; i < vs.size(); ++i)
            Line(d + 2, F(vs[i].n.x) + ";" + F(vs[i].n.y) + ";" + F(vs[i].n.z) + ";" +
                            (i + 1 < vs.size() ? "," : ";"));
        Faces(d + 2, mesh);
        Line(d + 1, "}");

        Line(d + 1, "MeshTextureCoords {");
        Line(d + 2, U(vs.size()) + ";");
        for (size_t i = 0; i < vs.size(); ++i)
            Line(d + 2, F(vs[i].u) + ";" + F(vs[i].v) + ";" + (i + 1 < vs.size() ? "," : ";"));
        Line(d + 1, "}");

        if (mesh.colors) {
            Line(d + 1, "MeshVertexColors {");
            Line(d + 2, U(vs.size()) + ";");
            for (size_t i = 0; i < vs.size(); ++i) {
                const Rgba &c = vs[i].c;
                Line(d + 2, U(i) + ";" + F(c.r) + ";" + F(c.g) + ";" + F(c.b) + ";" + F(c.a) +
                                ";;" + (i + 1 < vs.size() ? "," : ";"));
            }
            Line(d + 1, "}");
        }

        Line(d + 1, "MeshMaterialList {");
        Line(d + 2, U(mesh.materials.size()) + ";");
        Line(d + 2, U(mesh.faces.size()) + ";");
        for (size_t i = 0; i < mesh.faceMaterial.size(); ++i)
            Line(d + 2, U(mesh.faceMaterial[i]) + (i + 1 < mesh.faceMaterial.size() ? "," : ";"));
        for (const Material &m : mesh.materials) {
            Line(d + 2, "Material " + m.name + " {");
            Line(d + 3, F(m.diffuse.r) + ";" + F(m.diffuse.g) + ";" + F(m.diffuse.b) + ";" +
                            F(m.diffuse.a) + ";;");
            Line(d + 3, F(m.power) + ";");
            Line(d + 3, F(m.specular.x) + ";" + F(m.specular.y) + ";" + F(m.specular.z) + ";;");
            Line(d + 3, F(m.emissive.x) + ";" + F(m.emissive.y) + ";" + F(m.emissive.z) + ";;");
            if (!m.texture.empty()) {
                Line(d + 3, "TextureFilename {");
                Line(d + 4, "\"" + m.texture + "\";");
                Line(d + 3, "}");
            }
            Line(d + 2, "}");
        }
        Line(d + 1, "}");

        if (!mesh.boneNames.empty()) SkinData(d + 1, mesh);
        Line(d, "}");
    }

    void Faces(int d, const Mesh &mesh)
    {
        Line(d, U(mesh.faces.size()) + ";");
        for (size_t i = 0; i < mesh.faces.size(); ++i) {
            const auto &f = mesh.faces[i];
            Line(d, "3;" + U(f[0]) + "," + U(f[1]) + "," + U(f[2]) + ";" +
                        (i + 1 < mesh.faces.size() ? "," : ";"));
        }
    }

    void SkinData(int d, const Mesh &mesh)
    {
        size_t bones = mesh.boneNames.size();
        std::vector<std::vector<std::pair<uint32_t, double>>> perBone(bones);
        int maxPerVertex = 0;
        for (size_t v = 0; v < mesh.vertices.size(); ++v) {
            int count = 0;
            for (int k = 0; k < kMaxInfluences; ++k) {
                int b = mesh.vertices[v].bone[k];
                if (b < 0) continue;
                perBone[size_t(b)].push_back({uint32_t(v), mesh.vertices[v].weight[k]});
                ++count;
            }
            maxPerVertex = std::max(maxPerVertex, count);
        }
        int maxPerFace = 0;
        for (const auto &f : mesh.faces) {
            std::vector<int> seen;
            for (uint32_t idx : f)
                for (int b : mesh.vertices[idx].bone)
                    if (b >= 0 && std::find(seen.begin(), seen.end(), b) == seen.end())
                        seen.push_back(b);
            maxPerFace = std::max(maxPerFace, int(seen.size()));
        }
        Line(d, "XSkinMeshHeader {");
        Line(d + 1, U(uint64_t(maxPerVertex)) + ";");
        Line(d + 1, U(uint64_t(maxPerFace)) + ";");
        Line(d + 1, U(bones) + ";");
        Line(d, "}");
        for (size_t b = 0; b < bones; ++b) {
            const auto &list = perBone[b];
            Line(d, "SkinWeights {");
            Line(d + 1, "\"" + mesh.boneNames[b] + "\";");
            Line(d + 1, U(list.size()) + ";");
            std::string idx, w;
            for (size_t i = 0; i < list.size(); ++i) {
                idx += U(list[i].first) + (i + 1 < list.size() ? "," : "");
                w += F(list[i].second) + (i + 1 < list.size() ? "," : "");
            }
            Line(d + 1, idx + ";");
            Line(d + 1, w + ";");
            Line(d + 1, Matrix(mesh.boneOffsets[b]));
            Line(d, "}");
        }
    }

    void WriteFrame(int d, const Frame &f)
    {
        Line(d, "Frame " + f.name + " {");
        Line(d + 1, "FrameTransformMatrix {");
        Line(d + 2, Matrix(f.local));
        Line(d + 1, "}");
        for (const Mesh &m : f.meshes) WriteMesh(d + 1, m);
        for (const Frame &c : f.children) WriteFrame(d + 1, c);
        Line(d, "}");
    }

    template <typename T, typename Fn>
    void Keys(int d, int type, const std::vector<Key<T>> &keys, Fn values)
    {
        if (keys.empty()) return;
        Line(d, "AnimationKey {");
        Line(d + 1, std::to_string(type) + ";");
        Line(d + 1, U(keys.size()) + ";");
        for (size_t i = 0; i < keys.size(); ++i)
            Line(d + 1, U(keys[i].time) + ";" + values(keys[i].value) + ";;" +
                            (i + 1 < keys.size() ? "," : ";"));
        Line(d, "}");
    }

    void WriteSet(const AnimationSet &set)
    {
        Line(0, "AnimationSet " + set.name + " {");
        for (const Track &t : set.tracks) {
            Line(1, "Animation {");
            Line(2, "{" + t.frame + "}");
            // openclosed: 0 closed (cycles), 1 open; positionquality 1: linear, as the keys
            // are sampled densely.  The program chooses looping itself and ignores this.
            Line(2, "AnimationOptions {");
            Line(3, set.looping ? "0;" : "1;");
            Line(3, "1;");
            Line(2, "}");
            Keys(2, 0, t.rotation, [](const Quat &q) {
                return "4;" + F(q.w) + "," + F(q.x) + "," + F(q.y) + "," + F(q.z);
            });
            Keys(2, 1, t.scale, [](const Vec3 &v) {
                return "3;" + F(v.x) + "," + F(v.y) + "," + F(v.z);
            });
            Keys(2, 2, t.position, [](const Vec3 &v) {
                return "3;" + F(v.x) + "," + F(v.y) + "," + F(v.z);
            });
            Keys(2, 4, t.matrix, [](const Mat4 &m) {
                std::string s = "16;";
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j) s += F(m.m[i][j]) + (i == 3 && j == 3 ? "" : ",");
                return s;
            });
            Line(1, "}");
        }
        Line(0, "}");
    }
};

}  // namespace

std::string WriteTextX(const Model &model)
{
    Writer w;
    w.out = "xof 0302txt 0032\n\n";
    w.Templates(model.extraTemplates);
    w.WriteFrame(0, model.root);
    for (const AnimationSet &s : model.sets) {
        w.Line(0, "");
        w.WriteSet(s);
    }
    return w.out;
}

}  // namespace datagen
