/*
 * pixel_shader.cpp - the reading of pixel shader bytecode (ps_1_1 to ps_1_4, ps_2_0).
 *
 * Accepts ps_1_1 to ps_1_4 and ps_2_0 streams.  ps_1_x: tex, texcoord and texkill on
 * t0..t3 (ps_1_4: texld, texcrd and texkill on r0..r5 with t0..t5, and one phase), def,
 * mov add sub mul mad lrp dp3 dp4 cnd cmp, co-issue, destination shifts and the source
 * modifiers of each version, constants c0..c7; refused with one line: the bump, matrix
 * and dependent texture reads (texbem texm3x3 texreg2ar ... bem).
 * ps_2_0 (version token 0xFFFF0200) and its instruction set: dcl of the colour
 * inputs v0/v1, the texture coordinates t0..t7 and 2D, cube and volume samplers s0..s7, def, texld with
 * its texldp and texldb forms (the instruction's specific-control bits), texkill, and the
 * arithmetic (mov add sub mul mad dp2add dp3 dp4 rcp rsq exp log pow lrp frc abs nrm crs
 * sincos min max cmp m4x4 m4x3 m3x4 m3x3 m3x2, nop).  Registers r0..r11, c0..c31, v#, t#,
 * s#, oC0 and oDepth; negate and abs source modifiers, swizzles, write masks, _sat (_pp
 * and _centroid are accepted and change nothing here).  Every token is checked before it
 * is used, and each instruction's length field must agree with its operands.  Refused
 * with one line: ps_2_x and ps_3_0 streams, samplers past s7, oC1..oC3 (one render target), and anything malformed.  The GLSL translation
 * is in shader_glsl.cpp.
 */
#include "d3d9_private.h"
#include "shader_reader.h"

#include <tavrok/platform.h>

#include <cstring>

namespace tavrok::d3d9 {

namespace {

constexpr int kTemps = 12;
constexpr int kTexcoords = 8;

struct PsOp {
    DWORD opcode;
    const char *name;
    int sources;
    bool scalar;  // its sources need a replicate swizzle (one component)
};

// The ps_2_0 instructions with one destination and their source counts.
const PsOp kPsOps[] = {
    {D3DSIO_MOV, "mov", 1, false},   {D3DSIO_ADD, "add", 2, false},       {D3DSIO_SUB, "sub", 2, false},
    {D3DSIO_MAD, "mad", 3, false},   {D3DSIO_MUL, "mul", 2, false},       {D3DSIO_RCP, "rcp", 1, true},
    {D3DSIO_RSQ, "rsq", 1, true},    {D3DSIO_DP3, "dp3", 2, false},       {D3DSIO_DP4, "dp4", 2, false},
    {D3DSIO_MIN, "min", 2, false},   {D3DSIO_MAX, "max", 2, false},       {D3DSIO_EXP, "exp", 1, true},
    {D3DSIO_LOG, "log", 1, true},    {D3DSIO_LRP, "lrp", 3, false},       {D3DSIO_FRC, "frc", 1, false},
    {D3DSIO_M4x4, "m4x4", 2, false}, {D3DSIO_M4x3, "m4x3", 2, false},     {D3DSIO_M3x4, "m3x4", 2, false},
    {D3DSIO_M3x3, "m3x3", 2, false}, {D3DSIO_M3x2, "m3x2", 2, false},     {D3DSIO_POW, "pow", 2, true},
    {D3DSIO_CRS, "crs", 2, false},   {D3DSIO_ABS, "abs", 1, false},       {D3DSIO_NRM, "nrm", 1, false},
    {D3DSIO_SINCOS, "sincos", 3, false}, {D3DSIO_CMP, "cmp", 3, false},   {D3DSIO_DP2ADD, "dp2add", 3, false},
    {D3DSIO_TEX, "texld", 2, false},
};

const PsOp *FindPsOp(DWORD opcode)
{
    for (const auto &op : kPsOps)
        if (op.opcode == opcode)
            return &op;
    return nullptr;
}

std::string Name(DWORD type, DWORD n)
{
    switch (type) {
    case D3DSPR_TEMP: return "r" + std::to_string(n);
    case D3DSPR_INPUT: return "v" + std::to_string(n);
    case D3DSPR_CONST: return "c" + std::to_string(n);
    case D3DSPR_TEXTURE: return "t" + std::to_string(n);
    case D3DSPR_SAMPLER: return "s" + std::to_string(n);
    case D3DSPR_COLOROUT: return "oC" + std::to_string(n);
    case D3DSPR_DEPTHOUT: return "oDepth";
    default: return "register type " + std::to_string(type);
    }
}

// A destination parameter token: register, write mask and modifiers, no shift.
bool ReadDest(Reader &r, ShaderParam &p, bool declaration)
{
    DWORD t;
    if (!ReadParamToken(r, true, p, t))
        return false;
    if (t & D3DSP_DSTSHIFT_MASK)
        return Fail(r, "destination shift is not allowed in ps_2_0");
    if (t & D3DSHADER_ADDRESSMODE_MASK)
        return Fail(r, "relative addressing is not allowed in ps_2_0");
    const DWORD allowed = declaration ? (D3DSPDM_PARTIALPRECISION | D3DSPDM_MSAMPCENTROID) >> D3DSP_DSTMOD_SHIFT
                                      : (D3DSPDM_SATURATE | D3DSPDM_PARTIALPRECISION) >> D3DSP_DSTMOD_SHIFT;
    if (p.modifier & ~allowed)
        return Fail(r, "destination modifier " + std::to_string(p.modifier) + " is not allowed here");
    return true;
}

bool ReadSource(Reader &r, ShaderParam &p)
{
    DWORD t;
    if (!ReadParamToken(r, false, p, t))
        return false;
    if (p.relative)
        return Fail(r, "relative addressing is not allowed in ps_2_0");
    if (p.modifier != 0 && p.modifier != 1 && p.modifier != 11 && p.modifier != 12)
        return Fail(r, "source modifier " + std::to_string(p.modifier) + " is not allowed in ps_2_0");
    return true;
}

bool CheckDest(Reader &r, const ShaderParam &p, bool texld)
{
    switch (p.regType) {
    case D3DSPR_TEMP:
        if (p.regNum >= DWORD(kTemps))
            return Fail(r, "temporary register r" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_COLOROUT:
        if (texld)
            break;
        if (p.regNum >= DWORD(kMaxRenderTargets))
            return Fail(r, "colour output oC" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_DEPTHOUT:
        if (texld)
            break;
        if (p.regNum != 0)
            return Fail(r, "depth output out of range");
        return true;
    default: break;
    }
    return Fail(r, Name(p.regType, p.regNum) + " cannot be written" + (texld ? " by texld" : ""));
}

bool CheckSource(Reader &r, const ShaderParam &p, const ParsedShader &s)
{
    switch (p.regType) {
    case D3DSPR_TEMP:
        if (p.regNum >= DWORD(kTemps))
            return Fail(r, "temporary register r" + std::to_string(p.regNum) + " out of range");
        return true;
    case D3DSPR_CONST:
        if (p.regNum >= DWORD(kPs20Constants))
            return Fail(r, "constant register c" + std::to_string(p.regNum) + " out of range (c0 to c31)");
        return true;
    case D3DSPR_INPUT:
        if (p.regNum > 1 || !((s.colorInputs >> p.regNum) & 1))
            return Fail(r, "colour input " + Name(p.regType, p.regNum) + " is read but not declared");
        return true;
    case D3DSPR_TEXTURE:
        if (p.regNum >= DWORD(kTexcoords) || !((s.texcoordInputs >> p.regNum) & 1))
            return Fail(r, "texture coordinate " + Name(p.regType, p.regNum) + " is read but not declared");
        return true;
    default: return Fail(r, Name(p.regType, p.regNum) + " cannot be read here");
    }
}

// dcl: the usage token, then the declared register.
bool Declaration(Reader &r, ParsedShader &out)
{
    DWORD usage;
    if (!r.Next(usage))
        return false;
    if (!(usage & 0x80000000u))
        return Fail(r, "dcl token without its high bit");
    ShaderParam reg;
    if (!ReadDest(r, reg, true))
        return false;
    const DWORD n = reg.regNum;
    switch (reg.regType) {
    case D3DSPR_INPUT:
    case D3DSPR_TEXTURE: {
        const bool color = reg.regType == D3DSPR_INPUT;
        if (n >= DWORD(color ? 2 : kTexcoords))
            return Fail(r, "dcl of " + Name(reg.regType, n) + ": out of range");
        uint8_t &declared = color ? out.colorInputs : out.texcoordInputs;
        if ((declared >> n) & 1)
            return Fail(r, Name(reg.regType, n) + " declared twice");
        declared = uint8_t(declared | (1u << n));
        return true;
    }
    case D3DSPR_SAMPLER: {
        const DWORD type = usage & D3DSP_TEXTURETYPE_MASK;
        if (n >= 16)
            return Fail(r, "dcl of s" + std::to_string(n) + ": out of range");
        if (type != D3DSTT_2D && type != D3DSTT_CUBE && type != D3DSTT_VOLUME)
            return Fail(r, "dcl of s" + std::to_string(n) + " with an unknown texture type");
        if (n >= DWORD(kPsSamplers)) {
            Unsupported(kLib, "pixel shader samplers past s7");
            return Fail(r, "dcl of s" + std::to_string(n) + ": samplers past s7 are not offered");
        }
        if (out.samplerTypes[n])
            return Fail(r, "s" + std::to_string(n) + " declared twice");
        out.samplerTypes[n] = type;
        return true;
    }
    default: return Fail(r, "dcl of " + Name(reg.regType, n) + " (v#, t# and s# are declared)");
    }
}

// ---- ps_1_1 to ps_1_4 -------------------------------------------------------------------

struct Ps1Op {
    DWORD opcode;
    int sources;
    DWORD minMinor;  // the first 1.x version that has it
    bool onlyMinor4;   // ps_1_4 only
};

const Ps1Op kPs1Ops[] = {
    {D3DSIO_MOV, 1, 1, false}, {D3DSIO_ADD, 2, 1, false}, {D3DSIO_SUB, 2, 1, false}, {D3DSIO_MUL, 2, 1, false},
    {D3DSIO_MAD, 3, 1, false}, {D3DSIO_LRP, 3, 1, false}, {D3DSIO_DP3, 2, 1, false}, {D3DSIO_DP4, 2, 2, false},
    {D3DSIO_CND, 3, 1, false}, {D3DSIO_CMP, 3, 2, false},
};

// The limits of one ps_1_x version.
struct Ps1Limits {
    DWORD minor;
    DWORD temps, texture;  // r0..r<temps-1>; t0..t<texture-1>
};

bool ReadDest1(Reader &r, ShaderParam &p, DWORD &shift)
{
    DWORD t;
    if (!ReadParamToken(r, true, p, t))
        return false;
    shift = (t & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT;
    if (p.relative)
        return Fail(r, "relative addressing is not allowed in ps_1_x");
    if (p.modifier & ~DWORD(1))
        return Fail(r, "destination modifier " + std::to_string(p.modifier) + " is not allowed in ps_1_x");
    if ((shift > 3 && shift < 13))
        return Fail(r, "destination shift " + std::to_string(shift) + " is not a ps_1_x shift");
    return true;
}

bool ReadSource1(Reader &r, ShaderParam &p, DWORD minor)
{
    DWORD t;
    if (!ReadParamToken(r, false, p, t))
        return false;
    if (p.relative)
        return Fail(r, "relative addressing is not allowed in ps_1_x");
    // Negate, bias, signed scaling (_bx2), complement; _x2 and _dz/_dw in ps_1_4.
    const bool allowed = p.modifier <= 6 || (minor == 4 && p.modifier <= 10);
    if (!allowed)
        return Fail(r, "source modifier " + std::to_string(p.modifier) + " is not allowed in ps_1_" + std::to_string(minor));
    return true;
}

bool CheckRegister1(Reader &r, const ShaderParam &p, const Ps1Limits &l, bool dest)
{
    const DWORD n = p.regNum;
    switch (p.regType) {
    case D3DSPR_TEMP:
        if (n >= l.temps)
            return Fail(r, "temporary register r" + std::to_string(n) + " out of range");
        return true;
    case D3DSPR_TEXTURE:
        if (n >= l.texture)
            return Fail(r, "texture register t" + std::to_string(n) + " out of range");
        if (dest && l.minor == 4)
            return Fail(r, "t# cannot be written in ps_1_4");
        return true;
    case D3DSPR_CONST:
        if (dest || n >= 8)
            return Fail(r, dest ? "c# cannot be written" : "constant register c" + std::to_string(n) + " out of range (c0 to c7)");
        return true;
    case D3DSPR_INPUT:
        if (dest || n > 1)
            return Fail(r, dest ? "v# cannot be written" : "colour input v" + std::to_string(n) + " out of range");
        return true;
    default: return Fail(r, Name(p.regType, n) + (dest ? " cannot be written" : " cannot be read") + " in ps_1_x");
    }
}

// A ps_1_1 .. ps_1_4 stream after its version token.
bool ParsePixelShader1(Reader &r, DWORD minor, ParsedShader &out)
{
    const Ps1Limits l{minor, minor == 4 ? 6u : 2u, minor == 4 ? 6u : 4u};
    bool phaseSeen = false;
    for (;;) {
        DWORD t;
        bool end;
        if (!NextInstruction(r, D3DPS_END(), t, end))
            return false;
        if (end)
            return true;
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (t & (D3DSI_INSTLENGTH_MASK | D3DSP_OPCODESPECIFICCONTROL_MASK | D3DSHADER_INSTRUCTION_PREDICATED))
            return Fail(r, "length, control or predication bits set in a ps_1_x instruction");
        ShaderInstruction ins;
        ins.opcode = opcode;
        ins.coissue = (t & D3DSI_COISSUE) != 0;
        if (opcode == D3DSIO_PHASE) {
            if (minor != 4 || phaseSeen || ins.coissue)
                return Fail(r, "phase appears once, in ps_1_4 only");
            phaseSeen = true;
            continue;
        }
        if (opcode == D3DSIO_NOP)
            continue;
        if (opcode == D3DSIO_DEF) {
            ShaderParam reg;
            DWORD shift;
            if (!ReadDest1(r, reg, shift))
                return false;
            if (reg.regType != D3DSPR_CONST || reg.regNum >= 8)
                return Fail(r, "def of a register other than a constant c0..c7");
            std::vector<float> values(4);
            for (int i = 0; i < 4; i++) {
                DWORD bits;
                if (!r.Next(bits))
                    return false;
                memcpy(&values[i], &bits, 4);
            }
            out.defs.emplace_back(reg.regNum, values);
            continue;
        }
        if (ins.coissue && (out.code.empty() || out.code.back().coissue))
            return Fail(r, "co-issue without an instruction to pair with");
        if (opcode == D3DSIO_TEX || opcode == D3DSIO_TEXCOORD || opcode == D3DSIO_TEXKILL) {
            // ps_1_1..1_3: tex t#, texcoord t#, texkill t# name the stage and its set.
            // ps_1_4: texld r#, t#|r# (stage #: the destination's number), texcrd r#, t#|r#,
            // texkill t#|r#.
            if (ins.coissue)
                return Fail(r, "texture instructions cannot be co-issued");
            if (!ReadDest1(r, ins.dest, ins.shift))
                return false;
            if (ins.dest.modifier || ins.shift)
                return Fail(r, "texture instructions take no destination modifier");
            const DWORD n = ins.dest.regNum;
            if (minor < 4) {
                if (ins.dest.regType != D3DSPR_TEXTURE || n >= l.texture)
                    return Fail(r, "the texture instructions of ps_1_1..1_3 name a texture register t0..t3");
                out.texcoordInputs = uint8_t(out.texcoordInputs | (1u << n));
                if (opcode == D3DSIO_TEX)
                    out.samplerTypes[n] = D3DSTT_2D;
            } else if (opcode == D3DSIO_TEXKILL) {
                if (!CheckRegister1(r, ins.dest, l, false) ||
                    (ins.dest.regType != D3DSPR_TEMP && ins.dest.regType != D3DSPR_TEXTURE))
                    return Fail(r, "texkill reads r# or t#");
                if (ins.dest.regType == D3DSPR_TEXTURE)
                    out.texcoordInputs = uint8_t(out.texcoordInputs | (1u << n));
            } else {
                if (ins.dest.regType != D3DSPR_TEMP || n >= l.temps)
                    return Fail(r, "texld and texcrd write r0..r5");
                ShaderParam p;
                if (!ReadSource1(r, p, minor))
                    return false;
                if (p.regType != D3DSPR_TEXTURE && !(p.regType == D3DSPR_TEMP && phaseSeen && opcode == D3DSIO_TEX))
                    return Fail(r, "texld reads t# (or r# after the phase), texcrd reads t#");
                if (!CheckRegister1(r, p, l, false))
                    return false;
                if (p.modifier != 0 && p.modifier != 9 && p.modifier != 10)
                    return Fail(r, "texld and texcrd take only the _dz and _dw modifiers");
                if (p.regType == D3DSPR_TEXTURE)
                    out.texcoordInputs = uint8_t(out.texcoordInputs | (1u << p.regNum));
                if (opcode == D3DSIO_TEX)
                    out.samplerTypes[n] = D3DSTT_2D;
                ins.sources.push_back(p);
            }
            out.code.push_back(ins);
            continue;
        }
        const Ps1Op *op = nullptr;
        for (const auto &candidate : kPs1Ops)
            if (candidate.opcode == opcode)
                op = &candidate;
        if (!op) {
            if (opcode >= D3DSIO_TEXBEM && opcode <= D3DSIO_BEM)
                Unsupported(kLib, "ps_1_x instruction " + std::to_string(opcode) +
                                      " (bump, dependent and matrix texture reads)");
            return Fail(r, "opcode " + std::to_string(opcode) + " is not accepted in ps_1_" + std::to_string(minor));
        }
        if (minor < op->minMinor)
            return Fail(r, "opcode " + std::to_string(opcode) + " needs ps_1_" + std::to_string(op->minMinor));
        ins.hasDest = true;
        if (!ReadDest1(r, ins.dest, ins.shift) || !CheckRegister1(r, ins.dest, l, true))
            return false;
        if (ins.shift == 3 || ins.shift == 13) {
            if (minor != 4)
                return Fail(r, "_x8 and _d8 need ps_1_4");
        }
        for (int i = 0; i < op->sources; i++) {
            ShaderParam p;
            if (!ReadSource1(r, p, minor) || !CheckRegister1(r, p, l, false))
                return false;
            if (p.modifier == 9 || p.modifier == 10)
                return Fail(r, "_dz and _dw belong to texld and texcrd");
            if (p.regType == D3DSPR_INPUT)
                out.colorInputs = uint8_t(out.colorInputs | (1u << p.regNum));
            if (p.regType == D3DSPR_TEXTURE && minor == 4)
                out.texcoordInputs = uint8_t(out.texcoordInputs | (1u << p.regNum));
            if (p.regType == D3DSPR_CONST)
                out.maxConst = std::max<UINT>(out.maxConst, p.regNum + 1);
            ins.sources.push_back(p);
        }
        out.code.push_back(ins);
    }
}

}  // namespace

bool ParsePixelShader(const DWORD *tokens, size_t maxTokens, ParsedShader &out, std::string &why)
{
    out = ParsedShader();
    if (!tokens || maxTokens == 0) {
        why = "no shader function";
        return false;
    }
    Reader r{tokens, maxTokens, 0, why};
    DWORD version;
    r.Next(version);
    if ((version & 0xFFFF0000u) != 0xFFFF0000u) {
        why = "token 0: not a pixel shader version token";
        return false;
    }
    const DWORD major = D3DSHADER_VERSION_MAJOR(version), minor = D3DSHADER_VERSION_MINOR(version);
    if (major == 1 && minor >= 1 && minor <= 4) {
        out.version = version;
        if (!ParsePixelShader1(r, minor, out))
            return false;
        out.tokens.assign(tokens, tokens + r.pos);
        return true;
    }
    if (version != D3DPS_VERSION(2, 0)) {
        why = "token 0: pixel shader version " + std::to_string(major) + "." + std::to_string(minor) +
              " is not supported (1.1 to 1.4 and 2.0 are)";
        return false;
    }
    out.version = version;

    for (;;) {
        DWORD t;
        bool end;
        if (!NextInstruction(r, D3DPS_END(), t, end))
            return false;
        if (end)
            break;
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (t & (D3DSI_COISSUE | D3DSHADER_INSTRUCTION_PREDICATED))
            return Fail(r, "co-issue and predication are not allowed in ps_2_0");
        const DWORD control = t & D3DSP_OPCODESPECIFICCONTROL_MASK;
        if (control && !(opcode == D3DSIO_TEX && (control == D3DSI_TEXLD_PROJECT || control == D3DSI_TEXLD_BIAS)))
            return Fail(r, "unknown instruction controls " + std::to_string(control >> D3DSP_OPCODESPECIFICCONTROL_SHIFT));
        const size_t start = r.pos;
        const size_t length = (t & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;

        if (opcode == D3DSIO_DCL) {
            if (!Declaration(r, out))
                return false;
        } else if (opcode == D3DSIO_DEF) {
            ShaderParam reg;
            if (!ReadDest(r, reg, false))
                return false;
            if (reg.regType != D3DSPR_CONST || reg.regNum >= DWORD(kPs20Constants))
                return Fail(r, "def of a register other than a constant c0..c31");
            std::vector<float> values(4);
            for (int i = 0; i < 4; i++) {
                DWORD bits;
                if (!r.Next(bits))
                    return false;
                memcpy(&values[i], &bits, 4);
            }
            out.defs.emplace_back(reg.regNum, values);
        } else if (opcode == D3DSIO_NOP) {
            // nothing to read
        } else if (opcode == D3DSIO_TEXKILL) {
            // One register, written as a destination: the pixel goes when any of its
            // x, y, z is negative.
            ShaderInstruction ins;
            ins.opcode = opcode;
            if (!ReadDest(r, ins.dest, false))
                return false;
            if (ins.dest.modifier)
                return Fail(r, "texkill takes no modifiers");
            ShaderParam asSource = ins.dest;
            if (!CheckSource(r, asSource, out))
                return false;
            if (asSource.regType != D3DSPR_TEMP && asSource.regType != D3DSPR_TEXTURE)
                return Fail(r, "texkill reads r# or t#");
            out.code.push_back(ins);
        } else {
            const PsOp *op = FindPsOp(opcode);
            if (!op)
                return Fail(r, "opcode " + std::to_string(opcode) + " is not accepted in ps_2_0");
            ShaderInstruction ins;
            ins.opcode = opcode;
            ins.hasDest = true;
            ins.dclUsage = control;  // texld: D3DSI_TEXLD_PROJECT or _BIAS
            if (!ReadDest(r, ins.dest, false) || !CheckDest(r, ins.dest, opcode == D3DSIO_TEX))
                return false;
            if (ins.dest.regType == D3DSPR_DEPTHOUT)
                out.writesDepth = true;
            if (ins.dest.regType == D3DSPR_COLOROUT)
                out.colorOutputs |= uint8_t(1u << ins.dest.regNum);
            for (int i = 0; i < op->sources; i++) {
                ShaderParam p;
                if (!ReadSource(r, p))
                    return false;
                if (opcode == D3DSIO_TEX && i == 1) {
                    if (p.regType != D3DSPR_SAMPLER || p.regNum >= 16)
                        return Fail(r, "texld samples through an s# register");
                    if (p.regNum >= DWORD(kPsSamplers) || !out.samplerTypes[p.regNum])
                        return Fail(r, "sampler s" + std::to_string(p.regNum) + " is used but not declared");
                    if (p.modifier || p.swizzle != 0xE4)
                        return Fail(r, "a sampler takes no swizzle or modifier");
                } else {
                    if (!CheckSource(r, p, out))
                        return false;
                    if (opcode == D3DSIO_TEX && (p.regType != D3DSPR_TEMP && p.regType != D3DSPR_TEXTURE))
                        return Fail(r, "texld reads its coordinates from r# or t#");
                    if (op->scalar && p.swizzle != (p.swizzle & 3) * 0x55)
                        return Fail(r, std::string(op->name) + " needs a replicate swizzle on its sources");
                }
                const DWORD rows = MatrixRows(opcode, i);
                const DWORD bank = p.regType == D3DSPR_CONST ? kPs20Constants : p.regType == D3DSPR_TEMP ? kTemps : 0;
                if (rows > 1 && p.regNum + rows > bank)
                    return Fail(r, "matrix rows run past r11 or c31 (or are not r# or c#)");
                if (p.regType == D3DSPR_CONST)
                    out.maxConst = std::max<UINT>(out.maxConst, p.regNum + rows);
                ins.sources.push_back(p);
            }
            out.code.push_back(ins);
        }
        if (r.pos - start != length)
            return Fail(r, "instruction length field " + std::to_string(length) + " does not match its " +
                               std::to_string(r.pos - start) + " operand tokens");
    }
    out.tokens.assign(tokens, tokens + r.pos);
    return true;
}

}  // namespace tavrok::d3d9
