#pragma once

#include <QByteArray>
#include <QString>

namespace vexs {

// A pseudo-terminal pair for tests and tools on Unix: the holder keeps the
// master side and hands the slave path to whatever plays the serial port.
// A slave descriptor stays open as well, so the master never sees a hang-up
// before hangUp() and the line settings the port chose can be read back.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_path; }
    int masterDescriptor() const { return m_master; }

    // Closes both sides, as when a USB adapter is pulled out.
    void hangUp();

    // To and from the master side; read collects until `length` octets came
    // or `timeoutMs` passed.
    bool write(const QByteArray &bytes) const;
    QByteArray read(int length, int timeoutMs) const;

    // The line as the slave side is set now: output speed in bit/s (0 when
    // unknown) and the character format, e.g. "8N1", with " rtscts" or
    // " xonxoff" appended when flow control is on.
    int slaveSpeed() const;
    QString slaveFormat() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

} // namespace vexs
