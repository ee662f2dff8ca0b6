#include "cli/cli_options.h"

#include "link/af_com_port.h"
#include "link/line_speed.h"
#include "settings/config_groups.h"
#include "settings/config_transfer.h"
#include "settings/journal_store.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

namespace vexs::cli {

namespace {

constexpr int kMaxAddress = 255;
constexpr int kMaxScanAddress = 247; // the last unicast Modbus address

std::optional<int> number(const QString &text, int min, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

// Options that take a value, as "--name VALUE" or "--name=VALUE".
const QStringList kValued = {QStringLiteral("--port"), QStringLiteral("--tcp"), QStringLiteral("--udp"),
                             QStringLiteral("--framing"), QStringLiteral("--extra-wait"),
                             QStringLiteral("--retries"), QStringLiteral("--pause"), QStringLiteral("--address"),
                             QStringLiteral("--addresses"), QStringLiteral("--baud"), QStringLiteral("-o"),
                             QStringLiteral("--output"), QStringLiteral("--count"), QStringLiteral("--csv"),
                             QStringLiteral("--as"), QStringLiteral("--order"), QStringLiteral("--set"),
                             QStringLiteral("--keep"), QStringLiteral("--wait"), QStringLiteral("--decimal"),
                             QStringLiteral("--serial"), QStringLiteral("--since"), QStringLiteral("--until"),
                             QStringLiteral("--compare"), QStringLiteral("--engineer")};

// The command each option of a single command belongs to.
bool belongsTo(const QString &option, const QString &command)
{
    if (option == QLatin1String("-o") || option == QLatin1String("--output"))
        return command == QLatin1String("read") || command == QLatin1String("report");
    if (option == QLatin1String("--compare") || option == QLatin1String("--engineer"))
        return command == QLatin1String("report");
    if (option == QLatin1String("--no-backup") || option == QLatin1String("--keep")
        || option == QLatin1String("--dry-run") || option == QLatin1String("--set"))
        return command == QLatin1String("write");
    if (option == QLatin1String("--count") || option == QLatin1String("--csv")
        || option == QLatin1String("--decimal"))
        return command == QLatin1String("live");
    if (option == QLatin1String("--captions"))
        return command == QLatin1String("diff");
    if (option == QLatin1String("--addresses") || option == QLatin1String("--wait"))
        return command == QLatin1String("scan");
    if (option == QLatin1String("--as") || option == QLatin1String("--order"))
        return command == QLatin1String("regs");
    if (option == QLatin1String("--serial") || option == QLatin1String("--since")
        || option == QLatin1String("--until"))
        return command == QLatin1String("journal");
    return true;
}

// A refusal after the command's name.
QString lowered(const QString &text)
{
    return text.left(1).toLower() + text.mid(1);
}

// regs read holding|input FIRST COUNT and regs write FIRST WORD...: every
// range and word is checked here, so a bad one sends nothing. The view
// (--as) is known by now, for the even count of 32-bit values.
QString parseRegs(const QStringList &args, Options &o)
{
    const QString action = args.value(0);
    if (action == QLatin1String("read")) {
        if (args.size() != 4)
            return QStringLiteral("regs read: нужны holding или input, первый регистр и количество, "
                                  "например regs read holding 10012 11");
        if (args[1] != QLatin1String("holding") && args[1] != QLatin1String("input"))
            return QStringLiteral("regs read: holding (регистры хранения) или input (входные), а не «%1»")
                .arg(args[1]);
        const std::optional<qint64> first = raw::parseUnsigned(args[2]);
        if (!first)
            return QStringLiteral("regs read: первый регистр — число от 0 до %1, а не «%2»")
                .arg(raw::kLastRegister)
                .arg(args[2]);
        const std::optional<qint64> count = raw::parseUnsigned(args[3]);
        if (!count)
            return QStringLiteral("regs read: количество — число от 1 до %1, а не «%2»")
                .arg(raw::kMaxReadCount)
                .arg(args[3]);
        if (const QString refusal = raw::readRefusal(*first, *count, o.regsView); !refusal.isEmpty())
            return QStringLiteral("regs read: ") + lowered(refusal);
        o.regsTable = args[1] == QLatin1String("input") ? raw::Table::Input : raw::Table::Holding;
        o.regsFirst = int(*first);
        o.regsCount = int(*count);
        return QString();
    }
    if (action == QLatin1String("write")) {
        if (args.size() < 3)
            return QStringLiteral("regs write: нужны первый регистр и значения, например regs write 100 0x0001 65535");
        const std::optional<qint64> first = raw::parseUnsigned(args[1]);
        if (!first)
            return QStringLiteral("regs write: первый регистр — число от 0 до %1, а не «%2»")
                .arg(raw::kLastRegister)
                .arg(args[1]);
        const raw::Words words = raw::parseWords(args.mid(2).join(QLatin1Char(' ')));
        QString refusal = words.refusal;
        if (refusal.isEmpty())
            refusal = raw::writeRefusal(*first, words.words.size());
        if (!refusal.isEmpty())
            return QStringLiteral("regs write: ") + lowered(refusal);
        o.regsWrite = true;
        o.regsFirst = int(*first);
        o.regsWords = words.words;
        o.regsCount = int(words.words.size());
        return QString();
    }
    return QStringLiteral("regs: read или write, например regs read holding 10012 11");
}

} // namespace

QString defaultPort()
{
    return defaultSerialDevice(1);
}


std::optional<Options> parseOptions(const QStringList &arguments, QString *error)
{
    Options o;
    QStringList positional;
    QStringList seen;
    QSet<QString> given; // options of one value, each allowed once
    bool addressGiven = false;
    bool addressesGiven = false;
    auto failed = [error](const QString &message) {
        *error = message;
        return std::nullopt;
    };

    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            hasValue = true;
        }
        if (kValued.contains(arg)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return failed(QStringLiteral("после %1 нужно значение").arg(arg));
                value = arguments[++i];
            }
            // A second value would silently replace the first (a batch read
            // into "plant" becoming a read of one address).
            const QString key = arg == QLatin1String("--output") ? QStringLiteral("-o") : arg;
            if (arg != QLatin1String("--keep") && arg != QLatin1String("--set") && given.contains(key))
                return failed(QStringLiteral("%1 указан дважды").arg(arg));
            given.insert(key);
            seen << arg;
        } else if (hasValue) {
            return failed(QStringLiteral("%1 не принимает значения").arg(arg));
        }

        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.help = true;
        } else if (arg == QLatin1String("--version")) {
            o.version = true;
        } else if (arg == QLatin1String("--fast")) {
            o.fast = true;
        } else if (arg == QLatin1String("--no-backup")) {
            o.noBackup = true;
            seen << arg;
        } else if (arg == QLatin1String("--captions")) {
            o.captions = true;
            seen << arg;
        } else if (arg == QLatin1String("--dry-run")) {
            o.dryRun = true;
            seen << arg;
        } else if (arg == QLatin1String("--port")) {
            if (value.isEmpty())
                return failed(QStringLiteral("--port: нужен путь к устройству"));
            o.port = value;
        } else if (arg == QLatin1String("--tcp") || arg == QLatin1String("--udp")) {
            if (o.tcp())
                return failed(QStringLiteral("--tcp и --udp вместе нельзя"));
            const int colon = int(value.lastIndexOf(QLatin1Char(':')));
            QString host = colon > 0 ? value.left(colon) : QString();
            if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
                host = host.mid(1, host.size() - 2);
            const auto port = colon > 0 ? number(value.mid(colon + 1), 1, 65535) : std::nullopt;
            if (host.isEmpty() || !port)
                return failed(QStringLiteral("%1: нужно ХОСТ:ПОРТ, например 192.168.11.2:5000").arg(arg));
            o.tcpHost = host;
            o.tcpPort = *port;
            o.udp = arg == QLatin1String("--udp");
        } else if (arg == QLatin1String("--framing")) {
            if (value != QLatin1String("rtu") && value != QLatin1String("mbap"))
                return failed(QStringLiteral("--framing: rtu (кадры RTU как есть) или mbap (Modbus TCP)"));
            o.mbap = value == QLatin1String("mbap");
            o.framingGiven = true;
        } else if (arg == QLatin1String("--extra-wait") || arg == QLatin1String("--pause")) {
            const auto ms = number(value, 0, LinkTuning::kMaxMs);
            if (!ms)
                return failed(QStringLiteral("%1: время в мс, от 0 до %2").arg(arg).arg(LinkTuning::kMaxMs));
            (arg == QLatin1String("--pause") ? o.tuning.pauseMs : o.tuning.extraWaitMs) = *ms;
        } else if (arg == QLatin1String("--retries")) {
            const auto retries = number(value, 0, LinkTuning::kMaxRetries);
            if (!retries)
                return failed(QStringLiteral("--retries: повторов чтения от 0 до %1").arg(LinkTuning::kMaxRetries));
            o.tuning.readRetries = *retries;
        } else if (arg == QLatin1String("--reconnect")) {
            o.tuning.reconnect = true;
        } else if (arg == QLatin1String("--stats")) {
            o.stats = true;
        } else if (arg == QLatin1String("--address")) {
            const auto list = parseAddressList(value);
            if (!list)
                return failed(QStringLiteral("--address: адрес от 1 до %1 или список, например 1-5,8")
                                  .arg(kMaxAddress));
            o.addresses = *list;
            o.addressList = value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('-'));
            addressGiven = true;
        } else if (arg == QLatin1String("--addresses")) {
            const auto list = parseAddressList(value);
            if (!list)
                return failed(QStringLiteral("--addresses: список адресов, например 1-32,40"));
            o.addresses = *list;
            addressesGiven = true;
        } else if (arg == QLatin1String("--baud")) {
            const auto baud = number(value, 1, 10000000);
            if (value.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
                o.everySpeed = true;
            else if (!baud || lineSpeedIndex(*baud) < 0)
                return failed(QStringLiteral("--baud: одна из скоростей 9600, 19200, 38400, 57600, 115200 "
                                             "(для scan ещё all)"));
            else
                o.baud = *baud;
        } else if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            if (value.isEmpty())
                return failed(QStringLiteral("%1: нужен путь к файлу или папке").arg(arg));
            o.output = value;
        } else if (arg == QLatin1String("--count")) {
            const auto count = number(value, 1, 100000000);
            if (!count)
                return failed(QStringLiteral("--count: целое число больше 0"));
            o.count = *count;
        } else if (arg == QLatin1String("--wait")) {
            const auto wait = number(value, 1, 10000);
            if (!wait)
                return failed(QStringLiteral("--wait: время ожидания ответа в мс, от 1 до 10000"));
            o.scanWaitMs = *wait;
        } else if (arg == QLatin1String("--decimal")) {
            if (value != QLatin1String("comma") && value != QLatin1String("point"))
                return failed(
                    QStringLiteral("--decimal: comma (десятичная запятая, по умолчанию) или point (точка)"));
            o.decimalPoint = value == QLatin1String("point");
        } else if (arg == QLatin1String("--as")) {
            const std::optional<raw::View> view = raw::viewNamed(value);
            if (!view)
                return failed(QStringLiteral("--as: одно из %1").arg(raw::viewNames().join(QStringLiteral(", "))));
            o.regsView = *view;
        } else if (arg == QLatin1String("--order")) {
            const std::optional<raw::Order> order = raw::orderNamed(value);
            if (!order)
                return failed(QStringLiteral("--order: device (младший байт первым, как в приборе) "
                                             "или swapped (старший байт первым)"));
            o.regsOrder = *order;
        } else if (arg == QLatin1String("--serial")) {
            if (value.trimmed().isEmpty())
                return failed(QStringLiteral("--serial: нужен заводской номер"));
            o.journalSerial = value.trimmed();
        } else if (arg == QLatin1String("--since") || arg == QLatin1String("--until")) {
            QDate date;
            if (value.trimmed().isEmpty() || !parseJournalDate(value, &date))
                return failed(QStringLiteral("%1: дата ГГГГ-ММ-ДД или ДД.ММ.ГГГГ, а не «%2»").arg(arg, value));
            (arg == QLatin1String("--since") ? o.journalSince : o.journalUntil) = date;
        } else if (arg == QLatin1String("--compare")) {
            if (value.isEmpty())
                return failed(QStringLiteral("--compare: нужен путь к файлу конфигурации"));
            o.compare = value;
        } else if (arg == QLatin1String("--engineer")) {
            o.engineer = value.trimmed();
        } else if (arg == QLatin1String("--csv")) {
            if (value.isEmpty())
                return failed(QStringLiteral("--csv: нужен путь к файлу"));
            o.csv = value;
        } else if (arg == QLatin1String("--set")) {
            QString why;
            const std::optional<FieldSetting> set = parseFieldSetting(value, &why);
            if (!set)
                return failed(QStringLiteral("--set ") + why);
            for (const FieldSetting &earlier : o.sets) {
                if (earlier.group == set->group && earlier.field == set->field)
                    return failed(QStringLiteral("--set: поле %1.%2 задано дважды").arg(set->group, set->field));
            }
            o.sets << *set;
        } else if (arg == QLatin1String("--keep")) {
            // An empty list would keep nothing, and the network group would
            // be written after all.
            QStringList ids;
            for (const QString &part : value.split(QLatin1Char(','))) {
                if (!part.trimmed().isEmpty())
                    ids << part;
            }
            if (ids.isEmpty())
                return failed(QStringLiteral("--keep: нужна группа, например network"));
            for (const QString &id : ids) {
                if (!findConfigGroup(id.trimmed()))
                    return failed(QStringLiteral("--keep: нет группы «%1»").arg(id.trimmed()));
                o.keep << id.trimmed();
            }
        } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            return failed(QStringLiteral("неизвестный параметр %1").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (o.help || o.version)
        return o;

    // A gateway talks to the line at its own speed.
    if (o.everySpeed && o.tcp())
        return failed(
            QStringLiteral("--baud all только на последовательной линии: через шлюз скорость задаёт шлюз"));
    if (!o.port.isEmpty() && o.tcp())
        return failed(QStringLiteral("--port и %1 вместе нельзя").arg(o.udp ? QStringLiteral("--udp") : QStringLiteral("--tcp")));
    if ((o.framingGiven || o.tuning.reconnect) && !o.tcp())
        return failed(QStringLiteral("%1 относится к шлюзу: укажите --tcp или --udp")
                          .arg(o.framingGiven ? QStringLiteral("--framing") : QStringLiteral("--reconnect")));
    if (positional.isEmpty())
        return failed(QStringLiteral("не указана команда"));
    o.command = positional.takeFirst();
    o.files = positional;
    const struct
    {
        const char *name;
        int files;
    } commands[] = {{"read", 0}, {"write", 1}, {"diff", 2}, {"live", 0}, {"scan", 0}, {"probe", 0},
                     {"regs", -1}, {"journal", 0}, {"report", 0}}; // regs checks its own arguments
    bool known = false;
    for (const auto &c : commands) {
        if (o.command != QLatin1String(c.name))
            continue;
        known = true;
        if (c.files >= 0 && o.files.size() != c.files) {
            return failed(c.files == 0 ? QStringLiteral("%1: лишний аргумент %2").arg(o.command, o.files.value(0))
                          : c.files == 1 ? QStringLiteral("%1: нужен один файл").arg(o.command)
                                         : QStringLiteral("%1: нужны два файла (или device)").arg(o.command));
        }
    }
    if (!known)
        return failed(QStringLiteral("неизвестная команда %1").arg(o.command));
    for (const QString &option : seen) {
        if (!belongsTo(option, o.command))
            return failed(QStringLiteral("%1 не относится к команде %2").arg(option, o.command));
    }
    if (o.command == QLatin1String("regs")) {
        if (const QString refusal = parseRegs(o.files, o); !refusal.isEmpty())
            return failed(refusal);
        if (o.regsWrite && (given.contains(QStringLiteral("--as")) || given.contains(QStringLiteral("--order"))))
            return failed(QStringLiteral("--as и --order относятся к regs read"));
    }
    if (o.command == QLatin1String("report") && o.output.isEmpty())
        return failed(QStringLiteral("report: укажите файл отчёта: -o ФАЙЛ.pdf"));
    if (o.journalSince.isValid() && o.journalUntil.isValid() && o.journalSince > o.journalUntil)
        return failed(QStringLiteral("--since позже --until"));
    if (o.everySpeed && o.command != QLatin1String("scan"))
        return failed(
            QStringLiteral("--baud all не относится к команде %1: все скорости перебирает только scan")
                .arg(o.command));
    if (o.command == QLatin1String("probe") && !o.tcp())
        return failed(QStringLiteral("probe спрашивает шлюз: укажите --tcp или --udp"));
    if (o.command == QLatin1String("probe") && o.framingGiven)
        return failed(QStringLiteral("probe сам пробует обе разметки: --framing не нужен"));
    if (o.addressList && o.command != QLatin1String("read") && o.command != QLatin1String("write"))
        return failed(QStringLiteral("список адресов понимают только read -o ПАПКА, write и scan --addresses"));
    // A preview reads one recorder; the values of --set are each recorder's own.
    if (o.dryRun && (o.addressList || !o.sets.isEmpty()))
        return failed(QStringLiteral("write --dry-run: один адрес, без --set"));
    if (o.addressList && o.command == QLatin1String("read") && o.output.isEmpty())
        return failed(QStringLiteral("read со списком адресов: укажите папку -o ПАПКА"));
    if (o.command == QLatin1String("scan") && addressGiven)
        return failed(QStringLiteral("scan: адреса задаёт --addresses"));
    if (o.command == QLatin1String("scan") && !addressesGiven) {
        o.addresses.clear();
        for (int a = 1; a <= kMaxScanAddress; ++a)
            o.addresses << a;
    }
    if (o.port.isEmpty() && !o.tcp())
        o.port = defaultPort();
    return o;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: vexs-cli [--port PATH | --tcp HOST:PORT | --udp HOST:PORT] [--address N] [--baud BPS]\n"
        "                [--fast] [--framing rtu|mbap] [link options] [--stats] COMMAND\n"
        "\n"
        "Reads, compares and restores the configuration of a ВЕКС-310Т2 recorder over\n"
        "Modbus RTU: on a serial line, or the same frames over TCP to a gateway.\n"
        "\n"
        "Link:\n"
        "  --port PATH        serial device (default %1)\n"
        "  --tcp HOST:PORT    TCP gateway instead of a serial line\n"
        "  --udp HOST:PORT    UDP gateway instead of a serial line\n"
        "  --framing F        what the gateway speaks: rtu (RTU frames as they are, the\n"
        "                     default) or mbap (Modbus TCP: MBAP header, no CRC)\n"
        "  --address N        slave address 1..255 (default 1)\n"
        "  --baud BPS         9600, 19200, 38400, 57600 or 115200 (default 115200);\n"
        "                     scan also takes all\n"
        "  --fast             end each exchange as soon as its reply is complete\n"
        "  --extra-wait MS    add MS to every wait, for slow converters (default 0)\n"
        "  --retries N        retry a read that got no valid reply, 0..3 times (default 0;\n"
        "                     writes and commands are never repeated)\n"
        "  --pause MS         at least MS between the end of one exchange and the next\n"
        "  --reconnect        connect to the gateway again after a lost connection\n"
        "  --stats            after the command, print per address the requests, OK, no\n"
        "                     reply, CRC errors, exceptions, other failures and the reply\n"
        "                     times in ms on stderr\n"
        "\n"
        "Commands:\n"
        "  read [-o FILE]     read the device, write its configuration file (stdout without -o)\n"
        "  read --address LIST -o DIR\n"
        "                     the same for each address of LIST (e.g. 1-5,8): DIR/<serial>.json,\n"
        "                     one line per address: ok / no answer / error\n"
        "  write FILE [--no-backup] [--keep GROUPS]\n"
        "                     save the device's configuration as a backup (path on stderr),\n"
        "                     write every group of FILE, read back and verify; --keep leaves\n"
        "                     the listed groups as the device has them (e.g. --keep network\n"
        "                     when a configuration goes to another recorder on the same line)\n"
        "  write --dry-run FILE [--keep GROUPS]\n"
        "                     read the device and print what a write of FILE would change,\n"
        "                     \"group / field: device -> file\" as the window names them;\n"
        "                     nothing is written (exit 0: no change, 1: changes)\n"
        "  write FILE --address LIST [--keep GROUPS] [--set GROUP.FIELD=VALUE]...\n"
        "                     the same for each address of LIST (e.g. 1-8,10): the file and\n"
        "                     every --set are checked for every address before anything is\n"
        "                     sent, then each recorder is backed up, written and verified,\n"
        "                     one line per address: \"N: ok, резервная копия PATH\" or\n"
        "                     \"N: error WHY\"; a recorder that fails does not stop the rest.\n"
        "                     --set gives each recorder a value of its own, {addr} standing\n"
        "                     for its address: --set network.address={addr}\n"
        "                     --set network.ip=192.168.1.{addr}; one slave address for the\n"
        "                     whole line is refused: give --keep network or\n"
        "                     --set network.address=...\n"
        "  diff A B [--captions]\n"
        "                     compare two configuration files, or \"device\" for the connected\n"
        "                     one: a line \"group / field: a -> b\" per differing field;\n"
        "                     identification differences are notes starting with '#';\n"
        "                     --captions names groups and fields as the window does:\n"
        "                     \"Канал измерения 1 / ВПИ\" for \"measurement.1 / rangeHigh\"\n"
        "  live [--count N] [--csv FILE] [--decimal comma|point]\n"
        "                     live values once a second as CSV (time, link, every channel value\n"
        "                     of the measurement page); N rows, else until interrupted; UTF-8\n"
        "                     with a byte order mark, ';' between fields and decimal commas,\n"
        "                     as a spreadsheet set to Russian reads them (--decimal point:\n"
        "                     decimal points, for scripts)\n"
        "  scan [--addresses LIST] [--wait MS] [--baud all]\n"
        "                     ask each address (default 1-247) for its identification in fast\n"
        "                     exchange, print address, serial and board versions per recorder\n"
        "                     found; MS is the wait for each reply (default: its line time\n"
        "                     plus 50 ms; longer for slow converters or gateways); --baud all\n"
        "                     asks them at each speed from 115200 down to 9600 and ends each\n"
        "                     line with \"baud BPS\" (serial line only)\n"
        "  probe              (--tcp or --udp) ask the recorder for its identification in\n"
        "                     each framing and print the one that answered: rtu or mbap\n"
        "  regs read holding|input FIRST COUNT [--as VIEW] [--order device|swapped]\n"
        "                     read COUNT registers (1..125) from FIRST (0..65535; decimal or\n"
        "                     0x hex) and print \"REGISTER: VALUE\" per register, per value of\n"
        "                     two registers (u32, i32, float: COUNT even) or the text alone;\n"
        "                     VIEW: hex (the default; each register high octet first), u16,\n"
        "                     i16, u32, i32, float, text (Windows-1251, control characters as\n"
        "                     \\xNN); --order of the numbers: device, least significant octet\n"
        "                     first as the recorder keeps them (the default), or swapped\n"
        "  regs write FIRST VALUE...\n"
        "                     write holding registers from FIRST (function 0x10, up to 123):\n"
        "                     each VALUE one register, 0..65535 or 0x0..0xFFFF, sent high\n"
        "                     octet first as hex shows it; read back, print the registers\n"
        "                     written once they read back the same\n"
        "  journal [--serial S] [--since DATE] [--until DATE]\n"
        "                     the write journal, oldest first: one line per write, tab between\n"
        "                     time, user, link, address, serial, what was written, the\n"
        "                     changes \"field: old -> new\" and the outcome; only the recorder\n"
        "                     with serial S, written from or until DATE (YYYY-MM-DD or\n"
        "                     DD.MM.YYYY, inclusive); damaged lines are named on stderr\n"
        "  report -o FILE.pdf [--compare FILE.json] [--engineer NAME]\n"
        "                     the commissioning report as a PDF: identification, every\n"
        "                     configuration group, the calibration coefficients, the live\n"
        "                     values with error codes and the board self-test, with\n"
        "                     --compare the differences from that file, the engineer's\n"
        "                     name, the date and page numbers; the path and the file are\n"
        "                     checked before anything is sent (the coefficients wait up to\n"
        "                     10 s each: --fast shortens the read)\n"
        "\n"
        "Backups go to %2.\n"
        "The write journal is kept in %3 (VEXS_JOURNAL_DIR sets another folder).\n"
        "\n"
        "Exit status: 0 success (diff: no difference in the configuration groups);\n"
        "1 differences (diff), a write that was not verified (or, to several\n"
        "addresses, verified at some of them), a read of several\n"
        "addresses that not every address answered, or a scan that lost its gateway\n"
        "before the last address; 2 bad usage, bad file, no link\n"
        "or output that could not be written, with a message on stderr.\n"
        "\n"
        "  -h, --help         this text\n"
        "  --version          program version\n")
        .arg(defaultPort(), QDir::toNativeSeparators(defaultBackupFolder()),
             QDir::toNativeSeparators(defaultJournalFolder()));
}

} // namespace vexs::cli
