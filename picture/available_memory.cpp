#include "available_memory.h"

#include <algorithm>
#include <charconv>
#include <limits>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/resource.h>

#include <fstream>
#include <iterator>
#endif

bool PictureFitsInMemory(std::uint64_t width, std::uint64_t height, std::uint64_t available) {
  // Sides are at most 32768 once checked; anything larger never fits.
  if (width > 0xFFFFFFFFu || height > 0xFFFFFFFFu) return false;
  const std::uint64_t pixels = width * height;
  return pixels <= available / kBytesPerPixelAtRun;
}

namespace linux_memory {
namespace {

std::optional<std::uint64_t> Number(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// The first line of text, which loses it and its line break.
std::string_view TakeLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

// The value after "key" at the start of a line, up to the line's end.
std::optional<std::string_view> Field(std::string_view text, std::string_view key) {
  while (!text.empty()) {
    const std::string_view line = TakeLine(text);
    if (line.starts_with(key)) return line.substr(key.size());
  }
  return std::nullopt;
}

std::optional<std::uint64_t> KilobyteField(std::string_view text, std::string_view key) {
  const auto field = Field(text, key);
  if (!field) return std::nullopt;
  const auto kilobytes = Number(*field);
  if (!kilobytes || *kilobytes > std::numeric_limits<std::uint64_t>::max() / 1024) {
    return std::nullopt;
  }
  return *kilobytes * 1024;
}

// Whether a comma-separated list of cgroup controllers names "memory".
bool ListsMemory(std::string_view controllers) {
  while (!controllers.empty()) {
    const std::size_t comma = controllers.find(',');
    if (controllers.substr(0, comma) == "memory") return true;
    if (comma == std::string_view::npos) break;
    controllers.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::optional<std::uint64_t> FreeFromMeminfo(std::string_view meminfo) {
  const auto available = KilobyteField(meminfo, "MemAvailable:");
  if (!available) return std::nullopt;
  const auto swap = KilobyteField(meminfo, "SwapFree:");
  return *available + swap.value_or(0);
}

std::optional<std::uint64_t> StatusBytes(std::string_view status, std::string_view name) {
  return KilobyteField(status, std::string(name) + ":");
}

std::uint64_t Headroom(std::uint64_t limit, std::uint64_t used) {
  return limit > used ? limit - used : 0;
}

std::vector<CgroupFiles> CgroupMemoryFiles(std::string_view procSelfCgroup) {
  std::vector<CgroupFiles> files;
  while (!procSelfCgroup.empty()) {
    const std::string_view line = TakeLine(procSelfCgroup);
    // hierarchy:controllers:path
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string path(line.substr(second + 1));
    if (path.empty() || path.front() != '/') continue;
    if (path.back() != '/') path += '/';
    if (line.substr(0, first) == "0" && controllers.empty()) {
      const std::string folder = "/sys/fs/cgroup" + path;
      files.push_back({folder + "memory.max", folder + "memory.current", folder + "memory.stat",
                       "inactive_file "});
      continue;
    }
    if (ListsMemory(controllers)) {
      const std::string folder = "/sys/fs/cgroup/memory" + path;
      files.push_back({folder + "memory.limit_in_bytes", folder + "memory.usage_in_bytes",
                       folder + "memory.stat", "total_inactive_file "});
    }
  }
  return files;
}

std::optional<std::uint64_t> CgroupHeadroom(std::string_view limit, std::string_view usage,
                                            std::string_view stat, std::string_view inactiveKey) {
  const auto limitBytes = Number(limit);
  const auto usageBytes = Number(usage);
  if (!limitBytes || !usageBytes) return std::nullopt;  // "max", or not there
  const auto field = Field(stat, inactiveKey);
  const std::uint64_t reclaimable = field ? Number(*field).value_or(0) : 0;
  return Headroom(*limitBytes, Headroom(*usageBytes, reclaimable));
}

}  // namespace linux_memory

#ifdef _WIN32

std::uint64_t AvailableMemoryBytes() {
  // Windows commits memory when it is allocated: what is left to commit,
  // and the address space left to this process.
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return std::numeric_limits<std::uint64_t>::max();
  return std::min<std::uint64_t>(status.ullAvailPageFile, status.ullAvailVirtual);
}

#else

namespace {

std::string ReadSmallFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text;
  // These files are a few kilobytes; a bound keeps a strange one from
  // costing anything.
  constexpr std::size_t kMaxBytes = 1 << 16;
  std::istreambuf_iterator<char> in(file), end;
  for (; in != end && text.size() < kMaxBytes; ++in) text.push_back(*in);
  return text;
}

std::optional<std::uint64_t> LimitHeadroom(int resource, std::string_view status,
                                           std::string_view usedField) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  return linux_memory::Headroom(limit.rlim_cur,
                                linux_memory::StatusBytes(status, usedField).value_or(0));
}

}  // namespace

std::uint64_t AvailableMemoryBytes() {
  using namespace linux_memory;
  std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
  const auto lower = [&available](std::optional<std::uint64_t> bound) {
    if (bound) available = std::min(available, *bound);
  };
  lower(FreeFromMeminfo(ReadSmallFile("/proc/meminfo")));
  const std::string status = ReadSmallFile("/proc/self/status");
  lower(LimitHeadroom(RLIMIT_AS, status, "VmSize"));
  lower(LimitHeadroom(RLIMIT_DATA, status, "VmData"));
  for (const CgroupFiles& files : CgroupMemoryFiles(ReadSmallFile("/proc/self/cgroup"))) {
    lower(CgroupHeadroom(ReadSmallFile(files.limit), ReadSmallFile(files.usage),
                         ReadSmallFile(files.stat), files.inactiveKey));
  }
  return available;
}

#endif
