#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

class QLineEdit;

namespace vexs {

// A dotted address as an engineer types it ("1" for "001"), each group of
// one or two digits padded with leading zeros; groups without a digit, or
// with anything else, are left as they are for the write to refuse.
QString padAddressGroups(const QString &text);

// "Сеть": the recorder's own network settings, the network block (registers
// 744..771). They are stored in the device and do not touch the connection
// bar, which says how this computer reaches the device.
class NetworkPage : public Page
{
    Q_OBJECT
public:
    explicit NetworkPage(PageContext &context, QWidget *parent = nullptr);

    void ButtonReadNastrRsClick() { readGroupIntoPage(m_ctx, GroupFamily::Network); }
    void ButtonWriteNastrRsClick();
};

} // namespace vexs
