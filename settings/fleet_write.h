#pragma once

// One configuration file into many recorders of one line: the file is
// validated once, each address's own values (its slave address, its IP
// address) are put into its copy and validated before anything is sent,
// then each recorder in turn is backed up, written and verified as a single
// write is. A recorder that fails does not end the run; a stop between
// recorders leaves the account of what was done.

#include "link/modbus.h"
#include "settings/config_file.h"
#include "settings/config_transfer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vexs {

// One value a person gives a field for every recorder, GROUP.FIELD=VALUE as
// on the command line; "{addr}" in the value stands for the address being
// written: "network.address={addr}", "network.ip=192.168.1.{addr}".
struct FieldSetting
{
    QString group; // group id, "network"
    QString field; // the file's key of the field, "ip"
    QString value; // as typed, "{addr}" left in

    // The value for the recorder at `address`.
    QString valueFor(int address) const;
    // "network.ip=192.168.1.{addr}"
    QString text() const;
};

inline const QString kAddressMark = QStringLiteral("{addr}");

// nullopt with `error` set for a text that is not GROUP.FIELD=VALUE, a group
// or field no file has, or a field only a file can give (a point table).
std::optional<FieldSetting> parseFieldSetting(const QString &text, QString *error);

// `config` with `settings` put in for the recorder at `address`, each value
// validated by the rules of the page that owns its field (through the
// configuration file's reader); nullopt with `error` naming the address,
// the group, the field and the value.
std::optional<DeviceConfig> applySettings(const DeviceConfig &config, const QList<FieldSetting> &settings,
                                          int address, QString *error);

// The window's overrides of one row: a new slave address and an IP address,
// either empty for the file's value.
QList<FieldSetting> networkOverrides(const QString &newAddress, const QString &ip);

struct FleetTarget
{
    int address = 0;     // where the recorder answers now
    DeviceConfig config; // what it gets, its own values put in
};

struct FleetAddress
{
    int address = 0;
    QList<FieldSetting> settings;
};

// Every recorder's configuration, all validated before any is written:
// nullopt with `error` set at the first bad value. Settings of a group in
// `keep` are refused: they would not be sent.
std::optional<QList<FleetTarget>> fleetTargets(const DeviceConfig &config, const QList<FleetAddress> &addresses,
                                               const QStringList &keep, QString *error);

// Why the slave addresses the targets get cannot stand on one line: two
// recorders at one address, or one moved onto the address of another
// recorder of the list. Empty when they can, or when `keep` holds the
// network group.
QString addressClash(const QList<FleetTarget> &targets, const QStringList &keep);

struct FleetLine
{
    int address = 0;
    bool ok = false;    // every group written and read back equal
    QString text;       // "3: ok, резервная копия …" / "4: error …"
    QString backupPath; // empty when none was saved
    QString why;        // empty when ok
};

struct FleetReport
{
    QList<int> addresses; // every address of the run, in order
    QList<FleetLine> lines;
    bool stopped = false; // asked to stop between recorders
    QString linkGone;     // why the run ended early without a stop; else empty

    int verified() const;
    bool allVerified() const;
    // The addresses no write was tried at.
    QList<int> notTried() const;
    // Russian, several lines: how many were written, each failed address
    // with why and where its backup is, and what was not tried.
    QString summary() const;
};

// Points the link at `address` (a gateway's connection opened again when it
// is gone); false with `why` when no link can be made, which ends the run.
using FleetSelect = std::function<bool(int address, QString *why)>;

// Backs up, writes and verifies each target in turn with `options` (its
// backup folder, program, keep, status and journal are every recorder's).
// `goOn` is asked between recorders; `lineDone` is told each line as it is
// known. A socket failure or silence is that recorder's failure; the next
// one is written. With `lost` (the gateway dropped the connection), a
// recorder that got nothing is asked once more over a new connection.
FleetReport writeFleet(const QList<FleetTarget> &targets, const FleetSelect &select, ModbusMaster &modbus,
                       const WriteOptions &options, const std::function<bool()> &goOn,
                       const std::function<void(const FleetLine &)> &lineDone,
                       const std::function<bool()> &lost = {});

// "1-8, 10" for 1..8 and 10, as a person writes a list of addresses.
QString addressRanges(const QList<int> &addresses);

// The settings of a fleet write: the link as it is (the connection bar's
// port, speed, interface, fast exchange and tuning), one address at a time.
class FleetLinkSettings : public ILinkSettings
{
public:
    explicit FleetLinkSettings(const ILinkSettings &link) : m_link(link) {}
    void setAddress(int address) { m_address = quint8(address); }

    quint8 slaveAddress() const override { return m_address; }
    int interfaceIndex() const override { return m_link.interfaceIndex(); }
    int comPortNumber() const override { return m_link.comPortNumber(); }
    int baudIndex() const override { return m_link.baudIndex(); }
    bool fastExchange() const override { return m_link.fastExchange(); }
    LinkTuning tuning() const override { return m_link.tuning(); }

private:
    const ILinkSettings &m_link;
    quint8 m_address = 1;
};

} // namespace vexs
