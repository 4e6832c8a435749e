/*
 * rmxftmpl.h - the retained-mode .x templates as one binary template block.
 *
 * Programs pass D3DRM_XTEMPLATES and D3DRM_XTEMPLATE_BYTES to
 * IDirectXFile::RegisterTemplates.  The block ("xof 0302bin 0064", the 35 templates from
 * Header to RightHanded) is generated at build time from our own template source
 * (platform/dxfile/templates/retained.x) and compiled into the dxfile library.
 */
#ifndef TAVROK_RMXFTMPL_H
#define TAVROK_RMXFTMPL_H

#define D3DRM_XTEMPLATE_BYTES 3278

extern unsigned char D3DRM_XTEMPLATES[];

#endif
