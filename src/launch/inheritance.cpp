#include "launch/inheritance.h"

#include <cstring>

#include "platform/nt.h"
#include "rt/file_slots.h"

namespace {

constexpr int kStandardSlots = 3;
constexpr nt::u32 kStdSelectors[kStandardSlots] = {nt::kStdInputHandle, nt::kStdOutputHandle,
                                                   nt::kStdErrorHandle};

std::uint32_t ReadU32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteU32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Slots as the parent described them.
void TakeInheritedSlots(const nt::StartupInfo& info) {
  if (info.lpReserved2 == nullptr || info.cbReserved2 < 4) return;
  std::uint32_t described = ReadU32(info.lpReserved2);
  // A block shorter than its own count is not one of ours: never read past it.
  if (described > (static_cast<std::uint32_t>(info.cbReserved2) - 4) / 5) return;
  std::uint32_t count = described;
  if (count > static_cast<std::uint32_t>(rt::kSlotCount)) count = rt::kSlotCount;
  const std::uint8_t* flags = info.lpReserved2 + 4;
  const std::uint8_t* handles = flags + described;
  for (std::uint32_t i = 0; i < count; ++i) {
    rt::HandleSlot& slot = rt::SlotAt(static_cast<int>(i));
    slot.flags = flags[i];
    std::uint32_t raw = ReadU32(handles + 4 * i);
    slot.handle = raw == 0xFFFFFFFFU ? nt::kInvalidHandle : static_cast<nt::Handle>(raw);
  }
}

bool IsValidHandle(nt::Handle handle) {
  return handle != nt::kInvalidHandle && handle != 0;
}

void FillStandardSlot(int index) {
  rt::HandleSlot& slot = rt::SlotAt(index);
  if (slot.handle != nt::kInvalidHandle) {
    slot.flags = static_cast<std::uint8_t>(slot.flags | rt::kSlotText);
    return;
  }
  nt::Handle handle = nt::GetStdHandle(kStdSelectors[index]);
  if (!IsValidHandle(handle)) return;
  std::uint8_t flags = rt::kSlotOpen | rt::kSlotText;
  nt::u32 type = nt::GetFileType(handle);
  if (type == nt::kFileTypeChar) flags |= rt::kSlotCharDevice;
  if (type == nt::kFileTypePipe) flags |= rt::kSlotPipe;
  slot = rt::HandleSlot{flags, handle};
}

}  // namespace

void FillHandleSlots() {
  rt::ResetHandleSlots();
  nt::StartupInfo info;
  nt::GetStartupInfoA(&info);
  TakeInheritedSlots(info);
  for (int i = 0; i < kStandardSlots; ++i) FillStandardSlot(i);
}

std::uint8_t* BuildInheritanceBlock(std::uint16_t* length) {
  int count = rt::kSlotCount;
  while (count > 0 && rt::SlotAt(count - 1).flags == 0) --count;
  auto size = static_cast<std::uint16_t>(4 + 5 * count);
  auto* block = static_cast<std::uint8_t*>(nt::HeapAlloc(size));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  WriteU32(block, static_cast<std::uint32_t>(count));
  for (int i = 0; i < count; ++i) {
    const rt::HandleSlot& slot = rt::SlotAt(i);
    block[4 + i] = slot.flags;
    WriteU32(block + 4 + count + 4 * i, static_cast<std::uint32_t>(slot.handle));
  }
  *length = size;
  return block;
}
