#include "frame_file.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The longest file name (one path component) the file systems take:
// NAME_MAX bytes, on Windows UTF-16 units.
constexpr std::size_t kLongestFileName = 255;

// Whether the unit continues the character before it (a UTF-8 trailing
// byte, a UTF-16 low surrogate): a name cut there would split it.
bool ContinuesCharacter(fs::path::value_type unit) {
#ifdef _WIN32
  return unit >= 0xDC00 && unit <= 0xDFFF;
#else
  return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
#endif
}

// `name` cut to at most `limit` units, whole characters only.
fs::path::string_type Shortened(fs::path::string_type name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t cut = limit;
  while (cut > 0 && ContinuesCharacter(name[cut])) --cut;
  name.resize(cut);
  return name;
}

// Beside `target`, named for it; a target's name that is near the limit
// loses its end here, since the temporary's name must fit too.
fs::path TemporaryBeside(const fs::path& target) {
  static std::random_device random;
  const fs::path suffix = ".partial-" + std::to_string(random());
  fs::path name = Shortened(target.filename().native(), kLongestFileName - suffix.native().size());
  name += suffix;
  return target.parent_path() / name;
}

#ifdef _WIN32
// The Windows viewer is a windowed program: no console sends it Ctrl+C.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const fs::path&) {}
};
#else
constexpr int kEndingSignals[] = {SIGINT, SIGTERM};

// The temporary being written, for the signal handler, which may call only
// async-signal-safe functions: a fixed buffer, no path. Its handler may run
// on any thread, so the name is published by the flag, set after it.
char temporaryName[4096];  // PATH_MAX: a longer name cannot be created anyway
std::atomic<bool> temporaryNamed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// What each signal did before the temporary was named, for the handler.
// One writer at a time: the name and these are the process's.
struct sigaction previousActions[std::size(kEndingSignals)];

void RemoveTemporaryAndEnd(int signal) {
  if (temporaryNamed.load()) unlink(temporaryName);
  // The signal again, as it was handled before (ending the program, or a
  // viewer's own handler, which quits it cleanly), once this one returns.
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (kEndingSignals[i] == signal) sigaction(signal, &previousActions[i], nullptr);
  }
  raise(signal);
}

// While it lives, SIGINT and SIGTERM remove the temporary before they end
// the program; signals that are ignored stay ignored. The name and the
// handlers change with both signals blocked on this thread.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const fs::path& temporary) {
    const std::string& name = temporary.native();
    if (name.size() >= sizeof temporaryName) return;
    const sigset_t unblocked = BlockEndingSignals();
    std::memcpy(temporaryName, name.c_str(), name.size() + 1);
    temporaryNamed = true;
    struct sigaction handler {};
    handler.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&handler.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], nullptr, &previous_[i]);
      previousActions[i] = previous_[i];
      if (previous_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &handler, nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &unblocked, nullptr);
    active_ = true;
  }

  ~RemovedOnSignal() {
    if (!active_) return;
    const sigset_t unblocked = BlockEndingSignals();
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
    temporaryNamed = false;
    pthread_sigmask(SIG_SETMASK, &unblocked, nullptr);
  }

  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
  // Returns the mask before.
  static sigset_t BlockEndingSignals() {
    sigset_t blocked, before;
    sigemptyset(&blocked);
    for (const int signal : kEndingSignals) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    return before;
  }

  struct sigaction previous_[std::size(kEndingSignals)] {};
  bool active_ = false;
};
#endif

// Gives `from` the name `to` unless a file already has it; the check and the
// naming are one step, so a file that appears meanwhile is never replaced.
WriteOutcome NameIfFree(const fs::path& from, const fs::path& to, std::error_code& reason) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), 0)) return WriteOutcome::Written;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return WriteOutcome::Exists;
  reason.assign(static_cast<int>(error), std::system_category());
  return WriteOutcome::Failed;
#else
  if (link(from.c_str(), to.c_str()) == 0) return WriteOutcome::Written;
  if (errno == EEXIST) return WriteOutcome::Exists;
  // Some file systems have no hard links: check, then rename.
  if (fs::exists(to, reason) || reason) return reason ? WriteOutcome::Failed : WriteOutcome::Exists;
  fs::rename(from, to, reason);
  return reason ? WriteOutcome::Failed : WriteOutcome::Written;
#endif
}

}  // namespace

WriteOutcome WriteThroughTemporary(const fs::path& target, bool replace,
                                   const std::function<bool(const fs::path&, std::error_code&)>& write,
                                   std::error_code& reason) {
  std::error_code error;
  if (!replace && (fs::exists(target, error) || fs::is_symlink(target, error))) {
    return WriteOutcome::Exists;
  }
  const fs::path temporary = TemporaryBeside(target);
  const RemovedOnSignal removedOnSignal(temporary);
  WriteOutcome outcome = WriteOutcome::Failed;
  reason.clear();
  if (write(temporary, reason)) {
    WaitAtWriteGate();
    if (replace) {
      fs::rename(temporary, target, reason);
      if (!reason) outcome = WriteOutcome::Written;
    } else {
      outcome = NameIfFree(temporary, target, reason);
    }
  }
  // A writer that forgot to say why still failed.
  if (outcome == WriteOutcome::Failed && !reason) reason = std::make_error_code(std::errc::io_error);
  fs::remove(temporary, error);
  return outcome;
}

void WaitAtWriteGate(bool (*giveUp)()) {
  static const char* const gate = std::getenv("GLINTOR_WRITE_GATE");
  std::error_code error;
  while (gate != nullptr && *gate != '\0' && fs::exists(fs::u8path(gate), error) &&
         (giveUp == nullptr || !giveUp())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::error_code ErrnoReason() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

std::string ReasonText(const std::error_code& reason) {
#ifdef _WIN32
  if (reason.category() == std::system_category()) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(reason.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) utf8 = DisplayName(fs::path(std::wstring(text, length)));
    LocalFree(text);
    // The system's sentences end in ".\r\n"; ours add their own full stop.
    while (!utf8.empty() && (utf8.back() == '.' || utf8.back() == '\r' || utf8.back() == '\n' ||
                             utf8.back() == ' ')) {
      utf8.pop_back();
    }
    if (!utf8.empty()) return utf8;
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(reason.value()));
    return code;
  }
#endif
  return reason.message();
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

fs::path SavedFrameName(const fs::path& picture, std::string_view mode, std::int32_t column,
                        std::int32_t row, unsigned n) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "-" + std::string.
  std::string suffix(1, '-');
  suffix.append(mode).append(1, '-').append(std::to_string(column));
  suffix.append(1, '-').append(std::to_string(row));
  if (n >= 2) suffix.append(1, '-').append(std::to_string(n));
  suffix.append(".png");
  // A long picture name loses the end of its stem, so that the saved name
  // still fits the file name limit (the suffix tells the frames apart).
  const fs::path ending = suffix;
  fs::path name = Shortened(picture.stem().native(), kLongestFileName - ending.native().size());
  name += ending;
  return picture.parent_path() / name;
}
