#include "shell/window_journal.h"

#include "link/gateway_framing.h"
#include "link/line_speed.h"
#include "settings/journal_store.h"
#include "settings/settings_image.h"
#include "shell/connection_bar.h"
#include "shell/port_map.h"

namespace vexs {

QString journalLinkText(const ConnectionBar &bar, const QString &configPath)
{
    if (bar.interfaceIndex() == 0) {
        return QStringLiteral("RS-485, COM%1 (%2), %3 бит/с")
            .arg(bar.comPortNumber())
            .arg(serialDevicePath(bar.comPortNumber(), configPath))
            .arg(lineSpeedForIndex(bar.baudIndex()));
    }
    const ConnectionSettings s = bar.settings();
    return QStringLiteral("Ethernet, %1:%2, %3")
        .arg(s.ip, s.ipPort, gatewayFramingItems().value(s.framing));
}

std::unique_ptr<FileWriteJournal> makeWindowJournal(const QString &folder, const ConnectionBar &bar,
                                                    const SettingsImage &image, const QString &configPath)
{
    return std::make_unique<FileWriteJournal>(folder, [&bar, &image, configPath] {
        JournalRecord stamp;
        stamp.link = journalLinkText(bar, configPath);
        stamp.address = bar.slaveAddress();
        const PagesOrigin &origin = image.pagesOrigin();
        if (origin.kind == PagesOrigin::Kind::Device && origin.address == stamp.address
            && image.isOf(recorderOf(bar)))
            stamp.serial = origin.serial;
        return stamp;
    });
}

} // namespace vexs
