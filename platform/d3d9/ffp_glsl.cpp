/*
 * ffp_glsl.cpp - the Direct3D 9 fixed-function pipeline written as GLSL 3.30.
 *
 * Vertex stage: world and view transforms into camera space (blending up to four world
 * matrices, or tweening two positions and normals), the projection, screen-space
 * (D3DFVF_XYZRHW) vertices mapped back through the viewport, Direct3D lighting in camera
 * space (global ambient, directional, point and spot lights with range, attenuation
 * and falloff, specular with the local or distant viewer, material colour sources),
 * vertex colours (white diffuse and black specular when the layout has none).  Every
 * position gets Direct3D's 0..1 depth range and its half-pixel offset.
 * Pixel stage: texture stages 0 to 7, cascading until the first disabled one, with the
 * colour and alpha operations that device_states.cpp accepts, arguments DIFFUSE,
 * CURRENT, TEXTURE, TFACTOR, SPECULAR, TEMP and CONSTANT with COMPLEMENT and
 * ALPHAREPLICATE, results into CURRENT or TEMP, sRGB textures read as linear, bump
 * mapping (D3DTOP_BUMPENVMAP moves the next stage's coordinates), the specular sum, sRGB
 * writes, and the alpha test against
 * D3DRS_ALPHAREF on 8-bit alpha.  A stage that reads a texture when none is bound
 * reads opaque white.  Fog: table fog (linear, exp, exp2) per pixel on w under a
 * perspective projection or on the device depth otherwise; vertex fog per vertex on
 * the eye depth or, with D3DRS_RANGEFOGENABLE, the eye distance; with both modes off
 * the factor is the vertex's specular alpha (or what a vertex shader wrote to oFog).
 * Texture coordinates are read from the vertex or generated (camera-space normal,
 * position, reflection vector, sphere map), then go through each stage's transform.
 * A stage with a cube or volume texture reads three of them (x, y, z), else two.
 */
#include "pipeline_glsl.h"

#include <algorithm>
#include <sstream>

namespace tavrok::d3d9 {

namespace {

const char *SourceExpr(int source, const char *material)
{
    switch (source) {
    case D3DMCS_COLOR1: return "a_diffuse";
    case D3DMCS_COLOR2: return "a_specular";
    default: return material;
    }
}

// A stage argument.  D3DTA_CURRENT reads `result`: the diffuse colour before stage 0,
// the last result written to it after.
std::string Arg(int arg, int stage)
{
    std::string e;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: e = "v_diffuse"; break;
    case D3DTA_CURRENT: e = "result"; break;
    case D3DTA_TEXTURE: e = "tex"; break;
    case D3DTA_TFACTOR: e = "u_tfactor"; break;
    case D3DTA_SPECULAR: e = "v_specular"; break;
    case D3DTA_TEMP: e = "temp"; break;
    case D3DTA_CONSTANT: e = "u_stageConstant[" + std::to_string(stage) + "]"; break;
    default: e = "vec4(1.0)"; break;
    }
    if (arg & D3DTA_ALPHAREPLICATE)
        e = e + ".aaaa";
    if (arg & D3DTA_COMPLEMENT)
        e = "(vec4(1.0) - " + e + ")";
    return e;
}

// A stage's operation on its arguments (a0 only for MULTIPLYADD and LERP) as a vec4.
std::string Op(int op, const std::string &a1, const std::string &a2, const std::string &a0)
{
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return a1 + " * " + a2 + " * 2.0";
    case D3DTOP_MODULATE4X: return a1 + " * " + a2 + " * 4.0";
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - vec4(0.5)";
    case D3DTOP_ADDSIGNED2X: return "(" + a1 + " + " + a2 + " - vec4(0.5)) * 2.0";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", v_diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", tex.a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", u_tfactor.a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", result.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - tex.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + " + " + a1 + ".aaaa * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + " + a1 + ".aaaa";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return a1 + " + (1.0 - " + a1 + ".a) * " + a2;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "(vec4(1.0) - " + a1 + ") * " + a2 + " + " + a1 + ".aaaa";
    // The arguments as signed vectors (0.5 is zero), their dot product in every channel.
    case D3DTOP_DOTPRODUCT3: return "vec4(4.0 * dot(" + a1 + ".rgb - vec3(0.5), " + a2 + ".rgb - vec3(0.5)))";
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: return "v_diffuse";
    }
}

const char *Compare(int func)
{
    switch (func) {
    case D3DCMP_NEVER: return "false";
    case D3DCMP_LESS: return "a < ref";
    case D3DCMP_EQUAL: return "a == ref";
    case D3DCMP_LESSEQUAL: return "a <= ref";
    case D3DCMP_GREATER: return "a > ref";
    case D3DCMP_NOTEQUAL: return "a != ref";
    case D3DCMP_GREATEREQUAL: return "a >= ref";
    default: return "true";
    }
}

// A stage's coordinates `in` (a vec4 attribute, `size` of them given) as the rasterizer
// gets them.  Through a texture transform the coordinates are first extended by a 1 after
// the last given one (so that a 2D set's third matrix row moves it), multiplied by the
// stage's matrix as a row vector, and only `count` of the results kept; with
// kTexProjected the last kept one goes to w, which the pixel stage divides by.
std::string TransformedCoordinates(const std::string &in, int size, int flags, int stage)
{
    const int count = flags & 7;
    if (count == 0)
        return in;
    static const char *const extended[5] = {"%s", "vec4(%s.x, 1.0, 0.0, 0.0)",
                                            "vec4(%s.xy, 1.0, 0.0)", "vec4(%s.xyz, 1.0)", "%s"};
    std::string e = extended[std::min(size, 4)];
    for (size_t at; (at = e.find("%s")) != std::string::npos;)
        e.replace(at, 2, in);
    const std::string t = "(u_texMatrix[" + std::to_string(stage) + "] * " + e + ")";
    static const char *const kept[5] = {"", "x", "xy", "xyz", "xyzw"};
    if (flags & kTexProjected) {
        static const char *const divisor[5] = {"", "x", "y", "z", "w"};
        const std::string rest = count > 1 ? std::string(kept[count - 1]) : "";
        const int pad = 3 - (count - 1);
        std::string v = "vec4(";
        if (!rest.empty())
            v += t + "." + rest + ", ";
        for (int i = 0; i < pad; ++i)
            v += "0.0, ";
        return v + t + "." + divisor[count] + ")";
    }
    std::string v = "vec4(" + t + "." + kept[count];
    for (int i = count; i < 3; ++i)
        v += ", 0.0";
    return v + (count < 4 ? ", 1.0)" : ")");
}

}  // namespace

std::string FixedFunctionVertexGlsl(const VertexKey &k)
{
    std::ostringstream o;
    o << "#version 330 core\n"
         "uniform mat4 u_worldView;\n"
         "uniform mat4 u_projection;\n"
         "uniform mat3 u_normalMatrix;\n"
         "uniform vec4 u_pixel;\n"
         "uniform vec4 u_viewport;\n"
         "uniform vec2 u_depthRange;\n"
         "uniform vec4 u_materialDiffuse, u_materialAmbient, u_materialSpecular, u_materialEmissive;\n"
         "uniform float u_materialPower;\n"
         "uniform vec4 u_ambient;\n"
         "uniform vec4 u_lightDiffuse[8], u_lightSpecular[8], u_lightAmbient[8];\n"
         "uniform vec3 u_lightPosition[8], u_lightDirection[8];\n"
         "uniform vec4 u_lightAttenuation[8];\n"  // range, a0, a1, a2
         "uniform vec3 u_lightSpot[8];\n"         // cos(theta / 2), cos(phi / 2), falloff
         "uniform vec4 u_fog;\n"                  // start, end, density, w-based (1) or z-based (0)
         "uniform vec4 u_point;\n"                // size, least, largest, viewport height
         "uniform vec3 u_pointScale;\n"           // A, B, C
         "uniform vec4 u_clipPlane[6];\n"         // user clip planes in camera space
         "uniform mat4 u_texMatrix[8];\n"         // each stage's D3DTS_TEXTUREn
         "uniform mat4 u_blendWorldView[64];\n"   // D3DTS_WORLDMATRIX(i) times the view
         "uniform mat3 u_blendNormal[64];\n"      // ... and their normal matrices
         "uniform float u_tween;\n"               // D3DRS_TWEENFACTOR
         "in vec4 a_position;\n";
    if (k.tween & kTweenPosition)
        o << "in vec4 a_position1;\n";
    if (k.tween & kTweenNormal)
        o << "in vec3 a_normal1;\n";
    if (k.points && k.hasPointSize)
        o << "in float a_psize;\n";
    if (k.blendMatrices > 1)
        o << "in vec4 a_blendWeight;\n";
    if (k.indexedBlend)
        o << "in vec4 a_blendIndices;\n";
    if (k.hasNormal)
        o << "in vec3 a_normal;\n";
    o << (k.hasDiffuse ? "in vec4 a_diffuse;\n" : "const vec4 a_diffuse = vec4(1.0);\n");
    o << (k.hasSpecular ? "in vec4 a_specular;\n" : "const vec4 a_specular = vec4(0.0);\n");
    if (k.texSize)
        o << "in vec4 a_texcoord;\n";
    o << (k.flat ? "flat out vec4 v_diffuse;\nflat out vec4 v_specular;\n" : "out vec4 v_diffuse;\nout vec4 v_specular;\n")
      << "out vec4 v_tex0;\nout float v_fog;\n";
    // The coordinate sets that later stages read, each declared once.
    bool declared[8] = {};
    for (int s = 1; s < kMaxStages; ++s) {
        if (k.stageSet[s] == 0xFF)
            continue;
        o << "out vec4 v_tex" << s << ";\n";
        if (!declared[k.stageSet[s] & 7])
            o << "in vec4 a_tc" << int(k.stageSet[s] & 7) << ";\n";
        declared[k.stageSet[s] & 7] = true;
    }
    o << "void main()\n{\n";
    if (k.pretransformed) {
        o << "    float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;\n"
             "    vec2 ndc = vec2((a_position.x - u_viewport.x) / u_viewport.z * 2.0 - 1.0,\n"
             "                    1.0 - (a_position.y - u_viewport.y) / u_viewport.w * 2.0);\n"
             "    float z = (a_position.z - u_depthRange.x) / max(u_depthRange.y - u_depthRange.x, 1e-20);\n"
             "    vec4 clip = vec4(ndc, z, 1.0) * w;\n";
    } else {
        if (k.blendMatrices) {
            // Vertex blending: the sum of the position (and normal) through each world
            // matrix, by the vertex's weights, the last weight making the sum 1.
            o << "    vec4 eye = vec4(0.0);\n    vec3 eyeNormal = vec3(0.0);\n    float rest = 1.0;\n";
            if (k.indexedBlend)
                o << "    ivec4 bi = ivec4(a_blendIndices + 0.5);\n";
            for (int i = 0; i < k.blendMatrices; ++i) {
                const std::string m = k.indexedBlend ? "bi[" + std::to_string(i) + "]" : std::to_string(i);
                if (i + 1 < k.blendMatrices)
                    o << "    float w" << i << " = a_blendWeight[" << i << "];\n    rest -= w" << i << ";\n";
                else
                    o << "    float w" << i << " = rest;\n";
                o << "    eye += w" << i << " * (u_blendWorldView[" << m << "] * a_position);\n";
                if (k.hasNormal)
                    o << "    eyeNormal += w" << i << " * (u_blendNormal[" << m << "] * a_normal);\n";
            }
        } else {
            // Tweening: each of the two positions (and normals) weighed by the tween factor.
            o << "    vec4 eye = u_worldView * "
              << (k.tween & kTweenPosition ? "mix(a_position, a_position1, u_tween)" : "a_position") << ";\n";
            if (k.hasNormal)
                o << "    vec3 eyeNormal = u_normalMatrix * "
                  << (k.tween & kTweenNormal ? "mix(a_normal, a_normal1, u_tween)" : "a_normal") << ";\n";
        }
        o << "    vec4 clip = u_projection * eye;\n";
    }
    // u_pixel.z is -1 for a target whose rows are stored top first: clip space turned over.
    o << "    gl_Position = vec4(clip.x + u_pixel.x * clip.w, (clip.y + u_pixel.y * clip.w) * u_pixel.z,\n"
         "                       clip.z * 2.0 - clip.w, clip.w);\n";
    // User clip planes keep what lies on their positive side; screen-space vertices are
    // not clipped by them.
    for (int i = 0; i < 6 && !k.pretransformed; ++i)
        if (k.clipPlanes & (1 << i))
            o << "    gl_ClipDistance[" << i << "] = dot(u_clipPlane[" << i << "], eye);\n";
    if (k.points) {
        // The point's size in pixels: its own or D3DRS_POINTSIZE, scaled by the viewport
        // height over sqrt(A + B d + C d^2) at eye distance d, then clamped.
        o << "    float size = " << (k.hasPointSize ? "a_psize" : "u_point.x") << ";\n";
        if (k.pointScale && !k.pretransformed)
            o << "    float de = length(eye.xyz);\n"
                 "    size *= u_point.w * inversesqrt(max(u_pointScale.x + u_pointScale.y * de + "
                 "u_pointScale.z * de * de, 1e-20));\n";
        o << "    gl_PointSize = clamp(size, u_point.y, u_point.z);\n";
    }
    // Fog: the depth for table fog (w, the eye distance along z, under a perspective
    // projection; the device depth otherwise), or the vertex fog factor.
    if (k.fog == kFogDepth) {
        if (k.pretransformed)
            o << "    v_fog = (u_fog.w > 0.5 && a_position.w != 1.0) ? 1.0 / a_position.w : z;\n";
        else
            o << "    v_fog = u_fog.w > 0.5 ? eye.z : clip.z / clip.w;\n";
    } else if (k.fog >= kFogVertexExp && k.fog <= kFogVertexLinear && !k.pretransformed) {
        o << "    float d = " << (k.rangeFog ? "length(eye.xyz)" : "eye.z") << ";\n";
        if (k.fog == kFogVertexLinear)
            o << "    v_fog = clamp((u_fog.y - d) / (u_fog.y - u_fog.x), 0.0, 1.0);\n";
        else if (k.fog == kFogVertexExp)
            o << "    v_fog = clamp(exp(-u_fog.z * d), 0.0, 1.0);\n";
        else
            o << "    v_fog = clamp(exp(-(u_fog.z * d) * (u_fog.z * d)), 0.0, 1.0);\n";
    } else {
        o << "    v_fog = " << (k.hasSpecular ? "a_specular.a" : "1.0") << ";\n";
    }
    // Generated coordinates: the camera-space normal, position or the reflection of the
    // view direction (towards +z, or from the eye with a local viewer) about the normal.
    bool generates = false;
    for (int s = 0; s < kMaxStages; ++s)
        generates |= k.texGen[s] != kGenNone;
    if (generates) {
        o << "    vec3 genNormal = " << (k.hasNormal ? "eyeNormal" : "vec3(0.0)") << ";\n";
        if (k.normalize)
            o << "    genNormal = normalize(genNormal);\n";
        o << "    vec3 genReflection = reflect(" << (k.localViewer ? "normalize(eye.xyz)" : "vec3(0.0, 0.0, 1.0)")
          << ", normalize(genNormal));\n"
             // The sphere map's lookup: a reflection straight back at the eye (0, 0, -1)
             // reads the map's centre, one turned up (+y) reads above it.
             "    float sphereM = 2.0 * length(genReflection - vec3(0.0, 0.0, 1.0));\n"
             "    vec2 genSphere = vec2(genReflection.x, -genReflection.y) / max(sphereM, 1e-20) + 0.5;\n";
    }
    for (int s = 0; s < kMaxStages; ++s) {
        if (s > 0 && k.stageSet[s] == 0xFF)
            continue;
        static const char *const generated[kGenSphereMap + 1] = {
            "", "vec4(genNormal, 1.0)", "vec4(eye.xyz, 1.0)", "vec4(genReflection, 1.0)", "vec4(genSphere, 0.0, 1.0)"};
        static_assert(kGenNormal == 1 && kGenPosition == 2 && kGenReflection == 3 && kGenSphereMap == 4);
        const std::string in = k.texGen[s] ? generated[k.texGen[s]]
                               : s == 0    ? (k.texSize ? "a_texcoord" : "vec4(0.0, 0.0, 0.0, 1.0)")
                                           : "a_tc" + std::to_string(k.stageSet[s]);
        const int size = k.texGen[s] == kGenSphereMap ? 2 : k.texGen[s] ? 3 : k.stageSize[s];
        o << "    v_tex" << s << " = " << TransformedCoordinates(in, size, k.texTransform[s], s) << ";\n";
    }

    if (!k.lighting || k.pretransformed) {
        o << "    v_diffuse = a_diffuse;\n    v_specular = a_specular;\n}\n";
        return o.str();
    }
    const char *diffuse = SourceExpr(k.diffuseSource, "u_materialDiffuse");
    const char *ambient = SourceExpr(k.ambientSource, "u_materialAmbient");
    const char *specular = SourceExpr(k.specularSource, "u_materialSpecular");
    const char *emissive = SourceExpr(k.emissiveSource, "u_materialEmissive");
    o << "    vec3 lightAmbient = u_ambient.rgb;\n"
         "    vec3 lightDiffuse = vec3(0.0);\n"
         "    vec3 lightSpecular = vec3(0.0);\n";
    bool anyLight = false;
    for (int i = 0; i < kMaxLights; i++)
        anyLight |= k.lightTypes[i] != 0;
    if (anyLight) {
        if (k.hasNormal) {
            o << "    vec3 n = eyeNormal;\n";
            if (k.normalize)
                o << "    n = normalize(n);\n";
        } else {
            o << "    vec3 n = vec3(0.0);\n";
        }
        o << "    vec3 toEye = " << (k.localViewer ? "normalize(-eye.xyz)" : "vec3(0.0, 0.0, -1.0)") << ";\n";
    }
    for (int i = 0; i < kMaxLights; i++) {
        int type = k.lightTypes[i];
        if (!type)
            continue;
        o << "    {\n";
        if (type == D3DLIGHT_DIRECTIONAL) {
            o << "        vec3 l = normalize(-u_lightDirection[" << i << "]);\n"
                 "        float atten = 1.0;\n";
        } else {
            o << "        vec3 d = u_lightPosition[" << i << "] - eye.xyz;\n"
                 "        float dist = length(d);\n"
                 "        vec3 l = d / max(dist, 1e-20);\n"
                 "        vec4 at = u_lightAttenuation[" << i << "];\n"
                 "        float atten = dist > at.x ? 0.0 : 1.0 / max(at.y + at.z * dist + at.w * dist * dist, 1e-20);\n";
            if (type == D3DLIGHT_SPOT)
                o << "        vec3 sp = u_lightSpot[" << i << "];\n"
                     "        float rho = dot(-l, normalize(u_lightDirection[" << i << "]));\n"
                     "        atten *= rho > sp.x ? 1.0 : rho <= sp.y ? 0.0 : "
                     "pow((rho - sp.y) / max(sp.x - sp.y, 1e-20), sp.z);\n";
        }
        o << "        float nl = dot(n, l);\n"
             "        lightAmbient += u_lightAmbient[" << i << "].rgb * atten;\n"
             "        if (nl > 0.0) {\n"
             "            lightDiffuse += u_lightDiffuse[" << i << "].rgb * nl * atten;\n";
        if (k.specularEnable)
            o << "            vec3 h = normalize(l + toEye);\n"
                 "            lightSpecular += u_lightSpecular[" << i << "].rgb * "
                 "pow(max(dot(n, h), 0.0), u_materialPower) * atten;\n";
        o << "        }\n    }\n";
    }
    o << "    vec3 color = " << emissive << ".rgb + lightAmbient * " << ambient << ".rgb + lightDiffuse * " << diffuse
      << ".rgb;\n"
         "    v_diffuse = clamp(vec4(color, "
      << diffuse << ".a), 0.0, 1.0);\n";
    if (k.specularEnable)
        o << "    v_specular = clamp(vec4(lightSpecular * " << specular << ".rgb, " << specular << ".a), 0.0, 1.0);\n";
    else
        o << "    v_specular = vec4(0.0);\n";
    o << "}\n";
    return o.str();
}

std::string FragmentInterfaceGlsl(const FragmentKey &k, bool srgbRead)
{
    std::ostringstream o;
    o << "#version 330 core\n"
      << (k.flat ? "flat in vec4 v_diffuse;\nflat in vec4 v_specular;\n" : "in vec4 v_diffuse;\nin vec4 v_specular;\n")
      << "in float v_fog;\n"
         "uniform vec4 u_fog;\n"
         "uniform vec4 u_fogColor;\n"
         "uniform float u_alphaRef;\n"
         "out vec4 o_color;\n";
    // The sRGB transfer function and its inverse, on the colour channels only.
    if (srgbRead)
        o << "vec4 FromSrgb(vec4 c)\n{\n"
             "    return vec4(mix(c.rgb / 12.92, pow((c.rgb + 0.055) / 1.055, vec3(2.4)), "
             "greaterThan(c.rgb, vec3(0.04045))), c.a);\n}\n";
    if (k.srgbWrite)
        o << "vec3 ToSrgb(vec3 c)\n{\n"
             "    return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, greaterThan(c, vec3(0.0031308)));\n}\n";
    return o.str();
}

std::string FragmentTailGlsl(const FragmentKey &k)
{
    std::ostringstream o;
    if (k.fog) {
        const char *depth = k.fogFromFragmentDepth ? "gl_FragCoord.z" : "v_fog";
        if (k.fog == kFogFactor)
            o << "    float f = v_fog;\n";
        else if (k.fog == D3DFOG_LINEAR)
            o << "    float f = (u_fog.y - " << depth << ") / (u_fog.y - u_fog.x);\n";
        else if (k.fog == D3DFOG_EXP)
            o << "    float f = exp(-u_fog.z * " << depth << ");\n";
        else
            o << "    float f = exp(-(u_fog.z * " << depth << ") * (u_fog.z * " << depth << "));\n";
        o << "    result.rgb = mix(u_fogColor.rgb, result.rgb, clamp(f, 0.0, 1.0));\n";
    }
    if (k.alphaFunc != D3DCMP_ALWAYS)
        o << "    float a = floor(result.a * 255.0 + 0.5);\n"
             "    float ref = u_alphaRef;\n"
             "    if (!("
          << Compare(k.alphaFunc) << ")) discard;\n";
    if (k.srgbWrite)
        o << "    result.rgb = ToSrgb(result.rgb);\n";
    o << "    o_color = result;\n";
    return o.str();
}

std::string FragmentGlsl(const FragmentKey &k)
{
    int stages = 0;  // stages that take part: up to the first disabled one
    bool srgbRead = false;
    while (stages < kMaxStages && k.stages[stages].colorOp && k.stages[stages].colorOp != D3DTOP_DISABLE)
        srgbRead |= k.stages[stages++].srgb != 0;
    std::ostringstream o;
    o << FragmentInterfaceGlsl(k, srgbRead)
      << "uniform vec4 u_tfactor;\n"
         "uniform vec4 u_stageConstant[8];\n"  // each stage's D3DTSS_CONSTANT
         "uniform vec4 u_bumpMatrix[8];\n";    // each stage's D3DTSS_BUMPENVMAT00, 01, 10, 11
    for (int s = 0; s < stages; ++s)
        o << "in vec4 v_tex" << s << ";\nuniform "
          << (k.stages[s].target == kTargetCube ? "samplerCube" : k.stages[s].target == kTargetVolume ? "sampler3D" : "sampler2D")
          << " u_texture" << s << ";\n";
    o << "void main()\n{\n"
         "    vec4 result = v_diffuse;\n"
         "    vec4 temp = vec4(0.0);\n";
    // A sprite's coordinates run from (0, 0) at its top left to (1, 1) in every stage; a
    // stage after a bump-map stage reads its coordinates moved by the bump.
    // Cube and volume textures read three coordinates (a sprite's third is 0).
    auto coord = [&](int s) {
        const std::string v = "v_tex" + std::to_string(s);
        const bool three = k.stages[s].target != kTarget2D;
        const std::string n = three ? ".xyz" : ".xy";
        const std::string sprite = three ? "vec3(gl_PointCoord, 0.0)" : "gl_PointCoord";
        std::string c = k.pointSprite ? sprite : (k.projected >> s) & 1 ? v + n + " / " + v + ".w" : v + n;
        if (s > 0 && k.stages[s - 1].colorOp == D3DTOP_BUMPENVMAP)
            c = three ? "(" + c + " + vec3(bump, 0.0))" : "(" + c + " + bump)";
        return c;
    };
    o << "    vec2 bump = vec2(0.0);\n";
    // Each stage combines its arguments into the result (D3DTA_CURRENT), or into the
    // temporary register with D3DTSS_RESULTARG = D3DTA_TEMP.
    for (int s = 0; s < stages; ++s) {
        const StageKey &st = k.stages[s];
        std::string read = "texture(u_texture" + std::to_string(s) + ", " + coord(s) + ")";
        if (st.colorOp == D3DTOP_BUMPENVMAP) {
            // A bump map's (du, dv) through the stage's matrix; the stage writes no colour.
            const std::string m = "u_bumpMatrix[" + std::to_string(s) + "]";
            o << "    {\n        vec2 d = " << (st.hasTexture ? read + ".rg" : std::string("vec2(0.0)")) << ";\n"
              << "        bump = vec2(" << m << ".x * d.x + " << m << ".z * d.y, " << m << ".y * d.x + " << m
              << ".w * d.y);\n    }\n";
            continue;
        }
        if (st.srgb)
            read = "FromSrgb(" + read + ")";
        o << "    {\n        vec4 tex = " << (st.hasTexture ? read : std::string("vec4(1.0)")) << ";\n"
          << "        vec4 next;\n"
          << "        next.rgb = clamp((" << Op(st.colorOp, Arg(st.colorArg1, s), Arg(st.colorArg2, s), Arg(st.colorArg0, s))
          << ").rgb, 0.0, 1.0);\n";
        if (st.colorOp == D3DTOP_DOTPRODUCT3)  // its product goes to alpha too, whatever the alpha op
            o << "        next.a = next.r;\n";
        else if (st.alphaOp == D3DTOP_DISABLE)
            o << "        next.a = result.a;\n";
        else
            o << "        next.a = clamp((" << Op(st.alphaOp, Arg(st.alphaArg1, s), Arg(st.alphaArg2, s), Arg(st.alphaArg0, s))
              << ").a, 0.0, 1.0);\n";
        o << (st.toTemp ? "        temp = next;\n    }\n" : "        result = next;\n    }\n");
    }
    if (k.addSpecular)
        o << "    result.rgb = min(result.rgb + v_specular.rgb, vec3(1.0));\n";
    o << FragmentTailGlsl(k) << "}\n";
    return o.str();
}

}  // namespace tavrok::d3d9
