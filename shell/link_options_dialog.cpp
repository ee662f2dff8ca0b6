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

LinkOptionsDialog::LinkOptionsDialog(const LinkOptions &options, QWidget *parent) : QDialog(parent)
{
    const LinkTuning &tuning = options.tuning;
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
    m_fast = new QCheckBox(QStringLiteral("Быстрый обмен"), this);
    m_fast->setObjectName(QStringLiteral("CheckBoxFastExchange"));
    m_fast->setToolTip(QStringLiteral("Заканчивать обмен, как только пришёл весь ответ, "
                                      "а не по истечении времени ожидания"));
    m_fast->setChecked(options.fastExchange);
    form->addRow(m_fast);
    form->addRow(QStringLiteral("Дополнительное ожидание:"), m_extraWait);
    form->addRow(QStringLiteral("Повторы чтения:"), m_retries);
    form->addRow(QStringLiteral("Пауза между запросами:"), m_pause);
    form->addRow(m_reconnect);
    top->addLayout(form);
    auto *note = new QLabel(QStringLiteral("Без быстрого обмена и при значениях 0 связь работает как обычно."), this);
    note->setWordWrap(true);
    top->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

LinkOptions LinkOptionsDialog::options() const
{
    LinkOptions o;
    o.tuning.extraWaitMs = m_extraWait->value();
    o.tuning.readRetries = m_retries->value();
    o.tuning.pauseMs = m_pause->value();
    o.tuning.reconnect = m_reconnect->isChecked();
    o.fastExchange = m_fast->isChecked();
    return o;
}

} // namespace vexs
