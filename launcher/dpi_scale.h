#pragma once
// The screen's DPI scale and the conversion of layout values (96 pixels per inch) into
// device pixels.

// Logical pixels per inch / 96.0, horizontally and vertically; 0.0 until computed.
extern double dpiScaleX;
extern double dpiScaleY;

// v * scale + 0.5 truncated toward zero (so -3 at 1.0 gives -2: it is not rounding); a
// result beyond an int is clamped to INT_MIN or INT_MAX.
int scaleBy(int v, double scale);
inline int scaleX(int v) { return scaleBy(v, dpiScaleX); }
inline int scaleY(int v) { return scaleBy(v, dpiScaleY); }

// Sets both scales from the screen's logical pixels per inch, unless both are already set.
void setDpiScaleOnce(int logPixelsX, int logPixelsY);
