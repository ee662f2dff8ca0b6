#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

namespace vexs {

class ModbusMaster;
struct PageContext;

// "Считать настройки прибора": reads the identification block, the whole
// settings area and the module status, relabels the channels on every page
// and fills the pages from the settings image. `selectRootPage` selects the
// root node of the navigation tree (the start page).
//
// The area is read into a scratch copy and replaces the settings image only
// when every block arrived; the identification page and the pages filled
// from the image change only then too. A read that fails midway leaves the
// image and every page as they were, so old and new blocks never mix.
void Button11Click(PageContext &context, const std::function<void()> &selectRootPage);

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
} // namespace bulk

// Registers 0..771 in 24 blocks of 32 registers and a last one of 4. The
// first reply of the wrong length ends the read: nothing more is requested
// and nullopt is returned. A TCP socket failure propagates.
std::optional<QByteArray> readSettingsArea(ModbusMaster &modbus);

} // namespace vexs
