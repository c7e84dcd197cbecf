// The simulated NT: an in-memory machine behind platform/nt.h, and the controls
// a native test uses to set it up, break it and inspect it.
//
// One machine per process, plain functions over it, one thread. Reset() gives a
// fresh machine; every test should start with it.
//
// Behaviour worth knowing when writing a test:
// - Paths resolve as NT does: '/' and '\' both separate; "." and ".." are
//   applied; the last component loses trailing dots and blanks ("prog." names
//   "prog"); "X:rest" resolves against the current directory when it is on
//   drive X, else against the per-drive variable "=X:" of the process
//   environment when that names a directory on X, else against "X:\".
//   Names compare without regard to ASCII case and keep the case they were
//   created with. The current directory keeps the case the caller typed, as
//   on NT (SetCurrentDirectoryA("c:\\work") reports "c:\work").
// - A path text of 260 characters or more fails with 206. An empty path fails
//   with 3 (FindFirstFileA: 2). Wildcards or <>|" in a path, or in a search
//   pattern anywhere but its last component, fail with 123; so does a trailing
//   separator after a file name.
// - A missing drive fails with 3, an unknown server with 53, an unknown share
//   on a known server with 67, a not-ready drive with 21.
// - CreateFileA success sets the last error to 0, or to 183 when
//   CREATE_ALWAYS/OPEN_ALWAYS found the file, as NT does. Other successful
//   calls leave it alone.
// - A program "runs" inside CreateProcessA, after its Launch is recorded and
//   before CreateProcessA returns; WaitForSingleObject then returns at once.
//   Behaviours should change the machine through the sim:: helpers, not
//   through nt:: calls (those would count against faults and the call log);
//   the last error is restored around the behaviour.
// - Handle kInvalidHandle is the current-process pseudo handle, as on NT:
//   CloseHandle on it succeeds, GetExitCodeProcess reports 259 (still active).
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/nt.h"

namespace sim {

// NT error codes the simulation produces besides those nt.h names.
inline constexpr nt::u32 kErrorBadNetPath = 53;
inline constexpr nt::u32 kErrorBadNetName = 67;
inline constexpr nt::u32 kErrorFileExists = 80;
inline constexpr nt::u32 kErrorInvalidParameter = 87;
inline constexpr nt::u32 kErrorInvalidName = 123;
inline constexpr nt::u32 kErrorBadPathName = 161;
inline constexpr nt::u32 kErrorAlreadyExists = 183;
inline constexpr nt::u32 kErrorFilenameTooLong = 206;
inline constexpr nt::u32 kErrorDirectory = 267;
inline constexpr nt::u32 kErrorNoAccess = 998;
inline constexpr nt::u32 kStillActive = 259;

// The values GetStdHandle returns for a standard slot that holds a console,
// file or pipe. Other handles start at 0x100 and are never reused within a
// machine's life, so a stale handle fails with 6.
inline constexpr nt::Handle kStdinHandle = 0x3;
inline constexpr nt::Handle kStdoutHandle = 0x7;
inline constexpr nt::Handle kStderrHandle = 0xB;

// One enumerator per function of nt.h.
enum class Op {
  GetLastError,
  CreateFileA,
  ReadFile,
  WriteFile,
  SetFilePointer,
  SetEndOfFile,
  CloseHandle,
  DeleteFileA,
  GetFileAttributesA,
  FindFirstFileA,
  FindClose,
  GetCurrentDirectoryA,
  SetCurrentDirectoryA,
  SetEnvironmentVariableA,
  GetEnvironmentBlock,
  FreeEnvironmentBlock,
  GetCommandLineA,
  GetStartupInfoA,
  GetStdHandle,
  GetFileType,
  CreateProcessA,
  WaitForSingleObject,
  GetExitCodeProcess,
  HeapAlloc,
  HeapFree,
  ExitProcess,
};
const char* OpName(Op op);
std::ostream& operator<<(std::ostream& out, Op op);

// One entry of the call log. arg is, by operation:
//   path operations and CreateFileA: the path as passed;
//   handle operations: what the handle refers to - the path it was opened
//     with, "stdin", "stdout", "stderr", "process <full path>",
//     "thread <full path>", "search <pattern>", "invalid", "null" or
//     "handle 0x<hex>";
//   SetEnvironmentVariableA: "name=value", or "name" for a deletion;
//   GetStdHandle: "stdin", "stdout", "stderr" or "selector <n>";
//   CreateProcessA: the application name (the command line when it is null);
//   GetCurrentDirectoryA: the size in decimal; HeapAlloc: the size;
//   HeapFree: the block's size ("" for nullptr); ExitProcess: the code;
//   the others: "".
struct Call {
  Op op;
  std::string arg;
};
bool operator==(const Call& a, const Call& b);
bool operator!=(const Call& a, const Call& b);
std::ostream& operator<<(std::ostream& out, const Call& call);

// Thrown by nt::ExitProcess. Deliberately not a std::exception, so a catch of
// std::exception in the code under test does not swallow it.
struct ProcessExit {
  nt::u32 code;
};

// What CreateProcessA was asked to start.
struct Launch {
  std::string applicationName;           // as passed ("" when null)
  std::string resolvedPath;              // full path of the started file, stored case
  std::string commandLine;               // as passed (the application name when null)
  std::string currentDirectory;          // the parent's current directory at the start
  std::vector<std::string> environment;  // the process environment, copied
  bool inheritHandles = false;
  nt::u32 creationFlags = 0;
  nt::u32 startupCb = 0;
  nt::u16 cbReserved2 = 0;
  std::optional<std::string> reserved2;  // cbReserved2 bytes; nullopt when lpReserved2 is null
  nt::u32 exitCode = 0;                  // what the program ended with
};
// Runs in place of a program; returns its exit code.
using Behaviour = std::function<nt::u32(const Launch&)>;

// What a standard slot holds. Console, File and Pipe give the fixed handle
// value of the slot (GetFileType 2, 1, 3); Invalid makes GetStdHandle return
// kInvalidHandle, Null makes it return 0.
enum class Stream { Console, File, Pipe, Invalid, Null };

// Standard input. Whatever the kind, reads take bytes from `input` in order;
// a console delivers at most one line (through its "\n") per ReadFile unless
// linePerRead is false. When the input is used up a read returns 0 bytes
// (end of input), or fails with readError when that is nonzero.
struct Input {
  Stream kind = Stream::Console;
  std::string input;
  bool linePerRead = true;  // honoured for a console only
  nt::u32 readError = 0;
};

// Standard output or error. Every WriteFile is captured as one chunk. For a
// File with a path, the bytes are also appended to that simulated file (made
// when missing). writeError nonzero: every WriteFile fails with it.
struct Output {
  Stream kind = Stream::Console;
  std::string path;
  nt::u32 writeError = 0;
};

struct HeapCounters {
  std::size_t allocations = 0;
  std::size_t frees = 0;
  std::size_t totalBytes = 0;  // sum of all sizes asked for
  std::size_t outstandingBytes = 0;
  std::size_t peakBytes = 0;  // largest outstandingBytes seen
  std::size_t outstandingBlocks = 0;
};

// A fresh machine: drive C: with its root only, current directory "C:\", an
// empty environment, command line "ntagent.exe", no start-up block, standard
// input a console with no input, standard output and error console captures,
// no programs, no faults, counters and logs empty, last error 0. Outstanding
// heap blocks and environment blocks of the old machine are freed.
void Reset();

// Machine set-up. Paths resolve like the agent's (relative ones against the
// current directory). Missing parent directories are made; a drive must have
// been added first (C: always is); a UNC share root is made on demand.
// Misuse (a file in the way, an unknown drive, a wildcard) throws
// std::invalid_argument.
void AddDrive(char letter);
void SetDriveReady(char letter, bool ready);  // not ready: every access fails with 21
void AddDir(const std::string& path);
// Attributes: kAttributeNormal or a combination such as kAttributeReadOnly.
// An existing file is replaced.
void AddFile(const std::string& path, std::string bytes, nt::u32 attributes = nt::kAttributeNormal);
// A file CreateProcessA can start. Any other file it is asked to start fails
// with 193.
void AddProgram(const std::string& path, nt::u32 exitCode = 0);
void AddProgram(const std::string& path, Behaviour behaviour);
void SetAttributes(const std::string& path, nt::u32 attributes);
// Removes a file or a whole directory, open handles or not. False when absent.
bool RemovePath(const std::string& path);

// Machine inspection.
std::optional<std::string> ReadFile(const std::string& path);  // nullopt unless a file
std::optional<nt::u32> Attributes(const std::string& path);
bool Exists(const std::string& path);

// Process state.
void SetCurrentDir(const std::string& path);  // must be an existing directory
std::string CurrentDir();
void SetEnvironment(std::vector<std::string> entries);  // "name=value" texts, in order
const std::vector<std::string>& Environment();
void SetCommandLine(std::string commandLine);
// The handle-inheritance bytes GetStartupInfoA reports (nullopt: none, so
// lpReserved2 is null). At most 65535 bytes.
void SetStartupBlock(std::optional<std::string> bytes);
void SetLastError(nt::u32 error);
nt::u32 LastError();

// Standard handles.
void SetStdin(Input input);
void SetStdout(Output output);
void SetStderr(Output output);
std::string StdinRemaining();
const std::string& StdoutText();
const std::vector<std::string>& StdoutChunks();
const std::string& StderrText();
const std::vector<std::string>& StderrChunks();

// Processes started so far, in order.
const std::vector<Launch>& Launches();

// Call log and counters.
const std::vector<Call>& Calls();
// The log reduced to the given operations, order kept.
std::vector<Call> CallsOf(const std::vector<Op>& ops);
int CallCount(Op op);  // calls of op since Reset

// Fault injection. nth counts calls of op from this arming call on: nth 1 is
// the next call. The failing call does nothing but set the last error to
// `error` and return the operation's failure value (kInvalidHandle, false,
// 0, nullptr, kWaitFailed, 0xFFFFFFFF; GetFileType 0). A failing CloseHandle
// or FindClose still closes the handle. Operations that cannot fail
// (GetLastError, FreeEnvironmentBlock, GetCommandLineA, GetStartupInfoA,
// HeapFree, ExitProcess) throw std::invalid_argument. Several faults may be
// armed at once; the first armed that matches a call wins.
void FailCall(Op op, int nth, nt::u32 error);
// The same, for the nth call and every later one.
void FailCallsFrom(Op op, int nth, nt::u32 error);
// The nth WriteFile from now succeeds but takes only min(bytesAccepted, size)
// bytes, which it reports as written.
void ShortWrite(int nth, nt::u32 bytesAccepted);

// Leak checks: file, search, process and thread handles still open (the
// standard handles are not counted), environment blocks not freed, heap use.
int OpenHandleCount();
int OpenEnvironmentBlocks();
HeapCounters HeapStats();

}  // namespace sim
