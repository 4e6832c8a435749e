/*
 * binary_lexer.cpp - tokens of the binary encoding ("bin" and inflated "bzip" bodies).
 *
 * Each token is a little-endian 16-bit code, followed for names, strings, integers, GUIDs
 * and lists by its record.  Integer and float lists are handed out one value at a time (as
 * T_INTEGER and T_REAL), so that the parser sees the same values as for a text file, or
 * copied out in bulk (ReadValues); float lists hold 32- or 64-bit floats as the header
 * says.  Every record length is checked against the bytes left before it is read;
 * positions are byte offsets into the body.
 */
#include "dxfile_private.h"

#include <algorithm>
#include <cstring>

namespace tavrok::dxfile {
namespace {

class BinaryLexer final : public Lexer {
public:
    BinaryLexer(const uint8_t *begin, const uint8_t *end, bool doubles)
        : begin_(begin), p_(begin), end_(end), doubles_(doubles)
    {
    }

    void Next(Token &t) override
    {
        // Empty lists yield nothing: loop until a token comes out.
        while (!NextOne(t)) {
        }
    }

    std::string Where() const override { return "byte " + std::to_string(tokenPos_ + 16); }

    uint32_t ReadValues(bool floats, uint32_t n, uint8_t *out) override
    {
        // Only values of the kind asked for: the parser converts between kinds one value at
        // a time.  Lengths were checked against the buffer when each list began.
        uint32_t done = 0;
        while (done < n && (listLeft_ > 0 || OpenNextList(floats)) && listFloats_ == floats) {
            const uint32_t k = std::min(n - done, listLeft_);
            uint8_t *to = out + 4 * size_t(done);
            if (floats && doubles_) {
                for (uint32_t i = 0; i < k; ++i) {
                    double d;
                    memcpy(&d, p_ + 8 * size_t(i), 8);
                    float f = float(d);
                    memcpy(to + 4 * size_t(i), &f, 4);
                }
                p_ += 8 * size_t(k);
            } else {
                memcpy(to, p_, 4 * size_t(k));
                p_ += 4 * size_t(k);
            }
            listLeft_ -= k;
            done += k;
        }
        return done;
    }

    const uint8_t *IntegersAhead(uint32_t &count) const override
    {
        count = listFloats_ ? 0 : listLeft_;
        return p_;
    }

private:
    bool NextOne(Token &t)
    {
        if (listLeft_ > 0) {
            --listLeft_;
            if (listFloats_) {
                if (doubles_) {
                    double d;
                    memcpy(&d, p_, 8);
                    p_ += 8;
                    t.real = d;
                } else {
                    float f;
                    memcpy(&f, p_, 4);
                    p_ += 4;
                    t.real = f;
                }
                t.kind = T_REAL;
                t.integer = t.real >= 0 && t.real < 4294967296.0 ? uint32_t(t.real) : 0;
            } else {
                t.integer = U32();
                t.real = double(t.integer);
                t.kind = T_INTEGER;
            }
            return true;
        }
        tokenPos_ = size_t(p_ - begin_);
        if (p_ >= end_) {
            t.kind = T_EOF;
            return true;
        }
        if (end_ - p_ < 2)
            Fail("truncated token code");
        uint16_t code = uint16_t(p_[0] | (p_[1] << 8));
        p_ += 2;
        switch (code) {
        case T_NAME:
        case T_STRING: {
            uint32_t n = U32();
            Need(n, 1, code == T_NAME ? "name" : "string");
            t.text = std::string_view(reinterpret_cast<const char *>(p_), n);
            p_ += n;
            t.kind = code;
            if (code == T_STRING && end_ - p_ >= 4) {
                // A string is followed by the separator it had in text form: usually a
                // separate ';' or ',' token, which the parser skips, but some writers
                // store it as a 32-bit value inside the record; take that form here.
                uint32_t term = uint32_t(p_[0] | (p_[1] << 8) | (p_[2] << 16) | (uint32_t(p_[3]) << 24));
                if (term == T_SEMICOLON || term == T_COMMA)
                    p_ += 4;
            }
            return true;
        }
        case T_INTEGER:
            t.integer = U32();
            t.real = double(t.integer);
            t.kind = T_INTEGER;
            return true;
        case T_GUID:
            Need(16, 1, "GUID");
            memcpy(&t.guid.Data1, p_, 4);
            memcpy(&t.guid.Data2, p_ + 4, 2);
            memcpy(&t.guid.Data3, p_ + 6, 2);
            memcpy(t.guid.Data4, p_ + 8, 8);
            p_ += 16;
            t.kind = T_GUID;
            return true;
        case T_INTEGER_LIST:
        case T_FLOAT_LIST: {
            uint32_t n = U32();
            listFloats_ = code == T_FLOAT_LIST;
            Need(n, listFloats_ && doubles_ ? 8 : 4, listFloats_ ? "float list" : "integer list");
            listLeft_ = n;
            return false;
        }
        case T_OBRACE: case T_CBRACE: case T_OPAREN: case T_CPAREN: case T_OBRACKET:
        case T_CBRACKET: case T_OANGLE: case T_CANGLE: case T_DOT: case T_COMMA:
        case T_SEMICOLON: case T_TEMPLATE: case T_WORD: case T_DWORD: case T_FLOAT:
        case T_DOUBLE: case T_CHAR: case T_UCHAR: case T_SWORD: case T_SDWORD: case T_VOID:
        case T_LPSTR: case T_UNICODE: case T_CSTRING: case T_ARRAY:
            t.kind = code;
            return true;
        default:
            Fail("unknown token code " + std::to_string(code));
        }
    }

    // Opens the list that follows the one just read up when it holds values of the kind
    // asked for, passing over empty lists as Next does, so that values a writer split
    // across lists are read on in one go.  Anything else, a list running past the end
    // included, is left for Next to read or report.
    bool OpenNextList(bool floats)
    {
        while (end_ - p_ >= 6) {
            const uint16_t code = uint16_t(p_[0] | (p_[1] << 8));
            if (code != T_INTEGER_LIST && code != T_FLOAT_LIST)
                return false;
            const uint32_t n = uint32_t(p_[2] | (p_[3] << 8) | (p_[4] << 16) | (uint32_t(p_[5]) << 24));
            const bool listFloats = code == T_FLOAT_LIST;
            if (n > 0 && listFloats != floats)
                return false;
            if (uint64_t(n) * (listFloats && doubles_ ? 8 : 4) > uint64_t(end_ - p_ - 6))
                return false;
            tokenPos_ = size_t(p_ - begin_);
            p_ += 6;
            listFloats_ = listFloats;
            listLeft_ = n;
            if (n > 0)
                return true;
        }
        return false;
    }

    [[noreturn]] void Fail(const std::string &reason) { throw ParseError{DXFILEERR_PARSEERROR, Where(), reason}; }

    uint32_t U32()
    {
        if (end_ - p_ < 4)
            Fail("truncated 32-bit value");
        uint32_t v = uint32_t(p_[0] | (p_[1] << 8) | (p_[2] << 16) | (uint32_t(p_[3]) << 24));
        p_ += 4;
        return v;
    }

    void Need(uint64_t count, uint64_t unit, const char *what)
    {
        if (count * unit > uint64_t(end_ - p_))
            Fail(std::string(what) + " of " + std::to_string(count) + " entries runs past the end of the file");
    }

    const uint8_t *begin_;
    const uint8_t *p_;
    const uint8_t *end_;
    bool doubles_;
    uint32_t listLeft_ = 0;
    bool listFloats_ = false;
    size_t tokenPos_ = 0;
};

}  // namespace

std::unique_ptr<Lexer> MakeBinaryLexer(const uint8_t *begin, const uint8_t *end, bool doubles)
{
    return std::make_unique<BinaryLexer>(begin, end, doubles);
}

}  // namespace tavrok::dxfile
