#include "render_progress.h"

#include <cstdio>

void Progress::FrameDone() {
  ++done_;
  if (!shown_) return;
  const auto now = Clock::now();
  if (now - drawn_ < std::chrono::milliseconds(250)) return;
  drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double fps = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
  const double secondsLeft = fps > 0 ? static_cast<double>(total_ - done_) / fps : 0;
  const auto left = static_cast<unsigned long>(secondsLeft + 0.5);
  char text[128];
  std::snprintf(text, sizeof text, "%zu of %zu frames, %.1f fps, %lu:%02lu:%02lu left", done_, total_, fps,
                left / 3600, left / 60 % 60, left % 60);
  Draw(text);
}

void Progress::Draw(const std::string& text) {
  // Spaces cover what is left of a longer line before.
  std::fprintf(stderr, "\r%s%*s\r", text.c_str(),
               static_cast<int>(width_ > text.size() ? width_ - text.size() : 0), "");
  std::fflush(stderr);
  width_ = text.size();
}
