// The splash window in this process: its class, its place on the screen and
// what it paints, checked on screenshots of Wine's virtual screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>

#include "tests/win/ui/screen_capture.h"
#include "tests/win/ui/splash_test_picture.h"
#include "text/bounded_text.h"
#include "ui/splash_layout.h"
#include "ui/splash_window.h"

namespace {

constexpr Rgb kTop = {64, 64, 255}, kBottom = {64, 255, 255};
constexpr Rgb kRed = {255, 0, 0}, kYellow = {255, 255, 0}, kBlack = {0, 0, 0};

bool Near(Rgb a, Rgb b)
{
    return std::abs(a.red - b.red) <= 1 && std::abs(a.green - b.green) <= 1 && std::abs(a.blue - b.blue) <= 1;
}

std::string Describe(Rgb c)
{
    return "(" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " + std::to_string(c.blue) + ")";
}

// The colour the gradient has on a row of the client area.
Rgb GradientAt(const RECT& client, int screenY)
{
    const SplashColour c =
        GradientRowColour(kGradientTop, kGradientBottom, screenY - client.top, client.bottom - client.top);
    return {c.red, c.green, c.blue};
}

// Hook on this thread's window procedures: notices any attempt to show a
// splash window.
int gShowAttempts = 0;
HHOOK gHook = nullptr;

LRESULT CALLBACK WatchShowing(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char name[64] = "";
    if (code == HC_ACTION && GetClassNameA(message->hwnd, name, sizeof name) && strcmp(name, kSplashClassName) == 0) {
        if (message->message == WM_SHOWWINDOW && message->wParam)
            ++gShowAttempts;
        if (message->message == WM_WINDOWPOSCHANGING &&
            (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_SHOWWINDOW))
            ++gShowAttempts;
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

class SplashWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(RegisterSplashClass(GetModuleHandleA(nullptr)), 0); }

    void SetUp() override
    {
        settings_ = {};
        content_ = {0, nullptr, nullptr, &settings_};
        hidden_ = 0;
        window_ = nullptr;
    }

    void TearDown() override
    {
        if (window_ != nullptr && IsWindow(window_))
            DestroyWindow(window_);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        FreeSplashDib(content_.bitmap);
        FreeSplashDib(content_.mask);
    }

    static void SetTexts(SetupInfo& info, const char* name, const char* version, const char* note)
    {
        CopyText(info.productName, name);
        CopyText(info.productVersion, version);
        CopyText(info.splashNote, note);
    }

    HWND Create(int showCommand = SW_SHOWNORMAL)
    {
        window_ = CreateSplashWindow(GetModuleHandleA(nullptr), showCommand, hidden_, content_);
        return window_;
    }

    // As the driver does once the bitmap step is over.
    void ShowBitmapStep(HWND window)
    {
        content_.ready = 1;
        InvalidateRect(window, nullptr, FALSE);
    }

    static void Keep(const Screenshot& shot, const char* name)
    {
        EXPECT_TRUE(shot.SaveBmp(ScreenshotFolder() + "\\" + name + ".bmp"));
    }

    // Red name pixels must all lie in the band the layout gives the name.
    static void ExpectNameWhereLaidOut(const Screenshot& shot, const RECT& client, size_t nameLength)
    {
        const int w = client.right - client.left, h = client.bottom - client.top;
        const SplashTextLayout layout = LayOutSplashTexts(0, 0, w, h, nameLength, 11, 0);
        // Italic letters lean out of their cell, their feet to the left by up to
        // a quarter of the height; the shadow lies 3 pixels further.
        const int top = client.top + layout.name.y - 4;
        const int bottom = client.top + layout.name.y + layout.nameHeight + kNameShadowOffset + 4;
        const int left = client.left + layout.name.x - 4 - layout.nameHeight / 4;
        const int inBand = shot.CountColour(kRed, left, top, client.right, bottom);
        const int onScreen = shot.CountColour(kRed, 0, 0, shot.Width(), shot.Height());
        EXPECT_GT(inBand, 20 * layout.nameHeight) << "the name is drawn in red";
        EXPECT_EQ(onScreen, inBand) << "no red outside rows " << top << " to " << bottom << " from x " << left;
        EXPECT_GT(shot.CountColour(kYellow, left, top, client.right, bottom), 0) << "with its yellow shadow";
    }

    // What the driver owns and hands the window.
    PackageSettings settings_;
    SplashContent content_;
    int hidden_;
    HWND window_;
};

TEST_F(SplashWindowTest, ClassHasTheIconAndNoCursor)
{
    WNDCLASSEXA windowClass = {sizeof windowClass};
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), kSplashClassName, &windowClass));
    EXPECT_EQ(windowClass.style, 0u);
    EXPECT_EQ(windowClass.lpfnWndProc, SplashWindowProc);
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_EQ(windowClass.hCursor, nullptr);
    EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
    EXPECT_EQ(windowClass.lpszMenuName, nullptr);

    // The icon resource: one 32 x 32 image with 256 colours.
    HRSRC found = FindResourceA(nullptr, "INSTLANG_ICON", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group[4] | group[5] << 8, 1) << "one image";
    EXPECT_EQ(group[6], 32);                   // width
    EXPECT_EQ(group[7], 32);                   // height
    EXPECT_EQ(group[8], 0);                    // colour count 0: 256 colours
    EXPECT_EQ(group[12] | group[13] << 8, 8);  // bits per pixel
}

TEST_F(SplashWindowTest, CoversTheScreenWithTheGradient)
{
    HWND window = Create();
    ASSERT_NE(window, nullptr) << "the window procedure stores the window on creation";
    EXPECT_EQ(FindWindowA("JovInstLangClass", "The Installer"), window);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(frame.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(IsWindowVisible(window));

    const RECT client = ClientRectOnScreen(window);
    const Screenshot shot = CaptureWhen([&](const Screenshot& s) {
        return Near(s.Pixel(client.left, client.top), kTop) && Near(s.Pixel(client.left, client.bottom - 1), kBottom);
    });
    Keep(shot, "splash-gradient");
    EXPECT_PRED2(Near, shot.Pixel(client.left, client.top), kTop) << Describe(shot.Pixel(client.left, client.top));
    EXPECT_PRED2(Near, shot.Pixel(client.left, client.bottom - 1), kBottom)
        << Describe(shot.Pixel(client.left, client.bottom - 1));
    for (int y = client.top; y < client.bottom; y += 37) {
        EXPECT_PRED2(Near, shot.Pixel(client.left + 300, y), GradientAt(client, y)) << "row " << y;
        EXPECT_EQ(shot.Pixel(client.left + 300, y), shot.Pixel(client.right - 1, y)) << "a row has one colour";
    }
    EXPECT_EQ(shot.CountColour(kRed, 0, 0, shot.Width(), shot.Height()), 0) << "no texts before the bitmap step";
}

TEST_F(SplashWindowTest, ShowsTheProductTextsAfterTheBitmapStep)
{
    SetTexts(settings_.english, "Sample Product", "Version 1.0", "");
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    ShowBitmapStep(window);
    const RECT client = ClientRectOnScreen(window);
    const Screenshot shot =
        CaptureWhen([](const Screenshot& s) { return s.CountColour(kRed, 0, 0, s.Width(), s.Height()) > 1000; });
    Keep(shot, "splash-texts");
    ExpectNameWhereLaidOut(shot, client, strlen("Sample Product"));

    // The version: black on a grey shadow, in its own band below the name.
    const int w = client.right - client.left, h = client.bottom - client.top;
    const SplashTextLayout layout = LayOutSplashTexts(0, 0, w, h, 14, 11, 0);
    const int top = client.top + layout.version.y - 3;
    const int bottom = client.top + layout.version.y + layout.smallHeight + kSmallTextShadowOffset + 3;
    const int inBand = shot.CountColour(kBlack, client.left, top, client.right, bottom);
    EXPECT_GT(inBand, 30);
    EXPECT_EQ(shot.CountColour(kBlack, client.left, client.top, client.right, client.bottom), inBand)
        << "only the version is black: the note is empty";
    EXPECT_GT(shot.CountColour({192, 192, 192}, client.left, top, client.right, bottom), 0);
}

TEST_F(SplashWindowTest, EmptyNameShowsNoTextsAtAll)
{
    SetTexts(settings_.english, "", "Version 1.0", "A note");
    HWND window = Create();
    ShowBitmapStep(window);
    const RECT client = ClientRectOnScreen(window);
    const Screenshot shot =
        CaptureWhen([&](const Screenshot& s) { return Near(s.Pixel(client.left, client.bottom - 1), kBottom); });
    EXPECT_EQ(shot.CountColour(kBlack, client.left, client.top, client.right, client.bottom), 0);
    EXPECT_EQ(shot.CountColour(kRed, client.left, client.top, client.right, client.bottom), 0);
}

TEST_F(SplashWindowTest, ShowsThePictureOverItsMask)
{
    const std::string folder = ScreenshotFolder();
    ASSERT_TRUE(WriteBitmapFile(folder + "\\picture.bmp", kTestPictureWidth, kTestPictureHeight, TestPicturePixel));
    ASSERT_TRUE(WriteBitmapFile(folder + "\\mask.bmp", kTestPictureWidth, kTestPictureHeight, TestMaskPixel));
    content_.bitmap = LoadSplashDib((folder + "\\picture.bmp").c_str());
    content_.mask = LoadSplashDib((folder + "\\mask.bmp").c_str());
    ASSERT_NE(content_.bitmap, nullptr);
    ASSERT_NE(content_.mask, nullptr);
    SetTexts(settings_.english, "Sample Product", "Version 1.0", "");
    HWND window = Create();
    ShowBitmapStep(window);

    const RECT client = ClientRectOnScreen(window);
    const SplashPoint place =
        PlaceSplashPicture(0, 0, client.right - client.left, client.bottom - client.top, 400, 300);
    const int left = client.left + place.x, top = client.top + place.y;
    const Screenshot shot =
        CaptureWhen([&](const Screenshot& s) { return s.Pixel(left + 200, top + 150) == TestPicturePixel(200, 150); });
    Keep(shot, "splash-picture");
    for (const POINT& p : {POINT{200, 150}, POINT{100, 150}, POINT{200, 40}, POINT{300, 200}, POINT{200, 15}})
        EXPECT_EQ(shot.Pixel(left + p.x, top + p.y), TestPicturePixel(p.x, p.y)) << "at " << p.x << ", " << p.y;
    // Corners of the picture are black in the picture and white in the mask: the gradient shows.
    for (const POINT& p : {POINT{2, 2}, POINT{397, 2}, POINT{2, 297}, POINT{397, 297}})
        EXPECT_PRED2(Near, shot.Pixel(left + p.x, top + p.y), GradientAt(client, top + p.y)) << p.x << ", " << p.y;
    EXPECT_PRED2(Near, shot.Pixel(left - 5, top + 150), GradientAt(client, top + 150));
    EXPECT_EQ(shot.CountColour(kRed, 0, 0, shot.Width(), shot.Height()), 0) << "the picture replaces the texts";
}

TEST_F(SplashWindowTest, PictureWithoutMaskShowsTheTexts)
{
    const std::string folder = ScreenshotFolder();
    ASSERT_TRUE(
        WriteBitmapFile(folder + "\\lonely-picture.bmp", kTestPictureWidth, kTestPictureHeight, TestPicturePixel));
    content_.bitmap = LoadSplashDib((folder + "\\lonely-picture.bmp").c_str());
    ASSERT_NE(content_.bitmap, nullptr);
    SetTexts(settings_.english, "Sample Product", "Version 1.0", "");
    HWND window = Create();
    ShowBitmapStep(window);
    const RECT client = ClientRectOnScreen(window);
    const Screenshot shot =
        CaptureWhen([](const Screenshot& s) { return s.CountColour(kRed, 0, 0, s.Width(), s.Height()) > 1000; });
    ExpectNameWhereLaidOut(shot, client, strlen("Sample Product"));
}

TEST_F(SplashWindowTest, RunOnlyModeNeverShowsTheWindow)
{
    hidden_ = 1;
    gShowAttempts = 0;
    gHook = SetWindowsHookExA(WH_CALLWNDPROC, WatchShowing, nullptr, GetCurrentThreadId());
    ASSERT_NE(gHook, nullptr);
    HWND window = Create(SW_SHOWNORMAL);
    ShowBitmapStep(window);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    UnhookWindowsHookEx(gHook);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("JovInstLangClass", "The Installer"), window) << "the window exists";
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(gShowAttempts, 0) << "and was never shown";
}

TEST_F(SplashWindowTest, ClosingDestroysTheWindowAndPostsTheQuitRequest)
{
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    MSG msg = {};
    bool quit = false;
    const DWORD start = GetTickCount();
    while (!quit && GetTickCount() - start < 5000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                break;
            }
            DispatchMessageA(&msg);
        }
    }
    EXPECT_TRUE(quit);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_FALSE(IsWindow(window));
}

// The interface language is asked at every paint: under a Japanese locale the
// Japanese settings block is shown (an ASCII name here: "Times New Roman").
TEST_F(SplashWindowTest, JapaneseInterfaceShowsTheJapaneseBlock)
{
    // The English name is long and so drawn small; the Japanese one is short and large.
    SetTexts(settings_.english, "A Sample Product With A Rather Long Name", "Version 1.0", "");
    SetTexts(settings_.japanese, "JP", "Version 1.0", "");
    HWND window = Create();
    ShowBitmapStep(window);
    const RECT client = ClientRectOnScreen(window);
    const Screenshot shot =
        CaptureWhen([](const Screenshot& s) { return s.CountColour(kRed, 0, 0, s.Width(), s.Height()) > 1000; });
    Keep(shot, "splash-texts-japanese-block");
    ExpectNameWhereLaidOut(shot, client, strlen("JP"));
    const SplashTextLayout english = LayOutSplashTexts(0, 0, client.right - client.left, client.bottom - client.top,
                                                       strlen(settings_.english.productName), 11, 0);
    const int belowEnglishBand = client.top + english.name.y + english.nameHeight + 10;
    EXPECT_GT(shot.CountColour(kRed, client.left, belowEnglishBand, client.right, client.bottom), 500)
        << "the large letters of the Japanese block's name";
}

}  // namespace
