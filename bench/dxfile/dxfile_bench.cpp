/*
 * dxfile_bench.cpp - opening and walking .x files, against assimp's ReadFile.
 *
 * Generates four files: a skinned model (50,000 vertices with normals, texture coordinates,
 * a material list and 20 bones, a 21-frame hierarchy, and 20 animation sets of 20
 * animations with rotation, position and scale keys) as text and as 32-bit binary; a
 * text scene of many small objects (1,500 frames, each with a named box mesh, its normals,
 * coordinates and material list, and a reference to one of a few shared materials); and
 * a smaller skinned model (30,000 vertices) as compressed binary.  The binary files are
 * written by the library's writer from the parsed text.  Each file is read fully through
 * the DirectX File interfaces (every object, child, data block and reference) and by
 * assimp in alternation (side_by_side.h); the ratio column is ours over assimp's CPU time.
 */
#include <dxfile.h>
#include <rmxftmpl.h>

#include "../side_by_side.h"
#include "xwriter.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A face list: "n;" then n triangles, face f made of corner(f, 0), (f, 1) and (f, 2).
template <class Corner>
void AppendTriangles(std::string &s, const char *indent, int n, Corner corner)
{
    char b[128];
    snprintf(b, sizeof b, "%s%d;\n", indent, n);
    s += b;
    for (int f = 0; f < n; ++f) {
        snprintf(b, sizeof b, "%s3;%d,%d,%d;%s\n", indent, corner(f, 0), corner(f, 1), corner(f, 2), f + 1 < n ? "," : ";");
        s += b;
    }
}

// A Mesh's face list, then its MeshNormals opened, with one normal pointing up per vertex
// and the same faces.
template <class Corner>
void AppendFacesAndUpNormals(std::string &s, int vertices, int faces, Corner corner)
{
    AppendTriangles(s, "  ", faces, corner);
    s += "  MeshNormals {\n   " + std::to_string(vertices) + ";\n";
    for (int v = 0; v < vertices; ++v)
        s += v + 1 < vertices ? "   0.000000;1.000000;0.000000;,\n" : "   0.000000;1.000000;0.000000;;\n";
    AppendTriangles(s, "   ", faces, corner);
}

// A skinned, animated model of `kVertices` vertices.
std::string MakeModel(const int kVertices)
{
    const int kBones = 20, kSets = 20, kKeys = 30;
    std::string s;
    s.reserve(16 << 20);
    char b[256];
    s += "xof 0302txt 0032\n";
    s += "template XSkinMeshHeader {\n <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>\n WORD nMaxSkinWeightsPerVertex;\n"
         " WORD nMaxSkinWeightsPerFace;\n WORD nBones;\n}\n";
    s += "template SkinWeights {\n <6F0D123B-BAD2-4167-A0D0-80224F25FABB>\n STRING transformNodeName;\n"
         " DWORD nWeights;\n array DWORD vertexIndices[nWeights];\n array FLOAT weights[nWeights];\n"
         " Matrix4x4 matrixOffset;\n}\n";
    const char *identity = "1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
                           "0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;";
    s += "Frame Root {\n FrameTransformMatrix {\n  ";
    s += identity;
    s += "\n }\n";
    for (int bone = 0; bone < kBones; ++bone) {
        snprintf(b, sizeof b, " Frame Bone%02d {\n  FrameTransformMatrix {\n   %s\n  }\n", bone, identity);
        s += b;
    }
    for (int bone = 0; bone < kBones; ++bone)
        s += " }\n";
    snprintf(b, sizeof b, " Mesh Body {\n  %d;\n", kVertices);
    s += b;
    for (int v = 0; v < kVertices; ++v) {
        snprintf(b, sizeof b, "  %.6f;%.6f;%.6f;%s\n", (v % 250) * 0.01, (v / 250) * 0.01, (v % 7) * 0.125,
                 v + 1 < kVertices ? "," : ";");
        s += b;
    }
    const int faces = kVertices - 2;
    AppendFacesAndUpNormals(s, kVertices, faces, [](int f, int k) { return f + k; });
    snprintf(b, sizeof b, "  }\n  MeshTextureCoords {\n   %d;\n", kVertices);
    s += b;
    for (int v = 0; v < kVertices; ++v) {
        snprintf(b, sizeof b, "   %.6f;%.6f;%s\n", (v % 250) / 250.0, (v / 250) / 200.0, v + 1 < kVertices ? "," : ";");
        s += b;
    }
    snprintf(b, sizeof b, "  }\n  MeshMaterialList {\n   1;\n   %d;\n", faces);
    s += b;
    for (int f = 0; f < faces; ++f)
        s += f + 1 < faces ? "   0,\n" : "   0;;\n";
    s += "   Material { 1.0;1.0;1.0;1.0;; 8.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; TextureFilename { \"body.bmp\"; } }\n  }\n";
    snprintf(b, sizeof b, "  XSkinMeshHeader { 1; 3; %d; }\n", kBones);
    s += b;
    const int per = kVertices / kBones;
    for (int bone = 0; bone < kBones; ++bone) {
        snprintf(b, sizeof b, "  SkinWeights {\n   \"Bone%02d\";\n   %d;\n   ", bone, per);
        s += b;
        for (int i = 0; i < per; ++i) {
            snprintf(b, sizeof b, "%d%s", bone * per + i, i + 1 < per ? "," : ";\n   ");
            s += b;
        }
        for (int i = 0; i < per; ++i)
            s += i + 1 < per ? "1.000000," : "1.000000;\n   ";
        s += identity;
        s += "\n  }\n";
    }
    s += " }\n}\n";
    for (int set = 0; set < kSets; ++set) {
        snprintf(b, sizeof b, "AnimationSet Clip%02d {\n", set);
        s += b;
        for (int bone = 0; bone < kBones; ++bone) {
            snprintf(b, sizeof b, " Animation {\n  { Bone%02d }\n  AnimationKey {\n   0;\n   %d;\n", bone, kKeys);
            s += b;
            for (int k = 0; k < kKeys; ++k) {
                snprintf(b, sizeof b, "   %d;4;%.6f,%.6f,0.000000,0.000000;;%s\n", k * 160, 1.0 - k * 0.001, k * 0.001,
                         k + 1 < kKeys ? "," : ";");
                s += b;
            }
            snprintf(b, sizeof b, "  }\n  AnimationKey {\n   2;\n   %d;\n", kKeys);
            s += b;
            for (int k = 0; k < kKeys; ++k) {
                snprintf(b, sizeof b, "   %d;3;0.000000,%.6f,0.000000;;%s\n", k * 160, k * 0.01, k + 1 < kKeys ? "," : ";");
                s += b;
            }
            snprintf(b, sizeof b, "  }\n  AnimationKey {\n   1;\n   2;\n   0;3;1.0,1.0,1.0;;,\n   %d;3;1.0,1.0,1.0;;;\n  }\n }\n",
                     (kKeys - 1) * 160);
            s += b;
        }
        s += "}\n";
    }
    return s;
}

// A scene of many small objects: shared materials, then frames each holding a box.
std::string MakeScene()
{
    const int kFrames = 1500, kMaterials = 8;
    std::string s;
    s.reserve(8 << 20);
    char b[256];
    s += "xof 0302txt 0032\n";
    for (int m = 0; m < kMaterials; ++m) {
        snprintf(b, sizeof b, "Material Mat%d {\n 0.%d00000;0.500000;0.250000;1.000000;;\n 12.000000;\n"
                 " 0.100000;0.100000;0.100000;;\n 0.000000;0.000000;0.000000;;\n TextureFilename {\n  \"tex%d.bmp\";\n }\n}\n",
                 m, m, m);
        s += b;
    }
    const int kCorners = 24, kFaces = 12;
    for (int f = 0; f < kFrames; ++f) {
        float x = float(f % 40) * 2.0f, z = float(f / 40) * 2.0f;
        snprintf(b, sizeof b, "Frame Box%04d {\n FrameTransformMatrix {\n  1.000000,0.000000,0.000000,0.000000,"
                 "0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,%.6f,0.000000,%.6f,1.000000;;\n }\n"
                 " Mesh Box%04dMesh {\n  %d;\n", f, x, z, f, kCorners);
        s += b;
        for (int v = 0; v < kCorners; ++v) {
            snprintf(b, sizeof b, "  %.6f;%.6f;%.6f;%s\n", (v & 1) * 1.0, ((v >> 1) & 1) * 1.0, ((v >> 2) & 1) * 1.0,
                     v + 1 < kCorners ? "," : ";");
            s += b;
        }
        AppendFacesAndUpNormals(s, kCorners, kFaces, [&](int t, int k) { return (2 * t + k) % kCorners; });
        snprintf(b, sizeof b, "  }\n  MeshTextureCoords {\n   %d;\n", kCorners);
        s += b;
        for (int v = 0; v < kCorners; ++v) {
            snprintf(b, sizeof b, "   %.6f;%.6f;%s\n", (v & 1) * 1.0, ((v >> 1) & 1) * 1.0, v + 1 < kCorners ? "," : ";");
            s += b;
        }
        snprintf(b, sizeof b, "  }\n  MeshMaterialList {\n   1;\n   %d;\n", kFaces);
        s += b;
        for (int t = 0; t < kFaces; ++t)
            s += t + 1 < kFaces ? "   0,\n" : "   0;;\n";
        snprintf(b, sizeof b, "   { Mat%d }\n  }\n }\n}\n", f % kMaterials);
        s += b;
    }
    return s;
}

struct BenchFile {
    const char *name;
    std::string path;
};
std::vector<BenchFile> g_files;

void Save(const char *name, const std::string &fileName, const void *bytes, size_t size)
{
    std::string path = (std::filesystem::temp_directory_path() / "tavrok_dxfile_bench" / fileName).string();
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(bytes, 1, size, f);
    fclose(f);
    g_files.push_back({name, path});
    fprintf(stderr, "%-22s %9zu bytes  %s\n", name, size, path.c_str());
}

// The text as it is, and re-encoded in `format` by the library's writer.
std::vector<uint8_t> Reencode(const std::string &text, tavrok::dxfile::OutFormat format)
{
    using namespace tavrok::dxfile;
    TemplateSet set;
    AddStandardTemplates(set, false);
    Document doc;
    LoadDocument(reinterpret_cast<const uint8_t *>(text.data()), text.size(), set, doc);
    return Encode(doc, format);
}

void WriteFiles()
{
    using tavrok::dxfile::OutFormat;
    std::filesystem::create_directories(std::filesystem::temp_directory_path() / "tavrok_dxfile_bench");
    std::string model = MakeModel(50000);
    Save("Text", "large_txt.x", model.data(), model.size());
    std::vector<uint8_t> bin = Reencode(model, OutFormat::Binary32);
    Save("Binary", "large_bin.x", bin.data(), bin.size());
    std::string scene = MakeScene();
    Save("ManyObjectsText", "scene_txt.x", scene.data(), scene.size());
    std::vector<uint8_t> zip = Reencode(MakeModel(30000), OutFormat::BinaryZip);
    Save("CompressedBinary", "medium_bzip.x", zip.data(), zip.size());
}

size_t Walk(IDirectXFileData *d)
{
    DWORD size = 0;
    void *data = nullptr;
    d->GetData(nullptr, &size, &data);
    size_t total = size;
    IDirectXFileObject *c = nullptr;
    while (SUCCEEDED(d->GetNextObject(&c))) {
        IDirectXFileData *cd = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        if (SUCCEEDED(c->QueryInterface(IID_IDirectXFileData, (void **)&cd))) {
            total += Walk(cd);
            cd->Release();
        } else if (SUCCEEDED(c->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
            IDirectXFileData *target = nullptr;
            if (SUCCEEDED(ref->Resolve(&target))) {
                total += 1;
                target->Release();
            }
            ref->Release();
        }
        c->Release();
    }
    return total;
}

bool ReadWithDxfile(const std::string &path)
{
    IDirectXFile *file = nullptr;
    DirectXFileCreate(&file);
    file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    IDirectXFileEnumObject *e = nullptr;
    if (FAILED(file->CreateEnumObject((void *)path.c_str(), DXFILELOAD_FROMFILE, &e))) {
        file->Release();
        return false;
    }
    size_t total = 0;
    IDirectXFileData *d = nullptr;
    while (SUCCEEDED(e->GetNextDataObject(&d))) {
        total += Walk(d);
        d->Release();
    }
    benchmark::DoNotOptimize(total);
    e->Release();
    file->Release();
    return total > 0;
}

bool ReadWithAssimp(const std::string &path)
{
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    if (scene)
        benchmark::DoNotOptimize(scene->mNumMeshes);
    return scene != nullptr;
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    WriteFiles();
    for (const BenchFile &f : g_files) {
        benchmark::RegisterBenchmark((std::string("Read/") + f.name).c_str(), [path = f.path](benchmark::State &state) {
            RunSideBySide(state, "a reader failed", [&] { return ReadWithDxfile(path); },
                          [&] { return ReadWithAssimp(path); });
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
