#include "tests/support/window_fixture.h"

#include "link/pumping_delay.h"
#include "ui/page_context.h"
#include "ui/controls.h"

#include <QAbstractButton>
#include <QFile>
#include <QTest>

namespace vexs::test {

QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

WindowFixture::WindowFixture() : WindowFixture(Options()) {}

WindowFixture::WindowFixture(const Options &options)
{
    resetPumpingDelays();
    if (!options.config.isEmpty()) {
        QFile file(configPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(options.config);
    }
    if (options.sim) {
        SimHarness::Options so;
        so.addresses = options.addresses;
        if (options.latencyMs >= 0)
            so.latencyMs = options.latencyMs;
        if (!m_sim.start(so))
            qFatal("simulator did not start: %s", qPrintable(m_sim.errorString()));
    }
    TformMain::Options o;
    o.configPath = configPath();
    o.boxes = &boxes;
    o.journalFolder = journalFolder();
    const QString link = !options.port.isEmpty() ? options.port
                         : options.sim       ? m_sim.ptyLink()
                                             : QString();
    const QString missing = m_dir.filePath(QStringLiteral("no-such-port"));
    o.portResolver = [link, missing](int n) { return n == 1 && !link.isEmpty() ? link : missing; };
    m_window = std::make_unique<TformMain>(o);
    m_window->show();
    // Fast enough for tests, and the speed the simulator paces at by default.
    controls().setItemIndex(QStringLiteral("ComboBoxBaud"), 4);
}

WindowFixture::~WindowFixture()
{
    if (m_window) {
        m_window->close();
        m_window.reset();
    }
    m_sim.stop();
    resetPumpingDelays();
}

QString WindowFixture::configPath() const
{
    return m_dir.filePath(QStringLiteral("Vexs.ini"));
}

IControls &WindowFixture::controls()
{
    return m_window->context().controls;
}

QAbstractButton *WindowFixture::button(const QString &name)
{
    auto *b = m_window->findChild<QAbstractButton *>(name);
    if (!b)
        qFatal("no button %s", qPrintable(name));
    return b;
}

void WindowFixture::click(const QString &name)
{
    QAbstractButton *b = button(name);
    if (!b->isEnabled())
        qWarning("clicking disabled button %s", qPrintable(name));
    b->click();
}

bool WindowFixture::connectTcp()
{
    controls().setItemIndex(QStringLiteral("ComboBoxInterface"), 1);
    controls().setText(QStringLiteral("EditIP"), QStringLiteral("127.0.0.1"));
    controls().setText(QStringLiteral("EditIPPort"), QString::number(m_sim.tcpPort()));
    click(QStringLiteral("ButtonIPConnect"));
    return QTest::qWaitFor(
        [this] { return controls().text(QStringLiteral("StaticTextStatusIP")) == "Открыто"; },
        5000);
}

QList<QByteArray> WindowFixture::requests()
{
    return m_sim.requestLog().frames();
}

void WindowFixture::clearRequests()
{
    m_sim.requestLog().clear();
}

void WindowFixture::revealEverything()
{
    m_window->FormKeyDown(TformMain::kTreeKey, Qt::ControlModifier | Qt::AltModifier);
    m_window->FormKeyDown(TformMain::kFactoryKey, Qt::ControlModifier | Qt::AltModifier);
}

} // namespace vexs::test
