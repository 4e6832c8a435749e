/*
 * standard_templates.cpp - registering the built-in template blocks in a TemplateSet.
 *
 * The blocks themselves are generated at build time from the .x sources in templates/ (xtemplates.cpp).
 * Used by the tools, which read files that may rely on either set without declaring it.
 */
#include "dxfile_private.h"

#include <rmxftmpl.h>

namespace tavrok::dxfile {

void AddStandardTemplates(TemplateSet &templates, bool withExtensions)
{
    ParseTemplateBlock(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, "<retained templates>", templates, nullptr);
    if (withExtensions)
        ParseTemplateBlock(kExtensionTemplates, kExtensionTemplatesSize, "<extension templates>", templates, nullptr);
}

}  // namespace tavrok::dxfile
