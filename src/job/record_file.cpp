#include <cstdint>

#include "agent/agent_state.h"
#include "job/job_files.h"
#include "rt/error_number.h"
#include "rt/file_slots.h"

namespace {

constexpr nt::u32 kRecordSize = sizeof(JobRecord);
constexpr nt::u32 kShareReadWrite = nt::kShareRead | nt::kShareWrite;

// Reads the whole record; false on a short file (error number untouched) or a
// read failure (error number set).
bool ReadRecord(int slot) {
  auto* bytes = reinterpret_cast<unsigned char*>(&g_jobRecord);
  nt::u32 total = 0;
  while (total < kRecordSize) {
    nt::u32 got = 0;
    if (!rt::ReadFileSlot(slot, bytes + total, kRecordSize - total, &got)) return false;
    if (got == 0) return false;
    total += got;
  }
  return true;
}

// Writes the whole record at the start of the file and ends the file after it.
bool WriteRecord(int slot) {
  nt::u32 written = 0;
  if (!rt::WriteFileSlot(slot, &g_jobRecord, kRecordSize, &written)) return false;
  if (written == 0) {
    rt::SetErrorNumber(rt::kErrNoSpace);
    return false;
  }
  if (written < kRecordSize) return false;
  return rt::SetEndOfFileSlot(slot);
}

}  // namespace

void LoadJobRecord() {
  int slot = rt::OpenFileSlot(g_agentState.recordPath, nt::kGenericRead, kShareReadWrite,
                              nt::kOpenExisting);
  if (slot < 0) {
    TerminateAgent(AGENT_ERR_RECORD_IO, static_cast<std::uint16_t>(rt::ErrorNumber()));
    return;
  }
  bool complete = ReadRecord(slot);
  int errorNumber = rt::ErrorNumber();
  (void)rt::CloseFileSlot(slot);
  if (!complete) {
    rt::SetErrorNumber(errorNumber);
    TerminateAgent(AGENT_ERR_RECORD_IO, static_cast<std::uint16_t>(errorNumber));
  }
}

void StoreJobRecord() {
  if (g_agentState.recordPath == nullptr) return;
  rt::SetErrorNumber(0);
  // Opened without truncation: a write that fails must not leave the host's
  // job wiped out.
  int slot = rt::OpenFileSlot(g_agentState.recordPath, nt::kGenericWrite, kShareReadWrite,
                              nt::kOpenAlways);
  if (slot < 0) {
    TerminateAgent(AGENT_ERR_RECORD_IO, static_cast<std::uint16_t>(rt::ErrorNumber()));
    return;
  }
  bool written = WriteRecord(slot);
  int errorNumber = rt::ErrorNumber();
  bool closed = rt::CloseFileSlot(slot);
  if (written && closed) return;
  if (!written) rt::SetErrorNumber(errorNumber);
  TerminateAgent(AGENT_ERR_RECORD_IO, static_cast<std::uint16_t>(rt::ErrorNumber()));
}
