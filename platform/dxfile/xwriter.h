/*
 * xwriter.h - encoding parsed .x documents again, for the xconv tool and the tests.
 *
 * LoadDocument reads a whole file into a Document; Encode writes a Document's declared
 * templates and top-level objects in one of the five encodings.  Output depends only on
 * the document, so converting the same file twice gives the same bytes.  Part of the
 * dxfile library but not of the DirectX File API: the program never uses it.
 */
#ifndef TAVROK_DXFILE_XWRITER_H
#define TAVROK_DXFILE_XWRITER_H

#include "dxfile_private.h"

namespace tavrok::dxfile {

enum class OutFormat { Text, Binary32, Binary64, TextZip, BinaryZip };

// "txt", "bin32", "bin64", "tzip", "bzip".
bool ParseOutFormat(const std::string &name, OutFormat &format);

// Parses every object of a file; throws ParseError.
void LoadDocument(const uint8_t *bytes, size_t size, TemplateSet &templates, Document &doc);

std::vector<uint8_t> Encode(const Document &doc, OutFormat format);
std::vector<uint8_t> EncodeTemplates(const std::vector<std::shared_ptr<const Template>> &templates, OutFormat format);

// A float printed so that reading it back gives the same float.
std::string FormatFloat(float f);

}  // namespace tavrok::dxfile

#endif
