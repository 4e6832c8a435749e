// Shader assembler tests: token streams checked by hand against the documented bytecode
// layout, the opcode of every instruction, error reports, macros, files and robustness.
// Every shader assembled here is also disassembled and read back to the same tokens.
#include <d3d9.h>
#include <d3dx9.h>

#include "support/null_device.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Assembled {
    HRESULT hr = E_FAIL;
    bool hasShader = false;
    std::vector<DWORD> code;
    std::string errors;
};

Assembled Collect(HRESULT hr, LPD3DXBUFFER shader, LPD3DXBUFFER errors)
{
    Assembled result;
    result.hr = hr;
    if (shader) {
        result.hasShader = true;
        const DWORD *words = static_cast<const DWORD *>(shader->GetBufferPointer());
        result.code.assign(words, words + shader->GetBufferSize() / sizeof(DWORD));
        shader->Release();
    }
    if (errors) {
        result.errors = static_cast<const char *>(errors->GetBufferPointer());
        errors->Release();
    }
    return result;
}

// Assembles `text`.  Whatever assembles is read back too: its disassembly, assembled with
// the same flags, must give the same tokens.
Assembled Assemble(const std::string &text, DWORD flags = 0, const D3DXMACRO *defines = nullptr, bool readBack = true)
{
    LPD3DXBUFFER shader = nullptr, errors = nullptr;
    HRESULT hr =
        D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), defines, nullptr, flags, &shader, &errors);
    Assembled a = Collect(hr, shader, errors);
    LPD3DXBUFFER listing = nullptr;
    if (a.hasShader && readBack && D3DXDisassembleShader(a.code.data(), FALSE, nullptr, &listing) == D3D_OK) {
        const std::string disassembly = static_cast<const char *>(listing->GetBufferPointer());
        listing->Release();
        EXPECT_EQ(Assemble(disassembly, flags, nullptr, false).code, a.code) << "source:\n"
                                                                             << text << "\ndisassembly:\n"
                                                                             << disassembly;
    } else if (a.hasShader && readBack) {
        ADD_FAILURE() << "not disassembled:\n" << text;
    }
    return a;
}

std::vector<DWORD> Body(const Assembled &a)
{
    // Everything between the version token and the end token.
    if (a.code.size() < 2)
        return {};
    return std::vector<DWORD>(a.code.begin() + 1, a.code.end() - 1);
}

// ---- A small decoder, independent of the assembler ----

// The opcodes of a stream's instructions, or the first way it is malformed.
struct Program {
    std::vector<DWORD> opcodes;
    std::string problem;  // empty when the stream is well formed
};

// Destination + sources of each opcode, from the instruction reference.
int ParamCount(DWORD opcode)
{
    static const std::map<DWORD, int> counts = {{0, 0},  {1, 2},  {2, 3},  {3, 3},  {4, 4},  {5, 3},  {6, 2},  {7, 2},
                                                {8, 3},  {9, 3},  {10, 3}, {11, 3}, {12, 3}, {13, 3}, {14, 2}, {15, 2},
                                                {16, 2}, {17, 3}, {18, 4}, {19, 2}, {20, 3}, {21, 3}, {22, 3}, {23, 3},
                                                {24, 3}, {32, 3}, {33, 3}, {35, 2}, {36, 2}, {46, 2}, {78, 2}, {79, 2}};
    auto it = counts.find(opcode);
    return it == counts.end() ? -1 : it->second;
}

// The flow control instructions, which have sources only: how many.
int FlowSourceCount(DWORD opcode)
{
    // call 1, callnz 2, loop 2, ret, endloop, label 1, rep 1, endrep, if 1, if_comp 2, else,
    // endif, break, break_comp 2.
    static const std::map<DWORD, int> counts = {{25, 1}, {26, 2}, {27, 2}, {28, 0}, {29, 0}, {30, 1}, {38, 1},
                                                {39, 0}, {40, 1}, {41, 2}, {42, 0}, {43, 0}, {44, 0}, {45, 2}};
    auto it = counts.find(opcode);
    return it == counts.end() ? -1 : it->second;
}

Program Decode(const std::vector<DWORD> &code)
{
    Program p;
    if (code.empty() || (code[0] & 0xFFFF0000) != 0xFFFE0000) {
        p.problem = "no vertex shader version token";
        return p;
    }
    const DWORD version = code[0] & 0xFFFF;
    size_t at = 1;
    // A parameter token; a relative source in vs_2_0 brings an address token after it.
    auto param = [&](bool source) {
        DWORD t = code[at++];
        if (!(t & 0x80000000))
            p.problem = "parameter token without bit 31";
        if (source && (t & 0x2000) && version >= 0x200) {
            DWORD r = at < code.size() ? code[at++] : 0;
            const DWORD type = ((r >> 28) & 7) | ((r >> 8) & 0x18);  // a0 (3) or aL (15)
            if ((type != 3 && type != 15) || ((r >> 16) & 0xFF) != ((r >> 16) & 3) * 0x55)
                p.problem = "bad relative address token";
        }
    };
    while (at < code.size() && p.problem.empty()) {
        DWORD token = code[at++];
        if (token == 0x0000FFFF) {
            if (at != code.size())
                p.problem = "tokens after the end token";
            return p;
        }
        const DWORD opcode = token & 0xFFFF, length = (token >> 24) & 0xF;
        size_t start = at;
        if (opcode == 31) {  // dcl: the usage token, then the register
            if (at + 2 > code.size())
                break;
            at++;
            param(false);
        } else if (opcode == 81 || opcode == 48 || opcode == 47) {  // def, defi: four values; defb: one
            const size_t values = opcode == 47 ? 1 : 4;
            if (at + 1 + values > code.size())
                break;
            param(false);
            at += values;
        } else if (FlowSourceCount(opcode) >= 0) {
            for (int i = 0; i < FlowSourceCount(opcode) && at < code.size(); ++i)
                param(true);
            p.opcodes.push_back(opcode);
        } else {
            int count = ParamCount(opcode);
            if (count < 0) {
                p.problem = "unknown opcode " + std::to_string(opcode);
                return p;
            }
            for (int i = 0; i < count && at < code.size(); ++i)
                param(i > 0);
            p.opcodes.push_back(opcode);
        }
        DWORD used = static_cast<DWORD>(at - start);
        if (version >= 0x200 && length != used)
            p.problem = "opcode " + std::to_string(opcode) + ": length bits say " + std::to_string(length) +
                        ", operands take " + std::to_string(used);
        if (version < 0x200 && length != 0)
            p.problem = "length bits set in a vs_1_x stream";
    }
    if (p.problem.empty())
        p.problem = "no end token";
    return p;
}

// The particle billboard: v0 centre, v1 corner offset, v2 colour, v3 texture coordinates;
// c0-c3 the transposed view x projection, c4 camera right, c5 camera up.
const char kBillboard[] = "vs_1_1\n"
                          "dcl_position0 v0\n"
                          "dcl_position1 v1\n"
                          "dcl_color0 v2\n"
                          "dcl_texcoord0 v3\n"
                          "mov r0, v0                         ; w = 1 from the vertex declaration\n"
                          "mad r0.xyz, c4.xyz, v1.x, r0.xyz   // centre + right * sx\n"
                          "mad r0.xyz, c5.xyz, v1.y, r0.xyz   // ... + up * sy\n"
                          "m4x4 oPos, r0, c0\n"
                          "mov oD0, v2\n"
                          "mov oT0.xy, v3\n";

using testsupport::CountLines;
using testsupport::StderrOf;

// Shaders the tests below check token by token, or by their opcodes.
const char kVs11Arithmetic[] = "vs_1_1\n"
                               "dcl_position v0\n"
                               "mov r0, v0\n"
                               "add r1.xy, -c3.yzxw, r0.x\n"
                               "mad r2, v0, c5.w, -r1.xxyy\n"
                               "rcp r3.w, r1.y\n"
                               "m4x4 oPos, r0, c8\n"
                               "mov oD1.zw, r0\n"
                               "mov oT3, c0\n"
                               "mov oFog, r0.z\n";

const char kDeclarations[] = "vs_1_1\n"
                             "dcl_texcoord3 v5.xy\n"
                             "dcl_blendindices v1\n"
                             "dcl_color1 v2\n"
                             "def c7, 1.0, -0.5, 0, 2e0\n"
                             "mov oPos, c7\n";

const char kEveryVs11Instruction[] =
    "vs_1_1\ndcl_position v0\ndcl_normal v1\ndcl_texcoord2 v2\ndef c95, 1, -0.5, 0.25, 1e+06\n"
    "def c94, 1.5, -0.25, 1e+10, 3.4028235e+38\nmov r0, v0\nmov r1, c1\nmov a0.x, c0.x\nadd r2, r0, -c3\nsub r2.xz, r1.yxwz, v0.w\n"
    "mul r3.y, r0.x, c[a0.x + 4]\nmad r4, v0, c5.x, r0\nrcp r5.w, r0.y\nrsq r5.x, -c6.z\n"
    "dp3 r6.x, r0, c7\ndp4 r6.yw, -r1, v0\nmin r7, r0.zwxy, c8\nmax r7, r7, v0.x\nslt r8, r0, c9\n"
    "sge r8.w, v0.x, r1\nexp r9, r0.w\nexpp r9.xy, c10.y\nlog r10.z, v0.x\nlogp r10.w, r1.z\nlit r11, r0\n"
    "dst r11, r0, c11\nfrc r9.zw, r0\nm4x4 oPos, r0, c12\nm4x3 r2.xyz, v0, c16\nm3x4 oT0, r1, c20\n"
    "m3x3 oT1.xyz, r0, c24\nm3x2 oT2.xy, v0, c28\nmov oD0, c[a0.x]\nmov oD1.xw, r0.xxy\nmov oFog.x, r0.w\n"
    "mov oPts.x, c2.y\nmov oT7, v1\nmov oT6, v2.wzyx\nnop\n";

const char kEveryVs20Addition[] =
    "vs_2_0\ndcl_position v0\ndcl_blendweight v1\ndcl_blendindices v2\ndef c200, 0, 1, 2, 3\n"
    "mov r0, v0\nmov r1, c1\nmova a0, c0\nmov r2, c[a0.y + 7]\nmov r3, c[a0.w]\n"
    "add r2, r2, -c[a0.z + 255].yx\nlrp r4, r0, r1, c3\npow r5.x, r0.x, c4.y\ncrs r6.xyz, r0, r1\n"
    "abs r7, -r0\nnrm r8, r0\nm4x4 oPos, r0, c12\nmov oT0, v1\nmov oD0, v2\n";

// A parameter token: bit 31 set, the register type in bits 28-30 and 11-12, the number in
// bits 0-10.  Destinations carry the write mask in bits 16-19, sources the swizzle in bits
// 16-23 (two bits per component, xyzw = 0xE4) and the modifier in bits 24-27 (negate = 1).
// Types: r 0, v 1, c 2, a or t 3, rastout 4, attribute out 5, texture out 6, colour out 8,
// depth out 9, sampler 10.
DWORD Reg(DWORD type, DWORD n)
{
    return 0x80000000u | (type & 7u) << 28 | (type & 0x18u) << 8 | n;
}

// ---- Hand-checked token streams ----

using ShaderAssemblerDevice = testsupport::NullDeviceTest;

TEST(ShaderAssemblerTokens, VertexShaderTokensAreTheDocumentedBytecode)
{
    Assembled a = Assemble(kVs11Arithmetic);
    ASSERT_EQ(a.hr, D3D_OK) << a.errors;
    EXPECT_TRUE(a.errors.empty());
    EXPECT_EQ(a.code.front(), 0xFFFE0101u);
    EXPECT_EQ(a.code.back(), 0x0000FFFFu);
    EXPECT_EQ(Assemble("VS_1_0\ndcl_position v0\nmov oPos, v0").code.front(), 0xFFFE0100u);
    const std::vector<DWORD> expected = {
        0x0000001F, 0x80000000, 0x900F0000,  // dcl_position v0: usage 0 index 0; v0 mask xyzw
        0x00000001, 0x800F0000, 0x90E40000,  // mov r0, v0: no length bits before vs_2_0
        // add r1.xy: mask 0x3; -c3.yzxw: swizzle 1 | 2<<2 | 0<<4 | 3<<6 = 0xC9, negate 1<<24;
        // r0.x replicates x: swizzle 0x00
        0x00000002, 0x80030001, 0xA1C90003, 0x80000000,
        // mad r2, v0, c5.w (0xFF), -r1.xxyy (0 | 0<<2 | 1<<4 | 1<<6 = 0x50)
        0x00000004, 0x800F0002, 0x90E40000, 0xA0FF0005, 0x81500001, 0x00000006, 0x80080003,
        0x80550001,                                      // rcp r3.w, r1.y (0x55)
        0x00000014, 0xC00F0000, 0x80E40000, 0xA0E40008,  // m4x4 oPos, r0, c8
        0x00000001, 0xD00C0001, 0x80E40000,              // mov oD1.zw, r0
        0x00000001, 0xE00F0003, 0xA0E40000,              // mov oT3, c0
        0x00000001, 0xC0010001, 0x80AA0000,              // mov oFog (a scalar: mask .x), r0.z (0xAA)
    };
    EXPECT_EQ(Body(a), expected);

    a = Assemble(kDeclarations);
    ASSERT_EQ(a.hr, D3D_OK) << a.errors;
    const std::vector<DWORD> declarations = {
        0x0000001F, 0x80030005, 0x90030005,  // texcoord = 5, index 3 in bits 16-19; v5.xy
        0x0000001F, 0x80000002, 0x900F0001,  // blendindices = 2
        0x0000001F, 0x8001000A, 0x900F0002,  // color = 10, index 1
        // def c7: the four floats' IEEE bits: 1.0, -0.5, 0.0, 2.0
        0x00000051, 0xA00F0007, 0x3F800000, 0xBF000000, 0x00000000, 0x40000000,  //
        0x00000001, 0xC00F0000, 0xA0E40007,                                      // mov oPos, c7
    };
    EXPECT_EQ(Body(a), declarations);

    // vs_1_1 relative addressing implies a0.x: c10 with bit 13, no address token.
    for (const char *form : {"c[a0.x + 10]", "c[10 + a0.x]", "c10[a0.x]", "c4[a0.x + 6]"}) {
        a = Assemble(std::string("vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, ") + form + "\n");
        ASSERT_EQ(a.hr, D3D_OK) << form << ": " << a.errors;
        EXPECT_EQ(Body(a), (std::vector<DWORD>{0x1F, 0x80000000, 0x900F0000, 0x01, 0xB0010000, 0x90000000, 0x01,
                                               0xC00F0000, 0xA0E4200A}))
            << form;
    }
}

// ps_2_0: declarations, texld and its forms, texkill, cmp, dp2add, sincos, the _sat and
// _pp modifiers, negate and _abs sources and the colour and depth outputs.  ps_1_x:
// tex/texcoord, the result shifts, _sat, the source modifiers, a co-issued pair, and
// ps_1_4's two phases with texld/texcrd and their _dw/_dz forms; no instruction carries a
// length, and the phase marker is a bare opcode token.
TEST_F(ShaderAssemblerDevice, PixelShaderTokensAreTheDocumentedBytecode)
{
    auto r = [](DWORD n) { return Reg(0, n); };
    auto c = [](DWORD n) { return Reg(2, n); };
    auto t = [](DWORD n) { return Reg(3, n); };
    auto v = [](DWORD n) { return Reg(1, n); };
    auto Mod = [](DWORD m) { return m << 24; };
    auto Op = [](DWORD code, DWORD length) { return code | length << 24; };
    const DWORD kAll = 0x000F0000, kRgb = 0x00070000, kAlpha = 0x00080000, kNone = 0x00E40000;
    const DWORD s3 = Reg(10, 3), oC0 = Reg(8, 0), oDepth = Reg(9, 0);
    const DWORD shiftX2 = 0x01000000, shiftD2 = 0x0F000000, shiftX8 = 0x03000000, sat = 0x00100000;
    const struct {
        const char *source;
        std::vector<DWORD> tokens;
    } cases[] = {
        // One instruction's tokens a line.
        // clang-format off
        {"ps_2_0\ndcl t0.xy\ndcl v1\ndcl_2d s3\ndef c1, 1, 0.5, 0, -2\ntexld r0, t0, s3\nmul_sat r0, r0, v1\n"
         "texldp r1, t0, s3\ntexldb_pp r2, r1, s3\ntexkill t0\ncmp r3, -r0, c1, r1_abs\n"
         "dp2add r4.x, r3, c1, -c1_abs.w\nsincos_sat_pp r5.xy, r4.x, c2, c3\nmov oDepth, r5.y\nmov oC0, r0\n",
         {
             0xFFFF0200,                                                                // ps_2_0
             Op(31, 2), 0x80000000, t(0) | 0x00030000,                                  // dcl t0.xy
             Op(31, 2), 0x80000000, v(1) | kAll,                                        // dcl v1
             Op(31, 2), 0x90000000, s3 | kAll,                                          // dcl_2d s3
             Op(81, 5), c(1) | kAll, 0x3F800000, 0x3F000000, 0x00000000, 0xC0000000,    // def c1
             Op(66, 3), r(0) | kAll, t(0) | kNone, s3 | kNone,                          // texld
             Op(5, 3), r(0) | kAll | sat, r(0) | kNone, v(1) | kNone,                   // mul_sat
             Op(66, 3) | 0x00010000, r(1) | kAll, t(0) | kNone, s3 | kNone,             // texldp
             Op(66, 3) | 0x00020000, r(2) | kAll | 0x00200000, r(1) | kNone, s3 | kNone,  // texldb_pp
             Op(65, 1), t(0) | kAll,                                                    // texkill
             Op(88, 4), r(3) | kAll, r(0) | kNone | Mod(1), c(1) | kNone, r(1) | kNone | Mod(11),  // cmp
             Op(90, 4), r(4) | 0x00010000, r(3) | kNone, c(1) | kNone, c(1) | 0x00FF0000 | Mod(12),  // dp2add
             Op(37, 4), r(5) | 0x00030000 | 0x00300000, r(4), c(2) | kNone, c(3) | kNone,  // sincos_sat_pp
             Op(1, 2), oDepth | kAll, r(5) | 0x00550000,                                // mov oDepth
             Op(1, 2), oC0 | kAll, r(0) | kNone,                                        // mov oC0
             0x0000FFFF,
         }},
        {"ps.1.1\ndef c0, 1, 0.5, 0, -2\ntex t0\ntexcoord t1\nmul_x2 r0.rgb, t0, v0_bx2\n"
         "+add_sat r0.a, 1-t1.a, -c0_bias.b\nmad_d2 r1, -t0, c0.a, r0\ncnd r0, r0.a, r1, t1\n",
         {
             0xFFFF0101,                                                          // ps.1.1
             81, c(0) | kAll, 0x3F800000, 0x3F000000, 0x00000000, 0xC0000000,     // def c0
             66, t(0) | kAll,                                                     // tex t0
             64, t(1) | kAll,                                                     // texcoord t1
             5, r(0) | kRgb | shiftX2, t(0) | kNone, v(0) | kNone | Mod(4),       // mul_x2, _bx2
             2 | 0x40000000, r(0) | kAlpha | sat, t(1) | 0x00FF0000 | Mod(6), c(0) | 0x00AA0000 | Mod(3),  // +add
             4, r(1) | kAll | shiftD2, t(0) | kNone | Mod(1), c(0) | 0x00FF0000, r(0) | kNone,  // mad_d2
             80, r(0) | kAll, r(0) | 0x00FF0000, r(1) | kNone, t(1) | kNone,      // cnd
             0x0000FFFF,
         }},
        {"ps_1_4\ntexld r0, t0\ntexcrd r1.rgb, t1.xyw_dw\ntexcrd r2.rgb, t2.xyz\nadd_x8 r1.rgb, r1, r2_x2\nphase\n"
         "texld r3, r1_dz\ncmp r0, -r0.g, r3, v0\n",
         {
             0xFFFF0104,                                                          // ps_1_4
             66, r(0) | kAll, t(0) | kNone,                                       // texld
             64, r(1) | kRgb, t(1) | 0x00F40000 | Mod(10),                        // texcrd _dw
             64, r(2) | kRgb, t(2) | 0x00A40000,                                  // texcrd .xyz
             2, r(1) | kRgb | shiftX8, r(1) | kNone, r(2) | kNone | Mod(7),       // add_x8, _x2
             0xFFFD,                                                              // phase
             66, r(3) | kAll, r(1) | kNone | Mod(9),                              // texld _dz
             88, r(0) | kAll, r(0) | 0x00550000 | Mod(1), r(3) | kNone, v(0) | kNone,  // cmp
             0x0000FFFF,
         }},
        // clang-format on
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.source);
        Assembled a = Assemble(k.source);
        ASSERT_EQ(a.hr, D3D_OK) << a.errors;
        EXPECT_EQ(a.code, k.tokens);
        // The device takes it as it is.
        IDirect3DPixelShader9 *shader = nullptr;
        ASSERT_EQ(device_->CreatePixelShader(a.code.data(), &shader), D3D_OK);
        shader->Release();
    }
}

// Flow control shaders used below: every vs_2_0 flow instruction, constant definitions
// and c[aL + n]; vs_2_x's comparisons and breaks.
const char kVs20Flow[] = "vs_2_0\ndcl_position v0\ndefi i0, 3, 0, 1, 0\ndefi i1, -2, 255, -128, 7\n"
                         "defb b0, true\ndefb b3, FALSE\nmov r0, v0\nrep i0\nadd r0, r0, c0\nendrep\n"
                         "loop aL, i1\nadd r0, r0, c[aL + 4]\nmov r1, c2[aL]\nendloop\nif b0\nmov r0, c1\nelse\n"
                         "callnz l2, !b3\nendif\ncall l2\nmov oPos, r0\nret\nlabel l2\nmov r0.x, c3.x\nret\n";
const char kVs2xFlow[] = "vs_2_x\ndcl_position v0\ndefi i0, 4, 0, 1, 0\nmov r0, v0\nmova a0.x, v0.x\nrep i0\n"
                         "if_gt r0.x, c0.y\nbreak\nendif\nbreak_le -r0.w, c[a0.x + 2].z\nadd r0, r0, c1\nendrep\n"
                         "if_ne r0.z, v0.x\nmov r0, c2\nendif\nmov oPos, r0\n";

// The flow control instructions' tokens: the integer (type 7), boolean (14), label (18)
// and loop counter (15) registers, the comparison in bits 16-18 of the instruction token
// (gt 1, eq 2, ge 3, lt 4, ne 5, le 6), the ! of callnz as source modifier 13, and aL as
// the relative-address token after a source.
TEST(ShaderAssemblerTokens, FlowControlTokensAreTheDocumentedBytecode)
{
    const DWORD aL = Reg(15, 0), kNone = 0x00E40000, kAll = 0x000F0000;
    auto i = [](DWORD n) { return Reg(7, n); };
    auto b = [](DWORD n) { return Reg(14, n); };
    auto l = [](DWORD n) { return Reg(18, n); };
    auto Op = [](DWORD code, DWORD length, DWORD comparison = 0) { return code | comparison << 16 | length << 24; };
    const struct {
        const char *source;
        std::vector<DWORD> tokens;
    } cases[] = {
        // clang-format off
        {kVs20Flow, {
             0xFFFE0200, Op(31, 2), 0x80000000, 0x900F0000,                       // vs_2_0, dcl_position v0
             Op(48, 5), i(0) | kAll, 3, 0, 1, 0,                                  // defi i0
             Op(48, 5), i(1) | kAll, 0xFFFFFFFE, 255, 0xFFFFFF80, 7,              // defi i1: two's complement
             Op(47, 2), b(0) | kAll, 1,                                           // defb b0, true
             Op(47, 2), b(3) | kAll, 0,                                           // defb b3, false
             Op(1, 2), 0x800F0000, 0x90E40000,                                    // mov r0, v0
             Op(38, 1), i(0) | kNone,                                             // rep i0
             Op(2, 3), 0x800F0000, 0x80E40000, 0xA0E40000,                        // add r0, r0, c0
             Op(39, 0),                                                           // endrep
             Op(27, 2), aL | kNone, i(1) | kNone,                                 // loop aL, i1
             Op(2, 4), 0x800F0000, 0x80E40000, 0xA0E42004, aL,                    // add r0, r0, c[aL + 4]
             Op(1, 3), 0x800F0001, 0xA0E42002, aL,                                // mov r1, c2[aL]
             Op(29, 0),                                                           // endloop
             Op(40, 1), b(0) | kNone,                                             // if b0
             Op(1, 2), 0x800F0000, 0xA0E40001,                                    // mov r0, c1
             Op(42, 0),                                                           // else
             Op(26, 2), l(2) | kNone, b(3) | kNone | 13 << 24,                    // callnz l2, !b3
             Op(43, 0),                                                           // endif
             Op(25, 1), l(2) | kNone,                                             // call l2
             Op(1, 2), 0xC00F0000, 0x80E40000,                                    // mov oPos, r0
             Op(28, 0),                                                           // ret
             Op(30, 1), l(2) | kNone,                                             // label l2
             Op(1, 2), 0x80010000, 0xA0000003,                                    // mov r0.x, c3.x
             Op(28, 0), 0x0000FFFF}},                                             // ret
        {kVs2xFlow, {
             0xFFFE0201, Op(31, 2), 0x80000000, 0x900F0000,                       // vs_2_x: minor version 1
             Op(48, 5), i(0) | kAll, 4, 0, 1, 0,                                  // defi i0
             Op(1, 2), 0x800F0000, 0x90E40000,                                    // mov r0, v0
             Op(46, 2), 0xB0010000, 0x90000000,                                   // mova a0.x, v0.x
             Op(38, 1), i(0) | kNone,                                             // rep i0
             Op(41, 2, 1), 0x80000000, 0xA0550000,                                // if_gt r0.x, c0.y
             Op(44, 0),                                                           // break
             Op(43, 0),                                                           // endif
             Op(45, 3, 6), 0x81FF0000, 0xA0AA2002, 0xB0000000,                    // break_le -r0.w, c[a0.x + 2].z
             Op(2, 3), 0x800F0000, 0x80E40000, 0xA0E40001,                        // add r0, r0, c1
             Op(39, 0),                                                           // endrep
             Op(41, 2, 5), 0x80AA0000, 0x90000000,                                // if_ne r0.z, v0.x
             Op(1, 2), 0x800F0000, 0xA0E40002,                                    // mov r0, c2
             Op(43, 0),                                                           // endif
             Op(1, 2), 0xC00F0000, 0x80E40000, 0x0000FFFF}},                      // mov oPos, r0
        // clang-format on
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.source);
        Assembled a = Assemble(k.source);
        ASSERT_EQ(a.hr, D3D_OK) << a.errors;
        EXPECT_EQ(a.code, k.tokens);
    }
    // Each comparison's number, for if_comp and break_comp alike.
    const struct {
        const char *suffix;
        DWORD comparison;
    } comparisons[] = {{"gt", 1}, {"eq", 2}, {"ge", 3}, {"lt", 4}, {"ne", 5}, {"le", 6}};
    for (const auto &c : comparisons) {
        const std::string source = std::string("vs_2_x\ndcl_position v0\ndefi i0, 2, 0, 1, 0\nrep i0\nbreak_") +
                                   c.suffix + " v0.x, c0.x\nif_" + c.suffix +
                                   " c1.w, v0.y\nendif\nendrep\nmov oPos, v0\n";
        Assembled a = Assemble(source);
        ASSERT_EQ(a.hr, D3D_OK) << source << a.errors;
        EXPECT_EQ(std::vector<DWORD>(a.code.begin() + 10, a.code.end() - 4),
                  (std::vector<DWORD>{Op(38, 1), i(0) | kNone, Op(45, 2, c.comparison), 0x90000000, 0xA0000000,
                                      Op(41, 2, c.comparison), 0xA0FF0001, 0x90550000, Op(43, 0), Op(39, 0)}))
            << c.suffix;
    }
}

// ---- Every instruction's opcode and operand count, and the device takes the code ----

TEST_F(ShaderAssemblerDevice, EveryInstructionHasItsOpcodeAndTheDeviceTakesTheCode)
{
    // The opcode of each instruction line after the declarations and definitions, from the
    // instruction reference; the decoder checks the operand counts and (vs_2_0) length bits.
    const struct {
        std::string source;
        std::vector<DWORD> opcodes;
    } shaders[] = {
        // mov x3, add, sub, mul, mad, rcp, rsq, dp3, dp4, min, max, slt, sge, exp, expp, log,
        // logp, lit, dst, frc, m4x4, m4x3, m3x4, m3x3, m3x2, mov x6, nop.
        {kEveryVs11Instruction, {1,  1,  1,  2,  3,  5,  4,  6,  7,  8,  9, 10, 11, 12, 13, 14, 78,
                                 15, 79, 16, 17, 19, 20, 21, 22, 23, 24, 1, 1,  1,  1,  1,  1,  0}},
        // mov x2, mova, mov x2, add, lrp, pow, crs, abs, nrm, m4x4, mov x2.
        {kEveryVs20Addition, {1, 1, 46, 1, 1, 2, 18, 32, 33, 35, 36, 20, 1, 1}},
        {kBillboard, {1, 4, 4, 20, 1, 1}},
        {kVs11Arithmetic, {1, 2, 4, 6, 20, 1, 1, 1}},
        {kDeclarations, {1}},
        {"vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, c10[a0.x]\n", {1, 1}},
    };
    for (const auto &s : shaders) {
        SCOPED_TRACE(s.source);
        Assembled a = Assemble(s.source);
        ASSERT_EQ(a.hr, D3D_OK) << a.errors;
        Program p = Decode(a.code);
        ASSERT_EQ(p.problem, "");
        EXPECT_EQ(p.opcodes, s.opcodes);
        IDirect3DVertexShader9 *shader = nullptr;
        EXPECT_EQ(device_->CreateVertexShader(a.code.data(), &shader), D3D_OK);
        ASSERT_NE(shader, nullptr);
        // The device keeps the very tokens it was given.
        UINT size = 0;
        EXPECT_EQ(shader->GetFunction(nullptr, &size), D3D_OK);
        EXPECT_EQ(size, a.code.size() * sizeof(DWORD));
        shader->Release();
    }
}

TEST(ShaderAssemblerSource, LayoutCaseAndCommentsDoNotChangeTheCode)

{
    Assembled plain = Assemble(kBillboard);
    ASSERT_EQ(plain.hr, D3D_OK) << plain.errors;
    Assembled dressed = Assemble("// particle quad\r\n"
                                 "  VS.1.1   ; version\r\n"
                                 "/* inputs\r\n   four of them */ DCL_POSITION0 V0\r\n"
                                 "dcl_position1\tv1\r\n"
                                 "dcl_color v2\rdcl_texcoord v3\n"
                                 "\n"
                                 "MOV R0,V0\n"
                                 "mad r0.rgb , c4.rgb , v1.r , r0.xyz\n"
                                 "mad r0.xyz, c5.xyz, v1.g, r0.rgb /* block */ ; and line\n"
                                 "M4X4 OPOS, r0, c0\n"
                                 "mov oD0, v2.xyzw\n"
                                 "mov oT0.rg, v3");
    ASSERT_EQ(dressed.hr, D3D_OK) << dressed.errors;
    EXPECT_EQ(dressed.code, plain.code);
}

// Flow control reads back through the disassembler (Assemble checks the tokens) in the
// syntax it was written in; the layout and case of the source do not matter.
TEST(ShaderAssemblerSource, FlowControlReadsBackInItsOwnSyntax)
{
    for (const char *source : {kVs20Flow, kVs2xFlow}) {
        Assembled a = Assemble(source);
        ASSERT_EQ(a.hr, D3D_OK) << a.errors;
        LPD3DXBUFFER listing = nullptr;
        ASSERT_EQ(D3DXDisassembleShader(a.code.data(), FALSE, nullptr, &listing), D3D_OK);
        const std::string text = static_cast<const char *>(listing->GetBufferPointer());
        listing->Release();
        const std::vector<const char *> lines =
            source == kVs20Flow
                ? std::vector<const char *>{"vs_2_0\n", "\ndefi i1, -2, 255, -128, 7\n", "\ndefb b3, false\n",
                                            "\nloop aL, i1\n", "\nadd r0, r0, c[aL + 4]\n", "\nmov r1, c[aL + 2]\n",
                                            "\ncallnz l2, !b3\n", "\nlabel l2\n"}
                : std::vector<const char *>{"vs_2_x\n", "\nif_gt r0.x, c0.y\n", "\nbreak\n",
                                            "\nbreak_le -r0.w, c[a0.x + 2].z\n", "\nif_ne r0.z, v0.x\n"};
        for (const char *line : lines)
            EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    Assembled dressed = Assemble("VS_2_0\ndcl_position v0\nDEFI I0 , 3, 0, +1, 0\ndefi i1, -2, 255, -128, 7\n"
                                 "defb b0, True\ndefb b3, false\nmov r0, v0\nREP i0 ; three times\n"
                                 "add r0, r0, c0\nEndRep\nloop AL, i1\nadd r0, r0, c[4 + aL]\nmov r1, c[aL + 2]\n"
                                 "endloop\nif B0\nmov r0, c1\nelse\ncallnz L2 , ! b3\nendif\ncall l2\n"
                                 "mov oPos, r0\nret\nLABEL l2\nmov r0.x, c3.x\nRET\n");
    ASSERT_EQ(dressed.hr, D3D_OK) << dressed.errors;
    EXPECT_EQ(dressed.code, Assemble(kVs20Flow).code);
}

TEST(ShaderAssemblerSource, MacrosFromTheCallerAndFromDefineLines)
{
    const D3DXMACRO defines[] = {{"RIGHT", "c4.xyz"}, {"UP", "c5"}, {nullptr, nullptr}};
    Assembled expanded = Assemble("#define CENTRE v0\n"
                                  "#define CORNER_X v1.x\n"
                                  "vs_1_1\n"
                                  "dcl_position0 CENTRE\n"
                                  "dcl_position1 v1\n"
                                  "dcl_color0 v2\n"
                                  "dcl_texcoord0 v3\n"
                                  "mov r0, CENTRE                         ; w = 1 from the vertex declaration\n"
                                  "mad r0.xyz, RIGHT, CORNER_X, r0.xyz\n"
                                  "mad r0.xyz, UP.xyz, v1.y, r0.xyz\n"
                                  "m4x4 oPos, r0, c0\n"
                                  "mov oD0, v2\n"
                                  "mov oT0.xy, v3\n",
                                  0, defines);
    ASSERT_EQ(expanded.hr, D3D_OK) << expanded.errors;
    EXPECT_EQ(expanded.code, Assemble(kBillboard).code);

    // A macro that names itself stops expanding instead of looping.
    const D3DXMACRO loop[] = {{"r0", "r0"}, {nullptr, nullptr}};
    EXPECT_EQ(Assemble(kBillboard, 0, loop).code, Assemble(kBillboard).code);
}

// Every instruction form of each shader kind, written for the forms rather than as working
// shaders (the device rules are not applied), assembles and reads back the same (vs_1_1's
// are the opcode walk's).
TEST(ShaderAssemblerSource, EveryInstructionFormReadsBack)
{
    const char *const shaders[] = {
        "vs_2_0\ndcl_position v0\ndcl_blendweight v1\ndcl_blendindices v2\ndcl_color1 v3.xyz\ndcl_tangent v4\n"
        "def c20, 0, 0.5, 1, 2\nmova a0.y, v2.x\nmov r0, c[a0.y + 30]\nlrp r1, r0, v0, c20\npow r2.x, r0.x, r0.y\n"
        "crs r3.xyz, r0, v0\nabs r4, -r3\nnrm r5.xyz, r4\nsincos r6.xy, r0.x, c21, c22\nmov oPos, v0\n"
        "mov oD0, r6\nmov oT0, r5\n",
        "ps_2_0\ndcl t0.xy\ndcl t1\ndcl v0\ndcl_2d s0\ndcl_cube s1\ndcl_volume s2\ndef c3, 0.5, 0.5, 0.5, 1\n"
        "texld r0, t0, s0\ntexldp r1, t1, s1\ntexldb r2, t1, s2\ntexkill t1\nadd_sat r3, r0, -r1_abs\n"
        "mul_pp r4.xyz, r3, v0\ncmp r5, r4, c3, -c3_abs\ndp2add r6.x, r5, r4, c3.z\nmad_sat_pp r7, r6.x, c3, r0.wzyx\n"
        "texkill r7\nmov oC0, r7\nmov oC1, r0\nmov oDepth, r6.x\n",
        "ps_1_1\ndef c0, 0.5, 0.25, 1, 0\ntex t0\ntex t1\ntexcoord t2\nmul_x2 r0, t0, v0\nadd_sat r1, t1_bx2, "
        "-c0_bias\n"
        "+mov r1.a, 1-t2.b\nmad_d2 r0.rgb, r1, t2, r0\n+lrp_x4_sat r0.a, v1.a, r0, c0.g\ndp3 r1.rgb, t0_bx2, -t1_bx2\n"
        "sub r0, r0, r1\ncnd r0, r0.a, t0, t1\n",
        "ps_1_3\ntex t0\ntexkill t1\ntex t2\nmov r0, t0\ndp4 r1, t0, t2\ncmp r0, r1, r0, t2\n",
        "ps_1_4\ndef c1, 1, 0, 0, 1\ntexld r0, t0\ntexcrd r1.xyz, t1_dw.xyw\ntexld r2, t2\ntexkill r1\n"
        "mul_x8 r0, r0, c1_x2\nmad_d8 r3.xy, r0, -r2_x2, c1\nphase\ntexld r4, r3_dz\ntexcrd r5.xy, t3\n"
        "mul_d4 r0, r4, v0\nadd r0.w, r0, r1.z\n+mov r0.rgb, v1\n",
    };
    for (const char *source : shaders) {
        Assembled a = Assemble(source, D3DXSHADER_SKIPVALIDATION);
        EXPECT_EQ(a.hr, D3D_OK) << source << "\n" << a.errors;
    }
}

// ---- Errors ----

struct BadShader {
    const char *source;
    int line;
    const char *reason;  // a fragment of the message
};

// The shader is refused with its first error listed at `bad.line`, and exactly one line on
// stderr repeats that error's line, column and reason.
void ExpectRefused(const BadShader &bad)
{
    SCOPED_TRACE(bad.source);
    Assembled a;
    const std::string stderrText = StderrOf([&] { a = Assemble(bad.source); });
    EXPECT_EQ(a.hr, D3DXERR_INVALIDDATA);
    EXPECT_FALSE(a.hasShader);
    EXPECT_NE(a.errors.find("memory(" + std::to_string(bad.line) + ","), std::string::npos) << a.errors;
    EXPECT_NE(a.errors.find(bad.reason), std::string::npos) << a.errors;
    EXPECT_EQ(CountLines(stderrText), 1) << stderrText;
    std::string first = a.errors.substr(0, a.errors.find('\n'));
    size_t open = first.find('('), comma = first.find(','), close = first.find("): error: ");
    ASSERT_TRUE(open != std::string::npos && comma != std::string::npos && close != std::string::npos) << first;
    std::string expected = "d3dx9: memory:" + first.substr(open + 1, comma - open - 1) + ":" +
                           first.substr(comma + 1, close - comma - 1) + ": " + first.substr(close + 10);
    EXPECT_EQ(stderrText.rfind(expected, 0), 0u) << stderrText;
}

TEST(ShaderAssemblerErrors, FailNameTheLineAndWriteOneDiagnostic)
{
    const BadShader cases[] = {
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\nfoo r0, r1\n", 4, "unknown instruction 'foo'"},
        {"vs_1_1\ndcl_position v0\nmov r12, v0\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position v0\nmov oPos v0\n", 3, "expected ','"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0.xq\n", 3, "not a swizzle"},
        {"vs_1_1\ndcl_position v0\nmov v0, c0\nmov oPos, v0\n", 3, "v0 cannot be written"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\nmov r0, oPos\n", 4, "oPos cannot be read"},
        {"vs_1_1\ndcl_position v0\nmova a0.x, v0.x\nmov oPos, v0\n", 3, "needs vs_2_0"},
        {"vs_2_0\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, v0\n", 3, "mova"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v1\n", 3, "v1 is read but not declared"},
        {"vs_1_1\ndcl_position v0\nadd oPos, c0, c1\n", 3, "only one constant register"},
        {"vs_1_1\ndcl_position v0\ndcl_normal v1\nadd oPos, v0, v1\n", 4, "only one input register"},
        {"vs_1_1\ndcl_position v0\nmov r0.x, v0\nmov oPos, r0\n", 4, "r0.yzw is read before it is written"},
        {"vs_1_1\ndcl_position v0\nmov r0, v0\ndp3 oPos, r1.xyzw, r0\n", 4, "r1.xyz is read"},
        {"vs_1_1\ndcl_position v0\nmov oPos.xyz, v0\n", 3, "oPos must be written"},
        {"", 1, "no shader version"},
        {"; only a comment\n", 2, "no shader version"},
        {"mov r0, v0\n", 1, "expected the shader version"},
        {"ps_1_0\nmov r0, c0\n", 1, "unsupported pixel shader version 'ps_1_0' (ps_1_1 to ps_1_4 and ps_2_0 are)"},
        {"ps_1_1\nmov r0, t0\n", 2, "t0 is read before tex or texcoord loads it"},
        {"ps_1_1\nmov r0, r1\n", 2, "r1.xyzw is read before it is written"},
        {"ps_1_1\ndef c0, 1, 1, 1, 1\n", 2, "r0 must be written"},
        {"ps_1_1\nmov r0, c8\n", 2, "out of range (c0 to c7)"},
        {"ps_1_1\nmov r2, c0\n", 2, "out of range (r0 to r1)"},
        {"ps_1_1\nmov r0, c0\ntex t0\n", 3, "texture instructions must come before the arithmetic"},
        {"ps_1_1\ntexld r0, t0\n", 2, "texld needs ps_1_4"},
        {"ps_1_4\ntex t0\nmov r0, t0\n", 2, "tex belongs to ps_1_1..1_3"},
        {"ps_1_1\nmov_x8 r0, c0\n", 2, "modifier '_x8' is not available here in ps_1_1"},
        {"ps_1_1\nmov r0, c0_x2\n", 2, "source modifier '_x2' is not available here"},
        {"ps_1_1\nmov r0, 1-c0_bx2\n", 2, "1-x cannot be combined"},
        {"ps_1_1\nmov r0.rg, c0\n", 2, "writes .rgba, .rgb or .a"},
        {"ps_1_1\nmov r0, c0.xxyy\n", 2, "replicate"},
        {"ps_1_1\nmov r0.rgb, c0\n+mov r0.rgb, c1\n", 3, "co-issued instruction writes .a beside"},
        {"ps_1_1\n+mov r0, c1\n", 2, "co-issued instruction"},
        {"ps_1_1\nmov r1, c0\ncnd r0, r1.a, c0, c1\n", 3, "cnd tests r0.a"},
        {"ps_1_1\ndp4 r0, c0, c1\n", 2, "dp4 needs ps_1_2"},
        {"ps_1_1\nmov r0, c0\nphase\n", 3, "phase appears once, in ps_1_4 only"},
        {"ps_1_4\nmov r0, v0\nphase\nmov r0, c0\n", 2, "v0 and v1 can be read only after the phase"},
        {"ps_1_4\ntexld r0, r1\n", 2, "texld reads t# (or r# after the phase)"},
        {"ps_1_4\ntexld r0, t0_dz\nmov r0, r0\n", 2, "_dz applies to texld from r# only"},
        {"ps_1_4\ntexld r0, t0.xy\nmov r0, r0\n", 2, "texld and texcrd read .xyz or .xyw"},
        {"ps_1_4\ntexcrd r0.rgba, t0\nmov r0, r0\n", 2, "texcrd writes .rgb or .rg only"},
        {"ps_1_1\nmov r0, c0\nmov r0, c0\nmov r0, c0\nmov r0, c0\nmov r0, c0\nmov r0, c0\nmov r0, c0\n"
         "mov r0, c0\nmov r0, c0\n",
         10, "too many arithmetic instructions (more than 8)"},
        {"ps_1_1\ntex t0\ntex t1\ntex t2\ntex t3\ntexcoord t0\nmov r0, t0\n", 6, "too many texture instructions"},
        {"ps_1_1\nmov oC0, c0\n", 2, "'oC0' is not a ps_1_x register"},
        {"ps_3_0\n", 1, "unsupported pixel shader version"},
        {"ps_2_0\nmov oC0, t0\n", 2, "t0 is read but not declared"},
        {"ps_2_0\ndcl t0\ndcl_2d s0\ntexld oC0, t0, s0\n", 4, "texld writes a temporary register"},
        {"ps_2_0\ndcl t0\ndcl_2d s0\ntexld r0, c0, s0\nmov oC0, r0\n", 4, "coordinates from t# or r#"},
        {"ps_2_0\ndcl t0\ndcl_2d s0\ntexld r0, t0.xyxy, s0\nmov oC0, r0\n", 4, "without modifiers or swizzles"},
        {"ps_2_0\ndcl t0\ntexld r0, t0, s0\nmov oC0, r0\n", 3, "s0 is read but not declared"},
        {"ps_2_0\ndcl_2d s0\nmov oC0, s0\n", 3, "s0 is read only by texld"},
        {"ps_2_0\nmov oPos, c0\n", 2, "'oPos' is not a pixel shader register"},
        {"ps_2_0\ndcl t0\nmov t0, c0\nmov oC0, c0\n", 3, "t0 cannot be written"},
        {"ps_2_0\nslt r0, c0, c1\nmov oC0, r0\n", 2, "'slt' is not a pixel shader instruction"},
        {"vs_2_0\ndcl_position v0\ncmp r0, v0, v0, v0\nmov oPos, v0\n", 3, "'cmp' is not a vertex shader"},
        {"ps_2_0\nmov_x2 oC0, c0\n", 2, "modifier '_x2' is not allowed here"},
        {"ps_2_0\nmov r0, c32\nmov oC0, r0\n", 2, "out of range (c0 to c31)"},
        {"ps_2_0\nmov oC0, c[0]\n", 2, "relative addressing is not available in pixel shaders"},
        {"ps_2_0\ndef c0, 1, 1, 1, 1\n", 2, "oC0 must be written"},
        {"ps_2_0\ndcl_cube t0\nmov oC0, c0\n", 2, "dcl_cube declares a sampler"},
        {"ps_2_0\ndcl_2d t0\nmov oC0, c0\n", 2, "dcl_2d declares a sampler"},
        {"ps_2_0\ndcl_position v0\nmov oC0, v0\n", 2, "unknown pixel shader declaration"},
        {"ps_2_0\ndcl t0\ndcl t0\nmov oC0, t0\n", 3, "t0 is declared twice"},
        {"ps_2_0\nrcp r0, c0\nmov oC0, r0\n", 2, "single-component"},
        {"ps_2_0\ndp2add r0, c0, c1, c2\nmov oC0, r0\n", 2, "single-component"},
        {"ps_2_0\nsincos r0.xyz, c0.x, c1, c2\nmov oC0, r0\n", 2, "sincos writes .x, .y or .xy"},
        {"ps_2_0\ntexkill r0\nmov oC0, c0\n", 2, "r0.xyz is read before it is written"},
        {"ps_2_0\ntexkill c0\nmov oC0, c0\n", 2, "texkill reads r# or t#"},
        {"ps_2_0\nmov oC0, c0\ndcl v0\n", 3, "must come before the first instruction"},
        {"vs_3_0\n", 1, "unsupported vertex shader version"},
        {"vs_1_1\nvs_1_1\n", 2, "only be given once"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\ndcl_normal v1\n", 4, "must come before the first instruction"},
        {"vs_1_1\ndcl_position v0\ndcl_position v1\nmov oPos, v0\n", 3, "declared twice"},
        {"vs_1_1\ndcl_colour v0\nmov oPos, v0\n", 2, "unknown declaration usage 'colour'"},
        {"vs_1_1\ndcl_texcoord16 v0\nmov oPos, v0\n", 2, "usage index"},
        {"vs_1_1\ndcl_position c0\nmov oPos, c0\n", 2, "input registers"},
        {"vs_1_1\ndcl_position v0\nmov r0.yx, v0\nmov oPos, v0\n", 3, "x y z w order"},
        {"vs_1_1\ndcl_position v0\nmov oPos.xxyz, v0\n", 3, "x y z w order"},
        {"vs_1_1\ndcl_position v0\nrcp oPos, v0\n", 3, "single-component"},
        {"vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c254\n", 3, "past the last one"},
        {"vs_1_1\ndcl_position v0\nm4x4 oPos, v0, -c4\n", 3, "without swizzle or negation"},
        {"vs_1_1\ndcl_position v0\nmov r0, v0\nm4x3 r0, r0, c4\nmov oPos, v0\n", 4, "cannot write a register it reads"},
        {"vs_1_1\ndcl_position v0\nm4x3 oT0.xy, v0, c4\nmov oPos, v0\n", 3, "writes .xyz only"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0 ; fine\n/* never closed\n", 4, "unterminated comment"},
        {"vs_1_1\ndcl_position v0\nmov_sat oPos, v0\n", 3, "modifier '_sat'"},
        {"vs_1_1\ndcl_position v0\ndef c0, 1, 2, 3\nmov oPos, v0\n", 3, "expected ','"},
        {"vs_1_1\ndcl_position v0\ndef c0, 1e50, 0, 0, 0\nmov oPos, v0\n", 3, "not a representable number"},
        {"vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, c[a0.y]\n", 4, "a0.x only"},
        {"vs_1_1\ndcl_position v0\nmov oPos, c[a0.x]\n", 3, "a0.x is read before it is written"},
        {"vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, c[a0.x + 250 + 6]\n", 4, "out of range"},
        {"vs_1_1\ndcl_position v0\nmov a0.x, v0.x\nmov oPos, v0[a0.x]\n", 4, "only on constant registers"},
        {"vs_1_1\ndcl_position v0\nmov oPos, -v0 @\n", 3, "unexpected character '@'"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0, v0\n", 3, "unexpected ','"},
        {"vs_1_1\n#include \"common.vsh\"\n", 2, "#include is not supported"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\nmov r0, \x01\n", 4, "unexpected byte 0x01"},
    };
    for (const BadShader &bad : cases)
        ExpectRefused(bad);
}

// Flow control outside vs_2_0/vs_2_x, blocks out of order, labels and calls that do not
// match, aL outside a loop, and the constant definitions' operands.
TEST(ShaderAssemblerErrors, FlowControlIsRefusedWhereItDoesNotBelong)
{
    const BadShader cases[] = {
        // clang-format off
        {"vs_1_1\ndcl_position v0\nrep i0\nendrep\nmov oPos, v0\n", 3, "'rep' needs vs_2_0 or vs_2_x"},
        {"vs_1_1\ndefi i0, 1, 0, 1, 0\n", 2, "defi needs vs_2_0 or vs_2_x"},
        {"vs_1_1\ndcl_position v0\nmov oPos, c[aL]\n", 3, "aL needs vs_2_0 or vs_2_x"},
        {"vs_2_0\ndcl_position v0\nif_gt v0.x, c0.x\nendif\nmov oPos, v0\n", 3, "'if_gt' needs vs_2_x"},
        {"vs_2_0\ndcl_position v0\ndefi i0, 1, 0, 1, 0\nrep i0\nbreak\nendrep\n", 5, "'break' needs vs_2_x"},
        {"ps_2_0\ndefb b0, true\nmov oC0, c0\n", 2, "defb needs vs_2_0 or vs_2_x"},
        {"ps_2_0\nrep i0\nendrep\nmov oC0, c0\n", 2, "'rep' needs vs_2_0 or vs_2_x (pixel shaders"},
        {"ps_1_4\nif b0\nendif\nmov r0, c0\n", 2, "'if' needs vs_2_0 or vs_2_x (pixel shaders"},
        {"vs_2_x\ndcl_position v0\nif_xy v0.x, c0.x\n", 3, "unknown comparison '_xy'"},
        {"vs_2_0\ndcl_position v0\nrep i0\nmov oPos, v0\n", 3, "rep is never closed (no endrep)"},
        {"vs_2_0\ndcl_position v0\nrep i0\nendloop\nmov oPos, v0\n", 4,
         "endloop cannot close the rep opened at line 3"},
        {"vs_2_0\ndcl_position v0\nelse\nmov oPos, v0\n", 3, "else outside an if block"},
        {"vs_2_0\ndcl_position v0\nrep i0\nelse\nendrep\nmov oPos, v0\n", 4, "inside the rep opened at line 3"},
        {"vs_2_0\ndcl_position v0\nif b0\nelse\nelse\nendif\nmov oPos, v0\n", 5, "a second else for the if opened"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nendif\n", 4, "endif without an open block"},
        {"vs_2_x\ndcl_position v0\nif_lt v0.x, c0.x\nbreak\nendif\nmov oPos, v0\n", 4, "break outside a loop"},
        {"vs_2_0\ndcl_position v0\nrep i0\nrep i1\nendrep\nendrep\nmov oPos, v0\n", 4, "nest 1 deep at most in vs_2_0"},
        {"vs_2_x\ndcl_position v0\nrep i0\nrep i1\nrep i2\nrep i3\nrep i4\nendrep\n", 7, "nest 4 deep at most"},
        {"vs_2_0\ndcl_position v0\nrep i0\nmov oPos, c[aL]\nendrep\n", 4, "aL is used outside a loop"},
        {"vs_2_0\ndcl_position v0\nloop aL, i0\nmov oPos, c[aL + a0.x]\nendloop\n", 4, "one register (a0 or aL)"},
        {"vs_2_0\ndcl_position v0\ncall l5\nmov oPos, v0\n", 3, "l5 is called but no label defines it"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nlabel l1\nret\n", 4, "it must follow the ret"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nret\nmov r0, v0\n", 5, "only a label (a subroutine) may follow"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nif b0\nret\nendif\n", 5, "ret inside the if opened at line 4"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nret\nlabel l1\nret\nlabel l1\nret\n", 7,
         "l1 is already defined at line 5"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nret\nlabel l1\nmov r0, v0\n", 6, "does not end with ret"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\nret\nlabel l1\ncall l2\nret\nlabel l2\nret\n", 6,
         "calls nest 2 deep here (vs_2_0 allows 1)"},
        {"vs_2_x\ndcl_position v0\nmov oPos, v0\ncall l0\nret\nlabel l0\ncall l1\nret\nlabel l1\ncall l2\nret\n"
         "label l2\ncall l3\nret\nlabel l3\ncall l4\nret\nlabel l4\nret\n", 4,
         "calls nest 5 deep here (vs_2_x allows 4)"},
        {"vs_2_x\ndcl_position v0\nmov oPos, v0\ncall l1\nret\nlabel l1\ncall l1\nret\n", 7,
         "l1 is called while it runs (recursion)"},
        {"vs_2_x\ndcl_position v0\nmov oPos, v0\nret\nlabel l1\ncall l2\nret\nlabel l2\ncallnz l1, b0\nret\n", 9,
         "is called while it runs (recursion)"},
        {"vs_2_x\ndcl_position v0\nif_gt v0, c0.x\nendif\nmov oPos, v0\n", 3, "single-component sources"},
        {"vs_2_0\ndefi i0, 1.5, 0, 0, 0\n", 2, "expected a whole number but found '1.5'"},
        {"vs_2_0\ndefi i0, 1, 2, 3, 4294967296\n", 2, "out of range for an integer constant"},
        {"vs_2_0\ndefb b0, 1\n", 2, "expected true or false but found '1'"},
        {"vs_2_0\ndefi c0, 1, 2, 3, 4\n", 2, "defi sets integer constants (i#) only"},
        {"vs_2_0\ndefb b0.x, true\n", 2, "defb takes no write mask"},
        {"vs_2_0\ndcl_position v0\nmov oPos, v0\ndefb b0, true\n", 4, "must come before the first instruction"},
        {"vs_2_0\ndcl_position v0\nrep b0\nendrep\nmov oPos, v0\n", 3, "rep takes i# here, not b0"},
        {"vs_2_0\ndcl_position v0\nloop i0, i0\nendloop\nmov oPos, v0\n", 3, "loop takes aL here, not i0"},
        {"vs_2_0\ndcl_position v0\nif b0.x\nendif\nmov oPos, v0\n", 3, "without a swizzle or index"},
        {"vs_2_0\ndcl_position v0\nmov r0, i0\nmov oPos, v0\n", 3, "i0 cannot be read"},
        {"vs_2_0\ndcl_position v0\nmov b0, v0\nmov oPos, v0\n", 3, "b0 cannot be written"},
        {"vs_2_0\ndcl_position v0\nrep i16\nendrep\nmov oPos, v0\n", 3, "out of range (i0 to i15)"},
        // clang-format on
    };
    for (const BadShader &bad : cases)
        ExpectRefused(bad);
    // The deepest nesting allowed assembles: vs_2_x's four call levels and loop levels.
    Assembled deepest = Assemble("vs_2_x\ndcl_position v0\nmov oPos, v0\nrep i0\nrep i1\nrep i2\nloop aL, i3\n"
                                 "call l0\nendloop\nendrep\nendrep\nendrep\nret\nlabel l0\ncall l1\nret\n"
                                 "label l1\ncall l2\nret\nlabel l2\ncall l3\nret\nlabel l3\nret\n");
    EXPECT_EQ(deepest.hr, D3D_OK) << deepest.errors;
}

TEST(ShaderAssemblerErrors, AVersionLineWithMoreOnItNamesTheFirstExtraTokenAlone)
{
    struct Case {
        const char *source;
        const char *line;  // the diagnostic, exactly
    } cases[] = {
        {"vs_1_1 garbage r99\ndcl_position v0\nmov oPos, v0\n",
         "d3dx9: memory:1:8: unexpected 'garbage' after the shader version\n"},
        {"  vs.1.1 ,\ndcl_position v0\nmov oPos, v0\n",
         "d3dx9: memory:1:10: unexpected ',' after the shader version\n"},
        {"vs_1_1garbage\n", "d3dx9: memory:1:1: unsupported vertex shader version 'vs_1_1garbage' "
                            "(vs_1_0, vs_1_1, vs_2_0 and vs_2_x are)\n"},
        {"vs_2_0 r0\ndcl_position v0\nmov oPos, v0\nfrob r1\n",
         "d3dx9: memory:1:8: unexpected 'r0' after the shader version (and 1 more error)\n"},
        {"\n\nps_1_1 x\n", "d3dx9: memory:3:8: unexpected 'x' after the shader version (and 1 more error)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        Assembled a;
        EXPECT_EQ(StderrOf([&] { a = Assemble(c.source); }), c.line);
        EXPECT_EQ(a.hr, D3DXERR_INVALIDDATA);
    }
}

TEST(ShaderAssemblerErrors, EveryBadLineIsListedAndOnlyTheFirstIsDiagnosed)
{
    Assembled a;
    const std::string stderrText =
        StderrOf([&] { a = Assemble("vs_1_1\ndcl_position v0\nmov oPos, v0\nmul r0, v0,\nfrob r1\nmov oD0, v9\n"); });
    EXPECT_EQ(a.hr, D3DXERR_INVALIDDATA);
    EXPECT_EQ(CountLines(a.errors), 3) << a.errors;
    EXPECT_NE(a.errors.find("memory(4,"), std::string::npos);
    EXPECT_NE(a.errors.find("memory(5,"), std::string::npos);
    EXPECT_NE(a.errors.find("memory(6,"), std::string::npos);
    EXPECT_EQ(CountLines(stderrText), 1) << stderrText;
    EXPECT_NE(stderrText.find("2 more errors"), std::string::npos) << stderrText;
}

TEST(ShaderAssemblerErrors, SkipValidationKeepsOnlyTheGrammar)
{
    // Device rules: two constants, an undeclared input, an unwritten temporary, no oPos.
    const char *deviceRules = "vs_1_1\nadd r0, c0, c1\nmul oD0, v3, r5\n";
    EXPECT_EQ(Assemble(deviceRules).hr, D3DXERR_INVALIDDATA);
    Assembled skipped = Assemble(deviceRules, D3DXSHADER_SKIPVALIDATION);
    ASSERT_EQ(skipped.hr, D3D_OK) << skipped.errors;
    // add r0, c0, c1; mul oD0, v3, r5.
    EXPECT_EQ(Body(skipped),
              (std::vector<DWORD>{0x02, 0x800F0000, 0xA0E40000, 0xA0E40001, 0x05, 0xD00F0000, 0x90E40003, 0x80E40005}));
    // Grammar errors still fail, and so do blocks out of order; the nesting limits are device rules.
    StderrOf([] {
        EXPECT_EQ(Assemble("vs_1_1\nadd r0, c0\n", D3DXSHADER_SKIPVALIDATION).hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(Assemble("vs_2_0\nrep i0\n", D3DXSHADER_SKIPVALIDATION).hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(Assemble("vs_2_0\nif b0\nendrep\n", D3DXSHADER_SKIPVALIDATION).hr, D3DXERR_INVALIDDATA);
    });
    EXPECT_EQ(Assemble("vs_2_0\nrep i0\nloop aL, i1\nendloop\nendrep\n", D3DXSHADER_SKIPVALIDATION).hr, D3D_OK);
}

TEST(ShaderAssemblerErrors, BadArgumentsAreRefused)
{
    LPD3DXBUFFER shader = reinterpret_cast<LPD3DXBUFFER>(1), errors = reinterpret_cast<LPD3DXBUFFER>(1);
    const std::string said = StderrOf([&] {
        EXPECT_EQ(D3DXAssembleShader(nullptr, 10, nullptr, nullptr, 0, &shader, &errors), D3DERR_INVALIDCALL);
        EXPECT_EQ(shader, nullptr);
        EXPECT_EQ(errors, nullptr);
        EXPECT_EQ(D3DXAssembleShaderFromFileA(nullptr, nullptr, nullptr, 0, &shader, nullptr), D3DERR_INVALIDCALL);
        const D3DXMACRO badName[] = {{"1x", "c0"}, {nullptr, nullptr}};
        EXPECT_EQ(D3DXAssembleShader(kBillboard, sizeof kBillboard - 1, badName, nullptr, 0, &shader, &errors),
                  D3DXERR_INVALIDDATA);
    });
    EXPECT_EQ(CountLines(said), 3) << said;
    EXPECT_EQ(shader, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_NE(std::string(static_cast<const char *>(errors->GetBufferPointer())).find("'1x'"), std::string::npos);
    errors->Release();

    // The length is honoured: the text after it is not read.
    std::string twice = std::string(kBillboard) + "garbage that is never seen";
    HRESULT hr = D3DXAssembleShader(twice.data(), sizeof kBillboard - 1, nullptr, nullptr, 0, &shader, &errors);
    Assembled cut = Collect(hr, shader, errors);
    EXPECT_EQ(cut.hr, D3D_OK) << cut.errors;
    // Success without an error buffer to fill, and with no shader buffer wanted.
    EXPECT_EQ(D3DXAssembleShader(kBillboard, sizeof kBillboard - 1, nullptr, nullptr, 0, nullptr, nullptr), D3D_OK);
}

// ---- Files ----

class ShaderAssemblerFiles : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ + "/Shaders");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    void Write(const std::string &name, const std::string &text)
    {
        std::ofstream(root_ + "/Shaders/" + name, std::ios::binary) << text;
    }
    // Assembles a file by its Windows name; *said gets what was written on stderr.
    Assembled FromFile(const char *name, std::string *said)
    {
        LPD3DXBUFFER shader = nullptr, errors = nullptr;
        HRESULT hr = E_FAIL;
        *said = StderrOf([&] { hr = D3DXAssembleShaderFromFileA(name, nullptr, nullptr, 0, &shader, &errors); });
        return Collect(hr, shader, errors);
    }
    const std::string root_ = "shader_assembler_files";
};

TEST_F(ShaderAssemblerFiles, WindowsPathsAreResolvedAndErrorsNameTheFile)
{
    std::string said;
    Write("Particle.vsh", kBillboard);
    Assembled fromFile = FromFile("shader_assembler_files\\shaders\\PARTICLE.vsh", &said);
    ASSERT_EQ(fromFile.hr, D3D_OK) << fromFile.errors;
    EXPECT_EQ(fromFile.code, Assemble(kBillboard).code);

    const char *bad = "shader_assembler_files\\Shaders\\Bad.vsh";
    Write("Bad.vsh", "vs_1_1\ndcl_position v0\n\nmov oPos, v7\n");
    Assembled first = FromFile(bad, &said);
    EXPECT_EQ(first.hr, D3DXERR_INVALIDDATA);
    EXPECT_FALSE(first.hasShader);
    EXPECT_EQ(first.errors.rfind("shader_assembler_files\\Shaders\\Bad.vsh(4,11): error: v7", 0), 0u) << first.errors;
    EXPECT_EQ(said, "d3dx9: shader_assembler_files\\Shaders\\Bad.vsh:4:11: v7 is read but not declared "
                    "(and 1 more error)\n");
    // The same file assembled again fails the same way without a second line.
    Assembled again = FromFile(bad, &said);
    EXPECT_EQ(said, "");
    EXPECT_EQ(again.hr, D3DXERR_INVALIDDATA);
    EXPECT_EQ(again.errors, first.errors);
    // Changed, it is reported anew.
    Write("Bad.vsh", "vs_1_1\ndcl_position v0\nmov oPos, v8\n");
    FromFile(bad, &said);
    EXPECT_EQ(said, "d3dx9: shader_assembler_files\\Shaders\\Bad.vsh:3:11: v8 is read but not declared "
                    "(and 1 more error)\n");

    std::string twice;
    Assembled missing = FromFile("shader_assembler_files\\Missing.vsh", &said);
    EXPECT_EQ(FromFile("shader_assembler_files\\Missing.vsh", &twice).hr, E_FAIL);
    EXPECT_EQ(missing.hr, E_FAIL);
    EXPECT_FALSE(missing.hasShader);
    EXPECT_EQ(said + twice, "d3dx9: shader_assembler_files\\Missing.vsh: cannot open the shader file\n");
}

// ---- Robustness ----

TEST(ShaderAssemblerRobustness, DamagedSourceFailsCleanlyOrGivesWellFormedCode)
{
    std::string good = std::string(kBillboard) + "mov a0.x, v1.y\nmov oT1, c[a0.x + 2]\n";
    good.insert(good.find('\n') + 1, "def c9, 1.5, -2, 3e2, .5\n");
    const char replacements[] = {'\0', '\n', ' ', ',', '.', '-', '[', ']', '+', '#', '9', 'x', 'c', ';', '/', '*', '!'};
    int failures = 0, successes = 0;
    auto check = [&](const std::string &text) {
        Assembled a = Assemble(text);
        if (a.hr == D3D_OK) {
            ++successes;
            EXPECT_EQ(Decode(a.code).problem, "") << text;
        } else {
            ++failures;
            EXPECT_EQ(a.hr, D3DXERR_INVALIDDATA) << text;
            EXPECT_FALSE(a.hasShader);
            EXPECT_FALSE(a.errors.empty());
        }
    };
    StderrOf([&] {
        for (const std::string &source : {good, std::string(kVs20Flow), std::string(kVs2xFlow)}) {
            for (size_t n = 0; n <= source.size(); ++n)
                check(source.substr(0, n));
            for (size_t i = 0; i < source.size(); ++i)
                for (char c : replacements) {
                    std::string damaged = source;
                    damaged[i] = c;
                    check(damaged);
                }
        }
    });
    EXPECT_GT(failures, 0);
    EXPECT_GT(successes, 0);
}

}  // namespace
