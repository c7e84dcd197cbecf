// The agent's environment table: name=value texts copied in order from the
// process environment at start-up. Lookups read this table, not the process.
#pragma once

namespace rt {

// Copies the process environment into a fresh table.
void InitEnvironmentTable();
// The value text of the first entry whose name matches `name` (ASCII letters
// compared without regard to case), or nullptr.
const char* GetEnvironmentValue(const char* name);
// Puts `entry` ("NAME=value", heap text owned by the table from now on) into
// the table: replaces the entry of that name in its slot, else appends it.
// `nameLength` is the length of NAME. Returns false when the table cannot grow
// (the entry is then not taken).
bool PutEnvironmentEntry(char* entry, unsigned nameLength);
// The table's entries, ended by nullptr (for tests and debugging).
char* const* EnvironmentEntries();

}  // namespace rt
