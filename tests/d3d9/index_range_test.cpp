/*
 * index_range_test.cpp - indexed draws are checked against the vertex buffer by the
 * lowest and highest index they read, which the index buffer keeps per block of indices
 * between changes: the answer must stay right for ranges that start and end inside
 * blocks, that fit inside one block, and after the indices are rewritten.
 */
#include "d3d9/null_fixture.h"

#include <cstring>
#include <vector>

namespace {

class IndexRangeTest : public d3d9test::NullDeviceTest {
protected:
    // 100 positions, and `count` indices of the given format, all below 100.
    void Make(D3DFORMAT format, UINT count)
    {
        size_ = format == D3DFMT_INDEX32 ? 4 : 2;
        ib_ = Keep(Indices(count * size_, format));
        ASSERT_NE(ib_, nullptr);
        for (UINT i = 0; i < count; i++)
            Write(i, (i * 37) % 100);
        device_->SetFVF(D3DFVF_XYZ);
        device_->SetStreamSource(0, Keep(Vertices(100 * 12, D3DFVF_XYZ)), 0, 12);
        device_->SetIndices(ib_);
    }
    void Write(UINT at, UINT value)
    {
        BYTE *p = nullptr;
        ASSERT_EQ(ib_->Lock(at * size_, size_, reinterpret_cast<void **>(&p), 0), D3D_OK);
        const uint16_t narrow = uint16_t(value);
        memcpy(p, size_ == 4 ? static_cast<const void *>(&value) : &narrow, size_);
        ib_->Unlock();
    }
    // Triangles from `first` index on, quietly: a refused draw writes a line.
    HRESULT Draw(UINT first, UINT triangles)
    {
        testing::internal::CaptureStderr();
        HRESULT hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 100, first, triangles);
        testing::internal::GetCapturedStderr();
        return hr;
    }
    IDirect3DIndexBuffer9 *ib_ = nullptr;
    UINT size_ = 2;
};

TEST_F(IndexRangeTest, DrawsSeeEveryIndexTheyReadBeforeAndAfterARewrite)
{
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    for (D3DFORMAT format : {D3DFMT_INDEX16, D3DFMT_INDEX32}) {
        SCOPED_TRACE(format == D3DFMT_INDEX16 ? "16-bit" : "32-bit");
        Make(format, 999);
        // In range everywhere: the whole buffer, a range across block edges, one inside a block.
        EXPECT_EQ(Draw(0, 333), D3D_OK);
        EXPECT_EQ(Draw(5, 100), D3D_OK);
        EXPECT_EQ(Draw(34, 9), D3D_OK);
        // One index past the vertices, in the middle of a block.
        Write(500, format == D3DFMT_INDEX32 ? 70000 : 100);
        EXPECT_EQ(Draw(0, 333), D3DERR_INVALIDCALL);
        EXPECT_EQ(Draw(5, 200), D3DERR_INVALIDCALL);   // ends beyond it, starting mid-block
        EXPECT_EQ(Draw(498, 1), D3DERR_INVALIDCALL);   // a range of three indices around it
        EXPECT_EQ(Draw(500, 15), D3DERR_INVALIDCALL);  // starts at it, before whole blocks
        EXPECT_EQ(Draw(447, 18), D3DERR_INVALIDCALL);  // ends at it, after whole blocks
        EXPECT_EQ(Draw(501, 100), D3D_OK);             // starts just after it
        EXPECT_EQ(Draw(200, 100), D3D_OK);             // ends just before it
        // Put right again, every draw passes again.
        Write(500, 99);
        EXPECT_EQ(Draw(0, 333), D3D_OK);
        EXPECT_EQ(Draw(498, 1), D3D_OK);
    }
    device_->EndScene();
}

}  // namespace
