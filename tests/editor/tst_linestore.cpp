#include "linestore.h"
#include "testenv.h"

#include <QFile>

using tessarc::ControlError;
using tessarc::LineStore;
using L = tessarc::LineNumber;

namespace {

// A path of the run's folder where no store lies yet.
QString freshPath(const char *name)
{
    const QString path = testEnvironment().path(QString::fromLatin1(name));
    QFile::remove(path);
    return path;
}

} // namespace

class TestLineStore : public QObject
{
    Q_OBJECT

private slots:
    void recordLayoutIsCountThenBytesThenZeros()
    {
        const QString path = freshPath("golden.qen.tmp");
        LineStore store;
        store.open(path, 8);
        store.write(L(1), "G1");
        store.write(L(2), "");
        store.write(L(3), QByteArray("\x01\xff" "abc", 5));
        store.write(L(5), "N10"); // record 4 is a gap
        store.close();
        const QByteArray expected = QByteArray("\x02\x00G1\x00\x00\x00\x00", 8) + QByteArray(8, '\0') +
                                    QByteArray("\x05\x00\x01\xff" "abc\x00", 8) + QByteArray(8, '\0') +
                                    QByteArray("\x03\x00N10\x00\x00\x00", 8);
        QCOMPARE(readBytes(path), expected);

        store.open(path, 8, false);
        QCOMPARE(store.recordCount(), qint64(5));
        QCOMPARE(store.read(L(3)), QByteArray("\x01\xff" "abc", 5));
        QCOMPARE(store.read(L(99)), QByteArray()); // past the end of the file
        QCOMPARE(store.readRange(L(4), 3), (QList<QByteArray>{QByteArray(), "N10", QByteArray()}));
    }

    void faultsAreNumberedAndChangeNothing()
    {
        const QString path = freshPath("long.qen.tmp");
        LineStore store;
        store.open(path, 10);
        store.write(L(1), QByteArray(8, 'a')); // exactly recLen - 2 fits
        QCOMPARE(raised([&] { store.write(L(2), QByteArray(9, 'b')); }).number(), int(ControlError::BadRecordLength));
        store.close();
        QCOMPARE(QFileInfo(path).size(), qint64(10)); // nothing of the long line reached the file
        // A count larger than its record is reported, not read short.
        writeBytes(path, QByteArray("\x09\x00" "abcdef", 8));
        store.open(path, 8);
        QCOMPARE(raised([&] { store.read(L(1)); }).number(), int(ControlError::BadRecordLength));
        store.close();
        // A store that is not there is not made when it is opened for reading.
        const QString absent = freshPath("absent.qen.tmp");
        QCOMPARE(raised([&] { store.open(absent, 500, false); }).number(), int(ControlError::FileNotFound));
        QVERIFY(!QFile::exists(absent));
    }

    void blockCopiesMoveWholeRangesToAnyOffset_data()
    {
        QTest::addColumn<int>("recLen");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("firstTo");
        QTest::newRow("start to start") << 20 << 50 << 1 << 50 << 1;
        QTest::newRow("shifted down (a line added)") << 20 << 50 << 10 << 41 << 11;
        QTest::newRow("shifted up (lines removed)") << 20 << 50 << 10 << 41 << 7;
        QTest::newRow("larger than one copy block") << 500 << 20000 << 3 << 19998 << 4;
        QTest::newRow("past the source's end") << 20 << 10 << 5 << 20 << 1;
    }

    void blockCopiesMoveWholeRangesToAnyOffset()
    {
        QFETCH(int, recLen);
        QFETCH(int, records);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, firstTo);
        LineStore from;
        LineStore to;
        from.open(freshPath("copy-a.qen.tmp"), recLen);
        for (int k = 1; k <= records; ++k)
            from.write(L(k), "L" + QByteArray::number(k));
        to.open(freshPath("copy-b.qen.tmp"), recLen);
        to.write(L(1), "keep");
        LineStore::copyRecords(from, L(first), count, to, L(firstTo));
        for (int k = 0; k < count; ++k) {
            const int src = first + k;
            QCOMPARE(to.read(L(firstTo + k)), src <= records ? "L" + QByteArray::number(src) : QByteArray());
        }
        if (firstTo > 1)
            QCOMPARE(to.read(L(1)), QByteArray("keep"));
        QCOMPARE(from.read(L(first)), "L" + QByteArray::number(first)); // the source is untouched
    }

    void paddingStaysZeroWhenRecordsShrink()
    {
        // More records than one gathering block holds, long and short by turns, so every slot of
        // the block is reused by a shorter record.
        const QString path = freshPath("padding.qen.tmp");
        const int recLen = 100;
        const int records = 3 * ((1 << 20) / recLen) + 7;
        LineStore store;
        store.open(path, recLen);
        for (int k = 1; k <= records; ++k)
            store.write(L(k), QByteArray((k / ((1 << 20) / recLen)) % 2 ? 3 : 90, 'a' + k % 26));
        store.close();
        const QByteArray bytes = readBytes(path);
        QCOMPARE(bytes.size(), qint64(records) * recLen);
        for (int k = 0; k < records; ++k) {
            const int n = static_cast<unsigned char>(bytes.at(k * recLen));
            QVERIFY2(bytes.mid(k * recLen + 2 + n, recLen - 2 - n).count('\0') == recLen - 2 - n,
                     qPrintable(QStringLiteral("record %1 has stray bytes").arg(k + 1)));
        }
    }

    void recordsMoveInsideTheStore_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("to");
        QTest::newRow("one down, overlapping") << 5 << 96 << 6;
        QTest::newRow("many down, overlapping") << 2 << 99 << 40;
        QTest::newRow("one up, overlapping") << 6 << 95 << 5;
        QTest::newRow("many up") << 60 << 41 << 3;
        QTest::newRow("more than a move block") << 1 << 100 << 2;
    }

    void recordsMoveInsideTheStore()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, to);
        // Big records so that a hundred of them span several of the blocks a move goes by.
        LineStore store;
        store.open(freshPath("move.qen.tmp"), LineStore::kLongestRecord);
        for (int k = 1; k <= 100; ++k)
            store.write(L(k), "R" + QByteArray::number(k));
        store.moveRecords(L(first), count, L(to));
        for (int k = 1; k <= 100; ++k) {
            if (k >= to && k < to + count)
                QCOMPARE(store.read(L(k)), "R" + QByteArray::number(first + k - to));
            else if (k < first || k >= first + count) // outside both ranges: untouched
                QCOMPARE(store.read(L(k)), "R" + QByteArray::number(k));
        }
    }

    // Gathered writes are read back before they go out; reserve never shrinks, truncate does.
    void gatheredWritesReserveAndTruncate()
    {
        const QString path = freshPath("size.qen.tmp");
        LineStore store;
        store.open(path, 50);
        store.write(L(1), "a");
        store.write(L(2), "b");
        QCOMPARE(store.read(L(2)), QByteArray("b"));
        store.write(L(1), "A"); // not the next record: what was gathered goes out first
        QCOMPARE(store.readRange(L(1), 2), (QList<QByteArray>{"A", "b"}));
        store.reserve(10);
        QVERIFY(QFileInfo(path).size() >= 10 * 50);
        QCOMPARE(store.read(L(10)), QByteArray());
        store.reserve(1);
        QVERIFY(QFileInfo(path).size() >= 10 * 50);
        store.truncate(1);
        QCOMPARE(store.recordCount(), qint64(1));
        QCOMPARE(store.read(L(1)), QByteArray("A"));
        QCOMPARE(store.read(L(2)), QByteArray());
    }

    void rewriteInPlaceStopsWhereAskedAndKeepsRecordsClean()
    {
        LineStore store;
        const int recLen = 10;
        store.open(testEnvironment().path(QStringLiteral("rewrite.tmp")), recLen);
        const qint64 n = 900000 / recLen; // more records than one block holds
        for (qint64 k = 1; k <= n; ++k)
            store.write(L(k), "LINE" + QByteArray::number(k % 1000));
        const qint64 stopAt = n - 3;
        store.rewriteRecords(L(2), n, [&](L record, QByteArrayView text, QByteArray &out) {
            if (record.value == stopAt)
                return false;
            out = text.first(1).toByteArray(); // shorter: the rest of the record must be cleared
            return true;
        });
        QCOMPARE(store.read(L(1)), QByteArray("LINE1"));
        QCOMPARE(store.read(L(2)), QByteArray("L"));
        QCOMPARE(store.read(L(stopAt - 1)), QByteArray("L"));
        QCOMPARE(store.read(L(stopAt)), "LINE" + QByteArray::number(stopAt % 1000));
        QCOMPARE(store.recordCount(), n);
        store.close();
        const QByteArray raw = readBytes(testEnvironment().path(QStringLiteral("rewrite.tmp")));
        QCOMPARE(raw.mid(recLen, recLen), QByteArray("\x01\0L\0\0\0\0\0\0\0", recLen));
    }
};

VORNEXA_TEST_MAIN(TestLineStore)
#include "tst_linestore.moc"
