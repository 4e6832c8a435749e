/*
 * shader_lexer.cpp - tokens of shader assembly source.
 *
 * Reads raw bytes (the source need not be NUL-terminated and may hold any byte), keeps
 * line and column (both from 1) for the assembler's messages and drops comments: ";" and
 * "//" to the end of the line, and block comments, which may span lines (their line ends
 * still count).  "\r\n", "\n" and a lone "\r" each end one line.  Knows nothing of
 * instructions or registers.
 */
#include "shader_lexer.h"

namespace tavrok::d3dx9 {

namespace {

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

}  // namespace

std::vector<ShaderToken> LexShader(const char *source, size_t length)
{
    std::vector<ShaderToken> tokens;
    int line = 1;
    size_t lineStart = 0;
    size_t i = 0;
    auto column = [&](size_t at) { return static_cast<int>(at - lineStart) + 1; };
    auto add = [&](ShaderToken::Kind kind, std::string text, size_t at) {
        tokens.push_back(ShaderToken{kind, std::move(text), line, column(at)});
    };
    // Consumes one line end at i (if there is one) and starts the next line.
    auto newline = [&]() {
        if (source[i] == '\r' && i + 1 < length && source[i + 1] == '\n')
            ++i;
        ++i;
        ++line;
        lineStart = i;
    };

    while (i < length) {
        char c = source[i];
        if (c == '\n' || c == '\r') {
            add(ShaderToken::Newline, "", i);
            newline();
        } else if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == ';' || (c == '/' && i + 1 < length && source[i + 1] == '/')) {
            while (i < length && source[i] != '\n' && source[i] != '\r')
                ++i;
        } else if (c == '/' && i + 1 < length && source[i + 1] == '*') {
            int startLine = line;
            int startColumn = column(i);
            i += 2;
            bool closed = false;
            while (i < length) {
                if (source[i] == '*' && i + 1 < length && source[i + 1] == '/') {
                    i += 2;
                    closed = true;
                    break;
                }
                if (source[i] == '\n' || source[i] == '\r') {
                    // The comment's line ends still end statements.
                    add(ShaderToken::Newline, "", i);
                    newline();
                } else {
                    ++i;
                }
            }
            if (!closed)
                tokens.push_back(ShaderToken{ShaderToken::Invalid, "unterminated comment",
                                             startLine, startColumn});
        } else if (IsIdentStart(c)) {
            size_t start = i;
            while (i < length && IsIdentChar(source[i]))
                ++i;
            add(ShaderToken::Identifier, std::string(source + start, i - start), start);
        } else if (IsDigit(c) || (c == '.' && i + 1 < length && IsDigit(source[i + 1]))) {
            size_t start = i;
            while (i < length && IsDigit(source[i]))
                ++i;
            if (i < length && source[i] == '.') {
                ++i;
                while (i < length && IsDigit(source[i]))
                    ++i;
            }
            if (i < length && (source[i] == 'e' || source[i] == 'E')) {
                size_t exponent = i + 1;
                if (exponent < length && (source[exponent] == '+' || source[exponent] == '-'))
                    ++exponent;
                if (exponent < length && IsDigit(source[exponent])) {
                    i = exponent;
                    while (i < length && IsDigit(source[i]))
                        ++i;
                }
            }
            if (i < length && (source[i] == 'f' || source[i] == 'F'))
                ++i;
            add(ShaderToken::Number, std::string(source + start, i - start), start);
        } else if (c == ',' || c == '.' || c == '[' || c == ']' || c == '+' || c == '-' ||
                   c == '#' || c == '!') {
            add(ShaderToken::Punct, std::string(1, c), i);
            ++i;
        } else {
            unsigned byte = static_cast<unsigned char>(c);
            std::string what;
            if (byte >= 0x21 && byte < 0x7F) {
                what = std::string("unexpected character '") + c + "'";
            } else {
                static const char hex[] = "0123456789ABCDEF";
                what = std::string("unexpected byte 0x") + hex[byte >> 4] + hex[byte & 15];
            }
            add(ShaderToken::Invalid, what, i);
            ++i;
        }
    }
    add(ShaderToken::Newline, "", i);
    return tokens;
}

}  // namespace tavrok::d3dx9
