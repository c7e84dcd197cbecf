// Paths and the file tree of the simulated machine: NT's full-path rules,
// lookup below a drive or share root, and search-pattern matching.
#include <algorithm>
#include <string>

#include "sim_internal.h"

namespace sim::detail {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The per-drive variable "=X:" when it names a directory on drive X.
std::optional<std::string> DriveDirectory(char drive) {
  const std::string name = {'=', Upper(drive), ':'};
  for (const std::string& entry : S().environment) {
    if (entry.size() < 4 || Fold(entry.substr(0, 3)) != name || entry[3] != '=') continue;
    std::string value = entry.substr(4);
    std::replace(value.begin(), value.end(), '/', '\\');
    if (value.size() >= 3 && Upper(value[0]) == name[1] && value[1] == ':' && value[2] == '\\') {
      return value;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// The root part of an absolute directory text: "C:" or "\\srv\share".
std::string RootOf(const std::string& directory) {
  if (directory.size() >= 2 && directory[0] == '\\') {
    std::size_t server = directory.find('\\', 2);
    std::size_t share = directory.find('\\', server + 1);
    return directory.substr(0, share);
  }
  return directory.substr(0, 2);
}

// Applies ".", ".." and NT's dot and blank trimming to the text after a root.
void Collapse(const std::string& rest, FullPath& full) {
  std::vector<std::string> raw;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = rest.find('\\', start);
    raw.push_back(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  bool lastWasName = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    std::string part = raw[i];
    if (part.empty()) continue;
    if (part == ".") {
      lastWasName = false;
      continue;
    }
    if (part == "..") {
      if (!full.parts.empty()) full.parts.pop_back();
      lastWasName = false;
      continue;
    }
    const bool followedBySeparator = i + 1 < raw.size();
    if (followedBySeparator) {
      // A directory name loses one trailing dot.
      if (part.back() == '.') part.pop_back();
    } else {
      // The final name loses every trailing dot and blank.
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    }
    if (part.empty()) continue;
    full.parts.push_back(part);
    lastWasName = true;
  }
  full.trailingSeparator = lastWasName && !rest.empty() && rest.back() == '\\';
}

NodePtr Child(const NodePtr& directory, const std::string& name) {
  auto found = directory->children.find(Fold(name));
  return found == directory->children.end() ? nullptr : found->second;
}

}  // namespace

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = Upper(c);
  return folded;
}

NodePtr MakeNode(std::string name, bool directory, nt::u32 attributes) {
  auto node = std::make_shared<Node>();
  node->name = std::move(name);
  node->directory = directory;
  node->attributes = directory ? nt::kAttributeDirectory : FileAttributes(attributes);
  return node;
}

nt::u32 FileAttributes(nt::u32 requested) {
  const nt::u32 kept = requested & kFileAttributeMask;
  return kept != 0 ? kept : nt::kAttributeNormal;
}

std::string FullPath::Text() const {
  std::string text = root;
  if (!Unc()) text += '\\';
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (Unc() || i > 0) text += '\\';
    text += parts[i];
  }
  return text;
}

FullPath Resolve(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  FullPath full;
  const std::string& cwd = S().cwd;
  if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
    std::size_t serverEnd = text.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) {
      full.error = kErrorBadPathName;
      return full;
    }
    std::size_t shareEnd = text.find('\\', serverEnd + 1);
    if (shareEnd == serverEnd + 1 || serverEnd + 1 == text.size()) {
      full.error = kErrorBadPathName;
      return full;
    }
    full.root = text.substr(0, shareEnd);
    Collapse(shareEnd == std::string::npos ? std::string() : text.substr(shareEnd + 1), full);
    return full;
  }
  if (text.size() >= 2 && IsLetter(text[0]) && text[1] == ':') {
    if (text.size() >= 3 && text[2] == '\\') {
      full.root = text.substr(0, 2);
      Collapse(text.substr(3), full);
      return full;
    }
    // Drive-relative: the current directory when it is on that drive, else
    // the drive's remembered directory, else its root.
    std::string base;
    if (cwd.size() >= 2 && cwd[1] == ':' && Upper(cwd[0]) == Upper(text[0])) {
      base = cwd;
    } else if (auto remembered = DriveDirectory(text[0])) {
      base = *remembered;
    } else {
      base = text.substr(0, 2) + "\\";
    }
    return Resolve(text.size() == 2 ? base : base + "\\" + text.substr(2));
  }
  if (!text.empty() && text[0] == '\\') return Resolve(RootOf(cwd) + text);
  return Resolve(text.empty() ? cwd : cwd + "\\" + text);
}

Located Locate(const FullPath& full) {
  Located found;
  State& s = S();
  auto volume = s.volumes.find(Fold(full.root));
  if (volume == s.volumes.end()) {
    if (!full.Unc()) {
      found.error = nt::kErrorPathNotFound;
      return found;
    }
    const std::string server = Fold(full.root.substr(0, full.root.find('\\', 2) + 1));
    found.error = kErrorBadNetPath;
    for (const auto& entry : s.volumes) {
      if (entry.first.compare(0, server.size(), server) == 0) found.error = kErrorBadNetName;
    }
    return found;
  }
  if (!volume->second.ready) {
    found.error = nt::kErrorNotReady;
    return found;
  }
  FullPath stored;
  NodePtr directory = volume->second.root;
  stored.root = directory->name;
  if (full.parts.empty()) {
    found.node = directory;
    found.storedPath = stored.Text();
    return found;
  }
  for (std::size_t i = 0; i + 1 < full.parts.size(); ++i) {
    NodePtr next = Child(directory, full.parts[i]);
    if (!next || !next->directory) {
      found.error = nt::kErrorPathNotFound;
      return found;
    }
    stored.parts.push_back(next->name);
    directory = next;
  }
  found.parent = directory;
  found.node = Child(directory, full.parts.back());
  stored.parts.push_back(found.node ? found.node->name : full.parts.back());
  found.storedPath = stored.Text();
  return found;
}

bool Matches(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

nt::u32 CheckPathText(std::string_view path, bool wildcardsInLast) {
  if (path.size() >= kMaxPath) return kErrorFilenameTooLong;
  const std::size_t lastSeparator = path.find_last_of("\\/");
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (static_cast<unsigned char>(c) < 0x20) return kErrorInvalidName;
    if (c == '<' || c == '>' || c == '|' || c == '"') return kErrorInvalidName;
    if (c == ':' && (i != 1 || !IsLetter(path[0]))) return kErrorInvalidName;
    if (c == '*' || c == '?') {
      const bool inLast = lastSeparator == std::string_view::npos || i > lastSeparator;
      if (!wildcardsInLast || !inLast) return kErrorInvalidName;
    }
  }
  return 0;
}

}  // namespace sim::detail
