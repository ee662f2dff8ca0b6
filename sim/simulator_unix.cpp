// The simulator's pseudo-terminal side: the client opens the slave end as it
// would a serial port, and the simulator reads and writes the master end.
#include "sim/simulator.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vexs {

namespace {

speed_t speedConstant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
    }
}

} // namespace

void Simulator::resetTcp(QTcpSocket *socket)
{
    // A zero linger time makes the close a reset.
    const linger now{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    socket->abort();
}

bool Simulator::openPty(const QString &link)
{
    auto fail = [this](const QString &what) {
        QMutexLocker lock(&m_infoMutex);
        m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };

    // Close-on-exec, both ends: a program started while the simulator runs
    // in-process must not keep the terminal alive after the simulator stops.
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Holding the slave open ourselves keeps the master from seeing a hang-up
    // each time the client closes its side; raw mode means no echo and no
    // line editing for whoever opens it next.
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0)
        return fail(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name)));
    termios tio{};
    if (::tcgetattr(m_slaveFd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, speedConstant(m_baud.load()));
        ::tcsetattr(m_slaveFd, TCSANOW, &tio);
    }

    {
        QMutexLocker lock(&m_infoMutex);
        m_ptyPath = QString::fromLocal8Bit(name);
    }

    if (!link.isEmpty()) {
        const QByteArray linkPath = QFile::encodeName(link);
        const QFileInfo info(link);
        if (info.isSymLink()) {
            ::unlink(linkPath.constData());
        } else if (info.exists()) {
            QMutexLocker lock(&m_infoMutex);
            m_error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        if (::symlink(name, linkPath.constData()) != 0)
            return fail(QStringLiteral("cannot create the link %1").arg(link));
        QMutexLocker lock(&m_infoMutex);
        m_ptyLink = link;
    }

    m_ptyAssembler.clear();
    m_ptyNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_ptyNotifier, &QSocketNotifier::activated, this, &Simulator::onPtyReadable);
    return true;
}

void Simulator::closePty()
{
    delete m_ptyNotifier;
    m_ptyNotifier = nullptr;
    QString link, path;
    {
        QMutexLocker lock(&m_infoMutex);
        link = m_ptyLink;
        path = m_ptyPath;
        m_ptyLink.clear();
        m_ptyPath.clear();
    }
    // Remove the link only while it still leads to our terminal.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == path)
        ::unlink(QFile::encodeName(link).constData());
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveFd = -1;
    m_master = -1;
}

void Simulator::onPtyReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            const auto frames = m_ptyAssembler.feed(QByteArray(buffer, int(n)), m_clock.elapsed());
            for (const QByteArray &frame : frames)
                handleFrame(frame, Route{});
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Should not happen while we hold the slave open; do not spin on it.
            trace("pty read failed", {}, QString::fromLocal8Bit(std::strerror(errno)));
            if (m_ptyNotifier)
                m_ptyNotifier->setEnabled(false);
        }
        return;
    }
}

void Simulator::writePty(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Nobody is draining the terminal; a line would lose these too.
            trace("pty write dropped", bytes.mid(done));
            return;
        }
    }
}

} // namespace vexs
