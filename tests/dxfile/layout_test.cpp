// GetData lays out each standard template's block the way the program reads it.
#include "dx_test_util.h"

#include <gtest/gtest.h>

using namespace dxtest;

namespace {

// Every object of skinned.x, depth first.
class DxSkinnedFile : public ::testing::Test {
protected:
    std::vector<IDirectXFileData *> OfType(const GUID &g) { return objects.OfType(g); }
    XFile x;
    Objects objects{x, ReadFile(TestFile("skinned.x"))};
};

}  // namespace

TEST_F(DxSkinnedFile, MeshHoldsCountsVerticesAndFacesWithIndexCounts)
{
    auto meshes = OfType(TID_D3DRMMesh);
    ASSERT_EQ(meshes.size(), 1u);
    DWORD size = 0;
    const uint8_t *b = Block<uint8_t>(meshes[0], &size);
    uint32_t nVertices;
    memcpy(&nVertices, b, 4);
    ASSERT_EQ(nVertices, 6u);
    float v[18];
    memcpy(v, b + 4, sizeof v);
    EXPECT_EQ(v[7], 2.0f);    // third vertex y
    EXPECT_EQ(v[15], -1.0f);  // sixth vertex x
    // nFaces, then each face's index count and indices.
    uint32_t faces[9];
    memcpy(faces, b + 4 + 72, sizeof faces);
    EXPECT_EQ(faces[0], 2u);
    EXPECT_EQ(faces[5], 3u);
    EXPECT_EQ(faces[8], 5u);
    EXPECT_EQ(size, 4u + 72u + 4u + 2u * 16u);

    // One member by name: the vertex array alone.
    DWORD msize = 0;
    void *mp = nullptr;
    ASSERT_EQ(meshes[0]->GetData("vertices", &msize, &mp), DXFILE_OK);
    EXPECT_EQ(msize, 72u);
    EXPECT_EQ(static_cast<const uint8_t *>(mp), b + 4);
    ASSERT_EQ(meshes[0]->GetData("nFaces", &msize, &mp), DXFILE_OK);
    EXPECT_EQ(msize, 4u);
    EXPECT_EQ(*static_cast<const uint32_t *>(mp), 2u);
    EXPECT_EQ(meshes[0]->GetData("noSuchMember", &msize, &mp), DXFILEERR_BADDATAREFERENCE);
}

TEST_F(DxSkinnedFile, SkinWeightsStartWithTheBoneNamePointer)
{
    auto weights = OfType(DXFILEOBJ_SkinWeights);
    ASSERT_EQ(weights.size(), 2u);
    DWORD size = 0;
    const uint8_t *b = Block<uint8_t>(weights[1], &size);
    const char *bone;
    memcpy(&bone, b, sizeof bone);
    EXPECT_STREQ(bone, "Chest");
    uint32_t n;
    memcpy(&n, b + sizeof bone, 4);
    ASSERT_EQ(n, 4u);
    uint32_t lastIndex;
    float w[4], offset[16];
    memcpy(&lastIndex, b + sizeof bone + 16, 4);
    memcpy(w, b + sizeof bone + 20, 16);
    memcpy(offset, b + sizeof bone + 36, 64);
    EXPECT_EQ(lastIndex, 5u);
    EXPECT_EQ(w[0], 0.25f);
    EXPECT_EQ(w[3], 0.75f);
    EXPECT_EQ(offset[13], -2.0f);
    EXPECT_EQ(size, sizeof bone + 4 + 16 + 16 + 64);

    // XSkinMeshHeader's three WORDs take two bytes each.
    auto header = OfType(DXFILEOBJ_XSkinMeshHeader);
    ASSERT_EQ(header.size(), 1u);
    const uint16_t *h = Block<uint16_t>(header[0], &size);
    ASSERT_EQ(size, 6u);
    EXPECT_EQ(h[0], 2u);
    EXPECT_EQ(h[1], 4u);
    EXPECT_EQ(h[2], 2u);
}

TEST(DxLayout, SmallTypesMultiDimensionalArraysAndStringArraysPackWithoutPadding)
{
    XFile x;
    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(x.Open(ReadFile(TestFile("features.x")), &e), DXFILE_OK);
    IDirectXFileData *header = nullptr, *grid = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&header), DXFILE_OK);
    ASSERT_EQ(e->GetNextDataObject(&grid), DXFILE_OK);
    DWORD size = 0;
    uint8_t *b = nullptr;
    ASSERT_EQ(header->GetData(nullptr, &size, (void **)&b), DXFILE_OK);
    EXPECT_EQ(size, 8u);  // WORD major, WORD minor, DWORD flags

    ASSERT_EQ(grid->GetData(nullptr, &size, (void **)&b), DXFILE_OK);
    // WORD rows, CHAR cols, 2x3 SWORD, DOUBLE, UCHAR, SDWORD, 2 string pointers.
    ASSERT_EQ(size, 2u + 1 + 12 + 8 + 1 + 4 + 2 * sizeof(char *));
    EXPECT_EQ(b[0] | (b[1] << 8), 2);
    EXPECT_EQ(b[2], 3);
    int16_t cells[6];
    memcpy(cells, b + 3, 12);
    EXPECT_EQ(cells[1], -2);
    EXPECT_EQ(cells[5], -6);
    double scale;
    memcpy(&scale, b + 15, 8);
    EXPECT_EQ(scale, 0.125);
    EXPECT_EQ(b[23], 255);
    int32_t offset;
    memcpy(&offset, b + 24, 4);
    EXPECT_EQ(offset, -70000);
    const char *labels[2];
    memcpy(labels, b + 28, sizeof labels);
    EXPECT_STREQ(labels[0], "top");
    EXPECT_STREQ(labels[1], "bottom");
    header->Release();
    grid->Release();
    e->Release();
}
