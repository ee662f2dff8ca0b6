#include "sim/pseudo_terminal.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vexs {

PseudoTerminal::PseudoTerminal()
{
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B1200); // differs from every speed a port chooses
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_path = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

void PseudoTerminal::hangUp()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}

bool PseudoTerminal::write(const QByteArray &bytes) const
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else {
            pollfd pfd{m_master, POLLOUT, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                return false;
        }
    }
    return done == bytes.size();
}

QByteArray PseudoTerminal::read(int length, int timeoutMs) const
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (m_master >= 0 && got.size() < length && timer.elapsed() < timeoutMs) {
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, 5) > 0 && (pfd.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
    }
    return got;
}

int PseudoTerminal::slaveSpeed() const
{
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

QString PseudoTerminal::slaveFormat() const
{
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return QString();
    int bits = 8;
    switch (tio.c_cflag & CSIZE) {
    case CS5: bits = 5; break;
    case CS6: bits = 6; break;
    case CS7: bits = 7; break;
    default: break;
    }
    const char parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    QString format = QStringLiteral("%1%2%3").arg(bits).arg(QChar::fromLatin1(parity))
                         .arg(tio.c_cflag & CSTOPB ? 2 : 1);
    if (tio.c_cflag & CRTSCTS)
        format += QStringLiteral(" rtscts");
    if (tio.c_iflag & (IXON | IXOFF))
        format += QStringLiteral(" xonxoff");
    return format;
}

} // namespace vexs
