#pragma once

#include "settings/raw_registers.h"
#include "ui/page.h"

#include <functional>

class QTableWidget;

namespace vexs {

// "Регистры", a factory page: any range of holding or input registers read
// and shown in the view the expert picks, and holding registers written
// after a question that shows the octets, then read back.
class RegistersPage : public Page
{
    Q_OBJECT
public:
    explicit RegistersPage(PageContext &context, QWidget *parent = nullptr);

    void ButtonRegsReadClick();
    void ButtonRegsWriteClick();

    std::function<void(const raw::WriteCheck &)> written;

private:
    void showRows(const QList<raw::Shown> &rows);

    QTableWidget *m_grid = nullptr;
};

} // namespace vexs
