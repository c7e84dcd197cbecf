// The agent's numbered file slots: slot 0 standard input, 1 standard output,
// 2 standard error; other slots are taken while a file is open.
#pragma once

#include <cstdint>

#include "platform/nt.h"

namespace rt {

inline constexpr int kSlotCount = 64;

inline constexpr std::uint8_t kSlotOpen = 0x01;
inline constexpr std::uint8_t kSlotEofSeen = 0x02;
inline constexpr std::uint8_t kSlotCrlf = 0x04;
inline constexpr std::uint8_t kSlotPipe = 0x08;
inline constexpr std::uint8_t kSlotAppend = 0x20;
inline constexpr std::uint8_t kSlotCharDevice = 0x40;
inline constexpr std::uint8_t kSlotText = 0x80;

struct HandleSlot {
  std::uint8_t flags;
  nt::Handle handle;  // nt::kInvalidHandle while closed
};

// Closes every slot (start-up state).
void ResetHandleSlots();
HandleSlot& SlotAt(int slot);

// Opens a file into a free slot above 2 (binary mode). Returns the slot, or -1
// with the error number set.
int OpenFileSlot(const char* path, nt::u32 access, nt::u32 share, nt::u32 disposition);
// Each returns false with the error number set from the platform error.
bool ReadFileSlot(int slot, void* buffer, nt::u32 size, nt::u32* read);
bool WriteFileSlot(int slot, const void* buffer, nt::u32 size, nt::u32* written);
bool SetEndOfFileSlot(int slot);
bool CloseFileSlot(int slot);

}  // namespace rt
