// Whole runs of the agent against the simulated NT, described by a small text
// format, and the checks every run must pass. Shared by the fuzz target and
// the fault matrix unit test.
//
// A scenario is a list of lines; the first byte of a line is its tag, the rest
// its value (raw bytes, up to the line break). Unknown tags are ignored, so a
// mutated line does no harm. Numbers are decimal ("-1", "4294967295") or
// "0x" hex.
//
//   record fields    S sig   V ver   F flag file   P program   A args
//                    W work dir   U shell flag   E host lErrorCode
//                    X host lExitCode   (a text as long as its field or
//                    longer fills the field without a terminator)
//   R<off>:<hex>     overwrite record bytes at <off>
//   L<n>             the record file is <n> bytes long (cut or padded)
//   o<kind>          record file: f plain, r read-only, d a directory, m none
//   q<kind>          flag file, same kinds
//   a<form><dbg>[rest]  command line. form 0 no record path, 1 plain,
//                    2 quoted, 3 forward slashes and other case, 4 relative
//                    to the start directory. dbg 0 none, 1 "1", 2 "01",
//                    3 "1 " quoted. rest: further arguments.
//   c<dir>           the agent's start directory (made if missing)
//   e<name=value>    an environment entry, in order
//   f<flags> <path>  a file: p program, d directory, r read-only
//   r<letter>        add a drive      n<letter>   drive not ready
//   h<in><out><err>[<line>]  standard handle kinds 0 console, 1 file,
//                    2 pipe, 3 invalid, 4 null; line 0: console reads are
//                    not cut at line ends
//   t<code>          standard input fails with <code> once used up
//   g<code>          every write to standard error fails with <code>
//   i<text>          standard input text followed by "\n"
//   I<text>          standard input text
//   x<code>          exit code of every program
//   b<acts>          what a started program does: f removes the flag file,
//                    r makes the record read-only, R removes the record,
//                    a removes the agent's start directory
//   k<hex>           start-up block bytes
//   z[*]<op> <nth> <code>  make the nth call of op fail (* and every later)
//   w<nth> <bytes>   the nth WriteFile takes only <bytes> bytes
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "agent/run.h"
#include "job/job_record.h"
#include "sim.h"

namespace agent_scenario {

inline constexpr const char* kRecordPath = "C:\\JOBS\\job.rec";
inline constexpr const char* kFlagPath = "C:\\JOBS\\job.flg";
inline constexpr const char* kAgentDir = "C:\\AGENT";
inline constexpr std::size_t kRecordSize = sizeof(JobRecord);
inline constexpr std::size_t kMaxRecordFile = 4096;
inline constexpr int kMaxNth = 4096;

struct FaultPlan {
  sim::Op op = sim::Op::CreateFileA;
  int nth = 1;
  nt::u32 error = 0;
  bool fromThenOn = false;
};

struct CutWrite {
  int nth = 1;
  nt::u32 accepted = 0;
};

struct FileEntry {
  std::string path;
  bool program = false;
  bool directory = false;
  bool readOnly = false;
};

struct Scenario {
  std::string sig = "!WDX";
  std::string ver = "1.0";
  std::string flagFile = kFlagPath;
  std::string execProg = "prog";
  std::string args;
  std::string workDir;
  std::int32_t useShell = 0;
  std::int32_t errorCode = 0x1234;
  std::int32_t exitCode = 0x55;
  std::vector<std::pair<std::size_t, std::string>> overlays;
  std::optional<std::size_t> recordLength;
  char recordKind = 'f';
  char flagKind = 'f';
  int commandForm = 1;
  int debugForm = 0;
  std::string moreArgs;
  std::string startDir = kAgentDir;
  std::vector<std::string> environment;
  std::vector<FileEntry> files;
  std::vector<char> drives;
  std::vector<char> notReady;
  sim::Stream stdinKind = sim::Stream::Console;
  sim::Stream stdoutKind = sim::Stream::Console;
  sim::Stream stderrKind = sim::Stream::Console;
  bool linePerRead = true;
  nt::u32 stdinReadError = 0;
  nt::u32 stderrWriteError = 0;
  std::string input;
  nt::u32 programExit = 0;
  std::string behaviour;
  std::optional<std::string> startupBlock;
  std::vector<FaultPlan> faults;
  std::vector<CutWrite> shortWrites;
};

// ---------------------------------------------------------------------------
// Parsing

namespace detail {

inline bool ParseNumber(std::string_view text, std::int64_t* value) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 16) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (digit >= base) return false;
    result = result * base + digit;
  }
  auto magnitude = static_cast<std::int64_t>(result & 0x7FFFFFFFFFFFULL);
  *value = negative ? -magnitude : magnitude;
  return true;
}

inline nt::u32 AsU32(std::int64_t value) {
  return static_cast<nt::u32>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFULL);
}

inline std::int32_t AsI32(std::int64_t value) {
  return static_cast<std::int32_t>(AsU32(value));
}

inline std::optional<std::string> ParseHex(std::string_view text) {
  std::string bytes;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = nibble(text[i]);
    int low = nibble(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>((high << 4) | low));
  }
  return bytes;
}

inline constexpr sim::Op kLastOp = sim::Op::ExitProcess;

inline std::optional<sim::Op> ParseOp(std::string_view text) {
  std::int64_t number = 0;
  if (ParseNumber(text, &number)) {
    if (number < 0 || number > static_cast<std::int64_t>(kLastOp)) return std::nullopt;
    return static_cast<sim::Op>(number);
  }
  for (int i = 0; i <= static_cast<int>(kLastOp); ++i) {
    auto op = static_cast<sim::Op>(i);
    if (text == sim::OpName(op)) return op;
  }
  return std::nullopt;
}

inline sim::Stream StreamKind(char c) {
  switch (c) {
    case '1':
      return sim::Stream::File;
    case '2':
      return sim::Stream::Pipe;
    case '3':
      return sim::Stream::Invalid;
    case '4':
      return sim::Stream::Null;
    default:
      return sim::Stream::Console;
  }
}

// Splits "a b c" at blanks (at most `parts` pieces; the last keeps the rest).
inline std::vector<std::string_view> Words(std::string_view text, std::size_t parts) {
  std::vector<std::string_view> words;
  while (!text.empty() && words.size() + 1 < parts) {
    std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) break;
    words.push_back(text.substr(0, blank));
    text.remove_prefix(blank + 1);
  }
  words.push_back(text);
  return words;
}

}  // namespace detail

inline Scenario Parse(std::string_view text) {
  using detail::AsI32;
  using detail::AsU32;
  using detail::ParseNumber;
  Scenario s;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    const char tag = line[0];
    std::string_view value = line.substr(1);
    std::int64_t number = 0;
    const bool isNumber = ParseNumber(value, &number);
    switch (tag) {
      case 'S':
        s.sig = std::string(value);
        break;
      case 'V':
        s.ver = std::string(value);
        break;
      case 'F':
        s.flagFile = std::string(value);
        break;
      case 'P':
        s.execProg = std::string(value);
        break;
      case 'A':
        s.args = std::string(value);
        break;
      case 'W':
        s.workDir = std::string(value);
        break;
      case 'U':
        if (isNumber) s.useShell = AsI32(number);
        break;
      case 'E':
        if (isNumber) s.errorCode = AsI32(number);
        break;
      case 'X':
        if (isNumber) s.exitCode = AsI32(number);
        break;
      case 'R': {
        std::size_t colon = value.find(':');
        std::int64_t offset = 0;
        if (colon == std::string_view::npos || !ParseNumber(value.substr(0, colon), &offset)) break;
        auto bytes = detail::ParseHex(value.substr(colon + 1));
        if (bytes && offset >= 0 && offset < static_cast<std::int64_t>(kRecordSize))
          s.overlays.emplace_back(static_cast<std::size_t>(offset), *bytes);
        break;
      }
      case 'L':
        if (isNumber && number >= 0 && number <= static_cast<std::int64_t>(kMaxRecordFile))
          s.recordLength = static_cast<std::size_t>(number);
        break;
      case 'o':
        if (!value.empty()) s.recordKind = value[0];
        break;
      case 'q':
        if (!value.empty()) s.flagKind = value[0];
        break;
      case 'a':
        s.commandForm = value.size() > 0 ? (value[0] - '0') : 1;
        s.debugForm = value.size() > 1 ? (value[1] - '0') : 0;
        s.moreArgs = value.size() > 2 ? std::string(value.substr(2)) : std::string();
        break;
      case 'c':
        if (!value.empty()) s.startDir = std::string(value);
        break;
      case 'e':
        s.environment.emplace_back(value);
        break;
      case 'f': {
        auto words = detail::Words(value, 2);
        if (words.size() != 2 || words[1].empty()) break;
        FileEntry file;
        file.path = std::string(words[1]);
        file.program = words[0].find('p') != std::string_view::npos;
        file.directory = words[0].find('d') != std::string_view::npos;
        file.readOnly = words[0].find('r') != std::string_view::npos;
        s.files.push_back(file);
        break;
      }
      case 'r':
        if (!value.empty()) s.drives.push_back(value[0]);
        break;
      case 'n':
        if (!value.empty()) s.notReady.push_back(value[0]);
        break;
      case 'h':
        if (value.size() > 0) s.stdinKind = detail::StreamKind(value[0]);
        if (value.size() > 1) s.stdoutKind = detail::StreamKind(value[1]);
        if (value.size() > 2) s.stderrKind = detail::StreamKind(value[2]);
        if (value.size() > 3) s.linePerRead = value[3] != '0';
        break;
      case 't':
        if (isNumber) s.stdinReadError = AsU32(number);
        break;
      case 'g':
        if (isNumber) s.stderrWriteError = AsU32(number);
        break;
      case 'i':
        s.input.append(value);
        s.input.push_back('\n');
        break;
      case 'I':
        s.input.append(value);
        break;
      case 'x':
        if (isNumber) s.programExit = AsU32(number);
        break;
      case 'b':
        s.behaviour.append(value);
        break;
      case 'k': {
        auto bytes = detail::ParseHex(value);
        if (bytes) s.startupBlock = *bytes;
        break;
      }
      case 'z': {
        FaultPlan fault;
        if (!value.empty() && value[0] == '*') {
          fault.fromThenOn = true;
          value.remove_prefix(1);
        }
        auto words = detail::Words(value, 3);
        std::int64_t nth = 0;
        std::int64_t code = 0;
        if (words.size() != 3) break;
        auto op = detail::ParseOp(words[0]);
        if (!op || !ParseNumber(words[1], &nth) || !ParseNumber(words[2], &code)) break;
        if (nth < 1 || nth > kMaxNth) break;
        fault.op = *op;
        fault.nth = static_cast<int>(nth);
        fault.error = AsU32(code);
        s.faults.push_back(fault);
        break;
      }
      case 'w': {
        auto words = detail::Words(value, 2);
        std::int64_t nth = 0;
        std::int64_t accepted = 0;
        if (words.size() != 2 || !ParseNumber(words[0], &nth) || !ParseNumber(words[1], &accepted))
          break;
        if (nth < 1 || nth > kMaxNth || accepted < 0) break;
        s.shortWrites.push_back(CutWrite{static_cast<int>(nth), AsU32(accepted)});
        break;
      }
      default:
        break;
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// Setting up the machine

// A file the scenario made, with what it held before the run.
struct Tracked {
  std::string path;
  std::string content;
  bool unique = false;  // no other tracked file holds the same bytes
};

// What a started program did to the machine.
struct ProgramEffects {
  std::string startDir;
  std::vector<std::string> watch;  // tracked paths
  bool ran = false;
  std::size_t callIndex = 0;  // the CreateProcessA entry of the call log
  bool recordRemoved = false;
  std::vector<std::string> removed;  // watched paths it removed
};

// The machine as the scenario set it up, for the checks after the run.
struct Prepared {
  std::string recordArg;  // the record path as the agent must receive it; "" for none
  bool debug = false;
  std::optional<std::string> host;  // the record file's bytes; nullopt when not a file
  std::string startDir;             // as the machine reports it
  std::vector<Tracked> tracked;
  // The flag file the record names, when the name is certain to mean one
  // tracked file all run long.
  std::optional<std::string> flagTarget;
  bool flagTargetDeletable = false;
  std::vector<FaultPlan> faults;  // those armed
  std::vector<CutWrite> shortWrites;
  std::shared_ptr<ProgramEffects> effects = std::make_shared<ProgramEffects>();
  std::vector<std::string> environment;  // as the process received it
};

namespace detail {

inline std::string RecordBytes(const Scenario& s) {
  JobRecord record;
  std::memset(&record, 0, sizeof record);
  auto put = [](char* field, std::size_t width, const std::string& text) {
    std::memcpy(field, text.data(), std::min(width, text.size()));
  };
  put(record.szSig, sizeof record.szSig, s.sig);
  put(record.szVer, sizeof record.szVer, s.ver);
  put(record.szFlagFile, sizeof record.szFlagFile, s.flagFile);
  put(record.szExecProg, sizeof record.szExecProg, s.execProg);
  put(record.szArgs, sizeof record.szArgs, s.args);
  put(record.szWorkDir, sizeof record.szWorkDir, s.workDir);
  record.bUseShell = s.useShell;
  record.lErrorCode = s.errorCode;
  record.lExitCode = s.exitCode;
  std::string bytes(reinterpret_cast<const char*>(&record), sizeof record);
  for (const auto& overlay : s.overlays) {
    std::size_t length = std::min(overlay.second.size(), bytes.size() - overlay.first);
    bytes.replace(overlay.first, length, overlay.second.substr(0, length));
  }
  if (s.recordLength) bytes.resize(*s.recordLength, 'Z');
  return bytes;
}

inline bool IsAbsolute(const std::string& path) {
  auto slash = [](char c) { return c == '\\' || c == '/'; };
  bool drive = path.size() >= 3 &&
               ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive && path[1] == ':' && slash(path[2])) return true;
  return path.size() >= 2 && slash(path[0]) && slash(path[1]);
}

// The record path as the agent's start directory reaches it by a relative name.
inline std::string RelativeRecordPath(const std::string& startDir) {
  std::string folded;
  for (char c : startDir) folded.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c);
  if (folded == "C:\\JOBS") return "job.rec";
  if (folded == "C:\\AGENT") return "..\\JOBS\\job.rec";
  if (folded == "C:\\") return "JOBS\\job.rec";
  return kRecordPath;
}

template <std::size_t N>
std::optional<std::string> FieldText(const char (&field)[N]) {
  const void* end = std::memchr(field, '\0', N);
  if (end == nullptr) return std::nullopt;
  return std::string(field, static_cast<std::size_t>(static_cast<const char*>(end) - field));
}

inline JobRecord AsRecord(const std::string& bytes) {
  JobRecord record;
  std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

}  // namespace detail

// A path as the machine resolved it while it was built (current directory
// C:\, no per-drive variables), so it means the same file after the run.
inline std::string Canonical(const std::string& path) {
  if (detail::IsAbsolute(path)) return path;
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\" + path.substr(2);
  if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return "C:" + path;
  return "C:\\" + path;
}

// What a started program does, as the scenario's b line says.
inline void ActAsProgram(ProgramEffects& effects, const std::string& acts) {
  std::vector<bool> before;
  for (const std::string& path : effects.watch) before.push_back(sim::Exists(path));
  for (char act : acts) {
    // Only the fixed names and the checked start directory are used here,
    // so the machine's set-up calls cannot refuse them.
    if (act == 'f') (void)sim::RemovePath(kFlagPath);
    if (act == 'R') (void)sim::RemovePath(kRecordPath);
    if (act == 'r' && sim::ReadFile(kRecordPath))
      sim::SetAttributes(kRecordPath, nt::kAttributeReadOnly);
    if (act == 'a') (void)sim::RemovePath(effects.startDir);
  }
  for (std::size_t i = 0; i < effects.watch.size(); ++i) {
    if (!before[i] || sim::Exists(effects.watch[i])) continue;
    effects.removed.push_back(effects.watch[i]);
    if (effects.watch[i] == kRecordPath) effects.recordRemoved = true;
  }
}

// Resets the machine and sets it up as the scenario says. Throws
// std::invalid_argument when the scenario asks for something the simulated
// machine cannot hold (a file in the way of a directory, a bad path).
inline Prepared Prepare(const Scenario& s) {
  sim::Reset();
  Prepared p;
  for (char letter : s.drives) sim::AddDrive(letter);
  sim::AddDir(kAgentDir);
  sim::AddDir("C:\\JOBS");
  std::shared_ptr<ProgramEffects> effects = p.effects;
  const nt::u32 programExit = s.programExit;
  const std::string acts = s.behaviour;
  std::vector<std::string> made;
  std::size_t serial = 0;
  for (const FileEntry& file : s.files) {
    if (file.directory) {
      sim::AddDir(file.path);
      continue;
    }
    if (file.program) {
      sim::AddProgram(file.path, [effects, programExit, acts](const sim::Launch&) {
        if (!effects->ran) {
          effects->ran = true;
          effects->callIndex = sim::Calls().size() - 1;
          ActAsProgram(*effects, acts);
        }
        return programExit;
      });
    } else {
      sim::AddFile(file.path,
                   "\x01"
                   "file#" +
                       std::to_string(serial++) + "\x01",
                   file.readOnly ? nt::kAttributeReadOnly : nt::kAttributeNormal);
    }
    made.push_back(file.path);
  }
  // The record and the flag file.
  const std::string record = detail::RecordBytes(s);
  if (s.recordKind == 'd') {
    sim::AddDir(kRecordPath);
  } else if (s.recordKind != 'm') {
    sim::AddFile(kRecordPath, record,
                 s.recordKind == 'r' ? nt::kAttributeReadOnly : nt::kAttributeNormal);
  }
  if (s.flagKind == 'd') {
    sim::AddDir(kFlagPath);
  } else if (s.flagKind != 'm') {
    sim::AddFile(kFlagPath,
                 "\x01"
                 "flag\x01",
                 s.flagKind == 'r' ? nt::kAttributeReadOnly : nt::kAttributeNormal);
  }
  // Every file once: spellings of one file share its content. Programs all
  // hold the same bytes, so they are never unique.
  made.insert(made.begin(), {kRecordPath, kFlagPath});
  for (const std::string& spelled : made) {
    // Tracked by a name that means the file from any directory; a name that
    // cannot be made so (an odd drive, say) is not tracked.
    const std::string path = Canonical(spelled);
    auto content = sim::ReadFile(spelled);
    if (!content || !detail::IsAbsolute(path) || sim::ReadFile(path) != content) continue;
    bool known = false;
    for (const Tracked& t : p.tracked)
      known = known || (t.content == *content && t.content != "MZ");
    if (!known) p.tracked.push_back(Tracked{path, *content, false});
  }
  for (Tracked& t : p.tracked) {
    int same = 0;
    for (const Tracked& other : p.tracked) same += other.content == t.content ? 1 : 0;
    t.unique = same == 1;
    effects->watch.push_back(t.path);
  }
  p.host = sim::ReadFile(kRecordPath);

  sim::AddDir(s.startDir);
  sim::SetCurrentDir(s.startDir);
  p.startDir = sim::CurrentDir();
  // The machine takes an overlong name without looking at its characters,
  // but not its shorter resolved spelling: such a start directory is refused
  // here rather than in the middle of a run.
  if (!sim::Exists(p.startDir)) throw std::invalid_argument("start directory unreachable");
  effects->startDir = p.startDir;
  for (char letter : s.notReady) sim::SetDriveReady(letter, false);

  // An environment block holds NUL-terminated, non-empty texts: an entry is
  // cut at its first NUL, and an empty one (which would end the block) left out.
  for (const std::string& entry : s.environment) {
    std::string text = entry.substr(0, entry.find('\0'));
    if (!text.empty()) p.environment.push_back(text);
  }
  sim::SetEnvironment(p.environment);

  // The flag file the record names, as the host and the flag check see it:
  // from the start directory.
  if (p.host && p.host->size() >= kRecordSize) {
    JobRecord loaded = detail::AsRecord(*p.host);
    auto flag = detail::FieldText(loaded.szFlagFile);
    // (A name ending in a separator names no file for the platform, though
    // the machine's inspection helpers take it.)
    if (flag && !flag->empty() && flag->back() != '\\' && flag->back() != '/') {
      try {
        auto content = sim::ReadFile(*flag);
        auto attributes = sim::Attributes(*flag);
        for (const Tracked& t : p.tracked) {
          if (content && t.unique && t.content == *content) {
            p.flagTarget = t.path;
            p.flagTargetDeletable = attributes && (*attributes & nt::kAttributeReadOnly) == 0;
            for (char letter : s.notReady)
              if ((t.path[0] | 0x20) == (letter | 0x20)) p.flagTargetDeletable = false;
          }
        }
      } catch (const std::invalid_argument&) {
        // Wildcards or other characters the machine does not take as a plain name.
      }
    }
  }

  sim::SetStdin(sim::Input{s.stdinKind, s.input, s.linePerRead, s.stdinReadError});
  sim::SetStdout(sim::Output{s.stdoutKind, "", 0});
  sim::SetStderr(sim::Output{s.stderrKind, "", s.stderrWriteError});
  if (s.startupBlock) sim::SetStartupBlock(s.startupBlock->substr(0, 0xFFFF));

  std::string commandLine = "ntagent.exe";
  std::string spelled;
  switch (s.commandForm) {
    case 0:
      break;
    case 2:
      p.recordArg = kRecordPath;
      spelled = std::string("\"") + kRecordPath + "\"";
      break;
    case 3:
      p.recordArg = "c:/jobs/JOB.REC";
      spelled = p.recordArg;
      break;
    case 4:
      p.recordArg = detail::RelativeRecordPath(p.startDir);
      spelled = p.recordArg;
      break;
    default:
      p.recordArg = kRecordPath;
      spelled = p.recordArg;
      break;
  }
  if (!spelled.empty()) {
    commandLine += " " + spelled;
    const char* second = nullptr;
    switch (s.debugForm) {
      case 1:
        second = "1";
        p.debug = true;
        break;
      case 2:
        second = "01";
        break;
      case 3:
        second = "\"1 \"";
        break;
      default:
        break;
    }
    if (second == nullptr && !s.moreArgs.empty()) second = "0";
    if (second != nullptr) commandLine += std::string(" ") + second;
    if (!s.moreArgs.empty()) commandLine += " " + s.moreArgs;
  }
  sim::SetCommandLine(commandLine);

  // Faults last: arming counts calls from here on.
  for (const FaultPlan& fault : s.faults) {
    try {
      if (fault.fromThenOn) {
        sim::FailCallsFrom(fault.op, fault.nth, fault.error);
      } else {
        sim::FailCall(fault.op, fault.nth, fault.error);
      }
      p.faults.push_back(fault);
    } catch (const std::invalid_argument&) {
      // An operation that cannot fail.
    }
  }
  for (const CutWrite& shortWrite : s.shortWrites) {
    sim::ShortWrite(shortWrite.nth, shortWrite.accepted);
    p.shortWrites.push_back(shortWrite);
  }
  return p;
}

// ---------------------------------------------------------------------------
// The checks

namespace detail {

// Which calls of the log an armed fault made fail, and which writes were cut.
struct FaultMap {
  std::vector<bool> failed;
  std::vector<nt::u32> error;               // the code a failed call reported
  std::vector<std::optional<nt::u32>> cut;  // WriteFile calls: bytes accepted
};

inline FaultMap MapFaults(const Prepared& p, const std::vector<sim::Call>& calls) {
  FaultMap map;
  map.failed.assign(calls.size(), false);
  map.error.assign(calls.size(), 0);
  map.cut.assign(calls.size(), std::nullopt);
  std::vector<int> counts(static_cast<std::size_t>(kLastOp) + 1, 0);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    int number = ++counts[static_cast<std::size_t>(calls[i].op)];
    for (const FaultPlan& fault : p.faults) {
      if (fault.op != calls[i].op) continue;
      if (map.failed[i]) continue;  // the first armed fault that matches wins
      if (number == fault.nth || (fault.fromThenOn && number >= fault.nth)) {
        map.failed[i] = true;
        map.error[i] = fault.error;
      }
    }
    if (calls[i].op != sim::Op::WriteFile || map.failed[i]) continue;
    for (const CutWrite& shortWrite : p.shortWrites) {
      if (number == shortWrite.nth && !map.cut[i]) map.cut[i] = shortWrite.accepted;
    }
  }
  return map;
}

inline bool IsRecordOp(const sim::Call& call, const std::string& recordArg) {
  switch (call.op) {
    case sim::Op::CreateFileA:
    case sim::Op::ReadFile:
    case sim::Op::WriteFile:
    case sim::Op::SetFilePointer:
    case sim::Op::SetEndOfFile:
    case sim::Op::CloseHandle:
      return call.arg == recordArg;
    default:
      return false;
  }
}

inline std::string WithStatus(std::string bytes, std::int32_t errorCode, std::int32_t exitCode) {
  std::memcpy(&bytes[offsetof(JobRecord, lErrorCode)], &errorCode, sizeof errorCode);
  std::memcpy(&bytes[offsetof(JobRecord, lExitCode)], &exitCode, sizeof exitCode);
  return bytes;
}

inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

inline std::string FieldOrWhole(const char* field, std::size_t width) {
  const void* end = std::memchr(field, '\0', width);
  std::size_t length =
      end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : width;
  return std::string(field, length);
}

// The first environment value of `name`, ASCII letters folded.
inline std::optional<std::string> EnvironmentValue(const std::vector<std::string>& entries,
                                                   const std::string& name) {
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  for (const std::string& entry : entries) {
    if (entry.size() <= name.size() || entry[name.size()] != '=') continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size(); ++i) same = same && fold(entry[i]) == fold(name[i]);
    if (same) return entry.substr(name.size() + 1);
  }
  return std::nullopt;
}

struct Store {
  std::size_t open = 0;  // log index of its CreateFileA
  bool opened = false;
  std::size_t bytes = 0;  // bytes that reached the file
  bool cut = false;       // the end of file was set after them
  bool succeeded = false;
  std::size_t last = 0;  // log index of its last call
};

}  // namespace detail

// Every broken rule of the run, one line each; empty when the run held them
// all. `exitCode` is what the agent ended with.
inline std::vector<std::string> Check(const Scenario& s, const Prepared& p, nt::u32 exitCode) {
  using namespace detail;
  std::vector<std::string> broken;
  auto require = [&broken](bool holds, const std::string& what) {
    if (!holds) broken.push_back(what);
  };
  const std::vector<sim::Call>& calls = sim::Calls();
  const FaultMap faults = MapFaults(p, calls);
  const nt::u32 e = exitCode;
  const std::vector<nt::u32> codes = {0, 1, 241, 513, 514, 515, 516, 517};
  require(std::find(codes.begin(), codes.end(), e) != codes.end(),
          "exit code " + std::to_string(e) + " is not 0 or an agent code");
  require(sim::OpenHandleCount() == 0, "handles left open");
  require(sim::OpenEnvironmentBlocks() == 0, "environment block not freed");

  // The record file: one load, then the stores, replayed against the host's
  // bytes with the faults that hit them.
  std::vector<std::size_t> opens;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != sim::Op::CreateFileA) continue;
    require(calls[i].arg == p.recordArg,
            "CreateFileA of " + calls[i].arg + ", not the record path " + p.recordArg);
    opens.push_back(i);
  }
  if (p.recordArg.empty()) {
    require(e == 241, "no record path but exit code " + std::to_string(e));
  }
  const bool loadable = p.host && p.host->size() >= kRecordSize;
  if (opens.empty() && !p.recordArg.empty()) {
    require(e == 241 || e == 513,
            "the record was never opened but exit code is " + std::to_string(e));
  }
  std::vector<Store> stores;
  for (std::size_t k = 1; k < opens.size(); ++k) {
    Store store;
    store.open = opens[k];
    store.last = store.open;
    const std::size_t end = k + 1 < opens.size() ? opens[k + 1] : calls.size();
    bool endSet = false;
    bool endSetOk = false;
    bool closedOk = false;
    for (std::size_t i = store.open + 1; i < end; ++i) {
      const sim::Call& call = calls[i];
      if (!IsRecordOp(call, p.recordArg)) continue;
      store.last = i;
      store.opened = true;
      if (call.op == sim::Op::WriteFile) {
        require(store.bytes == 0, "more than one write in a store");
        if (faults.failed[i]) {
          store.bytes = 0;
        } else if (faults.cut[i]) {
          store.bytes = std::min<std::size_t>(kRecordSize, *faults.cut[i]);
        } else {
          store.bytes = kRecordSize;
        }
      } else if (call.op == sim::Op::SetEndOfFile) {
        require(store.bytes == kRecordSize, "end of file set after a short write");
        endSet = true;
        endSetOk = !faults.failed[i];
      } else if (call.op == sim::Op::CloseHandle) {
        closedOk = !faults.failed[i];
      } else {
        broken.push_back(std::string(sim::OpName(call.op)) + " of the record during a store");
      }
    }
    if (store.opened) require(!faults.failed[store.open], "a store went on after its open failed");
    if (store.bytes == kRecordSize)
      require(endSet, "a whole record was written but the end of file was not set");
    store.cut = endSetOk;
    store.succeeded = store.opened && store.bytes == kRecordSize && endSetOk && closedOk;
    // A store fails only for a reason: a fault in it, a record made
    // read-only, or a program that removed the record (with its folder).
    if (!store.succeeded) {
      const bool programBefore = p.effects->ran && p.effects->callIndex < store.open;
      bool cause = s.recordKind == 'r' ||
                   (programBefore &&
                    (s.behaviour.find('r') != std::string::npos || p.effects->recordRemoved));
      for (std::size_t i = store.open; i <= store.last; ++i)
        cause = cause || faults.failed[i] || faults.cut[i].has_value();
      require(cause, "a store failed with no fault to cause it (" + p.recordArg + ")");
    }
    stores.push_back(store);
  }
  if (!opens.empty()) {
    require(!stores.empty() || e == 513, "the load ended the run with " + std::to_string(e));
  }
  if (!stores.empty()) {
    require(loadable, "the agent went on after loading a record file of " +
                          std::to_string(p.host ? p.host->size() : 0) + " bytes");
  }
  require(stores.size() <= 2, std::to_string(stores.size()) + " stores");
  const bool stepSix = !stores.empty() && stores[0].succeeded;
  if (!stores.empty() && !stores[0].succeeded) {
    require(e == 513 && stores.size() == 1,
            "the started store failed but exit code is " + std::to_string(e));
  }

  const std::vector<sim::Launch>& launches = sim::Launches();
  require(launches.size() <= 1, std::to_string(launches.size()) + " programs started");
  const bool launched = !launches.empty();
  std::optional<JobRecord> loaded;
  if (loadable) loaded = AsRecord(*p.host);

  // The flag file deletions, needed for the record when it is its own flag.
  std::optional<std::string> flagText;
  if (loaded) flagText = FieldText(loaded->szFlagFile);
  std::vector<std::size_t> deletions;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != sim::Op::DeleteFileA) continue;
    deletions.push_back(i);
    require(flagText && calls[i].arg == *flagText, "DeleteFileA of " + calls[i].arg);
  }
  bool anyDeletionLeft = false;
  for (std::size_t i : deletions) anyDeletionLeft = anyDeletionLeft || !faults.failed[i];
  const bool recordIsFlag = p.flagTarget && *p.flagTarget == kRecordPath;

  const std::optional<std::string> actual = sim::ReadFile(kRecordPath);
  if (loadable && !stores.empty()) {
    const std::string hostRecord = p.host->substr(0, kRecordSize);
    const std::int32_t hostExit = loaded->lExitCode;
    // The image of each store, by what the exit code says the run did.
    std::vector<std::vector<std::string>> images(stores.size());
    images[0].push_back(WithStatus(hostRecord, AGENT_STARTED, hostExit));
    if (stores.size() >= 2) {
      if (e == 0 || e == 514 || e == 513) {
        require(launched, "a final store without a program run, exit code " + std::to_string(e));
        if (launched)
          images[1].push_back(
              WithStatus(hostRecord, AGENT_OK, static_cast<std::int32_t>(launches[0].exitCode)));
      } else if (e == 1) {
        for (std::uint16_t detail : {LAUNCH_ERR_NOT_FOUND, LAUNCH_ERR_NO_MEMORY,
                                     LAUNCH_ERR_TOO_LONG, LAUNCH_ERR_BAD_FORMAT, LAUNCH_ERR_OTHER})
          images[1].push_back(WithStatus(hostRecord, PackStatusWord(AGENT_ERR_LAUNCH, detail), 0));
      } else if (e == 241) {
        images[1].push_back(WithStatus(hostRecord, AGENT_ERR_VERSION, 0));
      } else {
        broken.push_back("a second store before ending with " + std::to_string(e));
      }
    }
    // Replay the stores on the host's bytes, for each image the last could have.
    const std::size_t choices = std::max<std::size_t>(1, images.back().size());
    bool matched = false;
    std::string expectedSize;
    for (std::size_t choice = 0; choice < choices && !matched; ++choice) {
      std::optional<std::string> model = p.host;
      bool removalDone = false;
      auto removeIfDue = [&](std::size_t before) {
        if (p.effects->recordRemoved && !removalDone && p.effects->callIndex < before) {
          model.reset();
          removalDone = true;
        }
      };
      for (std::size_t k = 0; k < stores.size() && k < images.size(); ++k) {
        const Store& store = stores[k];
        removeIfDue(store.open);
        if (!store.opened || images[k].empty()) continue;
        const std::string& image = images[k][k + 1 == stores.size() ? choice : 0];
        if (!model) model = std::string();
        if (model->size() < store.bytes) model->resize(store.bytes);
        model->replace(0, store.bytes, image.substr(0, store.bytes));
        if (store.cut) model->resize(kRecordSize);
      }
      removeIfDue(calls.size());
      if (recordIsFlag && anyDeletionLeft) model.reset();
      matched = model == actual;
      if (choice == 0) expectedSize = model ? std::to_string(model->size()) : "none";
    }
    require(matched || (!p.flagTarget && !actual),
            "the record file is not what the stores left (expected " + expectedSize +
                " bytes, found " + (actual ? std::to_string(actual->size()) : "none") + ")");
    if (actual && actual->size() == kRecordSize) {
      JobRecord stored = AsRecord(*actual);
      if (e == 0) {
        require(stored.lErrorCode == AGENT_OK, "exit code 0 but the record's status is not 0");
      } else if (e == 1 && stores.size() == 2 && stores[1].succeeded) {
        require((stored.lErrorCode & 0xFFFF) == AGENT_ERR_LAUNCH && stored.lExitCode == 0,
                "exit code 1 but the record holds no launch failure");
      } else if (e == 241 && stores.size() == 2 && stores[1].succeeded) {
        require(stored.lErrorCode == AGENT_ERR_VERSION && stored.lExitCode == 0,
                "exit code 241 but the record holds no version failure");
      }
    }
  } else {
    bool removed = p.effects->recordRemoved || (recordIsFlag && anyDeletionLeft);
    require(actual == p.host || (removed && !actual), "the record changed without a store");
  }

  // Exit code against the run.
  if (e == 0 || e == 514 || e == 515 || e == 516 || e == 517) {
    require(stepSix, "exit code " + std::to_string(e) + " without the started marker stored");
  }
  if (e == 0 || e == 514) {
    require(stores.size() == 2 && stores[1].succeeded,
            "exit code " + std::to_string(e) + " without the outcome stored");
    require(launched, "exit code " + std::to_string(e) + " without a program run");
  }
  if (e == 515 || e == 516 || e == 517) {
    require(stores.size() == 1, "exit code " + std::to_string(e) + " after a second store");
  }
  if (stepSix && (e == 1 || e == 241 || e == 513)) {
    require(stores.size() == 2,
            "exit code " + std::to_string(e) + " but the outcome was never stored");
  }
  if (!launched) require(e != 0 && e != 514, "success without a program run");
  if (launched) {
    require(e == 0 || e == 1 || e == 513 || e == 514 || e == 516,
            "a program ran but exit code is " + std::to_string(e));
  }
  if (e == 0) require(sim::CurrentDir() == p.startDir, "not back in the start directory");

  if (stepSix && loaded) {
    const bool sigOk = std::memcmp(loaded->szSig, "!WDX", 5) == 0;
    const bool verOk = std::memcmp(loaded->szVer, "1.0", 4) == 0;
    if (!sigOk) require(e == 517, "a bad signature ended with " + std::to_string(e));
    if (sigOk && !verOk) require(e == 241, "a bad version ended with " + std::to_string(e));
    if (sigOk && verOk) require(e != 517 && e != 241, "a good job rejected");
    if (e == 516) require(loaded->szWorkDir[0] != '\0', "516 without a working directory");
    if (loaded->szWorkDir[0] == '\0')
      require(sim::CallCount(sim::Op::SetCurrentDirectoryA) == 0,
              "directory switched without a working directory");
  }

  // The flag file: deleted only from the started marker on, by its own name,
  // after the last record write; gone exactly when a deletion succeeded.
  std::size_t lastRecordOp = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (IsRecordOp(calls[i], p.recordArg)) lastRecordOp = i;
  }
  if (!deletions.empty()) {
    require(stepSix && deletions[0] > stores[0].last,
            "flag file deleted before the started marker");
    require(deletions[0] > lastRecordOp, "the record was written after the flag file went");
  }
  if (stepSix && flagText) require(!deletions.empty(), "the flag file was never deleted");
  require(deletions.size() <= 2, std::to_string(deletions.size()) + " deletions");
  require((deletions.size() == 2) == (e == 514),
          std::to_string(deletions.size()) + " deletions with exit code " + std::to_string(e));
  if (e == 0 && flagText) {
    // A deletion the platform refused with code 0 counts as done.
    bool refusedWithoutCode = false;
    for (std::size_t i : deletions)
      refusedWithoutCode = refusedWithoutCode || (faults.failed[i] && faults.error[i] == 0);
    try {
      require(!sim::Exists(*flagText) || refusedWithoutCode,
              "exit code 0 but the flag file is still there");
    } catch (const std::invalid_argument&) {
      broken.push_back("exit code 0 with a flag path no file can have: " + *flagText);
    }
  }
  for (const Tracked& t : p.tracked) {
    const bool gone = !sim::Exists(t.path);
    const auto& removed = p.effects->removed;
    if (std::find(removed.begin(), removed.end(), t.path) != removed.end()) continue;
    if (p.flagTarget && *p.flagTarget == t.path) {
      if (p.flagTargetDeletable) {
        require(gone == anyDeletionLeft,
                gone ? "the flag file went without a deletion" : "the flag file is still there");
      } else {
        require(!gone, "a flag file that cannot be deleted went");
      }
    } else if (gone) {
      require(!deletions.empty() && (!p.flagTarget || !t.unique),
              "a file went that was not the flag file: " + t.path);
    }
  }

  // Nothing is started before the job passed its checks.
  std::size_t firstSearch = calls.size();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op == sim::Op::FindFirstFileA) {
      require(flagText && calls[i].arg == *flagText, "FindFirstFileA of " + calls[i].arg);
      require(stepSix && i > stores[0].last, "flag checked before the started marker");
      firstSearch = std::min(firstSearch, i);
    }
    if (calls[i].op == sim::Op::CreateProcessA) {
      require(stepSix && i > firstSearch, "a start before the flag check");
      require(loaded && std::memcmp(loaded->szSig, "!WDX", 5) == 0 &&
                  std::memcmp(loaded->szVer, "1.0", 4) == 0,
              "a start for a job that failed validation");
    }
  }
  if (launched && loaded) {
    // The program sees only what lies inside its fields.
    auto prog = FieldText(loaded->szExecProg);
    auto args = FieldText(loaded->szArgs);
    require(prog && args, "a start with an unterminated program or argument text");
    if (prog && args) {
      std::string expected;
      if (loaded->bUseShell == 0) {
        expected = *prog + (args->empty() ? "" : " " + *args);
      } else {
        auto comspec = EnvironmentValue(p.environment, "COMSPEC");
        expected = comspec.value_or("?").substr(0, 254) + " /c " + *prog + " " + *args;
      }
      require(launches[0].commandLine == expected,
              "command line \"" + launches[0].commandLine + "\", expected \"" + expected + "\"");
    }
  }

  // Debug mode echoes each field within its width.
  // (Only when standard error takes every byte: an inherited block may give
  // it another handle.)
  bool quietFaults = s.stderrKind == sim::Stream::Invalid || s.stderrKind == sim::Stream::Null ||
                     s.stderrWriteError != 0 || !p.shortWrites.empty() ||
                     s.startupBlock.has_value();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (faults.failed[i] &&
        (calls[i].op == sim::Op::WriteFile || calls[i].op == sim::Op::GetStdHandle ||
         calls[i].op == sim::Op::HeapAlloc))
      quietFaults = true;
  }
  if (p.debug && stepSix && loaded && !quietFaults) {
    const std::string& text = sim::StderrText();
    const std::pair<const char*, std::string> lines[] = {
        {"szSig        = ", FieldOrWhole(loaded->szSig, sizeof loaded->szSig)},
        {"szVer        = ", FieldOrWhole(loaded->szVer, sizeof loaded->szVer)},
        {"szExecProg   = ", FieldOrWhole(loaded->szExecProg, sizeof loaded->szExecProg)},
        {"szArgs       = ", FieldOrWhole(loaded->szArgs, sizeof loaded->szArgs)},
        {"szWorkDir    = ", FieldOrWhole(loaded->szWorkDir, sizeof loaded->szWorkDir)},
    };
    for (const auto& line : lines) {
      std::string expected = std::string(line.first) + Crlf(line.second) + "\r\n";
      require(text.find(expected) != std::string::npos,
              std::string("debug echo line missing: ") + line.first);
    }
  }
  return broken;
}

// ---------------------------------------------------------------------------
// One run

struct Outcome {
  bool ran = false;  // false: the scenario could not be set up
  nt::u32 exitCode = 0;
  std::vector<std::string> broken;
};

inline Outcome RunScenario(const Scenario& s) {
  Outcome outcome;
  Prepared p;
  try {
    p = Prepare(s);
  } catch (const std::invalid_argument&) {
    return outcome;
  }
  outcome.ran = true;
  bool exited = false;
  try {
    ProcessEntry();
  } catch (const sim::ProcessExit& exit) {
    exited = true;
    outcome.exitCode = exit.code;
  } catch (const std::exception& error) {
    outcome.broken.push_back(std::string("the simulated NT refused a call: ") + error.what());
    return outcome;
  }
  if (!exited) {
    outcome.broken.push_back("the agent returned without ending the process");
    return outcome;
  }
  outcome.broken = Check(s, p, outcome.exitCode);
  return outcome;
}

// The call log, one call a line, for a report.
inline std::string DescribeCalls() {
  std::ostringstream out;
  std::size_t index = 0;
  for (const sim::Call& call : sim::Calls()) out << index++ << " " << call << "\n";
  return out.str();
}

}  // namespace agent_scenario
