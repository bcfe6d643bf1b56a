#pragma once

#include <array>

#include "dialog_form.h"

namespace vz {

// Control identifiers of template 131.
namespace idc {
inline constexpr int kOk = 1, kCancel = 2;
inline constexpr int kDelay = 1000, kPreview = 1006;
inline constexpr int kRandom = 1008, kEvenOddMass = 1009, kSingle = 1010;
inline constexpr int kPlanet = 1011, kFriction = 1012, kBounce = 1015;
inline constexpr int kShowAll = 1018, kEvenOdd = 1019, kBorders = 1020, kAbout = 1021;
inline constexpr int kGravity = 1024, kMu = 1025, kParticles = 1026;
inline constexpr int kBlackRect = 1030;
}  // namespace idc

// Template 131, in creation and tab order.
extern const std::array<FormControl, 28> kConfigForm;

}  // namespace vz
