#pragma once

#include "settings/block_io.h"

#include <QByteArray>

#include <optional>

namespace vexs {

class ModbusMaster;
struct PageContext;

// "Считать настройки прибора": reads the identification block, the whole
// settings area and the module status, relabels the channels on every page
// and fills the pages from the settings image. The window's status shows
// the start page's info panel and the progress, request k of 27; the read
// may be stopped between requests.
//
// The identification page shows the block as soon as its own reply is
// valid. The area is read into a scratch copy and replaces the settings
// image only when every block arrived; the pages filled from the image
// change only then too. A read that fails or is stopped midway leaves the
// image and those pages as they were, so old and new blocks never mix.
void Button11Click(PageContext &context);

namespace bulk {
inline constexpr int kIdentWaitMs = 1500;
inline constexpr int kBlockRegisters = 32;
inline constexpr int kBlocks = 24;
inline constexpr int kBlockWaitMs = 200;
inline constexpr quint16 kLastBlockFirst = kBlocks * kBlockRegisters; // 768
inline constexpr quint16 kLastBlockCount = 4;
inline constexpr int kLastBlockWaitMs = 100;
inline constexpr int kShowResultMs = 500;
inline constexpr quint16 kLiveRegisters = 48;
inline constexpr int kLiveWaitMs = 100;
// Identification, 25 blocks of the area, module status.
inline constexpr int kRequests = 27;
} // namespace bulk

// Registers 0..771 in 24 blocks of 32 registers and a last one of 4. The
// first reply of the wrong length ends the read: nothing more is requested
// and nullopt is returned; so does `progress` returning false. A TCP socket
// failure propagates.
std::optional<QByteArray> readSettingsArea(ModbusMaster &modbus, const BlockProgress &progress = {});

} // namespace vexs
