#pragma once

#include "ui/page.h"

#include <QByteArray>

#include <optional>

namespace vexs {

// " Проверка выходных сигналов" on the output signals page: drives the
// current output of a chosen channel to one of five fixed currents, and ends
// the test.
class OutputTestGroup : public Page
{
    Q_OBJECT
public:
    explicit OutputTestGroup(PageContext &context, QWidget *parent = nullptr);

    // "Установить ток".
    void Button1Click();
    // "Выход".
    void Button2Click();

private:
    void send(const std::optional<QByteArray> &command);
};

} // namespace vexs
