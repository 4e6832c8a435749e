/*
 * dxfile_bench.cpp - opening and walking a large .x file, against assimp's ReadFile.
 *
 * Generates one model (a skinned mesh of 50,000 vertices with normals, texture
 * coordinates, a material list and 20 bones, a 21-frame hierarchy, and 20 animation sets
 * of 20 animations with rotation, position and scale keys) as text, then converts it to
 * 32-bit binary with the library's writer.  Each file is read fully through the DirectX
 * File interfaces (every object, child, data block and reference) and by assimp, and the
 * ratio of their CPU times is printed after the runs: below 1 means we are faster.
 */
#include <dxfile.h>
#include <rmxftmpl.h>

#include "xwriter.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace {

std::string g_textPath, g_binaryPath;

std::string MakeModel()
{
    const int kVertices = 50000, kBones = 20, kSets = 20, kKeys = 30;
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
    s += " Mesh Body {\n  50000;\n";
    for (int v = 0; v < kVertices; ++v) {
        snprintf(b, sizeof b, "  %.6f;%.6f;%.6f;%s\n", (v % 250) * 0.01, (v / 250) * 0.01, (v % 7) * 0.125,
                 v + 1 < kVertices ? "," : ";");
        s += b;
    }
    int faces = kVertices - 2;
    snprintf(b, sizeof b, "  %d;\n", faces);
    s += b;
    for (int f = 0; f < faces; ++f) {
        snprintf(b, sizeof b, "  3;%d,%d,%d;%s\n", f, f + 1, f + 2, f + 1 < faces ? "," : ";");
        s += b;
    }
    s += "  MeshNormals {\n   50000;\n";
    for (int v = 0; v < kVertices; ++v)
        s += v + 1 < kVertices ? "   0.000000;1.000000;0.000000;,\n" : "   0.000000;1.000000;0.000000;;\n";
    snprintf(b, sizeof b, "   %d;\n", faces);
    s += b;
    for (int f = 0; f < faces; ++f) {
        snprintf(b, sizeof b, "   3;%d,%d,%d;%s\n", f, f + 1, f + 2, f + 1 < faces ? "," : ";");
        s += b;
    }
    s += "  }\n  MeshTextureCoords {\n   50000;\n";
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

void WriteFiles()
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "tavrok_dxfile_bench";
    fs::create_directories(dir);
    g_textPath = (dir / "large_txt.x").string();
    g_binaryPath = (dir / "large_bin.x").string();
    std::string text = MakeModel();
    FILE *f = fopen(g_textPath.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);

    using namespace tavrok::dxfile;
    TemplateSet set;
    AddStandardTemplates(set, false);
    Document doc;
    LoadDocument(reinterpret_cast<const uint8_t *>(text.data()), text.size(), set, doc);
    std::vector<uint8_t> bin = Encode(doc, OutFormat::Binary32);
    f = fopen(g_binaryPath.c_str(), "wb");
    fwrite(bin.data(), 1, bin.size(), f);
    fclose(f);
    fprintf(stderr, "text file %zu bytes, binary file %zu bytes\n", text.size(), bin.size());
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

void ReadWithDxfile(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        IDirectXFile *file = nullptr;
        DirectXFileCreate(&file);
        file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        IDirectXFileEnumObject *e = nullptr;
        if (FAILED(file->CreateEnumObject((void *)path.c_str(), DXFILELOAD_FROMFILE, &e))) {
            state.SkipWithError("open failed");
            break;
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
    }
}

void ReadWithAssimp(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene *scene = importer.ReadFile(path, 0);
        if (!scene) {
            state.SkipWithError(importer.GetErrorString());
            break;
        }
        benchmark::DoNotOptimize(scene->mNumMeshes);
    }
}

void BM_Text_Dxfile(benchmark::State &s) { ReadWithDxfile(s, g_textPath); }
void BM_Text_Assimp(benchmark::State &s) { ReadWithAssimp(s, g_textPath); }
void BM_Binary_Dxfile(benchmark::State &s) { ReadWithDxfile(s, g_binaryPath); }
void BM_Binary_Assimp(benchmark::State &s) { ReadWithAssimp(s, g_binaryPath); }

BENCHMARK(BM_Text_Dxfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text_Assimp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Binary_Dxfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Binary_Assimp)->Unit(benchmark::kMillisecond);

// Keeps each run's time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (!r.error_occurred)
                times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const
    {
        for (const char *kind : {"Text", "Binary"}) {
            auto ours = times_.find(std::string("BM_") + kind + "_Dxfile");
            auto theirs = times_.find(std::string("BM_") + kind + "_Assimp");
            if (ours != times_.end() && theirs != times_.end() && theirs->second > 0)
                printf("ratio %s dxfile/assimp: %.3f\n", kind, ours->second / theirs->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    WriteFiles();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
