#include "link/af_com_port.h"

#include "link/af_com_port_core.h"
#include "link/af_sync_handover.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>

#include <atomic>
#include <climits>
#include <mutex>

namespace vexs {

namespace {

constexpr int SyncTimeoutMs = 2000;

// The hourglass only makes sense in a GUI program, on its GUI thread.
class WaitCursor
{
public:
    WaitCursor()
    {
        auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        m_active = app && QThread::currentThread() == app->thread();
        if (m_active)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_active = false;
};

} // namespace

int AfBaudrateBits(TAfBaudrate rate, int userBaudRate)
{
    switch (rate) {
    case TAfBaudrate::br110: return 110;
    case TAfBaudrate::br300: return 300;
    case TAfBaudrate::br600: return 600;
    case TAfBaudrate::br1200: return 1200;
    case TAfBaudrate::br2400: return 2400;
    case TAfBaudrate::br4800: return 4800;
    case TAfBaudrate::br9600: return 9600;
    case TAfBaudrate::br14400: return 14400;
    case TAfBaudrate::br19200: return 19200;
    case TAfBaudrate::br38400: return 38400;
    case TAfBaudrate::br56000: return 56000;
    case TAfBaudrate::br57600: return 57600;
    case TAfBaudrate::br115200: return 115200;
    case TAfBaudrate::br128000: return 128000;
    case TAfBaudrate::br256000: return 256000;
    case TAfBaudrate::brUser: return userBaudRate;
    }
    return 0;
}

struct TAfComPortPrivate {
    QString name;
    int comNumber = 0;
    TAfBaudrate baudRate = TAfBaudrate::br115200;
    int userBaudRate = 0;
    TAfDatabits dataBits = TAfDatabits::db8;
    TAfParity parity = TAfParity::paNone;
    TAfStopbits stopBits = TAfStopbits::sbOne;
    TAfFlowControl flowControl = TAfFlowControl::fwNone;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    bool dtr = true;
    bool rts = true;
    int inBufSize = 4096;
    int outBufSize = 2048;

    TAfComPortCore core;
    quint32 syncSlot = 0;
    std::atomic<bool> closing {false};
    std::atomic<bool> destroying {false};
    std::mutex threadErrorMutex;
    QString threadError;

    TAfLineSettings lineSettings() const
    {
        TAfLineSettings s;
        s.baudRate = AfBaudrateBits(baudRate, userBaudRate);
        s.dataBits = dataBits;
        s.parity = parity;
        s.stopBits = stopBits;
        s.flowControl = flowControl;
        s.xonChar = xonChar;
        s.xoffChar = xoffChar;
        s.dtr = dtr;
        s.rts = rts;
        return s;
    }
};

TAfComPort::TAfComPort(QString name)
    : d(std::make_unique<TAfComPortPrivate>())
{
    d->name = std::move(name);
    d->syncSlot = TAfSafeSync::Instance().Register(
        [this](int kind, quint32 mask) { syncEvent(kind, mask); });
    d->core.SetNotify([this](int kind, quint32 mask, const QString &error) {
        threadNotify(kind, mask, error);
    });
    d->core.SetLineSettings(d->lineSettings());
}

TAfComPort::~TAfComPort()
{
    d->destroying = true;
    Close();
    TAfSafeSync::Instance().Unregister(d->syncSlot);
}

QString TAfComPort::Name() const
{
    return d->name;
}

void TAfComPort::raise(const QString &message) const
{
    throw EAfComPortError(QStringLiteral("%1 - %2 ").arg(d->name, message).toStdString());
}

int TAfComPort::ComNumber() const
{
    return d->comNumber;
}

void TAfComPort::SetComNumber(int number)
{
    if (number == d->comNumber)
        return;
    if (d->core.HandleValid()) {
        Close();
        d->comNumber = number;
        Open();
    } else {
        d->comNumber = number;
    }
}

void TAfComPort::SetDevicePathResolver(std::function<QString(int)> resolver)
{
    d->core.SetDevicePathResolver(std::move(resolver));
}

template <typename T>
void TAfComPort::setLineProperty(T &field, T value)
{
    const T previous = field;
    field = value;
    try {
        d->core.SetLineSettings(d->lineSettings());
    } catch (...) {
        field = previous;
        throw;
    }
}

TAfBaudrate TAfComPort::BaudRate() const
{
    return d->baudRate;
}

void TAfComPort::SetBaudRate(TAfBaudrate rate)
{
    const int previousUser = d->userBaudRate;
    if (rate != TAfBaudrate::brUser)
        d->userBaudRate = 0;
    try {
        setLineProperty(d->baudRate, rate);
    } catch (...) {
        d->userBaudRate = previousUser;
        throw;
    }
}

int TAfComPort::UserBaudRate() const
{
    return d->userBaudRate;
}

void TAfComPort::SetUserBaudRate(int bitsPerSecond)
{
    const TAfBaudrate previousRate = d->baudRate;
    d->baudRate = TAfBaudrate::brUser;
    try {
        setLineProperty(d->userBaudRate, bitsPerSecond);
    } catch (...) {
        d->baudRate = previousRate;
        throw;
    }
}

TAfDatabits TAfComPort::Databits() const { return d->dataBits; }
void TAfComPort::SetDatabits(TAfDatabits bits) { setLineProperty(d->dataBits, bits); }
TAfParity TAfComPort::Parity() const { return d->parity; }
void TAfComPort::SetParity(TAfParity parity) { setLineProperty(d->parity, parity); }
TAfStopbits TAfComPort::Stopbits() const { return d->stopBits; }
void TAfComPort::SetStopbits(TAfStopbits bits) { setLineProperty(d->stopBits, bits); }
TAfFlowControl TAfComPort::FlowControl() const { return d->flowControl; }
void TAfComPort::SetFlowControl(TAfFlowControl flow) { setLineProperty(d->flowControl, flow); }
char TAfComPort::XOnChar() const { return d->xonChar; }
void TAfComPort::SetXOnChar(char c) { setLineProperty(d->xonChar, c); }
char TAfComPort::XOffChar() const { return d->xoffChar; }
void TAfComPort::SetXOffChar(char c) { setLineProperty(d->xoffChar, c); }

bool TAfComPort::DTR() const { return d->dtr; }

void TAfComPort::SetDTR(bool on)
{
    d->dtr = on;
    d->core.SetModemLines(d->dtr, d->rts);
}

bool TAfComPort::RTS() const { return d->rts; }

void TAfComPort::SetRTS(bool on)
{
    d->rts = on;
    d->core.SetModemLines(d->dtr, d->rts);
}

int TAfComPort::InBufSize() const { return d->inBufSize; }

void TAfComPort::SetInBufSize(int size)
{
    if (d->core.HandleValid())
        raise(QStringLiteral("Port is not closed"));
    d->inBufSize = size;
}

int TAfComPort::OutBufSize() const { return d->outBufSize; }

void TAfComPort::SetOutBufSize(int size)
{
    if (d->core.HandleValid())
        raise(QStringLiteral("Port is not closed"));
    d->outBufSize = size;
}

void TAfComPort::Open()
{
    if (d->core.HandleValid())
        return;
    TAfSafeSync &sync = TAfSafeSync::Instance();
    sync.SetEnabled(d->syncSlot, true);
    d->core.SetLineSettings(d->lineSettings());
    d->core.SetQueueSizes(d->inBufSize, d->outBufSize);
    d->closing = false;
    try {
        WaitCursor cursor;
        d->core.Open(d->comNumber);
    } catch (...) {
        sync.SetEnabled(d->syncSlot, false);
        throw;
    }
    if (OnPortOpen)
        OnPortOpen();
}

void TAfComPort::Close()
{
    if (!d->core.HandleValid())
        return;
    d->closing = true;
    // Disabling the slot first releases a port thread that waits for this
    // (main) thread, so stopping the threads below cannot deadlock.
    TAfSafeSync::Instance().SetEnabled(d->syncSlot, false);
    d->core.Close();
    struct ClearClosing {
        std::atomic<bool> &flag;
        ~ClearClosing() { flag = false; }
    } clearClosing {d->closing};
    if (OnPortClose && !d->destroying)
        OnPortClose();
}

bool TAfComPort::Active() const
{
    return d->core.Active();
}

void TAfComPort::PurgeRx()
{
    if (d->closing || !d->core.IsOpen())
        return;
    d->core.PurgeRx();
}

void TAfComPort::PurgeTx()
{
    if (d->closing || !d->core.IsOpen())
        return;
    d->core.PurgeTx();
}

void TAfComPort::WriteString(const QByteArray &data)
{
    if (data.isEmpty() || d->closing)
        return;
    const int requested = data.size() > INT_MAX ? INT_MAX : static_cast<int>(data.size());
    int freeBytes = 0;
    if (data.size() > INT_MAX || !d->core.Write(data.constData(), requested, &freeBytes))
        raise(QStringLiteral("Write data error [requested: %1, free: %2]").arg(requested).arg(freeBytes));
}

QByteArray TAfComPort::ReadString()
{
    QByteArray result;
    if (d->closing || !d->core.IsOpen())
        return result;
    if (!d->core.Read(&result))
        raise(QStringLiteral("Read data error"));
    return result;
}

// On a port thread.
void TAfComPort::threadNotify(int kind, quint32 mask, const QString &error)
{
    if (d->closing || d->destroying)
        return;
    if (kind <= 2 && OnNonSyncEvent) {
        OnNonSyncEvent(kind, mask);
        return;
    }
    if (kind == 3) {
        std::lock_guard lock(d->threadErrorMutex);
        d->threadError = error;
    }
    const auto result = TAfSafeSync::Instance().Call(d->syncSlot, SyncTimeoutMs, kind, mask);
    if (kind == 3 && result != TAfSafeSync::CallResult::Done)
        qCWarning(lcLinkSerial).noquote() << d->name << "-" << error;
    else if (result == TAfSafeSync::CallResult::TimedOut)
        qCDebug(lcLinkSerial) << d->name << "notification" << kind << "not served in time";
    // Dropped means the port is closing: the notification is simply lost.
}

// On the main thread.
void TAfComPort::syncEvent(int kind, quint32 mask)
{
    if (d->closing || d->destroying)
        return;
    if (OnSyncEvent)
        OnSyncEvent(kind, mask);
    switch (kind) {
    case 0:
        if (OnOutBufFree)
            OnOutBufFree();
        break;
    case 1:
        if ((mask & EvRxChar) && OnDataRecived)
            OnDataRecived(d->core.WaitingCount());
        if (mask & EvErr) {
            const quint32 errors = d->core.TakeLineErrors();
            if (OnLineError)
                OnLineError(errors);
        }
        if ((mask & EvCts) && OnCTSChanged)
            OnCTSChanged();
        if ((mask & EvDsr) && OnDSRChanged)
            OnDSRChanged();
        if ((mask & EvRing) && OnRINGDetected)
            OnRINGDetected();
        if ((mask & EvRlsd) && OnRLSDChanged)
            OnRLSDChanged();
        break;
    case 2:
        if (OnDataRecived)
            OnDataRecived(static_cast<int>(mask));
        break;
    case 3: {
        QString message;
        {
            std::lock_guard lock(d->threadErrorMutex);
            message = d->threadError;
        }
        if (OnThreadError)
            OnThreadError(QStringLiteral("%1 - %2 ").arg(d->name, message));
        else
            qCWarning(lcLinkSerial).noquote() << d->name << "-" << message;
        break;
    }
    default:
        break;
    }
}

} // namespace vexs
