// Loading the generated character (text and binary .x) and level as set-up does, against
// assimp reading the same files.  Needs the data files (built by the tavrok_data target).
#include <benchmark/benchmark.h>

#include <d3dx9.h>

#include "bench_device.h"
#include "scene/xfile_loader.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <string>

namespace {

const std::string kRun = TAVROK_BENCH_RUN_DIR;

void LoadCharacter(benchmark::State &state, const std::string &file)
{
    std::string textures = kRun + "/Data/";
    for (auto _ : state) {
        SMeshContainer *list = NULL;
        SFrame *root = NULL;
        LoadSkinnedModel(&list, &root, BenchDevice(), file.c_str(), textures.c_str(), 0, D3DXMESH_SYSTEMMEM);
        if (!list) {
            state.SkipWithError("the character did not load (data files generated?)");
            return;
        }
        FreeMeshContainer(list);
        delete list;
        DeleteFrameTree(root);
    }
}
void BM_LoadCharacterText(benchmark::State &state) { LoadCharacter(state, kRun + "/Data/Ninja.x"); }
void BM_LoadCharacterBinary(benchmark::State &state) { LoadCharacter(state, kRun + "/variants/Ninja_bin32.x"); }
BENCHMARK(BM_LoadCharacterText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCharacterBinary)->Unit(benchmark::kMillisecond);

void BM_LoadLevelText(benchmark::State &state)
{
    std::string file = kRun + "/Level01/Level.x", textures = kRun + "/Level01/";
    for (auto _ : state) {
        SMeshContainer *level = NULL;
        LoadLevelModel(&level, NULL, BenchDevice(), file.c_str(), textures.c_str(), 0, D3DXMESH_SYSTEMMEM);
        if (!level) {
            state.SkipWithError("the level did not load");
            return;
        }
        FreeMeshContainer(level);
        delete level;
    }
}
BENCHMARK(BM_LoadLevelText)->Unit(benchmark::kMillisecond);

void AssimpRead(benchmark::State &state, const std::string &file)
{
    for (auto _ : state) {
        Assimp::Importer importer;
        if (!importer.ReadFile(file, 0)) {
            state.SkipWithError(importer.GetErrorString());
            return;
        }
    }
}
void BM_AssimpCharacterText(benchmark::State &state) { AssimpRead(state, kRun + "/Data/Ninja.x"); }
void BM_AssimpCharacterBinary(benchmark::State &state) { AssimpRead(state, kRun + "/variants/Ninja_bin32.x"); }
BENCHMARK(BM_AssimpCharacterText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssimpCharacterBinary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
