#pragma once

#include "ui/page.h"

namespace vexs {

// "Конфигурация": date of manufacture, serial number, kit options and board
// versions of the identification block (registers 10012..10022). The write
// button and the board versions are factory controls, hidden at start.
class IdentificationPage : public Page
{
    Q_OBJECT
public:
    explicit IdentificationPage(PageContext &context, QWidget *parent = nullptr);

    void ButtonReadManufClick();
    void ButtonWriteManufClick();
};

} // namespace vexs
