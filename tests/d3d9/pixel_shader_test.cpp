// ps_1_x and ps_2_0 bytecode accepted and refused by CreatePixelShader, and the pixel
// shader as device state (references, constants, state blocks, Reset), on a NULLREF
// device.  Token streams are built by hand, as an assembler would emit them.
#include "d3d9/shader_fixture.h"
#include "d3d9/shader_tokens.h"

#include <cstring>
#include <vector>

using namespace d3d9test;

namespace {

constexpr DWORD kXY = D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1;

// A texture read through t0 and s0, modulated by the diffuse colour v0.
std::vector<DWORD> Modulate()
{
    // clang-format off
    return {D3DPS_VERSION(2, 0),
            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0, kXY),
            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_INPUT, 0),
            Ins(D3DSIO_DCL, 2), DclSampler(), Dst(D3DSPR_SAMPLER, 0),
            Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 0),
            Ins(D3DSIO_MUL, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0),
            Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0),
            D3DPS_END()};
    // clang-format on
}

// A shader writing constant c<n> to oC0.
std::vector<DWORD> Constant(DWORD n)
{
    return {D3DPS_VERSION(2, 0), Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, n), D3DPS_END()};
}

}  // namespace

class PixelShaderTest : public ShaderTest<IDirect3DPixelShader9> {
protected:
    IDirect3DPixelShader9 *Current()
    {
        IDirect3DPixelShader9 *shader = nullptr;
        EXPECT_EQ(device_->GetPixelShader(&shader), D3D_OK);
        if (shader)
            shader->Release();
        return shader;
    }
    float ConstantX(UINT n)
    {
        float v[4] = {-1, -1, -1, -1};
        EXPECT_EQ(device_->GetPixelShaderConstantF(n, v, 1), D3D_OK);
        return v[0];
    }
};

TEST_F(PixelShaderTest, WellFormedStreamsAreAcceptedAndBound)
{
    // GetFunction is the same code for both kinds of shader: vertex_shader_test.cpp checks it.
    IDirect3DPixelShader9 *shader = Make(Modulate());
    ASSERT_NE(shader, nullptr);
    IUnknown *unknown = nullptr;
    EXPECT_EQ(shader->QueryInterface(IID_IDirect3DVertexShader9, reinterpret_cast<void **>(&unknown)), E_NOINTERFACE);

    // The device holds a reference while the shader is bound.
    ASSERT_EQ(device_->SetPixelShader(shader), D3D_OK);
    EXPECT_EQ(Current(), shader);
    EXPECT_EQ(Refs(shader), 2u);
    ASSERT_EQ(device_->SetPixelShader(NULL), D3D_OK);
    EXPECT_EQ(Current(), nullptr);
    EXPECT_EQ(shader->Release(), 0u);

    // The rest of the set: comments, def, texldp and texldb, texkill, cmp, dp2add,
    // sincos, nrm, m3x3, lrp, pow, abs and negate modifiers, _sat and _pp, oDepth, a
    // centroid input.
    const DWORD rep = Replicate(0);
    // clang-format off
    std::vector<DWORD> all = {
        D3DPS_VERSION(2, 0),
        D3DSHADER_COMMENT(2), 0x12345678, 0x9ABCDEF0,
        Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0) | D3DSPDM_MSAMPCENTROID,
        Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 7),
        Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_INPUT, 1),
        Ins(D3DSIO_DCL, 2), DclSampler(), Dst(D3DSPR_SAMPLER, 7),
        Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 31), Bits(1), Bits(0.5f), Bits(-2), Bits(0),
        Ins(D3DSIO_TEX, 3) | D3DSI_TEXLD_PROJECT, Dst(D3DSPR_TEMP, 1), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 7),
        Ins(D3DSIO_TEX, 3) | D3DSI_TEXLD_BIAS, Dst(D3DSPR_TEMP, 2), Src(D3DSPR_TEMP, 1), Src(D3DSPR_SAMPLER, 7),
        Ins(D3DSIO_TEXKILL, 1), Dst(D3DSPR_TEXTURE, 7),
        Ins(D3DSIO_CMP, 4), Dst(D3DSPR_TEMP, 3) | D3DSPDM_SATURATE, Src(D3DSPR_TEMP, 1) | D3DSPSM_NEG,
        Src(D3DSPR_CONST, 0), Src(D3DSPR_INPUT, 1) | D3DSPSM_ABS,
        Ins(D3DSIO_DP2ADD, 4), Dst(D3DSPR_TEMP, 4, D3DSP_WRITEMASK_0), Src(D3DSPR_TEMP, 3), Src(D3DSPR_CONST, 1),
        Src(D3DSPR_CONST, 2, rep),
        Ins(D3DSIO_SINCOS, 4), Dst(D3DSPR_TEMP, 5, kXY), Src(D3DSPR_TEMP, 4, rep), Src(D3DSPR_CONST, 3),
        Src(D3DSPR_CONST, 4),
        Ins(D3DSIO_NRM, 2), Dst(D3DSPR_TEMP, 6) | D3DSPDM_PARTIALPRECISION, Src(D3DSPR_TEMP, 2),
        Ins(D3DSIO_M3x3, 3), Dst(D3DSPR_TEMP, 7, 0x70000), Src(D3DSPR_TEMP, 6), Src(D3DSPR_CONST, 29),
        Ins(D3DSIO_LRP, 4), Dst(D3DSPR_TEMP, 8), Src(D3DSPR_TEMP, 5), Src(D3DSPR_TEMP, 7), Src(D3DSPR_CONST, 31),
        Ins(D3DSIO_POW, 3), Dst(D3DSPR_TEMP, 11), Src(D3DSPR_TEMP, 8, rep) | D3DSPSM_ABSNEG, Src(D3DSPR_CONST, 0, rep),
        Ins(D3DSIO_MOV, 2), Dst(D3DSPR_DEPTHOUT, 0, D3DSP_WRITEMASK_0), Src(D3DSPR_TEMP, 11, rep),
        Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 8),
        D3DPS_END()};
    // clang-format on
    EXPECT_EQ(Create(all), D3D_OK);
}

TEST_F(PixelShaderTest, MalformedStreamsFailWithOneDiagnostic)
{
    const std::vector<DWORD> good = Modulate();
    std::vector<RefusedStream> cases;
    auto mutate = [&](const char *what, size_t at, DWORD value) { cases.push_back(Mutated(what, good, at, value)); };
    mutate("vertex shader version", 0, D3DVS_VERSION(2, 0));
    mutate("ps_2_0 tokens under a ps_1_1 version", 0, D3DPS_VERSION(1, 1));
    mutate("ps_1_5", 0, D3DPS_VERSION(1, 5));
    mutate("ps_3_0", 0, D3DPS_VERSION(3, 0));
    mutate("unknown opcode", 14, Ins(0x70, 3));
    mutate("vertex-only opcode", 14, Ins(D3DSIO_SLT, 3));
    mutate("length field one short", 14, Ins(D3DSIO_MUL, 2));
    mutate("co-issue", 14, Ins(D3DSIO_MUL, 3) | D3DSI_COISSUE);
    mutate("controls on mul", 14, Ins(D3DSIO_MUL, 3) | D3DSI_TEXLD_PROJECT);
    mutate("unknown texld controls", 10, Ins(D3DSIO_TEX, 3) | (3u << D3DSP_OPCODESPECIFICCONTROL_SHIFT));
    mutate("parameter token without its high bit", 15, Dst(D3DSPR_TEMP, 0) & 0x7FFFFFFF);
    mutate("empty write mask", 15, Reg(D3DSPR_TEMP, 0));
    mutate("temporary past r11", 15, Dst(D3DSPR_TEMP, 12));
    mutate("destination shift", 15, Dst(D3DSPR_TEMP, 0) | (1u << D3DSP_DSTSHIFT_SHIFT));
    mutate("write to a constant", 15, Dst(D3DSPR_CONST, 0));
    mutate("undeclared texture coordinate", 12, Src(D3DSPR_TEXTURE, 1));
    mutate("undeclared colour", 17, Src(D3DSPR_INPUT, 1));
    mutate("undeclared sampler", 13, Src(D3DSPR_SAMPLER, 1));
    mutate("texld into oC0", 11, Dst(D3DSPR_COLOROUT, 0));
    mutate("texld coordinates from a constant", 12, Src(D3DSPR_CONST, 0));
    mutate("constant past c31", 17, Src(D3DSPR_CONST, 32));
    mutate("bias source modifier", 17, Src(D3DSPR_INPUT, 0) | D3DSPSM_BIAS);
    mutate("relative constant", 17, Src(D3DSPR_CONST, 0) | D3DVS_ADDRMODE_RELATIVE);
    mutate("colour output past oC3", 19, Dst(D3DSPR_COLOROUT, 4));
    mutate("sampler without a type", 8, DclSampler(D3DSTT_UNKNOWN));
    mutate("sampler past s7", 9, Dst(D3DSPR_SAMPLER, 8));
    mutate("input declared twice", 6, Dst(D3DSPR_TEXTURE, 0));
    mutate("dcl of a temporary", 3, Dst(D3DSPR_TEMP, 0));
    mutate("malformed end", good.size() - 1, 0x8000FFFF);
    // clang-format off
    cases.push_back({"rcp without a replicate swizzle",
                     {D3DPS_VERSION(2, 0), Ins(D3DSIO_RCP, 2), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0),
                      D3DPS_END()}});
    // clang-format on
    cases.push_back({"matrix past c31",
                     {D3DPS_VERSION(2, 0), Ins(D3DSIO_M4x4, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 1),
                      Src(D3DSPR_CONST, 30), D3DPS_END()}});
    {
        // No end token: the reader stops at its bound instead of running on.
        std::vector<DWORD> t((1u << 16) + 64, D3DSIO_NOP);
        t[0] = D3DPS_VERSION(2, 0);
        cases.push_back({"no end token", t});
    }
    ExpectRefused(cases);
    IDirect3DPixelShader9 *shader = reinterpret_cast<IDirect3DPixelShader9 *>(1);
    EXPECT_EQ(device_->CreatePixelShader(NULL, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
    EXPECT_EQ(device_->CreatePixelShader(good.data(), NULL), D3DERR_INVALIDCALL);
}

TEST_F(PixelShaderTest, Ps1xStreamsFollowTheirVersionsRules)
{
    const DWORD rgb = D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1 | D3DSP_WRITEMASK_2, alpha = D3DSP_WRITEMASK_3;
    const DWORD x2 = 1u << D3DSP_DSTSHIFT_SHIFT, d2 = 15u << D3DSP_DSTSHIFT_SHIFT, x8 = 3u << D3DSP_DSTSHIFT_SHIFT;
    // ps_1_1: tex, texcoord, texkill, def, co-issue, shifts and the source modifiers.
    // clang-format off
    const std::vector<DWORD> v11 = {
        D3DPS_VERSION(1, 1),
        D3DSIO_DEF, Dst(D3DSPR_CONST, 7), Bits(1), Bits(0.5f), Bits(-2), Bits(0),
        D3DSIO_TEX, Dst(D3DSPR_TEXTURE, 0),
        D3DSIO_TEXCOORD, Dst(D3DSPR_TEXTURE, 1),
        D3DSIO_TEXKILL, Dst(D3DSPR_TEXTURE, 3),
        D3DSIO_MUL, Dst(D3DSPR_TEMP, 1, rgb) | x2, Src(D3DSPR_TEXTURE, 0) | D3DSPSM_SIGN, Src(D3DSPR_INPUT, 0),
        D3DSIO_ADD | D3DSI_COISSUE, Dst(D3DSPR_TEMP, 1, alpha) | d2, Src(D3DSPR_CONST, 7) | D3DSPSM_COMP,
        Src(D3DSPR_INPUT, 1) | D3DSPSM_BIAS,
        D3DSIO_LRP, Dst(D3DSPR_TEXTURE, 2), Src(D3DSPR_TEMP, 1), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_TEXTURE, 1),
        D3DSIO_DP3, Dst(D3DSPR_TEMP, 0) | D3DSPDM_SATURATE, Src(D3DSPR_TEXTURE, 2) | D3DSPSM_BIASNEG,
        Src(D3DSPR_CONST, 0) | D3DSPSM_NEG,
        D3DSIO_CND, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0, Replicate(3)), Src(D3DSPR_TEMP, 1), Src(D3DSPR_CONST, 1),
        D3DPS_END()};
    // clang-format on
    EXPECT_EQ(Create(v11), D3D_OK);
    // ps_1_4: texcrd and texld in two phases, the second reading what the first made.
    // clang-format off
    const std::vector<DWORD> v14 = {
        D3DPS_VERSION(1, 4),
        D3DSIO_TEXCOORD, Dst(D3DSPR_TEMP, 4, rgb), Src(D3DSPR_TEXTURE, 5) | (9u << D3DSP_SRCMOD_SHIFT),
        D3DSIO_TEX, Dst(D3DSPR_TEMP, 1), Src(D3DSPR_TEXTURE, 0),
        D3DSIO_PHASE,
        D3DSIO_TEX, Dst(D3DSPR_TEMP, 2), Src(D3DSPR_TEMP, 4),
        D3DSIO_MAD, Dst(D3DSPR_TEMP, 0) | x8, Src(D3DSPR_TEMP, 2) | D3DSPSM_X2, Src(D3DSPR_TEMP, 1), Src(D3DSPR_INPUT, 0),
        D3DSIO_CMP, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 5), Src(D3DSPR_CONST, 7),
        D3DPS_END()};
    // clang-format on
    EXPECT_EQ(Create(v14), D3D_OK);

    struct Case {
        const char *what;
        const std::vector<DWORD> &base;
        size_t at;
        DWORD value;
        int lines;
    } cases[] = {
        {"r2 in ps_1_1", v11, 14, Dst(D3DSPR_TEMP, 2, rgb), 1},
        {"t4 in ps_1_1", v11, 8, Dst(D3DSPR_TEXTURE, 4), 1},
        {"c8", v11, 19, Src(D3DSPR_CONST, 8), 1},
        {"dp4 in ps_1_1", v11, 26, D3DSIO_DP4, 1},
        {"_x8 in ps_1_1", v11, 14, Dst(D3DSPR_TEMP, 1, rgb) | x8, 1},
        {"shift 5", v11, 14, Dst(D3DSPR_TEMP, 1, rgb) | (5u << D3DSP_DSTSHIFT_SHIFT), 1},
        {"_x2 source in ps_1_1", v11, 15, Src(D3DSPR_TEXTURE, 0) | D3DSPSM_X2, 1},
        {"abs source in ps_1_1", v11, 15, Src(D3DSPR_TEXTURE, 0) | D3DSPSM_ABS, 1},
        {"a length field", v11, 13, Ins(D3DSIO_MUL, 3), 1},
        {"co-issue after co-issue", v11, 21, D3DSIO_LRP | D3DSI_COISSUE, 1},
        {"phase in ps_1_1", v11, 13, D3DSIO_PHASE, 1},
        {"tex of a temporary in ps_1_1", v11, 8, Dst(D3DSPR_TEMP, 0), 1},
        {"bump mapping", v11, 9, D3DSIO_TEXBEM, 2},
        {"texld from r# before the phase", v14, 6, Src(D3DSPR_TEMP, 4), 1},
        {"write to t# in ps_1_4", v14, 12, Dst(D3DSPR_TEXTURE, 0), 1},
        {"_dz on mad", v14, 13, Src(D3DSPR_TEMP, 2) | (9u << D3DSP_SRCMOD_SHIFT), 1},
    };
    for (const Case &c : cases) {
        std::vector<DWORD> t = c.base;
        t.at(c.at) = c.value;
        int lines = -1;
        EXPECT_EQ(Create(t, &lines), D3DERR_INVALIDCALL) << c.what;
        EXPECT_EQ(lines, c.lines) << c.what;
    }
    std::vector<DWORD> twice = v14;
    twice.insert(twice.begin() + 8, D3DSIO_PHASE);
    EXPECT_EQ(Create(twice), D3DERR_INVALIDCALL) << "a second phase";
}

// The shader and its three banks of constants are pixel state: held by pixel-state blocks,
// not vertex-state ones, and recorded register by register.  The integer and boolean banks
// are kept for ps_2_0 shaders too (which do not read them), bounded at register 15.
TEST_F(PixelShaderTest, StateBlocksHoldTheShaderAndEveryConstantBank)
{
    IDirect3DPixelShader9 *a = Make(Constant(0)), *b = Make(Constant(1));
    ASSERT_TRUE(a && b);
    const float one[4] = {1, 1, 1, 1}, two[4] = {2, 2, 2, 2}, three[4] = {3, 3, 3, 3};
    const int ints[8] = {1, 2, 3, 4, -5, -6, -7, -8}, zeros[8] = {};
    const BOOL bools[3] = {TRUE, FALSE, TRUE}, off[3] = {};
    int backI[8] = {};
    BOOL backB[3] = {};
    device_->SetPixelShader(a);
    device_->SetPixelShaderConstantF(0, one, 1);
    ASSERT_EQ(device_->SetPixelShaderConstantI(14, ints, 2), D3D_OK);
    ASSERT_EQ(device_->SetPixelShaderConstantB(13, bools, 3), D3D_OK);
    device_->GetVertexShaderConstantI(14, backI, 1);
    EXPECT_EQ(backI[0], 0) << "the vertex shader's bank is its own";
    EXPECT_REFUSED(device_->SetPixelShaderConstantI(15, ints, 2));
    EXPECT_EQ(device_->SetPixelShaderConstantB(0, NULL, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetPixelShaderConstantB(16, backB, 1), D3DERR_INVALIDCALL);

    IDirect3DStateBlock9 *pixel = nullptr, *vertex = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), D3D_OK);
    device_->SetPixelShader(b);
    device_->SetPixelShaderConstantF(0, two, 1);
    device_->SetPixelShaderConstantI(14, zeros, 2);
    device_->SetPixelShaderConstantB(13, off, 3);
    vertex->Apply();
    EXPECT_EQ(Current(), b);
    EXPECT_EQ(ConstantX(0), 2.0f);
    device_->GetPixelShaderConstantI(14, backI, 2);
    EXPECT_EQ(backI[4], 0);
    pixel->Apply();
    EXPECT_EQ(Current(), a);
    EXPECT_EQ(ConstantX(0), 1.0f);
    ASSERT_EQ(device_->GetPixelShaderConstantI(14, backI, 2), D3D_OK);
    ASSERT_EQ(device_->GetPixelShaderConstantB(13, backB, 3), D3D_OK);
    EXPECT_EQ(memcmp(ints, backI, sizeof ints), 0);
    EXPECT_EQ(memcmp(bools, backB, sizeof bools), 0);

    // Recording reaches the block, not the device, until it is applied.
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    device_->SetPixelShader(b);
    device_->SetPixelShaderConstantF(5, three, 1);
    device_->SetPixelShaderConstantB(14, off, 1);
    IDirect3DStateBlock9 *recorded = nullptr;
    ASSERT_EQ(device_->EndStateBlock(&recorded), D3D_OK);
    EXPECT_EQ(Current(), a);
    EXPECT_EQ(ConstantX(5), 0.0f);
    const BOOL flipped[3] = {FALSE, TRUE, FALSE};
    device_->SetPixelShaderConstantB(13, flipped, 3);
    recorded->Apply();
    EXPECT_EQ(Current(), b);
    EXPECT_EQ(ConstantX(5), 3.0f);
    EXPECT_EQ(ConstantX(0), 1.0f) << "not recorded, not changed";
    device_->GetPixelShaderConstantB(13, backB, 3);
    EXPECT_TRUE(backB[0] == FALSE && backB[1] == FALSE && backB[2] == FALSE) << "b14 recorded, b13 and b15 not";

    // Capture takes the device's shader again.
    pixel->Capture();
    device_->SetPixelShader(NULL);
    pixel->Apply();
    EXPECT_EQ(Current(), b);

    // Blocks hold references; once released only the device's binding remains.
    for (IDirect3DStateBlock9 *block : {pixel, vertex, recorded})
        block->Release();
    device_->SetPixelShader(NULL);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
}

TEST_F(PixelShaderTest, ConstantsAreBoundedAndResetLetsTheShaderGo)
{
    float values[8] = {1, 2, 3, 4, 5, 6, 7, 8}, back[8] = {};
    ASSERT_EQ(device_->SetPixelShaderConstantF(222, values, 2), D3D_OK);
    ASSERT_EQ(device_->GetPixelShaderConstantF(222, back, 2), D3D_OK);
    EXPECT_EQ(memcmp(values, back, sizeof values), 0);
    EXPECT_REFUSED(device_->SetPixelShaderConstantF(223, values, 2));
    EXPECT_EQ(device_->SetPixelShaderConstantF(0, NULL, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetPixelShaderConstantF(224, back, 1), D3DERR_INVALIDCALL);

    // Reset lets the bound shader go, as every other binding.
    IDirect3DPixelShader9 *shader = Make(Modulate());
    ASSERT_NE(shader, nullptr);
    device_->SetPixelShader(shader);
    D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(64, 32);
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    EXPECT_EQ(Current(), nullptr);
    EXPECT_EQ(ConstantX(222), 0.0f);
    EXPECT_EQ(shader->Release(), 0u);
}
