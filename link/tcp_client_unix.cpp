// The socket witness on Unix: a duplicate descriptor of the connected
// socket. Reading the reset consumes the socket's pending error, so the
// witness asks differently: after a reset the socket can no longer send
// (EPIPE), while after an orderly close by the peer it still can.
#include <QtGlobal>

#ifdef Q_OS_UNIX

#include "link/tcp_client.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vexs::socket_witness {

qintptr hold(qintptr descriptor)
{
    if (descriptor < 0)
        return -1;
    return ::fcntl(int(descriptor), F_DUPFD_CLOEXEC, 0);
}

void release(qintptr witness)
{
    if (witness >= 0)
        ::close(int(witness));
}

bool connectionWasReset(qintptr witness)
{
    if (witness < 0)
        return false;
#ifdef MSG_NOSIGNAL
    const int flags = MSG_DONTWAIT | MSG_NOSIGNAL;
#else
    const int flags = MSG_DONTWAIT;
#endif
    // Sending nothing puts nothing on the wire; it only asks the state.
    ssize_t n;
    do {
        n = ::send(int(witness), "", 0, flags);
    } while (n < 0 && errno == EINTR);
    return n < 0 && (errno == EPIPE || errno == ECONNRESET);
}

} // namespace vexs::socket_witness

#endif
