// Vertex declarations and FVF codes (NULLREF device).
#include "d3d9/null_fixture.h"

#include <vector>

using namespace d3d9test;

namespace {

std::vector<D3DVERTEXELEMENT9> ElementsOf(IDirect3DVertexDeclaration9 *decl)
{
    UINT count = 0;
    EXPECT_EQ(decl->GetDeclaration(NULL, &count), D3D_OK);
    std::vector<D3DVERTEXELEMENT9> e(count);
    EXPECT_EQ(decl->GetDeclaration(e.data(), &count), D3D_OK);
    return e;
}

}  // namespace

TEST_F(NullDeviceTest, FvfCodesBecomeDeclarationsWithPackedOffsets)
{
    struct Case {
        DWORD fvf;
        std::vector<std::pair<BYTE, BYTE>> usageAndType;  // in order
        std::vector<WORD> offsets;
    } cases[] = {
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3},
          {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2}},
         {0, 12, 24}},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR,
         {{D3DDECLUSAGE_POSITIONT, D3DDECLTYPE_FLOAT4}, {D3DDECLUSAGE_COLOR, D3DDECLTYPE_D3DCOLOR},
          {D3DDECLUSAGE_COLOR, D3DDECLTYPE_D3DCOLOR}},
         {0, 16, 20}},
        {D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1),
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2},
          {D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT3}},
         {0, 12, 20}},
        {D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL,
         {{D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3}, {D3DDECLUSAGE_BLENDWEIGHT, D3DDECLTYPE_FLOAT2},
          {D3DDECLUSAGE_BLENDINDICES, D3DDECLTYPE_UBYTE4}, {D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3}},
         {0, 12, 20, 24}},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(device_->SetFVF(c.fvf), D3D_OK) << std::hex << c.fvf;
        IDirect3DVertexDeclaration9 *decl = nullptr;
        ASSERT_EQ(device_->GetVertexDeclaration(&decl), D3D_OK);
        ASSERT_NE(decl, nullptr);
        auto e = ElementsOf(decl);
        decl->Release();
        ASSERT_EQ(e.size(), c.usageAndType.size() + 1) << std::hex << c.fvf;
        for (size_t i = 0; i < c.usageAndType.size(); i++) {
            EXPECT_EQ(e[i].Usage, c.usageAndType[i].first) << std::hex << c.fvf << " element " << i;
            EXPECT_EQ(e[i].Type, c.usageAndType[i].second) << std::hex << c.fvf << " element " << i;
            EXPECT_EQ(e[i].Offset, c.offsets[i]) << std::hex << c.fvf << " element " << i;
        }
        EXPECT_EQ(e.back().Stream, 0xFF);  // the end marker
    }
    EXPECT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX0 | 0x900), D3DERR_INVALIDCALL);  // nine texture sets
    EXPECT_EQ(device_->SetFVF(D3DFVF_XYZB5 | 0x1000 | 0x8000), D3D_OK);
}

TEST_F(NullDeviceTest, DeclarationsAreCheckedAndReplaceTheFvf)
{
    D3DVERTEXELEMENT9 particle[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 1},
        {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(particle, &decl), D3D_OK);
    auto e = ElementsOf(decl);
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(memcmp(e.data(), particle, sizeof particle), 0);
    device_->SetFVF(D3DFVF_XYZ);
    device_->SetVertexDeclaration(decl);
    DWORD fvf = 1;
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);  // a declaration not made from an FVF has none
    device_->SetVertexDeclaration(NULL);
    decl->Release();

    IDirect3DVertexDeclaration9 *bad = nullptr;
    D3DVERTEXELEMENT9 twice[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                 {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()},
                      badType[] = {{0, 0, 42, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()},
                      badStream[] = {{16, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    for (const D3DVERTEXELEMENT9 *elements : {twice, badType, badStream})
        EXPECT_EQ(device_->CreateVertexDeclaration(elements, &bad), D3DERR_INVALIDCALL);
    // No end marker within the 64 elements a declaration may have.
    std::vector<D3DVERTEXELEMENT9> endless(70);
    for (size_t i = 0; i < endless.size(); i++)
        endless[i] = {0, WORD(i * 4), D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_TEXCOORD, BYTE(i % 16)};
    EXPECT_EQ(device_->CreateVertexDeclaration(endless.data(), &bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVertexDeclaration(NULL, &bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(bad, nullptr);
}
