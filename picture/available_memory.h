#pragma once

// How much memory the machine can give this process, asked before a picture
// is decoded: on Linux an allocation rarely fails up front, the process is
// killed later when the pages are touched.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Bytes a picture needs for each pixel while the viewer runs: the scene's
// buffers (source 3, output 3, coverage 1, accum 12, counts 2), the
// emission picture a threshold asks for (3) and the window's framebuffer (4).
inline constexpr std::uint64_t kBytesPerPixelAtRun = 28;

// Whether a picture of width x height pixels fits into `available` bytes.
bool PictureFitsInMemory(std::uint64_t width, std::uint64_t height, std::uint64_t available);

// What this process can still allocate and use without being refused or
// killed, as far as the system tells; UINT64_MAX where it tells nothing.
std::uint64_t AvailableMemoryBytes();

// The pieces of the Linux answer, each read from the text of a file.
namespace linux_memory {

// MemAvailable plus SwapFree of /proc/meminfo, in bytes.
std::optional<std::uint64_t> FreeFromMeminfo(std::string_view meminfo);

// A "Name:   N kB" line of /proc/self/status, in bytes.
std::optional<std::uint64_t> StatusBytes(std::string_view status, std::string_view name);

// Bytes left under a resource limit, given what is in use.
std::uint64_t Headroom(std::uint64_t limit, std::uint64_t used);

// The files that hold the limit of this process's memory cgroup, from the
// text of /proc/self/cgroup: version 2's unified line ("0::/path") and
// version 1's memory controller ("N:memory:/path").
struct CgroupFiles {
  std::string limit;        // "max" or a number of bytes
  std::string usage;
  std::string stat;         // holds the page cache the kernel can reclaim
  std::string inactiveKey;  // its name in stat
};
std::vector<CgroupFiles> CgroupMemoryFiles(std::string_view procSelfCgroup);

// Limit minus usage, counting the inactive page cache as free; nothing when
// the limit is "max" or unreadable.
std::optional<std::uint64_t> CgroupHeadroom(std::string_view limit, std::string_view usage,
                                            std::string_view stat, std::string_view inactiveKey);

}  // namespace linux_memory
