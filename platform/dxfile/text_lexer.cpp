/*
 * text_lexer.cpp - tokens of the text encoding ("txt" and inflated "tzip" bodies).
 *
 * Names, keywords (template, array and the primitive type names, in any case), numbers,
 * quoted strings, GUIDs in angle brackets and punctuation; comments run from // or # to the
 * end of the line, except in the special values "1.#INF00", "-1.#IND00", "1.#QNAN0".  A number with a fraction or exponent becomes T_REAL, one without becomes
 * T_INTEGER (negative integers are kept as reals so that no sign is lost).  Positions are
 * line numbers.  Runs of numbers and their separators can also be read without making a
 * token of each (ReadValues).  Relies on nothing but the buffer it is given; never reads
 * past `end`.
 */
#include "dxfile_private.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tavrok::dxfile {
namespace {

bool IsNameStart(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(uint8_t c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

bool EqualNoCase(std::string_view a, const char *b)
{
    size_t n = strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        char y = b[i];
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

// Keyword spellings and the token each one stands for.
struct Keyword {
    const char *text;
    uint16_t token;
};
const Keyword kKeywords[] = {
    {"template", T_TEMPLATE},  // template declaration
    {"array", T_ARRAY},        // array member
    {"WORD", T_WORD},          // 16-bit unsigned
    {"DWORD", T_DWORD},        // 32-bit unsigned
    {"FLOAT", T_FLOAT},        // 32-bit float
    {"DOUBLE", T_DOUBLE},      // 64-bit float
    {"CHAR", T_CHAR},          // 8-bit signed
    {"UCHAR", T_UCHAR},        // 8-bit unsigned
    {"BYTE", T_UCHAR},         // 8-bit unsigned
    {"SWORD", T_SWORD},        // 16-bit signed
    {"SDWORD", T_SDWORD},      // 32-bit signed
    {"STRING", T_LPSTR},       // string (pointer in the data block)
    {"LPSTR", T_LPSTR},        // string
    {"CSTRING", T_CSTRING},    // string
    {"UNICODE", T_UNICODE},    // string
    {"VOID", T_VOID},
};

class TextLexer final : public Lexer {
public:
    TextLexer(const uint8_t *begin, const uint8_t *end) : p_(begin), end_(end) {}

    void Next(Token &t) override
    {
        SkipSpace();
        tokenLine_ = line_;
        if (p_ >= end_) {
            t.kind = T_EOF;
            return;
        }
        uint8_t c = *p_;
        if (IsNameStart(c)) {
            const uint8_t *s = p_;
            while (p_ < end_ && IsNameChar(*p_))
                ++p_;
            t.text = std::string_view(reinterpret_cast<const char *>(s), size_t(p_ - s));
            t.kind = T_NAME;
            if (t.text.size() <= 8) {
                for (const Keyword &k : kKeywords) {
                    if (EqualNoCase(t.text, k.text)) {
                        t.kind = k.token;
                        break;
                    }
                }
            }
            return;
        }
        if (StartsNumber()) {
            Number(t);
            return;
        }
        switch (c) {
        case '"': String(t); return;
        case '<': Guid(t); return;
        case '{': t.kind = T_OBRACE; break;
        case '}': t.kind = T_CBRACE; break;
        case '(': t.kind = T_OPAREN; break;
        case ')': t.kind = T_CPAREN; break;
        case '[': t.kind = T_OBRACKET; break;
        case ']': t.kind = T_CBRACKET; break;
        case '.': t.kind = T_DOT; break;
        case ',': t.kind = T_COMMA; break;
        case ';': t.kind = T_SEMICOLON; break;
        default: {
            char buf[64];
            snprintf(buf, sizeof buf, "unexpected character 0x%02x", c);
            throw ParseError{DXFILEERR_PARSEERROR, Where(), buf};
        }
        }
        ++p_;
    }

    std::string Where() const override { return std::to_string(tokenLine_); }

    uint32_t ReadValues(bool floats, uint32_t n, uint8_t *out) override
    {
        Token t;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t *back = p_;
            const int backLine = line_;
            SkipSpace();
            while (p_ < end_ && (*p_ == ',' || *p_ == ';')) {
                ++p_;
                SkipSpace();
            }
            if (p_ >= end_ || !StartsNumber()) {
                p_ = back;
                line_ = backLine;
                return i;
            }
            tokenLine_ = line_;
            Number(t);
            if (floats) {
                const float f = float(t.real);
                memcpy(out + 4 * size_t(i), &f, 4);
            } else {
                memcpy(out + 4 * size_t(i), &t.integer, 4);
            }
        }
        return n;
    }

private:
    bool StartsNumber() const
    {
        const uint8_t c = *p_;
        return IsDigit(c) || c == '-' || c == '+' || (c == '.' && p_ + 1 < end_ && IsDigit(p_[1]));
    }

    void SkipSpace()
    {
        while (p_ < end_) {
            uint8_t c = *p_;
            if (c == '\n') {
                ++line_;
                ++p_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == 0) {
                ++p_;
            } else if (c == '#' || (c == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n')
                    ++p_;
            } else {
                break;
            }
        }
    }

    void Number(Token &t)
    {
        if (PlainNumber(t))
            return;
        const uint8_t *s = p_;
        bool real = false;
        if (*p_ == '-' || *p_ == '+') {
            real = *p_ == '-';
            ++p_;
        }
        while (p_ < end_) {
            uint8_t c = *p_;
            if (IsDigit(c)) {
                ++p_;
            } else if (c == '.' || c == 'e' || c == 'E') {
                real = true;
                ++p_;
                if ((c == 'e' || c == 'E') && p_ < end_ && (*p_ == '-' || *p_ == '+'))
                    ++p_;
            } else {
                break;
            }
        }
        const char *b = reinterpret_cast<const char *>(s);
        const char *e = reinterpret_cast<const char *>(p_);
        if (*b == '+')
            ++b;
        // Files written through the Microsoft C library print special values as
        // "1.#INF00", "-1.#IND00" or "1.#QNAN0"; read them as what they stand for rather
        // than as a number followed by a comment.
        if (real && p_ < end_ && *p_ == '#' && p_ > s && p_[-1] == '.') {
            const uint8_t *w = p_ + 1;
            while (w < end_ && ((*w >= 'A' && *w <= 'Z') || (*w >= '0' && *w <= '9')))
                ++w;
            std::string_view word(reinterpret_cast<const char *>(p_ + 1), size_t(w - p_ - 1));
            bool inf = word.substr(0, 3) == "INF";
            if (inf || word.substr(0, 3) == "IND" || word.substr(0, 4) == "QNAN" || word.substr(0, 4) == "SNAN") {
                p_ = w;
                bool negative = *s == '-';
                t.kind = T_REAL;
                t.real = inf ? (negative ? -HUGE_VAL : HUGE_VAL) : std::nan("");
                t.integer = 0;
                return;
            }
        }
        if (!real) {
            uint64_t v = 0;
            auto r = std::from_chars(b, e, v);
            if (r.ec != std::errc() || r.ptr != e || v > 0xffffffffull)
                throw ParseError{DXFILEERR_PARSEERROR, Where(), "malformed integer '" + std::string(b, e) + "'"};
            t.kind = T_INTEGER;
            t.integer = uint32_t(v);
            t.real = double(v);
            return;
        }
        double v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ec == std::errc::result_out_of_range) {
            // Denormal or huge: fall back to the C library, which saturates.
            v = strtod(std::string(b, e).c_str(), nullptr);
        } else if (r.ec != std::errc() || r.ptr != e) {
            throw ParseError{DXFILEERR_PARSEERROR, Where(), "malformed number '" + std::string(b, e) + "'"};
        }
        SetReal(t, v);
    }

    // The usual shapes, "17" and "-0.125000", in one pass: an optional minus, at most 15
    // digits and at most one point, followed by none of 'e', 'E', '#' or a second point.
    // Such a decimal's digits are an exact integer and its scale an exact power of ten, so
    // one division rounds as the full conversion below does.  False, with nothing
    // consumed, for anything else.
    bool PlainNumber(Token &t)
    {
        static const double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const uint8_t *q = p_;
        const bool negative = *q == '-';
        q += negative;
        uint64_t digits = 0;
        int count = 0, scale = 0;
        bool point = false;
        for (; q < end_; ++q) {
            const uint8_t c = *q;
            if (IsDigit(c)) {
                digits = digits * 10 + uint64_t(c - '0');
                ++count;
                scale += point;
            } else if (c == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (count == 0 || count > 15 || (q < end_ && (*q == 'e' || *q == 'E' || *q == '#' || *q == '.')))
            return false;
        if (!negative && !point) {
            // A value past 32 bits is refused by the general reading.
            if (digits > 0xffffffffull)
                return false;
            p_ = q;
            t.kind = T_INTEGER;
            t.integer = uint32_t(digits);
            t.real = double(digits);
            return true;
        }
        p_ = q;
        const double v = double(digits) / kTens[scale];
        SetReal(t, negative ? -v : v);
        return true;
    }

    // A T_REAL token; an integer member written with a fraction or a sign keeps its low
    // 32 bits.
    static void SetReal(Token &t, double v)
    {
        t.kind = T_REAL;
        t.real = v;
        if (v >= 0 && v < 4294967296.0)
            t.integer = uint32_t(v);
        else if (v > -2147483649.0 && v < 0)
            t.integer = uint32_t(int32_t(v));
        else
            t.integer = 0;
    }

    void String(Token &t)
    {
        const uint8_t *s = ++p_;
        while (p_ < end_ && *p_ != '"') {
            if (*p_ == '\n')
                ++line_;
            ++p_;
        }
        if (p_ >= end_)
            throw ParseError{DXFILEERR_PARSEERROR, Where(), "string not closed before the end of the file"};
        t.kind = T_STRING;
        t.text = std::string_view(reinterpret_cast<const char *>(s), size_t(p_ - s));
        ++p_;
    }

    void Guid(Token &t)
    {
        const uint8_t *s = ++p_;
        while (p_ < end_ && *p_ != '>' && p_ - s < 64)
            ++p_;
        if (p_ >= end_ || *p_ != '>')
            throw ParseError{DXFILEERR_PARSEERROR, Where(), "expected '>' closing a GUID"};
        std::string_view body(reinterpret_cast<const char *>(s), size_t(p_ - s));
        ++p_;
        // Trim spaces around the GUID text.
        while (!body.empty() && (body.front() == ' ' || body.front() == '\t'))
            body.remove_prefix(1);
        while (!body.empty() && (body.back() == ' ' || body.back() == '\t'))
            body.remove_suffix(1);
        if (!ParseGuid(body, t.guid))
            throw ParseError{DXFILEERR_PARSEERROR, Where(), "malformed GUID <" + std::string(body) + ">"};
        t.kind = T_GUID;
    }

    const uint8_t *p_;
    const uint8_t *end_;
    int line_ = 1;
    int tokenLine_ = 1;
};

}  // namespace

std::unique_ptr<Lexer> MakeTextLexer(const uint8_t *begin, const uint8_t *end)
{
    return std::make_unique<TextLexer>(begin, end);
}

}  // namespace tavrok::dxfile
