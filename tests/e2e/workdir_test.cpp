// Jobs that name a working directory: where the program runs, the per-drive
// directory variable it inherits, and a directory that cannot be entered.
#include <string>

#include "e2e_support.h"

namespace e2e {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

class WorkDirTest : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    drive_ = std::string(1, folder_[0]) + ":";
    probeEnv_ = "=" + drive_;
  }
  // The agent starts with no per-drive variable for the job folder's drive.
  RunOptions Options() const {
    RunOptions options;
    options.environment = {"=" + drive_};
    options.currentDirectory = folder_ + "base";
    return options;
  }
  std::string drive_;
};

TEST_F(WorkDirTest, RelativeDirectoryIsResolvedAgainstTheAgentsOwn) {
  MakeDir(folder_ + "base");
  MakeDir(folder_ + "base\\work");
  JobRecord record = ProbeRecord();
  host::SetField(record.szWorkDir, "work");
  WriteJob(record);
  probeExit_ = "2";
  const RunResult run = Run(Options());
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_EQ(run.outcome.record.lExitCode, 2);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("cwd"), folder_ + "base\\work"))
      << run.probes[0].Get("cwd");
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("env:=" + drive_), folder_ + "base\\work"))
      << run.probes[0].Get("env:=" + drive_);
}

TEST_F(WorkDirTest, EmptyDirectoryMeansNoSwitchAndNoVariable) {
  MakeDir(folder_ + "base");
  WriteJob(ProbeRecord());
  const RunResult run = Run(Options());
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("cwd"), folder_ + "base"));
  EXPECT_TRUE(run.probes[0].Has("noenv:=" + drive_)) << Describe(run.probes);
}

TEST_F(WorkDirTest, BareProgramNameIsFoundInTheNewDirectoryFirst) {
  MakeDir(folder_ + "base");
  MakeDir(folder_ + "wd");
  CopyProbe(folder_ + "base\\sprog.exe");
  CopyProbe(folder_ + "wd\\sprog.exe");
  JobRecord record = ProbeRecord();
  host::SetField(record.szExecProg, "sprog");
  host::SetField(record.szWorkDir, folder_ + "wd");
  WriteJob(record);
  const RunResult run = Run(Options());
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("module"), folder_ + "wd\\sprog.exe"))
      << run.probes[0].Get("module");
}

TEST_F(WorkDirTest, MissingDirectoryEndsWith516AndNothingRuns) {
  MakeDir(folder_ + "base");
  JobRecord record = ProbeRecord();
  host::SetField(record.szWorkDir, folder_ + "no-such-dir");
  record.lExitCode = 77;
  WriteJob(record);
  const RunResult run = Run(Options());
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_WORKDIR);
  EXPECT_EQ(run.outcome.record.lErrorCode, AGENT_STARTED);
  EXPECT_EQ(run.outcome.record.lExitCode, 77);
  EXPECT_TRUE(run.outcome.flagDeleted);
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
}

// The set-up test maps a drive letter of its own to a folder (a dosdevices
// link); a job there sees that drive's variable set to the full directory.
TEST_F(WorkDirTest, DirectoryOnASecondDriveSetsThatDrivesVariable) {
  ASSERT_FALSE(Paths().secondDriveFile.empty()) << "no --second-drive-file given";
  const std::string letter = ReadFile(Paths().secondDriveFile).substr(0, 1);
  ASSERT_EQ(letter.size(), 1U) << "no drive letter in " << Paths().secondDriveFile;
  const std::string root = letter + ":\\";
  ASSERT_TRUE(host::PathExists(root)) << root << " is not mapped";
  const std::string dir = root + "wd-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  MakeDir(folder_ + "base");

  JobRecord record = ProbeRecord();
  host::SetField(record.szWorkDir, dir);
  WriteJob(record);
  probeEnv_ = "=" + letter + ":,=" + drive_;
  RunOptions options = Options();
  options.environment.push_back("=" + letter + ":");
  const RunResult run = Run(options);
  RemoveDirectoryA(dir.c_str());

  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("cwd"), dir)) << run.probes[0].Get("cwd");
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("env:=" + letter + ":"), dir))
      << Describe(run.probes);
  // The agent's own drive was not switched yet when the program started.
  EXPECT_TRUE(run.probes[0].Has("noenv:=" + drive_)) << Describe(run.probes);
}

}  // namespace
}  // namespace e2e
