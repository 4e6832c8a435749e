/*
 * line.cpp - ID3DXLine (D3DXCreateLine): line strips drawn as bands of triangles.
 *
 * Draw takes the strip's points in screen pixels; DrawTransform takes them in 3D and puts
 * them through a matrix (world, view and projection together) and the device's viewport,
 * clipping what lies before the near plane or past the far one.  The stipple pattern is 32
 * bits, bit 0 first, each bit `scale` pixels of the strip's length, repeating along the
 * whole strip from its first point; the pieces under set bits are drawn.  Each piece is a
 * band `width` pixels across, centred on the line, mitred where the strip turns, as
 * pre-transformed triangles; width 1 with GL lines set draws line lists instead.  With
 * antialiasing the band gets a one-pixel edge on each side that fades from the line's alpha
 * to nothing, blended over what is there.  Begin records every device state in a state
 * block and sets the line's own; End applies the record.  A Draw outside Begin and End
 * makes its own Begin and End.  Depth states are left as the caller has them: screen-space
 * lines are at depth 0.
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>


namespace tavrok::d3dx9 {

namespace {

struct LineVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kLineFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
// The dashes one strip may have: a pattern of fine bits over a very wide line could
// otherwise ask for millions of triangles.
constexpr size_t kMostRuns = 1 << 16;

// A point of the strip on the screen: pixels, depth and 1/w.
struct ScreenPoint {
    float x, y, z, rhw;
};

ScreenPoint Lerp(const ScreenPoint &a, const ScreenPoint &b, float t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.rhw + (b.rhw - a.rhw) * t};
}

// The part [t0, t1] of the segment a-b (0 to 1) inside the rectangle; false when none is.
bool ClipToRect(const ScreenPoint &a, const ScreenPoint &b, float left, float top, float right, float bottom,
                float &t0, float &t1)
{
    t0 = 0, t1 = 1;
    const float d[2] = {b.x - a.x, b.y - a.y}, p[2] = {a.x, a.y};
    const float lo[2] = {left, top}, hi[2] = {right, bottom};
    for (int axis = 0; axis < 2; axis++) {
        if (d[axis] == 0) {
            if (p[axis] < lo[axis] || p[axis] > hi[axis])
                return false;
            continue;
        }
        float ta = (lo[axis] - p[axis]) / d[axis], tb = (hi[axis] - p[axis]) / d[axis];
        if (ta > tb)
            std::swap(ta, tb);
        t0 = std::max(t0, ta), t1 = std::min(t1, tb);
    }
    return t0 <= t1;
}

class Line final : public ComObject<ID3DXLine, IID_ID3DXLine> {
public:
    explicit Line(IDirect3DDevice9 *device) : device_(device) { device_->AddRef(); }
    ~Line() override { device_->Release(); }

    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *device) override
    {
        if (!device)
            return Invalid("GetDevice: null result pointer");
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }

    STDMETHODIMP Begin() override
    {
        if (begun_)
            return Invalid("Begin: already between Begin and End");
        HRESULT hr = saved_.Save(device_);
        if (FAILED(hr))
            return hr;
        begun_ = true;
        BatchState states[] = {
            {0, 0, D3DRS_ALPHABLENDENABLE, TRUE, 0},
            {0, 0, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, 0},
            {0, 0, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, 0},
            {0, 0, D3DRS_BLENDOP, D3DBLENDOP_ADD, 0},
            {0, 0, D3DRS_SEPARATEALPHABLENDENABLE, FALSE, 0},
            {0, 0, D3DRS_ALPHATESTENABLE, FALSE, 0},
            {0, 0, D3DRS_CULLMODE, D3DCULL_NONE, 0},
            {0, 0, D3DRS_FILLMODE, D3DFILL_SOLID, 0},
            {0, 0, D3DRS_SHADEMODE, D3DSHADE_GOURAUD, 0},
            {0, 0, D3DRS_LIGHTING, FALSE, 0},
            {0, 0, D3DRS_FOGENABLE, FALSE, 0},
            {0, 0, D3DRS_STENCILENABLE, FALSE, 0},
            {0, 0, D3DRS_COLORWRITEENABLE, 0xF, 0},
            {0, 0, D3DRS_CLIPPLANEENABLE, 0, 0},
            {0, 0, D3DRS_SRGBWRITEENABLE, FALSE, 0},
            {1, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1, 0},
            {1, 0, D3DTSS_COLORARG1, D3DTA_DIFFUSE, 0},
            {1, 0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1, 0},
            {1, 0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE, 0},
            {1, 1, D3DTSS_COLOROP, D3DTOP_DISABLE, 0},
            {1, 1, D3DTSS_ALPHAOP, D3DTOP_DISABLE, 0},
        };
        ApplyBatchStates(device_, states, sizeof states / sizeof states[0]);
        device_->SetTexture(0, nullptr);
        device_->SetVertexShader(nullptr);
        device_->SetPixelShader(nullptr);
        device_->SetFVF(kLineFvf);
        return D3D_OK;
    }

    STDMETHODIMP Draw(CONST D3DXVECTOR2 *points, DWORD count, D3DCOLOR color) override
    {
        if (!points || count < 2)
            return Invalid("Draw: " + std::string(points ? "fewer than 2 points" : "null point list"));
        std::vector<ScreenPoint> strip(count);
        for (DWORD i = 0; i < count; i++)
            strip[i] = {points[i].x, points[i].y, 0.0f, 1.0f};
        std::vector<std::vector<ScreenPoint>> pieces{std::move(strip)};
        return DrawPieces(pieces, color);
    }

    STDMETHODIMP DrawTransform(CONST D3DXVECTOR3 *points, DWORD count, CONST D3DXMATRIX *transform,
                               D3DCOLOR color) override
    {
        if (!points || count < 2 || !transform)
            return Invalid("DrawTransform: " + std::string(!points      ? "null point list"
                                                            : count < 2 ? "fewer than 2 points"
                                                                        : "null transform"));
        D3DVIEWPORT9 vp;
        device_->GetViewport(&vp);
        std::vector<D3DXVECTOR4> clip(count);
        for (DWORD i = 0; i < count; i++)
            D3DXVec3Transform(&clip[i], &points[i], transform);
        auto toScreen = [&](const D3DXVECTOR4 &c) {
            const float w = c.w;
            return ScreenPoint{float(vp.X) + (c.x / w + 1) * 0.5f * float(vp.Width),
                               float(vp.Y) + (1 - c.y / w) * 0.5f * float(vp.Height),
                               vp.MinZ + c.z / w * (vp.MaxZ - vp.MinZ), 1 / w};
        };
        // Each segment clipped to 0 <= z <= w (and w > 0): where a segment leaves the
        // volume the strip breaks into pieces.
        std::vector<std::vector<ScreenPoint>> pieces(1);
        for (DWORD i = 0; i + 1 < count; i++) {
            D3DXVECTOR4 a = clip[i], b = clip[i + 1];
            float t0 = 0, t1 = 1;
            bool visible = true;
            const float planes[3][2] = {{a.z, b.z}, {a.w - a.z, b.w - b.z}, {a.w - 1e-6f, b.w - 1e-6f}};
            for (const auto &pl : planes) {
                const float da = pl[0], db = pl[1];
                if (da < 0 && db < 0) {
                    visible = false;
                    break;
                }
                if (da < 0)
                    t0 = std::max(t0, da / (da - db));
                else if (db < 0)
                    t1 = std::min(t1, da / (da - db));
            }
            if (!visible || t0 > t1) {
                if (!pieces.back().empty())
                    pieces.emplace_back();
                continue;
            }
            auto along = [&](float t) {
                return D3DXVECTOR4(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                                   a.w + (b.w - a.w) * t);
            };
            const D3DXVECTOR4 from = along(t0), to = along(t1);
            if (t0 > 0 && !pieces.back().empty())
                pieces.emplace_back();
            if (pieces.back().empty())
                pieces.back().push_back(toScreen(from));
            pieces.back().push_back(toScreen(to));
            if (t1 < 1)
                pieces.emplace_back();
        }
        return DrawPieces(pieces, color);
    }

    STDMETHODIMP SetPattern(DWORD pattern) override
    {
        pattern_ = pattern;
        return D3D_OK;
    }
    STDMETHODIMP_(DWORD) GetPattern() override { return pattern_; }
    STDMETHODIMP SetPatternScale(FLOAT scale) override
    {
        if (!(scale > 0) || !std::isfinite(scale))
            return Invalid("SetPatternScale: the scale must be a positive number");
        scale_ = scale;
        return D3D_OK;
    }
    STDMETHODIMP_(FLOAT) GetPatternScale() override { return scale_; }
    STDMETHODIMP SetWidth(FLOAT width) override
    {
        if (!(width >= 0) || !std::isfinite(width))
            return Invalid("SetWidth: the width must be a number of 0 or more");
        width_ = width;
        return D3D_OK;
    }
    STDMETHODIMP_(FLOAT) GetWidth() override { return width_; }
    STDMETHODIMP SetAntialias(BOOL antialias) override
    {
        antialias_ = antialias != FALSE;
        return D3D_OK;
    }
    STDMETHODIMP_(BOOL) GetAntialias() override { return antialias_; }
    STDMETHODIMP SetGLLines(BOOL glLines) override
    {
        glLines_ = glLines != FALSE;
        return D3D_OK;
    }
    STDMETHODIMP_(BOOL) GetGLLines() override { return glLines_; }

    STDMETHODIMP End() override
    {
        if (!begun_)
            return Invalid("End: without Begin");
        saved_.Restore();
        begun_ = false;
        return D3D_OK;
    }

    // The recorded states are all the line holds of the device.
    STDMETHODIMP OnLostDevice() override
    {
        if (begun_)
            End();
        return D3D_OK;
    }
    STDMETHODIMP OnResetDevice() override { return D3D_OK; }

private:
    HRESULT Invalid(const std::string &why)
    {
        Diagnostic(kLibrary, "", "", "ID3DXLine::" + why);
        return D3DERR_INVALIDCALL;
    }

    // The pieces of strip under set bits of the pattern, measured along all of `pieces` from
    // the first point, and only as far as they come near the viewport: each run a strip of
    // its own, ended where a bit or the viewport ends it.
    std::vector<std::vector<ScreenPoint>> Dashes(const std::vector<std::vector<ScreenPoint>> &pieces, float margin)
    {
        D3DVIEWPORT9 vp;
        device_->GetViewport(&vp);
        const float left = float(vp.X) - margin, top = float(vp.Y) - margin;
        const float right = float(vp.X + vp.Width) + margin, bottom = float(vp.Y + vp.Height) + margin;
        const bool solid = pattern_ == 0xFFFFFFFFu;
        // Bits thinner than an eighth of a pixel are walked as if that wide: the walk stays
        // bounded by the strip's length on the screen.
        const double scale = std::max(double(scale_), 0.125);
        std::vector<std::vector<ScreenPoint>> runs;
        if (pattern_ == 0)
            return runs;
        double travelled = 0;  // pixels along the strip before the present segment
        for (const auto &piece : pieces) {
            bool open = false;
            for (size_t i = 0; i + 1 < piece.size(); i++) {
                const ScreenPoint &a = piece[i], &b = piece[i + 1];
                const double length = std::hypot(double(b.x - a.x), double(b.y - a.y));
                float t0, t1;
                if (length <= 0 || !ClipToRect(a, b, left, top, right, bottom, t0, t1)) {
                    if (length > 0)
                        open = false;
                    travelled += length;
                    continue;
                }
                if (t0 > 0)
                    open = false;
                // Walk the bits from t0 to t1: a run opens at a set bit and closes at a clear one.
                bool endInSegment = false;
                double at = t0 * length;
                const double stop = t1 * length;
                while (at < stop) {
                    double next = stop;
                    bool on = true;
                    if (!solid) {
                        const double u = (travelled + at) / scale;
                        const double bitStart = std::floor(u);
                        on = (pattern_ >> (uint64_t(bitStart) % 32)) & 1;
                        next = std::min(stop, (bitStart + 1) * scale - travelled);
                        if (next <= at)  // rounding at a bit's edge: step past it
                            next = std::min(stop, at + scale * 1e-3);
                    }
                    if (on) {
                        const ScreenPoint end = Lerp(a, b, float(next / length));
                        if (!open) {
                            if (runs.size() >= kMostRuns) {
                                Unsupported(kLibrary, "ID3DXLine: more than " + std::to_string(kMostRuns) +
                                                          " dashes in one strip (the rest are not drawn)");
                                return runs;
                            }
                            runs.emplace_back();
                            runs.back().push_back(Lerp(a, b, float(at / length)));
                            open = true;
                            endInSegment = false;
                        }
                        // Consecutive set bits in one segment move the run's end along it.
                        if (endInSegment)
                            runs.back().back() = end;
                        else
                            runs.back().push_back(end);
                        endInSegment = true;
                    } else {
                        open = false;
                    }
                    at = next;
                }
                // A run reaching the segment's end goes on round the corner.
                if (t1 < 1)
                    open = false;
                travelled += length;
            }
        }
        return runs;
    }

    // Triangles of the band between offsets o0 and o1 across each run (negative to the left
    // of the direction of travel), with alpha scales a0 and a1 at the two edges.
    void Band(const std::vector<ScreenPoint> &run, const std::vector<D3DXVECTOR2> &miters, float o0, float a0,
              float o1, float a1, D3DCOLOR color, std::vector<LineVertex> &out)
    {
        const float alpha = float(color >> 24);
        auto tint = [&](float scale) {
            return (D3DCOLOR(std::lround(std::clamp(alpha * scale, 0.0f, 255.0f))) << 24) | (color & 0xFFFFFF);
        };
        const D3DCOLOR c0 = tint(a0), c1 = tint(a1);
        auto vertex = [&](size_t i, float offset, D3DCOLOR c) {
            const ScreenPoint &p = run[i];
            return LineVertex{p.x + miters[i].x * offset, p.y + miters[i].y * offset, p.z, p.rhw, c};
        };
        for (size_t i = 0; i + 1 < run.size(); i++) {
            LineVertex p0 = vertex(i, o0, c0), p1 = vertex(i, o1, c1);
            LineVertex q0 = vertex(i + 1, o0, c0), q1 = vertex(i + 1, o1, c1);
            out.insert(out.end(), {p0, q0, p1, p1, q0, q1});
        }
    }

    // Per point of a run, the unit normal of its segment, or at a corner the mitre: the
    // direction halfway between the two normals, long enough that the band's edges meet,
    // but no longer than 4 (sharp corners are cut short).
    static std::vector<D3DXVECTOR2> Miters(const std::vector<ScreenPoint> &run)
    {
        std::vector<D3DXVECTOR2> normals;
        for (size_t i = 0; i + 1 < run.size(); i++) {
            D3DXVECTOR2 d(run[i + 1].x - run[i].x, run[i + 1].y - run[i].y);
            const float len = D3DXVec2Length(&d);
            normals.push_back(len > 0 ? D3DXVECTOR2(-d.y / len, d.x / len) : D3DXVECTOR2(0, 0));
        }
        std::vector<D3DXVECTOR2> miters(run.size());
        for (size_t i = 0; i < run.size(); i++) {
            const D3DXVECTOR2 before = normals[i > 0 ? i - 1 : 0], after = normals[std::min(i, normals.size() - 1)];
            D3DXVECTOR2 m(before.x + after.x, before.y + after.y);
            const float len = D3DXVec2Length(&m);
            if (len < 1e-4f) {
                miters[i] = after;
                continue;
            }
            const float cosHalf = (m.x * after.x + m.y * after.y) / len;
            const float stretch = std::min(4.0f, 1.0f / std::max(cosHalf, 0.25f)) / len;
            miters[i] = D3DXVECTOR2(m.x * stretch, m.y * stretch);
        }
        return miters;
    }

    HRESULT DrawPieces(const std::vector<std::vector<ScreenPoint>> &pieces, D3DCOLOR color)
    {
        const bool own = !begun_;
        if (own) {
            HRESULT hr = Begin();
            if (FAILED(hr))
                return hr;
        }
        const float half = width_ / 2;
        const bool lines = glLines_ && width_ <= 1;
        std::vector<std::vector<ScreenPoint>> runs = Dashes(pieces, 4 * half + 2);
        std::vector<LineVertex> vertices;
        for (auto &run : runs) {
            // Points the walk left on top of each other give no direction.
            run.erase(std::unique(run.begin(), run.end(),
                                  [](const ScreenPoint &a, const ScreenPoint &b) { return a.x == b.x && a.y == b.y; }),
                      run.end());
            if (run.size() < 2)
                continue;
            if (lines) {
                for (size_t i = 0; i + 1 < run.size(); i++) {
                    vertices.push_back({run[i].x, run[i].y, run[i].z, run[i].rhw, color});
                    vertices.push_back({run[i + 1].x, run[i + 1].y, run[i + 1].z, run[i + 1].rhw, color});
                }
                continue;
            }
            const std::vector<D3DXVECTOR2> miters = Miters(run);
            if (!antialias_) {
                Band(run, miters, -half, 1, half, 1, color, vertices);
                continue;
            }
            // A one-pixel fade on each side; a band thinner than that is fainter as well.
            const float inner = std::max(half - 0.5f, 0.0f), core = std::min(1.0f, width_);
            if (inner > 0)
                Band(run, miters, -inner, core, inner, core, color, vertices);
            Band(run, miters, -half - 0.5f, 0, -inner, core, color, vertices);
            Band(run, miters, inner, core, half + 0.5f, 0, color, vertices);
        }
        HRESULT hr = D3D_OK;
        if (!vertices.empty()) {
            device_->SetRenderState(D3DRS_ANTIALIASEDLINEENABLE, lines && antialias_);
            hr = lines ? device_->DrawPrimitiveUP(D3DPT_LINELIST, UINT(vertices.size() / 2), vertices.data(),
                                                  sizeof(LineVertex))
                       : device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(vertices.size() / 3), vertices.data(),
                                                  sizeof(LineVertex));
        }
        if (own)
            End();
        return hr;
    }

    IDirect3DDevice9 *device_;
    SavedDeviceState saved_;
    bool begun_ = false;
    DWORD pattern_ = 0xFFFFFFFFu;
    float scale_ = 1.0f, width_ = 1.0f;
    bool antialias_ = false, glLines_ = false;
};

}  // namespace
}  // namespace tavrok::d3dx9

HRESULT WINAPI D3DXCreateLine(LPDIRECT3DDEVICE9 pDevice, LPD3DXLINE *ppLine)
{
    if (ppLine)
        *ppLine = nullptr;
    if (!pDevice || !ppLine) {
        tavrok::Diagnostic(tavrok::d3dx9::kLibrary, "", "", "D3DXCreateLine: null device or result pointer");
        return D3DERR_INVALIDCALL;
    }
    *ppLine = new tavrok::d3dx9::Line(pDevice);
    return D3D_OK;
}
