// The serial channel over real pseudo-terminals: the test holds the master
// side and maps port numbers to slave paths, so every byte crosses the tty
// layer the way it does on a real port.
#include "link/af_com_port.h"
#include "link/low_latency.h"
#include "link/modbus.h"
#include "link/serial_transport.h"
#include "link/pumping_delay.h"
#include "sim/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace vexs;

namespace {

template <typename Call>
QString errorText(Call call)
{
    try {
        call();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}

} // namespace

class TstSerialChannel : public QObject
{
    Q_OBJECT
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<TAfComPort> port;

    void openOn(int number = 3)
    {
        port->SetComNumber(number);
        port->Open();
    }

private slots:
    void init()
    {
        pty = std::make_unique<PseudoTerminal>();
        QVERIFY(!pty->slavePath().isEmpty());
        port = std::make_unique<TAfComPort>();
        const QString path = pty->slavePath();
        port->SetDevicePathResolver([path](int n) {
            return n == 3 ? path : QStringLiteral("/nonexistent/ttyVEXS%1").arg(n);
        });
    }
    void cleanup()
    {
        port.reset();
        pty.reset();
    }

    void writeArrivesAtMasterAsSet_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QByteArray>("bytes");
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        QTest::newRow("9600, request frame") << 9600 << QByteArray::fromHex("01031f1c000bcf7f");
        QTest::newRow("38400, all byte values") << 38400 << all;
        QTest::newRow("115200, whole output queue") << 115200 << all.repeated(8);
    }
    void writeArrivesAtMasterAsSet()
    {
        QFETCH(int, speed);
        QFETCH(QByteArray, bytes);
        port->SetBaudRate(speed); // closed: recorded, applied at open
        QCOMPARE(pty->slaveSpeed(), 1200);
        openOn();
        QCOMPARE(pty->slaveSpeed(), speed);
        QCOMPARE(pty->slaveFormat(), QStringLiteral("8N1"));
        port->WriteString(bytes);
        QCOMPARE(pty->read(bytes.size(), 2000), bytes);
    }

    void readStringAndPurge()
    {
        openOn();
        QCOMPARE(port->ReadString(), QByteArray());
        pty->write("\x01\x03\x02\xAA\x55");
        PumpingDelay(50);
        QCOMPARE(port->ReadString(), QByteArray("\x01\x03\x02\xAA\x55"));
        pty->write("late");
        PumpingDelay(50);
        port->PurgeRx();
        QCOMPARE(port->ReadString(), QByteArray());
        // Close drops what arrived unread.
        pty->write("unread");
        PumpingDelay(50);
        port->Close();
        openOn();
        QCOMPARE(port->ReadString(), QByteArray());
    }

    // A peer that keeps sending: one read takes a bounded share.
    void floodIsBounded()
    {
        openOn();
        for (int i = 0; i < 16; ++i) {
            pty->write(QByteArray(1024, 'x'));
            PumpingDelay(5);
        }
        const QByteArray got = port->ReadString();
        QVERIFY(!got.isEmpty());
        QVERIFY2(got.size() <= TAfComPort::MaxReceivedOctets, qPrintable(QString::number(got.size())));
    }

    void closedChannelDoesNothing()
    {
        QVERIFY(!port->Active());
        QCOMPARE(port->ReadString(), QByteArray());
        port->WriteString("abc");
        port->PurgeRx();
        port->PurgeTx();
        port->Close();
        QCOMPARE(pty->read(1, 100), QByteArray());
    }

    void openErrors_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("failure");
        QTest::newRow("number 0") << 0 << "Invalid port number (COM0)" << int(PortFailure::NoDevice);
        QTest::newRow("missing device") << 7 << "Invalid port number (COM7)" << int(PortFailure::NoDevice);
    }
    void openErrors()
    {
        QFETCH(int, number);
        QFETCH(QString, message);
        QFETCH(int, failure);
        QCOMPARE(errorText([&] { openOn(number); }), message);
        QVERIFY(!port->Active());
        QCOMPARE(int(port->LastStatus().failure), failure);
    }

    // A port mapped to something that is no serial device says what it is,
    // and a file is never written to.
    void notASerialDevice_data()
    {
        QTest::addColumn<QString>("path"); // "file" and "folder" are made here
        QTest::addColumn<QString>("text");
        QTest::newRow("regular file") << "file" << "COM4: %1 не последовательный порт (обычный файл)";
        QTest::newRow("folder") << "folder" << "COM4: %1 не последовательный порт (папка)";
        QTest::newRow("/dev/null") << "/dev/null" << "COM4: %1 не последовательный порт (не терминал)";
    }
    void notASerialDevice()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QTemporaryDir dir;
        if (path == QLatin1String("file")) {
            path = dir.filePath("settings.json");
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("{}");
        } else if (path == QLatin1String("folder")) {
            path = dir.path();
        }
        port->SetDevicePathResolver([path](int) { return path; });
        QCOMPARE(errorText([&] { openOn(4); }), QString("Can't open device COM4"));
        QVERIFY(!port->Active());
        QCOMPARE(portFailureText(port->LastStatus()), text.arg(path));
        if (QFileInfo(path).isFile()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("{}"));
        }
    }

    void portInUseIsBusy()
    {
        QSerialPort other(pty->slavePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        QCOMPARE(errorText([&] { openOn(); }), QStringLiteral("Can't open device COM3"));
        QCOMPARE(port->LastStatus().failure, PortFailure::Busy);
        QCOMPARE(port->LastStatus().path, pty->slavePath());
        other.close();
        openOn();
        QVERIFY(port->Active());
        QCOMPARE(port->LastStatus().failure, PortFailure::None);
    }

    void writeLargerThanFree()
    {
        openOn();
        QCOMPARE(errorText([&] { port->WriteString(QByteArray(2049, 'x')); }),
                 QStringLiteral("AfComPort1 - Write data error [requested: 2049, free: 2048] "));
        QCOMPARE(pty->read(1, 100), QByteArray());
        QCOMPARE(errorText([&] { port->SetOutBufSize(4096); }),
                 QStringLiteral("AfComPort1 - Port is not closed "));
    }

    void hangUpFailsOnceThenPortWorksAgain()
    {
        openOn();
        int told = 0;
        port->OnLineFailed = [&told] { ++told; };
        pty->hangUp(); // the adapter is pulled out
        PumpingDelay(50);
        QVERIFY(told > 0); // so that a waiting exchange ends at once
        port->OnLineFailed = nullptr;
        QCOMPARE(errorText([&] { port->ReadString(); }),
                 QStringLiteral("AfComPort1 - Read data error "));
        QCOMPARE(port->LastStatus().failure, PortFailure::LineLost);
        port->Close();
        // Plugged in again (as a new device at the path the number names).
        pty = std::make_unique<PseudoTerminal>();
        const QString path = pty->slavePath();
        port->SetDevicePathResolver([path](int) { return path; });
        openOn();
        pty->write("ok");
        PumpingDelay(50);
        QCOMPARE(port->ReadString(), QByteArray("ok"));
    }

    void exchangeEndsWhenTheAdapterGoes()
    {
        struct : ILinkSettings {
            quint8 slaveAddress() const override { return 1; }
            int interfaceIndex() const override { return 0; }
            int comPortNumber() const override { return 3; }
            int baudIndex() const override { return 4; }
        } link;
        SerialTransport transport(link, *port);
        QTimer::singleShot(100, [this] { pty->hangUp(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(transport.exchange(5000, QByteArray::fromHex("010300000001840a")), failureReply());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(port->LastStatus().failure, PortFailure::LineLost);
    }

    // A pseudo-terminal refuses low latency as a CH34x adapter does; the
    // channel goes on as before: both directions, a close and a new open.
    void channelWorksWhereLowLatencyIsRefused()
    {
        const int fd = ::open(pty->slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QVERIFY(!low_latency::request(fd).has_value());
        ::close(fd);
        for (int round = 0; round < 2; ++round) {
            openOn();
            const QByteArray request = QByteArray::fromHex("010300000001840a");
            port->WriteString(request);
            QCOMPARE(pty->read(request.size(), 2000), request);
            pty->write(QByteArray::fromHex("01030200017984"));
            PumpingDelay(50);
            QCOMPARE(port->ReadString(), QByteArray::fromHex("01030200017984"));
            port->Close();
        }
    }

    void classification_data()
    {
        QTest::addColumn<bool>("notFound");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<int>("failure");
        QTest::newRow("Qt: not found") << true << true << true << int(PortFailure::NoDevice);
        QTest::newRow("no such path") << false << false << false << int(PortFailure::NoDevice);
        QTest::newRow("not ours to open") << false << true << false << int(PortFailure::PermissionDenied);
        QTest::newRow("locked by another") << false << true << true << int(PortFailure::Busy);
    }
    void classification()
    {
        QFETCH(bool, notFound);
        QFETCH(bool, exists);
        QFETCH(bool, accessible);
        QFETCH(int, failure);
        QCOMPARE(int(classifyOpenFailure(notFound, exists, accessible)), failure);
    }
};

QTEST_GUILESS_MAIN(TstSerialChannel)
#include "tst_serial_channel_unix.moc"
