// The simulated machine's state, shared by the control API and the nt:: side.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim.h"

namespace sim::detail {

inline constexpr nt::u32 kGenericAll = 0x10000000U;
inline constexpr nt::u32 kShareDelete = 0x4;
inline constexpr nt::u32 kCreateNew = 1;
inline constexpr nt::u32 kTruncateExisting = 5;
inline constexpr std::size_t kMaxPath = 260;
inline constexpr nt::u32 kStartupCb = 68;
// The attribute bits a file keeps; the rest of what a caller passes is ignored.
inline constexpr nt::u32 kFileAttributeMask = 0x27;  // read-only, hidden, system, archive

struct Node {
  std::string name;  // stored case; a root holds "C:" or "\\server\share"
  bool directory = false;
  nt::u32 attributes = 0;
  std::string data;
  std::map<std::string, std::shared_ptr<Node>> children;  // keyed by folded name
  bool program = false;
  Behaviour behaviour;
};
using NodePtr = std::shared_ptr<Node>;

struct Volume {
  NodePtr root;
  bool ready = true;
};

// A path made absolute and normalised, not yet looked up.
struct FullPath {
  nt::u32 error = 0;
  std::string root;                // "C:" or "\\server\share", as typed
  std::vector<std::string> parts;  // the components below the root
  bool trailingSeparator = false;  // the text ended in a separator after a name
  bool Unc() const { return root.size() >= 2 && root[0] == '\\'; }
  std::string Text() const;  // "C:\", "C:\a\b", "\\srv\share", "\\srv\share\a"
};

// A full path looked up in the tree.
struct Located {
  nt::u32 error = 0;
  NodePtr node;            // null when the last component does not exist
  NodePtr parent;          // the directory that holds (or would hold) it; null for a root
  std::string storedPath;  // the full path in stored case (typed case for a missing last name)
};

enum class ObjectKind { File, Search, Process, Thread };

struct Object {
  ObjectKind kind = ObjectKind::File;
  NodePtr node;
  nt::u32 access = 0;
  nt::u32 share = 0;
  std::size_t position = 0;
  std::string label;  // for the call log
  nt::u32 exitCode = 0;
};

struct StdSlot {
  Stream kind = Stream::Console;
  bool closed = false;
  // Standard input.
  std::string input;
  std::size_t offset = 0;
  bool linePerRead = true;
  nt::u32 readError = 0;
  // Standard output and error.
  NodePtr file;
  nt::u32 writeError = 0;
  std::vector<std::string> chunks;
  std::string text;
};

struct Fault {
  Op op = Op::GetLastError;
  long long at = 0;  // the op's call number that fails
  bool fromThenOn = false;
  nt::u32 error = 0;
  bool shortWrite = false;
  nt::u32 accepted = 0;
};

struct State {
  State();
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  std::map<std::string, Volume> volumes;  // keyed by folded root
  std::string cwd;
  std::vector<std::string> environment;
  std::unique_ptr<char[]> commandLine;
  // Exactly sized copies, so the sanitizers catch a read past the end.
  std::unique_ptr<nt::u8[]> startupBlock;
  bool hasStartupBlock = false;
  nt::u16 startupBlockSize = 0;
  std::array<StdSlot, 3> std;
  std::map<nt::Handle, Object> objects;
  nt::Handle nextHandle = 0x100;
  std::map<const char*, std::unique_ptr<char[]>> environmentBlocks;
  std::map<void*, std::size_t> heapBlocks;
  HeapCounters heap;
  std::vector<Launch> launches;
  std::vector<Call> calls;
  std::map<Op, long long> callCounts;
  std::vector<Fault> faults;
  nt::u32 lastError = 0;
};

State& S();
void ResetState();

char Upper(char c);
std::string Fold(std::string_view text);
NodePtr MakeNode(std::string name, bool directory, nt::u32 attributes);
nt::u32 FileAttributes(nt::u32 requested);

// Resolves a path against the current directory and the per-drive variables.
// The caller has checked the text (not empty, no bad characters).
FullPath Resolve(std::string_view path);
Located Locate(const FullPath& full);
// Case-insensitive match with * (any run) and ? (one character); "*.*" matches all.
bool Matches(std::string_view pattern, std::string_view name);
// 0, or the error for a path text: 206 too long, 123 bad characters. With
// wildcardsInLast, * and ? are allowed after the last separator.
nt::u32 CheckPathText(std::string_view path, bool wildcardsInLast);

}  // namespace sim::detail
