#pragma once

#include "link/modbus.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace vexs {

// What the dialog edits: the tuning, and fast exchange beside it.
struct LinkOptions
{
    LinkTuning tuning;
    bool fastExchange = false;
};

// "Параметры связи": what an engineer may set for a slow converter or a
// noisy line. Each field's range is the link's own limit.
class LinkOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LinkOptionsDialog(const LinkOptions &options, QWidget *parent = nullptr);
    LinkOptions options() const;

private:
    QCheckBox *m_fast;
    QSpinBox *m_extraWait;
    QSpinBox *m_retries;
    QSpinBox *m_pause;
    QCheckBox *m_reconnect;
};

} // namespace vexs
