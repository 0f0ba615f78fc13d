#include "render_arguments.h"

#include <cstdio>
#include <string_view>

#include "light_options.h"
#include "number_pair.h"

namespace {

constexpr const char* kUsage =
    "usage: glintor-render [--mode weighted|uniform] [--light COL,ROW]... [--lights FILE]...\n"
    "                      [--threshold T] [--strength K] [--tint RRGGBB]\n"
    "                      [--softness S] [--blend add|screen] [--view V]\n"
    "                      [--frames PATTERN] INPUT [OUTPUT.png|OUTPUT.bmp]\n"
    "Renders one frame per light, in the order given (row 0 is the bottom row;\n"
    "default: one frame with the light at the centre) and prints each frame's title.\n"
    "A light may lie outside the picture, up to its width or height beyond each\n"
    "edge (-40,213 or --light=-40,213 for a light left of it).\n"
    "INPUT is a BMP, PNG or JPEG picture; the last frame goes to OUTPUT, a 24-bit\n"
    "PNG or BMP as its extension says. Every option's value may also follow it\n"
    "after '=': --mode=uniform, --threshold=200.\n"
    "  --lights FILE     one COLUMN,ROW a line ('#' starts a comment; - reads stdin),\n"
    "                    added where it stands among the --light options\n"
    "  --frames PATTERN  writes every frame instead, numbered from 0 into one %d or\n"
    "                    %0Nd field of PATTERN (%% is a percent sign): f-%04d.png\n";

void PrintUsage(std::FILE* stream) {
  std::fputs(kUsage, stream);
  std::fputs(kLightOptionsHelp, stream);
}

}  // namespace

int Usage(const std::string& problem) {
  std::fprintf(stderr, "glintor-render: %s\n", problem.c_str());
  PrintUsage(stderr);
  return 2;
}

std::optional<int> ReadRenderArguments(int argc, char** argv, RenderArguments* arguments) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    const OptionWord option = SplitOption(argument);
    // Joined to the option, else the next argument, whatever it starts
    // with: --light -40,213.
    const auto value = [&]() -> std::optional<std::string_view> {
      if (option.value || i + 1 == argc) return option.value;
      return argv[++i];
    };
    if (option.name == "--mode") {
      const std::optional<std::string_view> mode = value();
      if (!mode) return Usage("--mode needs weighted or uniform");
      if (*mode != "weighted" && *mode != "uniform") return Usage("unknown mode: " + std::string(*mode));
      arguments->uniform = *mode == "uniform";
    } else if (IsLightOption(option.name)) {
      const std::string problem = ParseLightOption(option.name, value().value_or(""), &arguments->settings);
      if (!problem.empty()) return Usage(problem);
    } else if (option.name == "--light") {
      const std::optional<std::string_view> pair = value();
      Light light{};
      if (!pair || !ParsePair(*pair, ',', kLargestCoordinate, &light.column, &light.row)) {
        return Usage("--light needs COLUMN,ROW, two numbers");
      }
      arguments->lights.push_back(light);
    } else if (option.name == "--lights") {
      const std::optional<std::string_view> name = value();
      if (!name) return Usage("--lights needs a file, or - for standard input");
      const std::string problem = ReadLights(std::string(*name), &arguments->lights);
      if (!problem.empty()) return Usage(problem);
    } else if (option.name == "--frames") {
      const std::optional<std::string_view> pattern = value();
      if (!pattern) return Usage("--frames needs a pattern such as frame-%04d.png");
      if (arguments->frames) return Usage("--frames may be given once");
      std::string problem;
      arguments->frames = ParseFramePattern(*pattern, &problem);
      if (!arguments->frames) return Usage(problem);
      const std::optional<ImageKind> kind = KindOfName(arguments->frames->Name(0));
      if (!kind) return Usage("--frames: the pattern must end in .png or .bmp");
      arguments->framesKind = *kind;
    } else if (argument.size() > 1 && argument.front() == '-') {
      return Usage("unknown option: " + std::string(argument));
    } else {
      files.emplace_back(argument);
    }
  }
  if (files.empty() || files.size() > 2) return Usage("give one input picture and at most one output");
  if (arguments->frames && files.size() == 2) {
    return Usage("give no OUTPUT with --frames: the pattern names the files");
  }
  arguments->input = files[0];
  if (files.size() == 2) {
    const std::optional<ImageKind> kind = KindOfName(files[1]);
    if (!kind) return Usage("the output must end in .png or .bmp: " + files[1]);
    arguments->output = files[1];
    arguments->outputKind = *kind;
  }
  return std::nullopt;
}
