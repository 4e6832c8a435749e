/*
 * xconv - converts an .x file to another encoding.
 *
 * Usage: xconv <in.x> <out.x> txt|bin32|bin64|tzip|bzip.  Reads the whole input with the
 * dxfile library (the retained-mode and extension templates registered), then writes the
 * templates the input declares and all its objects again in the chosen encoding.  The
 * output depends only on the input, so the data generator can run it at build time.  A
 * malformed input gives the library's diagnostic and exit status 1; bad usage status 2.
 */
#include "xwriter.h"

#include <tavrok/platform.h>

#include <cstdio>
#include <fstream>
#include <iterator>

using namespace tavrok::dxfile;

int main(int argc, char **argv)
{
    OutFormat format;
    if (argc != 4 || !ParseOutFormat(argv[3], format)) {
        fprintf(stderr, "usage: xconv <in.x> <out.x> txt|bin32|bin64|tzip|bzip\n");
        return 2;
    }
    std::ifstream in(tavrok::ResolvePath(argv[1]), std::ios::binary);
    if (!in) {
        tavrok::Diagnostic("dxfile", argv[1], "", "cannot open the file");
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TemplateSet templates;
    Document doc;
    try {
        AddStandardTemplates(templates, true);
        LoadDocument(bytes.data(), bytes.size(), templates, doc);
    } catch (const ParseError &e) {
        Report(argv[1], e);
        return 1;
    }
    std::vector<uint8_t> out = Encode(doc, format);
    FILE *f = fopen(argv[2], "wb");
    if (!f || fwrite(out.data(), 1, out.size(), f) != out.size() || fclose(f) != 0) {
        tavrok::Diagnostic("dxfile", argv[2], "", "cannot write the file");
        return 1;
    }
    return 0;
}
