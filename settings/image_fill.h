#pragma once

#include <QByteArray>

#include <array>

namespace vexs {

class IControls;
class SettingsImage;

// Sets every page control of every settings block from the image, in the
// order measurement channels 1-4, math channels 1-4, outputs 1-4, setpoints
// 1-8, recording, display, network. Every control exists in the program, so
// a missing one is a fault (MissingControl propagates).
void FillPagesFromImage(IControls &controls, const SettingsImage &image);

// Which measurement channels have no input module, from the reply string of
// the live-data read (input registers 0..47, 101 bytes): the module status
// byte at data byte 9 + 14 x (n - 1) is 0xFF. A reply of any other length
// (a failed read included) counts every channel as installed.
std::array<bool, 4> absentChannels(const QByteArray &liveDataReply);

// Rewrites the channel names on every page: " -нет" for an absent module,
// and in the setpoint channel lists " -выкл" for a channel switched off in
// the image.
void refreshChannelLabels(IControls &controls, const std::array<bool, 4> &absent,
                          const SettingsImage &image);

} // namespace vexs
