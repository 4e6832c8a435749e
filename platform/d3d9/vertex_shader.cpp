/*
 * vertex_shader.cpp - the shader objects (IDirect3DVertexShader9, IDirect3DPixelShader9)
 * and the reading of vertex shader bytecode.
 *
 * The parser accepts vs_1_0, vs_1_1, vs_2_0 and vs_2_x token streams with the
 * arithmetic, matrix and declaration instructions; vs_2_0 adds defi, defb and static flow
 * control (rep, loop with c[aL + n] inside it, if b#, else, call, callnz b#, label, ret)
 * and vs_2_x if_comp, break and break_comp (no predication, no vertex textures).  Every
 * token is checked before it is used: the version, each opcode and its operand count (the
 * length field of version 2 streams must agree), register types and numbers for sources
 * and destinations, inputs declared before they are read, comment lengths, the end token
 * within the buffer, and the blocks and subroutines of the flow control (closed in order,
 * labels after the main program's ret, calls defined, not recursive, within the nesting
 * depths: loops and calls 1 deep in vs_2_0, 4 in vs_2_x).  Anything else is
 * D3DERR_INVALIDCALL with one diagnostic line; nothing is read past the stream.  The
 * GLSL translation is in shader_glsl.cpp.
 */
#include "d3d9_private.h"
#include "shader_reader.h"

#include <tavrok/platform.h>

#include <algorithm>
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
                if (!(rel & 0x80000000u) || (RegType(rel) != D3DSPR_ADDR && RegType(rel) != D3DSPR_LOOP) ||
                    (rel & D3DSP_REGNUM_MASK) != 0)
                    return Fail(r, "relative address token names neither a0 nor aL");
                p.relComponent = (rel >> D3DVS_SWIZZLE_SHIFT) & 3;
                p.relLoop = RegType(rel) == D3DSPR_LOOP;
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


// Counts a constant read by a source: the highest register used, and whether it is indexed.
bool CountConstant(Reader &r, const ShaderParam &p, DWORD rows, ParsedShader &s)
{
    if (p.regType != D3DSPR_CONST)
        return true;
    if (p.relative)
        s.usesAddress = true;
    if (p.regNum + rows > DWORD(kVsConstants))
        return Fail(r, "matrix rows run past the last constant");
    s.maxConst = std::max<UINT>(s.maxConst, p.regNum + rows);
    return true;
}

// The static flow control of vs_2_0 (rep, loop, if b#, call, callnz b#, label, ret) and
// the dynamic flow control of vs_2_x (if_comp, break, break_comp), checked as the
// instructions come: blocks close in order, else only in an if, break only in a loop,
// labels only after the main program's ret, each subroutine ending with its ret; at the
// end, every call names a label and the calls neither recurse nor nest too deep.
class Flow {
public:
    explicit Flow(bool extended)
        : extended_(extended), loopLimit_(extended ? D3DVS20_MAX_STATICFLOWCONTROLDEPTH : 1),
          callLimit_(extended ? D3DVS20_MAX_STATICFLOWCONTROLDEPTH : 1)
    {
    }

    static bool IsFlow(DWORD opcode)
    {
        return (opcode >= D3DSIO_CALL && opcode <= D3DSIO_LABEL) || (opcode >= D3DSIO_REP && opcode <= D3DSIO_BREAKC);
    }

    // Whether an ordinary instruction may stand here: not between ret and a label.
    bool InBody(Reader &r) const
    {
        return section_ != kBetween || Fail(r, "instruction between the main program's ret and a label");
    }
    // aL indexes constants inside a loop, and in subroutines, which see the aL of the loop
    // they are called from.
    bool CheckRelative(Reader &r, const ShaderParam &p) const
    {
        return !p.relLoop || loops_ > 0 || section_ == kSubroutine ||
               Fail(r, "aL used as an index outside a loop or a subroutine");
    }

    // Reads the operands of flow instruction `t` into `ins` and checks where it stands.
    bool Read(Reader &r, DWORD t, ParsedShader &s, ShaderInstruction &ins)
    {
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (!extended_ && (opcode == D3DSIO_IFC || opcode == D3DSIO_BREAK || opcode == D3DSIO_BREAKC))
            return Fail(r, "if_comp, break and break_comp need vs_2_x");
        if (opcode == D3DSIO_LABEL)
            return Label(r, s, ins);
        if (section_ == kBetween)
            return Fail(r, "instruction between the main program's ret and a label");
        switch (opcode) {
        case D3DSIO_REP:
            return Operand(r, D3DSPR_CONSTINT, 16, s, ins) && Open(r, kRep);
        case D3DSIO_LOOP:
            return Operand(r, D3DSPR_LOOP, 1, s, ins) && Operand(r, D3DSPR_CONSTINT, 16, s, ins) && Open(r, kLoop);
        case D3DSIO_IF:
            return Operand(r, D3DSPR_CONSTBOOL, 16, s, ins) && Open(r, kIf);
        case D3DSIO_IFC:
            return Compared(r, t, s, ins) && Open(r, kIfc);
        case D3DSIO_ELSE:
            if (open_.empty() || (open_.back() != kIf && open_.back() != kIfc))
                return Fail(r, "else outside an if");
            open_.back() = open_.back() == kIf ? kIfElse : kIfcElse;
            return open_.back() != kIfElse || Count(r);
        case D3DSIO_ENDIF: return Close(r, kIf, "endif");
        case D3DSIO_ENDREP: return Close(r, kRep, "endrep");
        case D3DSIO_ENDLOOP: return Close(r, kLoop, "endloop");
        case D3DSIO_BREAK:
        case D3DSIO_BREAKC:
            if (std::find(open_.begin(), open_.end(), kRep) == open_.end() &&
                std::find(open_.begin(), open_.end(), kLoop) == open_.end())
                return Fail(r, "break outside a loop or rep");
            return opcode == D3DSIO_BREAK || Compared(r, t, s, ins);
        case D3DSIO_CALL:
        case D3DSIO_CALLNZ:
            if (!Operand(r, D3DSPR_LABEL, kLabels, s, ins) ||
                (opcode == D3DSIO_CALLNZ && !Operand(r, D3DSPR_CONSTBOOL, 16, s, ins)) || !Count(r))
                return false;
            routines_.back().calls.push_back({ins.sources[0].regNum, loops_ + reps_});
            return true;
        case D3DSIO_RET:
            if (!open_.empty())
                return Fail(r, "ret inside an open block");
            section_ = kBetween;
            return true;
        default:
            return Fail(r, "opcode " + std::to_string(opcode) + " is not accepted in a vertex shader");
        }
    }

    // At the end token: nothing left open, every call's label defined, no recursion, and
    // the calls and the loops across them within their depths.
    bool Finish(Reader &r)
    {
        if (!open_.empty())
            return Fail(r, "a rep, loop or if is left open at the end");
        if (section_ == kSubroutine)
            return Fail(r, "subroutine l" + std::to_string(routines_.back().label) + " has no ret");
        std::vector<int> state(routines_.size(), 0);
        int calls = 0, loops = 0;
        return Walk(r, 0, state, calls, loops) && (calls <= callLimit_ || Fail(r, "calls nested too deep")) &&
               (loops <= loopLimit_ || Fail(r, "loops and reps nested too deep across calls"));
    }

private:
    enum Block { kRep, kLoop, kIf, kIfElse, kIfc, kIfcElse };
    enum Section { kMain, kBetween, kSubroutine };
    static constexpr DWORD kLabels = 16;
    static constexpr int kStaticFlowCount = 16;    // if b#, its else, rep, loop, call, callnz
    struct Routine {
        DWORD label = 0;
        int loops = 0;                                // deepest loop/rep nesting inside it
        std::vector<std::pair<DWORD, int>> calls;     // the label called, the loop nesting there
    };

    // One operand of `type` numbered below `count`, unmodified and not indexed.
    bool Operand(Reader &r, DWORD type, DWORD count, ParsedShader &s, ShaderInstruction &ins)
    {
        ShaderParam p;
        DWORD t;
        if (!ReadParamToken(r, false, p, t))
            return false;
        if (p.regType != type)
            return Fail(r, "operand of register type " + std::to_string(p.regType) + " where " +
                               (type == D3DSPR_CONSTINT ? "an i#" : type == D3DSPR_CONSTBOOL ? "a b#"
                                : type == D3DSPR_LOOP ? "aL" : "a label") + " belongs");
        if (p.regNum >= count)
            return Fail(r, "flow-control operand number " + std::to_string(p.regNum) + " out of range");
        if (p.modifier != 0 || p.relative)
            return Fail(r, "flow-control operand with a modifier or an index");
        s.readsIntConstants |= type == D3DSPR_CONSTINT;
        s.readsBoolConstants |= type == D3DSPR_CONSTBOOL;
        ins.sources.push_back(p);
        return true;
    }

    // The two scalar sources and the comparison of if_comp and break_comp.
    bool Compared(Reader &r, DWORD t, ParsedShader &s, ShaderInstruction &ins)
    {
        ins.dclUsage = (t & D3DSHADER_COMPARISON_MASK) >> D3DSHADER_COMPARISON_SHIFT;
        if (ins.dclUsage == D3DSPC_RESERVED0 || ins.dclUsage == D3DSPC_RESERVED1)
            return Fail(r, "if_comp or break_comp without a comparison");
        for (int i = 0; i < 2; i++) {
            ShaderParam p;
            if (!ReadParam(r, true, false, p) || !CheckSource(r, p, s, true) || !CheckRelative(r, p) ||
                !CountConstant(r, p, 1, s))
                return false;
            if (p.swizzle != (p.swizzle & 3) * 0x55)
                return Fail(r, "comparison source without a replicate swizzle");
            ins.sources.push_back(p);
        }
        return true;
    }

    bool Count(Reader &r)
    {
        return ++staticCount_ <= kStaticFlowCount || Fail(r, "more than 16 static flow-control instructions");
    }

    bool Open(Reader &r, Block b)
    {
        if (b == kRep || b == kLoop) {
            (b == kRep ? reps_ : loops_)++;
            if (loops_ + reps_ > loopLimit_)
                return Fail(r, "loops and reps nested deeper than " + std::to_string(loopLimit_));
            routines_.back().loops = std::max(routines_.back().loops, loops_ + reps_);
        }
        if (b == kIfc && ++dynamic_ > D3DVS20_MAX_DYNAMICFLOWCONTROLDEPTH)
            return Fail(r, "if_comp nested too deep");
        open_.push_back(b);
        return b == kIfc || Count(r);
    }

    bool Close(Reader &r, Block b, const char *name)
    {
        const bool matches = !open_.empty() && (open_.back() == b || (b == kIf && open_.back() != kRep &&
                                                                        open_.back() != kLoop));
        if (!matches)
            return Fail(r, std::string(name) + " does not close the innermost block");
        if (open_.back() == kIfc || open_.back() == kIfcElse)
            dynamic_--;
        if (b == kRep || b == kLoop)
            (b == kRep ? reps_ : loops_)--;
        open_.pop_back();
        return true;
    }

    bool Label(Reader &r, ParsedShader &s, ShaderInstruction &ins)
    {
        if (section_ != kBetween)
            return Fail(r, section_ == kMain ? "label before the main program's ret" : "label inside a subroutine");
        if (!Operand(r, D3DSPR_LABEL, kLabels, s, ins))
            return false;
        const DWORD label = ins.sources[0].regNum;
        for (const auto &routine : routines_)
            if (&routine != &routines_[0] && routine.label == label)
                return Fail(r, "label l" + std::to_string(label) + " defined twice");
        routines_.push_back(Routine{label, 0, {}});
        section_ = kSubroutine;
        return true;
    }

    // Depth-first over the calls from routine `at`: the deepest call chain and loop
    // nesting below it; `state` marks the routines on the current path.
    bool Walk(Reader &r, size_t at, std::vector<int> &state, int &calls, int &loops)
    {
        state[at] = 1;
        calls = 0;
        loops = routines_[at].loops;
        for (const auto &[label, loopsThere] : routines_[at].calls) {
            size_t callee = 0;
            for (size_t i = 1; i < routines_.size(); i++)
                if (routines_[i].label == label)
                    callee = i;
            if (callee == 0)
                return Fail(r, "call to l" + std::to_string(label) + ", which no label defines");
            if (state[callee] == 1)
                return Fail(r, "subroutine l" + std::to_string(label) + " calls itself");
            int calleeCalls = 0, calleeLoops = 0;
            if (!Walk(r, callee, state, calleeCalls, calleeLoops))
                return false;
            calls = std::max(calls, calleeCalls + 1);
            loops = std::max(loops, loopsThere + calleeLoops);
        }
        state[at] = 0;  // off the path: a routine may be reached again along another one
        return true;
    }

    const bool extended_;
    const int loopLimit_, callLimit_;
    std::vector<Block> open_;
    int loops_ = 0, reps_ = 0, dynamic_ = 0, staticCount_ = 0;
    Section section_ = kMain;
    std::vector<Routine> routines_{1};  // [0] is the main program
};
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
    Flow flow(major2 && minor == 1);

    for (;;) {
        DWORD t;
        bool end;
        if (!NextInstruction(r, D3DVS_END(), t, end))
            return false;
        if (end) {
            if (!flow.Finish(r))
                return false;
            break;
        }
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (t & (D3DSI_COISSUE | D3DSHADER_INSTRUCTION_PREDICATED))
            return Fail(r, "co-issue and predication are not allowed in a vertex shader");
        size_t start = r.pos;
        size_t length = (t & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
        if (!major2 && length != 0)
            return Fail(r, "instruction length field set in a version 1 shader");

        ShaderInstruction ins;
        ins.opcode = opcode;
        if (Flow::IsFlow(opcode)) {
            if (!major2)
                return Fail(r, "flow control needs vs_2_0");
            if (!flow.Read(r, t, out, ins))
                return false;
            out.code.push_back(ins);
        } else if (opcode == D3DSIO_DEFI || opcode == D3DSIO_DEFB) {
            ShaderParam reg;
            if (!major2)
                return Fail(r, "defi and defb need vs_2_0");
            if (!ReadParam(r, major2, true, reg))
                return false;
            const DWORD type = opcode == D3DSIO_DEFI ? D3DSPR_CONSTINT : D3DSPR_CONSTBOOL;
            if (reg.regType != type || reg.regNum >= 16)
                return Fail(r, opcode == D3DSIO_DEFI ? "defi of a register other than i0..i15"
                                                     : "defb of a register other than b0..b15");
            std::vector<int> values(opcode == D3DSIO_DEFI ? 4 : 1);
            for (int &v : values) {
                DWORD bits;
                if (!r.Next(bits))
                    return false;
                v = int(bits);
            }
            if (opcode == D3DSIO_DEFI)
                out.defsI.emplace_back(reg.regNum, values);
            else
                out.defsB.emplace_back(reg.regNum, values[0] != 0);
        } else if (opcode == D3DSIO_DCL) {
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
            if (!flow.InBody(r))
                return false;
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
                if (!ReadParam(r, major2, false, p) || !CheckSource(r, p, out, major2) || !flow.CheckRelative(r, p))
                    return false;
                if (!CountConstant(r, p, MatrixRows(opcode, i), out))
                    return false;
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
