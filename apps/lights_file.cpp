#include "lights_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "number_pair.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// One line of a lights file. False if it holds anything but a light, a
// comment or blanks.
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

}  // namespace

std::string ReadLights(const std::string& name, std::vector<Light>* lights) {
  std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
  if (file == nullptr) return "could not read " + name + ": " + std::strerror(errno);
  const std::size_t before = lights->size();
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
  // An empty file is more likely a script's mistake than a wish for the
  // default frame.
  if (problem.empty() && lights->size() == before) problem = "no lights in " + name;
  return problem;
}
