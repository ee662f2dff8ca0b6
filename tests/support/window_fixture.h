#pragma once

#include "shell/form_main.h"
#include "tests/support/captured_boxes.h"
#include "tests/support/sim_harness.h"

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>

#include <memory>

class QAbstractButton;

namespace vexs {
class IControls;
}

namespace vexs::test {

// A main window wired to a simulated recorder: serial port 1 is the
// simulator's pseudo-terminal, the TCP gateway its loopback port, message
// boxes are captured, and Vexs.ini lives in a temporary folder.
class WindowFixture
{
public:
    struct Options
    {
        bool sim = true;
        // Text of Vexs.ini written before the window starts; empty for none.
        QByteArray config;
        // Device path of serial port 1 when it is not the simulator's.
        QString port;
        // Several simulated recorders on the line; empty for one at address 1.
        QList<int> addresses;
        // The simulator's reply latency; negative for its default.
        int latencyMs = -1;
    };

    WindowFixture();
    explicit WindowFixture(const Options &options);
    ~WindowFixture();

    TformMain &window() { return *m_window; }
    IControls &controls();
    CapturedBoxes boxes;
    SimHarness &sim() { return m_sim; }
    QString configPath() const;
    // The window's write journal, in the temporary folder.
    QString journalFolder() const { return m_dir.filePath(QStringLiteral("journal")); }

    QAbstractButton *button(const QString &name);
    // Clicks a button and returns when its handler has finished.
    void click(const QString &name);
    // Switches to Ethernet, points the bar at the simulator and presses Start;
    // true once the connection is open.
    bool connectTcp();
    // Requests the simulator received since the last clearRequests().
    QList<QByteArray> requests();
    void clearRequests();
    // Shows the hidden navigation tree and the factory controls.
    void revealEverything();

private:
    QTemporaryDir m_dir;
    SimHarness m_sim;
    std::unique_ptr<TformMain> m_window;
};

QByteArray hexBytes(const char *text);

} // namespace vexs::test
