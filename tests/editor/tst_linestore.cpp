#include "linestore.h"
#include "testenv.h"

#include <QFile>

using tessarc::ControlError;
using tessarc::LineStore;

class TestLineStore : public QObject
{
    Q_OBJECT

private:
    QString storePath(const char *name) { return testEnvironment().path(QString::fromLatin1(name)); }

private slots:
    void recordLayoutIsCountThenBytesThenZeros()
    {
        const QString path = storePath("golden.qen.tmp");
        QFile::remove(path);
        LineStore store;
        store.open(path, 8);
        store.write(1, "G1");
        store.write(2, "");
        store.write(3, QByteArray("\x01\xff" "abc", 5));
        store.write(5, "N10"); // record 4 is a gap
        store.close();
        const QByteArray expected = QByteArray("\x02\x00G1\x00\x00\x00\x00", 8) + QByteArray(8, '\0') +
                                    QByteArray("\x05\x00\x01\xff" "abc\x00", 8) + QByteArray(8, '\0') +
                                    QByteArray("\x03\x00N10\x00\x00\x00", 8);
        QCOMPARE(readBytes(path), expected);

        store.open(path, 8, false);
        QCOMPARE(store.recordCount(), qint64(5));
        QCOMPARE(store.read(3), QByteArray("\x01\xff" "abc", 5));
        QCOMPARE(store.read(4), QByteArray());
        QCOMPARE(store.read(99), QByteArray()); // past the end of the file
        QCOMPARE(store.readRange(4, 3), (QList<QByteArray>{QByteArray(), "N10", QByteArray()}));
    }

    void countIsLittleEndianSixteenBit()
    {
        const QString path = storePath("wide.qen.tmp");
        QFile::remove(path);
        LineStore store;
        store.open(path, 32750);
        const QByteArray line(300, 'X');
        store.write(1, line);
        store.close();
        const QByteArray bytes = readBytes(path);
        QCOMPARE(static_cast<unsigned char>(bytes.at(0)), static_cast<unsigned char>(300 & 0xff));
        QCOMPARE(static_cast<unsigned char>(bytes.at(1)), static_cast<unsigned char>(300 >> 8));
        store.open(path, 32750);
        QCOMPARE(store.read(1), line);
    }

    void lineLongerThanRecordIsBadRecordLength()
    {
        const QString path = storePath("long.qen.tmp");
        QFile::remove(path);
        LineStore store;
        store.open(path, 10);
        store.write(1, QByteArray(8, 'a')); // exactly recLen - 2 fits
        try {
            store.write(2, QByteArray(9, 'b'));
            QFAIL("a line of recLen - 1 characters was stored");
        } catch (const ControlError &e) {
            QCOMPARE(e.number(), int(ControlError::BadRecordLength));
        }
        store.close();
        QCOMPARE(QFileInfo(path).size(), qint64(10)); // nothing of the long line reached the file
    }

    void corruptCountIsReportedNotTruncated()
    {
        const QString path = storePath("corrupt.qen.tmp");
        writeBytes(path, QByteArray("\x09\x00" "abcdef", 8));
        LineStore store;
        store.open(path, 8);
        QVERIFY_THROWS_EXCEPTION(ControlError, store.read(1));
    }

    void missingStoreWithoutCreateIsFileNotFound()
    {
        const QString path = storePath("absent.qen.tmp");
        QFile::remove(path);
        LineStore store;
        try {
            store.open(path, 500, false);
            QFAIL("opened a store that does not exist");
        } catch (const ControlError &e) {
            QCOMPARE(e.number(), int(ControlError::FileNotFound));
        }
        QVERIFY(!QFile::exists(path));
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
        const QString a = storePath("copy-a.qen.tmp");
        const QString b = storePath("copy-b.qen.tmp");
        QFile::remove(a);
        QFile::remove(b);
        LineStore from;
        LineStore to;
        from.open(a, recLen);
        for (int k = 1; k <= records; ++k)
            from.write(k, "L" + QByteArray::number(k));
        to.open(b, recLen);
        to.write(1, "keep");
        LineStore::copyRecords(from, first, count, to, firstTo);
        for (int k = 0; k < count; ++k) {
            const int src = first + k;
            const QByteArray want = src <= records ? "L" + QByteArray::number(src) : QByteArray();
            QCOMPARE(to.read(firstTo + k), want);
        }
        if (firstTo > 1)
            QCOMPARE(to.read(1), QByteArray("keep"));
        // The source is untouched.
        QCOMPARE(from.read(first), "L" + QByteArray::number(first));
    }

    void copyBetweenDifferentRecordLengthsIsRefused()
    {
        LineStore a;
        LineStore b;
        a.open(storePath("len-a.qen.tmp"), 20);
        b.open(storePath("len-b.qen.tmp"), 30);
        a.write(1, "x");
        QVERIFY_THROWS_EXCEPTION(ControlError, LineStore::copyRecords(a, 1, 1, b, 1));
    }

    void gatheredWritesAreVisibleToReads()
    {
        LineStore store;
        const QString path = storePath("gather.qen.tmp");
        QFile::remove(path);
        store.open(path, 50);
        store.write(1, "one");
        store.write(2, "two");
        QCOMPARE(store.read(2), QByteArray("two"));
        store.write(1, "ONE"); // not the next record: what was gathered goes out first
        QCOMPARE(store.readRange(1, 2), (QList<QByteArray>{"ONE", "two"}));
    }
};

VORNEXA_TEST_MAIN(TestLineStore)
#include "tst_linestore.moc"
