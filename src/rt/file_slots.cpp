#include "rt/file_slots.h"

#include "rt/error_number.h"
#include "rt/os_error.h"

namespace rt {
namespace {

HandleSlot g_slots[kSlotCount];

constexpr int kFirstFileSlot = 3;

bool Failed() {
  MapOsError(nt::GetLastError());
  return false;
}

}  // namespace

void ResetHandleSlots() {
  for (HandleSlot& slot : g_slots) slot = HandleSlot{0, nt::kInvalidHandle};
}

HandleSlot& SlotAt(int slot) {
  return g_slots[slot];
}

int OpenFileSlot(const char* path, nt::u32 access, nt::u32 share, nt::u32 disposition) {
  int free = kFirstFileSlot;
  while (free < kSlotCount && g_slots[free].flags != 0) ++free;
  if (free == kSlotCount) {
    SetErrorNumber(24);  // too many open files
    return -1;
  }
  nt::Handle handle = nt::CreateFileA(path, access, share, disposition, nt::kAttributeNormal);
  if (handle == nt::kInvalidHandle) {
    MapOsError(nt::GetLastError());
    return -1;
  }
  g_slots[free] = HandleSlot{kSlotOpen, handle};
  return free;
}

bool ReadFileSlot(int slot, void* buffer, nt::u32 size, nt::u32* read) {
  return nt::ReadFile(g_slots[slot].handle, buffer, size, read) || Failed();
}

bool WriteFileSlot(int slot, const void* buffer, nt::u32 size, nt::u32* written) {
  return nt::WriteFile(g_slots[slot].handle, buffer, size, written) || Failed();
}

bool SetEndOfFileSlot(int slot) {
  return nt::SetEndOfFile(g_slots[slot].handle) || Failed();
}

bool CloseFileSlot(int slot) {
  nt::Handle handle = g_slots[slot].handle;
  g_slots[slot] = HandleSlot{0, nt::kInvalidHandle};
  return nt::CloseHandle(handle) || Failed();
}

}  // namespace rt
