#include "output_info.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace vz {

namespace {

constexpr std::int32_t kTransform90 = 1;  // WL_OUTPUT_TRANSFORM_90 and the others odd

}  // namespace

SurfacePixels DevicePixels(int logicalWidth, int logicalHeight, const OutputInfo& output,
                           std::uint32_t preferred120, bool viewporter, bool bufferScale) {
  if (logicalWidth <= 0 || logicalHeight <= 0) return {};
  const std::int64_t lw = logicalWidth;
  const std::int64_t lh = logicalHeight;
  if (viewporter && preferred120 > 0) {
    // The size the compositor draws the surface at: logical × scale, rounded
    // half away from zero.
    const auto device = [preferred120](std::int64_t logical) {
      return static_cast<int>(std::min<std::int64_t>((logical * preferred120 + 60) / 120, 1 << 16));
    };
    return {device(lw), device(lh), 1, true};
  }
  const int scale = bufferScale ? std::clamp(output.scale, 1, 16) : 1;
  std::int64_t mw = output.modeWidth;
  std::int64_t mh = output.modeHeight;
  if (output.transform & kTransform90) std::swap(mw, mh);
  // The surface covers its output: where the output's mode is not the
  // integer scale times its size, but the same multiple of it both ways (up
  // to the rounding of the size), the output has a fractional scale that
  // wl_output rounds, and the mode is the size in device pixels.
  if (viewporter && mw > 0 && mh > 0 && (mw != lw * scale || mh != lh * scale) &&
      std::llabs(mw * lh - mh * lw) <= (mw + mh) / 2 + 1) {
    return {static_cast<int>(mw), static_cast<int>(mh), 1, true};
  }
  return {logicalWidth * scale, logicalHeight * scale, scale, false};
}

}  // namespace vz
