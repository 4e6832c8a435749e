// The program's own loaders (the scene's frames, containers and bones, the animation
// collection) on a skinned file of several clips, against assimp.  (Every encoding of a
// file reads as the same objects and blocks: the encoding tests.)
#include "d3dx9/mesh_test_util.h"
#include "dx_test_util.h"

#include "anim/animation.h"
#include "scene/xfile_loader.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <map>

namespace {

class DxProgramLoaders : public meshtest::NullDeviceTest {
protected:
    void Free()
    {
        if (list_) {
            FreeMeshContainer(list_);
            delete list_;
        }
        DeleteFrameTree(root_);
        list_ = nullptr;
        root_ = nullptr;
    }
    void TearDown() override
    {
        Free();
        meshtest::NullDeviceTest::TearDown();
    }
    // Loads `path` with the scene loader; no line may be written.
    void LoadModel(const std::string &path)
    {
        Free();
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), "", 0, D3DXMESH_SYSTEMMEM), S_OK);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(meshtest::CountLines(err), 0) << err;
    }
    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

// Every node of assimp's tree, with the root (a frame of the file here).
void Nodes(const aiNode *n, std::vector<const aiNode *> &out)
{
    out.push_back(n);
    for (unsigned i = 0; i < n->mNumChildren; ++i)
        Nodes(n->mChildren[i], out);
}

}  // namespace

TEST_F(DxProgramLoaders, SkinnedFileOfSeveralClipsAgreesWithAssimp)
{
    const std::string path = dxtest::TestFile("clips.x");
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh *mesh = scene->mMeshes[0];
    unsigned triangles = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
        triangles += mesh->mFaces[f].mNumIndices - 2;
    std::vector<const aiNode *> nodes;
    Nodes(scene->mRootNode, nodes);

    // Frames, the one container (assimp keeps every corner, as the file shares none)
    // and its bones, each bound to the frame of its name.
    LoadModel(path);
    for (const aiNode *n : nodes)
        EXPECT_NE(FindFrame(root_, n->mName.C_Str()), nullptr) << n->mName.C_Str();
    ASSERT_NE(list_, nullptr);
    EXPECT_EQ(list_->pNextMeshContainer, nullptr);
    EXPECT_EQ(list_->MeshData.pMesh->GetNumVertices(), mesh->mNumVertices);
    EXPECT_EQ(list_->MeshData.pMesh->GetNumFaces(), triangles);
    ASSERT_NE(list_->pSkinInfo, nullptr);
    ASSERT_EQ(list_->pSkinInfo->GetNumBones(), mesh->mNumBones);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
        EXPECT_STREQ(list_->pSkinInfo->GetBoneName(b), mesh->mBones[b]->mName.C_Str());
        EXPECT_EQ(list_->pSkinInfo->GetNumBoneInfluences(b), mesh->mBones[b]->mNumWeights);
        SFrame *frame = FindFrame(root_, mesh->mBones[b]->mName.C_Str());
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(list_->ppBoneMatrixPtrs[b], &frame->CombinedMatrix);
    }

    // Clips by name (none for the unnamed one), each animation a channel of its frame
    // with its keys: matrix keys are position, rotation and scale keys in assimp, and a
    // track the file lacks gets at most one default key there.
    CAnimationCollection clips;
    testing::internal::CaptureStderr();
    ASSERT_EQ(clips.LoadFromFile(path.c_str()), TRUE);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(meshtest::CountLines(err), 0) << err;
    ASSERT_EQ(clips.GetNumSets(), scene->mNumAnimations);
    clips.BindToFrames(root_);
    std::map<std::string, const aiAnimation *> byName;
    for (unsigned a = 0; a < scene->mNumAnimations; ++a)
        byName[scene->mAnimations[a]->mName.C_Str()] = scene->mAnimations[a];
    for (SAnimationSet *set = clips.GetSets(); set; set = set->next) {
        const std::string name = set->name ? set->name : "";
        SCOPED_TRACE(name);
        ASSERT_EQ(byName.count(name), 1u);
        const aiAnimation *a = byName[name];
        byName.erase(name);
        EXPECT_EQ(double(set->lastKeyTime), a->mDuration);
        ASSERT_EQ(set->numAnimations, a->mNumChannels);
        for (SAnimation *an = set->animations; an; an = an->next) {
            ASSERT_NE(an->frameName, nullptr);
            EXPECT_EQ(an->frame, FindFrame(root_, an->frameName));
            EXPECT_NE(an->frame, nullptr);
            const aiNodeAnim *ch = nullptr;
            for (unsigned c = 0; c < a->mNumChannels; ++c)
                if (a->mChannels[c]->mNodeName == aiString(an->frameName))
                    ch = a->mChannels[c];
            ASSERT_NE(ch, nullptr) << an->frameName;
            auto keys = [&](DWORD ours, unsigned theirs, const char *track) {
                ours += an->numMatrixKeys;
                if (ours > 0)
                    EXPECT_EQ(ours, theirs) << track;
                else
                    EXPECT_LE(theirs, 1u) << track;
            };
            keys(an->numRotationKeys, ch->mNumRotationKeys, "rotation");
            keys(an->numScaleKeys, ch->mNumScalingKeys, "scale");
            keys(an->numPositionKeys, ch->mNumPositionKeys, "position");
        }
    }
    EXPECT_TRUE(byName.empty());
}
