#include "tests/support/modbus_peer.h"

#include "sim/pseudo_terminal.h"

#include <QElapsedTimer>

#include <modbus/modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vexs::test {

namespace {
constexpr int kHoldingCount = 14100;
constexpr int kInputCount = 100;
// A pause this long on the line ends a request frame in the recording.
constexpr int kFrameGapMs = 20;
} // namespace

struct ModbusPeer::Private
{
    PseudoTerminal programSide; // the program opens its slave path
    PseudoTerminal peerSide;    // libmodbus opens its slave path
    modbus_t *ctx = nullptr;
    modbus_mapping_t *map = nullptr;
    mutable std::mutex lock; // guards map and frames
    QList<QByteArray> frames;
    QByteArray pending;
    QElapsedTimer sinceLast;
};

ModbusPeer::ModbusPeer(int address, int baud) : d(std::make_unique<Private>())
{
    if (!d->programSide.isOpen() || !d->peerSide.isOpen())
        return;
    d->map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kHoldingCount, 0, kInputCount);
    d->ctx = modbus_new_rtu(d->peerSide.slavePath().toLocal8Bit().constData(), baud, 'N', 8, 1);
    if (!d->map || !d->ctx)
        return;
    modbus_set_slave(d->ctx, address);
    modbus_set_indication_timeout(d->ctx, 0, 50000);
    if (modbus_connect(d->ctx) != 0)
        return;
    m_running = true;
    m_bridge = std::thread([this] { bridge(); });
    m_server = std::thread([this] { serve(); });
}

ModbusPeer::~ModbusPeer()
{
    m_stop = true;
    if (m_server.joinable())
        m_server.join();
    if (m_bridge.joinable())
        m_bridge.join();
    if (d->ctx) {
        modbus_close(d->ctx);
        modbus_free(d->ctx);
    }
    if (d->map)
        modbus_mapping_free(d->map);
}

QString ModbusPeer::portPath() const
{
    return d->programSide.slavePath();
}

void ModbusPeer::serve()
{
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!m_stop) {
        const int rc = modbus_receive(d->ctx, query);
        if (rc <= 0 || m_silent)
            continue; // timeout, a frame for another address, or told to keep quiet
        std::lock_guard guard(d->lock);
        modbus_reply(d->ctx, query, rc, d->map);
    }
}

// Copies octets both ways between the two masters, as a cable would.
void ModbusPeer::bridge()
{
    const int a = d->programSide.masterDescriptor();
    const int b = d->peerSide.masterDescriptor();
    char buffer[4096];
    while (!m_stop) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (::poll(fds, 2, 5) <= 0) {
            std::lock_guard guard(d->lock);
            if (!d->pending.isEmpty() && d->sinceLast.elapsed() >= kFrameGapMs) {
                d->frames.append(d->pending);
                d->pending.clear();
            }
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(a, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard guard(d->lock);
                    d->pending.append(buffer, n);
                    d->sinceLast.start();
                }
                d->peerSide.write(QByteArray(buffer, int(n)));
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(b, buffer, sizeof buffer);
            if (n > 0)
                d->programSide.write(QByteArray(buffer, int(n)));
        }
    }
}

void ModbusPeer::setHolding(int first, const QByteArray &bytes)
{
    std::lock_guard guard(d->lock);
    for (int i = 0; i < bytes.size() && first + i / 2 < kHoldingCount; i += 2) {
        const quint8 hi = quint8(bytes[i]);
        const quint8 lo = i + 1 < bytes.size() ? quint8(bytes[i + 1]) : 0;
        d->map->tab_registers[first + i / 2] = quint16(hi << 8 | lo);
    }
}

QByteArray ModbusPeer::holding(int first, int count) const
{
    std::lock_guard guard(d->lock);
    QByteArray bytes;
    for (int r = first; r < first + count && r < kHoldingCount; ++r) {
        bytes.append(char(d->map->tab_registers[r] >> 8));
        bytes.append(char(d->map->tab_registers[r] & 0xFF));
    }
    return bytes;
}

void ModbusPeer::setInput(int first, const QByteArray &bytes)
{
    std::lock_guard guard(d->lock);
    for (int i = 0; i < bytes.size() && first + i / 2 < kInputCount; i += 2) {
        const quint8 hi = quint8(bytes[i]);
        const quint8 lo = i + 1 < bytes.size() ? quint8(bytes[i + 1]) : 0;
        d->map->tab_input_registers[first + i / 2] = quint16(hi << 8 | lo);
    }
}

QList<QByteArray> ModbusPeer::requests() const
{
    std::lock_guard guard(d->lock);
    QList<QByteArray> all = d->frames;
    if (!d->pending.isEmpty())
        all.append(d->pending);
    return all;
}

void ModbusPeer::clearRequests()
{
    std::lock_guard guard(d->lock);
    d->frames.clear();
    d->pending.clear();
}

} // namespace vexs::test
