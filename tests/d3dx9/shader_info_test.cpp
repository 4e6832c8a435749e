// Shader inspection tests: constant tables built by hand in the documented CTAB layout and
// embedded in assembled shaders, the values they set in a NULLREF device's constant
// registers, every table offset corrupted in turn, version/size/comment/semantics/sampler
// queries, and the disassembly (which the assembler's tests read back for every shader
// they assemble, and every instruction form).
#include <d3d9.h>
#include <d3dx9.h>
#include <d3dx9shader.h>

#include "d3dx9/ctab_builder.h"
#include "support/null_device.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using ctabtest::Assemble;
using ctabtest::CtabBuilder;
using ctabtest::WithComment;
using testsupport::CountLines;
using testsupport::StderrOf;

std::string Disassemble(const DWORD *code, HRESULT *result = nullptr, const char *comments = nullptr)
{
    LPD3DXBUFFER text = nullptr;
    HRESULT hr = D3DXDisassembleShader(code, FALSE, comments, &text);
    if (result)
        *result = hr;
    std::string out;
    if (text) {
        out = static_cast<const char *>(text->GetBufferPointer());
        text->Release();
    }
    return out;
}

const char kVertexShader[] = "vs_2_0\n"
                             "dcl_position v0\n"
                             "dcl_normal v1\n"
                             "dcl_texcoord1 v2\n"
                             "m4x4 oPos, v0, c0\n"
                             "mov oD0, c4\n"
                             "mov oT1, v2\n";

// Flow control in vs_2_x: a loop over i0 reading c[aL + 4], a branch on b0, a comparison.
const char kFlowShader[] = "vs_2_x\ndcl_position v0\nmov r0, v0\nloop aL, i0\nadd r0, r0, c[aL + 4]\nendloop\n"
                           "if b0\nrep i0\nbreak_gt r0.x, c6.x\nendrep\nendif\nmov oPos, r0\n";

// The table of the tests: WorldViewProj (float4x4, c0..c3), lights (float3[2], c4..c5,
// with a default), material (struct { float4 diffuse; float power; }, c6..c7), bones
// (row-major float4x3[2], c8..c13), enable (bool, b0), count (int, i0), scale (float in a
// bool register? no: int in float register c14), diffuseMap (sampler, s0).
struct Layout {
    CtabBuilder ctab{D3DVS_VERSION(2, 0)};
    DWORD wvpInfo = 0, lightsInfo = 0, materialInfo = 0, lightsType = 0, materialType = 0, memberInfo = 0,
          lightsDefault = 0;

    Layout(DWORD version = D3DVS_VERSION(2, 0)) : ctab(version)
    {
        const DWORD mat4 = ctab.Type(D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4);
        lightsType = ctab.Type(D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 2);
        const DWORD float4 = ctab.Type(D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4);
        const DWORD float1 = ctab.Type(D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1);
        memberInfo = ctab.Members({{"diffuse", float4}, {"power", float1}});
        materialType = ctab.Type(D3DXPC_STRUCT, D3DXPT_VOID, 1, 5, 1, 2, memberInfo);
        const DWORD bones = ctab.Type(D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 3, 2);
        const DWORD boolean = ctab.Type(D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1);
        const DWORD integer = ctab.Type(D3DXPC_SCALAR, D3DXPT_INT, 1, 1);
        const DWORD int4 = ctab.Type(D3DXPC_VECTOR, D3DXPT_INT, 1, 4);
        const DWORD sampler = ctab.Type(D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1);
        lightsDefault = ctab.Floats({1, 2, 3, 4, 5, 6});
        wvpInfo = ctab.Constant("WorldViewProj", D3DXRS_FLOAT4, 0, 4, mat4);
        lightsInfo = ctab.Constant("lights", D3DXRS_FLOAT4, 4, 2, lightsType, lightsDefault);
        materialInfo = ctab.Constant("material", D3DXRS_FLOAT4, 6, 2, materialType);
        ctab.Constant("bones", D3DXRS_FLOAT4, 8, 8, bones);
        ctab.Constant("enable", D3DXRS_BOOL, 0, 1, boolean);
        ctab.Constant("count", D3DXRS_FLOAT4, 16, 1, integer);
        ctab.Constant("loops", D3DXRS_INT4, 0, 1, int4);
        ctab.Constant("diffuseMap", D3DXRS_SAMPLER, 0, 1, sampler);
    }

    std::vector<DWORD> Shader() const { return WithComment(Assemble(kVertexShader), ctab.Comment()); }
};

class ConstantTableTest : public testsupport::NullDeviceTest {
protected:
    void TearDown() override
    {
        for (LPD3DXCONSTANTTABLE t : tables_)
            EXPECT_EQ(t->Release(), 0u);
        NullDeviceTest::TearDown();
    }
    // The constant table of `code` (by default the shader of the tests' table), released
    // after the test.
    LPD3DXCONSTANTTABLE Table(const std::vector<DWORD> &code = Layout().Shader())
    {
        LPD3DXCONSTANTTABLE t = nullptr;
        EXPECT_EQ(D3DXGetShaderConstantTable(code.data(), &t), D3D_OK);
        if (t)
            tables_.push_back(t);
        return t;
    }
    std::vector<float> VertexF(UINT start, UINT count)
    {
        std::vector<float> v(count * 4);
        EXPECT_EQ(device_->GetVertexShaderConstantF(start, v.data(), count), D3D_OK);
        return v;
    }
    void ClearVertexF(UINT count)
    {
        std::vector<float> zero(count * 4, -7.0f);
        device_->SetVertexShaderConstantF(0, zero.data(), count);
    }
    std::vector<LPD3DXCONSTANTTABLE> tables_;
};

TEST_F(ConstantTableTest, DescribesTheTableAndEveryConstant)
{
    Layout layout;
    LPD3DXCONSTANTTABLE table = Table();
    ASSERT_NE(table, nullptr);

    D3DXCONSTANTTABLE_DESC desc;
    ASSERT_EQ(table->GetDesc(&desc), D3D_OK);
    EXPECT_STREQ(desc.Creator, "tavrok test builder");
    EXPECT_EQ(desc.Version, D3DVS_VERSION(2, 0));
    EXPECT_EQ(desc.Constants, 8u);
    EXPECT_EQ(table->GetBufferSize(), (layout.ctab.Size() + 3) & ~3u);
    EXPECT_EQ(memcmp(table->GetBufferPointer(), &layout.ctab.Comment()[2], 28), 0);

    struct Expected {
        const char *name;
        D3DXREGISTER_SET set;
        UINT index, count;
        D3DXPARAMETER_CLASS cls;
        D3DXPARAMETER_TYPE type;
        UINT rows, columns, elements, members, bytes;
    } expected[] = {
        {"WorldViewProj", D3DXRS_FLOAT4, 0, 4, D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 1, 0, 64},
        {"lights", D3DXRS_FLOAT4, 4, 2, D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 2, 0, 24},
        {"material", D3DXRS_FLOAT4, 6, 2, D3DXPC_STRUCT, D3DXPT_VOID, 1, 5, 1, 2, 20},
        {"bones", D3DXRS_FLOAT4, 8, 8, D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 3, 2, 0, 96},
        {"enable", D3DXRS_BOOL, 0, 1, D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 1, 0, 4},
        {"count", D3DXRS_FLOAT4, 16, 1, D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 1, 0, 4},
        {"loops", D3DXRS_INT4, 0, 1, D3DXPC_VECTOR, D3DXPT_INT, 1, 4, 1, 0, 16},
        {"diffuseMap", D3DXRS_SAMPLER, 0, 1, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, 1, 0, 4},
    };
    for (UINT i = 0; i < 8; ++i) {
        SCOPED_TRACE(expected[i].name);
        D3DXHANDLE h = table->GetConstant(nullptr, i);
        ASSERT_NE(h, nullptr);
        D3DXCONSTANT_DESC d;
        UINT count = 5;
        ASSERT_EQ(table->GetConstantDesc(h, &d, &count), D3D_OK);
        EXPECT_EQ(count, 1u);
        EXPECT_STREQ(d.Name, expected[i].name);
        const Expected &e = expected[i];
        EXPECT_EQ(std::vector<UINT>({UINT(d.RegisterSet), d.RegisterIndex, d.RegisterCount, UINT(d.Class), UINT(d.Type),
                                     d.Rows, d.Columns, d.Elements, d.StructMembers, d.Bytes}),
                  std::vector<UINT>({UINT(e.set), e.index, e.count, UINT(e.cls), UINT(e.type), e.rows, e.columns,
                                     e.elements, e.members, e.bytes}));
        EXPECT_EQ(table->GetConstantByName(nullptr, expected[i].name), h);
        // A name works wherever a handle does.
        D3DXCONSTANT_DESC byName;
        ASSERT_EQ(table->GetConstantDesc(expected[i].name, &byName, nullptr), D3D_OK);
        EXPECT_EQ(byName.RegisterIndex, d.RegisterIndex);
    }
    EXPECT_EQ(table->GetConstant(nullptr, 8), nullptr);
    // *pCount is the room in the caller's array on the way in, the descriptions written
    // on the way out.
    D3DXCONSTANT_DESC spare[2] = {};
    UINT room = 0;
    ASSERT_EQ(table->GetConstantDesc("lights", spare, &room), D3D_OK);
    EXPECT_EQ(room, 0u);
    EXPECT_EQ(spare[0].Name, nullptr);
    room = 2;
    ASSERT_EQ(table->GetConstantDesc("lights", spare, &room), D3D_OK);
    EXPECT_EQ(room, 1u);
    EXPECT_STREQ(spare[0].Name, "lights");
    EXPECT_EQ(spare[1].Name, nullptr);
    EXPECT_EQ(table->GetSamplerIndex("diffuseMap"), 0u);
    EXPECT_EQ(table->GetSamplerIndex("lights"), UINT(-1));

    // Default values point at the table's own copy; lights has one.
    D3DXCONSTANT_DESC lights;
    table->GetConstantDesc("lights", &lights, nullptr);
    ASSERT_NE(lights.DefaultValue, nullptr);
    EXPECT_EQ(static_cast<const float *>(lights.DefaultValue)[5], 6.0f);
    D3DXCONSTANT_DESC wvp;
    table->GetConstantDesc("WorldViewProj", &wvp, nullptr);
    EXPECT_EQ(wvp.DefaultValue, nullptr);
    // SetDefaults writes them, and leaves the constants without one alone.
    ClearVertexF(20);
    ASSERT_EQ(table->SetDefaults(device_), D3D_OK);
    EXPECT_EQ(VertexF(4, 2), (std::vector<float>{1, 2, 3, -7, 4, 5, 6, -7}));
    EXPECT_EQ(VertexF(0, 1), (std::vector<float>{-7, -7, -7, -7}));
}

TEST_F(ConstantTableTest, FindsMembersAndElementsByNameAndIndex)
{
    LPD3DXCONSTANTTABLE table = Table();
    ASSERT_NE(table, nullptr);

    D3DXHANDLE material = table->GetConstantByName(nullptr, "material");
    D3DXHANDLE power = table->GetConstantByName(nullptr, "material.power");
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(table->GetConstant(material, 1), power);
    EXPECT_EQ(table->GetConstantByName(material, "power"), power);
    EXPECT_EQ(table->GetConstant(material, 2), nullptr);
    D3DXCONSTANT_DESC d;
    table->GetConstantDesc(power, &d, nullptr);
    EXPECT_STREQ(d.Name, "power");
    EXPECT_EQ(d.RegisterIndex, 7u);  // after diffuse's register
    EXPECT_EQ(d.RegisterCount, 1u);
    EXPECT_EQ(d.Class, D3DXPC_SCALAR);

    D3DXHANDLE lights = table->GetConstantByName(nullptr, "lights");
    D3DXHANDLE second = table->GetConstantByName(nullptr, "lights[1]");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(table->GetConstantElement(lights, 1), second);
    EXPECT_EQ(table->GetConstantElement(lights, 2), nullptr);
    table->GetConstantDesc(second, &d, nullptr);
    EXPECT_STREQ(d.Name, "lights");
    EXPECT_EQ(d.RegisterIndex, 5u);
    EXPECT_EQ(d.Elements, 1u);
    EXPECT_EQ(d.Bytes, 12u);

    D3DXHANDLE bone1 = table->GetConstantByName(nullptr, "bones[1]");
    ASSERT_NE(bone1, nullptr);
    table->GetConstantDesc(bone1, &d, nullptr);
    EXPECT_EQ(d.RegisterIndex, 12u);  // four rows per row-major float4x3
    EXPECT_EQ(d.RegisterCount, 4u);

    for (const char *bad : {"lights[2]", "lights[", "lights[x]", "material.nope", "nope", "material.", "lights.x", "",
                            "WorldViewProj[0]"})
        EXPECT_EQ(table->GetConstantByName(nullptr, bad), nullptr) << bad;
    EXPECT_EQ(table->GetConstantByName(nullptr, nullptr), nullptr);
}

TEST_F(ConstantTableTest, PacksMatricesVectorsAndArraysIntoRegisters)
{
    LPD3DXCONSTANTTABLE table = Table();
    ASSERT_NE(table, nullptr);
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = float(10 * (r + 1) + c + 1);  // m.m[r][c] = "r c" in digits

    // Column-major: register c holds column c.
    ClearVertexF(20);
    ASSERT_EQ(table->SetMatrix(device_, "WorldViewProj", &m), D3D_OK);
    std::vector<float> c = VertexF(0, 4);
    for (int reg = 0; reg < 4; ++reg)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(c[reg * 4 + k], m.m[k][reg]) << "c" << reg << "[" << k << "]";
    EXPECT_EQ(VertexF(4, 1)[0], -7.0f);  // nothing past the constant
    // The transpose puts the rows there.
    ASSERT_EQ(table->SetMatrixTranspose(device_, "WorldViewProj", &m), D3D_OK);
    c = VertexF(0, 4);
    for (int reg = 0; reg < 4; ++reg)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(c[reg * 4 + k], m.m[reg][k]);

    // Row-major float4x3[2]: four registers of three columns per matrix; w kept.
    D3DXMATRIX second = m;
    second.m[2][1] = 99.0f;
    const D3DXMATRIX pair[2] = {m, second};
    ASSERT_EQ(table->SetMatrixArray(device_, "bones", pair, 2), D3D_OK);
    c = VertexF(8, 8);
    EXPECT_EQ(c[0], 11.0f);
    EXPECT_EQ(c[2], 13.0f);
    EXPECT_EQ(c[3], -7.0f);
    EXPECT_EQ(c[3 * 4 + 2], 43.0f);
    EXPECT_EQ(c[(4 + 2) * 4 + 1], 99.0f);
    const D3DXMATRIX *pointers[2] = {&second, &m};
    ASSERT_EQ(table->SetMatrixPointerArray(device_, "bones", pointers, 2), D3D_OK);
    c = VertexF(8, 8);
    EXPECT_EQ(c[2 * 4 + 1], 99.0f);
    EXPECT_EQ(c[(4 + 2) * 4 + 1], 32.0f);
    ASSERT_EQ(table->SetMatrixTransposePointerArray(device_, "bones[1]", pointers, 1), D3D_OK);
    c = VertexF(12, 1);
    EXPECT_EQ(c[1], 21.0f);  // first register of the transpose: column 0 of `second`
    EXPECT_EQ(c[2], 31.0f);

    // float3 lights[2]: three floats per register, the fourth left alone.
    const float six[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(table->SetFloatArray(device_, "lights", six, 6), D3D_OK);
    c = VertexF(4, 3);
    EXPECT_EQ(c, (std::vector<float>{1, 2, 3, -7, 4, 5, 6, -7, -7, -7, -7, -7}));
    // Fewer values write fewer components; a vector array writes each element's columns.
    const float two[2] = {8, 9};
    ASSERT_EQ(table->SetFloatArray(device_, "lights[1]", two, 2), D3D_OK);
    c = VertexF(5, 1);
    EXPECT_EQ(c, (std::vector<float>{8, 9, 6, -7}));
    const D3DXVECTOR4 vectors[2] = {D3DXVECTOR4(1, 1, 1, 1), D3DXVECTOR4(2, 2, 2, 2)};
    ASSERT_EQ(table->SetVectorArray(device_, "lights", vectors, 2), D3D_OK);
    c = VertexF(4, 2);
    EXPECT_EQ(c, (std::vector<float>{1, 1, 1, -7, 2, 2, 2, -7}));

    // Struct members in order through SetValue, and a member on its own.
    const float material[5] = {0.5f, 0.25f, 0.125f, 1.0f, 16.0f};
    ASSERT_EQ(table->SetValue(device_, "material", material, sizeof material), D3D_OK);
    c = VertexF(6, 2);
    EXPECT_EQ(c, (std::vector<float>{0.5f, 0.25f, 0.125f, 1.0f, 16.0f, -7, -7, -7}));
    ASSERT_EQ(table->SetFloat(device_, "material.power", 32.0f), D3D_OK);
    EXPECT_EQ(VertexF(7, 1)[0], 32.0f);
    D3DXVECTOR4 diffuse(4, 3, 2, 1);
    ASSERT_EQ(table->SetVector(device_, table->GetConstantByName(nullptr, "material.diffuse"), &diffuse), D3D_OK);
    EXPECT_EQ(VertexF(6, 1), (std::vector<float>{4, 3, 2, 1}));
}

TEST_F(ConstantTableTest, ConvertsValuesToTheConstantsTypeAndRegisterSet)
{
    LPD3DXCONSTANTTABLE table = Table();
    ASSERT_NE(table, nullptr);
    BOOL b = FALSE;
    ASSERT_EQ(table->SetFloat(device_, "enable", 0.5f), D3D_OK);
    device_->GetVertexShaderConstantB(0, &b, 1);
    EXPECT_EQ(b, TRUE);
    ASSERT_EQ(table->SetInt(device_, "enable", 0), D3D_OK);
    device_->GetVertexShaderConstantB(0, &b, 1);
    EXPECT_EQ(b, FALSE);
    // An int kept in a float register: whole numbers.
    ASSERT_EQ(table->SetFloat(device_, "count", 2.75f), D3D_OK);
    EXPECT_EQ(VertexF(16, 1)[0], 2.0f);
    ASSERT_EQ(table->SetBool(device_, "count", TRUE), D3D_OK);
    EXPECT_EQ(VertexF(16, 1)[0], 1.0f);
    const int ints[4] = {3, -4, 5, 6};
    ASSERT_EQ(table->SetIntArray(device_, "loops", ints, 4), D3D_OK);
    int got[4] = {};
    device_->GetVertexShaderConstantI(0, got, 1);
    EXPECT_EQ(std::vector<int>(got, got + 4), (std::vector<int>{3, -4, 5, 6}));
    const float floats[4] = {1.9f, -2.9f, 0, 7};
    ASSERT_EQ(table->SetFloatArray(device_, "loops", floats, 4), D3D_OK);
    device_->GetVertexShaderConstantI(0, got, 1);
    EXPECT_EQ(std::vector<int>(got, got + 4), (std::vector<int>{1, -2, 0, 7}));
    // SetFloat on a float and SetBool on a float vector.
    ASSERT_EQ(table->SetBoolArray(device_, "lights", std::vector<BOOL>{TRUE, FALSE, 5}.data(), 3), D3D_OK);
    std::vector<float> flags = VertexF(4, 1);
    EXPECT_EQ(std::vector<float>(flags.begin(), flags.begin() + 3), (std::vector<float>{1, 0, 1}));

    // Refusals: samplers, structs through the shaped setters, bad handles, no device.
    std::string err = StderrOf([&] {
        D3DXVECTOR4 v(1, 2, 3, 4);
        EXPECT_EQ(table->SetFloat(device_, "diffuseMap", 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(table->SetVector(device_, "material", &v), D3DERR_INVALIDCALL);
        EXPECT_EQ(table->SetFloat(device_, "nothing", 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(table->SetFloat(nullptr, "count", 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(table->SetFloatArray(device_, "count", nullptr, 1), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 5) << err;
    D3DXCONSTANT_DESC d;
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(table->GetConstantDesc(nullptr, &d, nullptr), D3DERR_INVALIDCALL); }).empty(),
              false);
}

// A compiler gives a constant only the registers the shader reads: a float4x4 used by
// m4x3 has three, an array read up to element 0 has one.  Nothing is written past them.
TEST_F(ConstantTableTest, WritesNoRegisterPastTheConstantsCount)
{
    CtabBuilder ctab(D3DVS_VERSION(2, 0));
    ctab.Constant("World", D3DXRS_FLOAT4, 0, 3, ctab.Type(D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4));
    ctab.Constant("colours", D3DXRS_FLOAT4, 3, 1, ctab.Type(D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 3));
    ctab.Constant("flags", D3DXRS_BOOL, 2, 2, ctab.Type(D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 4));
    LPD3DXCONSTANTTABLE table = Table(WithComment(Assemble(kVertexShader), ctab.Comment()));
    ASSERT_NE(table, nullptr);
    ClearVertexF(8);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    ASSERT_EQ(table->SetMatrix(device_, "World", &m), D3D_OK);
    EXPECT_EQ(VertexF(0, 1), (std::vector<float>{1, 0, 0, 0}));
    EXPECT_EQ(VertexF(2, 1), (std::vector<float>{0, 0, 1, 0}));
    const D3DXVECTOR4 three[3] = {D3DXVECTOR4(1, 2, 3, 4), D3DXVECTOR4(5, 6, 7, 8), D3DXVECTOR4(9, 9, 9, 9)};
    ASSERT_EQ(table->SetVectorArray(device_, "colours", three, 3), D3D_OK);
    EXPECT_EQ(VertexF(3, 1), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(VertexF(4, 1), (std::vector<float>{-7, -7, -7, -7}));
    D3DXCONSTANT_DESC d;
    ASSERT_EQ(table->GetConstantDesc("colours[2]", &d, nullptr), D3D_OK);
    EXPECT_EQ(d.RegisterCount, 0u);
    const BOOL four[4] = {TRUE, TRUE, TRUE, TRUE};
    const BOOL none[8] = {};
    device_->SetVertexShaderConstantB(0, none, 8);
    ASSERT_EQ(table->SetBoolArray(device_, "flags", four, 4), D3D_OK);
    BOOL got[8];
    device_->GetVertexShaderConstantB(0, got, 8);
    EXPECT_EQ(std::vector<BOOL>(got, got + 8), (std::vector<BOOL>{0, 0, 1, 1, 0, 0, 0, 0}));
}

// A vs_2_x stream with flow control carries its table like any other: the table is found
// past the loop and branch tokens, and sets the boolean and integer registers they read.
TEST_F(ConstantTableTest, FlowControlShadersKeepTheirTable)
{
    Layout layout(D3DVS_VERSION(2, 1));
    const std::vector<DWORD> plain = Assemble(kFlowShader);
    ASSERT_FALSE(plain.empty());
    const std::vector<DWORD> code = WithComment(plain, layout.ctab.Comment());
    EXPECT_EQ(D3DXGetShaderVersion(code.data()), D3DVS_VERSION(2, 1));
    EXPECT_EQ(D3DXGetShaderSize(code.data()), code.size() * sizeof(DWORD));
    LPD3DXCONSTANTTABLE table = Table(code);
    ASSERT_NE(table, nullptr);
    D3DXCONSTANTTABLE_DESC desc;
    ASSERT_EQ(table->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Constants, 8u);
    BOOL b = FALSE;
    ASSERT_EQ(table->SetBool(device_, "enable", TRUE), D3D_OK);
    device_->GetVertexShaderConstantB(0, &b, 1);
    EXPECT_EQ(b, TRUE);
    const int counts[4] = {4, 0, 1, 0};
    ASSERT_EQ(table->SetIntArray(device_, "loops", counts, 4), D3D_OK);
    int got[4] = {};
    device_->GetVertexShaderConstantI(0, got, 1);
    EXPECT_EQ(std::vector<int>(got, got + 4), (std::vector<int>{4, 0, 1, 0}));
}

TEST_F(ConstantTableTest, PixelShaderTablesWritePixelShaderRegisters)
{
    Layout layout(D3DPS_VERSION(2, 0));
    std::vector<DWORD> ps = Assemble("ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, c4\nmov oC0, r0\n");
    ASSERT_FALSE(ps.empty());
    std::vector<DWORD> code = WithComment(ps, layout.ctab.Comment());
    LPD3DXCONSTANTTABLE table = Table(code);
    ASSERT_NE(table, nullptr);
    ClearVertexF(8);
    const float six[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(table->SetFloatArray(device_, "lights", six, 6), D3D_OK);
    float pixel[8] = {};
    device_->GetPixelShaderConstantF(4, pixel, 2);
    EXPECT_EQ(pixel[0], 1.0f);
    EXPECT_EQ(pixel[6], 6.0f);
    EXPECT_EQ(VertexF(4, 1)[0], -7.0f);
    // So do its booleans and integer vectors.
    const INT loops[4] = {3, 1, 2, 0};
    ASSERT_EQ(table->SetBool(device_, "enable", TRUE), D3D_OK);
    ASSERT_EQ(table->SetIntArray(device_, "loops", loops, 4), D3D_OK);
    BOOL enable = FALSE;
    INT got[4] = {};
    device_->GetPixelShaderConstantB(0, &enable, 1);
    device_->GetPixelShaderConstantI(0, got, 1);
    EXPECT_EQ(enable, TRUE);
    EXPECT_EQ(std::vector<INT>(got, got + 4), std::vector<INT>(loops, loops + 4));

    // The sampler names come from the table.
    LPCSTR names[16] = {};
    UINT count = 0;
    ASSERT_EQ(D3DXGetShaderSamplers(code.data(), names, &count), D3D_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(names[0], "diffuseMap");
}

TEST_F(ConstantTableTest, RefusesShadersWithoutATableAndEveryCorruptOffset)
{
    std::vector<DWORD> plain = Assemble(kVertexShader);
    LPD3DXCONSTANTTABLE table = reinterpret_cast<LPD3DXCONSTANTTABLE>(1);
    std::string err =
        StderrOf([&] { EXPECT_EQ(D3DXGetShaderConstantTable(plain.data(), &table), D3DXERR_INVALIDDATA); });
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(CountLines(err), 1) << err;
    err = StderrOf([&] { EXPECT_EQ(D3DXGetShaderConstantTableEx(nullptr, 0, &table), D3DERR_INVALIDCALL); });
    EXPECT_EQ(CountLines(err), 1) << err;

    // Each offset, count and enumeration in turn: pointing past the end, or wrong.
    struct Corruption {
        const char *what;
        std::function<void(Layout &)> apply;
    };
    const DWORD huge = 0x7FFFFFF0;
    std::vector<Corruption> corruptions = {
        {"header size", [](Layout &l) { l.ctab.Put32(0, 12); }},
        {"creator", [&](Layout &l) { l.ctab.Put32(4, huge); }},
        {"version", [](Layout &l) { l.ctab.Put32(8, 0x12345678); }},
        {"constant count", [](Layout &l) { l.ctab.Put32(12, 100000); }},
        {"constant info", [&](Layout &l) { l.ctab.Put32(16, huge); }},
        {"target", [&](Layout &l) { l.ctab.Put32(24, huge); }},
        {"name", [&](Layout &l) { l.ctab.Put32(l.wvpInfo, huge); }},
        {"register set", [](Layout &l) { l.ctab.Put16(l.wvpInfo + 4, 9); }},
        {"type info", [&](Layout &l) { l.ctab.Put32(l.wvpInfo + 12, huge); }},
        {"default value", [&](Layout &l) { l.ctab.Put32(l.lightsInfo + 16, l.ctab.Size() - 8); }},
        {"class", [](Layout &l) { l.ctab.Put16(l.lightsType, 17); }},
        {"type", [](Layout &l) { l.ctab.Put16(l.lightsType + 2, 200); }},
        {"rows", [](Layout &l) { l.ctab.Put16(l.lightsType + 4, 0); }},
        {"columns", [](Layout &l) { l.ctab.Put16(l.lightsType + 6, 5); }},
        {"members", [](Layout &l) { l.ctab.Put16(l.materialType + 10, 60000); }},
        {"member info", [&](Layout &l) { l.ctab.Put32(l.materialType + 12, huge); }},
        {"member name", [&](Layout &l) { l.ctab.Put32(l.memberInfo, huge); }},
        {"member type", [&](Layout &l) { l.ctab.Put32(l.memberInfo + 4, huge); }},
        {"member loop", [](Layout &l) { l.ctab.Put32(l.memberInfo + 4, l.materialType); }},
    };
    for (const Corruption &c : corruptions) {
        SCOPED_TRACE(c.what);
        Layout layout;
        c.apply(layout);
        std::vector<DWORD> code = layout.Shader();
        table = reinterpret_cast<LPD3DXCONSTANTTABLE>(1);
        err = StderrOf([&] { EXPECT_EQ(D3DXGetShaderConstantTable(code.data(), &table), D3DXERR_INVALIDDATA); });
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(CountLines(err), 1) << err;
        // The other readers of the table refuse it the same way.
        LPCSTR names[16];
        UINT count = 0;
        StderrOf([&] { EXPECT_EQ(D3DXGetShaderSamplers(code.data(), names, &count), D3DXERR_INVALIDDATA); });
    }
    // A comment block cut short: the strings no longer end inside it.
    Layout layout;
    std::vector<DWORD> comment = layout.ctab.Comment();
    comment.resize(comment.size() - 4);
    comment[0] = D3DSHADER_COMMENT(DWORD(comment.size() - 1));
    std::vector<DWORD> code = WithComment(plain, comment);
    StderrOf([&] { EXPECT_EQ(D3DXGetShaderConstantTable(code.data(), &table), D3DXERR_INVALIDDATA); });
}

TEST(ShaderInfoTest, VersionSizeAndComments)
{
    Layout layout;
    std::vector<DWORD> code = layout.Shader();
    EXPECT_EQ(D3DXGetShaderVersion(code.data()), D3DVS_VERSION(2, 0));
    EXPECT_EQ(D3DXGetShaderVersion(nullptr), 0u);
    EXPECT_EQ(D3DXGetShaderSize(code.data()), code.size() * sizeof(DWORD));
    code.push_back(0xDEADBEEF);  // past the end token: not counted
    EXPECT_EQ(D3DXGetShaderSize(code.data()), (code.size() - 1) * sizeof(DWORD));
    EXPECT_EQ(D3DXGetShaderSize(nullptr), 0u);

    LPCVOID data = nullptr;
    UINT size = 0;
    ASSERT_EQ(D3DXFindShaderComment(code.data(), MAKEFOURCC('C', 'T', 'A', 'B'), &data, &size), D3D_OK);
    EXPECT_EQ(data, code.data() + 3);
    EXPECT_EQ(size, (layout.ctab.Comment().size() - 2) * sizeof(DWORD));
    EXPECT_EQ(D3DXFindShaderComment(code.data(), MAKEFOURCC('N', 'O', 'N', 'E'), &data, &size), S_FALSE);
    EXPECT_EQ(data, nullptr);
    // Two comments: the second is found too.
    std::vector<DWORD> two = WithComment(code, {D3DSHADER_COMMENT(2), MAKEFOURCC('T', 'A', 'V', 'K'), 42});
    ASSERT_EQ(D3DXFindShaderComment(two.data(), MAKEFOURCC('C', 'T', 'A', 'B'), &data, &size), D3D_OK);
    ASSERT_EQ(D3DXFindShaderComment(two.data(), MAKEFOURCC('T', 'A', 'V', 'K'), &data, &size), D3D_OK);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(*static_cast<const DWORD *>(data), 42u);

    const DWORD bad[] = {0x12340000, 0x0000FFFF};
    std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXFindShaderComment(bad, 0, &data, &size), D3DXERR_INVALIDDATA);
        EXPECT_EQ(D3DXGetShaderSize(bad), 0u);
    });
    EXPECT_EQ(CountLines(err), 2) << err;
}

std::vector<std::pair<UINT, UINT>> SemanticsOf(const std::vector<DWORD> &code, bool input)
{
    D3DXSEMANTIC list[MAXD3DDECLLENGTH];
    UINT count = 0;
    HRESULT hr = input ? D3DXGetShaderInputSemantics(code.data(), nullptr, &count)
                       : D3DXGetShaderOutputSemantics(code.data(), nullptr, &count);
    EXPECT_EQ(hr, D3D_OK);
    UINT again = 0;
    hr = input ? D3DXGetShaderInputSemantics(code.data(), list, &again)
               : D3DXGetShaderOutputSemantics(code.data(), list, &again);
    EXPECT_EQ(hr, D3D_OK);
    EXPECT_EQ(again, count);
    std::vector<std::pair<UINT, UINT>> out;
    for (UINT i = 0; i < again; ++i)
        out.emplace_back(list[i].Usage, list[i].UsageIndex);
    return out;
}

TEST(ShaderInfoTest, SemanticsOfInputsAndOutputs)
{
    using P = std::vector<std::pair<UINT, UINT>>;
    std::vector<DWORD> vs2 = Assemble(kVertexShader);
    EXPECT_EQ(SemanticsOf(vs2, true),
              (P{{D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_NORMAL, 0}, {D3DDECLUSAGE_TEXCOORD, 1}}));
    EXPECT_EQ(SemanticsOf(vs2, false),
              (P{{D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_COLOR, 0}, {D3DDECLUSAGE_TEXCOORD, 1}}));

    std::vector<DWORD> vs1 = Assemble("vs_1_1\ndcl_position v0\ndcl_color1 v3\nmov oT2, v0\nmov oPos, v0\n"
                                      "mov oD1, v3\nmov oFog, v0.x\nmov oPts, v0.y\nmov oT2.y, v3\n");
    ASSERT_FALSE(vs1.empty());
    EXPECT_EQ(SemanticsOf(vs1, true), (P{{D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_COLOR, 1}}));
    EXPECT_EQ(SemanticsOf(vs1, false), (P{{D3DDECLUSAGE_TEXCOORD, 2},
                                          {D3DDECLUSAGE_POSITION, 0},
                                          {D3DDECLUSAGE_COLOR, 1},
                                          {D3DDECLUSAGE_FOG, 0},
                                          {D3DDECLUSAGE_PSIZE, 0}}));

    std::vector<DWORD> ps2 = Assemble(
        "ps_2_0\ndcl t3.xy\ndcl v1\ndcl_2d s2\ntexld r0, t3, s2\nmul r0, r0, v1\nmov oC0, r0\nmov oDepth, r0.x\n");
    ASSERT_FALSE(ps2.empty());
    EXPECT_EQ(SemanticsOf(ps2, true), (P{{D3DDECLUSAGE_TEXCOORD, 3}, {D3DDECLUSAGE_COLOR, 1}}));
    EXPECT_EQ(SemanticsOf(ps2, false), (P{{D3DDECLUSAGE_COLOR, 0}, {D3DDECLUSAGE_DEPTH, 0}}));

    std::vector<DWORD> ps11 = Assemble("ps_1_1\ntex t0\ntex t2\ntexcoord t1\nmul r0, t0, v0\nmad r0, t2, t1, r0\n");
    ASSERT_FALSE(ps11.empty());
    EXPECT_EQ(SemanticsOf(ps11, true), (P{{D3DDECLUSAGE_TEXCOORD, 0},
                                          {D3DDECLUSAGE_TEXCOORD, 2},
                                          {D3DDECLUSAGE_TEXCOORD, 1},
                                          {D3DDECLUSAGE_COLOR, 0}}));
    EXPECT_EQ(SemanticsOf(ps11, false), (P{{D3DDECLUSAGE_COLOR, 0}}));

    // The samplers: ps_1_1 samples stage n into t#n; ps_2_0 declares them; no table: no names.
    LPCSTR names[16];
    UINT count = 0;
    ASSERT_EQ(D3DXGetShaderSamplers(ps11.data(), names, &count), D3D_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(names[0], nullptr);
    EXPECT_EQ(names[1], nullptr);
    // ps_1_4 samples stage n into r#n, whatever coordinates it reads; texcrd samples nothing.
    std::vector<DWORD> ps14 = Assemble("ps_1_4\ntexld r3, t0\ntexcrd r1.xyz, t1\nphase\ntexld r2, r1\nmov r0, r3\n");
    ASSERT_FALSE(ps14.empty());
    ASSERT_EQ(D3DXGetShaderSamplers(ps14.data(), names, &count), D3D_OK);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(SemanticsOf(ps14, true), (P{{D3DDECLUSAGE_TEXCOORD, 0}, {D3DDECLUSAGE_TEXCOORD, 1}}));
    ASSERT_EQ(D3DXGetShaderSamplers(ps2.data(), nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(D3DXGetShaderSamplers(vs2.data(), nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 0u);

    UINT n = 0;
    std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXGetShaderInputSemantics(nullptr, nullptr, &n), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXGetShaderOutputSemantics(vs2.data(), nullptr, nullptr), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(CountLines(err), 2) << err;
}

class ShaderProfileTest : public testsupport::NullDeviceTest {};

TEST_F(ShaderProfileTest, TheBestProfileTheDevicesCapsOffer)
{
    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x0200u);
    ASSERT_EQ(caps.PixelShaderVersion & 0xFFFF, 0x0200u);
    EXPECT_STREQ(D3DXGetVertexShaderProfile(device_), "vs_2_0");
    EXPECT_STREQ(D3DXGetPixelShaderProfile(device_), "ps_2_0");
    EXPECT_EQ(D3DXGetVertexShaderProfile(nullptr), nullptr);
    EXPECT_EQ(D3DXGetPixelShaderProfile(nullptr), nullptr);
}

// ---- disassembly --------------------------------------------------------------------

TEST(ShaderDisassemblyTest, TextInTheAssemblySyntax)
{
    std::vector<DWORD> code = Assemble("vs_1_1\ndcl_position v0\ndcl_texcoord2 v1\ndef c9, 1, -0.5, 0, 2.25\n"
                                       "mov a0.x, v1.x\nmad r0.xyz, -v0.yzwx, c[a0.x + 3], c9.w\n"
                                       "m4x4 oPos, v0, c0\nmov oT2.xy, r0\n",
                                       D3DXSHADER_SKIPVALIDATION);
    ASSERT_FALSE(code.empty());
    code = WithComment(code, {D3DSHADER_COMMENT(2), MAKEFOURCC('C', 'T', 'A', 'B'), 0});
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Disassemble(code.data(), &hr, "made by hand\r\nsecond line"),
              "// made by hand\n"
              "// second line\n"
              "vs_1_1\n"
              "// comment of 8 bytes (CTAB: the constant table)\n"
              "dcl_position v0\n"
              "dcl_texcoord2 v1\n"
              "def c9, 1, -0.5, 0, 2.25\n"
              "mov a0.x, v1.x\n"
              "mad r0.xyz, -v0.yzwx, c[a0.x + 3], c9.w\n"
              "m4x4 oPos, v0, c0\n"
              "mov oT2.xy, r0\n");
    EXPECT_EQ(hr, D3D_OK);
}

// Shader model 3, which our assembler does not read, is still written out in the same
// syntax, flow control included, and vs_3_0 outputs are the declared o# registers.
TEST(ShaderDisassemblyTest, ShaderModel3AndFlowControlAreWrittenToo)
{
    // One instruction's tokens a line.
    // clang-format off
    const std::vector<DWORD> code = {
        D3DVS_VERSION(3, 0),
        0x0200001F, 0x80000000, 0x900F0000,                  // dcl_position v0
        0x0200001F, 0x80020005, 0xE0030001,                  // dcl_texcoord2 o1.xy
        0x0200001F, 0x80000000, 0xE00F0000,                  // dcl_position o0
        0x05000030, 0xF00F0000, 3, 0, 1, 0,                  // defi i0, 3, 0, 1, 0
        0x01000026, 0xF0E40000,                              // rep i0
        0x03000002, 0x800F0000, 0x80E40000, 0x90E40000,      // add r0, r0, v0
        0x00000027,                                          // endrep
        0x02010029, 0x80000000, 0xA0E40000,                  // if_gt r0.x, c0
        0x03000001, 0xE00F0000, 0xA0E42000 | 5, 0xB0000000,  // mov o0, c[a0.x + 5]
        0x0000002A,                                          // else
        0x02000001, 0xE00F0000, 0x90E40000,                  // mov o0, v0
        0x0000002B,                                          // endif
        0x0000FFFF,
    };
    // clang-format on
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Disassemble(code.data(), &hr), "vs_3_0\n"
                                             "dcl_position v0\n"
                                             "dcl_texcoord2 o1.xy\n"
                                             "dcl_position o0\n"
                                             "defi i0, 3, 0, 1, 0\n"
                                             "rep i0\n"
                                             "add r0, r0, v0\n"
                                             "endrep\n"
                                             "if_gt r0.x, c0\n"
                                             "mov o0, c[a0.x + 5]\n"
                                             "else\n"
                                             "mov o0, v0\n"
                                             "endif\n");
    EXPECT_EQ(hr, D3D_OK);
    using P = std::vector<std::pair<UINT, UINT>>;
    EXPECT_EQ(SemanticsOf(code, false), (P{{D3DDECLUSAGE_TEXCOORD, 2}, {D3DDECLUSAGE_POSITION, 0}}));
    EXPECT_EQ(SemanticsOf(code, true), (P{{D3DDECLUSAGE_POSITION, 0}}));
    EXPECT_EQ(D3DXGetShaderSize(code.data()), code.size() * sizeof(DWORD));
}

// Every token of a few shaders changed in turn (the stream followed by end tokens, so that
// no walk can leave the buffer): each reader answers or refuses with one line.
TEST(ShaderDisassemblyTest, AnyChangedTokenIsWrittenOrRefused)
{
    const char *const sources[] = {
        kVertexShader, kFlowShader,
        "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul_sat r0, r0, -c4_abs\nmov oC0, r0\n",
        "ps_1_4\ntexld r0, t0\ntexcrd r1.xyz, t1\nphase\ntexld r2, r1\nmul r0.rgb, r2, r0\n"
        "+mov r0.a, v0\n"};
    uint32_t seed = 12345;
    int refused = 0, written = 0;
    for (const char *source : sources) {
        const std::vector<DWORD> code = Assemble(source);
        ASSERT_FALSE(code.empty()) << source;
        for (size_t at = 0; at < code.size(); ++at) {
            for (int variant = 0; variant < 6; ++variant) {
                seed = seed * 1664525u + 1013904223u;
                const DWORD replacement[] = {
                    0xFFFFFFFFu, 0, code[at] ^ 0x80000000u, code[at] ^ 0x0F000000u, D3DSHADER_COMMENT(0x7FFF), seed};
                std::vector<DWORD> changed = code;
                changed[at] = replacement[variant];
                changed.resize(code.size() + 0x8000 + 32, D3DVS_END());
                HRESULT hr = E_FAIL;
                std::string err = StderrOf([&] {
                    Disassemble(changed.data(), &hr);
                    UINT count = 0;
                    D3DXSEMANTIC semantics[MAXD3DDECLLENGTH];
                    LPCSTR names[16];
                    D3DXGetShaderInputSemantics(changed.data(), semantics, &count);
                    D3DXGetShaderOutputSemantics(changed.data(), semantics, &count);
                    D3DXGetShaderSamplers(changed.data(), names, &count);
                    D3DXGetShaderSize(changed.data());
                });
                if (FAILED(hr)) {
                    EXPECT_EQ(hr, D3DERR_INVALIDCALL);
                    EXPECT_GE(CountLines(err), 1) << err;
                    ++refused;
                } else {
                    ++written;
                }
            }
        }
    }
    EXPECT_GT(refused, 20);
    EXPECT_GT(written, 20);
}

TEST(ShaderDisassemblyTest, BadBytecodeIsRefusedWithOneLine)
{
    std::vector<DWORD> good = Assemble("vs_2_0\ndcl_position v0\nmov oPos, v0\n");
    ASSERT_EQ(good.size(), 8u);
    std::vector<std::vector<DWORD>> bad = {
        {0x00000200, 0x0000FFFF},                                               // no vs_/ps_ version
        {D3DVS_VERSION(2, 0), 0x02000077, 0x80000000, 0x80000000, 0x0000FFFF},  // unknown opcode
        {D3DVS_VERSION(2, 0), 0x80000000, 0x0000FFFF},                          // a parameter token first
        {D3DVS_VERSION(2, 0), 0x1000FFFF},                                      // a malformed end token
        {D3DVS_VERSION(2, 0), 0x02000001, 0x800F0000, 0xA0E42000, 0x0000FFFF},  // c[a0] without its address
        {D3DVS_VERSION(2, 0), 0x0100001F, 0x80000000, 0x0000FFFF},              // dcl with one parameter
    };
    for (const auto &code : bad) {
        LPD3DXBUFFER text = reinterpret_cast<LPD3DXBUFFER>(1);
        std::string err =
            StderrOf([&] { EXPECT_EQ(D3DXDisassembleShader(code.data(), FALSE, nullptr, &text), D3DERR_INVALIDCALL); });
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(CountLines(err), 1) << err;
    }
    // A stream with no end token at all stops at the walk's limit.
    std::vector<DWORD> endless(size_t(1) << 20 | 16, 0);
    endless[0] = D3DVS_VERSION(1, 1);
    std::string err = StderrOf([&] { EXPECT_EQ(Disassemble(endless.data()), ""); });
    EXPECT_EQ(CountLines(err), 1) << err;
    EXPECT_EQ(StderrOf([&] { D3DXDisassembleShader(nullptr, FALSE, nullptr, nullptr); }).empty(), false);
    // Colour coding is not offered: plain text, and a notice once in the run.
    HRESULT hr = E_FAIL;
    std::string text;
    err = StderrOf([&] {
        LPD3DXBUFFER coloured = nullptr;
        hr = D3DXDisassembleShader(good.data(), TRUE, nullptr, &coloured);
        if (coloured) {
            text = static_cast<const char *>(coloured->GetBufferPointer());
            coloured->Release();
        }
        D3DXDisassembleShader(good.data(), TRUE, nullptr, &coloured);
        if (coloured)
            coloured->Release();
    });
    EXPECT_EQ(hr, D3D_OK);
    EXPECT_EQ(text, Disassemble(good.data()));
    EXPECT_EQ(CountLines(err), 1) << err;
}

}  // namespace
