#pragma once

#include <QByteArray>
#include <QtEndian>

namespace vexs::test {

// Fields of a request frame as the simulator received it.
inline int functionOf(const QByteArray &frame)
{
    return quint8(frame.at(1));
}
inline int firstOf(const QByteArray &frame)
{
    return qFromBigEndian<quint16>(frame.constData() + 2);
}
inline int countOf(const QByteArray &frame)
{
    return qFromBigEndian<quint16>(frame.constData() + 4);
}
// The register data of a write request (between byte count and CRC).
inline QByteArray writeDataOf(const QByteArray &frame)
{
    return frame.mid(7, frame.size() - 9);
}

} // namespace vexs::test
