#pragma once

#include <QByteArray>

#include "ui/page_context.h"

#include <array>
#include <optional>

namespace vexs {

class IControls;
class SettingsImage;

// Sets every page control of every settings block from the image, in the
// order measurement channels 1-4, math channels 1-4, outputs 1-4, setpoints
// 1-8, recording, display, network. Every control exists in the program, so
// a missing one is a fault (MissingControl propagates).
void FillPagesFromImage(IControls &controls, const SettingsImage &image);

// Which measurement channels have no input module, from the data of the
// live-data read (input registers 0..47, 96 bytes): the module status byte
// at data byte 9 + 14 x (n - 1) is 0xFF. Without that data (a failed read)
// every channel counts as installed.
std::array<bool, 4> absentChannels(const std::optional<QByteArray> &liveData);

// What the pages show of the channels: missing modules, and which channels
// the image has switched on.
ChannelPresence channelPresence(const std::array<bool, 4> &absent, const SettingsImage &image);

} // namespace vexs
