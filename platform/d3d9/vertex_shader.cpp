/*
 * vertex_shader.cpp - the shader objects (IDirect3DVertexShader9, IDirect3DPixelShader9)
 * and the reading of vertex shader bytecode.
 *
 * The parser accepts vs_1_0, vs_1_1, vs_2_0 and vs_2_x token streams with the
 * arithmetic, matrix and declaration instructions (no flow control, no vertex
 * textures); every token is checked before it is used: the version, each opcode and its
 * operand count (the length field of version 2 streams must agree), register types and
 * numbers for sources and destinations, inputs declared before they are read, comment
 * lengths, and the end token within the buffer.  Anything else is D3DERR_INVALIDCALL
 * with one diagnostic line; nothing is read past the stream.  The GLSL translation is
 * in shader_glsl.cpp.
 */
#include "d3d9_private.h"
#include "shader_reader.h"

#include <tavrok/platform.h>

#include <cstring>

namespace tavrok::d3d9 {

namespace {

struct OpInfo {
    DWORD opcode;
    const char *name;
    int sources;  // -1: the opcode is not accepted in a vertex shader here
};

// Operands of each accepted opcode (all have one destination except nop).
const OpInfo kOps[] = {
    {D3DSIO_NOP, "nop", 0},     {D3DSIO_MOV, "mov", 1},     {D3DSIO_ADD, "add", 2},
    {D3DSIO_SUB, "sub", 2},     {D3DSIO_MAD, "mad", 3},     {D3DSIO_MUL, "mul", 2},
    {D3DSIO_RCP, "rcp", 1},     {D3DSIO_RSQ, "rsq", 1},     {D3DSIO_DP3, "dp3", 2},
    {D3DSIO_DP4, "dp4", 2},     {D3DSIO_MIN, "min", 2},     {D3DSIO_MAX, "max", 2},
    {D3DSIO_SLT, "slt", 2},     {D3DSIO_SGE, "sge", 2},     {D3DSIO_EXP, "exp", 1},
    {D3DSIO_LOG, "log", 1},     {D3DSIO_LIT, "lit", 1},     {D3DSIO_DST, "dst", 2},
    {D3DSIO_LRP, "lrp", 3},     {D3DSIO_FRC, "frc", 1},     {D3DSIO_M4x4, "m4x4", 2},
    {D3DSIO_M4x3, "m4x3", 2},   {D3DSIO_M3x4, "m3x4", 2},   {D3DSIO_M3x3, "m3x3", 2},
    {D3DSIO_M3x2, "m3x2", 2},   {D3DSIO_POW, "pow", 2},     {D3DSIO_CRS, "crs", 2},
    {D3DSIO_SGN, "sgn", 3},     {D3DSIO_ABS, "abs", 1},     {D3DSIO_NRM, "nrm", 1},
    {D3DSIO_SINCOS, "sincos", 3}, {D3DSIO_MOVA, "mova", 1}, {D3DSIO_EXPP, "expp", 1},
    {D3DSIO_LOGP, "logp", 1},
};

const OpInfo *FindOp(DWORD opcode)
{
    for (const auto &op : kOps)
        if (op.opcode == opcode)
            return &op;
    return nullptr;
}

bool ReadParam(Reader &r, bool major2, bool dest, ShaderParam &p)
{
    DWORD t;
    if (!ReadParamToken(r, dest, p, t))
        return false;
    if (dest) {
        if (t & D3DSP_DSTSHIFT_MASK)
            return Fail(r, "destination shift is not allowed in a vertex shader");
        if (p.modifier & ~DWORD(D3DSPDM_SATURATE >> D3DSP_DSTMOD_SHIFT | D3DSPDM_PARTIALPRECISION >> D3DSP_DSTMOD_SHIFT))
            return Fail(r, "unknown destination modifier");
        if (p.relative)
            return Fail(r, "relative addressing of a destination is not supported");
    } else {
        if (p.modifier != 0 && p.modifier != 1 && p.modifier != 11 && p.modifier != 12)
            return Fail(r, "source modifier " + std::to_string(p.modifier) + " is not allowed in a vertex shader");
        if (p.relative) {
            if (major2) {
                DWORD rel;
                if (!r.Next(rel))
                    return false;
                if (!(rel & 0x80000000u) || RegType(rel) != D3DSPR_ADDR || (rel & D3DSP_REGNUM_MASK) != 0)
                    return Fail(r, "relative address token does not name a0");
                p.relComponent = (rel >> D3DVS_SWIZZLE_SHIFT) & 3;
            }
            if (p.regType != D3DSPR_CONST)
                return Fail(r, "relative addressing of a register other than a constant");
        }
    }
    return true;
}

bool CheckDest(Reader &r, const ShaderParam &p, DWORD opcode, bool major2)
{
    switch (p.regType) {
    case D3DSPR_TEMP:
        if (p.regNum >= 12)
            return Fail(r, "temporary register r" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_ADDR:
        if (p.regNum != 0 || (opcode != D3DSIO_MOV && opcode != D3DSIO_MOVA) ||
            (major2 && opcode != D3DSIO_MOVA))
            return Fail(r, "a0 written by an instruction other than mov (vs_1_x) or mova (vs_2_x)");
        return true;
    case D3DSPR_RASTOUT:
        if (p.regNum > D3DSRO_POINT_SIZE)
            return Fail(r, "rasterizer output out of range");
        return true;
    case D3DSPR_ATTROUT:
        if (p.regNum > 1)
            return Fail(r, "colour output oD" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_TEXCRDOUT:
        if (p.regNum > 7)
            return Fail(r, "texture output oT" + std::to_string(p.regNum) + " out of range");
        return true;
    default:
        return Fail(r, "register type " + std::to_string(p.regType) + " cannot be written");
    }
}

bool CheckSource(Reader &r, const ShaderParam &p, const ParsedShader &s, bool major2)
{
    switch (p.regType) {
    case D3DSPR_TEMP:
        if (p.regNum >= 12)
            return Fail(r, "temporary register r" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_INPUT:
        if (p.regNum >= 16)
            return Fail(r, "input register v" + std::to_string(p.regNum) + " out of range");
        for (const auto &in : s.inputs)
            if (in.reg == p.regNum)
                return true;
        return Fail(r, "input v" + std::to_string(p.regNum) + " is read but not declared");
    case D3DSPR_CONST:
        if (p.regNum >= DWORD(kVsConstants))
            return Fail(r, "constant register c" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_ADDR:
        if (!major2 || p.regNum != 0)
            return Fail(r, "a0 read as a source");
        return true;
    default:
        return Fail(r, "register type " + std::to_string(p.regType) + " cannot be read");
    }
}

}  // namespace

bool ParseVertexShader(const DWORD *tokens, size_t maxTokens, ParsedShader &out, std::string &why)
{
    out = ParsedShader();
    if (!tokens || maxTokens == 0) {
        why = "no shader function";
        return false;
    }
    Reader r{tokens, maxTokens, 0, why};
    DWORD version;
    r.Next(version);
    if ((version & 0xFFFF0000u) != 0xFFFE0000u) {
        why = "token 0: not a vertex shader version token";
        return false;
    }
    DWORD major = D3DSHADER_VERSION_MAJOR(version), minor = D3DSHADER_VERSION_MINOR(version);
    if (!((major == 1 && minor <= 1) || (major == 2 && (minor == 0 || minor == 1)))) {
        why = "token 0: vertex shader version " + std::to_string(major) + "." + std::to_string(minor) +
              " is not supported (1.0 to 2.x)";
        return false;
    }
    out.version = version;
    bool major2 = major == 2;

    for (;;) {
        DWORD t;
        bool end;
        if (!NextInstruction(r, D3DVS_END(), t, end))
            return false;
        if (end)
            break;
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (t & (D3DSI_COISSUE | D3DSHADER_INSTRUCTION_PREDICATED))
            return Fail(r, "co-issue and predication are not allowed in a vertex shader");
        size_t start = r.pos;
        size_t length = (t & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
        if (!major2 && length != 0)
            return Fail(r, "instruction length field set in a version 1 shader");

        ShaderInstruction ins;
        ins.opcode = opcode;
        if (opcode == D3DSIO_DCL) {
            DWORD usage;
            if (!r.Next(usage))
                return false;
            if (!(usage & 0x80000000u))
                return Fail(r, "dcl usage token without its high bit");
            ShaderParam reg;
            if (!ReadParam(r, major2, true, reg))
                return false;
            if (reg.regType != D3DSPR_INPUT || reg.regNum >= 16)
                return Fail(r, "dcl of a register other than an input v0..v15");
            ShaderInput in;
            in.reg = reg.regNum;
            in.usage = BYTE(usage & D3DSP_DCL_USAGE_MASK);
            in.usageIndex = BYTE((usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT);
            if (in.usage > MAXD3DDECLUSAGE)
                return Fail(r, "dcl with an unknown usage");
            for (const auto &prior : out.inputs)
                if (prior.reg == in.reg)
                    return Fail(r, "input v" + std::to_string(in.reg) + " declared twice");
            out.inputs.push_back(in);
        } else if (opcode == D3DSIO_DEF) {
            ShaderParam reg;
            if (!ReadParam(r, major2, true, reg))
                return false;
            if (reg.regType != D3DSPR_CONST || reg.regNum >= DWORD(kVsConstants))
                return Fail(r, "def of a register other than a constant");
            std::vector<float> values(4);
            for (int i = 0; i < 4; i++) {
                DWORD bits;
                if (!r.Next(bits))
                    return false;
                memcpy(&values[i], &bits, 4);
            }
            out.defs.emplace_back(reg.regNum, values);
        } else {
            const OpInfo *op = FindOp(opcode);
            if (!op) {
                if (opcode <= D3DSIO_BREAKP)
                    Unsupported(kLib, "vertex shader instruction " + std::to_string(opcode));
                return Fail(r, "opcode " + std::to_string(opcode) + " is not accepted in a vertex shader");
            }
            int sources = op->sources;
            if (opcode == D3DSIO_SINCOS && !major2)
                return Fail(r, "sincos needs vs_2_0");
            if ((opcode == D3DSIO_MOVA || opcode == D3DSIO_SGN || opcode == D3DSIO_CRS || opcode == D3DSIO_NRM ||
                 opcode == D3DSIO_POW || opcode == D3DSIO_ABS || opcode == D3DSIO_LRP) &&
                !major2)
                return Fail(r, std::string(op->name) + " needs vs_2_0");
            if (opcode != D3DSIO_NOP) {
                ins.hasDest = true;
                if (!ReadParam(r, major2, true, ins.dest) || !CheckDest(r, ins.dest, opcode, major2))
                    return false;
                if (ins.dest.regType == D3DSPR_RASTOUT && ins.dest.regNum == D3DSRO_FOG)
                    out.writesFog = true;
                if (ins.dest.regType == D3DSPR_RASTOUT && ins.dest.regNum == D3DSRO_POINT_SIZE)
                    out.writesPointSize = true;
                if (ins.dest.regType == D3DSPR_TEXCRDOUT)
                    out.outputsTexcoord |= 1u << ins.dest.regNum;
                if (ins.dest.regType == D3DSPR_ATTROUT)
                    out.writesColor[ins.dest.regNum] = true;
            }
            for (int i = 0; i < sources; i++) {
                ShaderParam p;
                if (!ReadParam(r, major2, false, p) || !CheckSource(r, p, out, major2))
                    return false;
                if (p.regType == D3DSPR_CONST) {
                    if (p.relative)
                        out.usesAddress = true;
                    // Matrix instructions read several consecutive constants.
                    DWORD rows = 1;
                    if (i == 1 && (opcode == D3DSIO_M4x4 || opcode == D3DSIO_M3x4))
                        rows = 4;
                    else if (i == 1 && (opcode == D3DSIO_M4x3 || opcode == D3DSIO_M3x3))
                        rows = 3;
                    else if (i == 1 && opcode == D3DSIO_M3x2)
                        rows = 2;
                    if (p.regNum + rows > DWORD(kVsConstants))
                        return Fail(r, "matrix rows run past the last constant");
                    out.maxConst = std::max<UINT>(out.maxConst, p.regNum + rows);
                }
                ins.sources.push_back(p);
            }
            out.code.push_back(ins);
        }
        if (major2 && r.pos - start != length)
            return Fail(r, "instruction length field " + std::to_string(length) + " does not match its " +
                               std::to_string(r.pos - start) + " operand tokens");
    }
    out.tokens.assign(tokens, tokens + r.pos);
    return true;
}

// The shader objects of both kinds.
namespace {
template <class Interface>
const IID &InterfaceId();
template <>
const IID &InterfaceId<IDirect3DVertexShader9>() { return IID_IDirect3DVertexShader9; }
template <>
const IID &InterfaceId<IDirect3DPixelShader9>() { return IID_IDirect3DPixelShader9; }
}  // namespace

template <class Interface>
ShaderObject<Interface>::ShaderObject(Device *device, ParsedShader parsed)
    : device(device), deviceAlive(device->alive), parsed(std::move(parsed)), id(NextObjectId())
{
    device->liveChildren++;
}

template <class Interface>
ShaderObject<Interface>::~ShaderObject()
{
    if (*deviceAlive)
        device->liveChildren--;
}

template <class Interface>
HRESULT ShaderObject<Interface>::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == InterfaceId<Interface>()) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

template <class Interface>
HRESULT ShaderObject<Interface>::GetDevice(IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = *deviceAlive ? AddRefed(static_cast<IDirect3DDevice9 *>(device)) : nullptr;
    return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

template <class Interface>
HRESULT ShaderObject<Interface>::GetFunction(void *data, UINT *size)
{
    if (!size)
        return D3DERR_INVALIDCALL;
    UINT bytes = UINT(parsed.tokens.size() * sizeof(DWORD));
    if (data) {
        if (*size < bytes)
            return D3DERR_INVALIDCALL;
        memcpy(data, parsed.tokens.data(), bytes);
    }
    *size = bytes;
    return D3D_OK;
}

template class ShaderObject<IDirect3DVertexShader9>;
template class ShaderObject<IDirect3DPixelShader9>;

}  // namespace tavrok::d3d9
