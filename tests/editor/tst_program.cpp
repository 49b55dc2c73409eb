#include "faults.h"
#include "history.h"
#include "linestore.h"
#include "program.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

// The open program without any widget: loading, saving, writing back a page, rebuilding aside,
// and every way they fail leaving the program as it was.

using tessarc::ControlError;
using tessarc::LineNumber;
using tessarc::Program;
using tessarc::ProgramRebuild;

namespace {

QList<QByteArray> allLines(const Program &p)
{
    return p.readLines(LineNumber(1), p.lineCount());
}

QList<QByteArray> split(const QByteArray &text)
{
    QList<QByteArray> out = text.split('\n');
    out.removeLast();
    for (QByteArray &line : out)
        line.chop(1);
    return out;
}

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

    std::unique_ptr<Program> program;

private slots:
    void init()
    {
        emptyRunFolders();
        program = std::make_unique<Program>();
        program->recordLength = 20;
        program->store = testEnvironment().path(QStringLiteral("store.tmp"));
        program->scratch = testEnvironment().path(QStringLiteral("scratch.tmp"));
    }

    void cleanup()
    {
        program->removeStores();
    }

    void loadsReportsProgressAndSavesBack()
    {
        const QString path = writeTestFile(QStringLiteral("p.nc"), lineText(1, 3000));
        QList<qint64> reports;
        QSignalSpy told(program.get(), &tessarc::Program::linesChanged);
        program->load(path, [&](qint64 done, qint64 total) {
            QCOMPARE(total, 3000);
            reports.append(done);
        });
        QCOMPARE(told.size(), 1); // every line is new
        QCOMPARE(told.first(), (QList<QVariant>{qint64(1), qint64(0), qint64(3000)}));
        QCOMPARE(program->path, path);
        QCOMPARE(program->lineCount(), 3000);
        QCOMPARE(reports, (QList<qint64>{1024, 2048, 3000}));
        QCOMPARE(program->readLines(LineNumber(2999), 10), (QList<QByteArray>{"L2999", "L3000"}));
        const QString saved = testEnvironment().path(QStringLiteral("saved.nc"));
        program->save(saved, {});
        QCOMPARE(readBytes(saved), lineText(1, 3000));
    }

    void pageWriteBackMovesTheRestOnce_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("replaced");
        QTest::addColumn<QList<QByteArray>>("page");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("same count") << 2 << 2 << QList<QByteArray>{"A", "B"}
                                    << QList<QByteArray>{"L1", "A", "B", "L4", "L5", "L6"};
        QTest::newRow("a line added") << 2 << 2 << QList<QByteArray>{"A", "B", "C"}
                                      << QList<QByteArray>{"L1", "A", "B", "C", "L4", "L5", "L6"};
        QTest::newRow("lines removed") << 1 << 3 << QList<QByteArray>{"A"} << QList<QByteArray>{"A", "L4", "L5", "L6"};
        QTest::newRow("at the end") << 5 << 2 << QList<QByteArray>{"E", "F", "G"}
                                    << QList<QByteArray>{"L1", "L2", "L3", "L4", "E", "F", "G"};
        QTest::newRow("all but one") << 1 << 6 << QList<QByteArray>{"ONLY"} << QList<QByteArray>{"ONLY"};
    }

    void pageWriteBackMovesTheRestOnce()
    {
        QFETCH(int, first);
        QFETCH(int, replaced);
        QFETCH(QList<QByteArray>, page);
        QFETCH(QList<QByteArray>, expected);
        program->load(writeTestFile(QStringLiteral("p.nc"), lineText(1, 6)), {});
        QSignalSpy counts(program.get(), &Program::lineCountChanged);
        QSignalSpy told(program.get(), &Program::linesChanged);
        program->replaceLines(LineNumber(first), replaced, page);
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first(), (QList<QVariant>{qint64(first), qint64(replaced), qint64(page.size())}));
        QCOMPARE(allLines(*program), expected);
        QCOMPARE(program->lineCount(), expected.size());
        QCOMPARE(counts.size(), expected.size() == 6 ? 0 : 1);
        // The store holds exactly the program's records, nothing stale past its end.
        QCOMPARE(QFile(program->store).size(), expected.size() * 20);
    }

    void aSaveThatFailsLeavesTheTargetAsItWas_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("number");
        QTest::newRow("store deleted") << "deleted" << int(ControlError::FileNotFound);
        QTest::newRow("store truncated") << "truncated" << int(ControlError::BadRecordLength);
        QTest::newRow("record count damaged") << "damaged" << int(ControlError::BadRecordLength);
        QTest::newRow("disk full, a program smaller than a write buffer") << "full" << int(ControlError::DiskFull);
    }

    void aSaveThatFailsLeavesTheTargetAsItWas()
    {
        QFETCH(QString, damage);
        program->load(writeTestFile(QStringLiteral("p.nc"), lineText(1, 50)), {});
        FullDisk disk(64 * 1024);
        const QString target = damage == QLatin1String("full") ? disk.path(QStringLiteral("precious.nc"))
                                                               : testEnvironment().path(QStringLiteral("precious.nc"));
        writeBytes(target, "PRECIOUS\r\n");
        if (damage == QLatin1String("full")) {
            disk.fill();
        } else if (damage == QLatin1String("deleted")) {
            QFile::remove(program->store);
        } else if (damage == QLatin1String("truncated")) {
            QFile::resize(program->store, 20 * 25);
        } else {
            QFile store(program->store);
            QVERIFY(store.open(QIODevice::ReadWrite));
            store.seek(20 * 30);
            store.write("\xff\x7f", 2);
        }
        QFETCH(int, number);
        const int raisedNumber = raised([&] { program->save(target, {}); }).number();
        QCOMPARE(raisedNumber, number);
        QCOMPARE(readBytes(target), QByteArray("PRECIOUS\r\n"));
        QCOMPARE(QFileInfo(target).dir().entryList({QStringLiteral("*precious.nc?*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // The program's own working files, under their names or through a link, are never a place to
    // save it: the program and those files stay as they were.
    void neverSavedOverItsOwnFiles()
    {
        program->load(writeTestFile(QStringLiteral("p.nc"), lineText(1, 50)), {});
        const QByteArray store = readBytes(program->store);
        const QString link = testEnvironment().path(QStringLiteral("link.nc"));
        QFile::remove(link);
        QVERIFY(QFile::link(program->store, link));
        for (const QString &target : {program->store, program->scratch, tessarc::ProgramJournal::pathFor(program->store),
                                      tessarc::History::folderFor(program->store) + QStringLiteral("/1.rec"), link}) {
            const ControlError error = raised([&] { program->save(target, {}); });
            QCOMPARE(error.number(), int(ControlError::PathFileAccessError));
            QVERIFY2(error.description().contains(QStringLiteral("never saved there")), qPrintable(target));
            QCOMPARE(readBytes(program->store), store);
        }
        QFile::remove(link);
    }

    void aRebuildChangesTheProgramOnlyWhenCommitted()
    {
        program->load(writeTestFile(QStringLiteral("p.nc"), lineText(1, 10)), {});
        const QByteArray before = readBytes(program->store);
        {
            ProgramRebuild rebuild(*program);
            rebuild.copyLines(LineNumber(1), 3);
            rebuild.appendLine("NEW");
            QVERIFY_THROWS_EXCEPTION(ControlError, rebuild.appendLine(QByteArray(19, 'Z')));
        } // dropped: nothing changes, the scratch store goes
        QCOMPARE(readBytes(program->store), before);
        QVERIFY(!QFile::exists(program->scratch));

        ProgramRebuild rebuild(*program);
        rebuild.copyLines(LineNumber(1), 3);
        rebuild.appendLine("NEW");
        rebuild.copyLines(LineNumber(4), 7);
        rebuild.commit();
        QCOMPARE(program->lineCount(), 11);
        QCOMPARE(allLines(*program), split(lineText(1, 3) + "NEW\r\n" + lineText(4, 10)));
        QCOMPARE(readBytes(program->scratch), before); // the program as it was, for the next rebuild to write over

        // A rebuild written over that longer scratch store, with lines past the end of the store's
        // file: nothing of the old text is left in the new program.
        QFile::resize(program->store, 20 * 9);
        ProgramRebuild shorter(*program);
        shorter.copyLines(LineNumber(8), 4);
        shorter.commit();
        QCOMPARE(allLines(*program), split(lineText(7, 8) + "\r\n\r\n"));
        QCOMPARE(QFileInfo(program->store).size(), qint64(20 * 4));
    }
};

VORNEXA_TEST_MAIN(TestProgram)
#include "tst_program.moc"
