#include "shell/report_dialog.h"

#include "link/link_activity.h"
#include "link/tcp_client.h"
#include "settings/config_file.h"
#include "settings/settings_image.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace vexs {

namespace {

const QString kPdfFilter = QStringLiteral("PDF (*.pdf)");
const QString kConfigFilter = QStringLiteral("Конфигурация прибора (*.json);;Все файлы (*)");

} // namespace

ReportDialog::ReportDialog(PageContext &context, QWidget *parent)
    : QDialog(parent), m_ctx(context), m_folder(QDir::homePath())
{
    setObjectName(QStringLiteral("DialogReport"));
    setWindowTitle(QStringLiteral("Отчёт"));

    m_hooks.saveFileName = [this](const QString &caption, const QString &suggested) {
        return QFileDialog::getSaveFileName(this, caption, suggested, kPdfFilter);
    };
    m_hooks.openFileName = [this](const QString &caption, const QString &folder) {
        return QFileDialog::getOpenFileName(this, caption, folder, kConfigFilter);
    };
    m_hooks.choosePrinter = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };

    auto *layout = new QVBoxLayout(this);
    QLabel *about = makeLabel(QStringLiteral("Отчёт о настройке прибора: идентификация, все группы настроек, "
                                             "коэффициенты калибровки каналов, текущие значения с кодами ошибок "
                                             "и статусом платы. Прибор будет считан заново."),
                              this);
    about->setWordWrap(true);
    layout->addWidget(about);

    auto *form = new QFormLayout;
    m_engineer = makeEdit(QStringLiteral("EditReportEngineer"), this);
    m_engineer->setPlaceholderText(QStringLiteral("Фамилия И. О."));
    form->addRow(QStringLiteral("Инженер:"), m_engineer);
    auto *referenceRow = new QHBoxLayout;
    m_reference = makeEdit(QStringLiteral("EditReportCompare"), this);
    m_reference->setPlaceholderText(QStringLiteral("необязательно"));
    m_reference->setToolTip(QStringLiteral("Файл конфигурации: различия прибора с ним войдут в отчёт"));
    referenceRow->addWidget(m_reference, 1);
    QPushButton *browse = makeButton(QStringLiteral("ButtonReportBrowse"), QStringLiteral("Обзор…"), this);
    connectDialogAction(browse, m_ctx.activity, m_ctx.boxes, [this] { browseReference(); });
    referenceRow->addWidget(browse);
    form->addRow(QStringLiteral("Сравнить с файлом:"), referenceRow);
    layout->addLayout(form);

    auto *buttons = new QHBoxLayout;
    QPushButton *save = makeButton(QStringLiteral("ButtonReportPdf"), QStringLiteral("Сохранить PDF…"), this);
    QPushButton *print = makeButton(QStringLiteral("ButtonReportPrint"), QStringLiteral("Печать…"), this);
    QPushButton *close = makeButton(QStringLiteral("ButtonReportClose"), QStringLiteral("Закрыть"), this);
    // Disabled by the window while the link is busy, this dialog's reads
    // included.
    for (QPushButton *request : {browse, save, print})
        markRequestControl(request);
    connect(save, &QPushButton::clicked, this, [this] { start(&ReportDialog::savePdf); });
    connect(print, &QPushButton::clicked, this, [this] { start(&ReportDialog::print); });
    connect(close, &QPushButton::clicked, this, &ReportDialog::reject);
    buttons->addWidget(save);
    buttons->addWidget(print);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(520, sizeHint().height());
}

ReportDialog *ReportDialog::showFor(PageContext &context, QWidget *window)
{
    auto *dialog = window->findChild<ReportDialog *>();
    if (!dialog)
        dialog = new ReportDialog(context, window);
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

QString ReportDialog::program() const
{
    const QString name = QCoreApplication::applicationName();
    const QString version = QCoreApplication::applicationVersion();
    return (name.isEmpty() ? QStringLiteral("vexs-configurator") : name)
           + (version.isEmpty() ? QString() : QLatin1Char(' ') + version);
}

void ReportDialog::start(void (ReportDialog::*action)())
{
    // A poll's exchange or a page's request under way: once the link is
    // free, never inside their waits.
    runWhenLinkFree(this, m_ctx.activity, std::make_shared<std::function<void()>>([this, action] {
        {
            LinkActivity::Scope busy(m_ctx.activity);
            m_running = true;
            m_stopAsked = false;
            runGuarded(m_ctx.boxes, [this, action] { (this->*action)(); });
            m_running = false;
        }
        if (m_pendingResult >= 0)
            done(std::exchange(m_pendingResult, -1));
    }));
}

void ReportDialog::reject()
{
    if (!m_running) {
        QDialog::reject();
        return;
    }
    // Closing now would leave the reads' progress to nobody.
    m_stopAsked = true;
    m_pendingResult = QDialog::Rejected;
}

void ReportDialog::browseReference()
{
    const QString path = m_hooks.openFileName(QStringLiteral("Сравнить с файлом"), m_folder);
    if (path.isEmpty())
        return;
    m_folder = QFileInfo(path).absolutePath();
    m_reference->setText(path);
}

std::optional<ReportData> ReportDialog::gather()
{
    QString error;
    // A file that does not validate stops the report before anything is sent.
    const QString referencePath = m_reference->text().trimmed();
    std::optional<DeviceConfig> reference;
    if (!referencePath.isEmpty()) {
        reference = readConfigFile(referencePath, &error);
        if (!reference) {
            m_ctx.boxes.error(error);
            return std::nullopt;
        }
    }
    std::optional<ReportData> data;
    try {
        ProgressScope progress(m_ctx.status, QStringLiteral("Чтение прибора для отчёта"), report::kReadRequests,
                               true);
        data = readReportData(
            m_ctx.modbus, m_ctx.link, program(),
            [&](int done, int) { return progress(done) && !m_stopAsked; }, &error);
    } catch (const ESocketError &e) {
        error = kNoLink + QStringLiteral(": ") + QString::fromUtf8(e.what())
                + QStringLiteral("\nОтчёт не составлен");
    }
    if (!data) {
        m_ctx.boxes.error(error);
        return std::nullopt;
    }
    data->engineer = m_engineer->text().trimmed();
    if (reference) {
        data->reference = std::move(reference);
        data->referenceName = QFileInfo(referencePath).fileName();
    }
    return data;
}

void ReportDialog::savePdf()
{
    const QString suggested = m_folder + QLatin1Char('/')
                              + reportFileName(m_ctx.image.pagesOrigin().serial, QDateTime::currentDateTime());
    QString path = m_hooks.saveFileName(QStringLiteral("Сохранить отчёт"), suggested);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    m_folder = QFileInfo(path).absolutePath();
    QString error;
    if (!canWriteReport(path, &error)) {
        m_ctx.boxes.error(error);
        return;
    }
    const std::optional<ReportData> data = gather();
    if (!data)
        return;
    if (writeReportPdf(path, reportHtml(*data), &error))
        m_ctx.boxes.info(QStringLiteral("Отчёт сохранён: ") + QDir::toNativeSeparators(path));
    else
        m_ctx.boxes.error(error);
}

void ReportDialog::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QStringLiteral("Отчёт о настройке прибора"));
    if (!m_hooks.choosePrinter(printer))
        return;
    const std::optional<ReportData> data = gather();
    if (!data)
        return;
    printReport(&printer, reportHtml(*data));
    if (printer.printerState() == QPrinter::Error)
        m_ctx.boxes.error(QStringLiteral("Отчёт не напечатан: ошибка принтера"));
    else
        m_ctx.boxes.info(QStringLiteral("Отчёт отправлен на печать"));
}

} // namespace vexs
