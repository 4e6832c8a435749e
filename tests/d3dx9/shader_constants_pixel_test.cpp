// Constant tables on a real device under Xvfb: a matrix and a colour set through
// ID3DXConstantTable reach the shaders that read them the way the compiler laid them
// out (m4x4 reads the matrix's columns from c0..c3; the pixel shader reads its own c2),
// and an assembled vertex shader's loops, calls and branches run on the integer and
// boolean constants the device holds.
#include "d3dx9/ctab_builder.h"
#include "d3dx9/d3dx_pixel_fixture.h"

using namespace d3dx9test;

namespace {

using ctabtest::Assemble;

using ConstantTablePixelTest = D3dxPixelTest;

TEST_F(ConstantTablePixelTest, MatricesAndColoursReachTheShadersThatReadThem)
{
    ctabtest::CtabBuilder vsTable(D3DVS_VERSION(2, 0));
    vsTable.Constant("WorldViewProj", D3DXRS_FLOAT4, 0, 4, vsTable.Type(D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4));
    std::vector<DWORD> vs =
        ctabtest::WithComment(Assemble("vs_2_0\ndcl_position v0\nm4x4 oPos, v0, c0\n"), vsTable.Comment());
    ctabtest::CtabBuilder psTable(D3DPS_VERSION(2, 0));
    psTable.Constant("tint", D3DXRS_FLOAT4, 2, 1, psTable.Type(D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4));
    std::vector<DWORD> ps = ctabtest::WithComment(Assemble("ps_2_0\nmov oC0, c2\n"), psTable.Comment());
    ASSERT_GT(vs.size(), 10u);
    ASSERT_GT(ps.size(), 10u);

    IDirect3DVertexShader9 *vertexShader = nullptr;
    IDirect3DPixelShader9 *pixelShader = nullptr;
    LPD3DXCONSTANTTABLE vertexConstants = nullptr, pixelConstants = nullptr;
    IDirect3DVertexDeclaration9 *decl = nullptr;
    D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                    D3DDECL_END()};
    ASSERT_EQ(device_->CreateVertexShader(vs.data(), &vertexShader), D3D_OK);
    ASSERT_EQ(device_->CreatePixelShader(ps.data(), &pixelShader), D3D_OK);
    ASSERT_EQ(D3DXGetShaderConstantTable(vs.data(), &vertexConstants), D3D_OK);
    ASSERT_EQ(D3DXGetShaderConstantTable(ps.data(), &pixelConstants), D3D_OK);
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    for (IUnknown *u :
         std::initializer_list<IUnknown *>{vertexShader, pixelShader, vertexConstants, pixelConstants, decl})
        Hold(u);

    // Half size, moved right by 0.5 and down by 0.25: row vectors times the matrix.
    D3DXMATRIX scale, move, world;
    D3DXMatrixScaling(&scale, 0.5f, 0.5f, 1.0f);
    D3DXMatrixTranslation(&move, 0.5f, -0.25f, 0.0f);
    D3DXMatrixMultiply(&world, &scale, &move);
    ASSERT_EQ(vertexConstants->SetMatrix(device_, "WorldViewProj", &world), D3D_OK);
    const D3DXVECTOR4 tint(1.0f, 0.5f, 0.25f, 1.0f);
    ASSERT_EQ(pixelConstants->SetVector(device_, "tint", &tint), D3D_OK);

    const float quad[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    device_->SetVertexShader(vertexShader);
    device_->SetPixelShader(pixelShader);
    device_->SetVertexDeclaration(decl);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    device_->EndScene();

    // The quad covers NDC x 0..1 (pixels 32..64) and y -0.75..0.25 (pixels 24..56).
    EXPECT_COLOR_NEAR(Pixel(48, 40), D3DCOLOR_XRGB(255, 128, 64), 2);
    EXPECT_COLOR_NEAR(Pixel(60, 26), D3DCOLOR_XRGB(255, 128, 64), 2);
    EXPECT_COLOR_NEAR(Pixel(28, 40), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 20), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 60), 0xFF000000u, 1);
}

TEST_F(ConstantTablePixelTest, AssembledFlowControlRunsOnTheDevicesIntegerAndBooleanConstants)
{
    // The loop adds c[aL + 4] through a subroutine for each of i0.x turns; b0 adds c8.
    std::vector<DWORD> vs = Assemble("vs_2_0\n"
                                     "def c0, 0, 0, 0, 1\n"
                                     "dcl_position v0\n"
                                     "mov oPos, v0\n"
                                     "mov r0, c0\n"
                                     "loop aL, i0\n"
                                     "call l0\n"
                                     "endloop\n"
                                     "if b0\n"
                                     "add r0.x, r0.x, c8.x\n"
                                     "endif\n"
                                     "mov oD0, r0\n"
                                     "ret\n"
                                     "label l0\n"
                                     "add r0, r0, c[aL + 4]\n"
                                     "ret\n");
    std::vector<DWORD> ps = Assemble("ps_2_0\ndcl v0\nmov oC0, v0\n");
    ASSERT_GT(vs.size(), 10u);
    IDirect3DVertexShader9 *vertexShader = nullptr;
    IDirect3DPixelShader9 *pixelShader = nullptr;
    IDirect3DVertexDeclaration9 *decl = nullptr;
    D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                    D3DDECL_END()};
    ASSERT_EQ(device_->CreateVertexShader(vs.data(), &vertexShader), D3D_OK);
    ASSERT_EQ(device_->CreatePixelShader(ps.data(), &pixelShader), D3D_OK);
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    for (IUnknown *u : std::initializer_list<IUnknown *>{vertexShader, pixelShader, decl})
        Hold(u);
    const float addends[][4] = {{0.25f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 0.75f, 0}};
    const float red[4] = {0.5f, 0, 0, 0};
    device_->SetVertexShaderConstantF(4, addends[0], 3);
    device_->SetVertexShaderConstantF(8, red, 1);
    device_->SetVertexShader(vertexShader);
    device_->SetPixelShader(pixelShader);
    device_->SetVertexDeclaration(decl);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    const struct {
        int loop[4];
        BOOL addRed;
        D3DCOLOR expected;
    } cases[] = {
        {{3, 0, 1, 0}, TRUE, D3DCOLOR_XRGB(191, 128, 191)},  // c4 + c5 + c6 + c8
        {{2, 1, 1, 0}, FALSE, D3DCOLOR_XRGB(0, 128, 191)},   // c5 + c6
        {{0, 0, 1, 0}, TRUE, D3DCOLOR_XRGB(128, 0, 0)},      // no turn: c8 alone
    };
    const float quad[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.loop[0]);
        device_->SetVertexShaderConstantI(0, c.loop, 1);
        device_->SetVertexShaderConstantB(0, &c.addRed, 1);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        device_->EndScene();
        EXPECT_COLOR_NEAR(Pixel(32, 32), c.expected, 2);
    }
}

}  // namespace
