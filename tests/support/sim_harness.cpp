#include "tests/support/sim_harness.h"

#include <QMetaObject>

namespace vexs {

SimHarness::SimHarness()
{
    m_thread.setObjectName(QStringLiteral("simulator"));
    m_sim = new Simulator;
    m_sim->moveToThread(&m_thread);
    m_thread.start();
}

SimHarness::~SimHarness()
{
    // The simulator's sockets and notifiers belong to its thread: end them there.
    QMetaObject::invokeMethod(
        m_sim, [this] { delete m_sim; }, Qt::BlockingQueuedConnection);
    m_sim = nullptr;
    m_thread.quit();
    m_thread.wait();
}

bool SimHarness::start()
{
    return start(Options{});
}

bool SimHarness::start(const Options &options)
{
    Simulator::Options so;
    so.servePty = options.pty;
    so.ptyLink = options.pty ? m_dir.filePath(QStringLiteral("ttyVEXS")) : QString();
    so.serveTcp = options.tcp;
    so.tcpHost = QHostAddress(QHostAddress::LocalHost);
    so.tcpPort = 0;
    so.serveUdp = options.udp;
    so.udpPort = 0;
    so.mbap = options.mbap;
    so.address = options.address;
    so.baud = options.baud;
    so.addresses = options.addresses;
    so.pace = options.pace;
    so.latencyMs = options.latencyMs;
    so.verbose = options.verbose;
    if (!m_dir.isValid())
        return false;
    bool ok = false;
    QMetaObject::invokeMethod(
        m_sim, [this, &ok, so] { ok = m_sim->start(so); }, Qt::BlockingQueuedConnection);
    return ok;
}

void SimHarness::stop()
{
    QMetaObject::invokeMethod(m_sim, [this] { m_sim->stop(); }, Qt::BlockingQueuedConnection);
}

QString SimHarness::errorString() const
{
    if (!m_dir.isValid())
        return QStringLiteral("cannot create a temporary folder: ") + m_dir.errorString();
    return m_sim->errorString();
}

QString SimHarness::ptyLink() const
{
    return m_sim->ptyLink();
}

QString SimHarness::ptyPath() const
{
    return m_sim->ptyPath();
}

quint16 SimHarness::tcpPort() const
{
    return m_sim->tcpPort();
}

} // namespace vexs
