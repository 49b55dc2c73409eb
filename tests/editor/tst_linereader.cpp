#include "linereader.h"
#include "testenv.h"

using tessarc::LineReader;

namespace {

QList<QByteArray> readAll(const QString &path, bool lfEndsLine, qsizetype keep = 1 << 16)
{
    LineReader reader(path, lfEndsLine, keep);
    QList<QByteArray> lines;
    QByteArrayView line;
    qint64 full = 0;
    while (reader.next(line, full))
        lines.append(line.toByteArray());
    return lines;
}

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("lfEndsLine");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QByteArray>("uniform"); // the one end all lines have; empty when mixed or none
        QTest::addColumn<bool>("lastEnded");
        using L = QList<QByteArray>;
        QTest::newRow("CR LF") << QByteArray("G1 X1\r\nG1 X2\r\n") << true << L{"G1 X1", "G1 X2"} << QByteArray("\r\n") << true;
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << true << L{"a", "b"} << QByteArray("\r") << true;
        QTest::newRow("LF ends a line") << QByteArray("a\nb\n") << true << L{"a", "b"} << QByteArray("\n") << true;
        QTest::newRow("LF kept in the line") << QByteArray("a\nb\n") << false << L{QByteArray("a\nb\n")} << QByteArray()
                                             << false;
        QTest::newRow("LF kept, then CR LF") << QByteArray("a\nb\r\nc") << false << L{QByteArray("a\nb"), "c"}
                                             << QByteArray("\r\n") << false;
        QTest::newRow("CR CR LF is two lines") << QByteArray("a\r\r\nb") << true << L{"a", "", "b"} << QByteArray() << false;
        QTest::newRow("CR CR LF, LF kept") << QByteArray("a\r\r\nb") << false << L{"a", "", "b"} << QByteArray() << false;
        QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << true << L{"a", "", "b"} << QByteArray() << false;
        QTest::newRow("last line without an end") << QByteArray("a\r\nb") << true << L{"a", "b"} << QByteArray("\r\n")
                                                  << false;
        QTest::newRow("empty file") << QByteArray() << true << L{} << QByteArray() << true;
        QTest::newRow("one empty line") << QByteArray("\r\n") << true << L{""} << QByteArray("\r\n") << true;
        QTest::newRow("blank lines") << QByteArray("\r\n\r\n\n") << true << L{"", "", ""} << QByteArray() << true;
        QTest::newRow("control and high bytes") << QByteArray("\x01\x00\x7f\xff\x80\x09", 6) << true
                                                << L{QByteArray("\x01\x00\x7f\xff\x80\x09", 6)} << QByteArray() << false;
    }

    void lineEnds()
    {
        QFETCH(bool, lfEndsLine);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QByteArray, file);
        const QString path = writeTestFile(QStringLiteral("ends.nc"), file);
        QCOMPARE(readAll(path, lfEndsLine), lines);
        tessarc::LineEnds ends;
        QCOMPARE(LineReader::countLines(path, lfEndsLine, &ends), qint64(lines.size()));
        QTEST(ends.uniform(), "uniform");
        QTEST(ends.lastEnded, "lastEnded");
    }

    // Lines and line ends that fall across the reader's block boundaries.
    void endsAcrossBlocks()
    {
        const qsizetype block = 1 << 20;
        QByteArray file(block - 1, 'x');
        file += "\r\n";                  // CR is the last byte of the first block, LF the first of the next
        file += QByteArray(block, 'y');  // a line longer than a block
        file += "\rz";
        const QString path = writeTestFile(QStringLiteral("blocks.nc"), file);
        QCOMPARE(readAll(path, true, 3 * block),
                 (QList<QByteArray>{QByteArray(block - 1, 'x'), QByteArray(block, 'y'), "z"}));
        tessarc::LineEnds ends;
        QCOMPARE(LineReader::countLines(path, true, &ends), qint64(3));
        QCOMPARE(ends.crlf, qint64(1)); // told from a CR alone across the boundary
        QCOMPARE(ends.cr, qint64(1));
        QVERIFY(!ends.lastEnded);
    }

    // The counting pass sees the same lines as the reader whatever falls on a block boundary.
    void countingAgreesAcrossBlocks_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<bool>("lfEndsLine");
        const QByteArray endings[] = {"\r\n", "\r", "\n", "\r\r\n", "\n\r"};
        for (const QByteArray &e : endings) {
            for (bool lf : {true, false})
                QTest::addRow("%s lf=%d", e.toHex().constData(), lf) << e << lf;
        }
    }

    void countingAgreesAcrossBlocks()
    {
        QFETCH(QByteArray, tail);
        QFETCH(bool, lfEndsLine);
        const qsizetype block = 1 << 20;
        for (qsizetype shift = -2; shift <= 1; ++shift) {
            QByteArray file(block + shift, 'x');
            file += tail + "more" + tail + "end";
            const QString path = writeTestFile(QStringLiteral("count.nc"), file);
            QCOMPARE(LineReader::countLines(path, lfEndsLine), qint64(readAll(path, lfEndsLine, 2 * block).size()));
        }
    }

    void longLinesAreCutButTheirLengthReported()
    {
        const QString path = writeTestFile(QStringLiteral("long.nc"), "short\r\n" + QByteArray(40, 'L') + "\r\nend");
        LineReader reader(path, true, 10);
        QByteArrayView line;
        qint64 full = 0;
        QVERIFY(reader.next(line, full));
        QCOMPARE(full, qint64(5));
        QVERIFY(reader.next(line, full));
        QCOMPARE(full, qint64(40));
        QCOMPARE(line.toByteArray(), QByteArray(10, 'L'));
        QVERIFY(reader.next(line, full));
        QCOMPARE(line.toByteArray(), QByteArray("end"));
        QVERIFY(!reader.next(line, full));
    }
};

VORNEXA_TEST_MAIN(TestLineReader)
#include "tst_linereader.moc"
