/*
 * tavrok/texture_storage.h - filling textures of the device from decoded images, shared by
 * the device and D3DX.
 *
 * Defined in platform/d3d9, which keeps the texture levels: D3DX hands a texture its top
 * level and leaves the box-filtered levels below it to be made when something first
 * needs them, so that loading a texture does not pay for levels nobody looks at.
 */
#ifndef TAVROK_TEXTURE_STORAGE_H
#define TAVROK_TEXTURE_STORAGE_H

#include <d3d9.h>

#include <cstdint>

namespace tavrok::d3d9 {

// The half-size image (each side halved, at least 1) of `width` x `height` 32-bit pixels:
// each channel of a pixel is the rounded mean of that channel in the (up to) four pixels
// it covers, the last row and column repeated where a side is odd.
void HalveArgb(const uint32_t *argb, UINT width, UINT height, uint32_t *half);

// Sets level 0 of an A8R8G8B8 or X8R8G8B8 texture from `argb` rows of exactly its size
// (alpha made opaque for X8R8G8B8), and every lower level to the HalveArgb halving of the
// level above: those are made when one is first locked or drawn, or before level 0 is
// written again, and are then the same as if they had been written now.  False, with
// nothing changed, for a texture it does not apply to (another format or size, automatic
// mipmaps, a level locked): the caller then writes the levels itself.
bool SetTopLevelWithBoxMips(IDirect3DTexture9 *texture, const uint32_t *argb, UINT width, UINT height);

// Texels of the colour formats textures take: their size in bytes (0 for any other
// format), and one texel from and to a D3DCOLOR (ARGB), clamped and rounded to 8 bits.
// For the 8-bit formats (A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, A8L8,
// L8, A8) missing colour channels read as 0 and a missing alpha as 255.
UINT BytesPerPixel(D3DFORMAT format);
D3DCOLOR UnpackArgb(D3DFORMAT format, const uint8_t *pixel);
void PackArgb(D3DFORMAT format, D3DCOLOR color, uint8_t *pixel);
// The 8-bit unsigned formats whose texels UnpackArgb and PackArgb code themselves: a
// D3DCOLOR holds all they store.
bool IsArgbFormat(D3DFORMAT format);
// The signed (bump-map) formats: V8U8, Q8W8V8U8, V16U16, Q16W16V16U16.
bool IsSignedFormat(D3DFORMAT format);
// One texel from and to red, green, blue and alpha floats, at the format's own precision
// (float formats unclamped).  A channel the format lacks reads as 1 (colour of alpha-only
// A8: 0), luminance as all three colours; writing keeps red for luminance.
void DecodeTexel(D3DFORMAT format, const uint8_t *texel, float rgba[4]);
void EncodeTexel(D3DFORMAT format, const float rgba[4], uint8_t *texel);
// A D3DCOLOR as those four floats, and back (clamped to 0..1, rounded; NaN as 0).
void FloatsOfArgb(D3DCOLOR color, float rgba[4]);
D3DCOLOR ArgbOfFloats(const float rgba[4]);

// The block-compressed formats D3DFMT_DXT1 to DXT5 (compressed_formats.cpp): the bytes of
// one 4 x 4 block (8 for DXT1, 16 for the others, 0 for a format that is not compressed).
UINT CompressedBlockBytes(D3DFORMAT format);
bool IsCompressedFormat(D3DFORMAT format);
// Bytes from one row of a level to the next, and how many rows it has: rows of texels, or
// of blocks for a compressed format (a partial block counting whole).
UINT RowPitch(D3DFORMAT format, UINT width);
UINT RowCount(D3DFORMAT format, UINT height);
// One block's sixteen texels as ARGB, rows top first; and a width x height level of
// blocks (rows of blocks `pitch` bytes apart) into width x height ARGB texels, rows top
// first.  DXT2 and DXT4 colours stay premultiplied, as stored.
void DecodeCompressedBlock(D3DFORMAT format, const uint8_t *block, uint32_t argb[16]);
void DecodeCompressed(D3DFORMAT format, const uint8_t *blocks, UINT pitch, UINT width, UINT height, uint32_t *argb);
// The reverse: width x height ARGB texels, rows top first, as rows of blocks `pitch`
// bytes apart.  DXT1 texels of alpha below 128 become transparent black.
void EncodeCompressed(D3DFORMAT format, const uint32_t *argb, UINT width, UINT height, uint8_t *blocks, UINT pitch);

}  // namespace tavrok::d3d9

#endif
