// Draws the main window as a user sees it against the simulated recorder
// and saves PNGs: after a bulk read on the measurement channels page, the
// preview of a write and the write journal, and on the measurement page
// while polling. Run under a real display (Xvfb):
//   xvfb-run -a -s "-screen 0 1280x800x24" make_screenshots docs/screenshots
#include "service/live_page.h"
#include "service/trend_window.h"
#include "shell/bus_scan_dialog.h"
#include "shell/commissioning.h"
#include "shell/config_actions.h"
#include "shell/journal_window.h"
#include "shell/form_main.h"
#include "shell/traffic_monitor.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QDialog>
#include <QTimer>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTest>

using namespace vexs;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    test::WindowFixture fx;
    TformMain &w = fx.window();
    w.move(0, 0);
    QTest::qWait(300);
    const auto save = [&](const char *name) {
        QTest::qWait(300);
        const QPixmap shot = w.grab();
        const QString path = QDir(out).filePath(QString::fromLatin1(name));
        if (!shot.save(path))
            qFatal("cannot save %s", qPrintable(path));
        qInfo("saved %s", qPrintable(path));
    };

    save("start.png");
    fx.click(QStringLiteral("Button11"));
    w.selectNode(3);
    save("main-window.png");
    // A page write and its record in the journal, and the preview of a
    // write of the pages.
    const auto saveWindow = [&](QWidget &window, const char *name) {
        window.show();
        QTest::qWait(500);
        const QString path = QDir(out).filePath(QString::fromLatin1(name));
        if (!window.grab().save(path))
            qFatal("cannot save %s", qPrintable(path));
        qInfo("saved %s", qPrintable(path));
    };
    fx.controls().setText(QStringLiteral("EditCanVPI1"), QStringLiteral("120.000"));
    fx.click(QStringLiteral("ButtonWriteNastrCan1"));
    w.selectNode(9);
    fx.click(QStringLiteral("ButtonWriteNastrRs"));
    // The preview of a pages write.
    auto *poll = new QTimer(&w);
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            QTest::qWait(300);
            d->grab().save(QDir(out).filePath(QStringLiteral("preview.png")));
            d->reject();
            poll->stop();
        }
    });
    poll->start(200);
    fx.controls().setText(QStringLiteral("EditCanVPI1"), QStringLiteral("250.5"));
    w.configActions().hooks().previewWrite = [&](const QString &q, const QList<ConfigDifference> &c) {
        return ConfigActions::showWritePreview(&w, q, c);
    };
    fx.click(QStringLiteral("ButtonPagesWrite"));
    w.commissioning().showJournal();
    if (auto *j = w.findChild<JournalWindow *>()) {
        saveWindow(*j, "journal.png");
        j->close();
    }
    w.selectNode(4);
    save("math-channels.png");
    w.selectNode(10);
    fx.click(QStringLiteral("Button3"));
    QTest::qWait(2500);
    save("measurement.png");
    // The traffic monitor after the bulk read and those polls, and the trend
    // after two minutes of polling.
    saveWindow(w.monitor(), "monitor.png");
    // The search of the line, after a scan of the first addresses.
    fx.click(QStringLiteral("ButtonBusScan"));
    if (auto *scan = w.findChild<BusScanDialog *>()) {
        scan->scan(1, 5);
        saveWindow(*scan, "scan.png");
        scan->reject();
    }
    w.monitor().close();
    QTest::qWait(120000);
    fx.click(QStringLiteral("ButtonTrend"));
    saveWindow(*w.findChild<LivePage *>()->trendWindow(), "trend.png");
    w.findChild<LivePage *>()->trendWindow()->close();
    fx.click(QStringLiteral("Button12"));
    fx.revealEverything();
    w.selectNode(12);
    save("service.png");
    // Every other page, for a look at the layouts.
    for (int page : {2, 5, 6, 7, 8, 9, 11}) {
        w.selectNode(page);
        save(qPrintable(QStringLiteral("page-%1.png").arg(page)));
    }
    return 0;
}
