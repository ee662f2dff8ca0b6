#include "shell/link_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vexs {

namespace {

QSpinBox *makeField(const QString &name, int maximum, int value, const QString &suffix, QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, maximum);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

} // namespace

LinkOptionsDialog::LinkOptionsDialog(const LinkTuning &tuning, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormLinkOptions"));
    setWindowTitle(QStringLiteral("Параметры связи"));
    auto *top = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    const QString ms = QStringLiteral(" мс");
    m_extraWait = makeField(QStringLiteral("UpDownExtraWait"), LinkTuning::kMaxMs, tuning.extraWaitMs, ms, this);
    m_extraWait->setToolTip(QStringLiteral("Прибавляется к каждому ожиданию ответа: для медленных преобразователей"));
    m_retries = makeField(QStringLiteral("UpDownReadRetries"), LinkTuning::kMaxRetries, tuning.readRetries,
                          QString(), this);
    m_retries->setToolTip(QStringLiteral("Только чтение: запись и команды не повторяются, "
                                         "чтобы прибор не выполнил их дважды"));
    m_pause = makeField(QStringLiteral("UpDownRequestPause"), LinkTuning::kMaxMs, tuning.pauseMs, ms, this);
    m_reconnect = new QCheckBox(QStringLiteral("Переподключаться к шлюзу после обрыва"), this);
    m_reconnect->setObjectName(QStringLiteral("CheckBoxReconnect"));
    m_reconnect->setChecked(tuning.reconnect);
    form->addRow(QStringLiteral("Дополнительное ожидание:"), m_extraWait);
    form->addRow(QStringLiteral("Повторы чтения:"), m_retries);
    form->addRow(QStringLiteral("Пауза между запросами:"), m_pause);
    form->addRow(m_reconnect);
    top->addLayout(form);
    auto *note = new QLabel(QStringLiteral("При значениях 0 связь работает как обычно."), this);
    note->setWordWrap(true);
    top->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

LinkTuning LinkOptionsDialog::tuning() const
{
    LinkTuning t;
    t.extraWaitMs = m_extraWait->value();
    t.readRetries = m_retries->value();
    t.pauseMs = m_pause->value();
    t.reconnect = m_reconnect->isChecked();
    return t;
}

} // namespace vexs
