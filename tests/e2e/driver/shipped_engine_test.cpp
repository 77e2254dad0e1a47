// The shipped 32-bit engine from dist/, started for real. Where 32-bit Wine is
// emulated this costs about a minute, so it is one run that proves the shipped
// file starts, reads its arguments and reports through a message box.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/harness/scenario.h"

namespace {

TEST(ShippedEngine, ThirtyTwoBitEngineRunsAndReportsTheMissingPackage)
{
    const std::string shipped = WindowsPath(ENGINE_SOURCE_DIR "/dist/installer.exe");
    ASSERT_TRUE(FileExists(shipped)) << "the shipped engine dist/installer.exe is missing; make builds it";
    const std::string folder = FreshFolder("shipped-engine");
    const std::string engine = folder + "\\unquilbex.exe";
    ASSERT_TRUE(CopyFileA(shipped.c_str(), engine.c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(engine + ".param", engine + "\r\n-JustExec\r\n"));

    RunSpec spec{engine, {}, false, {}, {{Answer::Ok}}};
    spec.timeoutMs = 600000;
    RunResult run = RunProgram(spec);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), "unquilbex.exe");
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), "It couldn't be uninstalled properly.");
    EXPECT_FALSE(FileExists(engine + ".param"));
}

}  // namespace
