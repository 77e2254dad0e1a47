// The engine's splash window in real runs: a package is built and embedded,
// the engine runs with it, and while the run waits for an answer to a box the
// robot looks at the box's owner and photographs the screen.
//
// In install mode the first box after the bitmap step comes from "-SetDir"
// naming a missing folder: the question whether to create it, which these
// runs answer with No.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/splash/splash_package.h"
#include "tests/win/ui/screen_capture.h"
#include "tests/win/ui/splash_test_picture.h"
#include "ui/splash_layout.h"

namespace {

constexpr Rgb kTop = {64, 64, 255}, kBottom = {64, 255, 255}, kRed = {255, 0, 0};

bool Near(Rgb a, Rgb b)
{
    return std::abs(a.red - b.red) <= 1 && std::abs(a.green - b.green) <= 1 && std::abs(a.blue - b.blue) <= 1;
}

// What the inspection of the first box found out; the robot's inspections
// take no context, so they report here.
struct SplashSight {
    bool ownedBySplash = false;
    bool visible = false;
    RECT frame = {};
    RECT client = {};
    Screenshot shot;
};
SplashSight gSight;
std::string gScreenshotName;
size_t gNameLength = 0;

HWND SplashOf(HWND box)
{
    HWND owner = GetWindow(box, GW_OWNER);
    char name[64] = "", caption[64] = "";
    GetClassNameA(owner, name, sizeof name);
    GetWindowTextA(owner, caption, sizeof caption);
    gSight.ownedBySplash = std::string(name) == "JovInstLangClass" && std::string(caption) == "The Installer";
    gSight.visible = IsWindowVisible(owner) != FALSE;
    GetWindowRect(owner, &gSight.frame);
    gSight.client = ClientRectOnScreen(owner);
    return owner;
}

void KeepShot()
{
    gSight.shot.SaveBmp(ScreenshotFolder() + "\\" + gScreenshotName + ".bmp");
}

// The colour the gradient has on a screen row of the client area.
Rgb GradientAt(const RECT& client, int screenY)
{
    const SplashColour c =
        GradientRowColour(kGradientTop, kGradientBottom, screenY - client.top, client.bottom - client.top);
    return {c.red, c.green, c.blue};
}

// The box goes to the lower right corner, out of the way of the checks. The
// result tells whether a screenshot shows the place it left repainted (near
// its lower left corner, where the splash shows only its gradient).
std::function<bool(const Screenshot&)> MoveAside(HWND box, const RECT& client)
{
    RECT r;
    GetWindowRect(box, &r);
    SetWindowPos(box, nullptr, GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left),
                 GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const POINT left = {r.left + 5, r.bottom - 5};
    return [left, client](const Screenshot& s) { return Near(s.Pixel(left.x, left.y), GradientAt(client, left.y)); };
}

std::string LookAtGradient(HWND box)
{
    SplashOf(box);
    const RECT c = gSight.client;
    const auto repainted = MoveAside(box, c);
    gSight.shot = CaptureWhen([&](const Screenshot& s) {
        return repainted(s) && Near(s.Pixel(c.left, c.top), kTop) && Near(s.Pixel(c.left, c.bottom - 1), kBottom);
    });
    KeepShot();
    return {};
}

std::string LookAtOwnerOnly(HWND box)
{
    SplashOf(box);
    return {};
}

// Waits until the engine, in the box's modal loop, has painted the texts.
std::string LookAtTexts(HWND box)
{
    SplashOf(box);
    const auto repainted = MoveAside(box, gSight.client);
    gSight.shot = CaptureWhen(
        [&](const Screenshot& s) { return repainted(s) && s.CountColour(kRed, 0, 0, s.Width(), s.Height()) > 1000; });
    KeepShot();
    return {};
}

std::string LookAtPicture(HWND box)
{
    SplashOf(box);
    const RECT c = gSight.client;
    const auto repainted = MoveAside(box, c);
    const SplashPoint place =
        PlaceSplashPicture(0, 0, c.right - c.left, c.bottom - c.top, kTestPictureWidth, kTestPictureHeight);
    gSight.shot = CaptureWhen([&](const Screenshot& s) {
        return repainted(s) && s.Pixel(c.left + place.x + 200, c.top + place.y + 150) == TestPicturePixel(200, 150);
    });
    KeepShot();
    return {};
}

class SplashScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSight = {};
        folder_ = FreshFolder(std::string("splash-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // An install run that stops at the question about a missing folder;
    // runOnly adds "-JustDecomp", which makes the run run-only.
    RunResult RunUntilFolderQuestion(const ProductSpec& product, bool runOnly, std::string (*inspect)(HWND))
    {
        const std::string setup = BuildSetup(folder_, product);
        const std::string engine = PlaceEngineCopy(folder_, "splash-setup.exe");
        const std::string missing = folder_ + "\\missing\\Sample Product";
        gNameLength = product.name.size();
        std::vector<std::string> arguments = {"-SetDir", missing, "-srcInstaller", setup};
        if (runOnly)
            arguments.insert(arguments.begin(), "-JustDecomp");
        return RunProgram({engine, arguments, false, {}, {{Answer::No, 0, {}, inspect}, {Answer::Ok}}});
    }

    std::string folder_;
};

void ExpectCleanRun(const RunResult& run)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
}

bool SawSplashWindow(const RunResult& run)
{
    return std::find(run.otherWindowClasses.begin(), run.otherWindowClasses.end(), L"JovInstLangClass") !=
           run.otherWindowClasses.end();
}

TEST_F(SplashScenario, UninstallRunCoversTheScreenWithTheGradient)
{
    const std::string setup = BuildSetup(folder_, {});
    const std::string engine = PlaceEngineCopy(folder_, "splash-uninstall.exe");
    gScreenshotName = "e2e-splash-gradient";

    // The uninstaller's question is looked at and answered No, so that nothing is touched.
    RunResult run = RunProgram(
        {engine, {"-u", "-srcInstaller", setup}, false, {}, {{Answer::No, 0, {}, LookAtGradient}, {Answer::Ok}}});

    ExpectCleanRun(run);
    ASSERT_FALSE(run.boxes.empty());
    for (const ShownBox& box : run.boxes) {
        EXPECT_EQ(box.ownerClass, L"JovInstLangClass");
        EXPECT_EQ(box.ownerCaption, L"The Installer");
    }
    EXPECT_TRUE(gSight.ownedBySplash);
    EXPECT_TRUE(gSight.visible);
    EXPECT_EQ(gSight.frame.left, 0);
    EXPECT_EQ(gSight.frame.top, 0);
    EXPECT_EQ(gSight.frame.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(gSight.frame.bottom, GetSystemMetrics(SM_CYSCREEN));
    const RECT& c = gSight.client;
    EXPECT_PRED2(Near, gSight.shot.Pixel(c.left, c.top), kTop);
    EXPECT_PRED2(Near, gSight.shot.Pixel(c.left, c.bottom - 1), kBottom);
    EXPECT_EQ(gSight.shot.CountColour(kRed, c.left, c.top, c.right, c.bottom), 0)
        << "an uninstalling run never reaches the bitmap step: the gradient alone";
}

TEST_F(SplashScenario, RunOnlyWindowExistsButIsNeverShown)
{
    RunResult run = RunUntilFolderQuestion({}, true, LookAtOwnerOnly);

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_TRUE(gSight.ownedBySplash) << "the hidden window owns the box";
    EXPECT_FALSE(gSight.visible);
    EXPECT_FALSE(SawSplashWindow(run)) << "the window was visible at some moment of the run";
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), "Sample Product");
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), "It couldn't be installed properly.");
}

TEST_F(SplashScenario, PackageWithoutPictureShowsTheProductTexts)
{
    gScreenshotName = "e2e-splash-texts";
    RunResult run = RunUntilFolderQuestion({}, false, LookAtTexts);

    ExpectCleanRun(run);
    ASSERT_TRUE(gSight.ownedBySplash);
    EXPECT_TRUE(gSight.visible);
    const RECT& c = gSight.client;
    const SplashTextLayout layout = LayOutSplashTexts(0, 0, c.right - c.left, c.bottom - c.top, gNameLength, 11, 0);
    const int top = c.top + layout.name.y - 4;
    const int bottom = c.top + layout.name.y + layout.nameHeight + kNameShadowOffset + 4;
    const int left = c.left + layout.name.x - 4 - layout.nameHeight / 4;
    const int inBand = gSight.shot.CountColour(kRed, left, top, c.right, bottom);
    EXPECT_GT(inBand, 20 * layout.nameHeight) << "the product name in red";
    EXPECT_EQ(gSight.shot.CountColour(kRed, 0, 0, gSight.shot.Width(), gSight.shot.Height()), inBand)
        << "red only where the layout puts the name";
}

TEST_F(SplashScenario, PackageWithPictureShowsThePicture)
{
    gScreenshotName = "e2e-splash-picture";
    ProductSpec product;
    product.withPicture = true;
    RunResult run = RunUntilFolderQuestion(product, false, LookAtPicture);

    ExpectCleanRun(run);
    ASSERT_TRUE(gSight.ownedBySplash);
    EXPECT_TRUE(gSight.visible);
    const RECT& c = gSight.client;
    const SplashPoint place =
        PlaceSplashPicture(0, 0, c.right - c.left, c.bottom - c.top, kTestPictureWidth, kTestPictureHeight);
    const int left = c.left + place.x, top = c.top + place.y;
    for (const POINT& p : {POINT{200, 150}, POINT{100, 150}, POINT{200, 40}, POINT{300, 200}, POINT{200, 15}})
        EXPECT_EQ(gSight.shot.Pixel(left + p.x, top + p.y), TestPicturePixel(p.x, p.y)) << p.x << ", " << p.y;
    EXPECT_PRED2(Near, gSight.shot.Pixel(left + 2, top + 2), GradientAt(c, top + 2))
        << "black picture pixels under white mask pixels let the gradient through";
    EXPECT_EQ(gSight.shot.CountColour(kRed, 0, 0, gSight.shot.Width(), gSight.shot.Height()), 0)
        << "the picture takes the place of the texts";
}

}  // namespace
