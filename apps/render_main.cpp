// glintor-render: renders frames of a picture without a window, for scripts,
// tests and benchmarks.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "arguments.h"
#include "bmp_file.h"
#include "frame_file.h"
#include "light_options.h"
#include "renderer.h"
#include "scene_state.h"
#include "sdl_backend.h"
#include "startup_messages.h"
#include "window_link.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: glintor-render [--mode weighted|uniform] [--light COL,ROW]... [--lights FILE]...\n"
    "                      [--threshold T] [--strength K] [--tint RRGGBB] [--view V]\n"
    "                      [--frames PATTERN] INPUT [OUTPUT.png|OUTPUT.bmp]\n"
    "Renders one frame per light, in the order given (row 0 is the bottom row;\n"
    "default: one frame with the light at the centre) and prints each frame's title.\n"
    "A light may lie outside the picture, up to its width or height beyond each\n"
    "edge (-40,213 or --light=-40,213 for a light left of it).\n"
    "INPUT is a BMP, PNG or JPEG picture; the last frame goes to OUTPUT, a 24-bit\n"
    "PNG or BMP as its extension says.\n"
    "  --lights FILE     one COLUMN,ROW a line ('#' starts a comment; - reads stdin),\n"
    "                    added where it stands among the --light options\n"
    "  --frames PATTERN  writes every frame instead, numbered from 0 into one %d or\n"
    "                    %0Nd field of PATTERN (%% is a percent sign): f-%04d.png\n";

void PrintUsage(std::FILE* stream) {
  std::fputs(kUsage, stream);
  std::fputs(kLightOptionsHelp, stream);
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "glintor-render: %s\n", problem.c_str());
  PrintUsage(stderr);
  return 2;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  ReleaseBuffers();
  return 1;
}

struct Light {
  std::int32_t column, row;
};

// Beyond any picture's light range; the picture's own range is checked once
// it is loaded.
constexpr std::uint32_t kLargestCoordinate = 2 * kMaxPictureSide;

enum class ImageKind { Png, Bmp };

// Chosen by the name's extension, in any case.
std::optional<ImageKind> KindOfName(std::string_view name) {
  std::string extension = fs::path(name).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return ImageKind::Png;
  if (extension == ".bmp") return ImageKind::Bmp;
  return std::nullopt;
}

// A --frames pattern split around its one number field.
struct FramePattern {
  std::string before, after;
  std::size_t width = 0;  // zero-padded to this many digits

  std::string Name(std::size_t number) const {
    const std::string digits = std::to_string(number);
    return before + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits +
           after;
  }
};

// Accepts exactly one %d or %0Nd field, and %% for a percent sign. Formatted
// by hand: the pattern is user input and never reaches printf.
std::optional<FramePattern> ParseFramePattern(std::string_view text, std::string* problem) {
  FramePattern pattern;
  bool haveField = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string& out = haveField ? pattern.after : pattern.before;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    std::size_t width = 0;
    if (end < text.size() && text[end] == '0') {
      const std::size_t digits = ++end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
      // More digits than any frame number has would only waste memory.
      if (std::from_chars(text.data() + digits, text.data() + end, width).ec != std::errc{} ||
          width == 0 || width > 20) {
        *problem = "--frames: the field width must be 1 to 20 digits: %01d to %020d";
        return std::nullopt;
      }
    }
    if (end == text.size() || text[end] != 'd') {
      *problem = "--frames: only %d, %0Nd and %% may follow a percent sign";
      return std::nullopt;
    }
    if (haveField) {
      *problem = "--frames: the pattern needs exactly one %d or %0Nd field, not two";
      return std::nullopt;
    }
    haveField = true;
    pattern.width = width;
    i = end;
  }
  if (!haveField) {
    *problem = "--frames: the pattern needs one %d or %0Nd field for the frame number";
    return std::nullopt;
  }
  return pattern;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// One line of a lights file: "COLUMN,ROW", spaces allowed around both
// numbers, perhaps a "# comment" after. Blank and comment lines add no
// light. False if the line holds anything else.
bool AddLightOfLine(std::string_view line, std::vector<Light>* lights) {
  const std::string_view text = Trimmed(line.substr(0, line.find('#')));
  if (text.empty()) return true;
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  const std::string pair = std::string(Trimmed(text.substr(0, comma))) + "," +
                           std::string(Trimmed(text.substr(comma + 1)));
  Light light{};
  if (!ParsePair(pair, ',', kLargestCoordinate, &light.column, &light.row)) return false;
  lights->push_back(light);
  return true;
}

// A file that never ends (/dev/zero, a runaway pipe) is refused as soon as
// it passes these. A line is a pair and perhaps a comment; 16 MiB holds
// over a million lights, half a day of animation at 30 frames a second,
// and keeps their list under 64 MiB.
constexpr std::size_t kLongestLine = 4096;
constexpr std::size_t kLargestLightsFile = std::size_t{16} << 20;

// Appends the lights of a file ("-": standard input), one a line (see
// AddLightOfLine); a UTF-8 byte order mark may start it. Empty string when
// all is well, else the problem, naming the file as given and the line.
std::string ReadLights(const std::string& name, std::vector<Light>* lights) {
  std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
  if (file == nullptr) return "could not read " + name + ": " + std::strerror(errno);
  std::string problem;
  std::string line;
  unsigned long lineNumber = 1;
  std::size_t size = 0;
  const auto where = [&] { return name + ":" + std::to_string(lineNumber) + ": "; };
  for (int c = 0; c != EOF && problem.empty();) {
    c = std::getc(file);
    if (c != EOF && ++size > kLargestLightsFile) {
      problem = where() + "the file is longer than 16 MiB";
    } else if (c != '\n' && c != EOF) {
      if (line.size() == kLongestLine) {
        problem = where() + "the line is longer than 4096 bytes";
      } else {
        line += static_cast<char>(c);
      }
    } else {
      std::string_view text = line;
      if (lineNumber == 1 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
      if (!AddLightOfLine(text, lights)) problem = where() + "expected COLUMN,ROW";
      line.clear();
      ++lineNumber;
    }
  }
  if (problem.empty() && std::ferror(file)) problem = "could not read " + name;
  if (file != stdin) std::fclose(file);
  return problem;
}

// Whether writing `name` would replace the input picture, whatever the
// spelling of either or the links between them.
bool IsInput(const std::string& name, const std::string& input) {
  std::error_code error;
  return fs::equivalent(name, input, error);
}

// Empty unless a file to be written is the input picture.
std::string InputOverwritten(const std::string& input, const std::optional<std::string>& output,
                             const std::optional<FramePattern>& frames, std::size_t frameCount) {
  if (output && IsInput(*output, input)) return "the output is the input picture: " + *output;
  for (std::size_t number = 0; frames && number < frameCount; ++number) {
    const std::string frameName = frames->Name(number);
    if (IsInput(frameName, input)) {
      return "--frames: frame " + std::to_string(number) + " is the input picture: " + frameName;
    }
  }
  return {};
}

bool WriteFrame(const std::string& name, ImageKind kind, std::error_code& reason) {
  if (kind == ImageKind::Bmp) return WriteBmp(name, scene.width, scene.height, 24, scene.output, reason);
  const auto write = [](const fs::path& file, std::error_code& failure) {
    return WritePng(file, scene.width, scene.height, scene.output, failure);
  };
  return WriteThroughTemporary(name, true, write, reason) == WriteOutcome::Written;
}

// One line on a terminal's stderr, redrawn in place a few times a second:
// frames done, speed and time left.
class Progress {
 public:
  Progress(std::size_t total, bool shown) : total_(total), shown_(shown) {}

  void FrameDone() {
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
    std::snprintf(text, sizeof text, "%zu of %zu frames, %.1f fps, %lu:%02lu:%02lu left", done_,
                  total_, fps, left / 3600, left / 60 % 60, left % 60);
    Draw(text);
  }

  // Before anything else is printed on the terminal, and at the end.
  void Clear() {
    if (width_ > 0) Draw("");
  }

 private:
  using Clock = std::chrono::steady_clock;

  void Draw(const std::string& text) {
    // Spaces cover what is left of a longer line before.
    std::fprintf(stderr, "\r%s%*s\r", text.c_str(),
                 static_cast<int>(width_ > text.size() ? width_ - text.size() : 0), "");
    std::fflush(stderr);
    width_ = text.size();
  }

  std::size_t total_, done_ = 0, width_ = 0;
  bool shown_;
  Clock::time_point start_ = Clock::now(), drawn_ = start_;
};

Progress* progress = nullptr;
bool titlesOnTerminal = false;

void PrintTitle(void*, const char* text) {
  if (titlesOnTerminal && progress != nullptr) progress->Clear();
  std::printf("%s\n", text);
}

}  // namespace

int main(int argc, char** argv) {
  bool uniform = false;
  LightSettings settings;
  std::vector<Light> lights;
  std::vector<std::string> files;
  std::optional<FramePattern> frames;
  ImageKind framesKind = ImageKind::Png;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (argument == "--mode") {
      if (i + 1 == argc) return Usage("--mode needs weighted or uniform");
      const std::string_view mode = argv[++i];
      if (mode != "weighted" && mode != "uniform") {
        return Usage("unknown mode: " + std::string(mode));
      }
      uniform = mode == "uniform";
    } else if (IsLightOption(argument)) {
      const std::string problem =
          i + 1 == argc ? ParseLightOption(argument, {}, &settings) : ParseLightOption(argument, argv[++i], &settings);
      if (!problem.empty()) return Usage(problem);
    } else if (argument == "--light" || argument.starts_with("--light=")) {
      // The value may start with a minus sign: --light -40,213 or --light=-40,213.
      Light light{};
      const bool joined = argument != "--light";
      if (!joined && i + 1 == argc) return Usage("--light needs COLUMN,ROW, two numbers");
      const std::string_view value = joined ? argument.substr(8) : std::string_view(argv[++i]);
      if (!ParsePair(value, ',', kLargestCoordinate, &light.column, &light.row)) {
        return Usage("--light needs COLUMN,ROW, two numbers");
      }
      lights.push_back(light);
    } else if (argument == "--lights") {
      if (i + 1 == argc) return Usage("--lights needs a file, or - for standard input");
      const std::string problem = ReadLights(argv[++i], &lights);
      if (!problem.empty()) return Usage(problem);
    } else if (argument == "--frames") {
      if (i + 1 == argc) return Usage("--frames needs a pattern such as frame-%04d.png");
      if (frames) return Usage("--frames may be given once");
      std::string problem;
      frames = ParseFramePattern(argv[++i], &problem);
      if (!frames) return Usage(problem);
      const std::optional<ImageKind> kind = KindOfName(frames->Name(0));
      if (!kind) return Usage("--frames: the pattern must end in .png or .bmp");
      framesKind = *kind;
    } else if (argument.size() > 1 && argument.front() == '-') {
      return Usage("unknown option: " + std::string(argument));
    } else {
      files.emplace_back(argument);
    }
  }
  if (files.empty() || files.size() > 2) return Usage("give one input picture and at most one output");
  if (frames && files.size() == 2) {
    return Usage("give no OUTPUT with --frames: the pattern names the files");
  }
  std::optional<ImageKind> outputKind;
  if (files.size() == 2 && !(outputKind = KindOfName(files[1]))) {
    return Usage("the output must end in .png or .bmp: " + files[1]);
  }

  const LoadResult loaded = LoadSourceImage(files[0]);
  if (loaded != LoadResult::Loaded) return Fail(StartupMessage(loaded, files[0]));
  if (lights.empty()) lights.push_back({scene.width >> 1, scene.height >> 1});
  for (const Light& light : lights) {
    if (!LightInRange(light.column, light.row, scene.width, scene.height)) {
      ReleaseBuffers();
      const int w = scene.width, h = scene.height;
      return Usage("light " + std::to_string(light.column) + "," + std::to_string(light.row) +
                   " lies beyond the range of the " + std::to_string(w) + " x " + std::to_string(h) +
                   " picture: columns " + std::to_string(-w) + " to " + std::to_string(2 * w - 1) + ", rows " +
                   std::to_string(-h) + " to " + std::to_string(2 * h - 1));
    }
  }
  // Checked by name for every frame, a few microseconds each, before any is rendered.
  const std::string overwritten = InputOverwritten(
      files[0], outputKind ? std::optional(files[1]) : std::nullopt, frames, lights.size());
  if (!overwritten.empty()) {
    ReleaseBuffers();
    return Usage(overwritten);
  }
  scene.settings = settings;
  if (!AllocateFrameBuffers() || !UpdateEmission()) return Fail(StartupMessage(LoadResult::OutOfMemory, files[0]));

  Progress shownProgress(lights.size(), lights.size() > 1 && isatty(2));
  progress = &shownProgress;
  titlesOnTerminal = isatty(1);
  windowOperations = {PrintTitle, nullptr};
  for (std::size_t number = 0; number < lights.size(); ++number) {
    scene.lightColumn = lights[number].column;
    scene.lightRow = lights[number].row;
    if (uniform) {
      RenderFrame<AccumulationMode::Uniform>();
    } else {
      RenderFrame<AccumulationMode::Weighted>();
    }
    if (frames) {
      const std::string name = frames->Name(number);
      std::error_code reason;
      if (!WriteFrame(name, framesKind, reason)) {
        shownProgress.Clear();
        return Fail("glintor-render: could not write " + name + ": " + ReasonText(reason));
      }
    }
    shownProgress.FrameDone();
  }
  shownProgress.Clear();
  std::fflush(stdout);

  std::error_code reason;
  if (outputKind && !WriteFrame(files[1], *outputKind, reason)) {
    return Fail("glintor-render: could not write " + files[1] + ": " + ReasonText(reason));
  }
  ReleaseBuffers();
  return 0;
}
