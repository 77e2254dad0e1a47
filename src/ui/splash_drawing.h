#pragma once
// Drawing the splash window's content on a device context.
#include <windows.h>

#include "ui/splash_layout.h"

inline COLORREF ToColorRef(SplashColour colour)
{
    return RGB(colour.red, colour.green, colour.blue);
}

// Rows blending from top to bottom on displays with more than 256 colours;
// a plain top colour on the others.
void PaintGradient(HDC dc, int x, int y, int width, int height, COLORREF top, COLORREF bottom);

// The product name large, version and note below it, each with a shadow.
// Nothing at all when the name is empty.
void DrawSplashTexts(HDC dc, int x, int y, int width, int height, const char* name, const char* version,
                     const char* note);

// Draws text in its shadow colour at the offset, then in its colour at (x, y).
// 1 when drawn, 0 for an empty text.
int DrawShadowedText(HDC dc, int x, int y, int fontHeight, int shadowX, int shadowY, COLORREF colour, COLORREF shadow,
                     const char* text);

// A bold italic font of that cell height and face, else of the fallback
// face; null when neither can be made.
HFONT CreateSplashFont(int height, const char* face);

// The picture over its mask, unscaled, placed in the rectangle.
void DrawSplashPicture(HDC dc, int x, int y, int width, int height, const void* picture, const void* mask);

// Draws the DIB unscaled at (x, y) with the raster operation.
void BlitDib(HDC dc, int x, int y, int width, int height, const void* dib, DWORD rasterOperation);
