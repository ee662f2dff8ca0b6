#pragma once

#include "link/modbus.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace vexs {

// "Параметры связи": what an engineer may set for a slow converter or a
// noisy line. Each field's range is the link's own limit.
class LinkOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LinkOptionsDialog(const LinkTuning &tuning, QWidget *parent = nullptr);
    LinkTuning tuning() const;

private:
    QSpinBox *m_extraWait;
    QSpinBox *m_retries;
    QSpinBox *m_pause;
    QCheckBox *m_reconnect;
};

} // namespace vexs
