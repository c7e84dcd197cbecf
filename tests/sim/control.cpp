// The machine's state and the test-control side: set-up, inspection, faults.
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <stdexcept>

#include "sim_internal.h"

namespace sim {

namespace detail {

namespace {

std::unique_ptr<State> g_state;

std::unique_ptr<char[]> CopyText(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

State::State() {
  volumes["C:"] = Volume{MakeNode("C:", true, 0), true};
  cwd = "C:\\";
  commandLine = CopyText("ntagent.exe");
}

State::~State() {
  for (auto& block : heapBlocks) std::free(block.first);
}

State& S() {
  if (!g_state) g_state = std::make_unique<State>();
  return *g_state;
}

void ResetState() {
  g_state = std::make_unique<State>();
}

}  // namespace detail

using namespace detail;

namespace {

[[noreturn]] void Misuse(const std::string& what) {
  throw std::invalid_argument("sim: " + what);
}

FullPath CheckedPath(const std::string& path) {
  if (path.empty()) Misuse("empty path");
  if (CheckPathText(path, false) == kErrorInvalidName) Misuse("bad characters in " + path);
  FullPath full = Resolve(path);
  if (full.error != 0) Misuse("malformed path " + path);
  return full;
}

Volume& VolumeFor(const FullPath& full, const std::string& path) {
  State& s = S();
  const std::string key = Fold(full.root);
  auto found = s.volumes.find(key);
  if (found != s.volumes.end()) return found->second;
  if (!full.Unc()) Misuse("no drive " + full.root + " (AddDrive first) for " + path);
  return s.volumes[key] = Volume{MakeNode(full.root, true, 0), true};
}

// The directory that holds the last component, made where missing.
NodePtr MakeParents(const FullPath& full, const std::string& path) {
  NodePtr directory = VolumeFor(full, path).root;
  for (std::size_t i = 0; i + 1 < full.parts.size(); ++i) {
    auto& slot = directory->children[Fold(full.parts[i])];
    if (!slot) slot = MakeNode(full.parts[i], true, 0);
    if (!slot->directory) Misuse("a file is in the way of " + path);
    directory = slot;
  }
  return directory;
}

NodePtr PutFile(const std::string& path, std::string bytes, nt::u32 attributes) {
  const FullPath full = CheckedPath(path);
  if (full.parts.empty()) Misuse("a root is not a file: " + path);
  if (attributes & nt::kAttributeDirectory) Misuse("use AddDir for " + path);
  NodePtr directory = MakeParents(full, path);
  auto& slot = directory->children[Fold(full.parts.back())];
  if (slot && slot->directory) Misuse("a directory is in the way of " + path);
  slot = MakeNode(full.parts.back(), false, attributes);
  slot->data = std::move(bytes);
  return slot;
}

// The node a path names, or null.
NodePtr Find(const std::string& path) {
  const FullPath full = CheckedPath(path);
  State& s = S();
  auto volume = s.volumes.find(Fold(full.root));
  if (volume == s.volumes.end()) return nullptr;
  NodePtr node = volume->second.root;
  for (const std::string& part : full.parts) {
    if (!node->directory) return nullptr;
    auto child = node->children.find(Fold(part));
    if (child == node->children.end()) return nullptr;
    node = child->second;
  }
  return node;
}

StdSlot& MakeOutput(StdSlot& slot, const Output& output) {
  slot = StdSlot{};
  slot.kind = output.kind;
  slot.writeError = output.writeError;
  if (output.kind == Stream::File && !output.path.empty()) {
    slot.file = Find(output.path);
    if (!slot.file) slot.file = PutFile(output.path, {}, nt::kAttributeNormal);
    if (slot.file->directory) Misuse("standard output into a directory: " + output.path);
  }
  return slot;
}

void ArmFault(Fault fault, int nth) {
  switch (fault.op) {
    case Op::GetLastError:
    case Op::FreeEnvironmentBlock:
    case Op::GetCommandLineA:
    case Op::GetStartupInfoA:
    case Op::HeapFree:
    case Op::ExitProcess:
      Misuse(std::string(OpName(fault.op)) + " cannot fail");
    default:
      break;
  }
  if (nth < 1) Misuse("nth counts from 1");
  fault.at = S().callCounts[fault.op] + nth;
  S().faults.push_back(fault);
}

}  // namespace

const char* OpName(Op op) {
  switch (op) {
    case Op::GetLastError:
      return "GetLastError";
    case Op::CreateFileA:
      return "CreateFileA";
    case Op::ReadFile:
      return "ReadFile";
    case Op::WriteFile:
      return "WriteFile";
    case Op::SetFilePointer:
      return "SetFilePointer";
    case Op::SetEndOfFile:
      return "SetEndOfFile";
    case Op::CloseHandle:
      return "CloseHandle";
    case Op::DeleteFileA:
      return "DeleteFileA";
    case Op::GetFileAttributesA:
      return "GetFileAttributesA";
    case Op::FindFirstFileA:
      return "FindFirstFileA";
    case Op::FindClose:
      return "FindClose";
    case Op::GetCurrentDirectoryA:
      return "GetCurrentDirectoryA";
    case Op::SetCurrentDirectoryA:
      return "SetCurrentDirectoryA";
    case Op::SetEnvironmentVariableA:
      return "SetEnvironmentVariableA";
    case Op::GetEnvironmentBlock:
      return "GetEnvironmentBlock";
    case Op::FreeEnvironmentBlock:
      return "FreeEnvironmentBlock";
    case Op::GetCommandLineA:
      return "GetCommandLineA";
    case Op::GetStartupInfoA:
      return "GetStartupInfoA";
    case Op::GetStdHandle:
      return "GetStdHandle";
    case Op::GetFileType:
      return "GetFileType";
    case Op::CreateProcessA:
      return "CreateProcessA";
    case Op::WaitForSingleObject:
      return "WaitForSingleObject";
    case Op::GetExitCodeProcess:
      return "GetExitCodeProcess";
    case Op::HeapAlloc:
      return "HeapAlloc";
    case Op::HeapFree:
      return "HeapFree";
    case Op::ExitProcess:
      return "ExitProcess";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, Op op) {
  return out << OpName(op);
}

bool operator==(const Call& a, const Call& b) {
  return a.op == b.op && a.arg == b.arg;
}

bool operator!=(const Call& a, const Call& b) {
  return !(a == b);
}

std::ostream& operator<<(std::ostream& out, const Call& call) {
  return out << OpName(call.op) << "(" << call.arg << ")";
}

void Reset() {
  ResetState();
}

void AddDrive(char letter) {
  const char upper = Upper(letter);
  if (upper < 'A' || upper > 'Z') Misuse("not a drive letter");
  const std::string root = {upper, ':'};
  auto& volume = S().volumes[root];
  if (!volume.root) volume = Volume{MakeNode(root, true, 0), true};
}

void SetDriveReady(char letter, bool ready) {
  auto found = S().volumes.find(std::string{Upper(letter), ':'});
  if (found == S().volumes.end()) Misuse("no such drive");
  found->second.ready = ready;
}

void AddDir(const std::string& path) {
  const FullPath full = CheckedPath(path);
  NodePtr directory = MakeParents(full, path);
  if (full.parts.empty()) return;
  auto& slot = directory->children[Fold(full.parts.back())];
  if (!slot) slot = MakeNode(full.parts.back(), true, 0);
  if (!slot->directory) Misuse("a file is in the way of " + path);
}

void AddFile(const std::string& path, std::string bytes, nt::u32 attributes) {
  PutFile(path, std::move(bytes), attributes);
}

void AddProgram(const std::string& path, nt::u32 exitCode) {
  AddProgram(path, [exitCode](const Launch&) { return exitCode; });
}

void AddProgram(const std::string& path, Behaviour behaviour) {
  NodePtr file = PutFile(path, "MZ", nt::kAttributeNormal);
  file->program = true;
  file->behaviour = std::move(behaviour);
}

void SetAttributes(const std::string& path, nt::u32 attributes) {
  NodePtr node = Find(path);
  if (!node) Misuse("no such path " + path);
  if (node->directory) Misuse("directory attributes are fixed: " + path);
  node->attributes = FileAttributes(attributes);
}

bool RemovePath(const std::string& path) {
  const FullPath full = CheckedPath(path);
  if (full.parts.empty()) return false;
  FullPath parentPath = full;
  parentPath.parts.pop_back();
  NodePtr parent = Find(parentPath.Text());
  if (!parent || !parent->directory) return false;
  return parent->children.erase(Fold(full.parts.back())) != 0;
}

std::optional<std::string> ReadFile(const std::string& path) {
  NodePtr node = Find(path);
  if (!node || node->directory) return std::nullopt;
  return node->data;
}

std::optional<nt::u32> Attributes(const std::string& path) {
  NodePtr node = Find(path);
  if (!node) return std::nullopt;
  return node->attributes;
}

bool Exists(const std::string& path) {
  return Find(path) != nullptr;
}

void SetCurrentDir(const std::string& path) {
  NodePtr node = Find(path);
  if (!node || !node->directory) Misuse("no such directory " + path);
  S().cwd = CheckedPath(path).Text();
}

std::string CurrentDir() {
  return S().cwd;
}

void SetEnvironment(std::vector<std::string> entries) {
  S().environment = std::move(entries);
}

const std::vector<std::string>& Environment() {
  return S().environment;
}

void SetCommandLine(std::string commandLine) {
  auto copy = std::make_unique<char[]>(commandLine.size() + 1);
  std::memcpy(copy.get(), commandLine.c_str(), commandLine.size() + 1);
  S().commandLine = std::move(copy);
}

void SetStartupBlock(std::optional<std::string> bytes) {
  State& s = S();
  s.hasStartupBlock = bytes.has_value();
  s.startupBlock.reset();
  s.startupBlockSize = 0;
  if (!bytes) return;
  if (bytes->size() > 0xFFFF) Misuse("a start-up block holds at most 65535 bytes");
  s.startupBlockSize = static_cast<nt::u16>(bytes->size());
  s.startupBlock = std::make_unique<nt::u8[]>(bytes->size());
  std::memcpy(s.startupBlock.get(), bytes->data(), bytes->size());
}

void SetLastError(nt::u32 error) {
  S().lastError = error;
}

nt::u32 LastError() {
  return S().lastError;
}

void SetStdin(Input input) {
  StdSlot& slot = S().std[0];
  slot = StdSlot{};
  slot.kind = input.kind;
  slot.input = std::move(input.input);
  slot.linePerRead = input.linePerRead;
  slot.readError = input.readError;
}

void SetStdout(Output output) {
  MakeOutput(S().std[1], output);
}

void SetStderr(Output output) {
  MakeOutput(S().std[2], output);
}

std::string StdinRemaining() {
  const StdSlot& slot = S().std[0];
  return slot.input.substr(slot.offset);
}

const std::string& StdoutText() {
  return S().std[1].text;
}

const std::vector<std::string>& StdoutChunks() {
  return S().std[1].chunks;
}

const std::string& StderrText() {
  return S().std[2].text;
}

const std::vector<std::string>& StderrChunks() {
  return S().std[2].chunks;
}

const std::vector<Launch>& Launches() {
  return S().launches;
}

const std::vector<Call>& Calls() {
  return S().calls;
}

std::vector<Call> CallsOf(const std::vector<Op>& ops) {
  std::vector<Call> kept;
  for (const Call& call : S().calls) {
    for (Op op : ops) {
      if (call.op == op) {
        kept.push_back(call);
        break;
      }
    }
  }
  return kept;
}

int CallCount(Op op) {
  auto found = S().callCounts.find(op);
  return found == S().callCounts.end() ? 0 : static_cast<int>(found->second);
}

void FailCall(Op op, int nth, nt::u32 error) {
  Fault fault;
  fault.op = op;
  fault.error = error;
  ArmFault(fault, nth);
}

void FailCallsFrom(Op op, int nth, nt::u32 error) {
  Fault fault;
  fault.op = op;
  fault.error = error;
  fault.fromThenOn = true;
  ArmFault(fault, nth);
}

void ShortWrite(int nth, nt::u32 bytesAccepted) {
  Fault fault;
  fault.op = Op::WriteFile;
  fault.shortWrite = true;
  fault.accepted = bytesAccepted;
  ArmFault(fault, nth);
}

int OpenHandleCount() {
  return static_cast<int>(S().objects.size());
}

int OpenEnvironmentBlocks() {
  return static_cast<int>(S().environmentBlocks.size());
}

HeapCounters HeapStats() {
  return S().heap;
}

}  // namespace sim
