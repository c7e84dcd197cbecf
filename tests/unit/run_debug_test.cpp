// Whole runs in debug mode: the switch, the echoes, the failure explanation,
// the prompts and what they read, and the outcome left unchanged.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "agent_run.h"

namespace agent_test {
namespace {

constexpr const char* kBanner =
    "Korvane NT Agent\r\nVersion 1.0\r\n"
    "Runs one job for its host and reports the outcome.\r\n\r\n";

const char* StreamName(sim::Stream kind) {
  switch (kind) {
    case sim::Stream::Console:
      return "console";
    case sim::Stream::File:
      return "file";
    case sim::Stream::Pipe:
      return "pipe";
    case sim::Stream::Invalid:
      return "invalid";
    case sim::Stream::Null:
      return "null";
  }
  return "?";
}

// The call log as a timeline: every write to standard error with the bytes it
// carried ("err ..."), the reads of standard input, the record and flag file
// operations and the start of the program.
std::vector<std::string> Timeline() {
  std::vector<std::string> events;
  const std::vector<std::string>& chunks = sim::StderrChunks();
  std::size_t chunk = 0;
  for (const sim::Call& call : sim::Calls()) {
    switch (call.op) {
      case sim::Op::WriteFile:
        if (call.arg == "stderr") {
          events.push_back("err " + (chunk < chunks.size() ? chunks[chunk] : std::string("?")));
          ++chunk;
        } else {
          events.push_back("write " + call.arg);
        }
        break;
      case sim::Op::ReadFile:
        events.push_back("read " + call.arg);
        break;
      case sim::Op::CreateFileA:
        events.push_back("open " + call.arg);
        break;
      case sim::Op::DeleteFileA:
        events.push_back("delete " + call.arg);
        break;
      case sim::Op::CreateProcessA:
        events.push_back("start " + call.arg);
        break;
      default:
        break;
    }
  }
  return events;
}

// The timeline of a console run as it looks when standard error collects in
// its buffer: nothing reaches it until the process ends, then all at once.
std::vector<std::string> Buffered(const std::vector<std::string>& consoleTimeline) {
  std::vector<std::string> events;
  std::string text;
  for (const std::string& event : consoleTimeline) {
    if (event.compare(0, 4, "err ") == 0) {
      text += event.substr(4);
    } else {
      events.push_back(event);
    }
  }
  events.push_back("err " + text);
  return events;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class DebugModeTest : public AgentRunTest {
 protected:
  // Runs `job` with the given argument text after the record path; the flag
  // file is created unless `withFlag` is false.
  nt::u32 Run(const Job& job, const std::string& extraArgs, bool withFlag = true) {
    WriteJob(job);
    if (withFlag) CreateFlag();
    sim::SetCommandLine(std::string("ntagent.exe ") + kRecordPath +
                        (extraArgs.empty() ? "" : " " + extraArgs));
    return RunAgentProcess();
  }
};

TEST_F(DebugModeTest, SuccessfulJobEchoesAndWaitsBeforeTheOutcomeIsStored) {
  const sim::Stream kinds[] = {sim::Stream::Console, sim::Stream::File, sim::Stream::Pipe};
  for (sim::Stream kind : kinds) {
    SCOPED_TRACE(StreamName(kind));
    SetUp();
    sim::SetStderr(sim::Output{kind, "", 0});
    // Enter alone at each prompt; each prompt waits for its own line.
    sim::SetStdin(sim::Input{sim::Stream::Console, "\r\n\r\nlater\r\n", true, 0});
    sim::AddProgram("C:\\AGENT\\prog.exe", 3);
    Job job;
    job.args = "a b";
    EXPECT_EQ(Run(job, "1"), 0U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, 0);
    EXPECT_EQ(+record->lExitCode, 3);
    EXPECT_FALSE(sim::Exists(kFlagPath));

    const std::vector<std::string> console = {
        "err Korvane NT Agent\r\n",
        "err Version 1.0\r\n",
        "err Runs one job for its host and reports the outcome.\r\n",
        "err \r\n",
        "open C:\\JOBS\\job.rec",
        "read C:\\JOBS\\job.rec",
        "open C:\\JOBS\\job.rec",
        "write C:\\JOBS\\job.rec",
        "err szSig        = !WDX\r\n",
        "err szVer        = 1.0\r\n",
        "err szExecProg   = prog\r\n",
        "err szArgs       = a b\r\n",
        "err szWorkDir    = \r\n",
        "err bUseShell    = 0\r\n",
        "err press enter...\r\n",
        "read stdin",
        "err Program = prog\r\nArgs = a b\r\n",
        "start .\\prog.exe",
        "err After Exec : Error Code = 0, Exit Code = 3.\r\n",
        "err press enter...\r\n",
        // The flag file is still there while the second prompt waits.
        "read stdin",
        "open C:\\JOBS\\job.rec",
        "write C:\\JOBS\\job.rec",
        "delete C:\\JOBS\\job.flg",
    };
    EXPECT_EQ(Timeline(), kind == sim::Stream::Console ? console : Buffered(console));
    EXPECT_EQ(sim::StdinRemaining(), "later\r\n");
  }
}

TEST_F(DebugModeTest, EchoShowsTheFieldsAsReadAndTheCommandAsLaunched) {
  sim::AddDir("C:\\WORK");
  sim::AddProgram("C:\\WINDOWS\\cmd.exe", 7);
  Job job;
  job.args = "a  \"b\"";
  job.workDir = "C:\\WORK";
  job.useShell = INT32_MIN;
  EXPECT_EQ(Run(job, "1"), 0U);
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(sim::Launches()[0].applicationName, "C:\\WINDOWS\\cmd.exe");
  std::string expected = std::string(kBanner) +
                         "szSig        = !WDX\r\n"
                         "szVer        = 1.0\r\n"
                         "szExecProg   = prog\r\n"
                         "szArgs       = a  \"b\"\r\n"
                         "szWorkDir    = C:\\WORK\r\n"
                         "bUseShell    = -2147483648\r\n"
                         "press enter...\r\n"
                         "Program = C:\\WINDOWS\\cmd.exe\r\n"
                         "Args = /c prog a  \"b\"\r\n"
                         "After Exec : Error Code = 0, Exit Code = 7.\r\n"
                         "press enter...\r\n";
  EXPECT_EQ(sim::StderrText(), expected);
  EXPECT_EQ(+StoredRecord()->lExitCode, 7);
}

TEST_F(DebugModeTest, NotFoundProgramLineReachesABufferedStreamFirst) {
  const sim::Stream kinds[] = {sim::Stream::Console, sim::Stream::File, sim::Stream::Pipe};
  const std::string osLine = "OS Error: No such file or directory\r\n";
  const std::string explained =
      "Program = prog\r\nArgs = \r\n"
      "Agent Error : #1,101\r\n"
      "press enter...\r\n";
  for (sim::Stream kind : kinds) {
    SCOPED_TRACE(StreamName(kind));
    SetUp();
    sim::SetStderr(sim::Output{kind, "", 0});
    EXPECT_EQ(Run(Job{}, "1"), 1U);
    EXPECT_EQ(+StoredRecord()->lErrorCode, 0x01010001);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    const std::vector<std::string>& chunks = sim::StderrChunks();
    if (kind == sim::Stream::Console) {
      ASSERT_GE(chunks.size(), 4U);
      std::vector<std::string> last(chunks.end() - 4, chunks.end());
      EXPECT_EQ(last, (std::vector<std::string>{"Program = prog\r\nArgs = \r\n", osLine,
                                                "Agent Error : #1,101\r\n", "press enter...\r\n"}));
    } else {
      // Straight to the handle, ahead of everything the buffer held.
      ASSERT_EQ(chunks.size(), 2U);
      EXPECT_EQ(chunks[0], osLine);
      EXPECT_EQ(chunks[1].compare(0, std::string(kBanner).size(), kBanner), 0);
      EXPECT_TRUE(EndsWith(chunks[1], explained)) << chunks[1];
    }
    // The prompt comes before the outcome is stored and the flag deleted.
    std::vector<std::string> tail;
    for (const std::string& event : Timeline())
      if (event.compare(0, 4, "err ") != 0) tail.push_back(event);
    ASSERT_GE(tail.size(), 4U);
    EXPECT_EQ(std::vector<std::string>(tail.end() - 4, tail.end()),
              (std::vector<std::string>{"read stdin", "open C:\\JOBS\\job.rec",
                                        "write C:\\JOBS\\job.rec", "delete C:\\JOBS\\job.flg"}));
  }
}

TEST_F(DebugModeTest, FailuresAreExplainedFromTheErrorNumberNotTheDetail) {
  const std::string echoEnd = "bUseShell    = 0\r\npress enter...\r\n";
  const struct {
    const char* name;
    std::function<void(Job&)> setUp;
    bool withFlag;
    nt::u32 exitCode;
    std::string tail;
  } cases[] = {
      {"program not found", [](Job&) {}, true, 1,
       "Program = prog\r\nArgs = \r\nOS Error: No such file or directory\r\n"
       "Agent Error : #1,101\r\npress enter...\r\n"},
      {"not an executable", [](Job&) { sim::AddFile("C:\\AGENT\\prog.exe", "MZ"); }, true, 1,
       "Program = prog\r\nArgs = \r\nOS Error: Exec format error\r\n"
       "Agent Error : #1,104\r\npress enter...\r\n"},
      {"start refused",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         sim::FailCall(sim::Op::CreateProcessA, 1, nt::kErrorAccessDenied);
       },
       true, 1,
       "Program = prog\r\nArgs = \r\nOS Error: Permission denied\r\n"
       "Agent Error : #1,10F\r\npress enter...\r\n"},
      {"program fills its field", [](Job& j) { j.execProg = std::string(256, 'p'); }, true, 1,
       "OS Error: Arg list too long\r\nAgent Error : #1,103\r\npress enter...\r\n"},
      {"flag file missing", [](Job&) {}, false, 515,
       echoEnd +
           "OS Error: No such file or directory\r\nAgent Error : #203,2\r\npress enter...\r\n"},
      // The same detail as a program not found, but nothing set the error number.
      {"no interpreter for shell mode",
       [](Job& j) {
         sim::SetEnvironment({"PATH=C:\\BIN"});
         j.useShell = 1;
       },
       true, 1, "bUseShell    = 1\r\npress enter...\r\nAgent Error : #1,101\r\npress enter...\r\n"},
      {"wrong signature", [](Job& j) { j.sig = "!wdx"; }, true, 517,
       echoEnd +
           "Korvane Agent error #517 : Incorrect Signature.\r\nPress return to terminate...\r\n"
           "Agent Error : #205,0\r\npress enter...\r\n"},
      {"version mismatch", [](Job& j) { j.ver = "2.0"; }, true, 241,
       echoEnd + "Korvane Agent error #241 : Version Mismatch.\r\nPress return to terminate...\r\n"
                 "Agent Error : #F1,0\r\npress enter...\r\n"},
      {"flag file not deletable",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 3);
         sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorAccessDenied);
       },
       true, 514,
       "After Exec : Error Code = 0, Exit Code = 3.\r\npress enter...\r\n"
       "OS Error: Permission denied\r\nAgent Error : #202,D\r\npress enter...\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(sim::Input{sim::Stream::Pipe, "xyz", false, 0});
    Job job;
    c.setUp(job);
    EXPECT_EQ(Run(job, "1", c.withFlag), c.exitCode);
    const std::string& text = sim::StderrText();
    EXPECT_TRUE(EndsWith(text, c.tail)) << text;
    EXPECT_EQ(Occurrences(text, "OS Error"), Occurrences(c.tail, "OS Error"));
    EXPECT_EQ(Occurrences(text, "Agent Error"), 1);
  }
}

TEST_F(DebugModeTest, StandardInputStateDecidesTheOsErrorOfAValidationFailure) {
  const std::string prompted =
      "Korvane Agent error #517 : Incorrect Signature.\r\nPress return to terminate...\r\n";
  const std::string quiet = prompted + "Agent Error : #205,0\r\npress enter...\r\n";
  const std::string badFile =
      prompted + "OS Error: Bad file descriptor\r\nAgent Error : #205,0\r\npress enter...\r\n";
  const struct {
    const char* name;
    sim::Input input;
    std::string tail;
  } cases[] = {
      {"readable pipe", {sim::Stream::Pipe, "xyz", false, 0}, quiet},
      {"file at its end", {sim::Stream::File, "", false, 0}, quiet},
      {"pipe whose writer closed", {sim::Stream::Pipe, "", false, nt::kErrorBrokenPipe}, quiet},
      {"unreadable console", {sim::Stream::Console, "", true, nt::kErrorInvalidHandle}, badFile},
      {"unreadable pipe", {sim::Stream::Pipe, "", false, nt::kErrorAccessDenied}, badFile},
      {"no standard input", {sim::Stream::Invalid, "", false, 0}, badFile},
      // Only the last prompt fails to read, after the error number was taken.
      {"input used up before the last prompt",
       {sim::Stream::Console, "a\r\n", true, nt::kErrorInvalidHandle},
       quiet},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(c.input);
    sim::AddProgram("C:\\AGENT\\prog.exe", 0);
    Job job;
    job.sig = "WDX!";
    EXPECT_EQ(Run(job, "1"), 517U);
    EXPECT_EQ(+StoredRecord()->lErrorCode, AGENT_STARTED);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    EXPECT_TRUE(sim::Launches().empty());
    EXPECT_TRUE(EndsWith(sim::StderrText(), c.tail)) << sim::StderrText();
  }
}

TEST_F(DebugModeTest, PromptsThatCannotReadLetTheJobComplete) {
  const struct {
    const char* name;
    sim::Input input;
  } cases[] = {
      {"console without input", {sim::Stream::Console, "", true, 0}},
      {"pipe whose writer closed", {sim::Stream::Pipe, "", false, nt::kErrorBrokenPipe}},
      {"unreadable console", {sim::Stream::Console, "", true, nt::kErrorInvalidHandle}},
      {"no standard input", {sim::Stream::Null, "", false, 0}},
      {"end-of-file character", {sim::Stream::Console, "\x1A\r\n", true, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(c.input);
    sim::AddProgram("C:\\AGENT\\prog.exe", 3);
    EXPECT_EQ(Run(Job{}, "1"), 0U);
    EXPECT_EQ(+StoredRecord()->lErrorCode, 0);
    EXPECT_EQ(+StoredRecord()->lExitCode, 3);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    EXPECT_EQ(Occurrences(sim::StderrText(), "press enter...\r\n"), 2);
    EXPECT_EQ(Occurrences(sim::StderrText(), "OS Error"), 0);
  }
}

TEST_F(DebugModeTest, EachPromptTakesOneCharacterOfWhatWasTyped) {
  // A validation failure in debug mode prompts three times.
  const struct {
    const char* name;
    std::string typed;
    int reads;
  } cases[] = {
      {"Enter at each prompt", "\r\n\r\n\r\nrest\r\n", 3},
      {"two characters and Enter feed all three", "ab\r\nrest\r\n", 1},
      {"a lone carriage return and a character", "\rb\r\nrest\r\n", 1},
      {"end-of-file character ends input", "\x1A\r\nrest\r\n", 1},
      {"end-of-file character after a character", "a\x1A\r\nrest\r\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(sim::Input{sim::Stream::Console, c.typed, true, 0});
    Job job;
    job.ver = "0.9";
    EXPECT_EQ(Run(job, "1"), 241U);
    EXPECT_EQ(sim::CallsOf({sim::Op::ReadFile}).size() - 1, static_cast<std::size_t>(c.reads));
    EXPECT_EQ(sim::StdinRemaining(), "rest\r\n");
    EXPECT_EQ(Occurrences(sim::StderrText(), "press enter...\r\n"), 2);
    EXPECT_EQ(Occurrences(sim::StderrText(), "Press return to terminate...\r\n"), 1);
  }
}

TEST_F(DebugModeTest, OnlyASecondArgumentOfExactlyOneSwitchesItOn) {
  const struct {
    std::string args;
    bool debug;
  } cases[] = {
      {"1", true},       {"1 extra more", true}, {"\"1\"", true}, {"\t 1", true},
      {"", false},       {"01", false},          {"true", false}, {"\" 1\"", false},
      {"\"1 \"", false}, {"0 1", false},         {"1.", false},   {"extra 1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("arguments after the record path: [" + c.args + "]");
    SetUp();
    sim::AddProgram("C:\\AGENT\\prog.exe", 3);
    sim::SetCommandLine(std::string("ntagent.exe ") + kRecordPath + " " + c.args);
    WriteJob(Job{});
    CreateFlag();
    EXPECT_EQ(RunAgentProcess(), 0U);
    EXPECT_EQ(+StoredRecord()->lExitCode, 3);
    if (c.debug) {
      EXPECT_EQ(Occurrences(sim::StderrText(), "szSig        = !WDX\r\n"), 1);
      EXPECT_EQ(Occurrences(sim::StderrText(), "press enter...\r\n"), 2);
    } else {
      EXPECT_EQ(sim::StderrText(), kBanner);
      EXPECT_EQ(sim::CallCount(sim::Op::ReadFile), 1);  // the record only
    }
  }
}

TEST_F(DebugModeTest, OutcomeIsTheSameWithAndWithoutDebugMode) {
  const struct {
    const char* name;
    std::function<void(Job&)> setUp;
    bool withFlag;
  } cases[] = {
      {"success", [](Job&) { sim::AddProgram("C:\\AGENT\\prog.exe", 3); }, true},
      {"program not found", [](Job&) {}, true},
      {"flag file missing", [](Job&) { sim::AddProgram("C:\\AGENT\\prog.exe", 3); }, false},
      {"wrong signature", [](Job& j) { j.sig = "!WD"; }, true},
      {"version mismatch", [](Job& j) { j.ver = "1.1"; }, true},
      {"no interpreter for shell mode",
       [](Job& j) {
         sim::SetEnvironment({"PATH=C:\\BIN"});
         j.useShell = -1;
       },
       true},
      {"flag file not deletable",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 3);
         sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorAccessDenied);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    struct Outcome {
      nt::u32 exitCode;
      std::optional<std::string> record;
      bool flagLeft;
      std::size_t launches;
    } outcomes[2];
    for (int debug = 0; debug < 2; ++debug) {
      SetUp();
      Job job;
      job.args = "x y";
      c.setUp(job);
      nt::u32 exitCode = Run(job, debug != 0 ? "1" : "", c.withFlag);
      outcomes[debug] = Outcome{exitCode, sim::ReadFile(kRecordPath), sim::Exists(kFlagPath),
                                sim::Launches().size()};
    }
    EXPECT_EQ(outcomes[1].exitCode, outcomes[0].exitCode);
    EXPECT_EQ(outcomes[1].record, outcomes[0].record);
    EXPECT_EQ(outcomes[1].flagLeft, outcomes[0].flagLeft);
    EXPECT_EQ(outcomes[1].launches, outcomes[0].launches);
  }
}

}  // namespace
}  // namespace agent_test
