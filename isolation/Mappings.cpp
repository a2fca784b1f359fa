#include "Mappings.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace Grabkit::Isolation {

bool parseMapsLine(const std::string& line, Mapping& m) {
  unsigned long long start, end, offset, inode;
  char perms[5];
  unsigned major, minor;
  int consumed = 0;
  if (sscanf(line.c_str(), "%llx-%llx %4s %llx %x:%x %llu %n", &start, &end, perms, &offset, &major,
             &minor, &inode, &consumed) < 7 ||
      end <= start) {
    return false;
  }
  m.start = static_cast<uintptr_t>(start);
  m.end = static_cast<uintptr_t>(end);
  m.shared = perms[3] == 's';
  m.offset = offset;
  m.inode = inode;
  m.path =
      consumed > 0 && static_cast<size_t>(consumed) <= line.size() ? line.substr(consumed) : "";
  return true;
}

bool findSharedFile(const void* address, size_t size, Mapping& m, uint64_t& fileOffset) {
  auto from = reinterpret_cast<uintptr_t>(address);
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    Mapping candidate;
    if (!parseMapsLine(line, candidate) || from < candidate.start || from >= candidate.end) {
      continue;
    }
    const std::string deleted = " (deleted)";
    bool gone = candidate.path.size() >= deleted.size() &&
                candidate.path.compare(candidate.path.size() - deleted.size(), deleted.size(),
                                       deleted) == 0;
    if (!candidate.shared || candidate.inode == 0 || candidate.path.empty() ||
        candidate.path[0] != '/' || gone || candidate.end - from < size) {
      return false;
    }
    m = candidate;
    fileOffset = candidate.offset + (from - candidate.start);
    return true;
  }
  return false;
}

}  // namespace Grabkit::Isolation
