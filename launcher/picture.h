#pragma once
// Pictures of the layout's "img" rows: loading by resource name, and the copy into a
// panel's 32-bit top-down bitmap.
#include <cstdint>

#include "image/image.h"

// Loads the named resource through the packed data file and decodes it. Null after a
// reported failure (loadFile's messages, or the name followed by " を読み込めませんでした").
// The caller owns the result (ImageDestroy).
limg::Image* loadPicture(const char* name);

// The picture's rows into a bitmap of bitmapWidth x bitmapHeight pixels of 4 bytes, rows
// top-down without gaps. Equal sizes copy the whole pixel block; otherwise only the part
// both cover is copied, row by row. Nothing without bits or pixels.
void copyPictureToBitmap(const limg::Image* picture, uint8_t* bits, int bitmapWidth, int bitmapHeight);

// The picture as a panel shows it at the scales sx, sy, into that panel's bitmap: resized
// from original with the bilinear filter both ways, or original itself when the scales
// keep its size or the resize fails (then it is cut to the bitmap). original is not changed,
// so a DPI change can draw it again at the new scale. True when the picture drawn had the
// bitmap's size, so that every pixel of the bitmap was written.
bool drawPictureAtScale(const limg::Image* original, double sx, double sy, uint8_t* bits, int bitmapWidth,
                        int bitmapHeight);
