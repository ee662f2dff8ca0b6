#include "link/af_circular_buffer.h"

#include <QtTest>

using vexs::TAfCircularBuffer;

namespace {

// Reads everything stored, following the wrap, without removing it.
QByteArray peekAll(const TAfCircularBuffer &buffer)
{
    QByteArray out;
    const int first = buffer.ContiguousReadable();
    out.append(buffer.ReadPointer(), first);
    const int rest = buffer.Used() - first;
    if (rest > 0) {
        // The remainder starts at the beginning of the array.
        const char *start = buffer.ReadPointer() - (buffer.Size() - first);
        out.append(start, rest);
    }
    return out;
}

QByteArray pattern(int length, char first)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(static_cast<char>(first + i));
    return bytes;
}

} // namespace

class TstCircularBuffer : public QObject
{
    Q_OBJECT

private slots:
    void emptyBuffer();
    void putAndRemove_data();
    void putAndRemove();
    void refusedPut_data();
    void refusedPut();
    void exactFillSetsFull_data();
    void exactFillSetsFull();
    void wrapKeepsOrder();
    void removeMoreThanStoredIsRefused();
    void clearResets();
};

void TstCircularBuffer::emptyBuffer()
{
    TAfCircularBuffer buffer(8);
    QCOMPARE(buffer.Size(), 8);
    QCOMPARE(buffer.Used(), 0);
    QCOMPARE(buffer.Free(), 8);
    QCOMPARE(buffer.ContiguousReadable(), 0);
    QVERIFY(!buffer.Full());
}

// Start offset moves the read/write positions before the put under test, so
// the same lengths are tried with and without crossing the end of the array.
void TstCircularBuffer::putAndRemove_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("startOffset");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("contiguous");

    QTest::newRow("from start") << 8 << 0 << 5 << 5;
    QTest::newRow("up to the end") << 8 << 3 << 5 << 5;
    QTest::newRow("wraps by one") << 8 << 4 << 5 << 4;
    QTest::newRow("wraps, short head") << 8 << 7 << 6 << 1;
    QTest::newRow("single byte at end") << 8 << 7 << 1 << 1;
    QTest::newRow("one-byte buffer") << 1 << 0 << 1 << 1;
}

void TstCircularBuffer::putAndRemove()
{
    QFETCH(int, size);
    QFETCH(int, startOffset);
    QFETCH(int, length);
    QFETCH(int, contiguous);

    TAfCircularBuffer buffer(size);
    if (startOffset > 0) {
        const QByteArray filler(startOffset, 'x');
        QVERIFY(buffer.Put(filler.constData(), startOffset));
        QVERIFY(buffer.Remove(startOffset));
        QCOMPARE(buffer.Used(), 0);
    }

    const QByteArray data = pattern(length, 'a');
    QVERIFY(buffer.Put(data.constData(), length));
    QCOMPARE(buffer.Used(), length);
    QCOMPARE(buffer.Free(), size - length);
    QCOMPARE(buffer.ContiguousReadable(), contiguous);
    QCOMPARE(buffer.Full(), length == size);
    QCOMPARE(peekAll(buffer), data);

    // Drain it the way the write thread does: contiguous run after run.
    QByteArray drained;
    while (buffer.Used() > 0) {
        const int run = buffer.ContiguousReadable();
        QVERIFY(run > 0);
        drained.append(buffer.ReadPointer(), run);
        QVERIFY(buffer.Remove(run));
    }
    QCOMPARE(drained, data);
    QCOMPARE(buffer.Free(), size);
    QVERIFY(!buffer.Full());
}

void TstCircularBuffer::refusedPut_data()
{
    QTest::addColumn<int>("alreadyStored");
    QTest::addColumn<int>("length");

    QTest::newRow("zero length") << 0 << 0;
    QTest::newRow("negative length") << 0 << -1;
    QTest::newRow("larger than the buffer") << 0 << 9;
    QTest::newRow("one more than free") << 5 << 4;
    QTest::newRow("zero length when full") << 8 << 0;
    QTest::newRow("one byte when full") << 8 << 1;
}

void TstCircularBuffer::refusedPut()
{
    QFETCH(int, alreadyStored);
    QFETCH(int, length);

    TAfCircularBuffer buffer(8);
    const QByteArray stored = pattern(alreadyStored, 'A');
    if (alreadyStored > 0)
        QVERIFY(buffer.Put(stored.constData(), alreadyStored));

    const QByteArray data(16, 'z');
    QVERIFY(!buffer.Put(data.constData(), length));
    // All or nothing: the buffer is exactly as before.
    QCOMPARE(buffer.Used(), alreadyStored);
    QCOMPARE(peekAll(buffer), stored);
}

void TstCircularBuffer::exactFillSetsFull_data()
{
    QTest::addColumn<int>("startOffset");
    QTest::newRow("aligned") << 0;
    QTest::newRow("across the wrap") << 5;
}

void TstCircularBuffer::exactFillSetsFull()
{
    QFETCH(int, startOffset);

    TAfCircularBuffer buffer(8);
    if (startOffset > 0) {
        const QByteArray filler(startOffset, 'x');
        QVERIFY(buffer.Put(filler.constData(), startOffset));
        QVERIFY(buffer.Remove(startOffset));
    }
    // Two puts that together fill it exactly, the second landing on the read position.
    const QByteArray data = pattern(8, '0');
    QVERIFY(buffer.Put(data.constData(), 3));
    QVERIFY(!buffer.Full());
    QVERIFY(buffer.Put(data.constData() + 3, 5));
    QVERIFY(buffer.Full());
    QCOMPARE(buffer.Used(), 8);
    QCOMPARE(buffer.Free(), 0);
    QCOMPARE(buffer.ContiguousReadable(), 8 - startOffset);
    QCOMPARE(peekAll(buffer), data);

    QVERIFY(buffer.Remove(8));
    QVERIFY(!buffer.Full());
    QCOMPARE(buffer.Used(), 0);
    QCOMPARE(buffer.Free(), 8);
    QCOMPARE(buffer.ContiguousReadable(), 0);
}

// Many puts and removes of varying lengths against a plain queue.
void TstCircularBuffer::wrapKeepsOrder()
{
    TAfCircularBuffer buffer(13);
    QByteArray model;
    char next = 0;
    for (int round = 0; round < 200; ++round) {
        const int putLength = 1 + (round * 7) % 9;
        const QByteArray chunk = pattern(putLength, next);
        const bool fits = putLength <= buffer.Free();
        QCOMPARE(buffer.Put(chunk.constData(), putLength), fits);
        if (fits) {
            model.append(chunk);
            next = static_cast<char>(next + putLength);
        }
        QCOMPARE(buffer.Used(), model.size());
        QCOMPARE(buffer.Full(), model.size() == 13);
        QCOMPARE(peekAll(buffer), model);

        const int removeLength = std::min<int>((round * 5) % 8, buffer.ContiguousReadable());
        QVERIFY(buffer.Remove(removeLength));
        model.remove(0, removeLength);
        QCOMPARE(buffer.Used(), model.size());
    }
}

void TstCircularBuffer::removeMoreThanStoredIsRefused()
{
    TAfCircularBuffer buffer(8);
    QVERIFY(buffer.Put("abc", 3));
    QVERIFY(!buffer.Remove(4));
    QVERIFY(!buffer.Remove(-1));
    QCOMPARE(buffer.Used(), 3);
    QVERIFY(buffer.Remove(0));
    QCOMPARE(buffer.Used(), 3);
}

void TstCircularBuffer::clearResets()
{
    TAfCircularBuffer buffer(4);
    QVERIFY(buffer.Put("ab", 2));
    QVERIFY(buffer.Remove(1));
    QVERIFY(buffer.Put("cde", 3));
    QVERIFY(buffer.Full());
    buffer.Clear();
    QVERIFY(!buffer.Full());
    QCOMPARE(buffer.Used(), 0);
    QCOMPARE(buffer.Free(), 4);
    // Positions are back at the start: a full-size put is one contiguous run.
    QVERIFY(buffer.Put("wxyz", 4));
    QCOMPARE(buffer.ContiguousReadable(), 4);
    QCOMPARE(QByteArray(buffer.ReadPointer(), 4), QByteArray("wxyz"));
}

QTEST_APPLESS_MAIN(TstCircularBuffer)
#include "tst_circular_buffer.moc"
