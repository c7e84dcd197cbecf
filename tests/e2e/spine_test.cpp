// The agent's whole run against real files and processes: a job that runs,
// the record and flag-file protocol, validation, launch failures and the
// program search.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr std::int32_t kHostStatus = 0x12345678;
constexpr std::int32_t kHostExitCode = 0x0BADF00D;
constexpr std::int32_t kNotFound = PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_NOT_FOUND);

// The record as the host wrote it, with the two fields the agent owns set.
std::string WithOutcome(JobRecord record, std::int32_t status, std::int32_t exitCode) {
  record.lErrorCode = status;
  record.lExitCode = exitCode;
  return host::RecordBytes(record);
}

// Byte comparison that names the first field that differs.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "sizes " << expected.size() << " and " << actual.size() << ", first difference at "
          << at;
  JobRecord want{};
  JobRecord got{};
  if (host::RecordFromBytes(expected, &want) && host::RecordFromBytes(actual, &got)) {
    failure << "\n  expected " << DescribeRecord(want) << "\n  actual   " << DescribeRecord(got);
  }
  return failure;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string AfterBanner(const RunResult& run) {
  std::string rest;
  EXPECT_TRUE(SplitBanner(run.stderrText, &rest)) << "stderr: [" << run.stderrText << "]";
  return rest;
}

using SpineTest = JobTest;

TEST_F(SpineTest, JobThatRunsReportsItsExitCodeAndCompletesRecordBeforeFlagGoes) {
  JobRecord record = ProbeRecord("one two");
  record.lErrorCode = kHostStatus;
  record.lExitCode = kHostExitCode;
  // Bytes after a field's terminator belong to the host and come back as written.
  std::memcpy(record.szArgs + 8, "host-bytes", 10);
  std::memcpy(record.szWorkDir + 1, "unused", 6);
  WriteJob(record);
  probeExit_ = "3";
  probeFile_ = record_;  // the probe shows the record as it stands mid-job

  RunOptions options;
  options.watchFolder = true;
  const RunResult run = Run(options);

  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(run.outcome.flagDeleted);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, 3), run.outcome.recordAtEnd));
  // Read at the first moment the flag file was seen gone: already complete.
  ASSERT_TRUE(run.outcome.snapshotTaken);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, 3), run.outcome.recordAtFlagGone));

  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  // While the program ran, the record said the agent had started it.
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_STARTED, kHostExitCode),
                        FromHex(run.probes[0].Get("file_bytes"))));

  // The folder saw no change to the record after the flag file went.
  std::size_t removed = run.folderEvents.size();
  for (std::size_t i = 0; i < run.folderEvents.size(); ++i) {
    if (run.folderEvents[i] == "removed:job.flg") removed = i;
  }
  std::string events;
  for (const std::string& e : run.folderEvents) events += e + " ";
  ASSERT_LT(removed, run.folderEvents.size()) << "no flag removal seen: " << events;
  for (std::size_t i = removed + 1; i < run.folderEvents.size(); ++i) {
    EXPECT_NE(run.folderEvents[i], "modified:job.rec")
        << "record changed after flag removal: " << events;
  }
  std::size_t writesBefore = 0;
  for (std::size_t i = 0; i < removed; ++i) {
    if (run.folderEvents[i] == "modified:job.rec") ++writesBefore;
  }
  EXPECT_GT(writesBefore, 0U) << "no record write seen before the flag removal: " << events;

  EXPECT_EQ(AfterBanner(run), "");
  EXPECT_EQ(run.stdoutText, "");
}

TEST_F(SpineTest, BannerIsFourCrLfLinesOnStandardError) {
  WriteJob(ProbeRecord());
  const RunResult run = Run();
  const std::string head = kBannerHead;
  ASSERT_GE(run.stderrText.size(), head.size());
  EXPECT_EQ(run.stderrText.substr(0, head.size()), head);
  std::string rest;
  EXPECT_TRUE(SplitBanner(run.stderrText, &rest))
      << "expected head, one credits line, a blank line; got [" << run.stderrText << "]";
  // Every line break is CR LF: no bare LF anywhere.
  for (std::size_t i = 0; i < run.stderrText.size(); ++i) {
    if (run.stderrText[i] == '\n') {
      EXPECT_TRUE(i > 0 && run.stderrText[i - 1] == '\r') << "bare LF at " << i;
    }
  }
  EXPECT_EQ(rest, "");
  EXPECT_EQ(run.stdoutText, "");
}

TEST_F(SpineTest, ExitCodeWithAllBitsSetStillCountsAsRun) {
  JobRecord record = ProbeRecord();
  WriteJob(record);
  probeExit_ = "0xFFFFFFFF";
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(run.outcome.flagDeleted);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, -1), run.outcome.recordAtEnd));
  EXPECT_EQ(run.probes.size(), 1U) << Describe(run.probes);
}

TEST_F(SpineTest, RecordPathWithBlanksAndIgnoredExtraArguments) {
  MakeDir(folder_ + "with blank");
  record_ = folder_ + "with blank\\the job.rec";
  JobRecord record = ProbeRecord();
  WriteJob(record);
  probeExit_ = "7";
  RunOptions options;
  options.extraArguments = {"0", "third"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, 7), run.outcome.recordAtEnd));
  EXPECT_EQ(AfterBanner(run), "") << "a second argument other than 1 is no debug switch";
}

// --- The command line the program receives -------------------------------

struct CommandLineCase {
  const char* name;
  std::string args;
};

class CommandLineTest : public JobTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, IsProgramTextThenOneBlankAndArgumentTextAsWritten) {
  const std::string& args = GetParam().args;
  WriteJob(ProbeRecord(args));
  const RunResult run = Run();
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  const std::string expected = args.empty() ? Paths().probe : Paths().probe + " " + args;
  EXPECT_EQ(run.probes[0].Get("cmdline"), expected);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("module"), Paths().probe))
      << run.probes[0].Get("module");
}

INSTANTIATE_TEST_SUITE_P(Spine, CommandLineTest,
                         ::testing::Values(CommandLineCase{"Empty", ""},
                                           CommandLineCase{"One", "a"},
                                           CommandLineCase{"BlanksKept", "  spaced   out  "},
                                           CommandLineCase{"QuotesAndBackslashes",
                                                           "\"quoted arg\" back\\slash \\\"q\\\\"},
                                           CommandLineCase{"Longest", std::string(255, 'x')}),
                         CaseName());

TEST_F(SpineTest, ProgramTextWithBlanksReachesTheProgramUnquoted) {
  MakeDir(folder_ + "my dir");
  const std::string program = folder_ + "my dir\\probe copy.exe";
  CopyProbe(program);
  JobRecord record = ProbeRecord("x");
  host::SetField(record.szExecProg, program);
  WriteJob(record);
  const RunResult run = Run();
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("cmdline"), program + " x");
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
}

// --- Launch failures -----------------------------------------------------

struct LaunchFailureCase {
  const char* name;
  std::string program;  // "<f>" stands for the job folder, "<bad>" the bad-format file
  std::int32_t status;
};

class LaunchFailureTest : public JobTest,
                          public ::testing::WithParamInterface<LaunchFailureCase> {};

TEST_P(LaunchFailureTest, EndsWithLaunchStatusAndNothingRuns) {
  std::string program = GetParam().program;
  if (program.compare(0, 3, "<f>") == 0) program = folder_ + program.substr(3);
  if (program == "<bad>") program = Paths().badformat;
  MakeDir(folder_ + "adir.exe");
  JobRecord record = ProbeRecord("arg");
  host::SetField(record.szExecProg, program);
  record.lErrorCode = kHostStatus;
  record.lExitCode = kHostExitCode;
  WriteJob(record);

  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, 1U);
  EXPECT_TRUE(run.outcome.flagDeleted);
  EXPECT_TRUE(SameBytes(WithOutcome(record, GetParam().status, 0), run.outcome.recordAtEnd));
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_EQ(AfterBanner(run), "");
}

INSTANTIATE_TEST_SUITE_P(
    Spine, LaunchFailureTest,
    ::testing::Values(LaunchFailureCase{"BareNameNowhere", "ntagent-e2e-no-such-program",
                                        kNotFound},
                      LaunchFailureCase{"MissingFolder", "<f>missing\\prog.exe", kNotFound},
                      LaunchFailureCase{"BadFormat", "<bad>",
                                        PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_BAD_FORMAT)},
                      // A directory passes the existence probe; the start then fails.
                      LaunchFailureCase{"Directory", "<f>adir.exe",
                                        PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_OTHER)}),
    CaseName());

// --- Validation ----------------------------------------------------------

struct ValidationCase {
  const char* name;
  std::string sig;
  std::string ver;
  std::uint32_t exitCode;
  const char* message;
};

class ValidationTest : public JobTest, public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(ValidationTest, RejectsWithMessageAndPromptAndNothingRuns) {
  const ValidationCase& c = GetParam();
  JobRecord record = ProbeRecord();
  host::SetField(record.szSig, c.sig);
  host::SetField(record.szVer, c.ver);
  record.lErrorCode = kHostStatus;
  record.lExitCode = kHostExitCode;
  WriteJob(record);

  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, c.exitCode);
  EXPECT_TRUE(run.outcome.flagDeleted);
  const std::string expected =
      c.exitCode == AGENT_ERR_VERSION
          ? WithOutcome(record, AGENT_ERR_VERSION, 0)
          : WithOutcome(record, AGENT_STARTED, kHostExitCode);  // the started marker stays
  EXPECT_TRUE(SameBytes(expected, run.outcome.recordAtEnd));
  EXPECT_EQ(AfterBanner(run), std::string("Korvane Agent error #") + std::to_string(c.exitCode) +
                                  " : " + c.message + "\r\nPress return to terminate...\r\n");
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
}

INSTANTIATE_TEST_SUITE_P(
    Spine, ValidationTest,
    ::testing::Values(
        ValidationCase{"SignatureCase", "!wdx", "1.0", AGENT_ERR_SIGNATURE, "Incorrect Signature."},
        ValidationCase{"SignatureBeforeVersion", "WDX!", "2.0", AGENT_ERR_SIGNATURE,
                       "Incorrect Signature."},
        ValidationCase{"VersionLonger", "!WDX", "1.00", AGENT_ERR_VERSION, "Version Mismatch."},
        ValidationCase{"VersionTrailingBlank", "!WDX", "1.0 ", AGENT_ERR_VERSION,
                       "Version Mismatch."}),
    CaseName());

TEST_F(SpineTest, ValidationPromptWaitsForOneCharacter) {
  JobRecord record = ProbeRecord();
  host::SetField(record.szSig, "!wdx");
  WriteJob(record);
  bool waitedAtPrompt = false;
  bool endedAfterOneCharacter = false;
  onStarted_ = [&](HANDLE input, HANDLE agent) {
    waitedAtPrompt = WaitForSingleObject(agent, 1500) == WAIT_TIMEOUT;
    DWORD written = 0;
    WriteFile(input, "x", 1, &written, nullptr);
    // The writer stays open: one character, not the end of input, lets it go.
    endedAfterOneCharacter = WaitForSingleObject(agent, 20000) == WAIT_OBJECT_0;
  };
  RunOptions options;
  options.input = Input::kHeldPipe;
  const RunResult run = Run(options);
  EXPECT_TRUE(waitedAtPrompt) << "the agent did not wait at the prompt";
  EXPECT_TRUE(endedAfterOneCharacter);
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_SIGNATURE);
  EXPECT_TRUE(run.outcome.flagDeleted);
}

// --- Texts that fill their whole field -----------------------------------

struct UnterminatedCase {
  const char* name;
  std::size_t offset;  // of the field within the record
  std::size_t width;
  std::uint32_t exitCode;
  std::int32_t status;  // what the record then holds
};

class UnterminatedFieldTest : public JobTest,
                              public ::testing::WithParamInterface<UnterminatedCase> {};

TEST_P(UnterminatedFieldTest, IsBadInputAndNothingRuns) {
  const UnterminatedCase& c = GetParam();
  JobRecord record = ProbeRecord();
  std::memset(reinterpret_cast<char*>(&record) + c.offset, 'u', c.width);
  WriteJob(record);
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, c.exitCode);
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_TRUE(SameBytes(WithOutcome(record, c.status, 0), run.outcome.recordAtEnd));
}

INSTANTIATE_TEST_SUITE_P(
    Spine, UnterminatedFieldTest,
    ::testing::Values(UnterminatedCase{"Program", offsetof(JobRecord, szExecProg), 256,
                                       AGENT_ERR_LAUNCH,
                                       PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_TOO_LONG)},
                      UnterminatedCase{"Arguments", offsetof(JobRecord, szArgs), 256,
                                       AGENT_ERR_LAUNCH,
                                       PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_TOO_LONG)},
                      UnterminatedCase{"FlagFile", offsetof(JobRecord, szFlagFile), 256,
                                       AGENT_ERR_FLAG_MISSING, AGENT_STARTED},
                      UnterminatedCase{"Signature", offsetof(JobRecord, szSig), 11,
                                       AGENT_ERR_SIGNATURE, AGENT_STARTED},
                      UnterminatedCase{"Version", offsetof(JobRecord, szVer), 11, AGENT_ERR_VERSION,
                                       AGENT_ERR_VERSION}),
    CaseName());

// --- Record and flag files -----------------------------------------------

TEST_F(SpineTest, MissingFlagFileEndsBeforeLaunchWithStartedMarker) {
  JobRecord record = ProbeRecord();
  record.lExitCode = kHostExitCode;
  WriteJob(record, /*withFlag=*/false);
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_FLAG_MISSING);
  EXPECT_TRUE(
      SameBytes(WithOutcome(record, AGENT_STARTED, kHostExitCode), run.outcome.recordAtEnd));
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_FALSE(host::PathExists(flag_));
  EXPECT_EQ(AfterBanner(run), "");
}

TEST_F(SpineTest, EmptyFlagPathCountsAsMissing) {
  JobRecord record = ProbeRecord();
  host::SetField(record.szFlagFile, "");
  WriteJob(record);
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_FLAG_MISSING);
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_TRUE(host::PathExists(flag_)) << "a file the record does not name was deleted";
}

TEST_F(SpineTest, FlagThatIsADirectoryPassesCheckButCannotBeDeleted) {
  const std::string flagDir = folder_ + "flagdir";
  MakeDir(flagDir);
  JobRecord record = ProbeRecord();
  host::SetField(record.szFlagFile, flagDir);
  WriteJob(record, /*withFlag=*/false);
  probeExit_ = "5";
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_FLAG_DELETE);
  EXPECT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  // The outcome was written before the deletion was tried.
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, 5), run.outcome.recordAtEnd));
  EXPECT_TRUE(host::PathExists(flagDir));
}

TEST_F(SpineTest, ShortRecordIsNotRewrittenAndFlagStays) {
  const std::string bytes = host::RecordBytes(ProbeRecord()).substr(0, sizeof(JobRecord) - 1);
  WriteRecordBytes(bytes);
  ASSERT_TRUE(host::CreateFlagFile(flag_));
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_RECORD_IO);
  EXPECT_EQ(ToHex(run.outcome.recordAtEnd), ToHex(bytes));
  EXPECT_TRUE(host::PathExists(flag_));
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_EQ(AfterBanner(run), "");
}

TEST_F(SpineTest, MissingRecordFileLeavesFlagAlone) {
  ASSERT_TRUE(host::CreateFlagFile(flag_));
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_RECORD_IO);
  EXPECT_TRUE(host::PathExists(flag_));
  EXPECT_FALSE(host::PathExists(record_)) << "the agent made a record file";
}

TEST_F(SpineTest, LongerRecordFileIsCutToOneRecord) {
  JobRecord record = ProbeRecord();
  WriteRecordBytes(host::RecordBytes(record) + std::string(300, 'z'));
  ASSERT_TRUE(host::CreateFlagFile(flag_));
  probeExit_ = "9";
  const RunResult run = Run();
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, 9), run.outcome.recordAtEnd));
}

TEST_F(SpineTest, NoArgumentsTouchesNoFile) {
  JobRecord record = ProbeRecord();
  WriteJob(record);
  RunOptions options;
  options.useRawArguments = true;  // the agent's own path alone
  options.currentDirectory = folder_;
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_VERSION);
  EXPECT_EQ(AfterBanner(run), "This program should not be run from the command line.\r\n");
  EXPECT_TRUE(SameBytes(host::RecordBytes(record), ReadFile(record_)));
  EXPECT_TRUE(host::PathExists(flag_));
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
}

// --- Program search ------------------------------------------------------

struct SearchCase {
  const char* name;
  std::string program;
  std::vector<std::string> copies;  // probe copies, relative to the job folder
  std::vector<std::string> env;     // "<f>" stands for the job folder
  std::string expected;             // the copy that runs; empty: not found
};

class SearchTest : public JobTest, public ::testing::WithParamInterface<SearchCase> {
 protected:
  std::string Expand(std::string text) const {
    for (std::size_t at; (at = text.find("<f>")) != std::string::npos;) {
      text.replace(at, 3, folder_);
    }
    return text;
  }
};

TEST_P(SearchTest, StartsTheFirstCandidateInSearchOrder) {
  const SearchCase& c = GetParam();
  for (const char* dir : {"cwd", "p1", "p2", "p3", "p2\\tools", "cwd\\tools", "semi;colon"}) {
    MakeDir(folder_ + dir);
  }
  for (const std::string& copy : c.copies) CopyProbe(folder_ + copy);
  JobRecord record = ProbeRecord();
  host::SetField(record.szExecProg, c.program);
  WriteJob(record);

  RunOptions options;
  options.currentDirectory = folder_ + "cwd";
  for (const std::string& setting : c.env) options.environment.push_back(Expand(setting));
  const RunResult run = Run(options);

  if (c.expected.empty()) {
    EXPECT_EQ(run.outcome.agentExitCode, 1U);
    EXPECT_EQ(run.outcome.record.lErrorCode, kNotFound);
    EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
    return;
  }
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_TRUE(SameIgnoringCase(run.probes[0].Get("module"), folder_ + c.expected))
      << "ran " << run.probes[0].Get("module");
  // The command line begins with the program text as written, not the file found.
  EXPECT_EQ(run.probes[0].Get("cmdline"), c.program);
}

INSTANTIATE_TEST_SUITE_P(
    Spine, SearchTest,
    ::testing::Values(
        SearchCase{"CurrentDirectoryBeforePath",
                   "sprog",
                   {"cwd\\sprog.exe", "p1\\sprog.exe"},
                   {"PATH=<f>p1"},
                   "cwd\\sprog.exe"},
        SearchCase{"ComBeforeExe",
                   "sprog",
                   {"cwd\\sprog.exe", "cwd\\sprog.com"},
                   {"PATH=<f>p1"},
                   "cwd\\sprog.com"},
        SearchCase{"CurrentDirectoryExeBeforePathCom",
                   "sprog",
                   {"cwd\\sprog.exe", "p1\\sprog.com"},
                   {"PATH=<f>p1"},
                   "cwd\\sprog.exe"},
        SearchCase{"PathElementsInOrder",
                   "sprog",
                   {"p2\\sprog.exe", "p3\\sprog.exe"},
                   {"PATH=<f>p1;<f>p2;<f>p3"},
                   "p2\\sprog.exe"},
        SearchCase{"ComBeforeExeInPathElement",
                   "sprog",
                   {"p2\\sprog.exe", "p2\\sprog.com"},
                   {"PATH=<f>p1;<f>p2"},
                   "p2\\sprog.com"},
        SearchCase{"QuotedElementWithSemicolon",
                   "sprog",
                   {"semi;colon\\sprog.exe"},
                   {"PATH=;;<f>p1;\"<f>semi;colon\";"},
                   "semi;colon\\sprog.exe"},
        SearchCase{"ElementWithTrailingBackslash",
                   "sprog",
                   {"p2\\sprog.exe"},
                   {"PATH=<f>p2\\"},
                   "p2\\sprog.exe"},
        SearchCase{"ExtensionGivenNotExtended",
                   "sprog.exe",
                   {"p2\\sprog.exe", "p1\\sprog.exe.com"},
                   {"PATH=<f>p1;<f>p2"},
                   "p2\\sprog.exe"},
        SearchCase{
            "PathSpelledMixedCase", "sprog", {"p2\\sprog.exe"}, {"Path=<f>p2"}, "p2\\sprog.exe"},
        SearchCase{"PathSpelledLowerCase",
                   "sprog",
                   {"p2\\sprog.exe"},
                   {"path=<f>p1;<f>p2"},
                   "p2\\sprog.exe"},
        SearchCase{"BackslashPathIsWalked",
                   "tools\\sprog",
                   {"p2\\tools\\sprog.exe"},
                   {"PATH=<f>p2"},
                   "p2\\tools\\sprog.exe"},
        SearchCase{"ForwardSlashPathIsNotWalked",
                   "tools/sprog",
                   {"p2\\tools\\sprog.exe"},
                   {"PATH=<f>p2"},
                   ""},
        SearchCase{"ForwardSlashPathInCurrentDirectory",
                   "tools/sprog",
                   {"cwd\\tools\\sprog.exe"},
                   {"PATH=<f>p2"},
                   "cwd\\tools\\sprog.exe"},
        SearchCase{"NoPath", "sprog", {"p2\\sprog.exe"}, {"PATH"}, ""},
        SearchCase{"PathOnlySemicolons", "sprog", {"p2\\sprog.exe"}, {"PATH=;;;"}, ""}),
    CaseName());

// A start that succeeded ends the walk whatever the exit code, even under a
// network-style element, after which a failed attempt would go on walking.
TEST_F(SpineTest, PathWalkStartsAProgramOnceEvenWhenItExitsWithAllBitsSet) {
  MakeDir(folder_ + "d1");
  MakeDir(folder_ + "d2");
  CopyProbe(folder_ + "d1\\walkprobe.exe");
  CopyProbe(folder_ + "d2\\walkprobe.exe");
  MakeDir(folder_ + "cwd");
  JobRecord record = ProbeRecord();
  host::SetField(record.szExecProg, "walkprobe");
  WriteJob(record);
  probeExit_ = "0xFFFFFFFF";
  RunOptions options;
  options.currentDirectory = folder_ + "cwd";
  options.environment = {"PATH=\\\\?\\" + folder_ + "d1;\\\\?\\" + folder_ + "d2"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(SameBytes(WithOutcome(record, AGENT_OK, -1), run.outcome.recordAtEnd));
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
}

}  // namespace
}  // namespace e2e
