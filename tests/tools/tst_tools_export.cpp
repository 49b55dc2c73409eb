#include "copylines.h"
#include "faults.h"
#include "pointcloud.h"
#include "testenv.h"

#include <QDir>
#include <QFile>

using tools::PointsFor;

Q_DECLARE_METATYPE(tools::PointsFor)

namespace {

// A fresh, empty folder of the run for one test.
QString freshFolder(const QString &name)
{
    const QString path = testEnvironment().path(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    // The file, byte for byte: the point is modal, starts at 0, 0, 0 and is written with the picture.
    void pointCloudFile_data()
    {
        QTest::addColumn<PointsFor>("which");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("every line") << PointsFor::EveryLine
                                    << QByteArray("0.,0.,0.\r\n1.5,2.,0.\r\n1.5,2.,-1.2346\r\n1.5,2.,-1.2346\r\n"
                                                  "-0.5,2.,-1.2346\r\n-0.5,3.,-1.2346\r\n");
        QTest::newRow("lines with X, Y or Z") << PointsFor::LinesWithXyz
                                              << QByteArray("1.5,2.,0.\r\n1.5,2.,-1.2346\r\n-0.5,2.,-1.2346\r\n"
                                                            "-0.5,3.,-1.2346\r\n");
    }
    void pointCloudFile()
    {
        QFETCH(PointsFor, which);
        const QString target = freshFolder(QStringLiteral("cloud")) + QStringLiteral("/part.pc");
        writeBytes(target, "an older export");
        tools::PointCloudExport cloud(which, tools::LineRules());
        QVERIFY(cloud.open(target));
        // A letter of a comment names no position; an expression's value is not known here.
        for (const char *line : {"%", "G00 X1.5 Y2", "(MOVE X9) Z-1.23456", "M03 S1000", "G01 x-.5 F300.", "G01 X[#1] Y3"})
            QVERIFY(cloud.addLine(line));
        QCOMPARE(cloud.guessed(), 1);
        QCOMPARE(readBytes(target), QByteArray("an older export")); // nothing shows before the commit
        QVERIFY2(cloud.commit(), qPrintable(cloud.error()));
        QTEST(readBytes(target), "expected");
        QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files), QStringList{"part.pc"});
    }

    void proposedName_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("a folder name holding a dot") << "/home/cnc/jobs.2024/part.nc" << "/home/cnc/jobs.2024/part.pc";
        QTest::newRow("no extension, under a dotted folder") << "/home/cnc/jobs.2024/part"
                                                             << "/home/cnc/jobs.2024/part.pc";
        QTest::newRow("only the last extension changes") << "/jobs/part.v2.NC" << "/jobs/part.v2.pc";
        QTest::newRow("already a point cloud's name") << "/jobs/part.pc" << "/jobs/part.pc.pc";
        QTest::newRow("in capitals too") << "/jobs/PART.PC" << "/jobs/PART.PC.pc";
        QTest::newRow("a hidden file has no extension") << "/jobs/.nc" << "/jobs/.nc.pc";
    }
    void proposedName()
    {
        QFETCH(QString, program);
        QTEST(tools::proposedPointCloudName(program), "proposed");
    }

    // The export never takes the open program's place, nor a line store's.
    void targetRefusals()
    {
        const QString folder = freshFolder(QStringLiteral("targets"));
        const QString program = folder + QStringLiteral("/part.pc");
        const QString store = folder + QStringLiteral("/store");
        writeBytes(program, "G01 X1\r\n");
        writeBytes(store, "");
        QVERIFY(QFile::link(program, folder + QStringLiteral("/link.pc")));
        const auto refused = [&](const QString &target) {
            return tools::pointCloudTargetRefused(target, program, {store}).has_value();
        };
        QVERIFY(!refused(tools::proposedPointCloudName(program)));
        QVERIFY(refused(program));
        QVERIFY(refused(folder + QStringLiteral("/../targets/part.pc")));
        QVERIFY(refused(folder + QStringLiteral("/link.pc")));
        QVERIFY(refused(store));
        QVERIFY(refused(folder + QStringLiteral("/1234.2.qen.tmp")));
        QVERIFY(refused(QString()));
        QVERIFY(!refused(folder + QStringLiteral("/other.pc")));
    }

    // A failed or cancelled export leaves no partial file and the old file as it was.
    void failuresLeaveNoPartialFile()
    {
        const QString folder = freshFolder(QStringLiteral("failures"));
        const QString target = folder + QStringLiteral("/part.pc");
        writeBytes(target, "old");

        tools::PointCloudExport cancelled(PointsFor::EveryLine, tools::LineRules());
        QVERIFY(cancelled.open(target));
        QVERIFY(cancelled.addLine("X1"));
        cancelled.cancel();
        QCOMPARE(readBytes(target), QByteArray("old"));

        tools::PointCloudExport nowhere(PointsFor::EveryLine, tools::LineRules());
        QVERIFY(!nowhere.open(folder + QStringLiteral("/missing/part.pc")));
        QVERIFY(nowhere.error().contains(QStringLiteral("/missing/part.pc")));

        // The disk refuses the writing half-way (a file size limit stands in for a full disk).
        bool written = false;
        bool committed = false;
        tools::PointCloudExport full(PointsFor::EveryLine, tools::LineRules());
        {
            FileSizeLimit limit(64 * 1024);
            QVERIFY(limit.ok());
            written = full.open(target);
            for (int i = 0; written && i < 100000; ++i)
                written = full.addLine("X123.4567 Y-98.7654 Z1.5");
            committed = written && full.commit();
        }
        QVERIFY(!written);
        QVERIFY(!committed);
        QVERIFY2(full.error().startsWith(QStringLiteral("The point cloud could not be written to ")),
                 qPrintable(full.error()));
        QCOMPARE(readBytes(target), QByteArray("old"));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"part.pc"});
    }

    // The clipboard's text: every line followed by CR LF, every byte the Latin-1 character of its
    // code, however far the buffer had to grow past what the first lines foretold.
    void copyLinesText()
    {
        tools::CopyLinesText copy(300);
        QString expected;
        for (int i = 0; i < 300; ++i) {
            const QByteArray line = i == 1 ? QByteArray() : i < 100 ? QByteArray("(\xe9) G01 X") + QByteArray::number(i)
                                                                  : QByteArray(400, 'Y');
            copy.addLine(line);
            expected += QString::fromLatin1(line) + QStringLiteral("\r\n");
        }
        QCOMPARE(copy.take(), expected);
        QCOMPARE(copy.take(), QString());
    }
};

VORNEXA_TEST_MAIN(TestExport)
#include "tst_tools_export.moc"
