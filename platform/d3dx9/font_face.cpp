/*
 * font_face.cpp - picking a face with fontconfig and rendering its glyphs with FreeType.
 *
 * A GDI-style request (face name, height, width, weight, italic, quality) becomes a
 * fontconfig pattern; fontconfig's own substitution rules pick the closest installed face
 * (a missing family gets its configured substitute, else the default sans-serif face).
 * Windows faces that Linux systems lack and whose width fontconfig's default face would
 * not keep are followed in the pattern by an installed family of about their width.
 * Sizes follow GDI: a negative height is the character (em) height in pixels, a positive
 * one the cell height (ascent plus descent).  A request for a bold or italic face that the
 * match lacks is met by emboldening or slanting the outlines, as GDI does.  Glyphs are
 * rendered with 256 levels of coverage, or two for non-antialiased quality.  Hinting
 * follows FreeType's defaults.  Only the first face of a font collection file is used
 * unless fontconfig names another.
 */
#include "d3dx9_private.h"

#include <tavrok/platform.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace tavrok::d3dx9 {
namespace {

// FreeType's library handle, made on first use and kept for the run.
FT_Library Library()
{
    static FT_Library library = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0)
            l = nullptr;
        return l;
    }();
    return library;
}

int Ceil26(FT_Pos v) { return int((v + 63) >> 6); }
int Floor26(FT_Pos v) { return int(v >> 6); }

class FreeTypeFace final : public FontFace {
public:
    FreeTypeFace(FT_Face face, std::string file, bool embolden, bool slant, bool antialiased)
        : face_(face), file_(std::move(file)), embolden_(embolden), slant_(slant), antialiased_(antialiased)
    {
    }
    ~FreeTypeFace() override { FT_Done_Face(face_); }

    std::string FamilyName() const override { return face_->family_name ? face_->family_name : ""; }
    std::string FileName() const override { return file_; }
    int Ascent() const override { return ascent_; }
    int Descent() const override { return descent_; }
    int InternalLeading() const override { return leading_; }
    int AverageWidth() const override { return averageWidth_; }
    int MaxWidth() const override { return maxWidth_; }

    // Sets the pixel size from the GDI-style height and width and works out the metrics.
    bool SetSize(int height, UINT width)
    {
        const FT_UShort units = face_->units_per_EM ? face_->units_per_EM : 2048;
        TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        // GDI measures the cell with the Windows ascent and descent where the face has them.
        double cellUnits = os2 && os2->usWinAscent + os2->usWinDescent > 0
                               ? double(os2->usWinAscent + os2->usWinDescent)
                               : double(face_->ascender - face_->descender);
        if (cellUnits <= 0)
            cellUnits = units;
        double em;
        if (height < 0)
            em = -double(height);
        else if (height > 0)
            em = height * units / cellUnits;
        else
            em = 12.0;  // no height asked: a small default size
        double emWidth = em;
        if (width > 0) {
            double average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : units / 2.0;
            emWidth = width * units / average;
        }
        if (FT_Set_Char_Size(face_, FT_F26Dot6(std::lround(emWidth * 64)), FT_F26Dot6(std::lround(em * 64)), 72, 72) != 0)
            return false;
        const double scale = em / units;
        if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
            ascent_ = int(std::ceil(os2->usWinAscent * scale - 0.01));
            descent_ = int(std::ceil(os2->usWinDescent * scale - 0.01));
        } else {
            ascent_ = Ceil26(face_->size->metrics.ascender);
            descent_ = -Floor26(face_->size->metrics.descender);
        }
        leading_ = std::max(0, ascent_ + descent_ - int(std::lround(em)));
        averageWidth_ = os2 && os2->xAvgCharWidth > 0 ? int(std::lround(os2->xAvgCharWidth * emWidth / units))
                                                      : int(std::lround(emWidth / 2));
        maxWidth_ = Ceil26(face_->size->metrics.max_advance);
        return true;
    }

    bool Glyph(uint32_t codepoint, GlyphBitmap &out) override
    {
        FT_UInt index = FT_Get_Char_Index(face_, codepoint);
        if (index == 0 && codepoint != ' ')
            index = FT_Get_Char_Index(face_, '?');  // a stand-in for characters the face lacks
        if (slant_) {
            FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
            FT_Set_Transform(face_, &shear, nullptr);
        }
        if (FT_Load_Glyph(face_, index, antialiased_ ? FT_LOAD_DEFAULT : FT_LOAD_TARGET_MONO) != 0)
            return false;
        FT_GlyphSlot slot = face_->glyph;
        int extra = 0;
        if (embolden_ && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Pos strength = std::max<FT_Pos>(64, FT_MulFix(face_->units_per_EM, face_->size->metrics.y_scale) / 24);
            FT_Outline_Embolden(&slot->outline, strength);
            extra = Ceil26(strength);
        }
        if (FT_Render_Glyph(slot, antialiased_ ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
            return false;
        const FT_Bitmap &bitmap = slot->bitmap;
        out.left = slot->bitmap_left;
        out.top = slot->bitmap_top;
        out.advance = Ceil26(slot->advance.x) + extra;
        out.width = bitmap.width;
        out.height = bitmap.rows;
        out.coverage.assign(size_t(out.width) * out.height, 0);
        for (UINT y = 0; y < out.height; ++y) {
            const uint8_t *row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
            for (UINT x = 0; x < out.width; ++x) {
                uint8_t value = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x / 8] >> (7 - x % 8)) & 1) * 255
                                                                        : row[x];
                out.coverage[size_t(y) * out.width + x] = value;
            }
        }
        return true;
    }

private:
    FT_Face face_;
    std::string file_;
    bool embolden_, slant_, antialiased_;
    int ascent_ = 0, descent_ = 0, leading_ = 0, averageWidth_ = 0, maxWidth_ = 0;
};

// Windows faces, each with the installed family nearest in width, tried after it: text laid
// out for a narrow face keeps its place (the default sans-serif face is much wider).
struct Substitute {
    const char *windows;
    const char *installed;
};
const Substitute kSubstitutes[] = {
    {"Viner Hand ITC", "Liberation Sans Narrow"},
};

// The file and face index fontconfig picks for the request, or false.
bool Match(const char *faceName, UINT weight, bool italic, std::string &file, int &index, int &matchedWeight,
           int &matchedSlant)
{
    if (!FcInit())
        return false;
    FcPattern *pattern = FcPatternCreate();
    if (faceName && *faceName) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(faceName));
        for (const Substitute &s : kSubstitutes)
            if (strcasecmp(faceName, s.windows) == 0)
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(s.installed));
    }
    if (weight != 0)
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(int(std::min(weight, 1000u))));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8 *path = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (found) {
        file = reinterpret_cast<const char *>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch)
            index = 0;
        if (FcPatternGetInteger(match, FC_WEIGHT, 0, &matchedWeight) != FcResultMatch)
            matchedWeight = FC_WEIGHT_REGULAR;
        if (FcPatternGetInteger(match, FC_SLANT, 0, &matchedSlant) != FcResultMatch)
            matchedSlant = FC_SLANT_ROMAN;
    }
    FcPatternDestroy(match);
    return found;
}

}  // namespace

uint32_t CodepointFromCp1252(uint8_t c)
{
    // 0x80..0x9F hold typographic characters in Windows-1252; the rest is Latin-1.
    static const uint16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return (c >= 0x80 && c < 0xA0) ? k80[c - 0x80] : c;
}

std::unique_ptr<FontFace> OpenFontFace(const char *faceName, int height, UINT width, UINT weight, bool italic,
                                       bool antialiased)
{
    std::string file;
    int index = 0, matchedWeight = 0, matchedSlant = 0;
    const char *name = faceName ? faceName : "";
    if (!Library()) {
        Diagnostic(kLibrary, "", "", "FreeType cannot be initialised");
        return nullptr;
    }
    if (!Match(name, weight, italic, file, index, matchedWeight, matchedSlant) &&
        !Match("sans-serif", weight, italic, file, index, matchedWeight, matchedSlant)) {
        Diagnostic(kLibrary, "", "", std::string("no installed font face for \"") + name + "\"");
        return nullptr;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(Library(), file.c_str(), index, &face) != 0) {
        Diagnostic(kLibrary, file, "", "FreeType cannot open the font face");
        return nullptr;
    }
    if (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        FT_Done_Face(face);
        Diagnostic(kLibrary, file, "", "the font face is not a scalable Unicode face");
        return nullptr;
    }
    bool embolden = weight >= FW_SEMIBOLD && matchedWeight < FC_WEIGHT_DEMIBOLD;
    bool slant = italic && matchedSlant == FC_SLANT_ROMAN;
    auto result = std::make_unique<FreeTypeFace>(face, file, embolden, slant, antialiased);
    if (!result->SetSize(height, width)) {
        Diagnostic(kLibrary, file, "", "the font face cannot be scaled to " + std::to_string(height) + " pixels");
        return nullptr;
    }
    return result;
}

}  // namespace tavrok::d3dx9
