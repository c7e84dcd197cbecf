#include "rt/console.h"

#include <cstdarg>

#include "rt/error_number.h"
#include "rt/file_slots.h"
#include "rt/format.h"

namespace rt {
namespace {

constexpr int kStdInSlot = 0;
constexpr int kStdErrSlot = 2;
constexpr char kCtrlZ = 0x1A;

struct OutputStream {
  char buffer[kStreamBufferSize];
  int used;
  bool writeThrough;
};

struct InputStream {
  char buffer[kStreamBufferSize];
  int used;
  int next;
  bool ended;
};

OutputStream g_err;
InputStream g_in;

void WriteToHandle(const char* bytes, int length) {
  const HandleSlot& slot = SlotAt(kStdErrSlot);
  if (slot.flags == 0 || length <= 0) return;
  nt::u32 written = 0;
  // Console output has no one to report a failure to.
  (void)nt::WriteFile(slot.handle, bytes, static_cast<nt::u32>(length), &written);
}

void PutErrorByte(char c) {
  if (g_err.used == kStreamBufferSize) FlushConsole();
  g_err.buffer[g_err.used++] = c;
}

void PutErrorText(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') PutErrorByte('\r');
    PutErrorByte(*p);
  }
}

// Fills the input buffer; false at end of input or on a read failure.
bool FillInput() {
  if (g_in.ended) return false;
  HandleSlot& slot = SlotAt(kStdInSlot);
  if (slot.flags == 0) {
    SetErrorNumber(kErrBadFile);
    return false;
  }
  nt::u32 got = 0;
  if (!nt::ReadFile(slot.handle, g_in.buffer, kStreamBufferSize, &got)) {
    // A pipe whose writer has gone is the end of input, not a fault.
    if (nt::GetLastError() != nt::kErrorBrokenPipe) SetErrorNumber(kErrBadFile);
    return false;
  }
  if (got == 0) return false;
  g_in.used = static_cast<int>(got);
  g_in.next = 0;
  return true;
}

// The next raw byte, or -1.
int NextInputByte() {
  if (g_in.next == g_in.used && !FillInput()) return -1;
  return static_cast<unsigned char>(g_in.buffer[g_in.next++]);
}

}  // namespace

void InitConsole() {
  g_err.used = 0;
  g_err.writeThrough = (SlotAt(kStdErrSlot).flags & kSlotCharDevice) != 0;
  g_in.used = 0;
  g_in.next = 0;
  g_in.ended = false;
}

void PrintError(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);
  PutErrorText(text);
  if (g_err.writeThrough) FlushConsole();
}

void WriteErrorDirect(const char* text) {
  char bytes[1024];
  int length = 0;
  for (const char* p = text; *p != '\0' && length + 2 <= static_cast<int>(sizeof bytes); ++p) {
    if (*p == '\n') bytes[length++] = '\r';
    bytes[length++] = *p;
  }
  WriteToHandle(bytes, length);
}

void FlushConsole() {
  WriteToHandle(g_err.buffer, g_err.used);
  g_err.used = 0;
}

int ReadInputChar() {
  if (g_in.ended) return -1;
  int c = NextInputByte();
  if (c == kCtrlZ) {
    // Text mode ends input at a Ctrl-Z and remembers it in the slot.
    g_in.ended = true;
    SlotAt(kStdInSlot).flags |= kSlotEofSeen;
    return -1;
  }
  if (c != '\r') return c;
  int following = NextInputByte();
  if (following == '\n') return '\n';
  if (following >= 0) --g_in.next;  // keep it for the next read
  return '\r';
}

void ExitAgentProcess(nt::u32 exitCode) {
  FlushConsole();
  nt::ExitProcess(exitCode);
}

}  // namespace rt
