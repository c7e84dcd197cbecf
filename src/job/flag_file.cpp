#include <cstdint>

#include "agent/agent_state.h"
#include "job/job_files.h"
#include "platform/nt.h"
#include "rt/error_number.h"
#include "rt/os_error.h"

namespace {

// A failed directory search has its own, narrower mapping.
int SearchErrorNumber(nt::u32 code) {
  switch (code) {
    case nt::kErrorFileNotFound:
    case nt::kErrorPathNotFound:
    case nt::kErrorNoMoreFiles:
      return rt::kErrNoEntry;
    case nt::kErrorNotEnoughMemory:
      return rt::kErrNoMemory;
    default:
      return rt::kErrInvalid;
  }
}

}  // namespace

bool FlagFileExists(const char* path) {
  nt::Handle search = nt::FindFirstFileA(path);
  if (search == nt::kInvalidHandle) {
    rt::SetErrorNumber(SearchErrorNumber(nt::GetLastError()));
    return false;
  }
  (void)nt::FindClose(search);
  return true;
}

void DeleteFlagFile() {
  if (g_agentState.flagPath == nullptr) return;
  if (nt::DeleteFileA(g_agentState.flagPath)) return;
  nt::u32 code = nt::GetLastError();
  if (code == nt::kErrorSuccess) return;
  rt::MapOsError(code);
  TerminateAgent(AGENT_ERR_FLAG_DELETE, static_cast<std::uint16_t>(rt::ErrorNumber()));
}
