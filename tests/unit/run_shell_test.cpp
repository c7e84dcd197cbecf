// Whole runs of jobs through the command interpreter: which interpreter is
// started, the "/c" command it receives, and the jobs refused before a launch.
#include <cstdint>
#include <string>
#include <vector>

#include "agent_run.h"

namespace agent_test {
namespace {

constexpr const char* kShell = "C:\\WINDOWS\\cmd.exe";

class ShellModeTest : public AgentRunTest {
 protected:
  void SetUp() override {
    AgentRunTest::SetUp();
    sim::AddProgram("C:\\AGENT\\prog.exe", 3);
    sim::AddProgram(kShell, 4);
  }

  // A refused job: the status word stored, nothing probed or started.
  void ExpectRefused(nt::u32 exitCode, std::int32_t status) {
    EXPECT_EQ(exitCode, 1U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, status);
    EXPECT_EQ(+record->lExitCode, 0);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    EXPECT_TRUE(sim::Launches().empty());
    EXPECT_EQ(sim::CallCount(sim::Op::CreateProcessA), 0);
    EXPECT_EQ(sim::CallCount(sim::Op::GetFileAttributesA), 0);
  }
};

TEST_F(ShellModeTest, AnyNonzeroFlagStartsTheInterpreterWithASlashCCommand) {
  const struct {
    const char* name;
    std::int32_t flag;
    std::string args;
    std::string applicationName;
    std::string commandLine;
    std::int32_t exitCode;
  } cases[] = {
      {"flag 0 launches directly", 0, "a b", ".\\prog.exe", "prog a b", 3},
      {"flag 0, no arguments", 0, "", ".\\prog.exe", "prog", 3},
      {"flag 1", 1, "a b", kShell, "C:\\WINDOWS\\cmd.exe /c prog a b", 4},
      {"flag 2", 2, "a b", kShell, "C:\\WINDOWS\\cmd.exe /c prog a b", 4},
      {"flag -1", -1, "a b", kShell, "C:\\WINDOWS\\cmd.exe /c prog a b", 4},
      {"flag in the high half only", 0x10000, "a b", kShell, "C:\\WINDOWS\\cmd.exe /c prog a b", 4},
      {"lowest flag", INT32_MIN, "a b", kShell, "C:\\WINDOWS\\cmd.exe /c prog a b", 4},
      {"no arguments keep the blank", 1, "", kShell, "C:\\WINDOWS\\cmd.exe /c prog ", 4},
      {"arguments passed as written", 1, " \"x y\"  z ", kShell,
       "C:\\WINDOWS\\cmd.exe /c prog  \"x y\"  z ", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Job job;
    job.args = c.args;
    job.useShell = c.flag;
    EXPECT_EQ(RunJob(job), 0U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, 0);
    EXPECT_EQ(+record->lExitCode, c.exitCode);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].applicationName, c.applicationName);
    EXPECT_EQ(sim::Launches()[0].commandLine, c.commandLine);
    // The record's texts and flag go back as the host wrote them.
    EXPECT_EQ(sim::ReadFile(kRecordPath)->substr(0, 1050), RecordBytes(job).substr(0, 1050));
  }
}

TEST_F(ShellModeTest, DebugEchoShowsTheRewrittenBuffers) {
  Job job;
  job.useShell = 1;
  EXPECT_EQ(RunJob(job, "1"), 0U);
  EXPECT_NE(sim::StderrText().find("\r\nProgram = C:\\WINDOWS\\cmd.exe\r\nArgs = /c prog \r\n"),
            std::string::npos)
      << sim::StderrText();
}

TEST_F(ShellModeTest, ComspecIsTheFirstEntryOfThatNameInAnyCase) {
  const struct {
    const char* name;
    std::vector<std::string> environment;
    std::string interpreter;
  } cases[] = {
      {"mixed case name", {"PATH=C:\\BIN", "ComSpec=C:\\ALT\\sh.exe"}, "C:\\ALT\\sh.exe"},
      {"first match wins",
       {"comspec=C:\\ALT\\sh.exe", "COMSPEC=C:\\WINDOWS\\cmd.exe"},
       "C:\\ALT\\sh.exe"},
      {"longer and shorter names do not match",
       {"COMSPECX=C:\\ALT\\sh.exe", "COMSPE=C:\\ALT\\sh.exe", "COMSPEC=C:\\WINDOWS\\cmd.exe"},
       kShell},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddDir("C:\\ALT");
    sim::AddProgram("C:\\ALT\\sh.exe", 4);
    sim::SetEnvironment(c.environment);
    Job job;
    job.args = "x";
    job.useShell = 1;
    EXPECT_EQ(RunJob(job), 0U);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].applicationName, c.interpreter);
    EXPECT_EQ(sim::Launches()[0].commandLine, c.interpreter + " /c prog x");
  }
}

TEST_F(ShellModeTest, RefusalsBeforeAnyLaunch) {
  const std::vector<std::string> noComspec = {"PATH=C:\\BIN", "COMSPECX=C:\\WINDOWS\\cmd.exe",
                                              "COMSPE=C:\\WINDOWS\\cmd.exe"};
  const std::vector<std::string> withComspec = {"PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe"};
  const struct {
    const char* name;
    std::vector<std::string> environment;
    std::string args;
    std::int32_t status;
  } cases[] = {
      {"no COMSPEC", noComspec, "", 0x01010001},
      // The lookup comes before the length test.
      {"no COMSPEC and 200 characters of arguments", noComspec, std::string(200, 'a'), 0x01010001},
      {"128 characters of arguments", withComspec, std::string(128, 'a'), 0x01030001},
      {"200 characters of arguments", withComspec, std::string(200, 'a'), 0x01030001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetEnvironment(c.environment);
    Job job;
    job.args = c.args;
    job.useShell = 1;
    ExpectRefused(RunJob(job), c.status);
  }
}

TEST_F(ShellModeTest, ArgumentLimitBelongsToShellModeAlone) {
  const struct {
    const char* name;
    std::int32_t flag;
    std::string args;
    std::string commandLine;
  } cases[] = {
      {"127 characters through the interpreter", 1, std::string(127, 'a'),
       std::string(kShell) + " /c prog " + std::string(127, 'a')},
      {"200 characters launched directly", 0, std::string(200, 'a'),
       "prog " + std::string(200, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Job job;
    job.args = c.args;
    job.useShell = c.flag;
    EXPECT_EQ(RunJob(job), 0U);
    EXPECT_EQ(+StoredRecord()->lErrorCode, 0);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].commandLine, c.commandLine);
  }
}

// "/c " + program + " " + arguments must fit 255 characters; it is never cut.
TEST_F(ShellModeTest, ComposedCommandOfAtMost255Characters) {
  const struct {
    std::size_t programLength;
    std::size_t argsLength;
    bool accepted;
  } cases[] = {
      {124, 127, true}, {125, 127, false}, {251, 0, true}, {252, 0, false}, {255, 127, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.programLength << " + " << c.argsLength);
    SetUp();
    Job job;
    job.execProg = std::string(c.programLength, 'p');
    job.args = std::string(c.argsLength, 'a');
    job.useShell = 1;
    nt::u32 exitCode = RunJob(job);
    if (c.accepted) {
      EXPECT_EQ(exitCode, 0U);
      EXPECT_EQ(+StoredRecord()->lExitCode, 4);
      ASSERT_EQ(sim::Launches().size(), 1U);
      std::string command = "/c " + job.execProg + " " + job.args;
      EXPECT_EQ(command.size(), 255U);
      EXPECT_EQ(sim::Launches()[0].commandLine, std::string(kShell) + " " + command);
    } else {
      ExpectRefused(exitCode, 0x01030001);
    }
  }
}

TEST_F(ShellModeTest, InterpreterPathIsAtMost254CharactersOfComspec) {
  // A 254-character path whose last component carries its extension, so the
  // cut text is started as it stands.
  const std::string cut = "C:\\SH\\" + std::string(254 - 6 - 4, 'x') + ".exe";
  ASSERT_EQ(cut.size(), 254U);
  const struct {
    const char* name;
    std::string comspec;
  } cases[] = {
      {"254 characters used whole", cut},
      {"255 characters", cut + "y"},
      {"300 characters", cut + std::string(46, 'y')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddProgram(cut, 6);
    sim::SetEnvironment({"PATH=C:\\BIN", "COMSPEC=" + c.comspec});
    Job job;
    job.useShell = 1;
    EXPECT_EQ(RunJob(job), 0U);
    EXPECT_EQ(+StoredRecord()->lExitCode, 6);
    auto probes = sim::CallsOf({sim::Op::GetFileAttributesA});
    ASSERT_EQ(probes.size(), 1U);
    EXPECT_EQ(probes[0].arg, cut);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].applicationName, cut);
    EXPECT_EQ(sim::Launches()[0].commandLine, cut + " /c prog ");
  }
}

TEST_F(ShellModeTest, RefusalAfterADirectorySwitchStoresFromTheAgentsDirectory) {
  const struct {
    const char* name;
    bool comspec;
    std::string program;
    std::string args;
    std::int32_t status;
  } cases[] = {
      {"no COMSPEC", false, "prog", "", 0x01010001},
      {"arguments over 127 characters", true, "prog", std::string(128, 'a'), 0x01030001},
      {"composed command over 255 characters", true, std::string(252, 'p'), "", 0x01030001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddDrive('D');
    sim::AddDir("D:\\WORK");
    if (!c.comspec) sim::SetEnvironment({"PATH=C:\\BIN"});
    Job job;
    job.execProg = c.program;
    job.args = c.args;
    job.workDir = "D:\\WORK";
    job.useShell = 1;
    // A relative record path names the host's file in the agent's directory.
    sim::SetCurrentDir(kJobDir);
    sim::SetCommandLine("ntagent.exe job.rec");
    ExpectRefused(RunJob(job), c.status);
    // The termination goes back before it writes the record.
    EXPECT_EQ(sim::CallsOf({sim::Op::SetCurrentDirectoryA}),
              (std::vector<sim::Call>{{sim::Op::SetCurrentDirectoryA, "D:\\WORK"},
                                      {sim::Op::SetCurrentDirectoryA, kJobDir}}));
    EXPECT_FALSE(sim::Exists("D:\\WORK\\job.rec"));
  }
}

}  // namespace
}  // namespace agent_test
