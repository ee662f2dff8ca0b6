#include "settings/identification_page.h"

#include "settings/encodings.h"

#include "settings/block_io.h"
#include "settings/identification.h"
#include "ui/controls.h"
#include "ui/date_field.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexs {

namespace {

// Leading blanks, an optional sign, then decimal digits only, within 32 bits.
bool isStandardInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool ok = false;
    const QStringView rest = QStringView(text).mid(i);
    if (rest.isEmpty() || rest.back().isSpace())
        return false;
    static_cast<void>(rest.toInt(&ok, 10));
    return ok;
}

} // namespace

namespace {

constexpr int kWaitMs = 1000;

QString name(const char *latin)
{
    return QString::fromLatin1(latin);
}

} // namespace

IdentificationPage::IdentificationPage(PageContext &context, QWidget *parent) : Page(context, parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);

    QGroupBox *box = makeGroup(QStringLiteral("GroupBox21"), QString(), this);
    page->addWidget(box);
    page->addStretch(1);
    auto *boxLayout = new QVBoxLayout(box);

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->addWidget(
        makeLabel(QStringLiteral("Дата изготовления:"), box, QStringLiteral("StaticText51")), 0, 0);
    auto *date = new DateField(box);
    date->setObjectName(name(ident::DateEdit));
    date->setFixedWidth(110);
    fields->addWidget(date, 0, 1);
    fields->addWidget(
        makeLabel(QStringLiteral("Серийный номер:"), box, QStringLiteral("StaticText55")), 1, 0);
    QLineEdit *serial = makeEdit(name(ident::SerialEdit), box, 110);
    serial->setInputMask(QStringLiteral("999999;_"));
    serial->setMaxLength(6);
    fields->addWidget(serial, 1, 1);
    fields->setColumnStretch(2, 1);
    boxLayout->addLayout(fields);

    QGroupBox *kit = makeGroup(QStringLiteral("GroupBox22"), QStringLiteral(" ВЕКС310Т2 "), box);
    auto *kitLayout = new QVBoxLayout(kit);
    for (int i = 0; i < ident::kKitOptions; ++i) {
        kitLayout->addWidget(
            makePickList(composedName(name(ident::KitList), i + 1), ident::kitItems(i), kit));
    }
    boxLayout->addWidget(kit);

    const auto buttons = makeReadWriteButtons(
        m_ctx, QStringLiteral("ButtonReadManuf"), QStringLiteral("ButtonWriteManuf"),
        [this] { ButtonReadManufClick(); }, [this] { ButtonWriteManufClick(); }, box);
    buttons.write->hide(); // factory control
    boxLayout->addLayout(buttons.row(RowAlign::Left));

    QGroupBox *info = makeGroup(QStringLiteral("GroupBoxInfo"), QString(), box);
    auto *infoLayout = new QGridLayout(info);
    const char *const boards[3][2] = {
        {"Плата процессора", ident::VerProc},
        {"Плата индикации", ident::VerInd},
        {"Плата АЦП", ident::VerDac},
    };
    for (int row = 0; row < 3; ++row) {
        infoLayout->addWidget(makeLabel(QString::fromUtf8(boards[row][0]), info), row, 0);
        infoLayout->addWidget(makeLabel(QString(), info, name(boards[row][1])), row, 1);
    }
    infoLayout->setColumnStretch(2, 1);
    info->hide(); // factory control
    boxLayout->addWidget(info);
}

void IdentificationPage::ButtonReadManufClick()
{
    const std::optional<QByteArray> data =
        readBlock(m_ctx.modbus, false, {{ident::kFirstRegister, ident::kRegisterCount}}, kWaitMs);
    const auto block = data ? std::optional(decodeIdentification(*data, QDate::currentDate().year()))
                            : std::nullopt;
    if (!block) {
        m_ctx.boxes.error(QStringLiteral("Ошибка чтения заводских установок"));
        return;
    }
    // A date byte that is not a digit ends the read as a conversion error,
    // before anything on the page changes.
    if (block->date.notDigit) {
        m_ctx.boxes.report(QStringLiteral("'%1' is not a valid integer value").arg(notDigitText(*block->date.notDigit)));
        return;
    }
    // Digits that name no real date leave the date as it is.
    if (block->date.date.isValid())
        m_ctx.controls.setDate(name(ident::DateEdit), block->date.date);
    showIdentificationBody(m_ctx.controls, *block);
    m_ctx.boxes.info(QStringLiteral("Заводские установки считаны"));
}

void IdentificationPage::ButtonWriteManufClick()
{
    IControls &controls = m_ctx.controls;
    const QDate date = controls.date(name(ident::DateEdit));
    if (!date.isValid()) {
        // No date has been read or picked yet; sending one of our own
        // would put a date on the device that nobody chose.
        m_ctx.boxes.error(QStringLiteral("Не задана дата изготовления"));
        return;
    }
    if (const QString century = dateOutsideCentury(date); !century.isEmpty()) {
        m_ctx.boxes.error(century);
        return;
    }

    // Unfilled positions after the typed digits are not part of the number.
    // The number check skips leading blanks, as the standard integer
    // conversion does, and the text itself goes to the device: unfilled
    // leading positions reach it as blanks, leading zeros as zeros.
    QString serial = controls.text(name(ident::SerialEdit));
    while (serial.endsWith(u' '))
        serial.chop(1);
    if (!isStandardInteger(serial)) {
        m_ctx.boxes.errorNoIcon(QStringLiteral("Ошибка в серийном номере "));
        return;
    }

    std::array<int, ident::kKitOptions> kit{};
    for (int i = 0; i < ident::kKitOptions; ++i)
        kit[i] = controls.itemIndex(composedName(name(ident::KitList), i + 1));

    // Only a serial of exactly six characters makes the 18 bytes of the block.
    const auto data = encodeIdentification(date, serial, kit);
    if (!data) {
        m_ctx.boxes.error(QStringLiteral("Ошибка записи заводских установок"));
        return;
    }
    if (!journalReady(m_ctx))
        return;
    const bool ok = writeBlock(m_ctx.modbus, {{ident::kFirstRegister, ident::kWriteCount}}, *data, kWaitMs);
    if (ok)
        m_ctx.boxes.info(QStringLiteral("Заводские установки записаны"));
    else
        m_ctx.boxes.error(QStringLiteral("Ошибка записи заводских установок"));
    QList<JournalChange> changes{
        {QStringLiteral("Заводской номер"), QString(), serial},
        {QStringLiteral("Дата изготовления"), QString(), date.toString(QStringLiteral("dd.MM.yyyy"))}};
    for (int i = 0; i < ident::kKitOptions; ++i)
        changes << JournalChange{QStringLiteral("Комплектация %1").arg(i + 1), QString(), QString::number(kit[i])};
    journalWrite(m_ctx, QStringLiteral("Идентификация"), changes, ok, journalOutcome(m_ctx.modbus, ok));
}

} // namespace vexs
