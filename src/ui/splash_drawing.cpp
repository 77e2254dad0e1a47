#include "ui/splash_drawing.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/language.h"
#include "ui/splash_dib_format.h"
#include "ui/splash_layout.h"

namespace {

constexpr LONG kBoldWeight = 700;

// A pen, brush or font of ours, deleted on every path out.
template <typename Handle>
class GdiObject {
public:
    explicit GdiObject(Handle handle) : handle_(handle) {}
    ~GdiObject()
    {
        if (handle_ != nullptr)
            DeleteObject(handle_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

// Selects an object into a device context and puts the previous one back.
// A null object selects nothing.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~Selection()
    {
        if (previous_ != nullptr)
            SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

SplashColour FromColorRef(COLORREF colour)
{
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

int ScreenBitsPerPixel()
{
    HDC screen = GetDC(nullptr);
    const int bits = screen != nullptr ? GetDeviceCaps(screen, BITSPIXEL) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return bits;
}

void DrawTextIn(HDC dc, int x, int y, COLORREF colour, const char* text)
{
    const COLORREF previous = SetTextColor(dc, colour);
    TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
    SetTextColor(dc, previous);
}

HFONT MakeFont(int height, const char* face)
{
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = kBoldWeight;
    font.lfItalic = TRUE;
    font.lfCharSet = DEFAULT_CHARSET;
    if (!CopyText(font.lfFaceName, face))
        return nullptr;
    return CreateFontIndirectA(&font);
}

}  // namespace

void PaintGradient(HDC dc, int x, int y, int width, int height, COLORREF top, COLORREF bottom)
{
    if (ScreenBitsPerPixel() <= 8) {
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, top));
        GdiObject<HBRUSH> brush(CreateSolidBrush(top));
        Selection penSelection(dc, pen.get());
        Selection brushSelection(dc, brush.get());
        Rectangle(dc, x, y, x + width, y + height);
        return;
    }
    const SplashColour topColour = FromColorRef(top), bottomColour = FromColorRef(bottom);
    for (int row = 0; row < height; ++row) {
        const SplashColour colour = GradientRowColour(topColour, bottomColour, row, height);
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ToColorRef(colour)));
        Selection selection(dc, pen.get());
        MoveToEx(dc, x, y + row, nullptr);
        LineTo(dc, x + width, y + row);
    }
}

void DrawSplashTexts(HDC dc, int x, int y, int width, int height, const char* name, const char* version,
                     const char* note)
{
    const SplashTextLayout layout = LayOutSplashTexts(x, y, width, height, strlen(name), strlen(version), strlen(note));
    if (!layout.drawsName)
        return;
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    DrawShadowedText(dc, layout.name.x, layout.name.y, layout.nameHeight, kNameShadowOffset, kNameShadowOffset,
                     ToColorRef(kNameColour), ToColorRef(kNameShadow), name);
    if (layout.drawsSmallLines) {
        const COLORREF colour = ToColorRef(kSmallTextColour), shadow = ToColorRef(kSmallTextShadow);
        DrawShadowedText(dc, layout.version.x, layout.version.y, layout.smallHeight, kSmallTextShadowOffset,
                         kSmallTextShadowOffset, colour, shadow, version);
        DrawShadowedText(dc, layout.note.x, layout.note.y, layout.smallHeight, kSmallTextShadowOffset,
                         kSmallTextShadowOffset, colour, shadow, note);
    }
    SetBkMode(dc, previousMode);
}

int DrawShadowedText(HDC dc, int x, int y, int fontHeight, int shadowX, int shadowY, COLORREF colour, COLORREF shadow,
                     const char* text)
{
    if (text[0] == '\0')
        return 0;
    GdiObject<HFONT> font(CreateSplashFont(fontHeight, SplashFaceFor(IsJapaneseUi(), text)));
    Selection selection(dc, font.get());
    DrawTextIn(dc, x + shadowX, y + shadowY, shadow, text);
    DrawTextIn(dc, x, y, colour, text);
    return 1;
}

HFONT CreateSplashFont(int height, const char* face)
{
    HFONT font = MakeFont(height, face);
    return font != nullptr ? font : MakeFont(height, kFallbackSplashFace);
}

void DrawSplashPicture(HDC dc, int x, int y, int width, int height, const void* picture, const void* mask)
{
    const DibHeader header = ReadDibHeader(picture);
    const SplashPoint place = PlaceSplashPicture(x, y, width, height, header.width, header.height);
    // Black mask pixels clear the background, white ones keep it; the
    // picture is then added by OR, so its black pixels are transparent.
    BlitDib(dc, place.x, place.y, header.width, header.height, mask, SRCAND);
    BlitDib(dc, place.x, place.y, header.width, header.height, picture, SRCPAINT);
}

void BlitDib(HDC dc, int x, int y, int width, int height, const void* dib, DWORD rasterOperation)
{
    const auto* bytes = static_cast<const BYTE*>(dib);
    StretchDIBits(dc, x, y, width, height, 0, 0, width, height, bytes + DibPixelOffset(dib),
                  reinterpret_cast<const BITMAPINFO*>(dib), DIB_RGB_COLORS, rasterOperation);
}
