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
    ASSERT_EQ(Field<uint32_t>(b, 0), 6u);
    EXPECT_EQ(Field<float>(b, 4 + 4 * 7), 2.0f);    // third vertex y
    EXPECT_EQ(Field<float>(b, 4 + 4 * 15), -1.0f);  // sixth vertex x
    // nFaces, then each face's index count and indices.
    EXPECT_EQ(Field<uint32_t>(b, 76), 2u);
    EXPECT_EQ(Field<uint32_t>(b, 76 + 4 * 5), 3u);
    EXPECT_EQ(Field<uint32_t>(b, 76 + 4 * 8), 5u);
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
    const size_t p = sizeof(char *);
    EXPECT_STREQ(Field<const char *>(b, 0), "Chest");
    ASSERT_EQ(Field<uint32_t>(b, p), 4u);
    EXPECT_EQ(Field<uint32_t>(b, p + 16), 5u);           // the last index
    EXPECT_EQ(Field<float>(b, p + 20), 0.25f);           // the first weight
    EXPECT_EQ(Field<float>(b, p + 32), 0.75f);           // the last weight
    EXPECT_EQ(Field<float>(b, p + 36 + 4 * 13), -2.0f);  // the offset matrix's _42
    EXPECT_EQ(size, p + 4 + 16 + 16 + 64);

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
    Objects o(x, ReadFile(TestFile("features.x")));
    const auto headers = o.OfType(TID_DXFILEHeader), grids = o.OfType(kGridGuid);
    ASSERT_FALSE(headers.empty());
    ASSERT_FALSE(grids.empty());
    DWORD size = 0;
    Block<uint8_t>(headers[0], &size);
    EXPECT_EQ(size, 8u);  // WORD major, WORD minor, DWORD flags

    const uint8_t *b = Block<uint8_t>(grids[0], &size);
    // WORD rows, CHAR cols, 2x3 SWORD, DOUBLE, UCHAR, SDWORD, 2 string pointers.
    ASSERT_EQ(size, 2u + 1 + 12 + 8 + 1 + 4 + 2 * sizeof(char *));
    EXPECT_EQ(b[0] | (b[1] << 8), 2);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(Field<int16_t>(b, 3 + 2), -2);
    EXPECT_EQ(Field<int16_t>(b, 3 + 10), -6);
    EXPECT_EQ(Field<double>(b, 15), 0.125);
    EXPECT_EQ(b[23], 255);
    EXPECT_EQ(Field<int32_t>(b, 24), -70000);
    EXPECT_STREQ(Field<const char *>(b, 28), "top");
    EXPECT_STREQ(Field<const char *>(b, 28 + sizeof(char *)), "bottom");
}
