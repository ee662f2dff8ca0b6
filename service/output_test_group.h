#pragma once

#include <QByteArray>
#include <QWidget>

#include <optional>

namespace vexs {

struct PageContext;

// " Проверка выходных сигналов" on the output signals page: drives the
// current output of a chosen channel to one of five fixed currents, and ends
// the test.
class OutputTestGroup : public QWidget
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

    PageContext &m_ctx;
};

} // namespace vexs
