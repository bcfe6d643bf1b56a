#pragma once

#include <cstdint>

namespace vz {

// What an output announces of itself (wl_output): the scale the compositor
// wants buffers drawn at, its current mode in device pixels and how it is
// turned.
struct OutputInfo {
  std::int32_t scale = 1;
  std::int32_t modeWidth = 0;
  std::int32_t modeHeight = 0;
  std::int32_t transform = 0;  // wl_output_transform
};

// How a surface covering an output is drawn so that one buffer pixel is one
// device pixel: a buffer of width × height, shown at `bufferScale`
// (wl_surface.set_buffer_scale) or, with `viewport`, scaled to the surface's
// size by the viewporter (fractional scales).
struct SurfacePixels {
  int width = 0;
  int height = 0;
  int bufferScale = 1;
  bool viewport = false;

  bool operator==(const SurfacePixels&) const = default;
};

// For a surface of logicalWidth × logicalHeight on `output`. `preferred120`
// is the compositor's preferred scale in 120ths (wp_fractional_scale_v1), 0
// when it names none; `viewporter` and `bufferScale` say what the
// compositor offers.
SurfacePixels DevicePixels(int logicalWidth, int logicalHeight, const OutputInfo& output,
                           std::uint32_t preferred120, bool viewporter, bool bufferScale);

}  // namespace vz
