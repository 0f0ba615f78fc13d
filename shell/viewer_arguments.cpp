#include "viewer_arguments.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "light_options.h"

namespace fs = std::filesystem;

namespace {

void PrintUsage(std::FILE* stream, const char* programName) {
  std::fprintf(stream,
               "usage: %s [OPTION VALUE]... [PICTURE]\n"
               "Shows PICTURE (BMP, PNG or JPEG; without one, source.bmp in the current\n"
               "folder) lit by a light that follows the mouse. A picture larger than the\n"
               "screen is fitted to it: while the mouse moves, quick previews; when it\n"
               "rests, the exact frame, reduced. Holding Space shows the picture without\n"
               "the light. S or Ctrl+S saves the exact frame, at the picture's full size,\n"
               "as a PNG beside the picture; Escape or the close button ends.\n"
               "Options, which shape the light (OPTION=VALUE too: --threshold=200):\n%s"
               "Keys: T and Shift+T raise and lower the threshold by 16, + and - the\n"
               "strength by 10 (the keypad's too; ] and [ as well, and = as +, however the\n"
               "keyboard types them); K and Shift+K the softness by 8; V shows the next\n"
               "view, B the other blend; R goes back to the options given.\n",
               programName, kLightOptionsHelp);
}

int UsageError(const char* programName, const std::string& problem) {
  std::fprintf(stderr, "%s: %s\n", programName, problem.c_str());
  PrintUsage(stderr, programName);
  return 2;
}

// An argument as the options' parser reads it: no value of theirs goes
// beyond ASCII, so other characters become '?'.
std::string OptionText(const fs::path& argument) {
  std::string text;
  for (const auto c : argument.native()) text += static_cast<std::uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace

std::optional<int> ReadViewerArguments(const char* programName, const std::vector<fs::path>& arguments,
                                       ViewerArguments* read) {
  for (const fs::path& argument : arguments) {
    if (argument == "--") break;  // what follows is a picture's name
    if (argument == "-h" || argument == "--help") {
      PrintUsage(stdout, programName);
      return 0;
    }
  }
  // The options come first, each with its value, joined by '=' or the
  // argument after it.
  std::size_t options = 0;
  while (options < arguments.size()) {
    const std::string argument = OptionText(arguments[options]);
    const OptionWord option = SplitOption(argument);
    if (!IsLightOption(option.name)) break;
    std::string value;
    if (option.value) {
      value = *option.value;
    } else if (++options < arguments.size()) {
      value = OptionText(arguments[options]);
    }
    ++options;
    const std::string problem = ParseLightOption(option.name, value, &read->settings);
    if (!problem.empty()) return UsageError(programName, problem);
  }
  const auto rest = arguments.begin() + static_cast<std::ptrdiff_t>(options);
  const bool dashes = rest != arguments.end() && *rest == "--";
  const std::vector<fs::path> pictures(rest + (dashes ? 1 : 0), arguments.end());
  const bool looksLikeOption =
      !dashes && !pictures.empty() && pictures[0].native().starts_with(fs::path::value_type{'-'});
  if (pictures.size() > 1 || (dashes && pictures.empty()) || looksLikeOption) {
    PrintUsage(stderr, programName);
    return 2;
  }
  if (!pictures.empty()) read->picture = pictures[0];
  return std::nullopt;
}
