// Stream frequencies on the NULLREF device: the argument rules, state blocks and the
// range of instance data an instanced draw reads.
#include <d3d9.h>

#include "null_fixture.h"

#include <cstring>

namespace d3d9test {
namespace {

using InstancingTest = NullDeviceTest;

TEST_F(InstancingTest, FrequencySettingsFollowTheInstancingRules)
{
    const struct {
        UINT stream, setting;
        HRESULT hr;
    } cases[] = {
        {0, D3DSTREAMSOURCE_INDEXEDDATA | 4, D3D_OK},
        {1, D3DSTREAMSOURCE_INSTANCEDATA | 1, D3D_OK},
        {2, D3DSTREAMSOURCE_INSTANCEDATA | 3, D3D_OK},
        {3, 1, D3D_OK},
        {0, D3DSTREAMSOURCE_INSTANCEDATA | 1, D3DERR_INVALIDCALL},  // stream 0 holds the geometry
        {1, D3DSTREAMSOURCE_INDEXEDDATA | D3DSTREAMSOURCE_INSTANCEDATA | 1, D3DERR_INVALIDCALL},
        {1, D3DSTREAMSOURCE_INSTANCEDATA, D3DERR_INVALIDCALL},  // a count of 0
        {0, D3DSTREAMSOURCE_INDEXEDDATA, D3DERR_INVALIDCALL},
        {16, D3DSTREAMSOURCE_INSTANCEDATA | 1, D3DERR_INVALIDCALL},
        {1, 2, D3DERR_INVALIDCALL},  // the plain divider is not offered
    };
    for (const auto &c : cases) {
        UINT before = 0;
        device_->GetStreamSourceFreq(c.stream % 16, &before);
        int lines = StderrLines([&] { EXPECT_EQ(device_->SetStreamSourceFreq(c.stream, c.setting), c.hr) << c.setting; });
        EXPECT_EQ(lines, c.hr == D3D_OK ? 0 : 1) << c.setting;
        UINT after = 0;
        ASSERT_EQ(device_->GetStreamSourceFreq(c.stream % 16, &after), D3D_OK);
        EXPECT_EQ(after, c.hr == D3D_OK ? c.setting : before) << c.setting;
    }
    EXPECT_EQ(device_->GetStreamSourceFreq(0, NULL), D3DERR_INVALIDCALL);

    // A recorded block holds the frequencies and Apply sets them again.
    IDirect3DStateBlock9 *block = nullptr;
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    device_->SetStreamSourceFreq(0, D3DSTREAMSOURCE_INDEXEDDATA | 7);
    device_->SetStreamSourceFreq(1, D3DSTREAMSOURCE_INSTANCEDATA | 2);
    ASSERT_EQ(device_->EndStateBlock(&block), D3D_OK);
    UINT f = 0;
    device_->GetStreamSourceFreq(0, &f);
    EXPECT_EQ(f, D3DSTREAMSOURCE_INDEXEDDATA | 4u);  // recording left the device alone
    device_->SetStreamSourceFreq(0, 1);
    device_->SetStreamSourceFreq(1, 1);
    ASSERT_EQ(block->Apply(), D3D_OK);
    device_->GetStreamSourceFreq(0, &f);
    EXPECT_EQ(f, D3DSTREAMSOURCE_INDEXEDDATA | 7u);
    device_->GetStreamSourceFreq(1, &f);
    EXPECT_EQ(f, D3DSTREAMSOURCE_INSTANCEDATA | 2u);
    block->Release();
}

TEST_F(InstancingTest, AnInstancedDrawReadsOneInstanceElementEveryKInstances)
{
    // Geometry: 4 vertices of one float4 on stream 0; instance data: 3 float4s on stream 1.
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                          {1, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    IDirect3DIndexBuffer9 *indices = Keep(Indices(6 * 2));
    WORD *index = nullptr;
    ASSERT_EQ(indices->Lock(0, 0, (void **)&index, 0), D3D_OK);
    const WORD quad[6] = {0, 1, 2, 0, 2, 3};
    memcpy(index, quad, sizeof quad);
    indices->Unlock();
    device_->SetVertexDeclaration(Keep(decl));
    device_->SetStreamSource(0, Keep(Vertices(4 * 16)), 0, 16);
    device_->SetStreamSource(1, Keep(Vertices(3 * 16)), 0, 16);
    device_->SetIndices(indices);
    device_->BeginScene();
    const struct {
        UINT count, divisor;
        HRESULT hr;
    } cases[] = {
        {3, 1, D3D_OK}, {4, 1, D3DERR_INVALIDCALL}, {6, 2, D3D_OK}, {7, 2, D3DERR_INVALIDCALL}, {9, 3, D3D_OK},
    };
    for (const auto &c : cases) {
        device_->SetStreamSourceFreq(0, D3DSTREAMSOURCE_INDEXEDDATA | c.count);
        device_->SetStreamSourceFreq(1, D3DSTREAMSOURCE_INSTANCEDATA | c.divisor);
        EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), c.hr) << c.count << "/" << c.divisor;
    }
    // Without instancing the stream steps per vertex, and 3 elements are too few for 4 vertices.
    device_->SetStreamSourceFreq(0, 1);
    device_->SetStreamSourceFreq(1, 1);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    // A non-indexed draw ignores the frequencies: one instance, every stream per vertex.
    device_->SetStreamSourceFreq(0, D3DSTREAMSOURCE_INDEXEDDATA | 2);
    device_->SetStreamSourceFreq(1, D3DSTREAMSOURCE_INSTANCEDATA | 1);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    device_->EndScene();
}

}  // namespace
}  // namespace d3d9test
