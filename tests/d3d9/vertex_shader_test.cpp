// Vertex shader bytecode accepted and refused by CreateVertexShader (NULLREF device).
// Token streams are built by hand, as an assembler would emit them.
#include "d3d9/shader_fixture.h"
#include "d3d9/shader_tokens.h"
#include "support/stderr_capture.h"

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

namespace {

// Flow-control instructions of version 2, as an assembler emits them.
const std::vector<DWORD> kEndRep = {Ins(D3DSIO_ENDREP, 0)}, kEndLoop = {Ins(D3DSIO_ENDLOOP, 0)},
                         kElse = {Ins(D3DSIO_ELSE, 0)}, kEndIf = {Ins(D3DSIO_ENDIF, 0)}, kRet = {Ins(D3DSIO_RET, 0)},
                         kBreak = {Ins(D3DSIO_BREAK, 0)};
std::vector<DWORD> Rep(DWORD i) { return {Ins(D3DSIO_REP, 1), Src(D3DSPR_CONSTINT, i)}; }
std::vector<DWORD> Loop(DWORD i) { return {Ins(D3DSIO_LOOP, 2), Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, i)}; }
std::vector<DWORD> If(DWORD b) { return {Ins(D3DSIO_IF, 1), Src(D3DSPR_CONSTBOOL, b)}; }
std::vector<DWORD> Call(DWORD l) { return {Ins(D3DSIO_CALL, 1), Src(D3DSPR_LABEL, l)}; }
std::vector<DWORD> CallNz(DWORD l, DWORD b)
{
    return {Ins(D3DSIO_CALLNZ, 2), Src(D3DSPR_LABEL, l), Src(D3DSPR_CONSTBOOL, b)};
}
std::vector<DWORD> Label(DWORD l) { return {Ins(D3DSIO_LABEL, 1), Src(D3DSPR_LABEL, l)}; }
// if_comp / break_comp r0.x against c0.x with comparison `cmp` (D3DSPC_*).
std::vector<DWORD> Compare(DWORD opcode, DWORD cmp)
{
    return {Ins(opcode, 2) | (cmp << D3DSHADER_COMPARISON_SHIFT), Src(D3DSPR_TEMP, 0, Replicate(0)),
            Src(D3DSPR_CONST, 0, Replicate(0))};
}
// add r0, r0, c1 and the same with c[aL + 2].
const std::vector<DWORD> kAdd = {Ins(D3DSIO_ADD, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 1)};
const std::vector<DWORD> kAddByAL = {Ins(D3DSIO_ADD, 4), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0),
                                     Src(D3DSPR_CONST, 2) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, Replicate(0))};

// A version 2 stream: dcl v0, defi i1, the parts, end.
std::vector<DWORD> Stream(DWORD minor, std::initializer_list<std::vector<DWORD>> parts)
{
    std::vector<DWORD> t = {D3DVS_VERSION(2, minor), Ins(D3DSIO_DCL, 2), Dcl(D3DDECLUSAGE_POSITION),
                            Dst(D3DSPR_INPUT, 0), Ins(D3DSIO_DEFI, 5), Dst(D3DSPR_CONSTINT, 1), 3, 0, 1, 0};
    for (const auto &p : parts)
        t.insert(t.end(), p.begin(), p.end());
    t.push_back(D3DVS_END());
    return t;
}

template <class F>
std::vector<DWORD> Repeat(int n, F part)
{
    std::vector<DWORD> out;
    for (int i = 0; i < n; i++) {
        std::vector<DWORD> p = part(i);
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

}  // namespace

TEST_F(VertexShaderTest, FlowControlIsAcceptedWhereItsBlocksAndSubroutinesAreWellFormed)
{
    // Every vs_2_0 instruction once, with subroutines called before their labels.
    EXPECT_EQ(Create(Stream(0, {Rep(0), Call(0), kEndRep, Loop(1), kAddByAL, kEndLoop, If(0), kAdd, kElse, kAdd,
                                kEndIf, CallNz(1, 1), kRet, Label(0), kAdd, kRet, Label(1), kAdd, kRet})),
              D3D_OK);
    // vs_2_x as the caps describe it: rep, loop and call as deep as StaticFlowControlDepth;
    // if_comp, break and break_comp (dynamic flow control); no predication.  Two
    // subroutines call a third, which is reached twice without recursion.
    D3DCAPS9 caps = {};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    const int depth = caps.VS20Caps.StaticFlowControlDepth;
    ASSERT_GE(depth, 4);
    EXPECT_GT(caps.VS20Caps.DynamicFlowControlDepth, 0);
    EXPECT_EQ(caps.VS20Caps.Caps & D3DVS20CAPS_PREDICATION, 0u) << "predicated instructions are refused";
    EXPECT_EQ(Create(Stream(1, {Repeat(depth - 1, [](int) { return Rep(0); }), Loop(1), kAddByAL,
                                Compare(D3DSIO_BREAKC, D3DSPC_GE), kBreak, kEndLoop,
                                Repeat(depth - 1, [](int) { return kEndRep; }), Compare(D3DSIO_IFC, D3DSPC_LT), kAdd,
                                kEndIf, Call(0), Call(1), kRet, Label(0), Call(2), kRet, Label(1), Call(2), kRet,
                                Label(2), Call(3), kRet, Label(3), Call(4), kRet, Label(4), kRet})),
              D3D_OK);
}

TEST_F(VertexShaderTest, MalformedFlowControlFailsWithOneDiagnostic)
{
    const std::vector<DWORD> addByA0 = {Ins(D3DSIO_ADD, 4), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0),
                                        Src(D3DSPR_CONST, 2) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_CONST, 0)};
    // Each stream with the reason its one diagnostic line gives.
    const std::vector<RefusedStream> cases = {
        {"left open at the end", Stream(0, {Loop(1), kAdd})},
        {"endrep does not close", Stream(0, {Loop(1), kEndRep})},
        {"endif does not close", Stream(0, {kEndIf})},
        {"else outside an if", Stream(0, {Rep(0), kElse, kEndRep})},
        {"else outside an if", Stream(0, {If(0), kElse, kElse, kEndIf})},
        {"call to l3, which no label defines", Stream(0, {Call(3), kRet, Label(0), kRet})},
        {"aL used as an index outside a loop or a subroutine", Stream(0, {kAddByAL})},
        {"aL used as an index outside a loop or a subroutine", Stream(0, {Rep(0), kAddByAL, kEndRep})},
        {"names neither a0 nor aL", Stream(0, {Loop(1), addByA0, kEndLoop})},
        {"nested deeper than 1", Stream(0, {Rep(0), Rep(0), kEndRep, kEndRep})},
        {"nested deeper than 4", Stream(1, {Repeat(5, [](int) { return Rep(0); }),
                                                Repeat(5, [](int) { return kEndRep; })})},
        {"nested too deep across calls",
         Stream(0, {Loop(1), Call(0), kEndLoop, kRet, Label(0), Rep(0), kEndRep, kRet})},
        {"calls nested too deep", Stream(0, {Call(0), kRet, Label(0), Call(1), kRet, Label(1), kRet})},
        {"calls nested too deep", Stream(1, {Call(0), kRet, Repeat(5, [](int i) {
                                                      std::vector<DWORD> t = Label(DWORD(i));
                                                      for (DWORD w : Call(DWORD(i + 1)))
                                                          t.push_back(w);
                                                      t.insert(t.end(), kRet.begin(), kRet.end());
                                                      return t;
                                                  }),
                                                 Label(5), kRet})},
        {"subroutine l0 calls itself", Stream(1, {Call(0), kRet, Label(0), Call(1), kRet, Label(1), Call(0), kRet})},
        {"label before the main program's ret", Stream(0, {Label(0), kRet})},
        {"between the main program's ret and a label", Stream(0, {kRet, kAdd, Label(0), kRet})},
        {"subroutine l0 has no ret", Stream(0, {kRet, Label(0), kAdd})},
        {"label l0 defined twice", Stream(0, {kRet, Label(0), kRet, Label(0), kRet})},
        {"ret inside an open block", Stream(0, {If(0), kRet, kEndIf})},
        {"break outside a loop", Stream(1, {If(0), kBreak, kEndIf})},
        {"need vs_2_x", Stream(0, {Compare(D3DSIO_IFC, D3DSPC_GT), kEndIf})},
        {"without a comparison", Stream(1, {Compare(D3DSIO_IFC, 0), kEndIf})},
        {"where an i# belongs", Stream(0, {{Ins(D3DSIO_REP, 1), Src(D3DSPR_CONST, 0)}, kEndRep})},
        {"operand number 16 out of range", Stream(0, {Rep(16), kEndRep})},
        {"where a b# belongs", Stream(1, {{Ins(D3DSIO_IF, 1), Src(D3DSPR_PREDICATE, 0)}, kEndIf})},
        {"more than 16 static", Stream(0, {Repeat(17, [](int) { return If(0); }),
                                                          Repeat(17, [](int) { return kEndIf; })})},
        {"defi of a register other than i0..i15", Stream(0, {{Ins(D3DSIO_DEFI, 5), Dst(D3DSPR_CONST, 0), 1, 2, 3, 4}})},
        {"flow control needs vs_2_0", {D3DVS_VERSION(1, 1), D3DSIO_REP, Src(D3DSPR_CONSTINT, 0), D3DSIO_ENDREP,
                                    D3DVS_END()}},
    };
    for (const RefusedStream &c : cases) {
        HRESULT hr = S_OK;
        IDirect3DVertexShader9 *shader = nullptr;
        const std::string out =
            testsupport::StderrOf([&] { hr = device_->CreateVertexShader(c.tokens.data(), &shader); });
        EXPECT_EQ(hr, D3DERR_INVALIDCALL) << c.what;
        EXPECT_EQ(shader, nullptr) << c.what;
        EXPECT_EQ(testsupport::CountLines(out), 1) << c.what << ": " << out;
        EXPECT_NE(out.find(c.what), std::string::npos) << "expected \"" << c.what << "\", got " << out;
    }
    // Sixteen ifs are within the count.
    EXPECT_EQ(Create(Stream(0, {Repeat(16, [](int) { return If(0); }), Repeat(16, [](int) { return kEndIf; })})),
              D3D_OK);
}
