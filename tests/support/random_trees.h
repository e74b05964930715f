// Random pairs of trees for the end-to-end tests: a generator driven by a 64-bit seed (the same
// trees on every build), the destination a run must leave, and trees written to and read back
// from disk.
#pragma once

#include <algorithm>
#include <random>

#include "tandrel_test.h"

// No two differ in punctuation alone, so names pair exactly when they differ in letter case
// alone (on Windows).
const std::vector<std::string> kNames = {"a",         "b",          "C",       "Data",
                                         "notes.txt", "x.y.z",      "it's",    "-dash",
                                         "--help",    "Report.TXT", ".hidden", "with space.txt"};
// POSIX only: a quote, characters Windows refuses, names that are not UTF-8 (a lone byte,
// Latin-1, an encoded surrogate, an overlong slash), UTF-8 beyond ASCII, spaces at the ends.
const std::vector<std::string> kPosixNames = {
    "\"quoted\"", "\xff\xfe",  "caf\xe9",     "\xed\xb2\x80", "\xc0\xaf", "\xc3\xa9t\xc3\xa9",
    "st*ar",      "tab\tname", " lead space", "trail space ", "-",        "--"};
const std::vector<size_t> kSizes = {0, 0, 1, 100, 4095, 4096, 4097, 8192};
// Equal up to 6 seconds apart less one unit (precision 5 s, in whole seconds).
const std::vector<uint64_t> kTimeDifferences = {
    0, 0, 1, 5 * kSecond, 6 * kSecond - 1, 6 * kSecond, 400 * 86400 * kSecond};
const std::vector<DWORD> kAttributes = {
    0, 0, 0, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, kStored};

// Fills pairs of trees from a seed (the engine's sequence is the same on every build).
struct Generator {
  std::mt19937_64 engine;
  int budget;
  Tree source = {}, destination = {};
  uint64_t Below(uint64_t bound) { return engine() % bound; }
  bool Chance(unsigned percent) { return Below(100) < percent; }
  template <class T>
  T Pick(const std::vector<T>& values) {
    return values[Below(values.size())];
  }

  // Fills from (source) and to (destination), or the tree `only` alone: entries on one side
  // only, a file facing a directory, directory pairs, and file pairs that differ or not in size,
  // contents, time and attributes. On Windows the destination's name may differ in case; on the
  // POSIX build names that differ in case alone are entries of their own.
  void Fill(const std::string& from, const std::string& to, int depth, Tree* only = nullptr) {
    for (auto n = 2 + Below(depth == 0 ? 10 : 4); n > 0 && budget > 0; n--, budget--) {
      std::string name = Pick(!kWindowsBuild && Chance(30) ? kPosixNames : kNames);
      name = (!kWindowsBuild && Chance(30) ? Flip(name) : name) +
             (Chance(35) ? std::to_string(Below(10)) : "");
      if (source.count(Key(from + name)) || destination.count(Key(to + name)))
        continue;
      std::string s = from + name,
                  d = to + (kWindowsBuild && !only && Chance(25) ? Flip(name) : name);
      uint64_t kind = only ? 0 : Below(10);
      if (kind < 2) {
        OneSide(only   ? *only
                : kind ? source
                       : destination,
                kind ? s : d, depth, depth < 3 && Chance(30));
      } else if (kind == 2) {
        bool fileInSource = Chance(50);
        Add(fileInSource ? source : destination, fileInSource ? s : d, false);
        OneSide(fileInSource ? destination : source, fileInSource ? d : s, depth, true);
      } else if (kind < 5 && depth < 3) {
        Add(source, s, true);
        Add(destination, d, true);
        Fill(s + kSeparator, d + kSeparator, depth + 1);
      } else {
        TreeEntry &a = Add(source, s, false), &b = Add(destination, d, false);
        uint64_t difference = Pick(kTimeDifferences), how = Below(3);
        b.time = Chance(50) ? a.time + difference : a.time - difference;
        b.contents = how < 2 ? a.contents : b.contents;
        if (how == 1 && !b.contents.empty())  // the same size, the last byte differs
          b.contents.back() ^= 1;
        b.attributes = Chance(60) ? a.attributes : b.attributes;
      }
    }
  }
  // A file, or a directory with entries below it, on one side only.
  void OneSide(Tree& tree, const std::string& path, int depth, bool directory) {
    if (Add(tree, path, directory).directory)
      Fill(path + kSeparator, path + kSeparator, depth + 1, &tree);
  }

  std::string Flip(std::string name) {  // the case of some letters
    for (char& c : name)
      c = static_cast<char>((c | 0x20) >= 'a' && (c | 0x20) <= 'z' && Chance(50) ? c ^ 0x20 : c);
    return name;
  }

  // The POSIX build keeps read-only for files alone; a name beginning with "." is hidden.
  TreeEntry& Add(Tree& tree, const std::string& path, bool directory) {
    std::string contents(directory ? 0 : Pick(kSizes), 0);
    for (char& c : contents) c = static_cast<char>(engine());
    bool dot = path[path.rfind(kSeparator[0]) + 1] == '.';
    return tree[Key(path)] = {
               path, directory, contents, directory ? 0 : kFileTime + Below(700 * 86400 * kSecond),
               (Pick(kAttributes) & ~(directory ? DWORD{FILE_ATTRIBUTE_READONLY} : 0)) |
                   (dot ? FILE_ATTRIBUTE_HIDDEN : 0)};
  }
};

// What the destination must hold: a file pair of one size and times less than 6 s apart is equal
// and keeps the destination's contents and time; all else arrives as an exact copy.
inline Tree Settled(const Tree& source, const Tree& destination) {
  Tree result = source;
  for (auto& [key, want] : result) {
    auto found = destination.find(key);
    const TreeEntry& have = found == destination.end() ? want : found->second;
    if (!want.directory && !have.directory && want.contents.size() == have.contents.size() &&
        std::max(want.time, have.time) - std::min(want.time, have.time) < 6 * kSecond)
      want = {want.path, false, have.contents, have.time, want.attributes};
  }
  return result;
}

inline void Materialize(const fs::path& root, const Tree& tree) {
  fs::create_directories(root);
  for (const auto& [key, entry] : tree) {
    fs::path path = root / fs::path(entry.path);
    if (!entry.directory)
      MakeFile(path, entry.contents, entry.time, entry.attributes);
    else if (fs::create_directory(path) && entry.attributes != 0)
      SetAttributes(path, entry.attributes);
  }
}

// One line per entry: path, kind, size, hash of the contents, time and attributes.
inline std::string Text(const Tree& tree, bool foldCase = false) {
  std::string text;
  for (const auto& [key, e] : tree) {
    text += (foldCase ? key : e.path) + ' ' + std::to_string(e.directory) + ' ' +
            std::to_string(e.contents.size()) + ' ' +
            std::to_string(std::hash<std::string>()(e.contents)) + ' ' + std::to_string(e.time) +
            ' ' + std::to_string(e.attributes) + '\n';
  }
  return text;
}
