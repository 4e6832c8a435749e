// Loading the generated character (text and binary .x) and level (text and binary) as
// set-up does, against assimp reading the same files, in alternation (side_by_side.h): the
// ratio column is ours over assimp's CPU time.  Ours includes the textures the materials
// name; assimp reads the file only.  Needs the data files and their binary variants, which
// the build makes (the tavrok_data and tavrok_data_variants targets) in the run folder.
#include <benchmark/benchmark.h>

#include <d3dx9.h>

#include "../side_by_side.h"
#include "bench_device.h"
#include "scene/xfile_loader.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <string>

namespace {

const std::string kRun = TAVROK_BENCH_RUN_DIR;

bool LoadCharacter(const std::string &file)
{
    std::string textures = kRun + "/Data/";
    SMeshContainer *list = NULL;
    SFrame *root = NULL;
    LoadSkinnedModel(&list, &root, BenchDevice(), file.c_str(), textures.c_str(), 0, D3DXMESH_SYSTEMMEM);
    if (!list)
        return false;
    FreeMeshContainer(list);
    delete list;
    DeleteFrameTree(root);
    return true;
}

bool LoadLevel(const std::string &file)
{
    std::string textures = kRun + "/Level01/";
    SMeshContainer *level = NULL;
    LoadLevelModel(&level, NULL, BenchDevice(), file.c_str(), textures.c_str(), 0, D3DXMESH_SYSTEMMEM);
    if (!level)
        return false;
    FreeMeshContainer(level);
    delete level;
    return true;
}

bool AssimpRead(const std::string &file)
{
    Assimp::Importer importer;
    return importer.ReadFile(file, 0) != nullptr;
}

template <bool (*Load)(const std::string &)>
void Compare(benchmark::State &state, const std::string &file)
{
    RunSideBySide(state, "a load failed (data files generated?)", [&] { return Load(file); },
                  [&] { return AssimpRead(file); });
}

void BM_CharacterText(benchmark::State &state) { Compare<LoadCharacter>(state, kRun + "/Data/Ninja.x"); }
void BM_CharacterBinary(benchmark::State &state) { Compare<LoadCharacter>(state, kRun + "/variants/Ninja_bin32.x"); }
void BM_LevelText(benchmark::State &state) { Compare<LoadLevel>(state, kRun + "/Level01/Level.x"); }
void BM_LevelBinary(benchmark::State &state) { Compare<LoadLevel>(state, kRun + "/variants/Level_bin32.x"); }
BENCHMARK(BM_CharacterText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CharacterBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelBinary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
