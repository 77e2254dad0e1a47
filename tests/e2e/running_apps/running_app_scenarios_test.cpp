// The offer to end running applications, in real runs: a helper program
// holds windows of the classes a package lists, the engine installs that
// package with "-SetDir", and the UI robot answers its questions.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"

namespace {

const char kOwnFileName[] = "setup-engine.exe";

// The helper's windows of one class, hidden ones included.
int CountWindows(const std::string& className, DWORD processId)
{
    struct Search {
        std::string className;
        DWORD processId;
        int found;
    } search = {className, processId, 0};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            char name[256] = "";
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && GetClassNameA(window, name, sizeof name) > 0 && s->className == name)
                ++s->found;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A running copy of the helper program; ended when the scenario is over.
class AppWindows {
public:
    AppWindows(const std::string& className, int count, const std::string& mode, const std::string& log)
        : className_(className), log_(log)
    {
        std::string command = "\"" + WindowsPath(APP_WINDOWS_PATH) + "\" " + className + " " + std::to_string(count) +
                              " " + mode + " \"" + log + "\"";
        if (!process_.Start(command, CREATE_NO_WINDOW))
            return;
        const DWORD start = GetTickCount();
        while (CountWindows(className, process_.Id()) < count && GetTickCount() - start < 20000)
            Sleep(50);
        ready_ = CountWindows(className, process_.Id()) == count;
    }
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    bool Ready() const { return ready_; }
    int OpenWindows() const { return CountWindows(className_, process_.Id()); }
    bool EndsWithin(DWORD ms) const { return process_.EndsWithin(ms); }
    // The close requests its windows handled, one word each.
    std::string Requests() const { return ReadFileBytes(log_); }

private:
    std::string className_, log_;
    HelperProcess process_;
    bool ready_ = false;
};

mkpackage::CheckRecord RunningApp(const std::string& className, const std::string& message)
{
    return {1, className, message};
}

const std::vector<cabwriter::Member> kProduct = {MemberOf("readme.txt"), MemberOf("bin\\viewer.exe", 0x20, 5000)};

// The box that ends a run which installed its files: the registration's
// message, which is not what these scenarios look at.
const BoxStep kAfterInstall = {Answer::Ok};

class RunningAppScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = FreshFolder("running-apps-" + TestName());
        const std::string temp = work_ + "\\user\\Temp";
        CreateDirectoryA((work_ + "\\user").c_str(), nullptr);
        CreateDirectoryA(temp.c_str(), nullptr);
        CreateDirectoryA(Destination().c_str(), nullptr);
        engine_ = work_ + "\\" + kOwnFileName;
        ASSERT_TRUE(CopyFileA(EnginePath().c_str(), engine_.c_str(), FALSE));
    }

    std::string Destination() const { return work_ + "\\dest"; }
    std::string Log() const { return work_ + "\\requests.log"; }

    RunResult Install(const ProductSpec& product, std::vector<BoxStep> script, bool japanese = false,
                      std::vector<std::string> options = {})
    {
        const std::string setup = BuildSetup(work_, product);
        const std::string temp = work_ + "\\user\\Temp";
        options.insert(options.end(), {"-SetDir", Destination(), "-srcInstaller", setup});
        return RunProgram({engine_, options, japanese, {{"TEMP", temp}, {"TMP", temp}}, std::move(script)});
    }

    bool ProductInstalled() const
    {
        for (const cabwriter::Member& member : kProduct) {
            const std::string path = Destination() + "\\" + member.name;
            if (ReadFileBytes(path) != std::string(member.data.begin(), member.data.end()))
                return false;
        }
        return true;
    }

    std::string work_, engine_;
};

void ExpectCleanRun(const RunResult& run)
{
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
    for (const std::string& failure : run.failures)
        ADD_FAILURE() << failure;
}

bool IsQuestion(const ShownBox& box)
{
    return box.HasButton(IDYES);
}

std::vector<ShownBox> Questions(const RunResult& run)
{
    std::vector<ShownBox> questions;
    std::copy_if(run.boxes.begin(), run.boxes.end(), std::back_inserter(questions), IsQuestion);
    return questions;
}

void ExpectQuestion(const ShownBox& box, const std::string& text)
{
    EXPECT_EQ(box.Caption(CP_UTF8), kOwnFileName);
    EXPECT_EQ(box.Text(CP_UTF8), text);
    EXPECT_EQ(box.ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(box.ownerClass, L"JovInstLangClass");
}

TEST_F(RunningAppScenario, NothingListedRunningAsksNothing)
{
    AppWindows other("RunAppOtherClass", 1, "close", Log());
    ASSERT_TRUE(other.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppListedClass", "Listed is running."),
                                   RunningApp("", "An empty class names nothing.")},
                        .members = kProduct};

    RunResult run = Install(product, {kAfterInstall});

    ExpectCleanRun(run);
    EXPECT_TRUE(Questions(run).empty());
    EXPECT_TRUE(ProductInstalled());
    EXPECT_EQ(other.OpenWindows(), 1) << "a window of a class the package does not list is left alone";
    EXPECT_EQ(other.Requests(), "");
}

TEST_F(RunningAppScenario, YesClosesTheWindowAndTheInstallationGoesOn)
{
    AppWindows app("RunAppViewerClass", 1, "close", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppViewerClass", "Viewer is running.")}, .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, kAfterInstall});

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), 1u);
    ExpectQuestion(questions[0], "Viewer is running.\r\nDo you finish RunAppViewer , Now?");
    EXPECT_EQ(app.Requests(), "close\n");
    EXPECT_TRUE(app.EndsWithin(10000));
    EXPECT_TRUE(ProductInstalled());
}

TEST_F(RunningAppScenario, TwoWindowsOfOneClassAreAskedAboutOneByOne)
{
    AppWindows app("RunAppTwinClass", 2, "close", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppTwinClass", "Twin is running.")}, .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, {Answer::Yes}, kAfterInstall});

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), 2u);
    for (const ShownBox& question : questions)
        ExpectQuestion(question, "Twin is running.\r\nDo you finish RunAppTwin , Now?");
    EXPECT_EQ(app.Requests(), "close\nclose\n");
    EXPECT_TRUE(app.EndsWithin(10000));
    EXPECT_TRUE(ProductInstalled());
}

TEST_F(RunningAppScenario, EveryListedClassIsAskedAboutInTurn)
{
    AppWindows first("RunAppFirstClass", 1, "close", Log());
    AppWindows second("RunAppSecondClass", 1, "close", work_ + "\\second.log");
    ASSERT_TRUE(first.Ready() && second.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppFirstClass", "First is running."),
                                   RunningApp("RunAppSecondClass", "Second is running.")},
                        .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, {Answer::Yes}, kAfterInstall});

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), 2u);
    ExpectQuestion(questions[0], "First is running.\r\nDo you finish RunAppFirst , Now?");
    ExpectQuestion(questions[1], "Second is running.\r\nDo you finish RunAppSecond , Now?");
    EXPECT_TRUE(first.EndsWithin(10000));
    EXPECT_TRUE(second.EndsWithin(10000));
    EXPECT_TRUE(ProductInstalled());
}

TEST_F(RunningAppScenario, RefusedCloseIsAskedAgainAndNoEndsTheRunQuietly)
{
    AppWindows app("RunAppStubbornClass", 1, "refuse-first", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppStubbornClass", "Stubborn is running."),
                                   RunningApp("RunAppOtherClass", "Never reached.")},
                        .members = kProduct};

    // No step for a third box: a failure message would fail the scenario.
    RunResult run = Install(product, {{Answer::Yes}, {Answer::No}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    for (const ShownBox& question : run.boxes)
        ExpectQuestion(question, "Stubborn is running.\r\nDo you finish RunAppStubborn , Now?");
    EXPECT_EQ(app.Requests(), "refused\n") << "No sends no close request";
    EXPECT_EQ(app.OpenWindows(), 1);
    EXPECT_EQ(ListFolder(Destination()), std::vector<std::string>{}) << "nothing is installed";
}

// When the questions about a hung window came, and how the engine's window
// answered in between.
constexpr DWORD kBoxTeardownMs = 3000;

struct HungWatch {
    std::atomic<HWND> splash{nullptr};
    std::atomic<int> questions{0};
    DWORD firstAt = 0, secondAt = 0;
    std::atomic<int> probes{0}, unanswered{0};
    std::atomic<DWORD> slowestMs{0};

    void Reset()
    {
        splash = nullptr;
        questions = 0;
        firstAt = secondAt = 0;
        probes = unanswered = 0;
        slowestMs = 0;
    }
};
HungWatch gHung;

std::string NoteHungQuestion(HWND box)
{
    if (gHung.questions == 0) {
        gHung.firstAt = GetTickCount();
        gHung.splash = GetWindow(box, GW_OWNER);
    } else {
        gHung.secondAt = GetTickCount();
    }
    ++gHung.questions;
    return {};
}

TEST_F(RunningAppScenario, HungWindowDoesNotHoldTheRunAndNoEndsIt)
{
    AppWindows app("RunAppHungClass", 1, "hung", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppHungClass", "Hung is running.")}, .members = kProduct};
    gHung.Reset();

    // Between the two questions the engine waits on the hung window; all the
    // while its own window keeps answering messages sent to it. Wine takes
    // up to two seconds to put a closed box away, during which no program
    // answers, so the probes start after that.
    std::atomic<bool> done{false};
    std::thread prober([&done] {
        while (!done) {
            HWND splash = gHung.splash;
            if (splash != nullptr && gHung.questions == 1 && GetTickCount() - gHung.firstAt > kBoxTeardownMs) {
                const DWORD start = GetTickCount();
                DWORD_PTR result = 0;
                if (!SendMessageTimeoutW(splash, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 3000, &result))
                    ++gHung.unanswered;
                const DWORD took = GetTickCount() - start;
                if (took > gHung.slowestMs)
                    gHung.slowestMs = took;
                ++gHung.probes;
            }
            Sleep(100);
        }
    });
    RunResult run = Install(product, {{Answer::Yes, 0, {}, NoteHungQuestion}, {Answer::No, 0, {}, NoteHungQuestion}});
    done = true;
    prober.join();

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    for (const ShownBox& question : run.boxes)
        ExpectQuestion(question, "Hung is running.\r\nDo you finish RunAppHung , Now?");
    const DWORD between = gHung.secondAt - gHung.firstAt;
    EXPECT_LT(between, 15000u) << "the close request to a hung window is given up after a few seconds";
    EXPECT_GE(gHung.probes, 10) << "waited " << between << " ms";
    EXPECT_EQ(gHung.unanswered, 0);
    EXPECT_LT(gHung.slowestMs, 2000u);
    EXPECT_EQ(app.OpenWindows(), 1);
    EXPECT_EQ(ListFolder(Destination()), std::vector<std::string>{});
    std::printf("hung window: %lu ms between the questions, %d probes, slowest answer %lu ms\n",
                static_cast<unsigned long>(between), gHung.probes.load(),
                static_cast<unsigned long>(gHung.slowestMs.load()));
}

TEST_F(RunningAppScenario, FiveCharacterClassIsShownWhole)
{
    AppWindows app("CLASS", 1, "close", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("CLASS", "")}, .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, kAfterInstall});

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), 1u);
    ExpectQuestion(questions[0], "\r\nDo you finish CLASS , Now?");
    EXPECT_TRUE(app.EndsWithin(10000));
    EXPECT_TRUE(ProductInstalled());
}

struct ModeCase {
    const char* label;
    const char* option;
    bool asks;
};

void PrintTo(const ModeCase& c, std::ostream* out)
{
    *out << c.option;
}

class RunModes : public RunningAppScenario, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(RunModes, ExtractOnlyRunsSkipTheCheckRunOnlyRunsMakeIt)
{
    const ModeCase& c = GetParam();
    const std::string className = std::string("RunAppMode") + c.label + "Class";
    AppWindows app(className, 1, "close", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp(className, "Mode test.")}, .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, kAfterInstall}, false, {c.option});

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), c.asks ? 1u : 0u);
    if (c.asks) {
        ExpectQuestion(questions[0], "Mode test.\r\nDo you finish RunAppMode" + std::string(c.label) + " , Now?");
        EXPECT_TRUE(app.EndsWithin(10000));
    } else {
        EXPECT_EQ(app.OpenWindows(), 1);
        EXPECT_EQ(app.Requests(), "");
        EXPECT_TRUE(ProductInstalled());
    }
}

INSTANTIATE_TEST_SUITE_P(Options, RunModes,
                         ::testing::Values(ModeCase{"ExtractOnly", "-JustDecomp", false},
                                           ModeCase{"RunOnly", "-JustExec", true}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.label); });

// 試験アプリが起動しています。
const char kJapaneseMessage[] = "\x8E\x8E\x8C\xB1\x83"
                                "A\x83v\x83\x8A\x82\xAA\x8B"
                                "N\x93\xAE\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81"
                                "B";

TEST_F(RunningAppScenario, QuestionInJapanese)
{
    AppWindows app("RunAppJapaneseClass", 1, "close", Log());
    ASSERT_TRUE(app.Ready());
    ProductSpec product{.checks = {RunningApp("RunAppJapaneseClass", "The English block's message.")},
                        .japaneseChecks = {RunningApp("RunAppJapaneseClass", kJapaneseMessage)},
                        .members = kProduct};

    RunResult run = Install(product, {{Answer::Yes}, kAfterInstall}, true);

    ExpectCleanRun(run);
    const std::vector<ShownBox> questions = Questions(run);
    ASSERT_EQ(questions.size(), 1u);
    ExpectQuestion(questions[0], "試験アプリが起動しています。\r\n今すぐに、RunAppJapanese を終了しますか？");
    EXPECT_TRUE(app.EndsWithin(10000));
    EXPECT_TRUE(ProductInstalled());
}

}  // namespace
