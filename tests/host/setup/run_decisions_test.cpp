#include <gtest/gtest.h>

#include "tests/host/common/shift_jis.h"

#include <string>

#include "setup/run_decisions.h"
#include "setup/setup_texts.h"

namespace {

struct PerUserCase {
    bool forceAdmin;
    bool isAdmin;
    const char* folder;
    bool perUser;
};

const PerUserCase kPerUserCases[] = {
    {false, false, "%ProgramFilesOrUser%\\Prod", true},  {false, false, "%ProgramFilesOrUser%", true},
    {false, false, "%programfilesoruser%\\Prod", false},  // the comparison is case-sensitive
    {false, false, "%ProgramFiles%\\Prod", false},       {false, true, "%ProgramFilesOrUser%\\Prod", false},
    {true, false, "%ProgramFilesOrUser%\\Prod", false},  {false, false, "", false},
};

TEST(DecidePerUserInstall, Cases)
{
    for (const PerUserCase& c : kPerUserCases)
        EXPECT_EQ(DecidePerUserInstall(c.forceAdmin, c.isAdmin, c.folder), c.perUser) << c.folder;
}

struct RootCase {
    bool forceAdmin, forceUser, perUser;
    RegistryRoot root;
    int folderId;
};

const RootCase kRootCases[] = {
    {true, true, true, RegistryRoot::LocalMachine, 23},  // "-ForceAdmin" wins
    {true, false, true, RegistryRoot::LocalMachine, 23}, {false, true, false, RegistryRoot::CurrentUser, 2},
    {false, false, true, RegistryRoot::CurrentUser, 2},  {false, false, false, RegistryRoot::LocalMachine, 23},
};

TEST(ChooseRegistryRoot, Cases)
{
    for (const RootCase& c : kRootCases) {
        EXPECT_EQ(ChooseRegistryRoot(c.forceAdmin, c.forceUser, c.perUser), c.root);
        EXPECT_EQ(ChooseProgramsFolderId(c.forceAdmin, c.forceUser, c.perUser), c.folderId);
    }
}

TEST(SetupTexts, FailureTexts)
{
    EXPECT_STREQ(FailureText(false, true), "It couldn't be installed properly.");
    EXPECT_STREQ(FailureText(false, false), "It couldn't be uninstalled properly.");
    EXPECT_EQ(FailureText(true, true), ToShiftJis("正しくインストール出来ませんでした。"));
    EXPECT_EQ(FailureText(true, false), ToShiftJis("正しくアンインストール出来ませんでした。"));
}

TEST(SetupTexts, RightsTextsAreJapaneseOnly)
{
    EXPECT_EQ(AdminRequiredText(false, false), ToShiftJis("本ソフトウェアのアンインストールには管理者権限が必要です。\n"
                                                          "管理者権限を持つユーザーでアンインストールしてください。"));
    EXPECT_EQ(
        AdminRequiredText(true, true),
        ToShiftJis("本ソフトウェアの実行には管理者権限が必要です。\n管理者権限を持つユーザーで実行してください。"));
    EXPECT_EQ(AdminRequiredText(true, false), ToShiftJis("本ソフトウェアのインストールには管理者権限が必要です。\n"
                                                         "管理者権限を持つユーザーでインストールしてください。"));
}

struct OutcomeCase {
    RunOutcome outcome;
    int silentCode;
};

// The codes an administrator's script tests: documented, distinct, stable.
const OutcomeCase kOutcomeCases[] = {
    {RunOutcome::Done, 0},    {RunOutcome::Failed, 1},         {RunOutcome::Blocked, 2},
    {RunOutcome::Refused, 3}, {RunOutcome::BadCommandLine, 4},
};

TEST(ExitCodeOf, SilentRunsTellTheOutcomeOthersEndWithZero)
{
    for (const OutcomeCase& c : kOutcomeCases) {
        EXPECT_EQ(ExitCodeOf(c.outcome, true), c.silentCode) << OutcomeText(c.outcome);
        EXPECT_EQ(ExitCodeOf(c.outcome, false), 0) << OutcomeText(c.outcome);
    }
}

TEST(OutcomeText, EachOutcomeHasItsOwnWords)
{
    for (const OutcomeCase& a : kOutcomeCases) {
        for (const OutcomeCase& b : kOutcomeCases) {
            if (a.outcome != b.outcome)
                EXPECT_STRNE(OutcomeText(a.outcome), OutcomeText(b.outcome));
        }
    }
    EXPECT_STREQ(OutcomeText(RunOutcome::Done), "done");
}

}  // namespace
