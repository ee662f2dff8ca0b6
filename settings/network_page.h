#pragma once

#include "settings/block_io.h"
#include "ui/page.h"

class QLineEdit;

namespace vexs {

struct PageContext;

// "Сеть": the recorder's own network settings, the network block (registers
// 744..771). They are stored in the device and do not touch the connection
// bar, which says how this computer reaches the device.
class NetworkPage : public Page
{
    Q_OBJECT
public:
    explicit NetworkPage(PageContext &context, QWidget *parent = nullptr);

    void ButtonReadNastrRsClick() { readGroupIntoPage(m_ctx, configGroup(GroupFamily::Network)); }
    void ButtonWriteNastrRsClick();

    // Shows a text read from the device in one of the page's masked edits.
    // A text the mask cannot hold (a 16th character, a letter, a zero byte)
    // is shown without the mask so that no character is lost; the mask comes
    // back with the next read whose text fits it.

};

} // namespace vexs
