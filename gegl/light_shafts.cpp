// glintor:light-shafts, the renderer as a GEGL operation, for GIMP, the gegl
// command line and any program built on GEGL. Its frame is glintor-render's,
// byte for byte. gegl-op.h includes this file again once per pass over the
// properties, so everything outside the GEGL_PROPERTIES part is guarded.

#ifndef GLINTOR_LIGHT_SHAFTS_INCLUDES
#define GLINTOR_LIGHT_SHAFTS_INCLUDES
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <new>

#include "available_memory.h"
#include "renderer.h"
#include "scene_state.h"
#include "source_image.h"

#define GETTEXT_PACKAGE "glintor"
#include <glib/gi18n-lib.h>

// The lowest x or y, far beyond any light's range, puts the light at the
// picture's centre column or row, where glintor-render puts it by default:
// a property's default cannot depend on the picture.
#define GLINTOR_CENTRE -1000000.0
#endif

#ifdef GEGL_PROPERTIES

enum_start(glintor_light_shafts_mode)
  enum_value(GLINTOR_LIGHT_SHAFTS_WEIGHTED, "weighted", N_("Weighted"))
  enum_value(GLINTOR_LIGHT_SHAFTS_UNIFORM, "uniform", N_("Uniform"))
enum_end(GlintorLightShaftsMode)

enum_start(glintor_light_shafts_view)
  enum_value(GLINTOR_LIGHT_SHAFTS_FINAL, "final", N_("Final"))
  enum_value(GLINTOR_LIGHT_SHAFTS_RAYS, "rays", N_("Rays"))
  enum_value(GLINTOR_LIGHT_SHAFTS_EMISSION, "emission", N_("Emission"))
enum_end(GlintorLightShaftsView)

enum_start(glintor_light_shafts_blend)
  enum_value(GLINTOR_LIGHT_SHAFTS_ADD, "add", N_("Add"))
  enum_value(GLINTOR_LIGHT_SHAFTS_SCREEN, "screen", N_("Screen"))
enum_end(GlintorLightShaftsBlend)

property_double(x, _("Light X"), GLINTOR_CENTRE)
  description(_("The light's column, in pixels from the left; the default puts it at the centre"))
  value_range(GLINTOR_CENTRE, 1000000.0)
  ui_range(0.0, 8192.0)
  ui_meta("unit", "pixel-coordinate")
  ui_meta("axis", "x")

property_double(y, _("Light Y"), GLINTOR_CENTRE)
  description(_("The light's row, in pixels from the top; the default puts it at the centre"))
  value_range(GLINTOR_CENTRE, 1000000.0)
  ui_range(0.0, 8192.0)
  ui_meta("unit", "pixel-coordinate")
  ui_meta("axis", "y")

property_enum(mode, _("Mode"), GlintorLightShaftsMode, glintor_light_shafts_mode, GLINTOR_LIGHT_SHAFTS_WEIGHTED)
  description(_("Weighted: colours near the pixel count more; uniform: the plain mean along the ray"))

property_int(threshold, _("Threshold"), 0)
  description(_("Only pixels whose luma reaches it cast light"))
  value_range(0, 255)

property_int(softness, _("Softness"), 0)
  description(_("Ramps the threshold's cut over this many luma levels either side"))
  value_range(0, 255)

property_int(strength, _("Strength"), 100)
  description(_("How much of the light is added, in per cent"))
  value_range(0, kMaxStrength)

property_color(tint, _("Tint"), "white")
  description(_("The added light's colour"))

property_enum(blend, _("Blend"), GlintorLightShaftsBlend, glintor_light_shafts_blend, GLINTOR_LIGHT_SHAFTS_ADD)
  description(_("How the light meets the picture"))

property_enum(view, _("View"), GlintorLightShaftsView, glintor_light_shafts_view, GLINTOR_LIGHT_SHAFTS_FINAL)
  description(_("The picture with the light, the light alone, or the pixels that cast it"))

#else

#define GEGL_OP_FILTER
#define GEGL_OP_NAME glintor_light_shafts
#define GEGL_OP_C_SOURCE light_shafts.cpp

#include "gegl-op.h"

namespace {

// The renderer's scene is one global: one frame at a time.
std::mutex frameLock;

const Babl* FormatFor(GeglOperation* operation) {
  const Babl* input = gegl_operation_get_source_format(operation, "input");
  const Babl* space = input != nullptr ? babl_format_get_space(input) : nullptr;
  const bool alpha = input != nullptr && babl_format_has_alpha(input);
  return babl_format_with_space(alpha ? "R'G'B'A u8" : "R'G'B' u8", space);
}

void Prepare(GeglOperation* operation) {
  const Babl* format = FormatFor(operation);
  gegl_operation_set_format(operation, "input", format);
  gegl_operation_set_format(operation, "output", format);
}

// Every output pixel depends on the whole input. An endless one (a colour,
// a noise) the renderer cannot take: it passes, each region as asked.
GeglRectangle WholeInput(GeglOperation* operation, const GeglRectangle& asked) {
  const GeglRectangle* box = gegl_operation_source_get_bounding_box(operation, "input");
  if (box == nullptr) return GeglRectangle{0, 0, 0, 0};
  return gegl_rectangle_is_infinite_plane(box) ? asked : *box;
}
GeglRectangle RequiredForOutput(GeglOperation* operation, const gchar*, const GeglRectangle* asked) {
  return WholeInput(operation, *asked);
}
GeglRectangle CachedRegion(GeglOperation* operation, const GeglRectangle* asked) {
  return WholeInput(operation, *asked);
}
GeglRectangle InvalidatedByChange(GeglOperation* operation, const gchar*, const GeglRectangle* changed) {
  return WholeInput(operation, *changed);
}

// A coordinate's pixel, counted from `first`, clamped to the light's range
// for a side of `side` pixels.
std::int32_t LightPixel(double coordinate, int first, int side) {
  const double pixel = std::floor(coordinate) - first;
  return static_cast<std::int32_t>(std::clamp(pixel, -double(side), 2.0 * side - 1));
}

LightSettings SettingsOf(const GeglProperties* o) {
  LightSettings settings;
  settings.threshold = static_cast<std::uint8_t>(o->threshold);
  settings.softness = static_cast<std::uint8_t>(o->softness);
  settings.strength = static_cast<std::uint16_t>(o->strength);
  std::uint8_t rgb[3];
  gegl_color_get_pixel(o->tint, babl_format("R'G'B' u8"), rgb);
  std::copy(rgb, rgb + 3, std::reverse_iterator(settings.tint + 3));
  settings.view = o->view == GLINTOR_LIGHT_SHAFTS_RAYS       ? ShownView::Rays
                  : o->view == GLINTOR_LIGHT_SHAFTS_EMISSION ? ShownView::Emission
                                                             : ShownView::Final;
  settings.blend = o->blend == GLINTOR_LIGHT_SHAFTS_SCREEN ? Blend::Screen : Blend::Add;
  return settings;
}

// Renders `pixels` (the whole input, rows top first, `channels` bytes a
// pixel, R, G, B first) in place, alpha left as it is. False, the pixels
// untouched, when the picture is not one the renderer takes or memory is
// short.
bool RenderInPlace(const GeglProperties* o, const GeglRectangle& box, std::uint8_t* pixels, int channels) {
  const std::size_t width = std::size_t(box.width), height = std::size_t(box.height);
  const std::lock_guard<std::mutex> lock(frameLock);
  scene.width = static_cast<std::uint16_t>(width);
  scene.height = static_cast<std::uint16_t>(height);
  scene.settings = SettingsOf(o);
  scene.source = new (std::nothrow) std::uint8_t[width * height * 3];
  if (scene.source == nullptr || !AllocateFrameBuffers()) {
    ReleaseBuffers();
    return false;
  }
  // The scene's rows are bottom first, each pixel B, G, R.
  for (std::size_t row = 0; row < height; ++row) {
    const std::uint8_t* from = pixels + (height - 1 - row) * width * std::size_t(channels);
    std::uint8_t* to = scene.source + row * width * 3;
    for (std::size_t column = 0; column < width; ++column, from += channels, to += 3) {
      to[0] = from[2], to[1] = from[1], to[2] = from[0];
    }
  }
  // Made from the source, once it is there.
  if (!UpdateEmission()) {
    ReleaseBuffers();
    return false;
  }
  scene.lightColumn = o->x == GLINTOR_CENTRE ? std::int32_t(width >> 1) : LightPixel(o->x, box.x, box.width);
  // Rows count from the bottom.
  scene.lightRow = o->y == GLINTOR_CENTRE ? std::int32_t(height >> 1)
                                          : std::int32_t(height) - 1 - LightPixel(o->y, box.y, box.height);
  if (o->mode == GLINTOR_LIGHT_SHAFTS_UNIFORM) {
    RenderFrame<AccumulationMode::Uniform>();
  } else {
    RenderFrame<AccumulationMode::Weighted>();
  }
  for (std::size_t row = 0; row < height; ++row) {
    const std::uint8_t* from = scene.output + row * width * 3;
    std::uint8_t* to = pixels + (height - 1 - row) * width * std::size_t(channels);
    for (std::size_t column = 0; column < width; ++column, from += 3, to += channels) {
      to[0] = from[2], to[1] = from[1], to[2] = from[0];
    }
  }
  ReleaseBuffers();
  return true;
}

gboolean Process(GeglOperation* operation, GeglBuffer* input, GeglBuffer* output, const GeglRectangle* result,
                 gint) {
  const GeglRectangle box = WholeInput(operation, *result);
  const Babl* format = gegl_operation_get_format(operation, "output");
  const int channels = babl_format_get_n_components(format);
  const std::uint64_t width = std::uint64_t(std::max(box.width, 0)), height = std::uint64_t(std::max(box.height, 0));
  const GeglRectangle* whole = gegl_operation_source_get_bounding_box(operation, "input");
  const bool endless = whole != nullptr && gegl_rectangle_is_infinite_plane(whole);
  const std::uint64_t least = kMinPictureSide, most = kMaxPictureSide;  // the viewers' own limits
  const bool takes = !endless && width >= least && height >= least && width <= most && height <= most;
  // The GEGL buffer's copy besides the renderer's own.
  const std::uint64_t copy = width * height * std::uint64_t(channels), available = AvailableMemoryBytes();
  std::uint8_t* pixels = nullptr;
  if (takes && PictureFitsInMemory(width, height, available - std::min(available, copy))) {
    pixels = new (std::nothrow) std::uint8_t[copy];
  }
  if (pixels != nullptr) {
    gegl_buffer_get(input, &box, 1.0, format, pixels, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    if (RenderInPlace(GEGL_PROPERTIES(operation), box, pixels, channels)) {
      gegl_buffer_set(output, &box, 0, format, pixels, GEGL_AUTO_ROWSTRIDE);
      delete[] pixels;
      return TRUE;
    }
    delete[] pixels;
  }
  if (endless) {
    g_warning("glintor:light-shafts: the input has no edges; it passes unchanged");
  } else {
    g_warning(takes ? "glintor:light-shafts: not enough memory for the %d x %d picture; it passes unchanged"
                    : "glintor:light-shafts: pictures must be 100 to 32768 pixels a side; this one is %d x %d and "
                      "passes unchanged",
              box.width, box.height);
  }
  // What was asked for, which an endless input's extent is not.
  gegl_buffer_copy(input, result, GEGL_ABYSS_NONE, output, result);
  return TRUE;
}

}  // namespace

static void gegl_op_class_init(GeglOpClass* klass) {
  GeglOperationClass* operation_class = GEGL_OPERATION_CLASS(klass);
  GeglOperationFilterClass* filter_class = GEGL_OPERATION_FILTER_CLASS(klass);
  operation_class->prepare = Prepare;
  operation_class->get_required_for_output = RequiredForOutput;
  operation_class->get_cached_region = CachedRegion;
  operation_class->get_invalidated_by_change = InvalidatedByChange;
  // One call for the whole picture: the frame cannot be cut into tiles.
  operation_class->threaded = FALSE;
  filter_class->process = Process;
  gegl_operation_class_set_keys(operation_class,
    "name", "glintor:light-shafts",
    "title", _("Light Shafts (Glintor)"),
    "categories", "light",
    "description", _("Light shafts from a point light, as if the picture's own colours were scattered outwards "
                     "along straight rays; every pixel exact, as glintor-render renders it"),
    // GIMP 3 files it in this menu; 2.10 lists it under Tools > GEGL Operation.
    "gimp:menu-path", "<Image>/Filters/Light and Shadow",
    "gimp:menu-label", _("Light Shafts (Glintor)..."),
    nullptr);
}

#endif
