// The machine's batteries as the kernel's power supply class shows them.
#pragma once

#include "../fleet.h"

namespace kestrel {

// The charge of the system's batteries in `folder` (the power supply class,
// /sys/class/power_supply): each entry whose `type` is "Battery", unless its
// `present` is 0 or its `scope` is "Device" (a mouse's or a headset's), with
// its `capacity` in percent. Several: the lowest. None: no battery. A
// `present` or `scope` that cannot be read counts as a system battery there.
// The folder, a `type` or a battery's `capacity` that cannot be read (only
// regular files are, without waiting), or a capacity that is not a whole
// number from 0 to 100: a charge unknown.
BatteryCharge ReadBatteryCharge(const char* folder);

}  // namespace kestrel
