#include "tests/support/modbus_tcp_peer.h"

#include <modbus/modbus.h>

#include <QTcpServer>

#include <poll.h>
#include <unistd.h>

namespace vexs::test {

namespace {
constexpr int kHoldingCount = 20000;
constexpr int kInputCount = 200;
constexpr int kPollMs = 20;
} // namespace

struct ModbusTcpPeer::Private
{
    modbus_t *ctx = nullptr;
    modbus_mapping_t *map = nullptr;
    int listening = -1;
    int address = 1;
};

ModbusTcpPeer::ModbusTcpPeer(int address) : d(new Private)
{
    d->address = address;
    // A port nobody uses now; libmodbus wants it up front.
    quint16 port = 0;
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return;
        port = probe.serverPort();
    }
    d->map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kHoldingCount, 0, kInputCount);
    d->ctx = modbus_new_tcp("127.0.0.1", port);
    if (!d->map || !d->ctx)
        return;
    for (int i = 0; i < kHoldingCount; ++i)
        d->map->tab_registers[i] = quint16(i);
    for (int i = 0; i < kInputCount; ++i)
        d->map->tab_input_registers[i] = 7;
    d->listening = modbus_tcp_listen(d->ctx, 1);
    if (d->listening < 0)
        return;
    m_port = port;
    m_server = std::thread([this] { serve(); });
}

ModbusTcpPeer::~ModbusTcpPeer()
{
    m_stop = true;
    if (m_server.joinable())
        m_server.join();
    if (d->listening >= 0)
        ::close(d->listening);
    if (d->ctx) {
        modbus_close(d->ctx);
        modbus_free(d->ctx);
    }
    if (d->map)
        modbus_mapping_free(d->map);
    delete d;
}

void ModbusTcpPeer::serve()
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_indication_timeout(d->ctx, 0, kPollMs * 1000);
    while (!m_stop) {
        pollfd listening{d->listening, POLLIN, 0};
        if (::poll(&listening, 1, kPollMs) <= 0)
            continue;
        if (modbus_tcp_accept(d->ctx, &d->listening) < 0)
            continue;
        while (!m_stop) {
            const int rc = modbus_receive(d->ctx, query);
            if (rc == 0 || (rc < 0 && errno == ETIMEDOUT))
                continue;
            if (rc < 0)
                break; // the client went
            // The unit id names the recorder behind the gateway.
            if (query[6] == d->address)
                modbus_reply(d->ctx, query, rc, d->map);
        }
        modbus_close(d->ctx);
    }
}

} // namespace vexs::test
