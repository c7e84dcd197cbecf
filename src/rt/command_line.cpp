#include "rt/command_line.h"

#include <cstring>

#include "platform/nt.h"

namespace rt {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Copies one argument starting at `p` into `out`; returns the position after it.
const char* CopyArgument(const char* p, char*& out) {
  bool quoted = false;
  while (*p != '\0' && (quoted || !IsBlank(*p))) {
    if (*p == '\\') {
      std::size_t slashes = 0;
      while (*p == '\\') {
        ++slashes;
        ++p;
      }
      if (*p == '"') {
        for (std::size_t i = 0; i < slashes / 2; ++i) *out++ = '\\';
        if (slashes % 2 == 1) {
          *out++ = '"';
          ++p;
        }
      } else {
        for (std::size_t i = 0; i < slashes; ++i) *out++ = '\\';
      }
      continue;
    }
    if (*p == '"') {
      quoted = !quoted;
      ++p;
      continue;
    }
    *out++ = *p++;
  }
  *out++ = '\0';
  return p;
}

}  // namespace

ArgumentList SplitCommandLine(const char* line) {
  ArgumentList list;
  if (line == nullptr) line = "";
  std::size_t length = std::strlen(line);
  // Each argument takes at least one character of the line and one blank.
  std::size_t maxArgs = length / 2 + 2;
  std::size_t bytes = sizeof(char*) * maxArgs + length + maxArgs;
  void* block = nt::HeapAlloc(bytes);
  if (block == nullptr) return list;
  auto** items = static_cast<char**>(block);
  char* out = reinterpret_cast<char*>(items + maxArgs);
  int count = 0;
  const char* p = line;
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    items[count++] = out;
    p = CopyArgument(p, out);
  }
  items[count] = nullptr;
  list.count = count;
  list.items = items;
  return list;
}

}  // namespace rt
