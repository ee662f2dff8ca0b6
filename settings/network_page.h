#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

class QLineEdit;

namespace vexs {

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
