// Whole runs that find and start the job's program: which files are probed,
// what is started and with which command line; and how the agent's own
// command line is split.
#include <functional>
#include <string>
#include <vector>

#include "agent_run.h"

namespace agent_test {
namespace {

using Texts = std::vector<std::string>;

constexpr nt::u32 kProgramExit = 7;
constexpr std::int32_t kNotFound = 0x01010001;
constexpr std::int32_t kBadFormat = 0x01040001;
constexpr std::int32_t kOther = 0x010F0001;
constexpr std::int32_t kNoMemory = 0x01020001;

void Program(const std::string& path) {
  sim::AddProgram(path, kProgramExit);
}

// The four candidates of an extension-less working name, in probing order.
Texts Extensions(const std::string& working) {
  return {working + ".com", working + ".exe", working + ".bat", working + ".cmd"};
}

Texts Join(std::initializer_list<Texts> parts) {
  Texts all;
  for (const Texts& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Texts ArgsOf(const std::vector<sim::Call>& calls) {
  Texts args;
  for (const sim::Call& call : calls) args.push_back(call.arg);
  return args;
}

struct SearchCase {
  const char* name;
  std::function<void()> arrange;  // files, environment, faults; PATH is C:\BIN unless changed
  std::string program;
  std::string args;
  std::int32_t status;  // lErrorCode after the run
  Texts starts;         // application names CreateProcessA was asked for, in order
  std::string commandLine;
  Texts probes;  // GetFileAttributesA paths, in order
};

class SearchTest : public AgentRunTest {
 protected:
  void RunCase(const SearchCase& c) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange();
    Job job;
    job.execProg = c.program;
    job.args = c.args;
    EXPECT_EQ(RunJob(job), c.status == 0 ? 0U : 1U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, c.status);
    EXPECT_EQ(+record->lExitCode, c.status == 0 ? static_cast<std::int32_t>(kProgramExit) : 0);
    EXPECT_EQ(ArgsOf(sim::CallsOf({sim::Op::GetFileAttributesA})), c.probes);
    EXPECT_EQ(ArgsOf(sim::CallsOf({sim::Op::CreateProcessA})), c.starts);
    if (c.status == 0) {
      ASSERT_EQ(sim::Launches().size(), 1U);
      EXPECT_EQ(sim::Launches()[0].applicationName, c.starts.back());
      EXPECT_EQ(sim::Launches()[0].commandLine, c.commandLine);
    } else {
      EXPECT_TRUE(sim::Launches().empty());
    }
    EXPECT_FALSE(sim::Exists(kFlagPath));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
  }
};

const Texts kCwdProg = Extensions(".\\prog");

TEST_F(SearchTest, CandidatesInTheCurrentDirectory) {
  const SearchCase cases[] = {
      {"current directory before PATH",
       [] {
         Program("C:\\AGENT\\prog.exe");
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {".\\prog.exe"},
       "prog",
       {".\\prog.com", ".\\prog.exe"}},
      {".com before .exe",
       [] {
         Program("C:\\AGENT\\prog.com");
         Program("C:\\AGENT\\prog.exe");
       },
       "prog",
       "a b",
       0,
       {".\\prog.com"},
       "prog a b",
       {".\\prog.com"}},
      {"the last extension",
       [] { Program("C:\\AGENT\\prog.cmd"); },
       "prog",
       "",
       0,
       {".\\prog.cmd"},
       "prog",
       kCwdProg},
      {"a bad .com stops the search",
       [] {
         sim::AddFile("C:\\AGENT\\prog.com", "not a program");
         Program("C:\\AGENT\\prog.exe");
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kBadFormat,
       {".\\prog.com"},
       "",
       {".\\prog.com"}},
      {"a folder bearing the candidate's name passes the probe, its start fails",
       [] {
         sim::AddDir("C:\\AGENT\\prog.com");
         Program("C:\\AGENT\\prog.exe");
       },
       "prog",
       "",
       kOther,
       {".\\prog.com"},
       "",
       {".\\prog.com"}},
      {"a read-only program is started",
       [] {
         Program("C:\\AGENT\\prog.exe");
         sim::SetAttributes("C:\\AGENT\\prog.exe", nt::kAttributeReadOnly);
       },
       "prog",
       "",
       0,
       {".\\prog.exe"},
       "prog",
       {".\\prog.com", ".\\prog.exe"}},
      {"a dotted name gets no extension",
       [] {
         Program("C:\\AGENT\\prog.exe.com");
         Program("C:\\AGENT\\prog.exe");
       },
       "prog.exe",
       "",
       0,
       {".\\prog.exe"},
       "prog.exe",
       {".\\prog.exe"}},
      {"a trailing dot counts as a dot",
       [] {
         Program("C:\\AGENT\\prog");
         Program("C:\\AGENT\\prog.com");
       },
       "prog.",
       "",
       0,
       {".\\prog."},
       "prog.",
       {".\\prog."}},
      {"a dot only in a folder name gets the extensions",
       [] {
         Program("C:\\my.dir\\prog");
         Program("C:\\my.dir\\prog.cmd");
       },
       "C:\\my.dir\\prog",
       "",
       0,
       {"C:\\my.dir\\prog.cmd"},
       "C:\\my.dir\\prog",
       Extensions("C:\\my.dir\\prog")},
      {"a drive without a separator gets no prefix",
       [] { Program("C:\\AGENT\\prog.exe"); },
       "C:prog",
       "",
       0,
       {"C:prog.exe"},
       "C:prog",
       {"C:prog.com", "C:prog.exe"}},
      {"a program text with blanks reaches the child unquoted",
       [] { Program("C:\\AGENT\\my prog.exe"); },
       "my prog",
       " x  y ",
       0,
       {".\\my prog.exe"},
       "my prog  x  y ",
       {".\\my prog.com", ".\\my prog.exe"}},
      {"an empty program text is a bare name",
       [] { Program("C:\\BIN\\.exe"); },
       "",
       "",
       0,
       {"C:\\BIN\\.exe"},
       "",
       Join({Extensions(".\\"), {"C:\\BIN\\.com", "C:\\BIN\\.exe"}})},
      {"an empty program text found nowhere",
       [] {},
       "",
       "",
       kNotFound,
       {},
       "",
       Join({Extensions(".\\"), Extensions("C:\\BIN\\")})},
  };
  for (const SearchCase& c : cases) RunCase(c);
}

TEST_F(SearchTest, PathWalk) {
  const std::string dirs257 = "C:\\" + std::string(253, 'd') + "\\";  // 257 characters
  const std::string dirs258 = "C:\\" + std::string(254, 'd') + "\\";  // 258 characters
  const std::string dir254 = "C:\\" + std::string(251, 'd');          // 254 + "\" + "prog" = 259
  const std::string dir255 = "C:\\" + std::string(252, 'd');          // 255 + "\" + "prog" = 260
  const SearchCase cases[] = {
      {"each folder in turn",
       [] {
         sim::SetEnvironment({"PATH=C:\\NONE;C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "a",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog a",
       Join({kCwdProg, Extensions("C:\\NONE\\prog"), {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"a dotted name is walked as written",
       [] { Program("C:\\BIN\\prog.exe"); },
       "prog.exe",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog.exe",
       {".\\prog.exe", "C:\\BIN\\prog.exe"}},
      {"a relative path with a backslash is walked",
       [] {
         sim::SetEnvironment({"PATH=C:\\NONE;C:\\BIN"});
         Program("C:\\BIN\\tools\\prog.exe");
       },
       "tools\\prog",
       "",
       0,
       {"C:\\BIN\\tools\\prog.exe"},
       "tools\\prog",
       Join({Extensions("tools\\prog"),
             Extensions("C:\\NONE\\tools\\prog"),
             {"C:\\BIN\\tools\\prog.com", "C:\\BIN\\tools\\prog.exe"}})},
      {"a forward slash stops the walk",
       [] { Program("C:\\BIN\\tools\\prog.exe"); },
       "tools/prog",
       "",
       kNotFound,
       {},
       "",
       Extensions("tools/prog")},
      {"PATH absent",
       [] {
         sim::SetEnvironment({"COMSPEC=C:\\WINDOWS\\cmd.exe"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
      {"PATH empty",
       [] {
         sim::SetEnvironment({"PATH="});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
      {"PATH only semicolons",
       [] {
         sim::SetEnvironment({"PATH=;;;"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
      {"an empty quoted element ends the walk",
       [] {
         sim::SetEnvironment({"PATH=\"\";C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
      {"a longer name is not PATH",
       [] {
         sim::SetEnvironment({"PATHEXT=C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
      {"Path",
       [] {
         sim::SetEnvironment({"Path=C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg, {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"path, the first of two spellings wins",
       [] {
         sim::SetEnvironment({"path=C:\\NONE", "PATH=C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       Join({kCwdProg, Extensions("C:\\NONE\\prog")})},
      {"quoted element with a semicolon",
       [] {
         sim::SetEnvironment({"PATH=\"C:\\my;bin\""});
         Program("C:\\my;bin\\prog.exe");
       },
       "prog",
       "",
       0,
       {"C:\\my;bin\\prog.exe"},
       "prog",
       Join({kCwdProg, {"C:\\my;bin\\prog.com", "C:\\my;bin\\prog.exe"}})},
      {"an element ending in a backslash",
       [] {
         sim::SetEnvironment({"PATH=C:\\BIN\\"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg, {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"an element ending in a forward slash",
       [] {
         sim::SetEnvironment({"PATH=C:\\BIN/"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {"C:\\BIN/prog.exe"},
       "prog",
       Join({kCwdProg, {"C:\\BIN/prog.com", "C:\\BIN/prog.exe"}})},
      {"a 257-character element is tried",
       [&] {
         sim::SetEnvironment({"PATH=" + dirs257 + ";C:\\BIN"});
         Program("C:\\BIN\\p.exe");
       },
       "p",
       "",
       0,
       {"C:\\BIN\\p.exe"},
       "p",
       Join({Extensions(".\\p"), Extensions(dirs257 + "p"), {"C:\\BIN\\p.com", "C:\\BIN\\p.exe"}})},
      {"a 258-character element ends the walk",
       [&] {
         sim::SetEnvironment({"PATH=" + dirs258 + ";C:\\BIN"});
         Program("C:\\BIN\\p.exe");
       },
       "p",
       "",
       kNotFound,
       {},
       "",
       Extensions(".\\p")},
      {"element, separator and program of 259 characters are tried",
       [&] {
         sim::SetEnvironment({"PATH=" + dir254 + ";C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg, Extensions(dir254 + "\\prog"), {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"element, separator and program of 260 characters end the walk",
       [&] {
         sim::SetEnvironment({"PATH=" + dir255 + ";C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kNotFound,
       {},
       "",
       kCwdProg},
  };
  for (const SearchCase& c : cases) RunCase(c);
}

TEST_F(SearchTest, FailuresOtherThanNotFoundInTheWalk) {
  // The fourth probe under the first element is its .cmd candidate, whose
  // error is the one the candidate leaves.
  constexpr int kFirstElementLastProbe = 8;
  const SearchCase cases[] = {
      {"denied under a network folder: the walk goes on",
       [] {
         sim::SetEnvironment({"PATH=\\\\srv\\share;C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
         sim::FailCall(sim::Op::GetFileAttributesA, kFirstElementLastProbe, nt::kErrorAccessDenied);
       },
       "prog",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg,
             Extensions("\\\\srv\\share\\prog"),
             {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"denied under a local folder: the walk ends",
       [] {
         sim::SetEnvironment({"PATH=C:\\NONE;C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
         sim::FailCall(sim::Op::GetFileAttributesA, kFirstElementLastProbe, nt::kErrorAccessDenied);
       },
       "prog",
       "",
       kOther,
       {},
       "",
       Join({kCwdProg, Extensions("C:\\NONE\\prog")})},
      {"denied on an earlier extension: the last probe decides",
       [] {
         sim::SetEnvironment({"PATH=C:\\NONE;C:\\BIN"});
         Program("C:\\BIN\\prog.exe");
         sim::FailCall(sim::Op::GetFileAttributesA, 5, nt::kErrorAccessDenied);
       },
       "prog",
       "",
       0,
       {"C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg, Extensions("C:\\NONE\\prog"), {"C:\\BIN\\prog.com", "C:\\BIN\\prog.exe"}})},
      {"denied in the current directory: no walk",
       [] {
         Program("C:\\BIN\\prog.exe");
         sim::FailCall(sim::Op::GetFileAttributesA, 4, nt::kErrorAccessDenied);
       },
       "prog",
       "",
       kOther,
       {},
       "",
       kCwdProg},
      {"a bad program under a network folder: the next one is started",
       [] {
         sim::SetEnvironment({"PATH=\\\\srv\\share\\bin;C:\\BIN"});
         sim::AddFile("\\\\srv\\share\\bin\\prog.exe", "not a program");
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       0,
       {"\\\\srv\\share\\bin\\prog.exe", "C:\\BIN\\prog.exe"},
       "prog",
       Join({kCwdProg,
             {"\\\\srv\\share\\bin\\prog.com", "\\\\srv\\share\\bin\\prog.exe", "C:\\BIN\\prog.com",
              "C:\\BIN\\prog.exe"}})},
      {"a bad program under a local folder ends the walk",
       [] {
         sim::SetEnvironment({"PATH=C:\\BIN2;C:\\BIN"});
         sim::AddDir("C:\\BIN2");
         sim::AddFile("C:\\BIN2\\prog.exe", "not a program");
         Program("C:\\BIN\\prog.exe");
       },
       "prog",
       "",
       kBadFormat,
       {"C:\\BIN2\\prog.exe"},
       "",
       Join({kCwdProg, {"C:\\BIN2\\prog.com", "C:\\BIN2\\prog.exe"}})},
  };
  for (const SearchCase& c : cases) RunCase(c);
}

// The number, among all HeapAlloc calls of the run just made, of the first
// one of `size` bytes after the flag check.
int LaunchAllocationNumber(const std::string& size) {
  bool afterFlagCheck = false;
  int number = 0;
  for (const sim::Call& call : sim::Calls()) {
    if (call.op == sim::Op::FindFirstFileA) afterFlagCheck = true;
    if (call.op != sim::Op::HeapAlloc) continue;
    ++number;
    if (afterFlagCheck && call.arg == size) return number;
  }
  ADD_FAILURE() << "no allocation of " << size << " bytes in the launch";
  return 1;
}

TEST_F(SearchTest, LaunchBufferThatCannotBeTakenIsNoMemory) {
  const struct {
    const char* name;
    const char* programPath;
    const char* size;
  } cases[] = {
      {"the prefixed name", "C:\\AGENT\\prog.exe", "7"},         // ".\prog"
      {"the extension candidate", "C:\\AGENT\\prog.exe", "11"},  // ".\prog.com"
      {"the command line", "C:\\AGENT\\prog.exe", "8"},          // "prog", "" and two
      {"the walk buffer", "C:\\BIN\\prog.exe", "260"},
      {"an extension candidate under PATH", "C:\\BIN\\prog.exe", "16"},  // "C:\BIN\prog.com"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Program(c.programPath);
    EXPECT_EQ(RunJob(Job{}), 0U);
    int nth = LaunchAllocationNumber(c.size);
    std::size_t blocksLeft = sim::HeapStats().outstandingBlocks;

    SetUp();
    Program(c.programPath);
    sim::FailCall(sim::Op::HeapAlloc, nth, nt::kErrorNotEnoughMemory);
    EXPECT_EQ(RunJob(Job{}), 1U);
    EXPECT_EQ(sim::CallsOf({sim::Op::HeapAlloc})[static_cast<std::size_t>(nth - 1)].arg, c.size);
    EXPECT_EQ(+StoredRecord()->lErrorCode, kNoMemory);
    EXPECT_TRUE(sim::Launches().empty());
    EXPECT_FALSE(sim::Exists(kFlagPath));
    // What the launch took before the failure was given back.
    EXPECT_EQ(sim::HeapStats().outstandingBlocks, blocksLeft);
  }
}

TEST_F(SearchTest, RecordPathIsSplitFromTheCommandLine) {
  const struct {
    const char* commandLine;
    const char* recordPath;
  } cases[] = {
      {"ntagent.exe \"C:\\My Jobs\\job 1.rec\"", "C:\\My Jobs\\job 1.rec"},
      {"\"C:\\AGENT\\ntagent.exe\" \"C:\\My Jobs\\job 1.rec\"", "C:\\My Jobs\\job 1.rec"},
      {"ntagent.exe C:\\My\" \"Jobs\\job.rec", "C:\\My Jobs\\job.rec"},
      {"ntagent.exe\t\tC:\\JOBS\\job.rec\t", "C:\\JOBS\\job.rec"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine);
    SetUp();
    sim::AddDir("C:\\My Jobs");
    Program("C:\\AGENT\\prog.exe");
    sim::AddFile(c.recordPath, RecordBytes(Job{}));
    CreateFlag();
    sim::SetCommandLine(c.commandLine);
    EXPECT_EQ(RunAgentProcess(), 0U);
    std::optional<std::string> stored = sim::ReadFile(c.recordPath);
    ASSERT_TRUE(stored);
    Job done;
    done.errorCode = AGENT_OK;
    done.exitCode = static_cast<std::int32_t>(kProgramExit);
    EXPECT_TRUE(*stored == RecordBytes(done));
    EXPECT_FALSE(sim::Exists(kFlagPath));
  }
}

TEST_F(SearchTest, OnlyASecondArgumentOfExactlyOneSwitchesDebugOn) {
  const struct {
    const char* extra;
    bool debug;
  } cases[] = {
      {"1", true},       {"\"1\"", true},   {"1\"\"", true},   {"1 2", true},   {"1 0", true},
      {"01", false},     {"\" 1\"", false}, {"\"1 \"", false}, {"true", false}, {"1x", false},
      {"\"\" 1", false}, {"\\\"1", false},  {"0 1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    SetUp();
    Program("C:\\AGENT\\prog.exe");
    EXPECT_EQ(RunJob(Job{}, c.extra), 0U);
    EXPECT_EQ(sim::StderrText().find("szSig        = ") != std::string::npos, c.debug)
        << sim::StderrText();
    EXPECT_EQ(+StoredRecord()->lExitCode, static_cast<std::int32_t>(kProgramExit));
  }
}

}  // namespace
}  // namespace agent_test
