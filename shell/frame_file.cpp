#include "frame_file.h"

#include <cerrno>
#include <exception>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Gives `from` the name `to` unless a file already has it; the check and the
// naming are one step, so a file that appears meanwhile is never replaced.
WriteOutcome NameIfFree(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), 0)) return WriteOutcome::Written;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? WriteOutcome::Exists
                                                                      : WriteOutcome::Failed;
#else
  if (link(from.c_str(), to.c_str()) == 0) return WriteOutcome::Written;
  if (errno == EEXIST) return WriteOutcome::Exists;
  // Some file systems have no hard links: check, then rename.
  std::error_code error;
  if (fs::exists(to, error) || error) return error ? WriteOutcome::Failed : WriteOutcome::Exists;
  fs::rename(from, to, error);
  return error ? WriteOutcome::Failed : WriteOutcome::Written;
#endif
}

}  // namespace

WriteOutcome WriteThroughTemporary(const fs::path& target, bool replace,
                                   const std::function<bool(const fs::path&)>& write) {
  std::error_code error;
  if (!replace && (fs::exists(target, error) || fs::is_symlink(target, error))) {
    return WriteOutcome::Exists;
  }
  static std::random_device random;
  fs::path temporary = target;
  temporary += ".partial-" + std::to_string(random());
  WriteOutcome outcome = WriteOutcome::Failed;
  if (write(temporary)) {
    if (replace) {
      fs::rename(temporary, target, error);
      if (!error) outcome = WriteOutcome::Written;
    } else {
      outcome = NameIfFree(temporary, target);
    }
  }
  fs::remove(temporary, error);
  return outcome;
}

std::string DisplayName(const fs::path& path) {
  try {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
  } catch (const std::exception&) {
    // A Windows name may hold UTF-16 that is no text (a lone surrogate).
    std::string text;
    for (const auto unit : path.native()) {
      text += static_cast<unsigned>(unit) < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
  }
}

fs::path SavedFrameName(const fs::path& picture, std::string_view mode, std::uint32_t column,
                        std::uint32_t row, unsigned n) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "-" + std::string.
  std::string suffix(1, '-');
  suffix.append(mode).append(1, '-').append(std::to_string(column));
  suffix.append(1, '-').append(std::to_string(row));
  if (n >= 2) suffix.append(1, '-').append(std::to_string(n));
  suffix.append(".png");
  fs::path name = picture.stem();
  name += suffix;
  return picture.parent_path() / name;
}
