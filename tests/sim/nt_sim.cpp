// The seam's functions on the simulated machine, with NT's results and errors.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "sim_internal.h"

namespace {

using sim::Op;
using sim::Stream;
using namespace sim::detail;

// Logs the call and returns the armed fault it trips, if any.
std::optional<Fault> Enter(Op op, std::string arg) {
  State& s = S();
  s.calls.push_back(sim::Call{op, std::move(arg)});
  const long long number = ++s.callCounts[op];
  for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
    if (it->op != op) continue;
    if (it->at == number || (it->fromThenOn && number >= it->at)) {
      Fault fault = *it;
      if (!fault.fromThenOn) s.faults.erase(it);
      return fault;
    }
  }
  return std::nullopt;
}

void SetError(nt::u32 error) {
  S().lastError = error;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

std::string Hex(nt::Handle handle) {
  static const char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[handle & 0xF]);
    handle >>= 4;
  } while (handle != 0);
  return "0x" + digits;
}

// The standard slot a handle names, or -1. A slot configured Invalid or Null
// has no live handle value.
int StdIndex(nt::Handle handle) {
  static const nt::Handle kValues[3] = {sim::kStdinHandle, sim::kStdoutHandle, sim::kStderrHandle};
  for (int i = 0; i < 3; ++i) {
    const Stream kind = S().std[static_cast<std::size_t>(i)].kind;
    if (handle == kValues[i] && kind != Stream::Invalid && kind != Stream::Null) return i;
  }
  return -1;
}

StdSlot& Slot(int index) {
  return S().std[static_cast<std::size_t>(index)];
}

Object* FindObject(nt::Handle handle) {
  auto found = S().objects.find(handle);
  return found == S().objects.end() ? nullptr : &found->second;
}

std::string Label(nt::Handle handle) {
  static const char* const kNames[3] = {"stdin", "stdout", "stderr"};
  const int index = StdIndex(handle);
  if (index >= 0) return kNames[index];
  if (const Object* object = FindObject(handle)) return object->label;
  if (handle == nt::kInvalidHandle) return "invalid";
  if (handle == 0) return "null";
  return "handle " + Hex(handle);
}

nt::Handle NewHandle(Object object) {
  State& s = S();
  const nt::Handle handle = s.nextHandle;
  s.nextHandle += 4;
  s.objects.emplace(handle, std::move(object));
  return handle;
}

bool Writes(nt::u32 access) {
  return (access & (nt::kGenericWrite | kGenericAll)) != 0;
}

bool Reads(nt::u32 access) {
  return (access & (nt::kGenericRead | kGenericAll)) != 0;
}

// True when an open of `node` with this access and sharing conflicts with a
// handle already open on it.
bool SharingConflict(const NodePtr& node, nt::u32 access, nt::u32 share) {
  for (const auto& entry : S().objects) {
    const Object& open = entry.second;
    if (open.kind != ObjectKind::File || open.node != node) continue;
    if (Reads(access) && !(open.share & nt::kShareRead)) return true;
    if (Writes(access) && !(open.share & nt::kShareWrite)) return true;
    if (Reads(open.access) && !(share & nt::kShareRead)) return true;
    if (Writes(open.access) && !(share & nt::kShareWrite)) return true;
  }
  return false;
}

// Checks, resolves and looks up a path argument. error is 0 on success.
struct PathLookup {
  nt::u32 error = 0;
  FullPath full;
  Located at;
};

PathLookup LookUp(const char* path, bool wildcardsInLast, nt::u32 emptyError) {
  PathLookup lookup;
  if (path == nullptr || *path == '\0') {
    lookup.error = emptyError;
    return lookup;
  }
  lookup.error = CheckPathText(path, wildcardsInLast);
  if (lookup.error != 0) return lookup;
  lookup.full = Resolve(path);
  lookup.error = lookup.full.error;
  if (lookup.error != 0) return lookup;
  lookup.at = Locate(lookup.full);
  lookup.error = lookup.at.error;
  return lookup;
}

// Reads standard input from its queue.
bool ReadStdin(StdSlot& slot, char* buffer, nt::u32 size, nt::u32* read) {
  const std::size_t left = slot.input.size() - slot.offset;
  if (left == 0) {
    if (slot.readError != 0) {
      SetError(slot.readError);
      return false;
    }
    return true;
  }
  std::size_t take = std::min<std::size_t>(left, size);
  if (slot.kind == Stream::Console && slot.linePerRead) {
    const std::size_t end = slot.input.find('\n', slot.offset);
    if (end != std::string::npos) take = std::min(take, end + 1 - slot.offset);
  }
  std::memcpy(buffer, slot.input.data() + slot.offset, take);
  slot.offset += take;
  if (read != nullptr) *read = static_cast<nt::u32>(take);
  return true;
}

void AppendOutput(StdSlot& slot, const char* bytes, std::size_t size) {
  std::string chunk(bytes, size);
  slot.text += chunk;
  if (slot.file) slot.file->data += chunk;
  slot.chunks.push_back(std::move(chunk));
}

void WriteAt(Object& file, const char* bytes, std::size_t size) {
  std::string& data = file.node->data;
  if (file.position > data.size()) data.resize(file.position, '\0');
  data.replace(file.position, std::min(size, data.size() - file.position), bytes, size);
  file.position += size;
}

// The program CreateProcessA starts when it is given no application name: the
// command line's first token, ".exe" added when its last component has no dot.
std::string ProgramFromCommandLine(const std::string& commandLine) {
  std::string first;
  if (!commandLine.empty() && commandLine[0] == '"') {
    first = commandLine.substr(1, commandLine.find('"', 1) - 1);
  } else {
    first = commandLine.substr(0, commandLine.find_first_of(" \t"));
  }
  const std::size_t separator = first.find_last_of("\\/:");
  const std::size_t dot = first.find('.', separator == std::string::npos ? 0 : separator);
  if (!first.empty() && dot == std::string::npos) first += ".exe";
  return first;
}

}  // namespace

namespace nt {

u32 GetLastError() {
  Enter(Op::GetLastError, "");
  return S().lastError;
}

Handle CreateFileA(const char* path, u32 access, u32 share, u32 disposition, u32 attributes) {
  if (auto fault = Enter(Op::CreateFileA, Text(path))) {
    SetError(fault->error);
    return kInvalidHandle;
  }
  PathLookup lookup = LookUp(path, false, kErrorPathNotFound);
  if (lookup.error == 0 &&
      (disposition < sim::detail::kCreateNew || disposition > sim::detail::kTruncateExisting)) {
    lookup.error = sim::kErrorInvalidParameter;
  }
  if (lookup.error != 0) {
    SetError(lookup.error);
    return kInvalidHandle;
  }
  NodePtr node = lookup.at.node;
  if (lookup.full.parts.empty() || (node && node->directory)) {
    SetError(kErrorAccessDenied);
    return kInvalidHandle;
  }
  if (lookup.full.trailingSeparator) {
    SetError(sim::kErrorInvalidName);
    return kInvalidHandle;
  }
  const bool existed = node != nullptr;
  if (!existed) {
    if (disposition == kOpenExisting || disposition == kTruncateExisting) {
      SetError(kErrorFileNotFound);
      return kInvalidHandle;
    }
    node = MakeNode(lookup.full.parts.back(), false, attributes);
    lookup.at.parent->children[Fold(node->name)] = node;
  } else {
    if (disposition == kCreateNew) {
      SetError(sim::kErrorFileExists);
      return kInvalidHandle;
    }
    const bool truncates = disposition == kCreateAlways || disposition == kTruncateExisting;
    if ((node->attributes & kAttributeReadOnly) && (Writes(access) || truncates)) {
      SetError(kErrorAccessDenied);
      return kInvalidHandle;
    }
    if (SharingConflict(node, access, share)) {
      SetError(kErrorSharingViolation);
      return kInvalidHandle;
    }
    if (truncates) node->data.clear();
    if (disposition == kCreateAlways) node->attributes = FileAttributes(attributes);
  }
  const bool reportsExisting = disposition == kCreateAlways || disposition == kOpenAlways;
  SetError(existed && reportsExisting ? sim::kErrorAlreadyExists : kErrorSuccess);
  Object file;
  file.kind = ObjectKind::File;
  file.node = node;
  file.access = access;
  file.share = share;
  file.label = Text(path);
  return NewHandle(std::move(file));
}

bool ReadFile(Handle file, void* buffer, u32 size, u32* read) {
  if (read != nullptr) *read = 0;
  if (auto fault = Enter(Op::ReadFile, Label(file))) {
    SetError(fault->error);
    return false;
  }
  if (buffer == nullptr && size > 0) {
    SetError(sim::kErrorNoAccess);
    return false;
  }
  char* bytes = static_cast<char*>(buffer);
  const int index = StdIndex(file);
  if (index >= 0) {
    StdSlot& slot = Slot(index);
    if (slot.closed || index != 0) {
      SetError(kErrorInvalidHandle);
      return false;
    }
    return ReadStdin(slot, bytes, size, read);
  }
  Object* object = FindObject(file);
  if (object == nullptr || object->kind != ObjectKind::File) {
    SetError(kErrorInvalidHandle);
    return false;
  }
  if (!Reads(object->access)) {
    SetError(kErrorAccessDenied);
    return false;
  }
  const std::string& data = object->node->data;
  const std::size_t take = object->position >= data.size()
                               ? 0
                               : std::min<std::size_t>(size, data.size() - object->position);
  if (take > 0) std::memcpy(bytes, data.data() + object->position, take);
  object->position += take;
  if (read != nullptr) *read = static_cast<u32>(take);
  return true;
}

bool WriteFile(Handle file, const void* buffer, u32 size, u32* written) {
  if (written != nullptr) *written = 0;
  auto fault = Enter(Op::WriteFile, Label(file));
  if (fault && !fault->shortWrite) {
    SetError(fault->error);
    return false;
  }
  if (buffer == nullptr && size > 0) {
    SetError(sim::kErrorNoAccess);
    return false;
  }
  const u32 accepted = fault ? std::min(size, fault->accepted) : size;
  const char* bytes = static_cast<const char*>(buffer);
  const int index = StdIndex(file);
  if (index >= 0) {
    StdSlot& slot = Slot(index);
    if (slot.closed || index == 0) {
      SetError(kErrorInvalidHandle);
      return false;
    }
    if (slot.writeError != 0) {
      SetError(slot.writeError);
      return false;
    }
    AppendOutput(slot, bytes, accepted);
  } else {
    Object* object = FindObject(file);
    if (object == nullptr || object->kind != ObjectKind::File) {
      SetError(kErrorInvalidHandle);
      return false;
    }
    if (!Writes(object->access)) {
      SetError(kErrorAccessDenied);
      return false;
    }
    if (accepted > 0) WriteAt(*object, bytes, accepted);
  }
  if (written != nullptr) *written = accepted;
  return true;
}

bool SetFilePointer(Handle file, u32 offset) {
  if (auto fault = Enter(Op::SetFilePointer, Label(file))) {
    SetError(fault->error);
    return false;
  }
  const int index = StdIndex(file);
  if (index >= 0) {
    if (Slot(index).closed || Slot(index).kind != Stream::File) {
      SetError(kErrorInvalidHandle);
      return false;
    }
    return true;
  }
  Object* object = FindObject(file);
  if (object == nullptr || object->kind != ObjectKind::File) {
    SetError(kErrorInvalidHandle);
    return false;
  }
  object->position = offset;
  return true;
}

bool SetEndOfFile(Handle file) {
  if (auto fault = Enter(Op::SetEndOfFile, Label(file))) {
    SetError(fault->error);
    return false;
  }
  const int index = StdIndex(file);
  if (index >= 0) {
    if (Slot(index).closed || Slot(index).kind != Stream::File) {
      SetError(kErrorInvalidHandle);
      return false;
    }
    return true;
  }
  Object* object = FindObject(file);
  if (object == nullptr || object->kind != ObjectKind::File) {
    SetError(kErrorInvalidHandle);
    return false;
  }
  if (!Writes(object->access)) {
    SetError(kErrorAccessDenied);
    return false;
  }
  object->node->data.resize(object->position, '\0');
  return true;
}

bool CloseHandle(Handle handle) {
  auto fault = Enter(Op::CloseHandle, Label(handle));
  bool closed = false;
  const int index = StdIndex(handle);
  if (handle == kInvalidHandle) {
    closed = true;  // the current-process pseudo handle
  } else if (index >= 0) {
    closed = !Slot(index).closed;
    Slot(index).closed = true;
  } else if (Object* object = FindObject(handle); object && object->kind != ObjectKind::Search) {
    S().objects.erase(handle);
    closed = true;
  }
  if (fault) {
    SetError(fault->error);
    return false;
  }
  if (!closed) SetError(kErrorInvalidHandle);
  return closed;
}

bool DeleteFileA(const char* path) {
  if (auto fault = Enter(Op::DeleteFileA, Text(path))) {
    SetError(fault->error);
    return false;
  }
  const PathLookup lookup = LookUp(path, false, kErrorPathNotFound);
  u32 error = lookup.error;
  const NodePtr& node = lookup.at.node;
  if (error == 0 && !node) error = kErrorFileNotFound;
  if (error == 0 && (node->directory || lookup.full.parts.empty())) error = kErrorAccessDenied;
  if (error == 0 && lookup.full.trailingSeparator) error = sim::kErrorInvalidName;
  if (error == 0 && (node->attributes & kAttributeReadOnly)) error = kErrorAccessDenied;
  if (error == 0) {
    for (const auto& entry : S().objects) {
      const Object& open = entry.second;
      if (open.kind == ObjectKind::File && open.node == node && !(open.share & kShareDelete)) {
        error = kErrorSharingViolation;
      }
    }
  }
  if (error != 0) {
    SetError(error);
    return false;
  }
  lookup.at.parent->children.erase(Fold(node->name));
  return true;
}

u32 GetFileAttributesA(const char* path) {
  if (auto fault = Enter(Op::GetFileAttributesA, Text(path))) {
    SetError(fault->error);
    return kInvalidFileAttributes;
  }
  const PathLookup lookup = LookUp(path, false, kErrorPathNotFound);
  u32 error = lookup.error;
  if (error == 0 && !lookup.at.node) error = kErrorFileNotFound;
  if (error == 0 && lookup.full.trailingSeparator && !lookup.at.node->directory) {
    error = sim::kErrorInvalidName;
  }
  if (error != 0) {
    SetError(error);
    return kInvalidFileAttributes;
  }
  return lookup.at.node->attributes;
}

Handle FindFirstFileA(const char* pattern) {
  if (auto fault = Enter(Op::FindFirstFileA, Text(pattern))) {
    SetError(fault->error);
    return kInvalidHandle;
  }
  PathLookup lookup = LookUp(pattern, true, kErrorFileNotFound);
  if (lookup.error == 0 && (lookup.full.parts.empty() || lookup.full.trailingSeparator)) {
    lookup.error = kErrorFileNotFound;
  }
  if (lookup.error != 0) {
    SetError(lookup.error);
    return kInvalidHandle;
  }
  const std::string& last = lookup.full.parts.back();
  bool found = lookup.at.node != nullptr;
  if (!found && last.find_first_of("*?") != std::string::npos) {
    const NodePtr& directory = lookup.at.parent;
    // Every directory but a root lists "." and ".." first.
    const bool root = lookup.full.parts.size() == 1;
    found = !root && (Matches(last, ".") || Matches(last, ".."));
    for (const auto& child : directory->children) {
      if (found) break;
      found = Matches(last, child.second->name);
    }
  }
  if (!found) {
    SetError(kErrorFileNotFound);
    return kInvalidHandle;
  }
  Object search;
  search.kind = ObjectKind::Search;
  search.node = lookup.at.parent;
  search.label = "search " + Text(pattern);
  return NewHandle(std::move(search));
}

bool FindClose(Handle search) {
  auto fault = Enter(Op::FindClose, Label(search));
  Object* object = FindObject(search);
  const bool closed = object != nullptr && object->kind == ObjectKind::Search;
  if (closed) S().objects.erase(search);
  if (fault) {
    SetError(fault->error);
    return false;
  }
  if (!closed) SetError(kErrorInvalidHandle);
  return closed;
}

u32 GetCurrentDirectoryA(u32 size, char* buffer) {
  if (auto fault = Enter(Op::GetCurrentDirectoryA, std::to_string(size))) {
    SetError(fault->error);
    return 0;
  }
  const std::string& cwd = S().cwd;
  const u32 length = static_cast<u32>(cwd.size());
  if (length + 1 > size) return length + 1;
  if (buffer == nullptr) {
    SetError(sim::kErrorNoAccess);
    return 0;
  }
  std::memcpy(buffer, cwd.c_str(), cwd.size() + 1);
  return length;
}

bool SetCurrentDirectoryA(const char* path) {
  if (auto fault = Enter(Op::SetCurrentDirectoryA, Text(path))) {
    SetError(fault->error);
    return false;
  }
  const PathLookup lookup = LookUp(path, false, kErrorPathNotFound);
  u32 error = lookup.error;
  if (error == 0 && !lookup.at.node) error = kErrorFileNotFound;
  if (error == 0 && !lookup.at.node->directory) error = sim::kErrorDirectory;
  const std::string directory = lookup.full.Text();
  // NT keeps the directory with a trailing separator and a terminator within MAX_PATH.
  const std::size_t kept = directory.size() + (directory.back() == '\\' ? 1 : 2);
  if (error == 0 && kept > kMaxPath) error = sim::kErrorFilenameTooLong;
  if (error != 0) {
    SetError(error);
    return false;
  }
  S().cwd = directory;
  return true;
}

bool SetEnvironmentVariableA(const char* name, const char* value) {
  std::string arg = Text(name);
  if (value != nullptr) arg += "=" + std::string(value);
  if (auto fault = Enter(Op::SetEnvironmentVariableA, arg)) {
    SetError(fault->error);
    return false;
  }
  const std::string key = Text(name);
  if (key.empty() || key.find('=', 1) != std::string::npos) {
    SetError(sim::kErrorInvalidParameter);
    return false;
  }
  const std::string folded = Fold(key);
  std::vector<std::string>& environment = S().environment;
  auto lower = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  };
  // NT keeps the block in name order: a new variable goes before the first
  // entry whose name sorts after it.
  auto position = environment.end();
  for (auto it = environment.begin(); it != environment.end(); ++it) {
    const std::size_t equals = it->find('=', 1);
    const std::string entryName = it->substr(0, equals);
    if (Fold(entryName) == folded) {
      if (value == nullptr) {
        environment.erase(it);
      } else {
        *it = key + "=" + value;
      }
      return true;
    }
    if (position == environment.end() && lower(key) < lower(entryName)) position = it;
  }
  if (value != nullptr) environment.insert(position, key + "=" + value);
  return true;
}

const char* GetEnvironmentBlock() {
  if (auto fault = Enter(Op::GetEnvironmentBlock, "")) {
    SetError(fault->error);
    return nullptr;
  }
  State& s = S();
  std::size_t size = 1;
  for (const std::string& entry : s.environment) size += entry.size() + 1;
  if (s.environment.empty()) size = 2;
  auto block = std::make_unique<char[]>(size);
  std::memset(block.get(), 0, size);
  char* at = block.get();
  for (const std::string& entry : s.environment) {
    std::memcpy(at, entry.c_str(), entry.size() + 1);
    at += entry.size() + 1;
  }
  const char* handle = block.get();
  s.environmentBlocks.emplace(handle, std::move(block));
  return handle;
}

void FreeEnvironmentBlock(const char* block) {
  Enter(Op::FreeEnvironmentBlock, "");
  if (block == nullptr) return;
  if (S().environmentBlocks.erase(block) == 0) {
    throw std::logic_error("sim: FreeEnvironmentBlock of a block GetEnvironmentBlock did not give");
  }
}

const char* GetCommandLineA() {
  Enter(Op::GetCommandLineA, "");
  return S().commandLine.get();
}

void GetStartupInfoA(StartupInfo* info) {
  Enter(Op::GetStartupInfoA, "");
  if (info == nullptr) throw std::logic_error("sim: GetStartupInfoA without a record");
  const State& s = S();
  info->cb = sim::detail::kStartupCb;
  info->cbReserved2 = s.startupBlockSize;
  info->lpReserved2 = nullptr;
  if (s.hasStartupBlock) {
    // A present but empty block still has an address.
    static const u8 kEmpty = 0;
    info->lpReserved2 = s.startupBlockSize != 0 ? s.startupBlock.get() : &kEmpty;
  }
}

Handle GetStdHandle(u32 selector) {
  int index = -1;
  if (selector == kStdInputHandle) index = 0;
  if (selector == kStdOutputHandle) index = 1;
  if (selector == kStdErrorHandle) index = 2;
  static const char* const kNames[3] = {"stdin", "stdout", "stderr"};
  auto fault = Enter(Op::GetStdHandle, index >= 0 ? std::string(kNames[index])
                                                  : "selector " + std::to_string(selector));
  if (fault) {
    SetError(fault->error);
    return kInvalidHandle;
  }
  if (index < 0) {
    SetError(kErrorInvalidHandle);
    return kInvalidHandle;
  }
  static const Handle kValues[3] = {sim::kStdinHandle, sim::kStdoutHandle, sim::kStderrHandle};
  switch (Slot(index).kind) {
    case Stream::Invalid:
      return kInvalidHandle;
    case Stream::Null:
      return 0;
    default:
      return kValues[index];
  }
}

u32 GetFileType(Handle handle) {
  if (auto fault = Enter(Op::GetFileType, Label(handle))) {
    SetError(fault->error);
    return kFileTypeUnknown;
  }
  const int index = StdIndex(handle);
  if (index >= 0 && !Slot(index).closed) {
    switch (Slot(index).kind) {
      case Stream::Console:
        return kFileTypeChar;
      case Stream::File:
        return kFileTypeDisk;
      case Stream::Pipe:
        return kFileTypePipe;
      default:
        break;
    }
  }
  const Object* object = FindObject(handle);
  if (object != nullptr && object->kind == ObjectKind::File) return kFileTypeDisk;
  SetError(kErrorInvalidHandle);
  return kFileTypeUnknown;
}

bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    u32 creationFlags, const StartupInfo* startupInfo,
                    ProcessInformation* processInformation) {
  if (auto fault = Enter(Op::CreateProcessA,
                         applicationName != nullptr ? Text(applicationName) : Text(commandLine))) {
    SetError(fault->error);
    return false;
  }
  if (startupInfo == nullptr || processInformation == nullptr) {
    SetError(sim::kErrorNoAccess);
    return false;
  }
  const std::string program = applicationName != nullptr
                                  ? Text(applicationName)
                                  : ProgramFromCommandLine(Text(commandLine));
  const PathLookup lookup = LookUp(program.c_str(), false, kErrorPathNotFound);
  u32 error = lookup.error;
  const NodePtr& node = lookup.at.node;
  if (error == 0 && !node) error = kErrorFileNotFound;
  if (error == 0 && node->directory) error = kErrorAccessDenied;
  if (error == 0 && !node->program) error = kErrorBadExeFormat;
  if (error != 0) {
    SetError(error);
    return false;
  }
  State& s = S();
  sim::Launch launch;
  launch.applicationName = Text(applicationName);
  launch.resolvedPath = lookup.at.storedPath;
  launch.commandLine = commandLine != nullptr ? Text(commandLine) : Text(applicationName);
  launch.currentDirectory = s.cwd;
  launch.environment = s.environment;
  launch.inheritHandles = inheritHandles;
  launch.creationFlags = creationFlags;
  launch.startupCb = startupInfo->cb;
  launch.cbReserved2 = startupInfo->cbReserved2;
  if (startupInfo->lpReserved2 != nullptr) {
    launch.reserved2 = std::string(reinterpret_cast<const char*>(startupInfo->lpReserved2),
                                   startupInfo->cbReserved2);
  }
  const std::size_t index = s.launches.size();
  s.launches.push_back(launch);
  // The program runs now, to its end; what it does must not disturb the
  // caller's last error.
  const u32 savedError = s.lastError;
  const sim::Behaviour behaviour = node->behaviour;
  const u32 exitCode = behaviour ? behaviour(launch) : 0;
  S().lastError = savedError;
  if (index < S().launches.size()) S().launches[index].exitCode = exitCode;

  Object process;
  process.kind = ObjectKind::Process;
  process.label = "process " + launch.resolvedPath;
  process.exitCode = exitCode;
  Object thread;
  thread.kind = ObjectKind::Thread;
  thread.label = "thread " + launch.resolvedPath;
  processInformation->hProcess = NewHandle(std::move(process));
  processInformation->hThread = NewHandle(std::move(thread));
  return true;
}

u32 WaitForSingleObject(Handle handle, u32 milliseconds) {
  (void)milliseconds;
  if (auto fault = Enter(Op::WaitForSingleObject, Label(handle))) {
    SetError(fault->error);
    return kWaitFailed;
  }
  if (handle == kInvalidHandle) {
    throw std::logic_error("sim: WaitForSingleObject on the current process never returns");
  }
  const Object* object = FindObject(handle);
  if (StdIndex(handle) >= 0 || (object != nullptr && object->kind != ObjectKind::Search)) {
    return kWaitObject0;
  }
  SetError(kErrorInvalidHandle);
  return kWaitFailed;
}

bool GetExitCodeProcess(Handle process, u32* exitCode) {
  if (auto fault = Enter(Op::GetExitCodeProcess, Label(process))) {
    SetError(fault->error);
    return false;
  }
  if (exitCode == nullptr) {
    SetError(sim::kErrorNoAccess);
    return false;
  }
  if (process == kInvalidHandle) {
    *exitCode = sim::kStillActive;
    return true;
  }
  const Object* object = FindObject(process);
  if (object == nullptr || object->kind != ObjectKind::Process) {
    SetError(kErrorInvalidHandle);
    return false;
  }
  *exitCode = object->exitCode;
  return true;
}

void* HeapAlloc(std::size_t size) {
  if (auto fault = Enter(Op::HeapAlloc, std::to_string(size))) {
    SetError(fault->error);
    return nullptr;
  }
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) {
    SetError(kErrorNotEnoughMemory);
    return nullptr;
  }
  // Not zeroed, like the real heap: a caller that needs zeros must fill them.
  std::memset(block, 0xCC, size);
  State& s = S();
  s.heapBlocks.emplace(block, size);
  s.heap.allocations++;
  s.heap.totalBytes += size;
  s.heap.outstandingBytes += size;
  s.heap.outstandingBlocks++;
  s.heap.peakBytes = std::max(s.heap.peakBytes, s.heap.outstandingBytes);
  return block;
}

void HeapFree(void* block) {
  State& s = S();
  auto found = s.heapBlocks.find(block);
  Enter(Op::HeapFree, found != s.heapBlocks.end() ? std::to_string(found->second) : "");
  if (block == nullptr) return;
  if (found == s.heapBlocks.end()) {
    throw std::logic_error("sim: HeapFree of a block HeapAlloc did not give (or freed twice)");
  }
  s.heap.frees++;
  s.heap.outstandingBytes -= found->second;
  s.heap.outstandingBlocks--;
  std::free(block);
  s.heapBlocks.erase(found);
}

void ExitProcess(u32 exitCode) {
  Enter(Op::ExitProcess, std::to_string(exitCode));
  throw sim::ProcessExit{exitCode};
}

}  // namespace nt
