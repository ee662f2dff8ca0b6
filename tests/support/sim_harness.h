#pragma once

#include "sim/simulator.h"

#include <QString>
#include <QTemporaryDir>
#include <QThread>

namespace vexs {

// Runs a simulated recorder in a thread of its own, so a test can talk to it
// with blocking clients on the test thread. The pseudo-terminal link lives in
// a temporary folder; TCP listens on 127.0.0.1 at a free port. Every accessor
// may be used from the test thread while the simulator serves.
class SimHarness
{
public:
    struct Options {
        bool pty = true;
        bool tcp = true;
        bool udp = false;
        bool mbap = false; // Modbus TCP frames on TCP and UDP
        quint8 address = 1;
        int baud = 115200;
        QList<int> addresses; // several recorders; empty for `address` alone
        bool pace = false;
        int latencyMs = Simulator::TurnaroundMs;
        // Hex trace of the traffic on stderr; also switched on by the
        // environment variable VEXS_SIM_TRACE.
        bool verbose = qEnvironmentVariableIsSet("VEXS_SIM_TRACE");
    };

    SimHarness();
    ~SimHarness();
    SimHarness(const SimHarness &) = delete;
    SimHarness &operator=(const SimHarness &) = delete;

    // Starts serving (again); false with errorString() set when it cannot.
    bool start();
    bool start(const Options &options);
    void stop();
    QString errorString() const;

    QString ptyLink() const; // symlink to the pseudo-terminal, or empty
    QString ptyPath() const;
    quint16 tcpPort() const; // 0 when TCP is not served
    quint16 udpPort() const { return m_sim->udpPort(); }

    RecorderModel &model() { return m_sim->model(); }
    FaultRules &faults() { return m_sim->faults(); }
    RequestLog &requestLog() { return m_sim->requestLog(); }
    void setBaud(int baud) { m_sim->setBaud(baud); }
    void setAddress(quint8 address) { m_sim->setAddress(address); }
    void setVerbose(bool on) { m_sim->setVerbose(on); }
    Simulator &simulator() { return *m_sim; }

private:
    QTemporaryDir m_dir;
    QThread m_thread;
    Simulator *m_sim = nullptr;
};

} // namespace vexs
