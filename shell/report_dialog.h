#pragma once

// "Отчёт": the commissioning report of the recorder the connection bar
// names, saved as a PDF or printed. The engineer's name and, when one is
// given, a reference configuration file go into it. The work is done by
// service/commissioning_report; this asks the user, keeps the link busy
// while it reads and shows the outcome. Nothing is sent before the path (or
// the printer) is chosen and checked and the reference file has been read.

#include "service/commissioning_report.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLineEdit;
class QPrinter;

namespace vexs {

struct PageContext;

class ReportDialog : public QDialog
{
    Q_OBJECT
public:
    // Everything that would open a window of its own, replaceable by tests.
    struct Hooks
    {
        // A path to save the report to, or empty when the user gives up;
        // `suggested` is the path offered.
        std::function<QString(const QString &caption, const QString &suggested)> saveFileName;
        // A reference configuration file, or empty.
        std::function<QString(const QString &caption, const QString &folder)> openFileName;
        // Sets `printer` up with the user; false when the user gives up.
        std::function<bool(QPrinter &printer)> choosePrinter;
    };

    ReportDialog(PageContext &context, QWidget *parent = nullptr);

    // The window's one report dialog, made on the first call and shown
    // again (with the name and file as they were left) on later ones.
    static ReportDialog *showFor(PageContext &context, QWidget *window);

    Hooks &hooks() { return m_hooks; }

    // "Сохранить PDF…": the path, checked; the reference file; the reads;
    // the PDF written whole. Told done only once the file is.
    void savePdf();
    // "Печать…": the printer; the reference file; the reads; the pages.
    void print();
    // "Обзор…": the reference file into its field.
    void browseReference();

    // Esc, "Закрыть" and the window's close: during the reads, asks them to
    // stop and closes once they have.
    void reject() override;

private:
    // Runs `action` once the link is free, with the link busy meanwhile
    // (the window's request controls, these buttons among them, wait).
    void start(void (ReportDialog::*action)());
    // The reference file (when one is named), then the reads; nullopt with
    // the reason shown.
    std::optional<ReportData> gather();
    QString program() const;

    PageContext &m_ctx;
    Hooks m_hooks;
    QLineEdit *m_engineer;
    QLineEdit *m_reference;
    QString m_folder; // of the last file chosen
    bool m_running = false;
    bool m_stopAsked = false;
    // A close asked for during the reads, done when they end: -1 for none.
    int m_pendingResult = -1;
};

} // namespace vexs
