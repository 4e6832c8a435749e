/*
 * shader_glsl.cpp - vertex and pixel shader bytecode translated to GLSL 3.30.
 *
 * Each instruction of a parsed shader (vertex_shader.cpp) becomes one GLSL statement
 * on vec4 registers, with the Direct3D rules: swizzles and negate/abs source modifiers,
 * write masks and saturation, scalar instructions reading the last component of the
 * swizzled source, matrix instructions reading consecutive constants, relative
 * constant addressing through a0 or aL clamped to the array, and def constants folded in
 * as literals.  A vertex shader's flow control becomes structured GLSL over global
 * registers: rep and loop as counted for loops on i# (the uniform u_vsI, or a defi),
 * if b# on u_vsB (or a defb), if_comp, break and break_comp as GLSL tests, and each
 * subroutine as a function emitted before main.  The outputs feed the same varyings as
 * the fixed-function vertex stage (ffp_glsl.cpp), so the fixed-function pixel stage
 * shades what a shader outputs.
 * A pixel shader becomes the fragment stage with the same rules, plus texld (texldp,
 * texldb) on the samplers u_texture#, texkill, cmp and dp2add; its v0/v1 read the
 * interpolated colours and t# the texture coordinates, and the colour it writes to oC0
 * goes through the fixed-function fog, alpha test and sRGB write that follow it.
 * ps_1_x adds tex, texcoord, texld/texcrd and texkill on stage #, cnd, the source
 * modifiers (bias, _bx2, 1-x, _x2, _dz, _dw), destination shifts, co-issued pairs that read
 * before they write, constants held to -1..1, and r0 as the colour.
 */
#include "pipeline_glsl.h"

#include <cstdio>
#include <sstream>

namespace tavrok::d3d9 {

namespace {

const char kComponents[] = "xyzw";

std::string Float(float v)
{
    char buf[48];
    snprintf(buf, sizeof buf, "%.9g", double(v));
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    if (s == "inf")
        return "(1.0/0.0)";
    if (s == "-inf")
        return "(-1.0/0.0)";
    if (s == "nan" || s == "-nan")
        return "0.0";
    return s;
}

class Translator {
public:
    Translator(const ParsedShader &s, int texIndex) : s_(s), texIndex_(texIndex) {}
    Translator(const ParsedShader &s, const FragmentKey &key) : s_(s), texIndex_(0), fragment_(&key) {}

    // A pixel shader: its registers as locals, its code, then the fixed-function end of
    // the pixel pipeline on the colour it wrote (clamped as a colour target clamps it).
    std::string RunPixel()
    {
        const FragmentKey &k = *fragment_;
        std::ostringstream o;
        o << FragmentInterfaceGlsl(k, k.srgbSamplers != 0);
        o << "uniform vec4 pc[" << std::max<UINT>(1, s_.maxConst) << "];\n";
        // oC1 to oC3 go to render targets 1 to 3, as written (a fixed-point target clamps).
        for (int i = 1; i < kMaxRenderTargets; i++)
            if ((s_.colorOutputs >> i) & 1)
                o << "out vec4 o_color" << i << ";\n";
        for (int i = 0; i < 8; i++)
            if ((s_.texcoordInputs >> i) & 1)
                o << "in vec4 v_tex" << i << ";\n";
        for (int i = 0; i < kPsSamplers; i++)
            if (s_.samplerTypes[i])
                o << "uniform "
                  << (SamplerType(i) == D3DSTT_CUBE     ? "samplerCube"
                      : SamplerType(i) == D3DSTT_VOLUME ? "sampler3D"
                                                        : "sampler2D")
                  << " u_texture" << i << ";\n";
        o << "void main()\n{\n";
        for (int i = 0; i < 12; i++)
            o << "    vec4 r" << i << " = vec4(0.0);\n";
        o << "    vec4 v0 = v_diffuse, v1 = v_specular;\n";
        // ps_2_0 and ps_1_4 read their t# as coordinates; in ps_1_1..1_3 they are the
        // texture registers that tex and texcoord fill.
        for (int i = 0; i < 8; i++) {
            const bool coordinates = ((s_.texcoordInputs >> i) & 1) && !(Ps1() && Minor() < 4);
            o << "    vec4 t" << i << " = " << (coordinates ? Coordinates(i) : std::string("vec4(0.0)")) << ";\n";
        }
        o << "    vec4 oC0 = vec4(0.0), oC1 = vec4(0.0), oC2 = vec4(0.0), oC3 = vec4(0.0), oDepth = "
             "vec4(gl_FragCoord.z);\n";
        for (size_t i = 0; i < s_.code.size(); i++) {
            if (i + 1 < s_.code.size() && s_.code[i + 1].coissue) {
                // A co-issued pair reads its sources before either writes.
                std::string first, second;
                o << "    " << Statement(s_.code[i], &first, "co0") << "\n";
                o << "    " << Statement(s_.code[i + 1], &second, "co1") << "\n";
                o << "    " << first << "\n    " << second << "\n";
                i++;
                continue;
            }
            o << "    " << Statement(s_.code[i]) << "\n";
        }
        if (Ps1())
            o << "    oC0 = r0;\n";  // ps_1_x: the colour is what r0 holds at the end
        o << (k.floatTarget && !Ps1() ? "    vec4 result = oC0;\n" : "    vec4 result = clamp(oC0, 0.0, 1.0);\n");
        o << FragmentTailGlsl(k);
        if (s_.writesDepth)
            o << "    gl_FragDepth = clamp(oDepth.x, 0.0, 1.0);\n";
        for (int i = 1; i < kMaxRenderTargets; i++)
            if ((s_.colorOutputs >> i) & 1)
                o << "    o_color" << i << " = oC" << i << ";\n";
        o << "}\n";
        return o.str();
    }

    std::string Run()
    {
        std::ostringstream o;
        o << "#version 330 core\n";
        o << "uniform vec4 c[" << ConstantArraySize(s_) << "];\n";
        o << "uniform vec4 u_pixel;\n";
        // The integer and boolean constants that flow control reads from the device.
        if (s_.readsIntConstants)
            o << "uniform ivec4 u_vsI[16];\n";
        if (s_.readsBoolConstants)
            o << "uniform bool u_vsB[16];\n";
        for (const auto &in : s_.inputs)
            o << "in vec4 a_v" << in.reg << ";\n";
        o << "out vec4 v_diffuse;\nout vec4 v_specular;\nout vec4 v_tex0;\nout float v_fog;\n";
        // The registers are global, shared by main and the subroutines.
        for (int i = 0; i < 12; i++)
            o << "vec4 r" << i << " = vec4(0.0);\n";
        o << "ivec4 a0 = ivec4(0);\nint aL = 0;\n";
        o << "vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0), oFog = vec4(" << (s_.writesFog ? "0.0" : "1.0")
          << "), oPts = vec4(0.0);\n";
        o << "vec4 oD0 = vec4(1.0), oD1 = vec4(0.0);\n";
        for (int i = 0; i < 8; i++)
            o << "vec4 oT" << i << " = vec4(0.0, 0.0, 0.0, 1.0);\n";
        // The main program runs to its ret; each subroutine from its label to its ret
        // becomes a function, declared first since calls may come before the label.
        size_t mainEnd = 0;
        while (mainEnd < s_.code.size() && s_.code[mainEnd].opcode != D3DSIO_RET &&
               s_.code[mainEnd].opcode != D3DSIO_LABEL)
            mainEnd++;
        std::ostringstream functions;
        for (size_t i = mainEnd; i < s_.code.size(); i++) {
            if (s_.code[i].opcode != D3DSIO_LABEL)
                continue;
            const std::string name = "label" + std::to_string(s_.code[i].sources[0].regNum);
            o << "void " << name << "();\n";
            functions << "void " << name << "()\n{\n";
            size_t end = i + 1;
            while (end < s_.code.size() && s_.code[end].opcode != D3DSIO_RET)
                end++;
            Body(functions, i + 1, end);
            functions << "}\n";
        }
        o << functions.str();
        o << "void main()\n{\n";
        Body(o, 0, mainEnd);
        o << "    gl_Position = vec4(oPos.x + u_pixel.x * oPos.w, (oPos.y + u_pixel.y * oPos.w) * u_pixel.z,\n"
             "                       oPos.z * 2.0 - oPos.w, oPos.w);\n";
        o << "    v_diffuse = clamp(oD0, 0.0, 1.0);\n";
        o << "    v_specular = clamp(oD1, 0.0, 1.0);\n";
        o << "    v_tex0 = oT" << (texIndex_ & 7) << ";\n";
        // The fog factor the shader wrote (no fog when it wrote none).
        o << "    v_fog = clamp(oFog.x, 0.0, 1.0);\n";
        o << "}\n";
        return o.str();
    }

private:
    bool Ps1() const { return fragment_ && D3DSHADER_VERSION_MAJOR(s_.version) == 1; }
    // A sampler's type: declared from ps_2_0 on, the bound texture's in ps_1_x.
    DWORD SamplerType(int i) const
    {
        if (!Ps1())
            return s_.samplerTypes[i];
        return (fragment_->ps1Cube >> i) & 1 ? D3DSTT_CUBE : (fragment_->ps1Volume >> i) & 1 ? D3DSTT_VOLUME : D3DSTT_2D;
    }
    DWORD Minor() const { return D3DSHADER_VERSION_MINOR(s_.version); }
    // Texture coordinate set i (a point sprite's run from (0, 0) at its top left to (1, 1)).
    std::string Coordinates(int i) const
    {
        return fragment_->pointSprite ? std::string("vec4(gl_PointCoord, 0.0, 1.0)") : "v_tex" + std::to_string(i);
    }

    // i# and b#: a defi or defb of the shader, else the device's constant.
    std::string IntConstant(DWORD n) const
    {
        for (auto it = s_.defsI.rbegin(); it != s_.defsI.rend(); ++it)
            if (it->first == n)
                return "ivec4(" + std::to_string(it->second[0]) + ", " + std::to_string(it->second[1]) + ", " +
                       std::to_string(it->second[2]) + ", " + std::to_string(it->second[3]) + ")";
        return "u_vsI[" + std::to_string(n) + "]";
    }
    std::string BoolConstant(DWORD n) const
    {
        for (auto it = s_.defsB.rbegin(); it != s_.defsB.rend(); ++it)
            if (it->first == n)
                return it->second ? "true" : "false";
        return "u_vsB[" + std::to_string(n) + "]";
    }
    // The test of if_comp and break_comp on their two (replicated) sources.
    std::string Comparison(const ShaderInstruction &ins)
    {
        static const char *const kOps[8] = {"", ">", "==", ">=", "<", "!=", "<=", ""};
        return Scalar(ins.sources[0]) + " " + kOps[ins.dclUsage & 7] + " " + Scalar(ins.sources[1]);
    }

    // Instructions [begin, end) of a vertex shader as structured GLSL: rep counts i#.x
    // times (0 to 255); loop does the same with aL from i#.y in steps of i#.z, the outer
    // loop's aL coming back at its end; subroutines are called as functions.
    void Body(std::ostringstream &o, size_t begin, size_t end)
    {
        int depth = 1, blocks = 0;
        std::vector<int> loops;  // the open loops' numbers, innermost last
        auto line = [&](const std::string &text) { o << std::string(size_t(depth) * 4, ' ') << text << "\n"; };
        for (size_t i = begin; i < end; i++) {
            const ShaderInstruction &ins = s_.code[i];
            const std::string n = std::to_string(blocks);
            switch (ins.opcode) {
            case D3DSIO_REP:
                line("for (int rep" + n + " = 0; rep" + n + " < clamp(" + IntConstant(ins.sources[0].regNum) +
                     ".x, 0, 255); rep" + n + "++) {");
                depth++, blocks++;
                break;
            case D3DSIO_LOOP:
                line("{");
                depth++;
                line("ivec4 loop" + n + " = " + IntConstant(ins.sources[1].regNum) + ";");
                line("int aLOuter" + n + " = aL;");
                line("aL = loop" + n + ".y;");
                line("for (int k" + n + " = 0; k" + n + " < clamp(loop" + n + ".x, 0, 255); k" + n + "++, aL += loop" +
                     n + ".z) {");
                depth++;
                loops.push_back(blocks++);
                break;
            case D3DSIO_ENDLOOP:
                depth--;
                line("}");
                line("aL = aLOuter" + std::to_string(loops.back()) + ";");
                loops.pop_back();
                depth--;
                line("}");
                break;
            case D3DSIO_IF:
                line("if (" + BoolConstant(ins.sources[0].regNum) + ") {");
                depth++;
                break;
            case D3DSIO_IFC:
                line("if (" + Comparison(ins) + ") {");
                depth++;
                break;
            case D3DSIO_ELSE:
                depth--;
                line("} else {");
                depth++;
                break;
            case D3DSIO_ENDIF:
            case D3DSIO_ENDREP:
                depth--;
                line("}");
                break;
            case D3DSIO_BREAK: line("break;"); break;
            case D3DSIO_BREAKC: line("if (" + Comparison(ins) + ") break;"); break;
            case D3DSIO_CALL: line("label" + std::to_string(ins.sources[0].regNum) + "();"); break;
            case D3DSIO_CALLNZ:
                line("if (" + BoolConstant(ins.sources[1].regNum) + ") label" + std::to_string(ins.sources[0].regNum) +
                     "();");
                break;
            default: line(Statement(ins)); break;
            }
        }
    }

    // The register itself, `offset` registers further on (matrix rows).
    std::string Register(const ShaderParam &p, DWORD offset = 0)
    {
        DWORD n = p.regNum + offset;
        switch (p.regType) {
        case D3DSPR_TEMP: return "r" + std::to_string(n);
        case D3DSPR_INPUT: return (fragment_ ? "v" : "a_v") + std::to_string(n);
        case D3DSPR_ADDR:  // D3DSPR_TEXTURE in a pixel shader
            return fragment_ ? "t" + std::to_string(n) : "vec4(a0)";
        case D3DSPR_CONST:
            if (p.relative && p.relLoop)
                return "c[clamp(aL + " + std::to_string(n) + ", 0, " + std::to_string(ConstantArraySize(s_) - 1) + ")]";
            if (p.relative)
                return "c[clamp(a0." + std::string(1, kComponents[p.relComponent]) + " + " + std::to_string(n) +
                       ", 0, " + std::to_string(ConstantArraySize(s_) - 1) + ")]";
            for (auto it = s_.defs.rbegin(); it != s_.defs.rend(); ++it)
                if (it->first == n) {
                    // ps_1_x constants lie in -1..1.
                    const float lo = Ps1() ? -1.0f : -3.4e38f, hi = Ps1() ? 1.0f : 3.4e38f;
                    auto v = [&](int c) { return Float(std::min(hi, std::max(lo, it->second[c]))); };
                    return "vec4(" + v(0) + ", " + v(1) + ", " + v(2) + ", " + v(3) + ")";
                }
            if (Ps1())
                return "clamp(pc[" + std::to_string(n) + "], -1.0, 1.0)";
            return (fragment_ ? "pc[" : "c[") + std::to_string(n) + "]";
        default: return "vec4(0.0)";
        }
    }

    std::string Source(const ShaderParam &p, DWORD offset = 0)
    {
        std::string e = Register(p, offset);
        if (p.swizzle != 0xE4) {
            e += ".";
            for (int i = 0; i < 4; i++)
                e += kComponents[(p.swizzle >> (2 * i)) & 3];
        }
        switch (p.modifier) {
        case 1: return "(-" + e + ")";                     // D3DSPSM_NEG
        case 2: return "(" + e + " - 0.5)";                // D3DSPSM_BIAS
        case 3: return "(0.5 - " + e + ")";                // D3DSPSM_BIASNEG
        case 4: return "((" + e + " - 0.5) * 2.0)";        // D3DSPSM_SIGN (_bx2)
        case 5: return "((0.5 - " + e + ") * 2.0)";        // D3DSPSM_SIGNNEG
        case 6: return "(1.0 - " + e + ")";                // D3DSPSM_COMP
        case 7: return "(" + e + " * 2.0)";                // D3DSPSM_X2
        case 8: return "(" + e + " * -2.0)";               // D3DSPSM_X2NEG
        case 9: return "(" + e + " / " + e + ".z)";        // D3DSPSM_DZ
        case 10: return "(" + e + " / " + e + ".w)";       // D3DSPSM_DW
        case 11: return "abs(" + e + ")";                  // D3DSPSM_ABS
        case 12: return "(-abs(" + e + "))";               // D3DSPSM_ABSNEG
        default: return e;
        }
    }

    // The scalar a scalar instruction reads: the last component of the swizzled source.
    std::string Scalar(const ShaderParam &p) { return Source(p) + ".w"; }

    std::string Destination(const ShaderParam &p)
    {
        switch (p.regType) {
        case D3DSPR_TEMP: return "r" + std::to_string(p.regNum);
        case D3DSPR_ADDR: return fragment_ ? "t" + std::to_string(p.regNum) : "a0";  // D3DSPR_TEXTURE in a pixel shader
        case D3DSPR_RASTOUT: return p.regNum == D3DSRO_POSITION ? "oPos" : p.regNum == D3DSRO_FOG ? "oFog" : "oPts";
        case D3DSPR_ATTROUT: return "oD" + std::to_string(p.regNum);
        case D3DSPR_TEXCRDOUT: return "oT" + std::to_string(p.regNum);
        case D3DSPR_COLOROUT: return "oC" + std::to_string(p.regNum);
        case D3DSPR_DEPTHOUT: return "oDepth";
        default: return "r0";
        }
    }

    std::string Matrix(const ShaderInstruction &ins, int rows, int width)
    {
        std::string v = Source(ins.sources[0]);
        if (width == 3)
            v += ".xyz";
        std::string e = "vec4(";
        for (int i = 0; i < 4; i++) {
            if (i)
                e += ", ";
            if (i < rows) {
                std::string row = Source(ins.sources[1], DWORD(i));
                e += "dot(" + v + ", " + row + (width == 3 ? ".xyz" : "") + ")";
            } else {
                e += "0.0";
            }
        }
        return e + ")";
    }

    // One instruction.  With `deferredWrite`, the statement only computes the value into
    // `value` and the write to the destination is left in *deferredWrite (co-issue).
    std::string Statement(const ShaderInstruction &ins, std::string *deferredWrite = nullptr,
                          const std::string &value = std::string())
    {
        const auto &src = ins.sources;
        std::string e;
        DWORD mask = ins.dest.mask;
        const bool ps1Texture = Ps1() && Minor() < 4;
        switch (ins.opcode) {
        case D3DSIO_NOP: return "// nop";
        case D3DSIO_TEXKILL:
            // ps_1_1..1_3 test the coordinates of the set; later versions the register.
            return "if (any(lessThan(" + (ps1Texture ? Coordinates(int(ins.dest.regNum)) : Register(ins.dest)) +
                   ".xyz, vec3(0.0)))) discard;";
        case D3DSIO_TEXCOORD:
            // texcoord t#: the set's coordinates as a colour, clamped, alpha 1; texcrd r#, src.
            if (ps1Texture)
                e = "vec4(clamp(" + Coordinates(int(ins.dest.regNum)) + ".xyz, 0.0, 1.0), 1.0)";
            else
                e = Source(src[0]);
            break;
        case D3DSIO_TEX: {
            if (Ps1()) {
                // tex t# samples stage # at set #; texld r#, src samples stage # at src.
                const std::string sampler = "u_texture" + std::to_string(ins.dest.regNum);
                const std::string c = ps1Texture ? Coordinates(int(ins.dest.regNum)) : Source(src[0]);
                const bool projected = ps1Texture && ((fragment_->projected >> ins.dest.regNum) & 1);
                const std::string n = SamplerType(int(ins.dest.regNum)) == D3DSTT_2D ? ".xy" : ".xyz";
                e = "texture(" + sampler + ", " + c + n + (projected ? " / " + c + ".w)" : ")");
                if ((fragment_->srgbSamplers >> ins.dest.regNum) & 1)
                    e = "FromSrgb(" + e + ")";
                break;
            }
            // texld, texldp (divided by w) and texldb (w biases the level of detail).
            // dcl_cube and dcl_volume samplers read three coordinates.
            const std::string c = Source(src[0]), sampler = "u_texture" + std::to_string(src[1].regNum);
            const std::string n = SamplerType(int(src[1].regNum)) == D3DSTT_2D ? ".xy" : ".xyz";
            if (ins.dclUsage == D3DSI_TEXLD_PROJECT)
                e = "texture(" + sampler + ", " + c + n + " / " + c + ".w)";
            else if (ins.dclUsage == D3DSI_TEXLD_BIAS)
                e = "texture(" + sampler + ", " + c + n + ", " + c + ".w)";
            else
                e = "texture(" + sampler + ", " + c + n + ")";
            if ((fragment_->srgbSamplers >> src[1].regNum) & 1)
                e = "FromSrgb(" + e + ")";
            break;
        }
        case D3DSIO_CND:
            e = "mix(" + Source(src[2]) + ", " + Source(src[1]) + ", greaterThan(" + Source(src[0]) + ", vec4(0.5)))";
            break;
        case D3DSIO_CMP:
            e = "mix(" + Source(src[2]) + ", " + Source(src[1]) + ", greaterThanEqual(" + Source(src[0]) +
                ", vec4(0.0)))";
            break;
        case D3DSIO_DP2ADD:
            e = "vec4(dot(" + Source(src[0]) + ".xy, " + Source(src[1]) + ".xy) + " + Scalar(src[2]) + ")";
            break;
        case D3DSIO_MOV:
        case D3DSIO_MOVA:
            e = Source(src[0]);
            break;
        case D3DSIO_ADD: e = Source(src[0]) + " + " + Source(src[1]); break;
        case D3DSIO_SUB: e = Source(src[0]) + " - " + Source(src[1]); break;
        case D3DSIO_MAD: e = Source(src[0]) + " * " + Source(src[1]) + " + " + Source(src[2]); break;
        case D3DSIO_MUL: e = Source(src[0]) + " * " + Source(src[1]); break;
        case D3DSIO_RCP: e = "vec4(1.0 / " + Scalar(src[0]) + ")"; break;
        case D3DSIO_RSQ: e = "vec4(inversesqrt(abs(" + Scalar(src[0]) + ")))"; break;
        case D3DSIO_DP3: e = "vec4(dot(" + Source(src[0]) + ".xyz, " + Source(src[1]) + ".xyz))"; break;
        case D3DSIO_DP4: e = "vec4(dot(" + Source(src[0]) + ", " + Source(src[1]) + "))"; break;
        case D3DSIO_MIN: e = "min(" + Source(src[0]) + ", " + Source(src[1]) + ")"; break;
        case D3DSIO_MAX: e = "max(" + Source(src[0]) + ", " + Source(src[1]) + ")"; break;
        case D3DSIO_SLT: e = "vec4(lessThan(" + Source(src[0]) + ", " + Source(src[1]) + "))"; break;
        case D3DSIO_SGE: e = "vec4(greaterThanEqual(" + Source(src[0]) + ", " + Source(src[1]) + "))"; break;
        case D3DSIO_EXP: e = "vec4(exp2(" + Scalar(src[0]) + "))"; break;
        case D3DSIO_LOG:
        case D3DSIO_LOGP: e = "vec4(log2(abs(" + Scalar(src[0]) + ")))"; break;
        case D3DSIO_EXPP: {
            std::string w = Scalar(src[0]);
            e = "vec4(exp2(floor(" + w + ")), fract(" + w + "), exp2(" + w + "), 1.0)";
            break;
        }
        case D3DSIO_LIT: {
            std::string v = Source(src[0]);
            e = "vec4(1.0, max(" + v + ".x, 0.0), (" + v + ".x > 0.0) ? pow(max(" + v + ".y, 0.0), clamp(" + v +
                ".w, -128.0, 128.0)) : 0.0, 1.0)";
            break;
        }
        case D3DSIO_DST:
            e = "vec4(1.0, " + Source(src[0]) + ".y * " + Source(src[1]) + ".y, " + Source(src[0]) + ".z, " +
                Source(src[1]) + ".w)";
            break;
        case D3DSIO_LRP:
            e = "mix(" + Source(src[2]) + ", " + Source(src[1]) + ", " + Source(src[0]) + ")";
            break;
        case D3DSIO_FRC: e = "fract(" + Source(src[0]) + ")"; break;
        case D3DSIO_M4x4: e = Matrix(ins, 4, 4); break;
        case D3DSIO_M4x3: e = Matrix(ins, 3, 4), mask &= 7; break;
        case D3DSIO_M3x4: e = Matrix(ins, 4, 3); break;
        case D3DSIO_M3x3: e = Matrix(ins, 3, 3), mask &= 7; break;
        case D3DSIO_M3x2: e = Matrix(ins, 2, 3), mask &= 3; break;
        case D3DSIO_POW: e = "vec4(pow(abs(" + Scalar(src[0]) + "), " + Scalar(src[1]) + "))"; break;
        case D3DSIO_CRS: e = "vec4(cross(" + Source(src[0]) + ".xyz, " + Source(src[1]) + ".xyz), 0.0)"; break;
        case D3DSIO_SGN: e = "sign(" + Source(src[0]) + ")"; break;
        case D3DSIO_ABS: e = "abs(" + Source(src[0]) + ")"; break;
        case D3DSIO_NRM: {
            std::string v = Source(src[0]);
            e = "(" + v + " * inversesqrt(dot(" + v + ".xyz, " + v + ".xyz)))";
            break;
        }
        case D3DSIO_SINCOS: {
            std::string w = Scalar(src[0]);
            e = "vec4(cos(" + w + "), sin(" + w + "), 0.0, 0.0)";
            mask &= 3;
            break;
        }
        default: return "// unknown";
        }
        // ps_1_x: _x2 _x4 _x8 and _d2 _d4 _d8, before saturation.
        static const char *const kShift[16] = {"", " * 2.0", " * 4.0", " * 8.0", "", "", "", "",
                                               "", "", "", "", "", " * 0.125", " * 0.25", " * 0.5"};
        if (ins.shift)
            e = "(" + e + ")" + kShift[ins.shift & 15];
        if (ins.dest.modifier & 1)  // saturate
            e = "clamp(" + e + ", 0.0, 1.0)";
        std::string swz;
        for (int i = 0; i < 4; i++)
            if (mask & (1u << i))
                swz += kComponents[i];
        if (swz.empty())
            return "// no component written";
        std::string dest = Destination(ins.dest);
        if (ins.dest.regType == D3DSPR_ADDR && !fragment_)
            return dest + "." + swz + " = ivec4(floor((" + e + ") + 0.5))." + swz + ";";
        if (deferredWrite) {
            *deferredWrite = dest + "." + swz + " = " + value + "." + swz + ";";
            return "vec4 " + value + " = " + e + ";";
        }
        return dest + "." + swz + " = (" + e + ")." + swz + ";";
    }

    const ParsedShader &s_;
    int texIndex_;
    const FragmentKey *fragment_ = nullptr;  // set for a pixel shader
};

}  // namespace

std::string TranslatePixelShaderToGlsl(const ParsedShader &shader, const FragmentKey &key)
{
    return Translator(shader, key).RunPixel();
}

UINT ConstantArraySize(const ParsedShader &shader)
{
    return shader.usesAddress ? UINT(kVsConstants) : std::max<UINT>(1, shader.maxConst);
}

std::string TranslateToGlsl(const ParsedShader &shader, int texIndex, const ShaderVariant &variant)
{
    std::string glsl = Translator(shader, texIndex).Run();
    std::string outs, writes;
    if (variant.points) {
        // A point's size: what the shader wrote to oPts, else D3DRS_POINTSIZE, clamped.
        outs += "uniform vec4 u_point;\n";  // size, least, largest, viewport height
        writes += std::string("    gl_PointSize = clamp(") + (shader.writesPointSize ? "oPts.x" : "u_point.x") +
                  ", u_point.y, u_point.z);\n";
    }
    // User clip planes are given in clip space for a vertex shader.
    if (variant.clipPlanes)
        outs += "uniform vec4 u_clipPlane[6];\n";
    for (int i = 0; i < 6; ++i)
        if (variant.clipPlanes & (1 << i))
            writes += "    gl_ClipDistance[" + std::to_string(i) + "] = dot(u_clipPlane[" + std::to_string(i) + "], oPos);\n";
    // Later texture stages read their own oT registers.
    for (int s = 1; variant.stageSets && s < kMaxStages; ++s)
        if (variant.stageSets[s] != 0xFF) {
            outs += "out vec4 v_tex" + std::to_string(s) + ";\n";
            writes += "    v_tex" + std::to_string(s) + " = oT" + std::to_string(variant.stageSets[s] & 7) + ";\n";
        }
    if (variant.flat) {
        const std::string smooth = "out vec4 v_diffuse;\nout vec4 v_specular;\n";
        glsl.replace(glsl.find(smooth), smooth.size(), "flat out vec4 v_diffuse;\nflat out vec4 v_specular;\n");
    }
    glsl.insert(glsl.find("void main()"), outs);
    glsl.insert(glsl.rfind("}"), writes);
    return glsl;
}

}  // namespace tavrok::d3d9
