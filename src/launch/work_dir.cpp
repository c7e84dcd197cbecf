#include "launch/work_dir.h"

#include <cstring>

#include "platform/nt.h"
#include "rt/environment.h"
#include "rt/error_number.h"
#include "rt/os_error.h"

namespace {

constexpr nt::u32 kScratchSize = 260;
constexpr unsigned kDriveNameLength = 3;  // "=D:"
constexpr std::size_t kPrefixLength = 4;  // "=D:="

// Records the current directory as its drive's variable. Failures here leave
// the switch done.
void RecordDriveDirectory() {
  nt::u32 size = nt::GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return;
  auto* entry = static_cast<char*>(nt::HeapAlloc(size + 5));
  if (entry == nullptr) return;
  char* directory = entry + kPrefixLength;
  nt::u32 length = nt::GetCurrentDirectoryA(size, directory);
  if (length == 0 || length >= size || directory[1] != ':') {
    nt::HeapFree(entry);
    return;
  }
  entry[0] = '=';
  entry[1] = directory[0];
  entry[2] = ':';
  entry[3] = '=';
  if (!rt::PutEnvironmentEntry(entry, kDriveNameLength)) {
    nt::HeapFree(entry);
    return;
  }
  auto* name = static_cast<char*>(nt::HeapAlloc(kDriveNameLength + 1));
  if (name == nullptr) return;
  std::memcpy(name, entry, kDriveNameLength);
  name[kDriveNameLength] = '\0';
  (void)nt::SetEnvironmentVariableA(name, entry + kPrefixLength);
  nt::HeapFree(name);
}

}  // namespace

char* GetCurrentDir(char* buffer, std::size_t size) {
  char scratch[kScratchSize];
  nt::u32 reported = nt::GetCurrentDirectoryA(kScratchSize, scratch);
  if (reported == 0) {
    rt::MapOsError(nt::GetLastError());
    return nullptr;
  }
  std::size_t needed = static_cast<std::size_t>(reported) + 1;
  if (needed > size || reported >= kScratchSize) {
    rt::SetErrorNumber(rt::kErrRange);
    return nullptr;
  }
  std::memcpy(buffer, scratch, needed);
  return buffer;
}

int ChangeDirectory(const char* path) {
  if (!nt::SetCurrentDirectoryA(path)) {
    rt::MapOsError(nt::GetLastError());
    return -1;
  }
  RecordDriveDirectory();
  return 0;
}
