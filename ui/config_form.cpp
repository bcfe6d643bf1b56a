#include "config_form.h"

namespace vz {

using namespace idc;

const std::array<FormControl, 28> kConfigForm = {{
    {kNoId, Ctl::GroupBox, "Particle Masses", 3, 136, 281, 36},
    {kPlanet, Ctl::CheckBox, "Planet", 71, 13, 50, 13},
    {kFriction, Ctl::CheckBox, "Friction", 129, 31, 50, 13},
    {kEvenOdd, Ctl::CheckBox, "Even Odd", 13, 31, 50, 13},
    {kShowAll, Ctl::CheckBox, "Show All", 13, 13, 50, 13},
    {kBounce, Ctl::CheckBox, "Bounce", 71, 31, 50, 13},
    {kBorders, Ctl::CheckBox, "Borders", 129, 13, 50, 13},
    {kEvenOddMass, Ctl::Radio, "Even / Odd", 11, 148, 87, 18},
    {kSingle, Ctl::Radio, "Single", 101, 148, 87, 18},
    {kRandom, Ctl::Radio, "Random", 189, 148, 87, 18},
    {kOk, Ctl::DefaultButton, "OK", 205, 1, 79, 22},
    {kCancel, Ctl::Button, "Cancel", 242, 28, 42, 22},
    {kAbout, Ctl::Button, "About...", 206, 28, 34, 22},
    {kNoId, Ctl::GroupBox, "Delay", 3, 98, 73, 34},
    {kDelay, Ctl::Edit, "", 14, 110, 40, 17},
    {kNoId, Ctl::Text, "ms", 58, 110, 15, 17, true},
    {kGravity, Ctl::Slider, "", 215, 68, 69, 24},
    {kMu, Ctl::Slider, "", 215, 108, 69, 24},
    {kParticles, Ctl::Slider, "", 3, 68, 73, 24},
    {kPreview, Ctl::GroupBox, "Preview", 88, 55, 113, 78, true},
    {kNoId, Ctl::Text, "-   Vivedaziv   +", 3, 55, 73, 12, true},
    {kNoId, Ctl::Text, "-    Gravity   +", 215, 55, 69, 12, true},
    {kNoId, Ctl::Text, "+    Friction   -", 215, 95, 69, 12, true},
    {kNoId, Ctl::GroupBox, "Options", 3, 1, 188, 49},
    {kNoId, Ctl::GroupBox, "", 193, 1, 10, 49},
    {kNoId, Ctl::GroupBox, "", 78, 55, 10, 78},
    {kNoId, Ctl::GroupBox, "", 202, 55, 10, 78},
    {kBlackRect, Ctl::BlackRect, "", 93, 66, 103, 63},
}};

}  // namespace vz
