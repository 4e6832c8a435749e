/*
 * shader_disassembler.cpp - D3DXDisassembleShader: shader bytecode back to assembly text.
 *
 * One line per token group, in the syntax D3DXAssembleShader reads: the version
 * ("vs_2_0"), "dcl_<usage><index> v#" / "dcl t#" / "dcl_2d s#", "def c#, x, y, z, w" with
 * every float written so it reads back to the same bits, then the instructions with
 * their modifiers (_sat, _pp, the ps_1_x result shifts _x2 .. _d8, '+' for a co-issued
 * one), write masks, swizzles (shortened: ".xyzz" is ".xyz"), source modifiers (-, 1-,
 * _bias, _bx2, _x2, _dz, _dw, _abs) and relative addressing ("c[a0.x + 4]").  Comment
 * blocks become one "// comment" line with their size (a CTAB one names its FOURCC).
 * vs_2_x streams (minor version 1) are headed "vs_2_x"; flow control comes out as
 * "loop aL, i0", "callnz l1, !b2", "if_gt r0.x, c1.y", "defb b0, true" and c[aL + n], which
 * the assembler reads back.  Instructions our assembler does not read (shader model 3,
 * predication, ps_1_x bump mapping) are written in the same style for reading, without a
 * promise that they assemble.  EnableColorCode's HTML colouring is not offered: the text
 * stays plain and a notice says so once.
 */
#include "shader_bytecode.h"

#include <tavrok/platform.h>

#include <charconv>
#include <cstring>

namespace tavrok::d3dx9 {
namespace {

struct OpcodeInfo {
    DWORD code;
    const char *name;
    bool dst;  // the first parameter is a destination
};

const OpcodeInfo kOpcodes[] = {
    {D3DSIO_NOP, "nop", false},         {D3DSIO_MOV, "mov", true},           {D3DSIO_ADD, "add", true},
    {D3DSIO_SUB, "sub", true},          {D3DSIO_MAD, "mad", true},           {D3DSIO_MUL, "mul", true},
    {D3DSIO_RCP, "rcp", true},          {D3DSIO_RSQ, "rsq", true},           {D3DSIO_DP3, "dp3", true},
    {D3DSIO_DP4, "dp4", true},          {D3DSIO_MIN, "min", true},           {D3DSIO_MAX, "max", true},
    {D3DSIO_SLT, "slt", true},          {D3DSIO_SGE, "sge", true},           {D3DSIO_EXP, "exp", true},
    {D3DSIO_LOG, "log", true},          {D3DSIO_LIT, "lit", true},           {D3DSIO_DST, "dst", true},
    {D3DSIO_LRP, "lrp", true},          {D3DSIO_FRC, "frc", true},           {D3DSIO_M4x4, "m4x4", true},
    {D3DSIO_M4x3, "m4x3", true},        {D3DSIO_M3x4, "m3x4", true},         {D3DSIO_M3x3, "m3x3", true},
    {D3DSIO_M3x2, "m3x2", true},        {D3DSIO_CALL, "call", false},        {D3DSIO_CALLNZ, "callnz", false},
    {D3DSIO_LOOP, "loop", false},       {D3DSIO_RET, "ret", false},          {D3DSIO_ENDLOOP, "endloop", false},
    {D3DSIO_LABEL, "label", false},     {D3DSIO_POW, "pow", true},           {D3DSIO_CRS, "crs", true},
    {D3DSIO_SGN, "sgn", true},          {D3DSIO_ABS, "abs", true},           {D3DSIO_NRM, "nrm", true},
    {D3DSIO_SINCOS, "sincos", true},    {D3DSIO_REP, "rep", false},          {D3DSIO_ENDREP, "endrep", false},
    {D3DSIO_IF, "if", false},           {D3DSIO_IFC, "if", false},           {D3DSIO_ELSE, "else", false},
    {D3DSIO_ENDIF, "endif", false},     {D3DSIO_BREAK, "break", false},      {D3DSIO_BREAKC, "break", false},
    {D3DSIO_MOVA, "mova", true},        {D3DSIO_TEXCOORD, "texcoord", true}, {D3DSIO_TEXKILL, "texkill", true},
    {D3DSIO_TEX, "tex", true},          {D3DSIO_TEXBEM, "texbem", true},     {D3DSIO_TEXBEML, "texbeml", true},
    {D3DSIO_TEXREG2AR, "texreg2ar", true}, {D3DSIO_TEXREG2GB, "texreg2gb", true},
    {D3DSIO_TEXM3x2PAD, "texm3x2pad", true}, {D3DSIO_TEXM3x2TEX, "texm3x2tex", true},
    {D3DSIO_TEXM3x3PAD, "texm3x3pad", true}, {D3DSIO_TEXM3x3TEX, "texm3x3tex", true},
    {D3DSIO_TEXM3x3SPEC, "texm3x3spec", true}, {D3DSIO_TEXM3x3VSPEC, "texm3x3vspec", true},
    {D3DSIO_EXPP, "expp", true},        {D3DSIO_LOGP, "logp", true},         {D3DSIO_CND, "cnd", true},
    {D3DSIO_TEXREG2RGB, "texreg2rgb", true}, {D3DSIO_TEXDP3TEX, "texdp3tex", true},
    {D3DSIO_TEXM3x2DEPTH, "texm3x2depth", true}, {D3DSIO_TEXDP3, "texdp3", true},
    {D3DSIO_TEXM3x3, "texm3x3", true},  {D3DSIO_TEXDEPTH, "texdepth", true}, {D3DSIO_CMP, "cmp", true},
    {D3DSIO_BEM, "bem", true},          {D3DSIO_DP2ADD, "dp2add", true},     {D3DSIO_DSX, "dsx", true},
    {D3DSIO_DSY, "dsy", true},          {D3DSIO_TEXLDD, "texldd", true},     {D3DSIO_SETP, "setp", true},
    {D3DSIO_TEXLDL, "texldl", true},    {D3DSIO_BREAKP, "breakp", false},
};

const char *const kUsageNames[] = {"position", "blendweight", "blendindices", "normal",   "psize",
                                   "texcoord", "tangent",     "binormal",     "tessfactor", "positiont",
                                   "color",    "fog",         "depth",        "sample"};

const char *const kComparisons[] = {"", "_gt", "_eq", "_ge", "_lt", "_ne", "_le", ""};

class Disassembler {
public:
    Disassembler(const ShaderWalk &walk) : walk_(walk)
    {
        major_ = D3DSHADER_VERSION_MAJOR(walk.version);
        minor_ = D3DSHADER_VERSION_MINOR(walk.version);
    }

    bool Run(std::string &text, std::string &why);

private:
    bool Fail(const ShaderInstruction &in, const std::string &reason)
    {
        why_ = "token " + std::to_string(in.at) + ": " + reason;
        return false;
    }
    std::string Register(DWORD token) const;
    std::string Destination(DWORD token) const;
    std::string Source(DWORD token, const DWORD *address) const;
    bool Instruction(const ShaderInstruction &in, std::string &line);
    bool Declaration(const ShaderInstruction &in, std::string &line);

    const ShaderWalk &walk_;
    unsigned major_ = 0, minor_ = 0;
    std::string why_;
};

std::string Swizzle(DWORD swizzle)
{
    if (swizzle == 0xE4)
        return "";
    char letters[4];
    for (int i = 0; i < 4; ++i)
        letters[i] = "xyzw"[(swizzle >> (2 * i)) & 3];
    int length = 4;
    while (length > 1 && letters[length - 1] == letters[length - 2])
        --length;
    return "." + std::string(letters, static_cast<size_t>(length));
}

std::string Mask(unsigned mask)
{
    if (mask == 0xF)
        return "";
    std::string text = ".";
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            text += "xyzw"[i];
    return text;
}

// The shortest decimal that reads back to the same float.
std::string Float(DWORD bits)
{
    float value;
    memcpy(&value, &bits, sizeof value);
    char text[48];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Disassembler::Register(DWORD token) const
{
    const DWORD type = ParamRegType(token);
    const unsigned n = ParamRegNumber(token);
    const std::string number = std::to_string(n);
    switch (type) {
    case D3DSPR_TEMP: return "r" + number;
    case D3DSPR_INPUT: return "v" + number;
    case D3DSPR_CONST: return "c" + number;
    case D3DSPR_ADDR: return walk_.pixel ? "t" + number : "a" + number;
    case D3DSPR_RASTOUT: return n == D3DSRO_POSITION ? "oPos" : n == D3DSRO_FOG ? "oFog" : "oPts";
    case D3DSPR_ATTROUT: return "oD" + number;
    case D3DSPR_TEXCRDOUT: return major_ >= 3 ? "o" + number : "oT" + number;
    case D3DSPR_CONSTINT: return "i" + number;
    case D3DSPR_COLOROUT: return "oC" + number;
    case D3DSPR_DEPTHOUT: return "oDepth";
    case D3DSPR_SAMPLER: return "s" + number;
    case D3DSPR_CONST2: return "c" + std::to_string(n + 2048);
    case D3DSPR_CONST3: return "c" + std::to_string(n + 4096);
    case D3DSPR_CONST4: return "c" + std::to_string(n + 6144);
    case D3DSPR_CONSTBOOL: return "b" + number;
    case D3DSPR_LOOP: return "aL";
    case D3DSPR_TEMPFLOAT16: return "half" + number;
    case D3DSPR_MISCTYPE: return n == 0 ? "vPos" : "vFace";
    case D3DSPR_LABEL: return "l" + number;
    case D3DSPR_PREDICATE: return "p" + number;
    default: return "unknown" + std::to_string(type) + "_" + number;
    }
}

std::string Disassembler::Destination(DWORD token) const
{
    return Register(token) + Mask((token & D3DSP_WRITEMASK_ALL) >> 16);
}

std::string Disassembler::Source(DWORD token, const DWORD *address) const
{
    std::string name = Register(token);
    if (token & D3DSHADER_ADDRESSMODE_MASK) {
        // c[a0.x + n]: vs_1_x implies a0.x; later versions name the register and component.
        std::string index = "a0.x";
        if (address && ParamRegType(*address) == D3DSPR_LOOP) {
            index = "aL";  // the loop counter is a scalar: no component
        } else if (address) {
            const DWORD swizzle = (*address & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT;
            index = Register(*address) + "." + "xyzw"[swizzle & 3];
        }
        const unsigned n = ParamRegNumber(token);
        const std::string prefix = name.substr(0, name.find_first_of("0123456789"));
        name = prefix + "[" + index + (n ? " + " + std::to_string(n) : std::string()) + "]";
    }
    const DWORD modifier = token & D3DSP_SRCMOD_MASK;
    const std::string swizzle = Swizzle((token & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT);
    switch (modifier) {
    case D3DSPSM_NONE: return name + swizzle;
    case D3DSPSM_NEG: return "-" + name + swizzle;
    case D3DSPSM_BIAS: return name + "_bias" + swizzle;
    case D3DSPSM_BIASNEG: return "-" + name + "_bias" + swizzle;
    case D3DSPSM_SIGN: return name + "_bx2" + swizzle;
    case D3DSPSM_SIGNNEG: return "-" + name + "_bx2" + swizzle;
    case D3DSPSM_COMP: return "1-" + name + swizzle;
    case D3DSPSM_X2: return name + "_x2" + swizzle;
    case D3DSPSM_X2NEG: return "-" + name + "_x2" + swizzle;
    case D3DSPSM_DZ: return name + "_dz" + swizzle;
    case D3DSPSM_DW: return name + "_dw" + swizzle;
    case D3DSPSM_ABS: return name + "_abs" + swizzle;
    case D3DSPSM_ABSNEG: return "-" + name + "_abs" + swizzle;
    case D3DSPSM_NOT: return "!" + name + swizzle;
    default: return name + "_mod" + std::to_string(modifier >> D3DSP_SRCMOD_SHIFT) + swizzle;
    }
}

bool Disassembler::Declaration(const ShaderInstruction &in, std::string &line)
{
    if (in.count != 2)
        return Fail(in, "dcl has " + std::to_string(in.count) + " parameters (2)");
    const DWORD usage = in.params[0], reg = in.params[1];
    const DWORD type = ParamRegType(reg);
    if (type == D3DSPR_SAMPLER) {
        switch (usage & D3DSP_TEXTURETYPE_MASK) {
        case D3DSTT_2D: line = "dcl_2d"; break;
        case D3DSTT_CUBE: line = "dcl_cube"; break;
        case D3DSTT_VOLUME: line = "dcl_volume"; break;
        case 1u << D3DSP_TEXTURETYPE_SHIFT: line = "dcl_1d"; break;
        default: line = "dcl"; break;
        }
    } else if (walk_.pixel && major_ < 3) {
        line = "dcl";
    } else {
        const DWORD u = (usage & D3DSP_DCL_USAGE_MASK) >> D3DSP_DCL_USAGE_SHIFT;
        const DWORD index = (usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
        line = "dcl_" + std::string(u < std::size(kUsageNames) ? kUsageNames[u] : "usage" + std::to_string(u)) +
               (index ? std::to_string(index) : std::string());
    }
    line += " " + Destination(reg);
    return true;
}

bool Disassembler::Instruction(const ShaderInstruction &in, std::string &line)
{
    if (in.opcode == D3DSIO_PHASE) {
        line = "phase";
        return true;
    }
    if (in.opcode == D3DSIO_DCL)
        return Declaration(in, line);
    if (in.opcode == D3DSIO_DEF || in.opcode == D3DSIO_DEFI || in.opcode == D3DSIO_DEFB) {
        const size_t values = in.opcode == D3DSIO_DEFB ? 1 : 4;
        if (in.count != 1 + values)
            return Fail(in, "def has " + std::to_string(in.count) + " parameters (" + std::to_string(1 + values) + ")");
        line = std::string(in.opcode == D3DSIO_DEF ? "def" : in.opcode == D3DSIO_DEFI ? "defi" : "defb") + " " +
               Register(in.params[0]);
        for (size_t i = 1; i <= values; ++i) {
            line += ", ";
            if (in.opcode == D3DSIO_DEF)
                line += Float(in.params[i]);
            else if (in.opcode == D3DSIO_DEFI)
                line += std::to_string(static_cast<int32_t>(in.params[i]));
            else
                line += in.params[i] ? "true" : "false";
        }
        return true;
    }
    const OpcodeInfo *op = nullptr;
    for (const OpcodeInfo &candidate : kOpcodes)
        if (candidate.code == in.opcode)
            op = &candidate;
    if (!op) {
        char text[48];
        snprintf(text, sizeof text, "unknown opcode %u", static_cast<unsigned>(in.opcode));
        return Fail(in, text);
    }
    std::string name = op->name;
    const DWORD control = in.token & D3DSP_OPCODESPECIFICCONTROL_MASK;
    const bool ps1 = walk_.pixel && major_ == 1;
    if (in.opcode == D3DSIO_TEX) {
        if (!ps1 || minor_ == 4)
            name = control == D3DSI_TEXLD_PROJECT ? "texldp" : control == D3DSI_TEXLD_BIAS ? "texldb" : "texld";
    } else if (in.opcode == D3DSIO_TEXCOORD && ps1 && minor_ == 4) {
        name = "texcrd";
    } else if (in.opcode == D3DSIO_IFC || in.opcode == D3DSIO_BREAKC || in.opcode == D3DSIO_SETP) {
        name += kComparisons[(control >> D3DSP_OPCODESPECIFICCONTROL_SHIFT) & 7];
    }
    // The parameters: a destination (and its modifiers), then the sources, each followed
    // in version 2 and later by its relative-address token when it has one.
    size_t i = 0;
    std::vector<std::string> operands;
    if (op->dst && in.count > 0) {
        const DWORD dst = in.params[i++];
        const DWORD shift = (dst & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT;
        static const char *const kShifts[16] = {"",   "_x2", "_x4", "_x8", "",    "",    "",    "",
                                                "",   "",    "",    "",    "",    "_d8", "_d4", "_d2"};
        name += kShifts[shift];
        if (dst & D3DSPDM_SATURATE)
            name += "_sat";
        if (dst & D3DSPDM_PARTIALPRECISION)
            name += "_pp";
        if (dst & D3DSPDM_MSAMPCENTROID)
            name += "_centroid";
        // (texkill, and ps_1_x's tex and texcoord, write all four: no mask is shown.)
        std::string text = Destination(dst);
        if (major_ >= 3 && (dst & D3DSHADER_ADDRESSMODE_MASK) && i < in.count) {
            // vs_3_0 outputs may be indexed by the loop counter: o0[aL].
            text = Register(dst) + "[" + Register(in.params[i]) + "]" + Mask((dst & D3DSP_WRITEMASK_ALL) >> 16);
            ++i;
        }
        operands.push_back(text);
    }
    while (i < in.count) {
        const DWORD src = in.params[i++];
        const DWORD *address = nullptr;
        if (major_ >= 2 && (src & D3DSHADER_ADDRESSMODE_MASK)) {
            if (i >= in.count)
                return Fail(in, "a relatively addressed source without its address register");
            address = &in.params[i++];
        }
        operands.push_back(Source(src, address));
    }
    if ((in.token & D3DSI_COISSUE) && ps1)
        name = "+" + name;
    line = name;
    for (size_t k = 0; k < operands.size(); ++k)
        line += (k == 0 ? " " : ", ") + operands[k];
    return true;
}

bool Disassembler::Run(std::string &text, std::string &why)
{
    text += walk_.pixel ? "ps_" : "vs_";
    // Version 2.1 is the extended model, spelled 2_x.
    text += std::to_string(major_) + "_" + (major_ == 2 && minor_ == 1 ? std::string("x") : std::to_string(minor_)) +
            "\n";
    size_t comment = 0;
    for (const ShaderInstruction &in : walk_.instructions) {
        for (; comment < walk_.comments.size() && walk_.comments[comment].at < in.at; ++comment) {
            const ShaderComment &c = walk_.comments[comment];
            text += "// comment of " + std::to_string(c.count * sizeof(DWORD)) + " bytes";
            if (c.count >= 1 && c.data[0] == MAKEFOURCC('C', 'T', 'A', 'B'))
                text += " (CTAB: the constant table)";
            text += "\n";
        }
        std::string line;
        if (!Instruction(in, line)) {
            why = why_;
            return false;
        }
        text += line + "\n";
    }
    return true;
}

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXDisassembleShader(CONST DWORD *pShader, BOOL EnableColorCode, LPCSTR pComments,
                                                LPD3DXBUFFER *ppDisassembly)
{
    using namespace tavrok::d3dx9;
    if (EnableColorCode)
        tavrok::Unsupported(kLibrary, "D3DXDisassembleShader: EnableColorCode (the text is plain, without HTML colours)");
    if (ppDisassembly)
        *ppDisassembly = nullptr;
    if (!pShader || !ppDisassembly) {
        tavrok::Diagnostic(kLibrary, "", "", std::string("D3DXDisassembleShader: ") +
                                                 (!pShader ? "no shader bytecode" : "no buffer pointer to fill"));
        return D3DERR_INVALIDCALL;
    }
    ShaderWalk walk;
    std::string why;
    std::string text;
    if (pComments) {
        // Each line of the caller's comment becomes a "//" line.
        std::string line;
        for (const char *p = pComments;; ++p) {
            if (*p == '\n' || *p == '\0') {
                text += "// " + line + "\n";
                line.clear();
                if (*p == '\0')
                    break;
            } else if (*p != '\r') {
                line += *p;
            }
        }
    }
    if (!WalkShader(pShader, walk, why) || !Disassembler(walk).Run(text, why)) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXDisassembleShader: " + why);
        return D3DERR_INVALIDCALL;
    }
    LPD3DXBUFFER buffer = nullptr;
    const HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(text.size() + 1), &buffer);
    if (FAILED(hr))
        return hr;
    memcpy(buffer->GetBufferPointer(), text.c_str(), text.size() + 1);
    *ppDisassembly = buffer;
    return D3D_OK;
}
