#pragma once

// The command line of vexs-cli, parsed without touching a device.

#include "link/address_list.h"
#include "link/modbus.h"
#include "settings/fleet_write.h"
#include "settings/raw_registers.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexs::cli {

struct Options
{
    bool help = false;
    bool version = false;

    // The link: a serial device path (the default when neither is given) or
    // a gateway, over TCP or (udp) UDP, in RTU frames or (mbap) Modbus TCP
    // frames.
    QString port;
    QString tcpHost;
    int tcpPort = 0;
    bool udp = false;
    bool mbap = false;
    bool framingGiven = false;
    bool tcp() const { return !tcpHost.isEmpty(); }
    LinkTuning tuning;  // --extra-wait, --retries, --pause, --reconnect
    bool stats = false; // --stats: the link's statistics on stderr at the end
    QList<int> addresses{1}; // one, or several for read -o DIR
    bool addressList = false;
    int baud = 115200;
    bool everySpeed = false; // scan --baud all: each listed speed in turn
    bool fast = false;

    QString command;   // read, write, diff, live, scan, probe, regs, journal
    QStringList files; // write: FILE; diff: A B
    QString output;    // read -o
    QString compare;   // report --compare: the reference configuration file
    QString engineer;  // report --engineer: the name the report is signed with
    bool noBackup = false;
    bool dryRun = false; // write --dry-run: print what would change, send no write
    QStringList keep;  // write --keep: groups left as the device has them
    // write --set GROUP.FIELD=VALUE, repeated: each recorder's own values, {addr} its address
    QList<FieldSetting> sets;
    int count = 0;     // live: rows, 0 for no end
    QString csv;       // live --csv
    bool decimalPoint = false; // live --decimal point: reals with '.', not ','
    bool captions = false;     // diff --captions: groups and fields as the pages name them
    int scanWaitMs = 0; // scan --wait; 0 for the default
    // regs read holding|input FIRST COUNT [--as VIEW] [--order ORDER]; regs write FIRST WORD...
    bool regsWrite = false;
    raw::Table regsTable = raw::Table::Holding;
    int regsFirst = 0;
    int regsCount = 0;
    raw::View regsView = raw::View::Hex;
    raw::Order regsOrder = raw::Order::Device;
    QList<quint16> regsWords;
    // journal [--serial S] [--since DATE] [--until DATE]
    QString journalSerial;
    QDate journalSince;
    QDate journalUntil;
};

QString defaultPort();

// nullopt with `error` set to what a user should change.
std::optional<Options> parseOptions(const QStringList &arguments, QString *error);

using vexs::parseAddressList;

QString helpText();

} // namespace vexs::cli
