/*
 * font.cpp - ID3DXFont: D3DXCreateFontA / D3DXCreateFontIndirectA and DrawTextA.
 *
 * Glyphs come from font_face.cpp and are packed, on first use, into atlas textures
 * (A8R8G8B8, white with the glyph's coverage as alpha, with the mip levels the font was
 * made with).  DrawTextA lays out ANSI (Windows-1252) text in lines, then draws one
 * textured, pre-transformed quad per glyph at depth 0 through the device with the sprite
 * batch's states (sprite.cpp; the device's depth states stay as they are), restoring every
 * render, texture-stage and sampler state, the texture, the shaders and the vertex format it
 * changed.  Given a sprite, the glyphs join its batch instead and are drawn when it flushes.
 * Honoured formats: DT_LEFT/TOP, DT_CENTER, DT_RIGHT, DT_VCENTER and DT_BOTTOM (single
 * line), DT_SINGLELINE, DT_NOCLIP (otherwise glyphs are clipped to the rectangle),
 * DT_CALCRECT and DT_NOPREFIX ("&&" draws "&" and a lone "&" is dropped, without the
 * underline).  Word breaking, tabs, the Unicode entry points and the GDI device context are
 * not supported.
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>

namespace tavrok::d3dx9 {
namespace {

constexpr DWORD kHonouredFormats = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP |
                                   DT_CALCRECT | DT_NOPREFIX;
constexpr DWORD kQuadFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};

struct Glyph {
    int page = -1;  // -1: nothing to draw (a space)
    int x = 0, y = 0, width = 0, height = 0;  // place in the atlas
    int left = 0, top = 0, advance = 0;
};

struct AtlasPage {
    IDirect3DTexture9 *texture = nullptr;
    UINT size = 0;
    std::vector<uint32_t> pixels;  // the page's top level, kept to rebuild the mip levels
    int penX = 1, penY = 1, shelfHeight = 0;
    bool dirty = false;
};

class Font final : public tavrok::ComObject<ID3DXFont, IID_ID3DXFont> {
public:
    Font(IDirect3DDevice9 *device, const D3DXFONT_DESCA &desc, std::unique_ptr<FontFace> face)
        : device_(device), desc_(desc), face_(std::move(face))
    {
        device_->AddRef();
    }
    ~Font()
    {
        for (AtlasPage &page : pages_)
            if (page.texture)
                page.texture->Release();
        device_->Release();
    }

    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *device) override
    {
        if (!device)
            return D3DERR_INVALIDCALL;
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }
    STDMETHODIMP GetDescA(D3DXFONT_DESCA *desc) override
    {
        if (!desc)
            return D3DERR_INVALIDCALL;
        *desc = desc_;
        return D3D_OK;
    }
    STDMETHODIMP GetDescW(D3DXFONT_DESCW *) override { return No("GetDescW"); }
    STDMETHODIMP_(BOOL) GetTextMetricsA(TEXTMETRICA *) override { return No("GetTextMetricsA"), FALSE; }
    STDMETHODIMP_(BOOL) GetTextMetricsW(TEXTMETRICW *) override { return No("GetTextMetricsW"), FALSE; }
    STDMETHODIMP_(HDC) GetDC() override { return No("GetDC"), nullptr; }

    STDMETHODIMP GetGlyphData(UINT codepoint, LPDIRECT3DTEXTURE9 *texture, RECT *blackBox, POINT *cellInc) override
    {
        const Glyph *g = Find(codepoint);
        if (!g)
            return D3DERR_INVALIDCALL;
        if (texture) {
            *texture = g->page >= 0 ? pages_[g->page].texture : nullptr;
            if (*texture)
                (*texture)->AddRef();
        }
        if (blackBox)
            *blackBox = RECT{g->x, g->y, g->x + g->width, g->y + g->height};
        if (cellInc)
            *cellInc = POINT{g->advance, 0};
        return Upload();
    }
    STDMETHODIMP PreloadCharacters(UINT first, UINT last) override
    {
        for (UINT c = first; c <= last && c < 0x110000; ++c)
            if (!Find(CodepointFromCp1252(uint8_t(c <= 0xFF ? c : '?'))) && c <= 0xFF)
                return E_FAIL;
        return Upload();
    }
    STDMETHODIMP PreloadGlyphs(UINT, UINT) override { return No("PreloadGlyphs"); }
    STDMETHODIMP PreloadTextA(LPCSTR text, INT count) override
    {
        if (!text)
            return D3DERR_INVALIDCALL;
        size_t n = count < 0 ? strlen(text) : size_t(count);
        for (size_t i = 0; i < n; ++i)
            Find(CodepointFromCp1252(uint8_t(text[i])));
        return Upload();
    }
    STDMETHODIMP PreloadTextW(LPCWSTR, INT) override { return No("PreloadTextW"); }

    STDMETHODIMP_(INT) DrawTextA(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                                 D3DCOLOR color) override
    {
        if (format & ~kHonouredFormats)
            return No("DrawTextA formats other than alignment, DT_SINGLELINE, DT_NOCLIP, DT_CALCRECT and DT_NOPREFIX"),
                   0;
        if (!text || !rect)
            return 0;
        return Draw(sprite, text, count < 0 ? strlen(text) : size_t(count), *rect, format, color);
    }
    STDMETHODIMP_(INT) DrawTextW(LPD3DXSPRITE, LPCWSTR, INT, LPRECT, DWORD, D3DCOLOR) override
    {
        return No("DrawTextW"), 0;
    }

    // The atlas textures are managed, so nothing is lost with the device.
    STDMETHODIMP OnLostDevice() override { return D3D_OK; }
    STDMETHODIMP OnResetDevice() override { return D3D_OK; }

private:
    HRESULT No(const char *what)
    {
        Unsupported(kLibrary, std::string("ID3DXFont::") + what);
        return E_NOTIMPL;
    }

    // The glyph of a code point, rendered and packed on first use; null when the face
    // cannot render it or no atlas page can be made.
    const Glyph *Find(uint32_t codepoint)
    {
        auto it = glyphs_.find(codepoint);
        if (it != glyphs_.end())
            return &it->second;
        GlyphBitmap bitmap;
        if (!face_->Glyph(codepoint, bitmap))
            return nullptr;
        Glyph g;
        g.left = bitmap.left;
        g.top = bitmap.top;
        g.advance = bitmap.advance;
        g.width = int(bitmap.width);
        g.height = int(bitmap.height);
        if (g.width > 0 && g.height > 0 && !Pack(bitmap, g))
            return nullptr;
        return &(glyphs_[codepoint] = g);
    }

    bool Pack(const GlyphBitmap &bitmap, Glyph &g)
    {
        AtlasPage *page = pages_.empty() ? nullptr : &pages_.back();
        auto fits = [&](AtlasPage *p) {
            if (p->penX + g.width + 1 > int(p->size)) {  // next shelf
                p->penX = 1;
                p->penY += p->shelfHeight + 1;
                p->shelfHeight = 0;
            }
            return p->penY + g.height + 1 <= int(p->size);
        };
        if (!page || !fits(page)) {
            if (!NewPage(g.width, g.height))
                return false;
            page = &pages_.back();
        }
        g.page = int(pages_.size() - 1);
        g.x = page->penX;
        g.y = page->penY;
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x)
                page->pixels[size_t(g.y + y) * page->size + size_t(g.x + x)] =
                    uint32_t(bitmap.coverage[size_t(y) * bitmap.width + size_t(x)]) << 24 | 0x00FFFFFFu;
        page->penX += g.width + 1;
        page->shelfHeight = std::max(page->shelfHeight, g.height);
        page->dirty = true;
        return true;
    }

    bool NewPage(int glyphWidth, int glyphHeight)
    {
        UINT size = 256;
        int cell = std::max(glyphWidth, glyphHeight) + 2;
        while (size < 2048 && int(size) < cell * 8)
            size *= 2;
        if (int(size) < cell)
            return false;
        AtlasPage page;
        page.size = size;
        UINT levels = (desc_.MipLevels == D3DX_DEFAULT) ? 0 : desc_.MipLevels;
        HRESULT hr = device_->CreateTexture(size, size, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &page.texture,
                                            nullptr);
        if (FAILED(hr)) {
            Diagnostic(kLibrary, "", "", "ID3DXFont: the device cannot make a " + std::to_string(size) +
                                             "-pixel glyph texture");
            return false;
        }
        page.pixels.assign(size_t(size) * size, 0x00FFFFFFu);
        pages_.push_back(std::move(page));
        return true;
    }

    // Writes the pages that gained glyphs, with their mip levels, into their textures.
    HRESULT Upload()
    {
        for (AtlasPage &page : pages_) {
            if (!page.dirty)
                continue;
            std::vector<uint32_t> level = page.pixels;
            UINT w = page.size, h = page.size;
            DWORD count = page.texture->GetLevelCount();
            for (DWORD i = 0; i < count; ++i) {
                if (i > 0) {
                    UINT hw, hh;
                    level = HalveImage(level, w, h, hw, hh);
                    w = hw, h = hh;
                }
                HRESULT hr = WriteTextureLevel(page.texture, i, level.data(), w, h);
                if (FAILED(hr))
                    return hr;
            }
            page.dirty = false;
        }
        return D3D_OK;
    }

    // The characters of the text as drawn, prefix marks resolved, into chars_, and where
    // each line starts in it into lineStarts_ (one more entry closes the last line).
    void Lines(const char *text, size_t n, DWORD format)
    {
        chars_.clear();
        lineStarts_.assign(1, 0);
        for (size_t i = 0; i < n; ++i) {
            uint8_t c = uint8_t(text[i]);
            if (c == '\r' || c == '\n') {
                if (!(format & DT_SINGLELINE)) {
                    if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
                        ++i;
                    lineStarts_.push_back(chars_.size());
                }
                continue;
            }
            if (c == '&' && !(format & DT_NOPREFIX)) {
                if (i + 1 < n && text[i + 1] == '&')
                    ++i;  // "&&" is one ampersand
                else
                    continue;  // a prefix mark
            }
            chars_.push_back(CodepointFromCp1252(c));
        }
        lineStarts_.push_back(chars_.size());
    }

    INT Draw(ID3DXSprite *sprite, const char *text, size_t n, RECT &rect, DWORD format, D3DCOLOR color)
    {
        const int lineHeight = face_->Ascent() + face_->Descent();
        Lines(text, n, format);
        const size_t lineCount = lineStarts_.size() - 1;
        widths_.clear();
        int widest = 0;
        for (size_t l = 0; l < lineCount; ++l) {
            int w = 0;
            for (size_t i = lineStarts_[l]; i < lineStarts_[l + 1]; ++i)
                if (const Glyph *g = Find(chars_[i]))
                    w += g->advance;
            widths_.push_back(w);
            widest = std::max(widest, w);
        }
        const int textHeight = lineHeight * int(lineCount);
        int top = rect.top;
        if (format & DT_SINGLELINE) {
            if (format & DT_VCENTER)
                top = rect.top + (rect.bottom - rect.top - lineHeight) / 2;
            else if (format & DT_BOTTOM)
                top = rect.bottom - lineHeight;
        }
        if (format & DT_CALCRECT) {
            rect.right = rect.left + widest;
            rect.bottom = rect.top + textHeight;
            return textHeight;
        }

        // One list of quads per atlas page; the lists are emptied, not freed, so a steady
        // frame's text needs no allocation.
        for (std::vector<QuadVertex> &q : quads_)
            q.clear();
        for (size_t l = 0; l < lineCount; ++l) {
            int pen = rect.left;
            if (format & DT_CENTER)
                pen = rect.left + (rect.right - rect.left - widths_[l]) / 2;
            else if (format & DT_RIGHT)
                pen = rect.right - widths_[l];
            int baseline = top + int(l) * lineHeight + face_->Ascent();
            for (size_t i = lineStarts_[l]; i < lineStarts_[l + 1]; ++i) {
                const Glyph *g = Find(chars_[i]);
                if (!g)
                    continue;
                if (g->page >= 0) {
                    if (quads_.size() < pages_.size())
                        quads_.resize(pages_.size());
                    AddQuad(quads_[g->page], *g, pen + g->left, baseline - g->top, rect, !(format & DT_NOCLIP), color);
                }
                pen += g->advance;
            }
        }
        if (SUCCEEDED(Upload())) {
            if (sprite)
                Queue(sprite);
            else
                Submit(quads_);
        }
        return (top - rect.top) + textHeight;
    }

    // The glyph quads handed to the caller's sprite, which draws them with its batch: each
    // quad's texels as a source rectangle of its atlas page, placed at its top left corner.
    void Queue(ID3DXSprite *sprite)
    {
        for (size_t p = 0; p < quads_.size(); ++p) {
            const float size = float(pages_[p].size);
            for (size_t i = 0; i + 6 <= quads_[p].size(); i += 6) {
                const QuadVertex &a = quads_[p][i], &d = quads_[p][i + 4];
                RECT texels = {LONG(lroundf(a.u * size)), LONG(lroundf(a.v * size)), LONG(lroundf(d.u * size)),
                               LONG(lroundf(d.v * size))};
                D3DXVECTOR3 at(a.x + 0.5f, a.y + 0.5f, 0.0f);
                sprite->Draw(pages_[p].texture, &texels, nullptr, &at, a.color);
            }
        }
    }

    void AddQuad(std::vector<QuadVertex> &out, const Glyph &g, int x, int y, const RECT &clip, bool clipped,
                 D3DCOLOR color) const
    {
        float x0 = float(x), y0 = float(y), x1 = float(x + g.width), y1 = float(y + g.height);
        float size = float(pages_[g.page].size);
        float u0 = g.x / size, v0 = g.y / size, u1 = (g.x + g.width) / size, v1 = (g.y + g.height) / size;
        if (clipped) {
            // Cut the quad and its texture coordinates to the rectangle.
            float cx0 = std::max(x0, float(clip.left)), cy0 = std::max(y0, float(clip.top));
            float cx1 = std::min(x1, float(clip.right)), cy1 = std::min(y1, float(clip.bottom));
            if (cx0 >= cx1 || cy0 >= cy1)
                return;
            float du = (u1 - u0) / (x1 - x0), dv = (v1 - v0) / (y1 - y0);
            u0 += (cx0 - x0) * du, u1 -= (x1 - cx1) * du;
            v0 += (cy0 - y0) * dv, v1 -= (y1 - cy1) * dv;
            x0 = cx0, y0 = cy0, x1 = cx1, y1 = cy1;
        }
        // Pixel centres sit on whole coordinates: shift by half a pixel so texels land on pixels.
        x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
        const QuadVertex a = {x0, y0, 0.0f, 1.0f, color, u0, v0}, b = {x1, y0, 0.0f, 1.0f, color, u1, v0};
        const QuadVertex c = {x0, y1, 0.0f, 1.0f, color, u0, v1}, d = {x1, y1, 0.0f, 1.0f, color, u1, v1};
        out.insert(out.end(), {a, b, c, b, d, c});
    }

    void Submit(const std::vector<std::vector<QuadVertex>> &quads)
    {
        bool any = false;
        for (const auto &q : quads)
            any = any || !q.empty();
        if (!any)
            return;
        // Glyph quads at depth 0 keep the device's depth states: they pass its depth test
        // and, where the alpha test lets them through, write depth 0, so geometry drawn
        // later in the frame stays behind them.  Point sampling: texels land on pixels.
        std::array<BatchState, kBatchStateCount> states = SpriteBatchStates(true, D3DTEXF_POINT);
        ApplyBatchStates(device_, states.data(), states.size());
        IDirect3DBaseTexture9 *texture = nullptr;
        IDirect3DVertexShader9 *vertexShader = nullptr;
        IDirect3DPixelShader9 *pixelShader = nullptr;
        IDirect3DVertexDeclaration9 *declaration = nullptr;
        DWORD fvf = 0;
        device_->GetTexture(0, &texture);
        device_->GetVertexShader(&vertexShader);
        device_->GetPixelShader(&pixelShader);
        device_->GetVertexDeclaration(&declaration);
        device_->GetFVF(&fvf);

        device_->SetVertexShader(nullptr);
        device_->SetPixelShader(nullptr);
        device_->SetFVF(kQuadFvf);
        for (size_t p = 0; p < quads.size(); ++p) {
            if (quads[p].empty())
                continue;
            device_->SetTexture(0, pages_[p].texture);
            device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(quads[p].size() / 3), quads[p].data(),
                                     sizeof(QuadVertex));
        }

        device_->SetTexture(0, texture);
        device_->SetVertexShader(vertexShader);
        device_->SetPixelShader(pixelShader);
        if (fvf)
            device_->SetFVF(fvf);
        else
            device_->SetVertexDeclaration(declaration);
        for (IUnknown *held : {static_cast<IUnknown *>(texture), static_cast<IUnknown *>(vertexShader),
                               static_cast<IUnknown *>(pixelShader), static_cast<IUnknown *>(declaration)})
            if (held)
                held->Release();
        RestoreBatchStates(device_, states.data(), states.size());
    }

    IDirect3DDevice9 *device_;
    D3DXFONT_DESCA desc_;
    std::unique_ptr<FontFace> face_;
    std::map<uint32_t, Glyph> glyphs_;
    std::vector<AtlasPage> pages_;
    // Scratch of DrawTextA, kept between calls.
    std::vector<uint32_t> chars_;
    std::vector<size_t> lineStarts_;
    std::vector<int> widths_;
    std::vector<std::vector<QuadVertex>> quads_;
};

}  // namespace
}  // namespace tavrok::d3dx9

using namespace tavrok::d3dx9;

extern "C" HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 device, CONST D3DXFONT_DESCA *desc,
                                                  LPD3DXFONT *font)
{
    if (font)
        *font = nullptr;
    if (!device || !desc || !font) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateFont: missing device, description or result");
        return D3DERR_INVALIDCALL;
    }
    bool antialiased = desc->Quality != NONANTIALIASED_QUALITY;
    std::unique_ptr<FontFace> face =
        OpenFontFace(desc->FaceName, desc->Height, desc->Width, desc->Weight, desc->Italic != FALSE, antialiased);
    if (!face)
        return D3DXERR_INVALIDDATA;
    *font = new Font(device, *desc, std::move(face));
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 device, INT height, UINT width, UINT weight,
                                          UINT mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision,
                                          DWORD quality, DWORD pitchAndFamily, LPCSTR faceName, LPD3DXFONT *font)
{
    D3DXFONT_DESCA desc{};
    desc.Height = height;
    desc.Width = width;
    desc.Weight = weight;
    desc.MipLevels = mipLevels;
    desc.Italic = italic;
    desc.CharSet = BYTE(charSet);
    desc.OutputPrecision = BYTE(outputPrecision);
    desc.Quality = BYTE(quality);
    desc.PitchAndFamily = BYTE(pitchAndFamily);
    if (faceName)
        strncpy(desc.FaceName, faceName, LF_FACESIZE - 1);
    return D3DXCreateFontIndirectA(device, &desc, font);
}
