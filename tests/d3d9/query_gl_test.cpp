/*
 * query_gl_test.cpp - queries on llvmpipe: an occlusion query counts the pixels that pass
 * the depth test (none for a hidden quad), overlapping occlusion queries count their own spans,
 * an event signals once the commands before it are done, and timestamps run forwards.
 */
#include "pixel_fixture.h"

namespace d3d9test {
namespace {

class QueryPixelTest : public PixelTest {
protected:
    IDirect3DQuery9 *Make(D3DQUERYTYPE type)
    {
        IDirect3DQuery9 *q = nullptr;
        EXPECT_EQ(device_->CreateQuery(type, &q), D3D_OK) << type;
        return Keep(q);
    }
    // Polls until the answer is in (every poll flushes; the GPU finishes in finite time).
    template <class T>
    T Answer(IDirect3DQuery9 *q)
    {
        T value{};
        HRESULT hr = S_FALSE;
        for (long polls = 0; hr == S_FALSE && polls < 100000000; polls++)
            hr = q->GetData(&value, sizeof value, D3DGETDATA_FLUSH);
        EXPECT_EQ(hr, S_OK);
        return value;
    }
};

TEST_F(QueryPixelTest, OcclusionCountsThePixelsThatPassTheDepthTest)
{
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    IDirect3DQuery9 *front = Make(D3DQUERYTYPE_OCCLUSION), *hidden = Make(D3DQUERYTYPE_OCCLUSION);
    IDirect3DQuery9 *outer = Make(D3DQUERYTYPE_OCCLUSION);
    ASSERT_TRUE(front && hidden && outer);
    Clear();
    device_->BeginScene();
    ASSERT_EQ(front->Issue(D3DISSUE_BEGIN), D3D_OK);
    DrawRect(0, 0, 16, 8, 0xFFFF0000, 0.25f);  // 128 pixels in front
    ASSERT_EQ(front->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(hidden->Issue(D3DISSUE_BEGIN), D3D_OK);
    DrawRect(0, 0, 16, 8, 0xFF00FF00, 0.75f);  // the same pixels, behind
    ASSERT_EQ(hidden->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_EQ(Answer<DWORD>(front), 128u);
    EXPECT_EQ(Answer<DWORD>(hidden), 0u);
    // Overlapping queries each count their own span: outer all four draws (64 + 4 + 1 + 9),
    // hidden the last two, front, begun again inside hidden, the one pixel alone.
    ASSERT_EQ(outer->Issue(D3DISSUE_BEGIN), D3D_OK);
    DrawRect(32, 32, 40, 40, 0xFF0000FF, 0.5f);
    ASSERT_EQ(front->Issue(D3DISSUE_BEGIN), D3D_OK);
    DrawRect(40, 40, 42, 42, 0xFF0000FF, 0.5f);
    ASSERT_EQ(hidden->Issue(D3DISSUE_BEGIN), D3D_OK);
    ASSERT_EQ(front->Issue(D3DISSUE_BEGIN), D3D_OK);
    DrawRect(50, 50, 51, 51, 0xFF0000FF, 0.5f);
    ASSERT_EQ(front->Issue(D3DISSUE_END), D3D_OK);
    DrawRect(52, 52, 55, 55, 0xFF0000FF, 0.5f);
    ASSERT_EQ(hidden->Issue(D3DISSUE_END), D3D_OK);
    device_->EndScene();
    EXPECT_EQ(Answer<DWORD>(front), 1u);
    EXPECT_EQ(Answer<DWORD>(hidden), 10u);
    ASSERT_EQ(outer->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_EQ(Answer<DWORD>(outer), 78u);
    EXPECT_EQ(Pixel(4, 4), 0xFFFF0000u) << "the hidden quad stayed behind";
}

TEST_F(QueryPixelTest, EventsSignalAfterTheirCommandsAndTimestampsRunForwards)
{
    IDirect3DQuery9 *event = Make(D3DQUERYTYPE_EVENT), *first = Make(D3DQUERYTYPE_TIMESTAMP);
    IDirect3DQuery9 *second = Make(D3DQUERYTYPE_TIMESTAMP), *disjoint = Make(D3DQUERYTYPE_TIMESTAMPDISJOINT);
    ASSERT_TRUE(event && first && second && disjoint);
    ASSERT_EQ(disjoint->Issue(D3DISSUE_BEGIN), D3D_OK);
    ASSERT_EQ(first->Issue(D3DISSUE_END), D3D_OK);
    for (int i = 0; i < 20; i++)
        DrawRectScene(0, 0, float(kSize), float(kSize), 0xFF000000 | DWORD(i * 10));
    ASSERT_EQ(event->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(second->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(disjoint->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_EQ(Answer<BOOL>(event), TRUE);
    EXPECT_EQ(Pixel(10, 10), 0xFF0000BEu) << "the last draw is done once the event signals";
    const UINT64 t0 = Answer<UINT64>(first), t1 = Answer<UINT64>(second);
    EXPECT_GT(t0, 0u);
    EXPECT_GE(t1, t0);
    EXPECT_EQ(Answer<BOOL>(disjoint), FALSE);

    // The vertex-cache hint is the device's, not the GL back end's.
    IDirect3DQuery9 *cache = Make(D3DQUERYTYPE_VCACHE);
    ASSERT_TRUE(cache);
    ASSERT_EQ(cache->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_EQ(Answer<D3DDEVINFO_VCACHE>(cache).CacheSize, 16u);
}

}  // namespace
}  // namespace d3d9test
