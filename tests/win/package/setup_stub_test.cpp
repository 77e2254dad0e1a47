// setup-stub.exe under Wine. Variants of the stub carry a probe instead of the
// engine; the probe reports the argument file it was handed. The real stub,
// carrying this tree's engine and a package built by mkpackage's library,
// shows that the engine loads the package it is pointed at.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "tests/e2e/harness/scenario.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/product_builder.h"

namespace {

constexpr char kStartFailedJapanese[] =
    "\x83"
    "C\x83\x93\x83X\x83g\x81[\x83\x89\x81[\x82\xF0\x8BN\x93\xAE\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5"
    "\x82\xB5\x82\xBD\x81"
    "B";

// Each test works in a folder of its own, with TMP and TEMP pointing into it:
// the installer's temporary folder is then <folder>\user\vbnxoPmet.
class SetupStub : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = FreshFolder(std::string("stub-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryA((folder_ + "\\user").c_str(), nullptr);
        CreateDirectoryA((folder_ + "\\user\\Temp").c_str(), nullptr);
        installerTemp_ = folder_ + "\\user\\vbnxoPmet";
        report_ = folder_ + "\\report.txt";
        Set("TMP", folder_ + "\\user\\Temp");
        Set("TEMP", folder_ + "\\user\\Temp");
        Set("SETUP_PROBE_REPORT", report_);
        Set("SETUP_PROBE_EXIT", "");
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved_)
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }

    void Set(const std::string& name, const std::string& value)
    {
        char old[1024] = "";
        if (saved_.count(name) == 0)
            saved_[name] = GetEnvironmentVariableA(name.c_str(), old, sizeof old) > 0 ? old : "";
        SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }

    // A copy of a stub program under the given name in the test's folder.
    std::string Place(const char* stub, const std::string& name)
    {
        std::string path = folder_ + "\\" + name;
        EXPECT_TRUE(CopyFileA(WindowsPath(stub).c_str(), path.c_str(), FALSE));
        return path;
    }

    // Runs the stub to its end, answering the boxes of the stub and of the
    // programs it starts.
    RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
                  std::vector<BoxStep> script = {}, DWORD timeoutMs = 60000)
    {
        // The stub's tests run in whichever language the test runner chose.
        RunSpec spec{program, arguments, GetACP() == kJapaneseCodePage, {}, std::move(script)};
        spec.timeoutMs = timeoutMs;
        return RunProgram(spec);
    }

    std::string ExpectedReport(const std::string& engine, const std::string& stub,
                               const std::vector<std::string>& lines)
    {
        std::string param = engine + "\r\n-srcInstaller\r\n" + stub + "\r\n";
        for (const std::string& line : lines)
            param += line + "\r\n";
        return "argc=1\nargv0=" + engine + "\nparam=" + param;
    }

    std::string folder_, installerTemp_, report_;
    std::map<std::string, std::string> saved_;
};

TEST_F(SetupStub, HandsTheEngineItsArgumentFile)
{
    std::string stub = Place(PROBE_STUB_PATH, "setup.exe");
    std::vector<std::string> arguments = {"-SetDir", "C:\\Program Files\\Two Words", "-JustExec", "say \"hi\"", ""};
    RunResult run = Run(stub, arguments);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    std::string engine = installerTemp_ + "\\installer.exe";
    EXPECT_EQ(ExpectedReport(engine, stub, arguments), ReadFileBytes(report_));
    // The engine copy and its argument file are gone; nothing else was left.
    EXPECT_TRUE(ListFolder(installerTemp_).empty());
}

TEST_F(SetupStub, UninstallerNameAddsTheRemovalOption)
{
    const struct {
        const char* name;
        bool uninstall;
    } cases[] = {
        {"unquilbex.exe", true}, {"UNQUILBEX.EXE", true},   {"UnQuilBex.Exe", true},
        {"setup.exe", false},    {"unquilbex2.exe", false}, {"xunquilbex.exe", false},
    };
    for (const auto& c : cases) {
        std::string stub = Place(PROBE_STUB_PATH, c.name);
        DeleteFileA(report_.c_str());
        RunResult run = Run(stub, {"-ForceAdmin"});
        ASSERT_TRUE(run.started) << c.name;
        std::vector<std::string> lines = {"-ForceAdmin"};
        if (c.uninstall)
            lines.insert(lines.begin(), "-u");
        EXPECT_EQ(ExpectedReport(installerTemp_ + "\\installer.exe", stub, lines), ReadFileBytes(report_)) << c.name;
        DeleteFileA(stub.c_str());
    }
}

// An unattended caller learns the outcome from the engine's exit code.
TEST_F(SetupStub, ExitCodeIsTheEngines)
{
    for (const char* code : {"7", "0", "4"}) {
        Set("SETUP_PROBE_EXIT", code);
        DeleteFileA(report_.c_str());
        RunResult run = Run(Place(PROBE_STUB_PATH, "setup.exe"), {"-Silent"});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(static_cast<DWORD>(atoi(code)), run.exitCode);
        EXPECT_NE("", ReadFileBytes(report_));
    }
}

TEST_F(SetupStub, TakesTheNextNameWhileAnEngineCopyIsInUse)
{
    CreateDirectoryA(installerTemp_.c_str(), nullptr);
    std::string busy = installerTemp_ + "\\installer.exe";
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::string stub = Place(PROBE_STUB_PATH, "setup.exe");
    RunResult run = Run(stub, {"-OKisnotAdmin"});
    CloseHandle(held);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(ExpectedReport(installerTemp_ + "\\installer-2.exe", stub, {"-OKisnotAdmin"}), ReadFileBytes(report_));
    EXPECT_EQ(std::vector<std::string>{"installer.exe"}, ListFolder(installerTemp_));
}

TEST_F(SetupStub, EngineThatCannotStartGivesAPlainError)
{
    std::string stub = Place(BROKEN_STUB_PATH, "setup.exe");
    RunResult run = Run(stub, {}, {{Answer::Ok}});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("setup.exe", run.boxes[0].Caption(CP_UTF8));
    EXPECT_EQ("The installer could not be started.", run.boxes[0].Text(CP_UTF8));
    EXPECT_TRUE(ListFolder(installerTemp_).empty());
}

// A silent run waits for nobody: no box, and the failure's exit code.
TEST_F(SetupStub, EngineThatCannotStartInASilentRunShowsNothingAndEndsWithOne)
{
    std::string stub = Place(BROKEN_STUB_PATH, "setup.exe");
    RunResult run = Run(stub, {"-SetDir", "C:\\Tools", "-Silent"});
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_TRUE(ListFolder(installerTemp_).empty());
}

TEST_F(SetupStub, EngineThatCannotStartGivesAPlainErrorJapanese)
{
    ASSERT_EQ(932u, GetACP());
    std::string stub = Place(BROKEN_STUB_PATH, "setup.exe");
    RunResult run = Run(stub, {}, {{Answer::Ok}});
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(kStartFailedJapanese, run.boxes[0].Text(932));
}

// The real stub with this tree's engine: a package built from the sample
// manifest loads, and the run goes on past the package step.
class SetupExe : public SetupStub {
protected:
    std::string Build(bool damageSignature, const std::string& stubPath = WindowsPath(SETUP_STUB_PATH))
    {
        mkpackage::Diagnostics d;
        mkpackage::Manifest manifest;
        EXPECT_TRUE(
            mkpackage::ReadManifest(WindowsPath(ENGINE_SOURCE_DIR "/examples/sample/manifest.json"), manifest, d))
            << (d.errors.empty() ? "" : d.errors[0]);
        // A package for Windows 95 only: the engine refuses this system, which
        // it can tell only from the package's settings.
        manifest.english.osMask = manifest.japanese.osMask = 0x2;
        manifest.english.okIfNotAdmin = manifest.japanese.okIfNotAdmin = 1;
        std::vector<uint8_t> package, stub, setup;
        mkpackage::BuildSummary summary;
        EXPECT_TRUE(mkpackage::BuildPackage(manifest, package, summary, d));
        if (damageSignature)
            package[package.size() - 16] = 'X';
        std::string bytes = ReadFileBytes(stubPath);
        stub.assign(bytes.begin(), bytes.end());
        std::string error;
        EXPECT_TRUE(mkpackage::EmbedPackage(stub, package, setup, error)) << error;
        std::string path = folder_ + "\\setup.exe";
        EXPECT_TRUE(WriteFileBytes(path, std::string(setup.begin(), setup.end())));
        return path;
    }
};

bool IsPackageFailure(const ShownBox& box)
{
    return box.Caption(CP_UTF8) == "installer.exe" && box.Text(CP_UTF8) == "It couldn't be installed properly.";
}

TEST_F(SetupExe, EngineLoadsThePackageAndGoesOn)
{
    RunResult run = Run(Build(false), {}, {{Answer::Ok}, {Answer::Ok}});
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ("installer.exe", run.boxes[0].Caption(CP_UTF8));
    EXPECT_EQ("It can't be installed in this OS.", run.boxes[0].Text(CP_UTF8));
    EXPECT_TRUE(IsPackageFailure(run.boxes[1]));
    EXPECT_TRUE(ListFolder(installerTemp_).empty()) << "engine copy, argument file or package copies were left";
}

TEST_F(SetupExe, WrongSignatureGivesThePackageFailure)
{
    RunResult run = Run(Build(true), {}, {{Answer::Ok}});
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_TRUE(IsPackageFailure(run.boxes[0])) << run.boxes[0].Caption(CP_UTF8) << " / " << run.boxes[0].Text(CP_UTF8);
    EXPECT_TRUE(ListFolder(installerTemp_).empty());
}

// The shipped 32-bit stub with the shipped engine, from dist/. Where 32-bit
// Wine is emulated each program start costs about a minute, so this is the
// one run that proves the shipped pair works together.
TEST_F(SetupExe, ShippedThirtyTwoBitSetupRunsTheEngine)
{
    const std::string shipped = WindowsPath(ENGINE_SOURCE_DIR "/dist/setup-stub.exe");
    ASSERT_TRUE(FileExists(shipped)) << "the shipped stub dist/setup-stub.exe is missing; make builds it";
    RunResult run = Run(Build(false, shipped), {}, {{Answer::Ok}, {Answer::Ok}}, 600000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ("It can't be installed in this OS.", run.boxes[0].Text(CP_UTF8));
    EXPECT_TRUE(ListFolder(installerTemp_).empty());
}

}  // namespace
