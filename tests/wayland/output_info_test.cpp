#include "output_info.h"

#include <gtest/gtest.h>

namespace vz {
namespace {

// One buffer pixel per device pixel, however the compositor scales.
TEST(DevicePixelsTest, OneBufferPixelPerDevicePixel) {
  using P = SurfacePixels;
  const OutputInfo plain{1, 1920, 1080, 0};
  EXPECT_EQ(DevicePixels(1920, 1080, plain, 0, true, true), (P{1920, 1080, 1, false}));

  // Whole-number scale: the buffer scale, no viewport.
  const OutputInfo doubled{2, 3840, 2160, 0};
  EXPECT_EQ(DevicePixels(1920, 1080, doubled, 0, true, true), (P{3840, 2160, 2, false}));
  EXPECT_EQ(DevicePixels(1920, 1080, doubled, 0, false, true), (P{3840, 2160, 2, false}));
  // A compositor without buffer scales: the viewporter, or else what the
  // compositor stretches.
  EXPECT_EQ(DevicePixels(1920, 1080, doubled, 0, true, false), (P{3840, 2160, 1, true}));
  EXPECT_EQ(DevicePixels(1920, 1080, doubled, 0, false, false), (P{1920, 1080, 1, false}));

  // The compositor's preferred scale (KWin at 1.5): logical size times it,
  // rounded half up, scaled back by the viewporter.
  const OutputInfo fractional{2, 1920, 1080, 0};
  EXPECT_EQ(DevicePixels(1280, 720, fractional, 180, true, true), (P{1920, 1080, 1, true}));
  EXPECT_EQ(DevicePixels(853, 480, fractional, 180, true, true), (P{1280, 720, 1, true}));
  // Without it (sway 1.7 at 1.5, which announces 2): the mode, when it is
  // the same multiple of the surface both ways, also when turned.
  const OutputInfo rounded{2, 1280, 720, 0};
  const OutputInfo turned{2, 1920, 1080, 1};  // WL_OUTPUT_TRANSFORM_90
  EXPECT_EQ(DevicePixels(853, 480, rounded, 0, true, true), (P{1280, 720, 1, true}));
  EXPECT_EQ(DevicePixels(720, 1280, turned, 0, true, true), (P{1080, 1920, 1, true}));
  // A surface that does not cover the mode, or no viewporter: the
  // whole-number scale.
  EXPECT_EQ(DevicePixels(1280, 600, fractional, 0, true, true), (P{2560, 1200, 2, false}));
  EXPECT_EQ(DevicePixels(1280, 720, fractional, 180, false, true), (P{2560, 1440, 2, false}));

  // Not configured yet.
  EXPECT_EQ(DevicePixels(0, 0, plain, 120, true, true), P{});
}

}  // namespace
}  // namespace vz
