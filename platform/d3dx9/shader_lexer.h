/*
 * shader_lexer.h - what the shader lexer and the shader assembler share (private to d3dx9).
 *
 * The lexer cuts assembly source into tokens that carry their line and column; comments
 * (";", "//" and block comments) vanish and every line end becomes a Newline token, since
 * the assembler reads one statement per line.  Macro expansion and parsing belong to
 * shader_assembler.cpp.
 */
#ifndef TAVROK_D3DX9_SHADER_LEXER_H
#define TAVROK_D3DX9_SHADER_LEXER_H

#include <cstddef>
#include <string>
#include <vector>

namespace tavrok::d3dx9 {

struct ShaderToken {
    enum Kind {
        Identifier,  // letters, digits and '_', not starting with a digit
        Number,      // decimal number: digits, fraction, exponent, optional 'f'
        Punct,       // one character: , . [ ] + - # !
        Newline,     // end of a line (also closes a statement)
        Invalid,     // text the lexer could not read; `text` says why
    };
    Kind kind;
    std::string text;
    int line;
    int column;
};

// Tokens of `length` bytes of source.  Never fails: unreadable characters and an
// unterminated block comment become Invalid tokens for the parser to report.  The list
// always ends with a Newline token.
std::vector<ShaderToken> LexShader(const char *source, size_t length);

}  // namespace tavrok::d3dx9

#endif
