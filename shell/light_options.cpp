#include "light_options.h"

#include <charconv>
#include <cstdint>

namespace {

// A decimal number of digits only, at most limit.
bool ParseNumber(std::string_view text, unsigned limit, unsigned* value) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc{} && end == text.data() + text.size() && *value <= limit;
}

}  // namespace

const char* const kLightOptionsHelp =
    "  --threshold T     only pixels at least this bright (0-255) cast light\n"
    "  --strength K      the added light in per cent, 0-400 (default 100)\n"
    "  --tint RRGGBB     the light's colour (default FFFFFF, white)\n"
    "  --softness S      ramps the threshold's cut over S either side of it,\n"
    "                    0-255 (default 0, a hard cut)\n"
    "  --blend B         add (default) or screen (brightens the dark more than\n"
    "                    the bright, never clipping)\n"
    "  --view V          final (default), rays (the light alone) or emission\n"
    "                    (what casts light)\n";

OptionWord SplitOption(std::string_view argument) {
  const std::size_t equals = argument.find('=');
  if (!argument.starts_with("--") || equals == std::string_view::npos) return {argument, std::nullopt};
  return {argument.substr(0, equals), argument.substr(equals + 1)};
}

bool IsLightOption(std::string_view argument) {
  return argument == "--threshold" || argument == "--strength" || argument == "--tint" || argument == "--view" ||
         argument == "--softness" || argument == "--blend";
}

std::string ParseLightOption(std::string_view option, std::string_view value, LightSettings* settings) {
  unsigned number = 0;
  if (option == "--threshold") {
    if (!ParseNumber(value, 255, &number)) return "--threshold needs a number from 0 to 255";
    settings->threshold = static_cast<std::uint8_t>(number);
  } else if (option == "--strength") {
    if (value.ends_with('%')) value.remove_suffix(1);
    if (!ParseNumber(value, kMaxStrength, &number)) return "--strength needs a per cent from 0 to 400";
    settings->strength = static_cast<std::uint16_t>(number);
  } else if (option == "--tint") {
    const bool hex = value.size() == 6 && value.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
    if (!hex || std::from_chars(value.data(), value.data() + 6, number, 16).ec != std::errc{}) {
      return "--tint needs a colour of six hexadecimal digits, RRGGBB, such as FFC890";
    }
    // Stored blue first, as the pictures' bytes are.
    settings->tint[0] = static_cast<std::uint8_t>(number);
    settings->tint[1] = static_cast<std::uint8_t>(number >> 8);
    settings->tint[2] = static_cast<std::uint8_t>(number >> 16);
  } else if (option == "--softness") {
    if (!ParseNumber(value, 255, &number)) return "--softness needs a number from 0 to 255";
    settings->softness = static_cast<std::uint8_t>(number);
  } else if (option == "--blend") {
    if (value != "add" && value != "screen") return "--blend needs add or screen";
    settings->blend = value == "add" ? Blend::Add : Blend::Screen;
  } else if (option == "--view") {
    if (value == "final") {
      settings->view = ShownView::Final;
    } else if (value == "rays") {
      settings->view = ShownView::Rays;
    } else if (value == "emission") {
      settings->view = ShownView::Emission;
    } else {
      return "--view needs final, rays or emission";
    }
  } else {
    return "unknown option: " + std::string(option);
  }
  return {};
}
