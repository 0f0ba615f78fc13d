#include "settings_keys.h"

#include <algorithm>
#include <cstdio>

namespace {

std::uint8_t Moved(std::uint8_t value, int by) { return static_cast<std::uint8_t>(std::clamp(value + by, 0, 255)); }

}  // namespace

LightSettings SettingsAfterKey(const LightSettings& shown, LightKey key, const LightSettings& start) {
  LightSettings next = shown;
  switch (key) {
    case LightKey::ThresholdUp: next.threshold = Moved(shown.threshold, 16); break;
    case LightKey::ThresholdDown: next.threshold = Moved(shown.threshold, -16); break;
    case LightKey::StrengthUp:
      next.strength = static_cast<std::uint16_t>(std::min(shown.strength + 10, int{kMaxStrength}));
      break;
    case LightKey::StrengthDown:
      next.strength = static_cast<std::uint16_t>(std::max(shown.strength - 10, 0));
      break;
    case LightKey::SoftnessUp: next.softness = Moved(shown.softness, 8); break;
    case LightKey::SoftnessDown: next.softness = Moved(shown.softness, -8); break;
    case LightKey::NextView: next.view = static_cast<ShownView>((static_cast<int>(shown.view) + 1) % 3); break;
    case LightKey::NextBlend: next.blend = shown.blend == Blend::Add ? Blend::Screen : Blend::Add; break;
    case LightKey::Restore: next = start; break;
  }
  return next;
}

LightSettings WithEmission(const LightSettings& shown, const LightSettings& next,
                           bool (*make)(std::uint8_t threshold, std::uint8_t softness)) {
  if ((next.threshold == shown.threshold && next.softness == shown.softness) || make(next.threshold, next.softness)) {
    return next;
  }
  LightSettings kept = shown;
  // Threshold and softness 0 need no emission picture.
  if (!make(shown.threshold, shown.softness)) {
    make(0, 0);
    kept.threshold = kept.softness = 0;
  }
  std::fprintf(stderr, "There is not enough memory for threshold %u, softness %u; they stay %u and %u.\n",
               unsigned{next.threshold}, unsigned{next.softness}, unsigned{kept.threshold}, unsigned{kept.softness});
  std::fflush(stderr);
  return kept;
}
