// Vertex shader bytecode accepted and refused by CreateVertexShader (NULLREF device).
// Token streams are built by hand, as an assembler would emit them.
#include "d3d9/shader_fixture.h"
#include "d3d9/shader_tokens.h"

#include <vector>

using namespace d3d9test;

namespace {

// The particle shader's shape: billboard corners along c4 and c5, then c0..c3.
std::vector<DWORD> Billboard11()
{
    // clang-format off
    return {D3DVS_VERSION(1, 1),
            D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
            D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION, 1), Dst(D3DSPR_INPUT, 1),
            D3DSIO_DCL, Dcl(D3DDECLUSAGE_COLOR), Dst(D3DSPR_INPUT, 2),
            D3DSIO_DCL, Dcl(D3DDECLUSAGE_TEXCOORD), Dst(D3DSPR_INPUT, 3),
            D3DSIO_MAD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 1, D3DVS_X_X | D3DVS_Y_X | D3DVS_Z_X | D3DVS_W_X),
            Src(D3DSPR_CONST, 4), Src(D3DSPR_INPUT, 0),
            D3DSIO_MAD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 1, D3DVS_X_Y | D3DVS_Y_Y | D3DVS_Z_Y | D3DVS_W_Y),
            Src(D3DSPR_CONST, 5), Src(D3DSPR_TEMP, 0),
            D3DSIO_M4x4, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0),
            D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_INPUT, 2),
            D3DSIO_MOV, Dst(D3DSPR_TEXCRDOUT, 0, D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1), Src(D3DSPR_INPUT, 3),
            D3DVS_END()};
    // clang-format on
}

}  // namespace

using VertexShaderTest = ShaderTest<IDirect3DVertexShader9>;

TEST_F(VertexShaderTest, WellFormedStreamsAreAcceptedAndKeptVerbatim)
{
    std::vector<DWORD> tokens = Billboard11();
    IDirect3DVertexShader9 *shader = nullptr;
    ASSERT_EQ(device_->CreateVertexShader(tokens.data(), &shader), D3D_OK);
    UINT size = 0;
    ASSERT_EQ(shader->GetFunction(NULL, &size), D3D_OK);
    EXPECT_EQ(size, tokens.size() * 4);
    std::vector<DWORD> back(tokens.size());
    ASSERT_EQ(shader->GetFunction(back.data(), &size), D3D_OK);
    EXPECT_EQ(back, tokens);
    size = 4;
    EXPECT_EQ(shader->GetFunction(back.data(), &size), D3DERR_INVALIDCALL) << "too small for the function";
    shader->Release();

    // Comments, def constants and version 2 instruction lengths (with a relative
    // constant read, whose address token counts as an operand).
    // clang-format off
    std::vector<DWORD> v2 = {D3DVS_VERSION(2, 0),
                             D3DSHADER_COMMENT(2), 0x12345678, 0x9ABCDEF0,
                             Ins(D3DSIO_DCL, 2), Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
                             Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 10), 0x3F800000, 0, 0, 0x3F800000,
                             Ins(D3DSIO_MOVA, 2), Dst(D3DSPR_ADDR, 0, D3DSP_WRITEMASK_0), Src(D3DSPR_INPUT, 0),
                             Ins(D3DSIO_MOV, 3), Dst(D3DSPR_TEMP, 1),
                             Src(D3DSPR_CONST, 2) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_ADDR, 0, D3DVS_X_X),
                             Ins(D3DSIO_ADD, 3), Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_TEMP, 1),
                             Src(D3DSPR_CONST, 10) | D3DSPSM_NEG,
                             D3DVS_END()};
    // clang-format on
    EXPECT_EQ(Create(v2), D3D_OK);
}

TEST_F(VertexShaderTest, MalformedStreamsFailWithOneDiagnostic)
{
    const std::vector<DWORD> good = Billboard11();
    std::vector<RefusedStream> cases;
    auto mutate = [&](const char *what, size_t at, DWORD value) { cases.push_back(Mutated(what, good, at, value)); };
    mutate("pixel shader version", 0, D3DPS_VERSION(2, 0));
    mutate("vs_3_0", 0, D3DVS_VERSION(3, 0));
    mutate("unknown opcode", 13, 0x00000070);
    mutate("flow control", 13, D3DSIO_LOOP);
    mutate("parameter token without its high bit", 14, Dst(D3DSPR_TEMP, 0) & 0x7FFFFFFF);
    mutate("empty write mask", 14, Reg(D3DSPR_TEMP, 0));
    mutate("temporary past r11", 14, Dst(D3DSPR_TEMP, 12));
    mutate("constant past c255", 16, Src(D3DSPR_CONST, 300));
    mutate("undeclared input", 15, Src(D3DSPR_INPUT, 7));
    mutate("write to an input", 14, Dst(D3DSPR_INPUT, 0));
    mutate("bias modifier", 16, Src(D3DSPR_CONST, 4) | D3DSPSM_BIAS);
    mutate("relative temporary", 15, Src(D3DSPR_TEMP, 0) | D3DVS_ADDRMODE_RELATIVE);
    mutate("length field in version 1", 13, Ins(D3DSIO_MAD, 4));
    mutate("co-issue", 13, D3DSIO_MAD | D3DSI_COISSUE);
    mutate("dcl of a temporary", 3, Dst(D3DSPR_TEMP, 0));
    mutate("texture output past oT7", 31, Dst(D3DSPR_TEXCRDOUT, 8, D3DSP_WRITEMASK_0));
    mutate("malformed end", good.size() - 1, 0x8000FFFF);
    {
        std::vector<DWORD> t = good;
        t.insert(t.begin() + 1, {D3DSIO_DCL, Dcl(D3DDECLUSAGE_NORMAL), Dst(D3DSPR_INPUT, 0)});
        cases.push_back({"input declared twice", t});
    }
    {
        // vs_2_0 needs the length field to agree with the operands.
        // clang-format off
        std::vector<DWORD> t = {D3DVS_VERSION(2, 0), Ins(D3DSIO_DCL, 2), Dcl(D3DDECLUSAGE_POSITION),
                                Dst(D3DSPR_INPUT, 0), Ins(D3DSIO_MOV, 3), Dst(D3DSPR_RASTOUT, 0), Src(D3DSPR_INPUT, 0),
                                D3DVS_END()};
        // clang-format on
        cases.push_back({"wrong instruction length", t});
    }
    {
        std::vector<DWORD> t = {D3DVS_VERSION(1, 1), D3DSIO_MOVA, Dst(D3DSPR_ADDR, 0, D3DSP_WRITEMASK_0),
                                Src(D3DSPR_CONST, 0), D3DVS_END()};
        cases.push_back({"mova in vs_1_1", t});
    }
    ExpectRefused(cases);
    IDirect3DVertexShader9 *shader = reinterpret_cast<IDirect3DVertexShader9 *>(1);
    EXPECT_EQ(device_->CreateVertexShader(NULL, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
}

TEST_F(VertexShaderTest, ConstantsRoundTripWithinTheirBanks)
{
    float values[8] = {1, 2, 3, 4, 5, 6, 7, 8}, back[8] = {};
    ASSERT_EQ(device_->SetVertexShaderConstantF(254, values, 2), D3D_OK);
    ASSERT_EQ(device_->GetVertexShaderConstantF(254, back, 2), D3D_OK);
    EXPECT_EQ(memcmp(values, back, sizeof values), 0);
    EXPECT_EQ(device_->SetVertexShaderConstantF(255, values, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShaderConstantF(0, NULL, 1), D3DERR_INVALIDCALL);
    int ints[4] = {1, 2, 3, 4};
    EXPECT_EQ(device_->SetVertexShaderConstantI(15, ints, 1), D3D_OK);
    EXPECT_EQ(device_->SetVertexShaderConstantI(16, ints, 1), D3DERR_INVALIDCALL);
}
