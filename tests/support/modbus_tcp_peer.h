#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace vexs::test {

// An independent Modbus TCP server (libmodbus) on 127.0.0.1, one client at
// a time, with holding registers 0..19999 holding their own numbers and
// input registers all 7, as the pymodbus peer of the tests has them.
class ModbusTcpPeer
{
public:
    explicit ModbusTcpPeer(int address = 1);
    ~ModbusTcpPeer();
    ModbusTcpPeer(const ModbusTcpPeer &) = delete;
    ModbusTcpPeer &operator=(const ModbusTcpPeer &) = delete;

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }

private:
    void serve();

    struct Private;
    Private *d;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_server;
};

} // namespace vexs::test
