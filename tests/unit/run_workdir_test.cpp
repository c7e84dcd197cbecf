// Whole runs of jobs that name a working directory: the switch there and back,
// the per-drive directory variables it records, and the switches that fail.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "agent_run.h"
#include "rt/environment.h"

namespace agent_test {
namespace {

const std::vector<std::string> kStartEnvironment = {"PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe"};

std::vector<std::string> TableEntries() {
  std::vector<std::string> entries;
  for (char* const* entry = rt::EnvironmentEntries(); *entry != nullptr; ++entry) {
    entries.emplace_back(*entry);
  }
  return entries;
}

bool Holds(const std::vector<std::string>& entries, const std::string& entry) {
  return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

// Entries whose name is "=" and a letter and ":", in order.
std::vector<std::string> DriveEntries(const std::vector<std::string>& entries) {
  std::vector<std::string> drives;
  for (const std::string& entry : entries) {
    if (entry.size() >= 3 && entry[0] == '=' && entry[2] == ':') drives.push_back(entry);
  }
  return drives;
}

std::vector<std::string> ArgsOf(sim::Op op) {
  std::vector<std::string> args;
  for (const sim::Call& call : sim::CallsOf({op})) args.push_back(call.arg);
  return args;
}

// The ordinal, counted from the start of the run, of the k-th call of `op`
// after the first call of `marker`; 0 when there is none.
int NthCallAfterFirst(sim::Op marker, sim::Op op, int k) {
  bool seen = false;
  int ordinal = 0;
  int after = 0;
  for (const sim::Call& call : sim::Calls()) {
    if (call.op == op) {
      ++ordinal;
      if (seen && ++after == k) return ordinal;
    }
    if (call.op == marker) seen = true;
  }
  return 0;
}

// A directory path of exactly `length` characters on C:.
std::string DirOfLength(std::size_t length) {
  std::string dir = "C:\\LONG";
  while (length - dir.size() > 51) dir += "\\" + std::string(50, 'd');
  dir += "\\" + std::string(length - dir.size() - 1, 'e');
  return dir;
}

// The agent in C:\AGENT, a second drive with D:\WORK, and a program in each.
class WorkDirSwitchTest : public AgentRunTest {
 protected:
  void SetUp() override {
    AgentRunTest::SetUp();
    sim::AddDrive('D');
    sim::AddDir("D:\\WORK");
    sim::AddProgram("C:\\AGENT\\prog.exe", 1);
    sim::AddProgram("D:\\WORK\\prog.exe", 6);
  }

  static Job WorkJob(const std::string& workDir) {
    Job job;
    job.workDir = workDir;
    return job;
  }

  // Debug mode with standard input at its end, so every prompt returns.
  nt::u32 RunJobInDebugMode(const Job& job) { return RunJob(job, "1"); }

  // A switch refused: the record keeps the started marker and the host's exit
  // code, the flag file is gone, nothing ran.
  static void ExpectWorkDirFailure(nt::u32 exitCode) {
    EXPECT_EQ(exitCode, 516U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, AGENT_STARTED);
    EXPECT_EQ(+record->lExitCode, 0x55);
    EXPECT_FALSE(sim::Exists(kFlagPath));
  }

  // The failure explained in debug mode: the error text, then code and detail.
  static void ExpectExplained(const std::string& errorText, const std::string& detailHex) {
    const std::string& text = sim::StderrText();
    const std::string osError = "OS Error: " + errorText + "\r\n";
    const std::string agentError = "Agent Error : #204," + detailHex + "\r\n";
    std::size_t osAt = text.find(osError);
    std::size_t agentAt = text.find(agentError);
    EXPECT_NE(osAt, std::string::npos) << text;
    EXPECT_NE(agentAt, std::string::npos) << text;
    EXPECT_LT(osAt, agentAt);
  }
};

TEST_F(WorkDirSwitchTest, EmptyWorkDirLeavesDirectoryAndEnvironmentAlone) {
  EXPECT_EQ(RunJob(Job{}), 0U);
  EXPECT_EQ(+StoredRecord()->lExitCode, 1);
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(sim::Launches()[0].currentDirectory, kAgentDir);
  EXPECT_EQ(sim::Launches()[0].environment, kStartEnvironment);
  EXPECT_EQ(sim::CallCount(sim::Op::GetCurrentDirectoryA), 0);
  EXPECT_EQ(sim::CallCount(sim::Op::SetCurrentDirectoryA), 0);
  EXPECT_EQ(sim::CallCount(sim::Op::SetEnvironmentVariableA), 0);
  EXPECT_EQ(TableEntries(), kStartEnvironment);
  EXPECT_EQ(sim::Environment(), kStartEnvironment);
}

TEST_F(WorkDirSwitchTest, SwitchToAnotherDriveAndBackRecordsBothDrives) {
  EXPECT_EQ(RunJob(WorkJob("D:\\WORK")), 0U);
  auto record = StoredRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ(+record->lErrorCode, 0);
  EXPECT_EQ(+record->lExitCode, 6);
  EXPECT_FALSE(sim::Exists(kFlagPath));

  ASSERT_EQ(sim::Launches().size(), 1U);
  const sim::Launch& launch = sim::Launches()[0];
  EXPECT_EQ(launch.resolvedPath, "D:\\WORK\\prog.exe");
  EXPECT_EQ(launch.currentDirectory, "D:\\WORK");
  // The program inherits the new drive's variable; the agent's own drive has
  // none yet.
  EXPECT_EQ(DriveEntries(launch.environment), (std::vector<std::string>{"=D:=D:\\WORK"}));

  EXPECT_EQ(sim::CurrentDir(), kAgentDir);
  // The directory is saved before the switch, then restored.
  auto calls = sim::CallsOf({sim::Op::GetCurrentDirectoryA, sim::Op::SetCurrentDirectoryA});
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].op, sim::Op::GetCurrentDirectoryA);
  EXPECT_EQ(ArgsOf(sim::Op::SetCurrentDirectoryA),
            (std::vector<std::string>{"D:\\WORK", "C:\\AGENT"}));
  EXPECT_EQ(ArgsOf(sim::Op::SetEnvironmentVariableA),
            (std::vector<std::string>{"=D:=D:\\WORK", "=C:=C:\\AGENT"}));
  // Both variables stay: the table appends them in switch order.
  EXPECT_EQ(TableEntries(),
            (std::vector<std::string>{"PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe",
                                      "=D:=D:\\WORK", "=C:=C:\\AGENT"}));
  EXPECT_EQ(DriveEntries(sim::Environment()),
            (std::vector<std::string>{"=C:=C:\\AGENT", "=D:=D:\\WORK"}));
}

// The variable holds the directory as the platform reports it after the
// switch, and its drive letter as reported.
TEST_F(WorkDirSwitchTest, DriveVariableHoldsTheReportedDirectory) {
  const struct {
    const char* workDir;
    const char* variable;
  } cases[] = {
      {"D:\\WORK", "=D:=D:\\WORK"},
      {"d:/work/", "=d:=d:\\work"},
      {"D:\\WORK\\..\\.\\WORK", "=D:=D:\\WORK"},
      {"D:\\", "=D:=D:\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.workDir);
    SetUp();
    sim::AddProgram("D:\\prog.exe", 6);
    EXPECT_EQ(RunJob(WorkJob(c.workDir)), 0U);
    EXPECT_EQ(+StoredRecord()->lExitCode, 6);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(DriveEntries(sim::Launches()[0].environment), (std::vector<std::string>{c.variable}));
    EXPECT_TRUE(Holds(TableEntries(), c.variable));
    EXPECT_TRUE(Holds(TableEntries(), "=C:=C:\\AGENT"));
    EXPECT_EQ(sim::CurrentDir(), kAgentDir);
  }
}

// On the agent's own drive the switch back replaces the variable the switch
// there set.
TEST_F(WorkDirSwitchTest, SwitchOnTheAgentsDrive) {
  const struct {
    const char* workDir;
    const char* runsIn;
  } cases[] = {
      {"work", "C:\\AGENT\\work"},    // relative to the agent's directory
      {"C:\\AGENT", "C:\\AGENT"},     // already current: still switched
      {"C:work", "C:\\AGENT\\work"},  // drive-relative
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.workDir);
    SetUp();
    sim::AddDir("C:\\AGENT\\work");
    sim::AddProgram("C:\\AGENT\\work\\prog.exe", 7);
    EXPECT_EQ(RunJob(WorkJob(c.workDir)), 0U);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].currentDirectory, c.runsIn);
    EXPECT_EQ(DriveEntries(sim::Launches()[0].environment),
              (std::vector<std::string>{std::string("=C:=") + c.runsIn}));
    // Back to the absolute directory that was saved.
    EXPECT_EQ(ArgsOf(sim::Op::SetCurrentDirectoryA),
              (std::vector<std::string>{c.workDir, "C:\\AGENT"}));
    EXPECT_EQ(sim::CurrentDir(), kAgentDir);
    EXPECT_EQ(ArgsOf(sim::Op::SetEnvironmentVariableA),
              (std::vector<std::string>{std::string("=C:=") + c.runsIn, "=C:=C:\\AGENT"}));
    EXPECT_EQ(TableEntries(),
              (std::vector<std::string>{"PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe",
                                        "=C:=C:\\AGENT"}));
    EXPECT_EQ(DriveEntries(sim::Environment()), (std::vector<std::string>{"=C:=C:\\AGENT"}));
  }
}

TEST_F(WorkDirSwitchTest, ExistingDriveEntryIsReplacedInItsPosition) {
  sim::SetEnvironment({"PATH=C:\\BIN", "=d:=d:\\OLD", "COMSPEC=C:\\WINDOWS\\cmd.exe"});
  EXPECT_EQ(RunJob(WorkJob("D:\\WORK")), 0U);
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(DriveEntries(sim::Launches()[0].environment),
            (std::vector<std::string>{"=D:=D:\\WORK"}));
  EXPECT_EQ(TableEntries(),
            (std::vector<std::string>{"PATH=C:\\BIN", "=D:=D:\\WORK",
                                      "COMSPEC=C:\\WINDOWS\\cmd.exe", "=C:=C:\\AGENT"}));
  EXPECT_EQ(DriveEntries(sim::Environment()),
            (std::vector<std::string>{"=C:=C:\\AGENT", "=D:=D:\\WORK"}));
}

TEST_F(WorkDirSwitchTest, NetworkShareRunsThereWithoutADriveVariable) {
  sim::AddDir("\\\\srv\\share\\dir");
  sim::AddProgram("\\\\srv\\share\\dir\\prog.exe", 9);
  EXPECT_EQ(RunJob(WorkJob("\\\\srv\\share\\dir")), 0U);
  EXPECT_EQ(+StoredRecord()->lExitCode, 9);
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(sim::Launches()[0].currentDirectory, "\\\\srv\\share\\dir");
  EXPECT_EQ(sim::Launches()[0].resolvedPath, "\\\\srv\\share\\dir\\prog.exe");
  EXPECT_EQ(sim::Launches()[0].environment, kStartEnvironment);
  EXPECT_EQ(ArgsOf(sim::Op::SetEnvironmentVariableA), (std::vector<std::string>{"=C:=C:\\AGENT"}));
  EXPECT_EQ(TableEntries(), (std::vector<std::string>{
                                "PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe", "=C:=C:\\AGENT"}));
  EXPECT_EQ(sim::CurrentDir(), kAgentDir);
}

TEST_F(WorkDirSwitchTest, BareProgramNameIsFoundInTheNewDirectoryFirst) {
  sim::AddProgram("C:\\BIN\\prog.exe", 3);
  EXPECT_EQ(RunJob(WorkJob("D:\\WORK")), 0U);
  EXPECT_EQ(+StoredRecord()->lExitCode, 6);
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(sim::Launches()[0].applicationName, ".\\prog.exe");
  EXPECT_EQ(sim::Launches()[0].resolvedPath, "D:\\WORK\\prog.exe");
}

TEST_F(WorkDirSwitchTest, BlankWorkDirIsStillADirectory) {
  RunJob(WorkJob("   "));
  auto switches = ArgsOf(sim::Op::SetCurrentDirectoryA);
  ASSERT_FALSE(switches.empty());
  EXPECT_EQ(switches[0], "   ");
}

TEST_F(WorkDirSwitchTest, FailedSwitchEndsTheJobBeforeTheLaunch) {
  const struct {
    const char* name;
    std::string workDir;
    std::function<void()> setUp;
    const char* errorText;
    const char* detailHex;
  } cases[] = {
      {"directory missing", "C:\\NOPE", [] {}, "No such file or directory", "2"},
      {"parent missing", "C:\\NOPE\\SUB", [] {}, "No such file or directory", "2"},
      {"drive missing", "Q:\\WORK", [] {}, "No such file or directory", "2"},
      {"a file, not a directory", kRecordPath, [] {}, "Invalid argument", "16"},
      {"access denied", "D:\\WORK",
       [] { sim::FailCall(sim::Op::SetCurrentDirectoryA, 1, nt::kErrorAccessDenied); },
       "Permission denied", "D"},
      {"drive not ready", "D:\\WORK", [] { sim::SetDriveReady('D', false); }, "Permission denied",
       "D"},
      {"no terminator in the field", std::string(256, 'W'), [] {}, "Filename too long", "26"},
  };
  for (const auto& c : cases) {
    for (bool debug : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (debug ? ", debug mode" : ""));
      SetUp();
      c.setUp();
      Job job = WorkJob(c.workDir);
      ExpectWorkDirFailure(debug ? RunJobInDebugMode(job) : RunJob(job));
      EXPECT_TRUE(sim::Launches().empty());
      EXPECT_EQ(sim::CallCount(sim::Op::GetFileAttributesA), 0);
      EXPECT_LE(sim::CallCount(sim::Op::SetCurrentDirectoryA), 1);
      EXPECT_EQ(sim::CallCount(sim::Op::SetEnvironmentVariableA), 0);
      EXPECT_EQ(sim::CurrentDir(), kAgentDir);
      if (debug) ExpectExplained(c.errorText, c.detailHex);
    }
  }
  // A text with no terminator is never handed to the platform.
  for (const sim::Call& call : sim::Calls()) {
    EXPECT_EQ(call.arg.find(std::string(256, 'W')), std::string::npos) << call;
  }
}

TEST_F(WorkDirSwitchTest, FailedSwitchBackLosesTheOutcome) {
  const struct {
    const char* name;
    std::function<void()> setUp;
    const char* errorText;
    const char* detailHex;
  } cases[] = {
      {"agent directory removed while the program ran",
       [] {
         sim::AddProgram("D:\\WORK\\prog.exe", [](const sim::Launch&) {
           sim::RemovePath(kAgentDir);
           return 7U;
         });
       },
       "No such file or directory", "2"},
      {"access denied on the way back",
       [] {
         sim::AddProgram("D:\\WORK\\prog.exe", 7);
         sim::FailCall(sim::Op::SetCurrentDirectoryA, 2, nt::kErrorAccessDenied);
       },
       "Permission denied", "D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.setUp();
    ExpectWorkDirFailure(RunJobInDebugMode(WorkJob("D:\\WORK")));
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].currentDirectory, "D:\\WORK");
    EXPECT_EQ(sim::CallCount(sim::Op::SetCurrentDirectoryA), 2);
    EXPECT_EQ(sim::CurrentDir(), "D:\\WORK");
    ExpectExplained(c.errorText, c.detailHex);
    // No outcome echo: the job did not finish.
    EXPECT_EQ(sim::StderrText().find("After Exec"), std::string::npos);
  }
}

// Recording the drive variable may fail at each sub-step; the switch still
// counts, the program runs and the job succeeds. What was taken is released.
TEST_F(WorkDirSwitchTest, DriveVariableFailuresAreIgnored) {
  // A reference run locates each sub-step's call inside the first switch.
  ASSERT_EQ(RunJob(WorkJob("D:\\WORK")), 0U);
  const sim::Op kSwitch = sim::Op::SetCurrentDirectoryA;
  const int sizeQuery = NthCallAfterFirst(kSwitch, sim::Op::GetCurrentDirectoryA, 1);
  const int read = NthCallAfterFirst(kSwitch, sim::Op::GetCurrentDirectoryA, 2);
  const int entryAlloc = NthCallAfterFirst(kSwitch, sim::Op::HeapAlloc, 1);
  const int tableAlloc = NthCallAfterFirst(kSwitch, sim::Op::HeapAlloc, 2);
  const int nameAlloc = NthCallAfterFirst(kSwitch, sim::Op::HeapAlloc, 3);
  const int setVariable = NthCallAfterFirst(kSwitch, sim::Op::SetEnvironmentVariableA, 1);
  // The size is asked with no buffer, then read with exactly that size into a
  // text 5 bytes longer ("=D:=" and a spare byte).
  auto directoryCalls = ArgsOf(sim::Op::GetCurrentDirectoryA);
  ASSERT_GE(sizeQuery, 1);
  ASSERT_GE(read, 1);
  EXPECT_EQ(directoryCalls[static_cast<std::size_t>(sizeQuery - 1)], "0");
  EXPECT_EQ(directoryCalls[static_cast<std::size_t>(read - 1)], "8");
  ASSERT_GE(entryAlloc, 1);
  EXPECT_EQ(ArgsOf(sim::Op::HeapAlloc)[static_cast<std::size_t>(entryAlloc - 1)], "13");
  ASSERT_EQ(setVariable, 1);
  const int referenceBlocks = static_cast<int>(sim::HeapStats().outstandingBlocks);

  const struct {
    const char* name;
    sim::Op op;
    int nth;
    nt::u32 error;
    bool inTable;
    bool inProcess;
  } cases[] = {
      {"size query fails", sim::Op::GetCurrentDirectoryA, sizeQuery, nt::kErrorAccessDenied, false,
       false},
      {"read fails", sim::Op::GetCurrentDirectoryA, read, nt::kErrorAccessDenied, false, false},
      {"no memory for the entry", sim::Op::HeapAlloc, entryAlloc, nt::kErrorNotEnoughMemory, false,
       false},
      {"table cannot grow", sim::Op::HeapAlloc, tableAlloc, nt::kErrorNotEnoughMemory, false,
       false},
      {"no memory for the name", sim::Op::HeapAlloc, nameAlloc, nt::kErrorNotEnoughMemory, true,
       false},
      {"process variable refused", sim::Op::SetEnvironmentVariableA, setVariable,
       nt::kErrorNotEnoughMemory, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GE(c.nth, 1);
    SetUp();
    sim::FailCall(c.op, c.nth, c.error);
    EXPECT_EQ(RunJob(WorkJob("D:\\WORK")), 0U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, 0);
    EXPECT_EQ(+record->lExitCode, 6);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].currentDirectory, "D:\\WORK");
    EXPECT_EQ(Holds(sim::Launches()[0].environment, "=D:=D:\\WORK"), c.inProcess);
    EXPECT_EQ(sim::CurrentDir(), kAgentDir);
    EXPECT_EQ(Holds(TableEntries(), "=D:=D:\\WORK"), c.inTable);
    EXPECT_EQ(Holds(sim::Environment(), "=D:=D:\\WORK"), c.inProcess);
    // The switch back records its drive as usual.
    EXPECT_TRUE(Holds(TableEntries(), "=C:=C:\\AGENT"));
    EXPECT_TRUE(Holds(sim::Environment(), "=C:=C:\\AGENT"));
    // An entry the table did not take is released.
    EXPECT_EQ(static_cast<int>(sim::HeapStats().outstandingBlocks),
              referenceBlocks - (c.inTable ? 0 : 1));
  }
}

TEST_F(WorkDirSwitchTest, SavedDirectoryMustFitItsBuffer) {
  const struct {
    const char* name;
    std::size_t length;  // of the agent's directory; 0: C:\AGENT
    std::function<void()> setUp;
    const char* errorText;  // nullptr: the job runs
    const char* detailHex;
  } cases[] = {
      {"254 characters", 254, [] {}, nullptr, ""},
      {"255 characters", 255, [] {}, "Result too large", "22"},
      {"259 characters", 259, [] {}, "Result too large", "22"},
      {"directory cannot be read", 0,
       [] { sim::FailCall(sim::Op::GetCurrentDirectoryA, 1, nt::kErrorAccessDenied); },
       "Permission denied", "D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    std::string agentDir = kAgentDir;
    if (c.length != 0) {
      agentDir = DirOfLength(c.length);
      ASSERT_EQ(agentDir.size(), c.length);
      sim::AddDir(agentDir);
      sim::SetCurrentDir(agentDir);
    }
    c.setUp();
    nt::u32 exitCode = RunJobInDebugMode(WorkJob("D:\\WORK"));
    EXPECT_EQ(sim::CurrentDir(), agentDir);
    if (c.errorText == nullptr) {
      EXPECT_EQ(exitCode, 0U);
      EXPECT_EQ(+StoredRecord()->lExitCode, 6);
      ASSERT_EQ(sim::Launches().size(), 1U);
      EXPECT_EQ(sim::Launches()[0].currentDirectory, "D:\\WORK");
      EXPECT_EQ(ArgsOf(sim::Op::SetCurrentDirectoryA),
                (std::vector<std::string>{"D:\\WORK", agentDir}));
      EXPECT_TRUE(Holds(TableEntries(), "=C:=" + agentDir));
    } else {
      // Ended before anything was switched or launched.
      ExpectWorkDirFailure(exitCode);
      EXPECT_EQ(sim::CallCount(sim::Op::SetCurrentDirectoryA), 0);
      EXPECT_TRUE(sim::Launches().empty());
      ExpectExplained(c.errorText, c.detailHex);
    }
  }
}

}  // namespace
}  // namespace agent_test
