#include "launch/launch.h"

const char* NextPathElement(const char* position, char* buffer, std::size_t capacity) {
  const char* p = position;
  while (*p == ';') ++p;
  const char* elementStart = p;
  std::size_t length = 0;
  bool quoted = false;
  while (*p != '\0' && (quoted || *p != ';')) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
      continue;
    }
    buffer[length++] = *p++;
    if (length == capacity - 1) {
      // An element that fills the buffer ends the walk untried.
      buffer[length] = '\0';
      return nullptr;
    }
  }
  while (*p == ';') ++p;
  buffer[length] = '\0';
  return p == elementStart ? nullptr : p;
}
