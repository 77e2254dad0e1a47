#include "ui/splash_window.h"

#include "ui/splash_drawing.h"
#include "ui/splash_layout.h"

namespace {

constexpr char kIconName[] = "INSTLANG_ICON";

// The gradient, and once the bitmap step is over the picture or the texts.
void Paint(HWND window)
{
    if (!GetUpdateRect(window, nullptr, FALSE))
        return;
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const int width = client.right - client.left, height = client.bottom - client.top;
    PaintGradient(dc, 0, 0, width, height, ToColorRef(kGradientTop), ToColorRef(kGradientBottom));
    const auto* content = reinterpret_cast<const SplashContent*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (content != nullptr && content->ready) {
        if (content->bitmap != nullptr && content->mask != nullptr) {
            DrawSplashPicture(dc, 0, 0, width, height, content->bitmap, content->mask);
        } else {
            const SetupInfo& info = ActiveSetupInfo(*content->settings);
            DrawSplashTexts(dc, 0, 0, width, height, info.productName, info.productVersion, info.splashNote);
        }
    }
    EndPaint(window, &paint);
}

}  // namespace

ATOM RegisterSplashClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SplashWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, kIconName);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kSplashClassName;
    return RegisterClassA(&windowClass);
}

HWND CreateSplashWindow(HINSTANCE instance, int showCommand, int hidden, SplashContent& content)
{
    HWND window = CreateWindowExA(WS_EX_APPWINDOW, kSplashClassName, kSplashCaption,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, &content);
    ShowWindow(window, hidden ? SW_HIDE : showCommand);
    UpdateWindow(window);
    return window;
}

LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        // The content travels as the creation parameter.
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        return 1;
    case WM_PAINT: Paint(window); return 1;
    case WM_CLOSE: DestroyWindow(window); return 1;
    case WM_DESTROY: PostQuitMessage(0); return 1;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
