/*
 * shader_assembler.cpp - D3DXAssembleShader and D3DXAssembleShaderFromFileA.
 *
 * Turns vs_1_0, vs_1_1, vs_2_0, vs_2_x, ps_1_1 to ps_1_4 and ps_2_0 assembly into Direct3D 9
 * shader bytecode: the version token, one instruction token per statement followed by its
 * destination and source parameter tokens (for version 2 shaders the instruction token
 * carries the count of the tokens that follow), dcl and def tokens, and the end token; no
 * comment blocks.
 * Vertex instructions: the vs_1_1 arithmetic set (mov add sub mul mad dp3 dp4 m4x4 m4x3
 * m3x4 m3x3 m3x2 rcp rsq min max slt sge exp expp log logp lit frc dst nop) and, for
 * vs_2_0, mova lrp pow crs abs nrm sincos.
 * Vertex registers v#, r#, c# (also relative: c[a0.x + n], cN[a0.x]), a0, oPos, oFog, oPts,
 * oD#, oT#; swizzles, write masks and negation.
 * Flow control (vs_2_0 and vs_2_x): rep/endrep i#, loop aL, i#/endloop, if b#/else/endif,
 * call l#, callnz l#, [!]b#, label l#, ret, defi i# and defb b#, c[aL + n] inside a loop;
 * vs_2_x adds if_comp (if_gt .. if_le), break and break_comp.  The block structure is
 * always checked: blocks close in order, else inside if, break inside loop or rep, a
 * label only after a ret outside any block, every called label defined once, aL inside a
 * loop (or a subroutine); loop/rep blocks and calls nest 1 deep in vs_2_0 and 4 in vs_2_x,
 * and no subroutine calls itself.
 * Pixel shaders (ps_2_0): dcl t#/v# with a write mask, dcl_2d/dcl_cube/dcl_volume s#, def,
 * texld texldp texldb texkill cmp dp2add and the shared arithmetic; registers r#, c0..c31,
 * v0/v1, t#, s#, oC#, oDepth; the _sat and _pp instruction modifiers, negate and _abs
 * sources.  Unless D3DXSHADER_SKIPVALIDATION is given, the rules a device would enforce
 * are checked too: declared inputs and samplers, one constant and one input register
 * read per vertex instruction, temporaries written before they are read, instruction
 * slot limits (ps_2_0: 64 arithmetic, 32 texture), a fully written oPos, a written oC0.
 * ps_1_x: tex, texcoord, texkill (ps_1_4: texld, texcrd with _dz/_dw, phase), mov add sub
 * mul mad lrp dp3 dp4 cnd cmp nop, the result shifts and _sat, the -, 1-, _bias, _bx2 and
 * _x2 source modifiers, replicate swizzles, '+' co-issue; checked: r0 written, registers
 * filled before they are read, texture instructions first, 8 arithmetic instructions (a
 * phase each), co-issued pairs split .rgb / .a, cnd on r0.a before ps_1_4.
 *
 * Relies on shader_lexer.cpp for tokens, D3DXCreateBuffer for the result buffers and
 * tavrok::Diagnostic / ResolvePath from the platform services.  Object-like macros from
 * the caller's D3DXMACRO list and from "#define" are expanded; "#include", predication
 * (setp, p0, breakp), vs_2_x's extra temporaries, vs_3_0, ps_1_x's bump and matrix reads,
 * ps_2_x and ps_3_0 are not supported.
 */
#include <d3dx9.h>
#include <d3dx9shader.h>

#include <tavrok/platform.h>

#include "shader_lexer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace tavrok::d3dx9 {
namespace {

constexpr DWORD kVersion10 = 0x0100;
constexpr DWORD kVersion11 = 0x0101;
constexpr DWORD kVersion20 = 0x0200;
constexpr DWORD kVersion2x = 0x0201;  // vs_2_x: the version token's minor number is 1

constexpr int kTempCount = 12;
constexpr int kInputCount = 16;
constexpr int kConstCount = 256;
constexpr int kIntConstCount = 16;   // i#
constexpr int kBoolConstCount = 16;  // b#
constexpr int kLabelCount = 16;      // l#
constexpr int kPsConstCount = 32;
constexpr int kPsColorInCount = 2;
constexpr int kPsTexCoordCount = 8;
constexpr int kPsSamplerCount = 16;
constexpr int kPsColorOutCount = 4;
constexpr int kPsArithmeticSlots = 64;
constexpr int kPsTextureSlots = 32;
constexpr int kColorOutCount = 2;
constexpr int kTexCoordOutCount = 8;
constexpr size_t kMaxErrors = 50;
constexpr size_t kMaxExpandedTokens = 4096;

// How an instruction reads the components of its sources (for the written-before-read
// check) and what it requires of them.
enum class Reads {
    None,          // nop
    PerComponent,  // component i of the result reads component i of each source
    Dot3,          // x, y, z of each source
    Dot4,          // all four
    Scalar,        // one component, chosen by a replicate swizzle
    Lit,           // x, y and w
    Distance,      // dst: y, z of the first source; y, w of the second
    Matrix,        // first source: `columns` components; second: `rows` whole registers
    Dot2Add,       // x, y of the first two sources; one component of the third
    SinCos,        // one component of the first source; the others are constants
    Texture,       // texld: the coordinates (x, y; w too for texldp and texldb) and a sampler
};

// Which shaders an instruction belongs to.
constexpr unsigned kVs = 1, kPs = 2, kBoth = kVs | kPs;

struct Opcode {
    const char *name;
    DWORD code;
    int sources;
    Reads reads;
    DWORD minVersion;
    int slots;     // instruction slots taken (vs_1_1 counting)
    int rows;      // matrix instructions: registers of the matrix, which is also the
    int columns;   //   number of result components; and components read from the vector
    unsigned stages = kBoth;
    DWORD control = 0;  // the instruction token's specific-control bits (texldp, texldb)
};

// The instructions, in the order of their opcodes.
const Opcode kOpcodes[] = {
    {"nop", D3DSIO_NOP, -1, Reads::None, kVersion10, 1, 0, 0},
    {"mov", D3DSIO_MOV, 1, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"add", D3DSIO_ADD, 2, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"sub", D3DSIO_SUB, 2, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"mad", D3DSIO_MAD, 3, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"mul", D3DSIO_MUL, 2, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"rcp", D3DSIO_RCP, 1, Reads::Scalar, kVersion10, 1, 0, 0},
    {"rsq", D3DSIO_RSQ, 1, Reads::Scalar, kVersion10, 1, 0, 0},
    {"dp3", D3DSIO_DP3, 2, Reads::Dot3, kVersion10, 1, 0, 0},
    {"dp4", D3DSIO_DP4, 2, Reads::Dot4, kVersion10, 1, 0, 0},
    {"min", D3DSIO_MIN, 2, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"max", D3DSIO_MAX, 2, Reads::PerComponent, kVersion10, 1, 0, 0},
    {"slt", D3DSIO_SLT, 2, Reads::PerComponent, kVersion10, 1, 0, 0, kVs},
    {"sge", D3DSIO_SGE, 2, Reads::PerComponent, kVersion10, 1, 0, 0, kVs},
    {"exp", D3DSIO_EXP, 1, Reads::Scalar, kVersion10, 10, 0, 0},
    {"log", D3DSIO_LOG, 1, Reads::Scalar, kVersion10, 10, 0, 0},
    {"lit", D3DSIO_LIT, 1, Reads::Lit, kVersion10, 3, 0, 0, kVs},
    {"dst", D3DSIO_DST, 2, Reads::Distance, kVersion10, 1, 0, 0, kVs},
    {"frc", D3DSIO_FRC, 1, Reads::PerComponent, kVersion10, 3, 0, 0},
    {"m4x4", D3DSIO_M4x4, 2, Reads::Matrix, kVersion10, 4, 4, 4},
    {"m4x3", D3DSIO_M4x3, 2, Reads::Matrix, kVersion10, 3, 3, 4},
    {"m3x4", D3DSIO_M3x4, 2, Reads::Matrix, kVersion10, 4, 4, 3},
    {"m3x3", D3DSIO_M3x3, 2, Reads::Matrix, kVersion10, 3, 3, 3},
    {"m3x2", D3DSIO_M3x2, 2, Reads::Matrix, kVersion10, 2, 2, 3},
    {"mova", D3DSIO_MOVA, 1, Reads::PerComponent, kVersion20, 1, 0, 0, kVs},
    {"expp", D3DSIO_EXPP, 1, Reads::Scalar, kVersion10, 1, 0, 0, kVs},
    {"logp", D3DSIO_LOGP, 1, Reads::Scalar, kVersion10, 1, 0, 0, kVs},
    {"lrp", D3DSIO_LRP, 3, Reads::PerComponent, kVersion20, 2, 0, 0},
    {"pow", D3DSIO_POW, 2, Reads::Scalar, kVersion20, 3, 0, 0},
    {"crs", D3DSIO_CRS, 2, Reads::Dot3, kVersion20, 2, 0, 0},
    {"abs", D3DSIO_ABS, 1, Reads::PerComponent, kVersion20, 1, 0, 0},
    {"nrm", D3DSIO_NRM, 1, Reads::Dot3, kVersion20, 3, 0, 0},
    {"sincos", D3DSIO_SINCOS, 3, Reads::SinCos, kVersion20, 8, 0, 0},
    {"texkill", D3DSIO_TEXKILL, 0, Reads::Dot3, kVersion20, 1, 0, 0, kPs},
    {"texld", D3DSIO_TEX, 2, Reads::Texture, kVersion20, 1, 0, 0, kPs},
    {"texldp", D3DSIO_TEX, 2, Reads::Texture, kVersion20, 1, 0, 0, kPs, D3DSI_TEXLD_PROJECT},
    {"texldb", D3DSIO_TEX, 2, Reads::Texture, kVersion20, 1, 0, 0, kPs, D3DSI_TEXLD_BIAS},
    {"cmp", D3DSIO_CMP, 3, Reads::PerComponent, kVersion20, 1, 0, 0, kPs},
    {"dp2add", D3DSIO_DP2ADD, 3, Reads::Dot2Add, kVersion20, 1, 0, 0, kPs},
};

// The declaration usages by their dcl_ names.
const struct {
    const char *name;
    DWORD usage;
} kUsages[] = {
    {"position", D3DDECLUSAGE_POSITION},       {"blendweight", D3DDECLUSAGE_BLENDWEIGHT},
    {"blendindices", D3DDECLUSAGE_BLENDINDICES}, {"normal", D3DDECLUSAGE_NORMAL},
    {"psize", D3DDECLUSAGE_PSIZE},             {"texcoord", D3DDECLUSAGE_TEXCOORD},
    {"tangent", D3DDECLUSAGE_TANGENT},         {"binormal", D3DDECLUSAGE_BINORMAL},
    {"tessfactor", D3DDECLUSAGE_TESSFACTOR},   {"positiont", D3DDECLUSAGE_POSITIONT},
    {"color", D3DDECLUSAGE_COLOR},             {"fog", D3DDECLUSAGE_FOG},
    {"depth", D3DDECLUSAGE_DEPTH},             {"sample", D3DDECLUSAGE_SAMPLE},
};

// The flow control instructions (vs_2_0 and vs_2_x) and the instruction slots each takes:
// one, as for any instruction; a label only marks where a subroutine begins.
struct FlowOpcode {
    const char *name;
    DWORD code;
    DWORD minVersion;
    int slots;
};

const FlowOpcode kFlowOpcodes[] = {
    {"rep", D3DSIO_REP, kVersion20, 1},       {"endrep", D3DSIO_ENDREP, kVersion20, 1},
    {"loop", D3DSIO_LOOP, kVersion20, 1},     {"endloop", D3DSIO_ENDLOOP, kVersion20, 1},
    {"if", D3DSIO_IF, kVersion20, 1},         {"else", D3DSIO_ELSE, kVersion20, 1},
    {"endif", D3DSIO_ENDIF, kVersion20, 1},   {"call", D3DSIO_CALL, kVersion20, 1},
    {"callnz", D3DSIO_CALLNZ, kVersion20, 1}, {"label", D3DSIO_LABEL, kVersion20, 0},
    {"ret", D3DSIO_RET, kVersion20, 1},       {"break", D3DSIO_BREAK, kVersion2x, 1},
};
// if_comp and break_comp: "if_gt r0.x, c0.y"; the comparison goes into the control bits.
const FlowOpcode kIfCompare = {"if_comp", D3DSIO_IFC, kVersion2x, 1};
const FlowOpcode kBreakCompare = {"break_comp", D3DSIO_BREAKC, kVersion2x, 1};

const struct {
    const char *suffix;
    DWORD comparison;
} kComparisons[] = {
    {"_gt", D3DSPC_GT}, {"_eq", D3DSPC_EQ}, {"_ge", D3DSPC_GE},
    {"_lt", D3DSPC_LT}, {"_ne", D3DSPC_NE}, {"_le", D3DSPC_LE},
};

// True for the name of a flow control instruction or of an integer or boolean constant
// definition, with or without a comparison: for the refusal in pixel shaders.
bool IsFlowName(const std::string &name)
{
    if (name == "defi" || name == "defb")
        return true;
    const std::string base = name.substr(0, name.find('_'));
    for (const FlowOpcode &op : kFlowOpcodes)
        if (name == op.name || ((base == "if" || base == "break") && base == op.name))
            return true;
    return false;
}

// A failure inside one statement: where and why.  Thrown by the statement parser and
// caught once per statement, so that the next line is still checked.
struct SourceError {
    int line;
    int column;
    std::string reason;
};

struct Operand {
    DWORD type = D3DSPR_TEMP;
    unsigned number = 0;
    bool relative = false;
    unsigned relativeComponent = 0;  // component of a0 for relative addressing
    DWORD relativeType = D3DSPR_ADDR;  // a0, or aL (D3DSPR_LOOP) inside a loop
    bool logicalNot = false;         // callnz's !b#
    bool negate = false;
    bool abs = false;                // the _abs source modifier (pixel shaders)
    bool hasSuffix = false;          // a swizzle or mask was written
    DWORD swizzle = 0xE4;            // sources: 2 bits per result component (x y z w)
    DWORD mask = 0xF;                // destinations: write mask bits x=1 y=2 z=4 w=8
    std::string suffix;              // ps_1_x sources: "_bx2", "_bias", "_x2", "_dz", "_dw"
    int line = 0;
    int column = 0;
};

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Digits only, at most four of them (no register or index needs more).
bool ParseSmallNumber(const std::string &text, unsigned &value)
{
    if (text.empty() || text.size() > 4)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

// The parameter token bits of a register: type split over bits 28-30 and 11-12, number
// in bits 0-10, bit 31 always set.
DWORD RegisterBits(DWORD type, unsigned number)
{
    return 0x80000000u | ((type & 7u) << D3DSP_REGTYPE_SHIFT) |
           ((type & 0x18u) << D3DSP_REGTYPE_SHIFT2) | (number & D3DSP_REGNUM_MASK);
}

std::string RegisterName(DWORD type, unsigned number, bool pixel = false)
{
    if (pixel) {
        switch (type) {
        case D3DSPR_TEXTURE: return "t" + std::to_string(number);
        case D3DSPR_SAMPLER: return "s" + std::to_string(number);
        case D3DSPR_COLOROUT: return "oC" + std::to_string(number);
        case D3DSPR_DEPTHOUT: return "oDepth";
        default: break;
        }
    }
    switch (type) {
    case D3DSPR_TEMP: return "r" + std::to_string(number);
    case D3DSPR_INPUT: return "v" + std::to_string(number);
    case D3DSPR_CONST: return "c" + std::to_string(number);
    case D3DSPR_ADDR: return "a" + std::to_string(number);
    case D3DSPR_RASTOUT: return number == D3DSRO_POSITION ? "oPos" : number == D3DSRO_FOG ? "oFog" : "oPts";
    case D3DSPR_ATTROUT: return "oD" + std::to_string(number);
    case D3DSPR_TEXCRDOUT: return "oT" + std::to_string(number);
    case D3DSPR_CONSTINT: return "i" + std::to_string(number);
    case D3DSPR_CONSTBOOL: return "b" + std::to_string(number);
    case D3DSPR_LABEL: return "l" + std::to_string(number);
    case D3DSPR_LOOP: return "aL";
    default: return "register";
    }
}

const char kComponents[] = "xyzw";

// The components (as mask bits) that `swizzle` fetches for the result components in
// `resultMask`.
unsigned SwizzledComponents(DWORD swizzle, unsigned resultMask)
{
    unsigned read = 0;
    for (int i = 0; i < 4; ++i)
        if (resultMask & (1u << i))
            read |= 1u << ((swizzle >> (2 * i)) & 3u);
    return read;
}

std::string ComponentList(unsigned mask)
{
    std::string text;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            text += kComponents[i];
    return text;
}

// One statement's tokens, read front to back.
class StatementReader {
public:
    StatementReader(const std::vector<ShaderToken> &tokens) : tokens_(tokens) {}

    bool AtEnd() const { return next_ >= tokens_.size(); }
    const ShaderToken &Peek() const { return AtEnd() ? end_ : tokens_[next_]; }
    const ShaderToken &Next()
    {
        const ShaderToken &token = Peek();
        if (!AtEnd())
            ++next_;
        return token;
    }
    bool IsPunct(char c) const { return Peek().kind == ShaderToken::Punct && Peek().text[0] == c; }
    bool TakePunct(char c)
    {
        if (!IsPunct(c))
            return false;
        ++next_;
        return true;
    }
    void ExpectPunct(char c, const char *what)
    {
        if (!TakePunct(c))
            Fail(Peek(), std::string("expected ") + what + Found());
    }
    // " but found 'x'" for the next token, or " at the end of the line".
    std::string Found() const
    {
        if (AtEnd())
            return " at the end of the line";
        return " but found '" + Peek().text + "'";
    }
    [[noreturn]] void Fail(const ShaderToken &at, std::string reason) const
    {
        throw SourceError{at.line, at.column, std::move(reason)};
    }
    void SetEndPosition(int line, int column) { end_ = ShaderToken{ShaderToken::Newline, "", line, column}; }

private:
    const std::vector<ShaderToken> &tokens_;
    size_t next_ = 0;
    ShaderToken end_{ShaderToken::Newline, "", 0, 0};
};

class Assembler {
public:
    Assembler(std::string name, DWORD flags)
        : name_(std::move(name)), validate_((flags & D3DXSHADER_SKIPVALIDATION) == 0) {}

    void AddMacros(const D3DXMACRO *defines);
    void Run(const char *source, size_t length);

    const std::vector<DWORD> &Code() const { return code_; }
    const std::vector<SourceError> &Errors() const { return errors_; }
    std::string ErrorText() const;

private:
    void Error(int line, int column, std::string reason);
    void Directive(const std::vector<ShaderToken> &line);
    std::vector<ShaderToken> Expand(const std::vector<ShaderToken> &line);
    void ExpandInto(const ShaderToken &token, std::vector<ShaderToken> &out,
                    std::set<std::string> &active, int depth);

    void Statement(const std::vector<ShaderToken> &tokens);
    void Version(const std::vector<ShaderToken> &tokens);
    void Declaration(StatementReader &in, const ShaderToken &opToken, const std::string &usageText);
    void PixelDeclaration(StatementReader &in, const ShaderToken &opToken, const std::string &usageText);
    void Definition(StatementReader &in, const ShaderToken &opToken);
    void ConstantDefinition(StatementReader &in, const ShaderToken &opToken, bool integer);
    bool FlowStatement(StatementReader &in, const ShaderToken &opToken, const std::string &name);
    Operand FlowRegister(StatementReader &in, DWORD type, const char *instruction);
    void CheckFlow(StatementReader &in, const ShaderToken &opToken, DWORD code);
    void CountSlots(StatementReader &in, const ShaderToken &opToken, int slots);
    void AppendSource(std::vector<DWORD> &parameters, const Operand &s) const;
    int CallDepth(int routine, std::map<int, int> &depth);
    void CheckCallNesting();
    void Instruction(StatementReader &in, const ShaderToken &opToken, const Opcode &op, DWORD dstModifier);
    void CheckPixelOperands(StatementReader &in, const ShaderToken &opToken, const Opcode &op, const Operand &dst,
                            const std::vector<Operand> &src);
    std::string Name(const Operand &o) const { return RegisterName(o.type, o.number, pixel_); }
    void Finish(int line, int column);

    // ps_1_1 .. ps_1_4
    void Ps1Statement(StatementReader &in);
    void Ps1Texture(StatementReader &in, const ShaderToken &opToken, const std::string &name);
    void Ps1Arithmetic(StatementReader &in, const ShaderToken &opToken, const std::string &name, bool coissue);
    DWORD Ps1SourceToken(StatementReader &in, Operand &src, bool texture);
    void Ps1CheckRead(const Operand &src, unsigned components);

    void ParseRegister(StatementReader &in, Operand &operand, bool source = false);
    bool PixelRegister(std::string name, Operand &operand, unsigned &limit, std::string &digits) const;
    Operand ParseDestination(StatementReader &in);
    void ParseWriteMask(StatementReader &in, Operand &dst);
    Operand ParseSource(StatementReader &in);
    DWORD ParseSwizzle(StatementReader &in, std::string *modifier = nullptr);
    void ParseRelative(StatementReader &in, Operand &operand);
    float ParseFloat(StatementReader &in);
    void Emit(DWORD opcode, const std::vector<DWORD> &parameters);
    void CheckBeforeInstructions(const ShaderToken &at, const char *what);
    void CheckReads(const Opcode &op, const Operand &dst, const std::vector<Operand> &src);
    void CheckTempRead(const Operand &at, unsigned number, unsigned components);

    std::string name_;
    bool validate_;
    DWORD version_ = 0;
    bool pixel_ = false;  // a ps_2_0 or ps_1_x shader
    unsigned psMinor_ = 0;  // ps_1_x: the minor version (1 to 4); 0 for other shaders
    bool versionFailed_ = false;
    std::vector<DWORD> code_;
    std::vector<SourceError> errors_;
    std::map<std::string, std::vector<ShaderToken>> macros_;

    int lastLine_ = 0;
    bool instructionSeen_ = false;
    int slots_ = 0;
    bool slotErrorReported_ = false;
    unsigned tempWritten_[kTempCount] = {};
    unsigned addressWritten_ = 0;
    unsigned positionWritten_ = 0;
    bool inputDeclared_[kInputCount] = {};
    std::set<DWORD> usagesDeclared_;
    // Pixel shaders: declared t# and s#, what oC0 got, texture and arithmetic slots used.
    bool texCoordDeclared_[kPsTexCoordCount] = {};
    bool samplerDeclared_[kPsSamplerCount] = {};
    unsigned colorWritten_ = 0;
    int textureSlots_ = 0;
    // ps_1_x: t# loaded by tex/texcoord or written (ps_1_1..1_3), the phase, what the
    // current phase has used, the instruction a co-issued one pairs with.
    unsigned textureWritten_[kPsTexCoordCount] = {};
    bool phaseSeen_ = false;
    bool arithmeticInPhase_ = false;
    int ps1Arithmetic_ = 0;
    int ps1Texture_ = 0;
    int colourReadLine_ = 0, colourReadColumn_ = 0;  // ps_1_4: a v# read before any phase
    unsigned pairMask_ = 0;  // the write mask of the last arithmetic instruction; 0: none to pair with

    // Flow control: the open blocks, innermost last; the labels defined and the calls to
    // check against them at the end; whether a ret outside any block has just ended the
    // main program or a subroutine, and whether a subroutine (a label) has begun.
    struct Block {
        DWORD code;  // D3DSIO_LOOP, D3DSIO_REP, D3DSIO_IF or D3DSIO_IFC
        int line, column;
        bool sawElse;
    };
    std::vector<Block> blocks_;
    std::map<unsigned, int> labelLines_;
    std::vector<std::pair<Operand, int>> calls_;  // each call's label and its routine (-1: the main program)
    bool afterRet_ = false;
    int subroutineLine_ = 0;  // the line of the label that began the current subroutine
    unsigned subroutineLabel_ = 0;
    int LoopDepth(bool withRep) const
    {
        int depth = 0;
        for (const Block &b : blocks_)
            depth += b.code == D3DSIO_LOOP || (withRep && b.code == D3DSIO_REP);
        return depth;
    }
};

void Assembler::Error(int line, int column, std::string reason)
{
    if (errors_.size() < kMaxErrors)
        errors_.push_back(SourceError{line, column, std::move(reason)});
}

std::string Assembler::ErrorText() const
{
    std::string text;
    for (const SourceError &error : errors_) {
        text += name_;
        if (error.line > 0)
            text += "(" + std::to_string(error.line) + "," + std::to_string(error.column) + ")";
        text += ": error: " + error.reason + "\n";
    }
    return text;
}

void Assembler::AddMacros(const D3DXMACRO *defines)
{
    for (; defines && defines->Name; ++defines) {
        std::vector<ShaderToken> name = LexShader(defines->Name, strlen(defines->Name));
        if (name.size() != 2 || name[0].kind != ShaderToken::Identifier) {
            Error(0, 0, std::string("macro name '") + defines->Name + "' is not an identifier");
            continue;
        }
        const char *body = defines->Definition ? defines->Definition : "";
        std::vector<ShaderToken> tokens = LexShader(body, strlen(body));
        tokens.erase(std::remove_if(tokens.begin(), tokens.end(),
                                    [](const ShaderToken &t) { return t.kind == ShaderToken::Newline; }),
                     tokens.end());
        macros_[name[0].text] = std::move(tokens);
    }
}

// "#define NAME tokens", "#undef NAME"; everything else is refused.
void Assembler::Directive(const std::vector<ShaderToken> &line)
{
    const ShaderToken &hash = line[0];
    if (line.size() < 2 || line[1].kind != ShaderToken::Identifier) {
        Error(hash.line, hash.column, "expected a directive name after '#'");
        return;
    }
    const std::string directive = line[1].text;
    if (directive == "define" || directive == "undef") {
        if (line.size() < 3 || line[2].kind != ShaderToken::Identifier) {
            Error(line[1].line, line[1].column, "expected a macro name after #" + directive);
            return;
        }
        if (directive == "undef") {
            macros_.erase(line[2].text);
            return;
        }
        std::vector<ShaderToken> body(line.begin() + 3, line.end());
        for (const ShaderToken &token : body) {
            if (token.kind == ShaderToken::Invalid) {
                Error(token.line, token.column, token.text + " in #define (only object-like macros are supported)");
                return;
            }
        }
        macros_[line[2].text] = std::move(body);
        return;
    }
    Error(line[1].line, line[1].column, "#" + directive + " is not supported");
}

void Assembler::ExpandInto(const ShaderToken &token, std::vector<ShaderToken> &out,
                           std::set<std::string> &active, int depth)
{
    if (out.size() > kMaxExpandedTokens)
        return;
    auto macro = token.kind == ShaderToken::Identifier ? macros_.find(token.text) : macros_.end();
    if (macro == macros_.end() || active.count(token.text) || depth > 32) {
        out.push_back(token);
        return;
    }
    active.insert(token.text);
    for (const ShaderToken &inner : macro->second) {
        // Expanded tokens report the position of the macro's use.
        ShaderToken placed = inner;
        placed.line = token.line;
        placed.column = token.column;
        ExpandInto(placed, out, active, depth + 1);
    }
    active.erase(token.text);
}

std::vector<ShaderToken> Assembler::Expand(const std::vector<ShaderToken> &line)
{
    if (macros_.empty())
        return line;
    std::vector<ShaderToken> out;
    std::set<std::string> active;
    for (const ShaderToken &token : line)
        ExpandInto(token, out, active, 0);
    if (out.size() > kMaxExpandedTokens) {
        Error(line[0].line, line[0].column, "macro expansion is too long");
        out.clear();
    }
    return out;
}

void Assembler::Run(const char *source, size_t length)
{
    std::vector<ShaderToken> tokens = LexShader(source, length);
    std::vector<ShaderToken> line;
    for (const ShaderToken &token : tokens) {
        if (token.kind != ShaderToken::Newline) {
            line.push_back(token);
            continue;
        }
        if (!line.empty()) {
            if (line[0].kind == ShaderToken::Punct && line[0].text == "#") {
                Directive(line);
            } else {
                lastLine_ = line[0].line;
                std::vector<ShaderToken> expanded = Expand(line);
                if (!expanded.empty()) {
                    try {
                        Statement(expanded);
                    } catch (const SourceError &error) {
                        Error(error.line, error.column, error.reason);
                    }
                }
            }
            line.clear();
        }
        if (versionFailed_ || errors_.size() >= kMaxErrors)
            return;
    }
    // Whole-shader errors point at the last statement (or the end, for an empty source).
    if (lastLine_ > 0)
        Finish(lastLine_, 1);
    else
        Finish(tokens.back().line, tokens.back().column);
}

void Assembler::Finish(int line, int column)
{
    if (version_ == 0) {
        Error(line, column,
              "no shader version: the source must start with one (vs_1_1, vs_2_0, vs_2_x, ps_1_1 .. ps_1_4, ps_2_0)");
        return;
    }
    for (const Block &b : blocks_) {
        const bool loop = b.code == D3DSIO_LOOP, repeat = b.code == D3DSIO_REP;
        Error(b.line, b.column, std::string(loop ? "loop" : repeat ? "rep" : "if") + " is never closed (no " +
                                    (loop ? "endloop" : repeat ? "endrep" : "endif") + ")");
    }
    if (subroutineLine_ && !afterRet_)
        Error(line, column, "the subroutine l" + std::to_string(subroutineLabel_) + " (line " +
                                std::to_string(subroutineLine_) + ") does not end with ret");
    for (const auto &[call, from] : calls_)
        if (!labelLines_.count(call.number))
            Error(call.line, call.column, "l" + std::to_string(call.number) + " is called but no label defines it");
    if (validate_)
        CheckCallNesting();
    if (validate_ && !pixel_ && positionWritten_ != 0xF)
        Error(line, column, "oPos must be written (all four components)");
    if (validate_ && psMinor_ && tempWritten_[0] == 0)
        Error(line, column, "r0 must be written (it is the pixel's colour)");
    if (validate_ && pixel_ && !psMinor_ && colorWritten_ == 0)
        Error(line, column, "oC0 must be written");
    code_.push_back(D3DVS_END());
}

void Assembler::Statement(const std::vector<ShaderToken> &tokens)
{
    for (const ShaderToken &token : tokens)
        if (token.kind == ShaderToken::Invalid)
            throw SourceError{token.line, token.column, token.text};

    if (version_ == 0) {
        Version(tokens);
        return;
    }
    StatementReader in(tokens);
    const ShaderToken &last = tokens.back();
    in.SetEndPosition(last.line, last.column + static_cast<int>(last.text.size()));
    if (psMinor_) {
        Ps1Statement(in);
        return;
    }
    const ShaderToken &opToken = in.Next();
    if (opToken.kind != ShaderToken::Identifier)
        in.Fail(opToken, "expected an instruction but found '" + opToken.text + "'");
    std::string name = Lower(opToken.text);
    if (afterRet_ && name != "label")
        in.Fail(opToken, "only a label (a subroutine) may follow the ret that ends the main program or a subroutine");

    if (pixel_ && (name == "dcl" || name.compare(0, 4, "dcl_") == 0)) {
        PixelDeclaration(in, opToken, name == "dcl" ? std::string() : name.substr(4));
        return;
    }
    if (name.compare(0, 4, "dcl_") == 0) {
        Declaration(in, opToken, name.substr(4));
        return;
    }
    if (name == "def") {
        Definition(in, opToken);
        return;
    }
    if (name == "defi" || name == "defb") {
        ConstantDefinition(in, opToken, name == "defi");
        return;
    }
    if (FlowStatement(in, opToken, name))
        return;
    if (name.compare(0, 3, "vs_") == 0 || name == "vs" || name.compare(0, 3, "ps_") == 0 || name == "ps")
        in.Fail(opToken, "the shader version may only be given once, on the first line");

    std::string base = name.substr(0, name.find('_'));
    const Opcode *op = nullptr;
    for (const Opcode &candidate : kOpcodes)
        if (base == candidate.name)
            op = &candidate;
    if (!op)
        in.Fail(opToken, "unknown instruction '" + opToken.text + "'");
    if (!(op->stages & (pixel_ ? kPs : kVs)))
        in.Fail(opToken, "'" + base + "' is not " + (pixel_ ? "a pixel" : "a vertex") + " shader instruction");
    // Pixel shaders take _sat and _pp after the instruction, in either order.
    DWORD dstModifier = 0;
    for (size_t at = base.size(); at < name.size();) {
        size_t next = name.find('_', at + 1);
        std::string modifier = name.substr(at, next == std::string::npos ? std::string::npos : next - at);
        if (!pixel_)
            in.Fail(opToken, "instruction modifier '" + name.substr(base.size()) + "' is not allowed in vertex shaders");
        DWORD bit = modifier == "_sat" ? D3DSPDM_SATURATE : modifier == "_pp" ? D3DSPDM_PARTIALPRECISION : 0;
        if (!bit || (dstModifier & bit))
            in.Fail(opToken, "instruction modifier '" + modifier + "' is not allowed here (_sat and _pp are)");
        dstModifier |= bit;
        at = next == std::string::npos ? name.size() : next;
    }
    if (dstModifier && op->sources < 0)
        in.Fail(opToken, std::string(op->name) + " takes no modifiers");
    if (version_ < op->minVersion)
        in.Fail(opToken, "'" + base + "' needs vs_2_0");
    Instruction(in, opToken, *op, dstModifier);
}

// "vs_1_1", "vs.1.1", "vs_2_0", ...: the first token and those that touch it, spelled
// together ("vs.1.1" is three tokens).  Anything after the version is an error of its own,
// reported at that token.
void Assembler::Version(const std::vector<ShaderToken> &tokens)
{
    const ShaderToken &at = tokens[0];
    std::string text = Lower(at.text);
    size_t end = 1;
    while (end < tokens.size() && tokens[end].line == tokens[end - 1].line &&
           tokens[end].column == tokens[end - 1].column + static_cast<int>(tokens[end - 1].text.size())) {
        text += Lower(tokens[end].text);
        ++end;
    }
    std::replace(text.begin(), text.end(), '.', '_');
    versionFailed_ = true;
    if (text == "vs_1_0")
        version_ = kVersion10;
    else if (text == "vs_1_1")
        version_ = kVersion11;
    else if (text == "vs_2_0")
        version_ = kVersion20;
    else if (text == "vs_2_x")
        version_ = kVersion2x;
    else if (text == "ps_2_0")
        version_ = kVersion20, pixel_ = true;
    else if (text.size() == 6 && text.compare(0, 5, "ps_1_") == 0 && text[5] >= '1' && text[5] <= '4')
        psMinor_ = static_cast<unsigned>(text[5] - '0'), version_ = 0x0100 | psMinor_, pixel_ = true;
    else if (text.compare(0, 3, "ps_") == 0)
        throw SourceError{at.line, at.column,
                          "unsupported pixel shader version '" + text + "' (ps_1_1 to ps_1_4 and ps_2_0 are)"};
    else if (text.compare(0, 3, "vs_") == 0)
        throw SourceError{at.line, at.column, "unsupported vertex shader version '" + text +
                                                  "' (vs_1_0, vs_1_1, vs_2_0 and vs_2_x are)"};
    else
        throw SourceError{at.line, at.column,
                          "expected the shader version (vs_1_1, vs_2_0, vs_2_x, ps_1_1 .. ps_1_4 or ps_2_0) "
                          "but found '" +
                              at.text + "'"};
    versionFailed_ = false;
    code_.push_back(pixel_ ? D3DPS_VERSION(version_ >> 8, version_ & 0xFF)
                           : D3DVS_VERSION(version_ >> 8, version_ & 0xFF));
    if (end < tokens.size())
        throw SourceError{tokens[end].line, tokens[end].column,
                          "unexpected '" + tokens[end].text + "' after the shader version"};
}

void Assembler::Emit(DWORD opcode, const std::vector<DWORD> &parameters)
{
    DWORD token = opcode;
    if (version_ >= kVersion20)
        token |= static_cast<DWORD>(parameters.size()) << D3DSI_INSTLENGTH_SHIFT;
    code_.push_back(token);
    code_.insert(code_.end(), parameters.begin(), parameters.end());
}

void Assembler::CheckBeforeInstructions(const ShaderToken &at, const char *what)
{
    if (validate_ && instructionSeen_)
        throw SourceError{at.line, at.column, std::string(what) + " must come before the first instruction"};
}

// A pixel shader's register names: r#, c#, v#, t#, s#, oC#, oDepth.  False for others.
bool Assembler::PixelRegister(std::string name, Operand &operand, unsigned &limit, std::string &digits) const
{
    if (name == "odepth") {
        operand.type = D3DSPR_DEPTHOUT;
        limit = 1;
        digits = "0";
        return true;
    }
    struct Bank {
        const char *prefix;
        DWORD type;
        unsigned count;
    };
    static const Bank banks[] = {{"oc", D3DSPR_COLOROUT, kPsColorOutCount}, {"r", D3DSPR_TEMP, kTempCount},
                                 {"c", D3DSPR_CONST, kPsConstCount},        {"v", D3DSPR_INPUT, kPsColorInCount},
                                 {"t", D3DSPR_TEXTURE, kPsTexCoordCount},   {"s", D3DSPR_SAMPLER, kPsSamplerCount}};
    // ps_1_x: 2 temporaries and 4 texture registers (6 and 6 in ps_1_4), 8 constants, no
    // samplers or output registers (r0 is the colour).
    const unsigned ps14 = psMinor_ == 4;
    const Bank banks1[] = {{"r", D3DSPR_TEMP, ps14 ? 6u : 2u},
                           {"c", D3DSPR_CONST, 8},
                           {"v", D3DSPR_INPUT, kPsColorInCount},
                           {"t", D3DSPR_TEXTURE, ps14 ? 6u : 4u}};
    if (psMinor_) {
        if (name == "odepth")
            return false;
        for (const Bank &bank : banks1) {
            if (name.compare(0, 1, bank.prefix) == 0 && name.size() > 1 && name[1] >= '0' && name[1] <= '9') {
                operand.type = bank.type;
                limit = bank.count;
                digits = name.substr(1);
                return true;
            }
        }
        return false;
    }
    for (const Bank &bank : banks) {
        const size_t length = strlen(bank.prefix);
        if (name.compare(0, length, bank.prefix) == 0 && name.size() > length && name[length] >= '0' &&
            name[length] <= '9') {
            operand.type = bank.type;
            limit = bank.count;
            digits = name.substr(length);
            return true;
        }
    }
    return false;
}

void Assembler::ParseRegister(StatementReader &in, Operand &operand, bool source)
{
    const ShaderToken &token = in.Next();
    operand.line = token.line;
    operand.column = token.column;
    if (token.kind != ShaderToken::Identifier)
        in.Fail(token, "expected a register" + (token.kind == ShaderToken::Newline ? std::string(" at the end of the line")
                                                                                      : " but found '" + token.text + "'"));
    std::string name = Lower(token.text);
    unsigned limit = 0;
    std::string digits;
    if (pixel_) {
        // ps_1_x sources carry their modifier after the name: "r0_bx2", "t0_dw".
        const size_t cut = name.find('_');
        if (source && psMinor_ && cut != std::string::npos) {
            operand.suffix = name.substr(cut);
            name.erase(cut);
        }
        // A ps_2_0 source may carry the _abs modifier: "r0_abs", "-c1_abs".
        if (source && !psMinor_ && name.size() > 4 && name.compare(name.size() - 4, 4, "_abs") == 0) {
            operand.abs = true;
            name.erase(name.size() - 4);
        }
        if (!PixelRegister(name, operand, limit, digits) && !(name == "c" && in.IsPunct('[')))
            in.Fail(token, "'" + token.text + "' is not a " + (psMinor_ ? "ps_1_x" : "pixel shader") + " register");
        if (name == "c")
            in.Fail(token, "relative addressing is not available in pixel shaders");
        if (!ParseSmallNumber(digits, operand.number))
            in.Fail(token, "'" + token.text + "' is not a register");
        if (operand.number >= limit)
            in.Fail(token, "register " + token.text + " is out of range (" + RegisterName(operand.type, 0, true) +
                               " to " + RegisterName(operand.type, limit - 1, true) + ")");
        return;
    }
    if (name == "opos" || name == "ofog" || name == "opts") {
        operand.type = D3DSPR_RASTOUT;
        operand.number = name == "opos" ? D3DSRO_POSITION : name == "ofog" ? D3DSRO_FOG : D3DSRO_POINT_SIZE;
        return;
    } else if (name.compare(0, 2, "od") == 0) {
        operand.type = D3DSPR_ATTROUT;
        limit = kColorOutCount;
        digits = name.substr(2);
    } else if (name.compare(0, 2, "ot") == 0) {
        operand.type = D3DSPR_TEXCRDOUT;
        limit = kTexCoordOutCount;
        digits = name.substr(2);
    } else if (name == "al") {
        if (version_ < kVersion20)
            in.Fail(token, "aL needs vs_2_0 or vs_2_x");
        operand.type = D3DSPR_LOOP;
        return;
    } else if (name[0] == 'i' || name[0] == 'b' || name[0] == 'l') {
        operand.type = name[0] == 'i' ? D3DSPR_CONSTINT : name[0] == 'b' ? D3DSPR_CONSTBOOL : D3DSPR_LABEL;
        limit = name[0] == 'i' ? kIntConstCount : name[0] == 'b' ? kBoolConstCount : kLabelCount;
        digits = name.substr(1);
    } else if (name[0] == 'r' || name[0] == 'v' || name[0] == 'c' || name[0] == 'a') {
        operand.type = name[0] == 'r' ? D3DSPR_TEMP : name[0] == 'v' ? D3DSPR_INPUT
                     : name[0] == 'c' ? D3DSPR_CONST : D3DSPR_ADDR;
        limit = name[0] == 'r' ? kTempCount : name[0] == 'v' ? kInputCount : name[0] == 'c' ? kConstCount : 1;
        digits = name.substr(1);
        if (name == "c" && in.IsPunct('['))
            digits = "0";
    } else {
        in.Fail(token, "'" + token.text + "' is not a register");
    }
    if (!ParseSmallNumber(digits, operand.number))
        in.Fail(token, "'" + token.text + "' is not a register");
    if (operand.number >= limit)
        in.Fail(token, "register " + token.text + " is out of range (" + RegisterName(operand.type, 0) +
                           " to " + RegisterName(operand.type, limit - 1) + ")");
    const DWORD type = operand.type;
    if ((type == D3DSPR_CONSTINT || type == D3DSPR_CONSTBOOL || type == D3DSPR_LABEL) && version_ < kVersion20)
        in.Fail(token, "'" + token.text + "' needs vs_2_0 or vs_2_x");
}

// "[a0.x + n]", "[n + a0.x]" or "[a0.x]" after c or cN; n adds to N.  Inside a loop (or a
// subroutine, which a loop may call) the loop counter aL may take a0's place: "c[aL + n]".
void Assembler::ParseRelative(StatementReader &in, Operand &operand)
{
    const ShaderToken &open = in.Next();
    if (pixel_)
        in.Fail(open, "relative addressing is not available in pixel shaders");
    if (operand.type != D3DSPR_CONST)
        in.Fail(open, "relative addressing works only on constant registers");
    bool haveAddress = false;
    unsigned offset = operand.number;
    do {
        const ShaderToken &term = in.Next();
        if (term.kind == ShaderToken::Number) {
            unsigned value = 0;
            if (!ParseSmallNumber(term.text, value))
                in.Fail(term, "expected a whole register offset but found '" + term.text + "'");
            offset += value;
            if (offset >= kConstCount)
                in.Fail(open, "constant offset " + std::to_string(offset) + " is out of range (0 to 255)");
        } else if (term.kind == ShaderToken::Identifier && Lower(term.text) == "al") {
            if (haveAddress)
                in.Fail(term, "a relative address takes one register (a0 or aL)");
            if (version_ < kVersion20)
                in.Fail(term, "aL needs vs_2_0 or vs_2_x");
            if (!LoopDepth(false) && !subroutineLine_)
                in.Fail(term, "aL is used outside a loop");
            haveAddress = true;
            operand.relativeType = D3DSPR_LOOP;
            operand.relativeComponent = 0;
        } else if (term.kind == ShaderToken::Identifier && Lower(term.text) == "a0") {
            if (haveAddress)
                in.Fail(term, "a relative address takes one register (a0 or aL)");
            haveAddress = true;
            in.ExpectPunct('.', "'.' and a component after a0");
            const ShaderToken &component = in.Next();
            std::string c = Lower(component.text);
            const char *where = c.size() == 1 ? strchr("xyzw", c[0]) : nullptr;
            if (component.kind != ShaderToken::Identifier || !where || c[0] == '\0')
                in.Fail(component, "expected one component of a0 (x, y, z or w) but found '" + component.text + "'");
            operand.relativeComponent = static_cast<unsigned>(where - "xyzw");
            if (version_ < kVersion20 && operand.relativeComponent != 0)
                in.Fail(component, "vs_1_x addresses constants with a0.x only");
        } else {
            in.Fail(term, "expected a0.x, aL or a number in the relative address but found '" + term.text + "'");
        }
    } while (in.TakePunct('+'));
    in.ExpectPunct(']', "']'");
    if (!haveAddress)
        in.Fail(open, "a relative address needs a0 or aL");
    if (offset >= kConstCount)
        in.Fail(open, "constant offset " + std::to_string(offset) + " is out of range (0 to 255)");
    operand.number = offset;
    operand.relative = true;
}

Operand Assembler::ParseDestination(StatementReader &in)
{
    if (in.IsPunct('-'))
        in.Fail(in.Peek(), "a destination cannot be negated");
    Operand dst;
    ParseRegister(in, dst);
    if (in.IsPunct('['))
        in.Fail(in.Peek(), "a destination cannot be addressed relatively");
    if (dst.type == D3DSPR_INPUT || dst.type == D3DSPR_CONST || dst.type == D3DSPR_CONSTINT ||
        dst.type == D3DSPR_CONSTBOOL || dst.type == D3DSPR_LABEL || dst.type == D3DSPR_LOOP ||
        (pixel_ && dst.type == D3DSPR_TEXTURE && (psMinor_ == 0 || psMinor_ == 4)) ||
        (pixel_ && dst.type == D3DSPR_SAMPLER))
        throw SourceError{dst.line, dst.column, Name(dst) + " cannot be written"};
    if (!pixel_ && dst.type == D3DSPR_RASTOUT && dst.number != D3DSRO_POSITION)
        dst.mask = 0x1;  // oFog and oPts are scalars
    ParseWriteMask(in, dst);
    return dst;
}

// ".xyzw" (or ".rgba"), components in order and each at most once.
void Assembler::ParseWriteMask(StatementReader &in, Operand &dst)
{
    if (!in.TakePunct('.'))
        return;
    const ShaderToken &suffix = in.Next();
    std::string text = Lower(suffix.text);
    if (suffix.kind != ShaderToken::Identifier || text.size() > 4)
        in.Fail(suffix, "expected a write mask but found '" + suffix.text + "'");
    unsigned mask = 0;
    int previous = -1;
    for (char c : text) {
        const char *where = strchr("xyzw", c);
        const char *colour = strchr("rgba", c);
        int index = where && c ? static_cast<int>(where - "xyzw") : colour && c ? static_cast<int>(colour - "rgba") : -1;
        if (index < 0)
            in.Fail(suffix, "'" + suffix.text + "' is not a write mask");
        if (index <= previous)
            in.Fail(suffix, "write mask '" + suffix.text + "' must name components once each, in x y z w order");
        previous = index;
        mask |= 1u << index;
    }
    dst.mask = mask;
    dst.hasSuffix = true;
}

Operand Assembler::ParseSource(StatementReader &in)
{
    Operand src;
    if (in.TakePunct('-'))
        src.negate = true;
    ParseRegister(in, src, true);
    if (in.IsPunct('['))
        ParseRelative(in, src);
    if (!pixel_ && src.type == D3DSPR_ADDR)
        in.Fail(in.Peek(), "a0 can only be read inside a relative address");
    const bool readable = src.type == D3DSPR_TEMP || src.type == D3DSPR_INPUT || src.type == D3DSPR_CONST ||
                          (pixel_ && (src.type == D3DSPR_TEXTURE || src.type == D3DSPR_SAMPLER));
    if (!readable)
        in.Fail(in.Peek(), Name(src) + " cannot be read");
    if (in.TakePunct('.')) {
        src.swizzle = ParseSwizzle(in);
        src.hasSuffix = true;
    }
    return src;
}

// The components after a source's '.': "xyzw" or "rgba" letters, a short list repeating
// its last one.  With `modifier`, a ps_1_x modifier written after them ("t0.xyw_dw") is
// cut off into it.
DWORD Assembler::ParseSwizzle(StatementReader &in, std::string *modifier)
{
    const ShaderToken &suffix = in.Next();
    std::string text = Lower(suffix.text);
    const size_t cut = text.find('_');
    if (modifier && cut != std::string::npos) {
        *modifier = text.substr(cut);
        text.erase(cut);
    }
    if (suffix.kind != ShaderToken::Identifier || text.empty() || text.size() > 4)
        in.Fail(suffix, "expected a swizzle but found '" + suffix.text + "'");
    DWORD swizzle = 0;
    unsigned index = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i < text.size()) {
            char c = text[i];
            const char *where = strchr("xyzw", c);
            const char *colour = strchr("rgba", c);
            if (where && c)
                index = static_cast<unsigned>(where - "xyzw");
            else if (colour && c)
                index = static_cast<unsigned>(colour - "rgba");
            else
                in.Fail(suffix, "'" + suffix.text + "' is not a swizzle");
        }
        swizzle |= index << (2 * i);
    }
    return swizzle;
}

float Assembler::ParseFloat(StatementReader &in)
{
    bool negative = false;
    if (in.TakePunct('-'))
        negative = true;
    else
        in.TakePunct('+');
    const ShaderToken &token = in.Next();
    if (token.kind != ShaderToken::Number)
        in.Fail(token, "expected a number but found '" + token.text + "'");
    std::string text = token.text;
    if (!text.empty() && (text.back() == 'f' || text.back() == 'F'))
        text.pop_back();
    float value = 0.0f;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        in.Fail(token, "'" + token.text + "' is not a representable number");
    return negative ? -value : value;
}

// dcl_<usage>[index] v#[.mask]
void Assembler::Declaration(StatementReader &in, const ShaderToken &opToken, const std::string &usageText)
{
    CheckBeforeInstructions(opToken, "dcl");
    size_t digitsAt = usageText.size();
    while (digitsAt > 0 && usageText[digitsAt - 1] >= '0' && usageText[digitsAt - 1] <= '9')
        --digitsAt;
    std::string usageName = usageText.substr(0, digitsAt);
    unsigned index = 0;
    if (digitsAt < usageText.size() && !ParseSmallNumber(usageText.substr(digitsAt), index))
        in.Fail(opToken, "usage index of '" + opToken.text + "' is out of range");
    if (index > MAXD3DDECLUSAGEINDEX)
        in.Fail(opToken, "usage index " + std::to_string(index) + " is out of range (0 to 15)");
    const DWORD *usage = nullptr;
    for (const auto &entry : kUsages)
        if (usageName == entry.name)
            usage = &entry.usage;
    if (!usage)
        in.Fail(opToken, "unknown declaration usage '" + usageName + "'");

    Operand dst;
    ParseRegister(in, dst);
    if (dst.type != D3DSPR_INPUT || in.IsPunct('['))
        throw SourceError{dst.line, dst.column, "vertex shaders declare only input registers (v#)"};
    ParseWriteMask(in, dst);
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the declared register");
    if (validate_) {
        if (inputDeclared_[dst.number])
            in.Fail(opToken, "v" + std::to_string(dst.number) + " is declared twice");
        if (!usagesDeclared_.insert(*usage | (index << 16)).second)
            in.Fail(opToken, "usage " + usageName + std::to_string(index) + " is declared twice");
    }
    inputDeclared_[dst.number] = true;
    Emit(D3DSIO_DCL, {0x80000000u | (*usage << D3DSP_DCL_USAGE_SHIFT) | (index << D3DSP_DCL_USAGEINDEX_SHIFT),
                      RegisterBits(D3DSPR_INPUT, dst.number) | (dst.mask << 16)});
}

// dcl t#[.mask], dcl v#[.mask]; dcl_2d, dcl_cube, dcl_volume s#.
void Assembler::PixelDeclaration(StatementReader &in, const ShaderToken &opToken, const std::string &usageText)
{
    CheckBeforeInstructions(opToken, "dcl");
    DWORD textureType = 0;
    if (usageText == "2d")
        textureType = D3DSTT_2D;
    else if (usageText == "cube")
        textureType = D3DSTT_CUBE;
    else if (usageText == "volume")
        textureType = D3DSTT_VOLUME;
    else if (!usageText.empty())
        in.Fail(opToken, "unknown pixel shader declaration '" + opToken.text + "' (dcl, dcl_2d, dcl_cube, dcl_volume)");
    Operand dst;
    ParseRegister(in, dst);
    if (textureType && dst.type != D3DSPR_SAMPLER)
        throw SourceError{dst.line, dst.column, opToken.text + " declares a sampler (s#)"};
    if (!textureType && dst.type != D3DSPR_TEXTURE && dst.type != D3DSPR_INPUT)
        throw SourceError{dst.line, dst.column, "dcl declares t# or v# (samplers take dcl_2d, dcl_cube or dcl_volume)"};
    if (textureType && in.IsPunct('.'))
        in.Fail(in.Peek(), "a sampler declaration takes no write mask");
    ParseWriteMask(in, dst);
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the declared register");
    bool &declared = dst.type == D3DSPR_SAMPLER   ? samplerDeclared_[dst.number]
                     : dst.type == D3DSPR_TEXTURE ? texCoordDeclared_[dst.number]
                                                  : inputDeclared_[dst.number];
    if (validate_ && declared)
        in.Fail(opToken, Name(dst) + " is declared twice");
    declared = true;
    Emit(D3DSIO_DCL, {0x80000000u | textureType, RegisterBits(dst.type, dst.number) | (dst.mask << 16)});
}

// def c#, x, y, z, w
void Assembler::Definition(StatementReader &in, const ShaderToken &opToken)
{
    CheckBeforeInstructions(opToken, "def");
    Operand dst;
    ParseRegister(in, dst);
    if (dst.type != D3DSPR_CONST || in.IsPunct('['))
        in.Fail(opToken, "def sets constant registers (c#) only");
    if (in.IsPunct('.'))
        in.Fail(in.Peek(), "def takes no write mask");
    std::vector<DWORD> parameters = {RegisterBits(D3DSPR_CONST, dst.number) | D3DSP_WRITEMASK_ALL};
    for (int i = 0; i < 4; ++i) {
        in.ExpectPunct(',', "',' and four numbers");
        float value = ParseFloat(in);
        DWORD bits;
        memcpy(&bits, &value, sizeof bits);
        parameters.push_back(bits);
    }
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the four values");
    Emit(D3DSIO_DEF, parameters);
}

// defi i#, x, y, z, w (whole numbers); defb b#, true|false.
void Assembler::ConstantDefinition(StatementReader &in, const ShaderToken &opToken, bool integer)
{
    const char *name = integer ? "defi" : "defb";
    if (pixel_ || version_ < kVersion20)
        in.Fail(opToken, std::string(name) + " needs vs_2_0 or vs_2_x");
    CheckBeforeInstructions(opToken, name);
    Operand dst;
    ParseRegister(in, dst);
    const DWORD type = integer ? D3DSPR_CONSTINT : D3DSPR_CONSTBOOL;
    if (dst.type != type || in.IsPunct('['))
        throw SourceError{dst.line, dst.column,
                          integer ? "defi sets integer constants (i#) only" : "defb sets boolean constants (b#) only"};
    if (in.IsPunct('.'))
        in.Fail(in.Peek(), std::string(name) + " takes no write mask");
    std::vector<DWORD> parameters = {RegisterBits(type, dst.number) | D3DSP_WRITEMASK_ALL};
    for (int i = 0; i < (integer ? 4 : 1); ++i) {
        in.ExpectPunct(',', integer ? "',' and four whole numbers" : "',' and true or false");
        if (!integer) {
            const ShaderToken &value = in.Next();
            const std::string text = Lower(value.text);
            if (value.kind != ShaderToken::Identifier || (text != "true" && text != "false"))
                in.Fail(value, "expected true or false but found '" + value.text + "'");
            parameters.push_back(text == "true" ? 1u : 0u);
            continue;
        }
        const bool negative = in.TakePunct('-');
        if (!negative)
            in.TakePunct('+');
        const ShaderToken &value = in.Next();
        long long number = 0;
        auto result = std::from_chars(value.text.data(), value.text.data() + value.text.size(), number);
        if (value.kind != ShaderToken::Number || result.ec != std::errc() ||
            result.ptr != value.text.data() + value.text.size())
            in.Fail(value, "expected a whole number but found '" + value.text + "'");
        if (negative)
            number = -number;
        if (number < INT32_MIN || number > INT32_MAX)
            in.Fail(value, "'" + value.text + "' is out of range for an integer constant");
        parameters.push_back(static_cast<DWORD>(static_cast<int32_t>(number)));
    }
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the value" + (integer ? "s" : ""));
    Emit(integer ? D3DSIO_DEFI : D3DSIO_DEFB, parameters);
}

// The register operand of a flow control instruction: i#, b# (callnz: also !b#), l# or aL,
// without swizzle or relative addressing.
Operand Assembler::FlowRegister(StatementReader &in, DWORD type, const char *instruction)
{
    Operand operand;
    const bool logicalNot = type == D3DSPR_CONSTBOOL && std::string(instruction) == "callnz" && in.TakePunct('!');
    ParseRegister(in, operand);
    operand.logicalNot = logicalNot;
    if (operand.type != type)
        throw SourceError{operand.line, operand.column,
                          std::string(instruction) + " takes " +
                              (type == D3DSPR_LOOP ? std::string("aL") : RegisterName(type, 0).substr(0, 1) + "#") +
                              " here, not " + Name(operand)};
    if (in.IsPunct('.') || in.IsPunct('['))
        in.Fail(in.Peek(), std::string(instruction) + " takes " + Name(operand) + " without a swizzle or index");
    return operand;
}

// The block structure: what an instruction opens, closes or needs around it.
void Assembler::CheckFlow(StatementReader &in, const ShaderToken &opToken, DWORD code)
{
    auto opened = [&](const Block &b) {
        const char *kind = b.code == D3DSIO_LOOP ? "loop" : b.code == D3DSIO_REP ? "rep" : "if";
        return std::string(kind) + " opened at line " + std::to_string(b.line);
    };
    switch (code) {
    case D3DSIO_LOOP:
    case D3DSIO_REP: {
        const int limit = version_ == kVersion2x ? 4 : 1;
        if (validate_ && LoopDepth(true) >= limit)
            in.Fail(opToken, "loop and rep blocks nest " + std::to_string(limit) + " deep at most in " +
                                 (version_ == kVersion2x ? "vs_2_x" : "vs_2_0"));
        blocks_.push_back(Block{code, opToken.line, opToken.column, false});
        break;
    }
    case D3DSIO_IF:
    case D3DSIO_IFC:
        if (blocks_.size() >= 24)
            in.Fail(opToken, "if blocks nest 24 deep at most");
        blocks_.push_back(Block{code, opToken.line, opToken.column, false});
        break;
    case D3DSIO_ELSE:
        if (blocks_.empty() || (blocks_.back().code != D3DSIO_IF && blocks_.back().code != D3DSIO_IFC))
            in.Fail(opToken, "else outside an if block" +
                                 (blocks_.empty() ? std::string() : " (inside the " + opened(blocks_.back()) + ")"));
        if (blocks_.back().sawElse)
            in.Fail(opToken, "a second else for the " + opened(blocks_.back()));
        blocks_.back().sawElse = true;
        break;
    case D3DSIO_ENDLOOP:
    case D3DSIO_ENDREP:
    case D3DSIO_ENDIF: {
        const DWORD wanted = code == D3DSIO_ENDLOOP ? D3DSIO_LOOP : code == D3DSIO_ENDREP ? D3DSIO_REP : D3DSIO_IF;
        const char *name = code == D3DSIO_ENDLOOP ? "endloop" : code == D3DSIO_ENDREP ? "endrep" : "endif";
        if (blocks_.empty())
            in.Fail(opToken, std::string(name) + " without an open block");
        const DWORD open = blocks_.back().code == D3DSIO_IFC ? DWORD(D3DSIO_IF) : blocks_.back().code;
        if (open != wanted)
            in.Fail(opToken, std::string(name) + " cannot close the " + opened(blocks_.back()));
        blocks_.pop_back();
        break;
    }
    case D3DSIO_BREAK:
    case D3DSIO_BREAKC:
        if (!LoopDepth(true))
            in.Fail(opToken, "break outside a loop or rep block");
        break;
    case D3DSIO_RET:
        if (!blocks_.empty())
            in.Fail(opToken, "ret inside the " + opened(blocks_.back()));
        afterRet_ = true;
        break;
    case D3DSIO_LABEL:
        if (!afterRet_)
            in.Fail(opToken, "a label begins a subroutine: it must follow the ret that ends the code before it");
        break;
    default: break;
    }
}

// rep, loop, if, else, endif, call, callnz, label, ret (vs_2_0) and if_comp, break,
// break_comp (vs_2_x); false when `name` is none of them.
bool Assembler::FlowStatement(StatementReader &in, const ShaderToken &opToken, const std::string &name)
{
    if (!IsFlowName(name) || name == "defi" || name == "defb")
        return false;
    if (pixel_)
        in.Fail(opToken, "'" + opToken.text + "' needs vs_2_0 or vs_2_x (pixel shaders here have no flow control)");
    const size_t cut = name.find('_');
    const std::string base = name.substr(0, cut);
    const FlowOpcode *op = nullptr;
    for (const FlowOpcode &candidate : kFlowOpcodes)
        if (name == candidate.name)
            op = &candidate;
    DWORD comparison = 0;
    if (!op && cut != std::string::npos && (base == "if" || base == "break")) {
        for (const auto &entry : kComparisons)
            if (name.compare(cut, std::string::npos, entry.suffix) == 0)
                comparison = entry.comparison;
        if (!comparison)
            in.Fail(opToken, "unknown comparison '" + name.substr(cut) + "' (_gt, _lt, _ge, _le, _eq or _ne)");
        op = base == "if" ? &kIfCompare : &kBreakCompare;
    }
    if (!op)
        return false;
    if (version_ < op->minVersion)
        in.Fail(opToken,
                "'" + opToken.text + "' needs " + (op->minVersion == kVersion2x ? "vs_2_x" : "vs_2_0 or vs_2_x"));

    std::vector<DWORD> parameters;
    const DWORD kNoSwizzle = D3DSP_NOSWIZZLE;
    auto flowToken = [&](const Operand &o) {
        parameters.push_back(RegisterBits(o.type, o.number) | kNoSwizzle | (o.logicalNot ? D3DSPSM_NOT : 0));
    };
    switch (op->code) {
    case D3DSIO_REP: flowToken(FlowRegister(in, D3DSPR_CONSTINT, "rep")); break;
    case D3DSIO_LOOP:
        flowToken(FlowRegister(in, D3DSPR_LOOP, "loop"));
        in.ExpectPunct(',', "',' and the integer constant (i#) after aL");
        flowToken(FlowRegister(in, D3DSPR_CONSTINT, "loop"));
        break;
    case D3DSIO_IF: flowToken(FlowRegister(in, D3DSPR_CONSTBOOL, "if")); break;
    case D3DSIO_CALL:
    case D3DSIO_CALLNZ:
    case D3DSIO_LABEL: {
        const char *what = op->name;
        Operand label = FlowRegister(in, D3DSPR_LABEL, what);
        flowToken(label);
        if (op->code == D3DSIO_LABEL) {
            auto defined = labelLines_.find(label.number);
            if (defined != labelLines_.end())
                throw SourceError{label.line, label.column, Name(label) + " is already defined at line " +
                                                                std::to_string(defined->second)};
            labelLines_[label.number] = label.line;
        } else {
            calls_.emplace_back(label, subroutineLine_ ? static_cast<int>(subroutineLabel_) : -1);
        }
        if (op->code == D3DSIO_CALLNZ) {
            in.ExpectPunct(',', "',' and the boolean constant (b#) after the label");
            flowToken(FlowRegister(in, D3DSPR_CONSTBOOL, "callnz"));
        }
        break;
    }
    case D3DSIO_IFC:
    case D3DSIO_BREAKC: {
        // Two float sources, one component each.
        std::vector<Operand> src;
        src.push_back(ParseSource(in));
        in.ExpectPunct(',', "',' and the second source of the comparison");
        src.push_back(ParseSource(in));
        if (validate_) {
            const Opcode compare = {op->name, op->code, 2, Reads::Scalar, op->minVersion, op->slots, 0, 0, kVs};
            CheckReads(compare, Operand(), src);
        }
        for (const Operand &s : src)
            AppendSource(parameters, s);
        break;
    }
    default: break;
    }
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after " + base);
    CheckFlow(in, opToken, op->code);
    if (op->code == D3DSIO_LABEL) {
        afterRet_ = false;
        subroutineLine_ = opToken.line;
        subroutineLabel_ = parameters[0] & D3DSP_REGNUM_MASK;
    }
    CountSlots(in, opToken, op->slots);
    instructionSeen_ = true;
    Emit(op->code | (comparison << D3DSHADER_COMPARISON_SHIFT), parameters);
    return true;
}

// The call levels a routine (a label's number, -1 for the main program) opens below itself;
// `depth` holds those measured, and -2 for those being measured, which a call back into
// them (recursion) meets.  The recursion is as deep as there are labels, 16 at most.
int Assembler::CallDepth(int routine, std::map<int, int> &depth)
{
    auto known = depth.find(routine);
    if (known != depth.end())
        return known->second;
    depth[routine] = -2;
    int deepest = 0;
    for (const auto &[call, from] : calls_) {
        if (from != routine || !labelLines_.count(call.number))
            continue;
        const int inner = CallDepth(static_cast<int>(call.number), depth);
        if (inner == -2)
            Error(call.line, call.column, "l" + std::to_string(call.number) + " is called while it runs (recursion)");
        else
            deepest = std::max(deepest, 1 + inner);
    }
    depth[routine] = deepest;
    return deepest;
}

// Calls nest 1 deep in vs_2_0 (only the main program calls) and 4 deep in vs_2_x; a
// subroutine may not call itself, directly or through others.  One error, at the first
// call found too deep.
void Assembler::CheckCallNesting()
{
    const size_t before = errors_.size();
    std::map<int, int> depth;
    CallDepth(-1, depth);
    for (const auto &entry : labelLines_)
        CallDepth(static_cast<int>(entry.first), depth);
    if (errors_.size() != before)
        return;
    const int limit = version_ == kVersion2x ? 4 : 1;
    for (const auto &[call, from] : calls_) {
        // The main program's calls are level 1, a subroutine's one more than the subroutine.
        auto inner = depth.find(static_cast<int>(call.number));
        const int level = (from < 0 ? 1 : 2) + (inner == depth.end() ? 0 : inner->second);
        if (level > limit) {
            Error(call.line, call.column, "calls nest " + std::to_string(level) + " deep here (" +
                                              (version_ == kVersion2x ? "vs_2_x" : "vs_2_0") + " allows " +
                                              std::to_string(limit) + ")");
            return;
        }
    }
}

void Assembler::CheckTempRead(const Operand &at, unsigned number, unsigned components)
{
    unsigned missing = components & ~tempWritten_[number];
    if (missing)
        throw SourceError{at.line, at.column, "r" + std::to_string(number) + "." + ComponentList(missing) +
                                                  " is read before it is written"};
}

// The rules a device applies to what an instruction reads.
void Assembler::CheckReads(const Opcode &op, const Operand &dst, const std::vector<Operand> &src)
{
    const Operand *constant = nullptr;
    const Operand *input = nullptr;
    for (const Operand &s : src) {
        const Operand **seen = s.type == D3DSPR_CONST ? &constant : s.type == D3DSPR_INPUT ? &input : nullptr;
        if (seen && !pixel_) {
            if (*seen && ((*seen)->number != s.number || (*seen)->relative != s.relative))
                throw SourceError{s.line, s.column, "an instruction can read only one " +
                                                        std::string(s.type == D3DSPR_CONST ? "constant" : "input") +
                                                        " register"};
            *seen = &s;
        }
        if (s.type == D3DSPR_INPUT && !inputDeclared_[s.number])
            throw SourceError{s.line, s.column, "v" + std::to_string(s.number) + " is read but not declared"};
        if (pixel_ && ((s.type == D3DSPR_TEXTURE && !texCoordDeclared_[s.number]) ||
                       (s.type == D3DSPR_SAMPLER && !samplerDeclared_[s.number])))
            throw SourceError{s.line, s.column, Name(s) + " is read but not declared"};
        if (s.relative && s.relativeType == D3DSPR_ADDR && !(addressWritten_ & (1u << s.relativeComponent)))
            throw SourceError{s.line, s.column, std::string("a0.") + kComponents[s.relativeComponent] +
                                                    " is read before it is written"};
    }
    for (size_t i = 0; i < src.size(); ++i) {
        const Operand &s = src[i];
        const bool single = op.reads == Reads::Scalar || (op.reads == Reads::Dot2Add && i == 2) ||
                            (op.reads == Reads::SinCos && i == 0);
        if (single && s.swizzle != (s.swizzle & 3u) * 0x55u)
            throw SourceError{s.line, s.column,
                              op.name + std::string(" needs single-component sources (.x, .y, .z or .w)")};
    }
    for (size_t i = 0; i < src.size(); ++i) {
        const Operand &s = src[i];
        if (s.type != D3DSPR_TEMP)
            continue;
        unsigned resultMask = 0xF;
        switch (op.reads) {
        case Reads::PerComponent: resultMask = dst.mask; break;
        case Reads::Dot3: resultMask = 0x7; break;
        case Reads::Dot4: resultMask = 0xF; break;
        case Reads::Scalar: resultMask = 0x1; break;
        case Reads::Lit: resultMask = 0xB; break;
        case Reads::Distance: resultMask = i == 0 ? 0x6 : 0xA; break;
        case Reads::Matrix: resultMask = i == 0 ? (1u << op.columns) - 1 : 0xF; break;
        case Reads::Dot2Add: resultMask = i < 2 ? 0x3 : 0x1; break;
        case Reads::SinCos: resultMask = 0x1; break;
        case Reads::Texture: resultMask = op.control ? 0xB : 0x3; break;
        case Reads::None: break;
        }
        unsigned components = SwizzledComponents(s.swizzle, resultMask);
        unsigned rows = op.reads == Reads::Matrix && i == 1 ? static_cast<unsigned>(op.rows) : 1u;
        for (unsigned row = 0; row < rows; ++row)
            CheckTempRead(s, s.number + row, components);
    }
}

// The pixel shader rules of an instruction's operands: where texld reads and writes,
// sincos's write mask and constants, samplers read only by texld, the slot limits.
void Assembler::CheckPixelOperands(StatementReader &in, const ShaderToken &opToken, const Opcode &op,
                                   const Operand &dst, const std::vector<Operand> &src)
{
    const bool texld = op.reads == Reads::Texture;
    for (size_t i = 0; i < src.size(); ++i) {
        const Operand &s = src[i];
        if ((s.type == D3DSPR_SAMPLER) != (texld && i == 1))
            throw SourceError{s.line, s.column, texld && i == 1 ? "texld samples through a sampler (s#)"
                                                                 : Name(s) + " is read only by texld"};
    }
    if (texld) {
        if (dst.type != D3DSPR_TEMP)
            throw SourceError{dst.line, dst.column, op.name + std::string(" writes a temporary register (r#)")};
        if (src[0].type != D3DSPR_TEXTURE && src[0].type != D3DSPR_TEMP)
            throw SourceError{src[0].line, src[0].column, op.name + std::string(" reads its coordinates from t# or r#")};
        for (const Operand &s : src)
            if (s.negate || s.abs || s.hasSuffix)
                throw SourceError{s.line, s.column, op.name + std::string(" takes its operands without modifiers or swizzles")};
    }
    if (op.reads == Reads::SinCos) {
        if (dst.mask & ~0x3u)
            in.Fail(opToken, "sincos writes .x, .y or .xy");
        if (src[1].type != D3DSPR_CONST || src[2].type != D3DSPR_CONST)
            in.Fail(opToken, "sincos takes its second and third sources from constants");
    }
    if (!validate_)
        return;
    int &used = texld || op.code == D3DSIO_TEXKILL ? textureSlots_ : slots_;
    const int limit = texld || op.code == D3DSIO_TEXKILL ? kPsTextureSlots : kPsArithmeticSlots;
    used += op.code == D3DSIO_EXP || op.code == D3DSIO_LOG || op.code == D3DSIO_FRC ? 1 : op.slots;
    if (used > limit && !slotErrorReported_) {
        slotErrorReported_ = true;
        in.Fail(opToken, "too many " + std::string(limit == kPsTextureSlots ? "texture" : "arithmetic") +
                             " instructions (more than " + std::to_string(limit) + " slots)");
    }
}

void Assembler::Instruction(StatementReader &in, const ShaderToken &opToken, const Opcode &op, DWORD dstModifier)
{
    std::vector<DWORD> parameters;
    Operand dst;
    std::vector<Operand> src;
    if (op.code == D3DSIO_TEXKILL) {
        // texkill r# or t#: the register is written as a destination token.
        ParseRegister(in, dst);
        if (dst.type != D3DSPR_TEMP && dst.type != D3DSPR_TEXTURE)
            throw SourceError{dst.line, dst.column, "texkill reads r# or t#"};
        if (!in.AtEnd())
            in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the operand of texkill");
        if (validate_) {
            if (dst.type == D3DSPR_TEMP)
                CheckTempRead(dst, dst.number, 0x7);
            else if (!texCoordDeclared_[dst.number])
                throw SourceError{dst.line, dst.column, Name(dst) + " is read but not declared"};
        }
        CheckPixelOperands(in, opToken, op, dst, src);
        instructionSeen_ = true;
        Emit(op.code, {RegisterBits(dst.type, dst.number) | D3DSP_WRITEMASK_ALL});
        return;
    }
    if (op.sources >= 0) {
        dst = ParseDestination(in);
        for (int i = 0; i < op.sources; ++i) {
            in.ExpectPunct(',', i == 0 ? "',' and a source after the destination" : "',' and another source");
            src.push_back(ParseSource(in));
        }
    }
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the operands of " + op.name);

    if (op.reads == Reads::Matrix) {
        const Operand &matrix = src[1];
        unsigned limit = matrix.type == D3DSPR_TEMP    ? kTempCount
                         : matrix.type == D3DSPR_INPUT ? kInputCount
                         : pixel_                      ? kPsConstCount
                                                       : kConstCount;
        if (matrix.number + op.rows > limit)
            in.Fail(opToken, std::string(op.name) + " reads " + std::to_string(op.rows) + " registers from " +
                                 RegisterName(matrix.type, matrix.number) + ", past the last one");
        if (matrix.negate || matrix.hasSuffix)
            in.Fail(opToken, std::string(op.name) + " takes its matrix without swizzle or negation");
        unsigned required = (1u << op.rows) - 1;
        if (!dst.hasSuffix)
            dst.mask = required;
        else if (validate_ && dst.mask != required)
            in.Fail(opToken, std::string(op.name) + " writes ." + ComponentList(required) + " only");
        if (validate_ && dst.type == D3DSPR_TEMP) {
            bool overlaps = (src[0].type == D3DSPR_TEMP && src[0].number == dst.number) ||
                            (matrix.type == D3DSPR_TEMP && dst.number >= matrix.number &&
                             dst.number < matrix.number + op.rows);
            if (overlaps)
                in.Fail(opToken, std::string(op.name) + " cannot write a register it reads");
        }
    }
    if (op.code == D3DSIO_CRS) {
        if (!dst.hasSuffix)
            dst.mask = 0x7;
        else if (dst.mask & 0x8)
            in.Fail(opToken, "crs writes .x, .y and .z only");
    }
    if (pixel_) {
        CheckPixelOperands(in, opToken, op, dst, src);
    } else if (dst.type == D3DSPR_ADDR) {
        if (op.code != D3DSIO_MOV && op.code != D3DSIO_MOVA)
            in.Fail(opToken, std::string("a0 can only be written by ") + (version_ >= kVersion20 ? "mova" : "mov"));
        if (version_ >= kVersion20 && op.code == D3DSIO_MOV)
            in.Fail(opToken, "vs_2_0 writes a0 with mova");
        if (version_ < kVersion20 && dst.mask != 0x1)
            in.Fail(opToken, "vs_1_x writes a0.x only");
    } else if (op.code == D3DSIO_MOVA) {
        in.Fail(opToken, "mova writes a0 only");
    }

    if (validate_) {
        CheckReads(op, dst, src);
    }
    if (!pixel_)
        CountSlots(in, opToken, op.slots);
    instructionSeen_ = true;
    if (op.sources >= 0) {
        if (dst.type == D3DSPR_TEMP)
            tempWritten_[dst.number] |= dst.mask;
        else if (pixel_ && dst.type == D3DSPR_COLOROUT && dst.number == 0)
            colorWritten_ |= dst.mask;
        else if (!pixel_ && dst.type == D3DSPR_ADDR)
            addressWritten_ |= dst.mask;
        else if (!pixel_ && dst.type == D3DSPR_RASTOUT && dst.number == D3DSRO_POSITION)
            positionWritten_ |= dst.mask;

        parameters.push_back(RegisterBits(dst.type, dst.number) | (dst.mask << 16) | dstModifier);
        for (const Operand &s : src)
            AppendSource(parameters, s);
    }
    Emit(op.code | op.control, parameters);
}

void Assembler::AppendSource(std::vector<DWORD> &parameters, const Operand &s) const
{
    DWORD token = RegisterBits(s.type, s.number) | (s.swizzle << D3DVS_SWIZZLE_SHIFT);
    if (s.abs)
        token |= s.negate ? D3DSPSM_ABSNEG : D3DSPSM_ABS;
    else if (s.negate)
        token |= D3DSPSM_NEG;
    else if (s.logicalNot)
        token |= D3DSPSM_NOT;
    if (s.relative)
        token |= D3DVS_ADDRMODE_RELATIVE;
    parameters.push_back(token);
    // vs_2_0 names the address register (a0 and its component, or aL) in a token of its
    // own; vs_1_x implies a0.x.
    if (s.relative && version_ >= kVersion20)
        parameters.push_back(RegisterBits(s.relativeType, 0) | ((s.relativeComponent * 0x55u) << 16));
}

// The vertex shader instruction slots: 128 in vs_1_x, 256 in vs_2_0 and vs_2_x.
void Assembler::CountSlots(StatementReader &in, const ShaderToken &opToken, int slots)
{
    if (!validate_)
        return;
    slots_ += slots;
    const int limit = version_ >= kVersion20 ? 256 : 128;
    if (slots_ > limit && !slotErrorReported_) {
        slotErrorReported_ = true;
        in.Fail(opToken, "too many instructions (more than " + std::to_string(limit) + " slots)");
    }
}

// ---- ps_1_1 .. ps_1_4 -------------------------------------------------------------------
// No declarations: tex/texcoord (ps_1_1..1_3) or texld/texcrd (ps_1_4) come first, then at
// most 8 arithmetic instructions, each of which may be paired by a leading '+' with the one
// before it; ps_1_4 may repeat both parts once after "phase".  r0 is the colour.

struct Ps1Opcode {
    const char *name;
    DWORD code;
    int sources;
    unsigned minMinor;
};

const Ps1Opcode kPs1Opcodes[] = {
    {"mov", D3DSIO_MOV, 1, 1}, {"add", D3DSIO_ADD, 2, 1}, {"sub", D3DSIO_SUB, 2, 1}, {"mul", D3DSIO_MUL, 2, 1},
    {"mad", D3DSIO_MAD, 3, 1}, {"lrp", D3DSIO_LRP, 3, 1}, {"dp3", D3DSIO_DP3, 2, 1}, {"dp4", D3DSIO_DP4, 2, 2},
    {"cnd", D3DSIO_CND, 3, 1}, {"cmp", D3DSIO_CMP, 3, 2}, {"nop", D3DSIO_NOP, 0, 1},
};

constexpr DWORD kSwizzleXyzw = 0xE4, kSwizzleXyz = 0xA4, kSwizzleXyw = 0xF4;

void Assembler::Ps1Statement(StatementReader &in)
{
    const bool coissue = in.TakePunct('+');
    const ShaderToken &opToken = in.Next();
    if (opToken.kind != ShaderToken::Identifier)
        in.Fail(opToken, "expected an instruction but found '" + opToken.text + "'");
    const std::string name = Lower(opToken.text);
    if (name.compare(0, 3, "ps_") == 0 || name == "ps" || name.compare(0, 3, "vs_") == 0 || name == "vs")
        in.Fail(opToken, "the shader version may only be given once, on the first line");
    if (IsFlowName(name))
        in.Fail(opToken, "'" + opToken.text + "' needs vs_2_0 or vs_2_x (pixel shaders here have no flow control)");
    if (coissue && (name == "def" || name == "phase"))
        in.Fail(opToken, name + " cannot be co-issued");
    if (name == "def") {
        Definition(in, opToken);
        return;
    }
    if (name == "phase") {
        if (psMinor_ != 4 || phaseSeen_)
            in.Fail(opToken, "phase appears once, in ps_1_4 only");
        if (!in.AtEnd())
            in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after phase");
        if (validate_ && colourReadLine_)
            throw SourceError{colourReadLine_, colourReadColumn_,
                              "v0 and v1 can be read only after the phase"};
        phaseSeen_ = true;
        arithmeticInPhase_ = false;
        ps1Arithmetic_ = ps1Texture_ = 0;
        pairMask_ = 0;
        code_.push_back(D3DSIO_PHASE);
        return;
    }
    const std::string base = name.substr(0, name.find('_'));
    if (base == "tex" || base == "texcoord" || base == "texkill" || base == "texld" || base == "texcrd") {
        if (coissue)
            in.Fail(opToken, "texture instructions cannot be co-issued");
        if (base != name)
            in.Fail(opToken, base + " takes no instruction modifiers");
        Ps1Texture(in, opToken, base);
        return;
    }
    Ps1Arithmetic(in, opToken, name, coissue);
}

// tex t#, texcoord t#, texkill t# (ps_1_1..1_3); texld r#, t#|r#, texcrd r#, t#,
// texkill r#|t# (ps_1_4).
void Assembler::Ps1Texture(StatementReader &in, const ShaderToken &opToken, const std::string &name)
{
    const bool ps14 = psMinor_ == 4;
    if (!ps14 && (name == "texld" || name == "texcrd"))
        in.Fail(opToken, name + " needs ps_1_4 (ps_1_1..1_3 use tex and texcoord)");
    if (ps14 && (name == "tex" || name == "texcoord"))
        in.Fail(opToken, name + " belongs to ps_1_1..1_3 (ps_1_4 uses texld and texcrd)");
    if (validate_ && arithmeticInPhase_)
        in.Fail(opToken, std::string("texture instructions must come before the arithmetic") +
                             (ps14 ? " of their phase" : ""));
    const int limit = ps14 ? 6 : 4;
    if (validate_ && ++ps1Texture_ > limit)
        in.Fail(opToken, "too many texture instructions (more than " + std::to_string(limit) + ")");
    instructionSeen_ = true;

    Operand dst;
    ParseRegister(in, dst);
    const DWORD code = name == "tex" || name == "texld" ? D3DSIO_TEX
                       : name == "texkill"              ? D3DSIO_TEXKILL
                                                        : D3DSIO_TEXCOORD;
    if (!ps14 || name == "texkill") {
        const bool ok = dst.type == D3DSPR_TEXTURE || (ps14 && dst.type == D3DSPR_TEMP);
        if (!ok)
            throw SourceError{dst.line, dst.column, name + (ps14 ? " reads r# or t#" : " names a texture register (t#)")};
        if (!in.AtEnd())
            in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the operand of " + name);
        if (validate_ && name == "texkill" && dst.type == D3DSPR_TEMP)
            CheckTempRead(dst, dst.number, 0x7);
        if (name != "texkill")
            textureWritten_[dst.number] = 0xF;
        Emit(code, {RegisterBits(dst.type, dst.number) | D3DSP_WRITEMASK_ALL});
        return;
    }
    // texld / texcrd r#[.mask], src
    if (dst.type != D3DSPR_TEMP)
        throw SourceError{dst.line, dst.column, name + " writes a temporary register (r#)"};
    ParseWriteMask(in, dst);
    if (name == "texld" && dst.hasSuffix)
        in.Fail(opToken, "texld writes the whole register");
    if (name == "texcrd" && (dst.mask & 0x8))
        in.Fail(opToken, "texcrd writes .rgb or .rg only");
    in.ExpectPunct(',', "',' and the coordinates");
    Operand src;
    const DWORD srcToken = Ps1SourceToken(in, src, true);
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the operands of " + name);
    const bool fromTemp = src.type == D3DSPR_TEMP;
    if (src.type != D3DSPR_TEXTURE && !(fromTemp && name == "texld" && phaseSeen_))
        throw SourceError{src.line, src.column,
                          name + " reads t#" + (name == "texld" ? " (or r# after the phase)" : "")};
    const DWORD modifier = srcToken & D3DSP_SRCMOD_MASK;
    if (modifier == D3DSPSM_DZ && !fromTemp)
        throw SourceError{src.line, src.column, "_dz applies to texld from r# only"};
    if (fromTemp && validate_)
        CheckTempRead(src, src.number, 0x7);
    if (!dst.hasSuffix)
        dst.mask = name == "texld" ? 0xF : 0x7;
    tempWritten_[dst.number] |= dst.mask;
    Emit(code, {RegisterBits(D3DSPR_TEMP, dst.number) | (dst.mask << 16), srcToken});
}

// A ps_1_x source: "-", "1-" (complement) before the register; _bias, _bx2, _x2 (ps_1_4)
// after it, or for texld/texcrd _dz/_db and _dw/_da; a replicate or rotate swizzle.
DWORD Assembler::Ps1SourceToken(StatementReader &in, Operand &src, bool texture)
{
    bool complement = false;
    if (in.Peek().kind == ShaderToken::Number && in.Peek().text == "1") {
        in.Next();
        in.ExpectPunct('-', "'-' after 1 (the complement 1-x)");
        complement = true;
    } else if (in.TakePunct('-')) {
        src.negate = true;
    }
    ParseRegister(in, src, true);
    if (in.IsPunct('['))
        in.Fail(in.Peek(), "relative addressing is not available in pixel shaders");
    if (in.TakePunct('.')) {
        std::string after;
        src.swizzle = ParseSwizzle(in, &after);
        src.hasSuffix = true;
        if (!after.empty() && !src.suffix.empty())
            throw SourceError{src.line, src.column, "a source takes one modifier"};
        if (!after.empty())
            src.suffix = after;
    }
    DWORD modifier = 0;
    const std::string &suffix = src.suffix;
    if (suffix.empty())
        modifier = src.negate ? D3DSPSM_NEG : complement ? D3DSPSM_COMP : D3DSPSM_NONE;
    else if (suffix == "_bias" && !texture)
        modifier = src.negate ? D3DSPSM_BIASNEG : D3DSPSM_BIAS;
    else if (suffix == "_bx2" && !texture)
        modifier = src.negate ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN;
    else if (suffix == "_x2" && !texture && psMinor_ == 4)
        modifier = src.negate ? D3DSPSM_X2NEG : D3DSPSM_X2;
    else if ((suffix == "_dz" || suffix == "_db") && texture)
        modifier = D3DSPSM_DZ;
    else if ((suffix == "_dw" || suffix == "_da") && texture)
        modifier = D3DSPSM_DW;
    else
        throw SourceError{src.line, src.column, "source modifier '" + suffix + "' is not available here in ps_1_" +
                                                    std::to_string(psMinor_)};
    if (complement && !suffix.empty())
        throw SourceError{src.line, src.column, "1-x cannot be combined with another source modifier"};
    if (texture && (src.negate || complement))
        throw SourceError{src.line, src.column, "texld and texcrd take no negation or complement"};
    const DWORD w = src.swizzle;
    const bool replicate = w == (w & 3u) * 0x55u;
    const bool allowed = texture ? w == kSwizzleXyzw || w == kSwizzleXyz || w == kSwizzleXyw
                                 : w == kSwizzleXyzw || replicate || w == 0x39 || w == 0xD2;
    if (!allowed)
        throw SourceError{src.line, src.column,
                          texture ? std::string("texld and texcrd read .xyz or .xyw")
                                  : "ps_1_x sources take a replicate (.r .g .b .a), .yzxw or .zxyw swizzle"};
    if (texture && modifier == D3DSPSM_DW && w != kSwizzleXyw)
        throw SourceError{src.line, src.column, "_dw reads .xyw"};
    if (src.type != D3DSPR_TEMP && src.type != D3DSPR_TEXTURE && src.type != D3DSPR_CONST &&
        src.type != D3DSPR_INPUT)
        throw SourceError{src.line, src.column, Name(src) + " cannot be read"};
    return RegisterBits(src.type, src.number) | (w << D3DVS_SWIZZLE_SHIFT) | modifier;
}

// Registers read before they hold anything: temporaries, and in ps_1_1..1_3 the texture
// registers no tex, texcoord or instruction has filled.
void Assembler::Ps1CheckRead(const Operand &src, unsigned components)
{
    if (src.type == D3DSPR_TEMP)
        CheckTempRead(src, src.number, components);
    if (src.type == D3DSPR_TEXTURE && psMinor_ < 4 && (components & ~textureWritten_[src.number]))
        throw SourceError{src.line, src.column, Name(src) + " is read before tex or texcoord loads it"};
    if (src.type == D3DSPR_INPUT && psMinor_ == 4 && !phaseSeen_ && !colourReadLine_) {
        colourReadLine_ = src.line;
        colourReadColumn_ = src.column;
    }
}

void Assembler::Ps1Arithmetic(StatementReader &in, const ShaderToken &opToken, const std::string &name, bool coissue)
{
    const std::string base = name.substr(0, name.find('_'));
    const Ps1Opcode *op = nullptr;
    for (const Ps1Opcode &candidate : kPs1Opcodes)
        if (base == candidate.name)
            op = &candidate;
    if (!op)
        in.Fail(opToken, "'" + opToken.text + "' is not a ps_1_" + std::to_string(psMinor_) + " instruction");
    if (psMinor_ < op->minMinor)
        in.Fail(opToken, base + " needs ps_1_" + std::to_string(op->minMinor));
    // _x2 _x4 _d2 (and in ps_1_4 _x8 _d4 _d8) scale the result; _sat clamps it.
    DWORD shift = 0, saturate = 0;
    for (size_t at = base.size(); at < name.size();) {
        const size_t next = name.find('_', at + 1);
        const std::string modifier = name.substr(at, next == std::string::npos ? std::string::npos : next - at);
        static const struct {
            const char *name;
            DWORD shift;
            bool ps14;
        } kShifts[] = {{"_x2", 1, false}, {"_x4", 2, false}, {"_d2", 15, false},
                       {"_x8", 3, true},  {"_d4", 14, true}, {"_d8", 13, true}};
        bool known = false;
        if (modifier == "_sat" && !saturate) {
            saturate = D3DSPDM_SATURATE;
            known = true;
        }
        for (const auto &entry : kShifts) {
            if (modifier == entry.name && !shift && (!entry.ps14 || psMinor_ == 4)) {
                shift = entry.shift;
                known = true;
            }
        }
        if (!known)
            in.Fail(opToken, "instruction modifier '" + modifier + "' is not available here in ps_1_" +
                                 std::to_string(psMinor_));
        at = next == std::string::npos ? name.size() : next;
    }
    if (op->code == D3DSIO_NOP) {
        if (coissue || shift || saturate)
            in.Fail(opToken, "nop takes no modifiers and cannot be co-issued");
        if (!in.AtEnd())
            in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after nop");
        Emit(D3DSIO_NOP, {});
        return;
    }
    Operand dst = ParseDestination(in);
    std::vector<Operand> src(static_cast<size_t>(op->sources));
    std::vector<DWORD> parameters;
    parameters.push_back(RegisterBits(dst.type, dst.number) | (dst.mask << 16) | saturate |
                         (shift << D3DSP_DSTSHIFT_SHIFT));
    for (Operand &s : src) {
        in.ExpectPunct(',', "',' and a source");
        parameters.push_back(Ps1SourceToken(in, s, false));
    }
    if (!in.AtEnd())
        in.Fail(in.Peek(), "unexpected '" + in.Peek().text + "' after the operands of " + base);

    if (validate_) {
        if (psMinor_ < 4 && dst.mask != 0xF && dst.mask != 0x7 && dst.mask != 0x8)
            in.Fail(opToken, "ps_1_" + std::to_string(psMinor_) + " writes .rgba, .rgb or .a");
        if (coissue) {
            const bool split = (dst.mask == 0x7 && pairMask_ == 0x8) || (dst.mask == 0x8 && pairMask_ == 0x7);
            if (!split)
                in.Fail(opToken, "a co-issued instruction writes .a beside one that writes .rgb (or the reverse)");
        }
        if (op->code == D3DSIO_CND && psMinor_ < 4 &&
            !(src[0].type == D3DSPR_TEMP && src[0].number == 0 && src[0].swizzle == 0xFF))
            throw SourceError{src[0].line, src[0].column, "cnd tests r0.a in ps_1_" + std::to_string(psMinor_)};
        const unsigned resultMask = op->code == D3DSIO_DP3 ? 0x7 : op->code == D3DSIO_DP4 ? 0xF : dst.mask;
        for (const Operand &s : src)
            Ps1CheckRead(s, SwizzledComponents(s.swizzle, resultMask));
        if (!coissue && ++ps1Arithmetic_ > 8)
            in.Fail(opToken, "too many arithmetic instructions (more than 8" +
                                 std::string(psMinor_ == 4 ? " in a phase)" : ")"));
    }
    pairMask_ = coissue ? 0 : dst.mask;
    arithmeticInPhase_ = true;
    instructionSeen_ = true;
    if (dst.type == D3DSPR_TEMP)
        tempWritten_[dst.number] |= dst.mask;
    else
        textureWritten_[dst.number] |= dst.mask;
    Emit(op->code | (coissue ? D3DSI_COISSUE : 0), parameters);
}

// `fromFile`: `name` is a file the caller named, whose problems are reported once a run
// however often it is assembled; otherwise it names the caller's memory.
HRESULT Assemble(const char *source, size_t length, const std::string &name, bool fromFile,
                 const D3DXMACRO *defines, DWORD flags, LPD3DXBUFFER *ppShader, LPD3DXBUFFER *ppErrorMsgs)
{
    if (flags & D3DXSHADER_DEBUG)
        Unsupported("d3dx9", "D3DXSHADER_DEBUG: assembled shaders carry no debug information");
    Assembler assembler(name, flags);
    assembler.AddMacros(defines);
    if (assembler.Errors().empty())
        assembler.Run(source, length);

    if (!assembler.Errors().empty()) {
        const SourceError &first = assembler.Errors().front();
        std::string reason = first.reason;
        if (assembler.Errors().size() > 1)
            reason += " (and " + std::to_string(assembler.Errors().size() - 1) +
                      (assembler.Errors().size() == 2 ? " more error)" : " more errors)");
        std::string position =
            first.line > 0 ? std::to_string(first.line) + ":" + std::to_string(first.column) : std::string();
        if (fromFile)
            FileDiagnostic("d3dx9", name, position, reason);
        else
            Diagnostic("d3dx9", name, position, reason);
        if (ppErrorMsgs) {
            std::string text = assembler.ErrorText();
            LPD3DXBUFFER buffer = nullptr;
            if (SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(text.size() + 1), &buffer))) {
                memcpy(buffer->GetBufferPointer(), text.c_str(), text.size() + 1);
                *ppErrorMsgs = buffer;
            }
        }
        return D3DXERR_INVALIDDATA;
    }
    if (ppShader) {
        const std::vector<DWORD> &code = assembler.Code();
        LPD3DXBUFFER buffer = nullptr;
        HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(code.size() * sizeof(DWORD)), &buffer);
        if (FAILED(hr))
            return hr;
        memcpy(buffer->GetBufferPointer(), code.data(), code.size() * sizeof(DWORD));
        *ppShader = buffer;
    }
    return D3D_OK;
}

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, CONST D3DXMACRO *pDefines,
                                             LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXBUFFER *ppShader,
                                             LPD3DXBUFFER *ppErrorMsgs)
{
    if (ppShader)
        *ppShader = nullptr;
    if (ppErrorMsgs)
        *ppErrorMsgs = nullptr;
    if (!pSrcData) {
        tavrok::Diagnostic("d3dx9", "", "", "D3DXAssembleShader: no source data");
        return D3DERR_INVALIDCALL;
    }
    return tavrok::d3dx9::Assemble(pSrcData, SrcDataLen, "memory", false, pDefines, Flags, ppShader, ppErrorMsgs);
}

extern "C" HRESULT WINAPI D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, CONST D3DXMACRO *pDefines,
                                                      LPD3DXINCLUDE pInclude, DWORD Flags,
                                                      LPD3DXBUFFER *ppShader, LPD3DXBUFFER *ppErrorMsgs)
{
    if (ppShader)
        *ppShader = nullptr;
    if (ppErrorMsgs)
        *ppErrorMsgs = nullptr;
    if (!pSrcFile) {
        tavrok::Diagnostic("d3dx9", "", "", "D3DXAssembleShaderFromFileA: no file name");
        return D3DERR_INVALIDCALL;
    }
    std::ifstream file(tavrok::ResolvePath(pSrcFile), std::ios::binary);
    if (!file) {
        tavrok::FileDiagnostic("d3dx9", pSrcFile, "", "cannot open the shader file");
        return E_FAIL;
    }
    std::string source((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        tavrok::FileDiagnostic("d3dx9", pSrcFile, "", "cannot read the shader file");
        return E_FAIL;
    }
    return tavrok::d3dx9::Assemble(source.data(), source.size(), pSrcFile, true, pDefines, Flags, ppShader,
                                   ppErrorMsgs);
}
