#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace vexs::test {

// An independent Modbus RTU slave (libmodbus) behind a pair of
// pseudo-terminals bridged like a null-modem cable: the program under test
// opens portPath(), libmodbus serves the other end with a plain register
// map. The bridge records every octet the program sends, so a test can
// compare request frames byte for byte.
class ModbusPeer
{
public:
    // Holding registers 0..14099 and input registers 0..99, all zero.
    explicit ModbusPeer(int address = 1, int baud = 115200);
    ~ModbusPeer();
    ModbusPeer(const ModbusPeer &) = delete;
    ModbusPeer &operator=(const ModbusPeer &) = delete;

    bool isRunning() const { return m_running; }
    QString portPath() const;

    // Register contents in wire order (high byte first within a register).
    void setHolding(int first, const QByteArray &bytes);
    QByteArray holding(int first, int count) const;
    void setInput(int first, const QByteArray &bytes);

    // Stops answering (the line stays, the slave is silent) or answers again.
    void setSilent(bool silent) { m_silent = silent; }

    // Request frames received so far, split at the gaps between them.
    QList<QByteArray> requests() const;
    void clearRequests();

private:
    void serve();
    void bridge();

    struct Private;
    std::unique_ptr<Private> d;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::thread m_server;
    std::thread m_bridge;
};

} // namespace vexs::test
