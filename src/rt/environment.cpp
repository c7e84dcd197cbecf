#include "rt/environment.h"

#include <cstring>

#include "platform/nt.h"

namespace rt {
namespace {

char** g_table = nullptr;  // entries, then a nullptr ending slot
unsigned g_count = 0;

bool SameLetterInsensitive(char a, char b) {
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return fold(a) == fold(b);
}

// True when `entry` begins with the first `length` characters of `name`
// (folding ASCII letters) and `entry[length]` is one of `enders`.
bool NameMatches(const char* entry, const char* name, unsigned length, bool endMayBeNul) {
  for (unsigned i = 0; i < length; ++i) {
    if (entry[i] == '\0' || !SameLetterInsensitive(entry[i], name[i])) return false;
  }
  return entry[length] == '=' || (endMayBeNul && entry[length] == '\0');
}

char* CopyText(const char* text, std::size_t length) {
  char* copy = static_cast<char*>(nt::HeapAlloc(length + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length + 1);
  return copy;
}

}  // namespace

void InitEnvironmentTable() {
  g_table = nullptr;
  g_count = 0;
  const char* block = nt::GetEnvironmentBlock();
  if (block == nullptr) return;
  unsigned count = 0;
  for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) ++count;
  auto** table = static_cast<char**>(nt::HeapAlloc(sizeof(char*) * (count + 1)));
  if (table != nullptr) {
    unsigned taken = 0;
    for (const char* p = block; *p != '\0' && taken < count; p += std::strlen(p) + 1) {
      char* copy = CopyText(p, std::strlen(p));
      if (copy == nullptr) break;
      table[taken++] = copy;
    }
    table[taken] = nullptr;
    g_table = table;
    g_count = taken;
  }
  nt::FreeEnvironmentBlock(block);
}

const char* GetEnvironmentValue(const char* name) {
  if (g_table == nullptr || name == nullptr) return nullptr;
  auto length = static_cast<unsigned>(std::strlen(name));
  for (unsigned i = 0; i < g_count; ++i) {
    if (NameMatches(g_table[i], name, length, false)) return g_table[i] + length + 1;
  }
  return nullptr;
}

bool PutEnvironmentEntry(char* entry, unsigned nameLength) {
  for (unsigned i = 0; i < g_count; ++i) {
    if (NameMatches(g_table[i], entry, nameLength, true)) {
      nt::HeapFree(g_table[i]);
      g_table[i] = entry;
      return true;
    }
  }
  auto** grown = static_cast<char**>(nt::HeapAlloc(sizeof(char*) * (g_count + 2)));
  if (grown == nullptr) return false;
  if (g_table != nullptr) std::memcpy(grown, g_table, sizeof(char*) * g_count);
  grown[g_count] = entry;
  grown[g_count + 1] = nullptr;
  nt::HeapFree(g_table);
  g_table = grown;
  ++g_count;
  return true;
}

char* const* EnvironmentEntries() {
  static char* const kEmpty[] = {nullptr};
  return g_table != nullptr ? g_table : kEmpty;
}

}  // namespace rt
