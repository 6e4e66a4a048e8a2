// SPDX-License-Identifier: MIT
#pragma once

// How the panel shows up in Home Assistant by itself: one retained config a control under
// <prefix>/<component>/<id>/<object>/config, all in one device block.
//
//   select  output1 .. output4   the route of each output, the inputs as options
//   select  mode, resolution, wall, preset   (preset only while there are presets; its config
//                                             is removed, an empty retained message, otherwise)
//   button  update               the Update button
//   binary_sensor link           whether the port is open
//
// The controls are available while the panel is online and its port is open (status and link,
// availability_mode all); the link sensor only needs the panel, so that it can show the port
// closed.

#include "mqttsettings.h"
#include "mqtttopics.h"

namespace mqtt {

inline constexpr const char *deviceModel = "4x4 HDMI matrix (RS-232)";

// Every config for what the window shows now; presets are the presets' names in their order.
QList<Publication> discoveryConfigs(const MqttSettings &settings, const PanelState &state,
                                    const QStringList &presets);

} // namespace mqtt
