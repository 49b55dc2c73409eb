#include "faults.h"
#include "history.h"
#include "linestore.h"
#include "program.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtEndian>

#include <csignal>
#include <optional>
#include <sys/resource.h>

// The program's history without any widget: each kind of step taken back and done again byte for
// byte, the order of steps, their limits, and a history that cannot be written.

using tessarc::ChangeRecord;
using tessarc::ControlError;
using tessarc::LineNumber;
using tessarc::Program;
using tessarc::ProgramRebuild;

namespace {

// A rewrite in place, as a tool run makes it: every line whose number is a multiple of `every`
// gets `mark` in front.
void markLines(Program &p, int every, const QByteArray &mark)
{
    ChangeRecord change(p, QStringLiteral("Mark"), LineNumber(1));
    tessarc::LineStore store;
    store.open(p.store, p.recordLength, false);
    store.rewriteRecords(
        LineNumber(1), p.lineCount(),
        [&](LineNumber record, QByteArrayView text, QByteArray &out) {
            if (record.value % every == 0)
                out = mark;
            out.append(text.data(), text.size());
            return true;
        },
        change.journal());
    store.close();
    change.finish();
}

// A rebuild, as Remove Lines makes it: lines first ... last go.
void removeLines(Program &p, qint64 first, qint64 last)
{
    ChangeRecord change(p, QStringLiteral("Remove Lines"), LineNumber(first));
    ProgramRebuild rebuild(p);
    rebuild.copyLines(LineNumber(1), first - 1);
    rebuild.copyLines(LineNumber(last + 1), p.lineCount() - last);
    rebuild.commit();
    change.finish();
}

// A page whose line count changed, as the control writes it back.
void writePage(Program &p, qint64 first, qint64 shown, const QList<QByteArray> &page)
{
    ChangeRecord change(p, QStringLiteral("Typing"), LineNumber(first));
    const QList<QByteArray> old = p.readLines(LineNumber(first), shown);
    p.replaceLines(LineNumber(first), shown, page);
    change.keepLines(LineNumber(first), old, page.size());
    change.finish();
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<Program> program;

    // The program as the store holds it, with its line count: its lines, and the bytes of their
    // records (a record's room past its text stays zero).
    QByteArray state() const
    {
        tessarc::LineStore s;
        s.open(program->store, program->recordLength, false);
        QByteArray text = QByteArray::number(program->lineCount()) + ":";
        for (const QByteArray &line : s.readRange(LineNumber(1), program->lineCount()))
            text += line + "|";
        return text + readBytes(program->store).left(program->lineCount() * program->recordLength).toHex();
    }

private slots:
    void init()
    {
        emptyRunFolders();
        program = std::make_unique<Program>();
        program->recordLength = 40;
        program->store = testEnvironment().path(QStringLiteral("0.qen.tmp"));
        program->scratch = testEnvironment().path(QStringLiteral("0.2.qen.tmp"));
        const QString path = testEnvironment().path(QStringLiteral("p.nc"));
        writeBytes(path, lineText(1, 3000));
        program->load(path, {});
    }

    void cleanup()
    {
        program->removeStores();
        QVERIFY(!QDir(program->history().folder()).exists());
    }

    // Each kind of step back and forth, and what the program tells its listeners of each: the
    // first line, the lines removed and the lines inserted.
    void everyKindOfStepGoesBackAndForth_data()
    {
        using Told = QList<qint64>;
        QTest::addColumn<int>("kind");
        QTest::addColumn<Told>("undone");
        QTest::addColumn<Told>("redone");
        QTest::newRow("records rewritten in place, over many blocks") << 0 << Told{1, 3000, 3000} << Told{1, 3000, 3000};
        QTest::newRow("records, one line in a hundred") << 1 << Told{100, 2901, 2901} << Told{100, 2901, 2901};
        QTest::newRow("a page whose line count changed") << 2 << Told{1500, 5, 3} << Told{1500, 3, 5};
        QTest::newRow("a rebuilt program") << 3 << Told{1, 2000, 3000} << Told{1, 3000, 2000};
    }

    void everyKindOfStepGoesBackAndForth()
    {
        QFETCH(int, kind);
        const QByteArray before = state();
        const std::function<void()> change[] = {
            [&] { markLines(*program, 1, "X"); },
            [&] { markLines(*program, 100, "EVERY HUNDREDTH "); },
            [&] { writePage(*program, 1500, 3, {"A", "B", "C", "D", "E"}); },
            [&] { removeLines(*program, 1, 1000); },
        };
        change[kind]();
        const QByteArray after = state();
        QVERIFY(after != before);
        QCOMPARE(program->history().undoName().isEmpty(), false);
        QSignalSpy told(program.get(), &Program::linesChanged);
        const auto toldOnce = [&told]() {
            const QList<QVariant> args = told.size() == 1 ? told.takeFirst() : QList<QVariant>();
            QList<qint64> out;
            for (const QVariant &arg : args)
                out.append(arg.toLongLong());
            return out;
        };
        program->history().undo();
        QCOMPARE(state(), before);
        QTEST(toldOnce(), "undone");
        QVERIFY(program->history().canRedo());
        program->history().redo();
        QCOMPARE(state(), after);
        QTEST(toldOnce(), "redone");
        program->history().undo();
        QCOMPARE(state(), before);
    }

    // A step keeps only the changed part of each record: whatever the change (bytes put in, taken
    // out or replaced at the start, the middle or the end, a line emptied or filled, a run of equal
    // bytes made longer), Undo puts back the old text byte for byte and Redo the new. A step of an
    // earlier format (old texts whole; fixed-size spans) is still taken back; one whose entry does
    // not fit its record is refused as damaged, the store as it was.
    void changedSpansGoBackExactly()
    {
        QRandomGenerator random(1234);
        const auto changed = [&](QByteArrayView text) {
            QByteArray line = text.toByteArray();
            const qsizetype at = line.isEmpty() ? 0 : qsizetype(random.bounded(int(line.size()) + 1));
            switch (random.bounded(6)) {
            case 0: line.insert(at, "ab"); break;
            case 1: line.remove(at, 2); break;
            case 2: line = QByteArray(random.bounded(30), char('a' + random.bounded(26))); break;
            case 3: line.clear(); break;
            case 4: line.insert(at, line.mid(at, 1).repeated(3)); break;
            default: if (!line.isEmpty()) line[at == line.size() ? at - 1 : at] = 'Z'; break;
            }
            return line;
        };
        const auto rewrite = [&] {
            ChangeRecord change(*program, QStringLiteral("Mixed"), LineNumber(1));
            tessarc::LineStore store;
            store.open(program->store, program->recordLength, false);
            store.rewriteRecords(
                LineNumber(1), program->lineCount(),
                [&](LineNumber, QByteArrayView text, QByteArray &out) { return out = changed(text), true; },
                change.journal());
            store.close();
            change.finish();
        };
        const QByteArray first = state();
        rewrite();
        const QByteArray second = state();
        rewrite(); // over lines the first made empty, longer, shorter
        const QByteArray third = state();
        program->history().undo();
        QCOMPARE(state(), second);
        program->history().undo();
        QCOMPARE(state(), first);
        program->history().redo();
        QCOMPARE(state(), second);
        program->history().redo();
        QCOMPARE(state(), third);

        // The earlier formats: each entry the record (8 bytes), in the second the shared start and
        // end (2 each, here none), then the old text's length (2) and the text; the first has no mark.
        const QList<QByteArray> now = program->readLines(LineNumber(1), 2);
        for (const bool spans : {false, true}) {
            const QString records = program->history().folder() + QStringLiteral("/%1/records").arg(spans ? 8 : 6);
            QVERIFY2(QFileInfo::exists(records), qPrintable(records));
            const auto entry = [spans](qint64 record, const QByteArray &text) {
                QByteArray out(spans ? 14 : 10, '\0');
                qToLittleEndian<quint64>(quint64(record), out.data());
                qToLittleEndian<quint16>(quint16(text.size()), out.data() + out.size() - 2);
                return out + text;
            };
            writeBytes(records, (spans ? QByteArray("QHSPAN02") : QByteArray()) + entry(1, "OLD ONE") + entry(2, ""));
            program->history().undo();
            QCOMPARE(program->readLines(LineNumber(1), 3), (QList<QByteArray>{"OLD ONE", "", program->readLines(LineNumber(3), 1).first()}));
            program->history().redo();
            QCOMPARE(program->readLines(LineNumber(1), 2), now);
        }

        // An entry that keeps more of the line than the line holds, or more than a record holds:
        // record 1 (one on from 0, written as 2), 38 or 500 bytes shared at its start, none at its
        // end, no old text; or nothing shared and an old text of 39 bytes. Line 1 is shorter than
        // 38 bytes, the room of a record.
        const QString redone = program->history().folder() + QStringLiteral("/10/records");
        QVERIFY2(QFileInfo::exists(redone), qPrintable(redone));
        const QByteArray damaged = readBytes(redone).left(8);
        QCOMPARE(damaged, QByteArray("QHSPAN03"));
        const QByteArray held = state();
        QVERIFY(program->readLines(LineNumber(1), 1).first().size() < 38);
        for (const QByteArray &entry : {QByteArray::fromHex("02260000"), QByteArray::fromHex("02f4030000"),
                                        QByteArray::fromHex("02000027") + QByteArray(39, 'A')}) {
            writeBytes(redone, damaged + entry);
            QVERIFY(tessarc::failureOf([&] { program->history().undo(); }).value_or(QString()).contains(QLatin1String("is damaged")));
            QCOMPARE(state(), held);
        }

        // One byte changed in each line, at every place of it in turn: each entry holds only that
        // byte, five bytes in all (distance, shared start, shared end, length, the byte).
        const qint64 before = program->history().bytesHeld();
        qint64 changedLines = 0;
        {
            ChangeRecord change(*program, QStringLiteral("One byte"), LineNumber(1));
            tessarc::LineStore store;
            store.open(program->store, program->recordLength, false);
            store.rewriteRecords(
                LineNumber(1), program->lineCount(),
                [&](LineNumber record, QByteArrayView text, QByteArray &out) {
                    out = text.toByteArray();
                    if (!out.isEmpty()) {
                        out[record.value % out.size()] ^= 1;
                        ++changedLines;
                    }
                    return true;
                },
                change.journal());
            store.close();
            change.finish();
        }
        QCOMPARE(program->history().bytesHeld() - before, 8 + 5 * changedLines);
        program->history().undo();
        QCOMPARE(state(), held);
    }

    // An Undo that fails part-way, at a damaged entry of its step or a damaged record of the
    // store, changes no line: what it had put back in the blocks before is taken back again, and
    // the step stays to be tried again.
    void anUndoThatFailsPartWayChangesNothing_data()
    {
        QTest::addColumn<bool>("entry");
        QTest::newRow("a damaged entry") << true;
        QTest::newRow("a damaged record") << false;
    }

    void anUndoThatFailsPartWayChangesNothing()
    {
        QFETCH(bool, entry);
        const QString path = testEnvironment().path(QStringLiteral("big.nc"));
        writeBytes(path, lineText(1, 30000));
        program->recordLength = 400; // three blocks of records
        program->load(path, {});
        markLines(*program, 1, "Q");
        const QDir steps(program->history().folder());
        const QStringList dirs = steps.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(dirs.size(), 1);
        if (entry) {
            QFile records(steps.filePath(dirs.first() + QStringLiteral("/records")));
            QVERIFY(records.open(QIODevice::ReadWrite));
            QVERIFY(records.seek(records.size() * 3 / 4));
            QVERIFY(records.write(QByteArray(16, '\xff')) == 16);
        } else {
            QFile store(program->store);
            QVERIFY(store.open(QIODevice::ReadWrite));
            QVERIFY(store.seek(qint64(program->recordLength) * 25000));
            QVERIFY(store.write(QByteArray(2, '\xff')) == 2);
        }
        const QByteArray held = readBytes(program->store);
        const std::optional<QString> failure = tessarc::failureOf([&] { program->history().undo(); });
        QVERIFY(failure);
        QVERIFY2(failure->contains(QLatin1String(entry ? "is damaged" : "record length")), qPrintable(*failure));
        QVERIFY(readBytes(program->store) == held);
        QVERIFY(program->history().canUndo() && !program->history().canRedo());
    }

    void stepsGoBackInOrderAndANewChangeDropsTheRedo()
    {
        const QByteArray s0 = state();
        markLines(*program, 7, "a");
        const QByteArray s1 = state();
        writePage(*program, 10, 2, {"only one"});
        const QByteArray s2 = state();
        removeLines(*program, 5, 20);
        const QByteArray s3 = state();
        program->history().undo();
        QCOMPARE(state(), s2);
        program->history().undo();
        QCOMPARE(state(), s1);
        program->history().redo();
        QCOMPARE(state(), s2);
        program->history().undo();
        program->history().undo();
        QCOMPARE(state(), s0);
        QVERIFY(!program->history().canUndo());
        markLines(*program, 3, "b"); // a new change: what was undone cannot come back
        QVERIFY(!program->history().canRedo());
        QVERIFY(state() != s3);
    }

    void theOldestStepsGoOverTheLimits()
    {
        program->history().setLimits(2, qint64(1) << 40);
        for (const char *mark : {"1", "2", "3"})
            markLines(*program, 10, mark);
        program->history().undo();
        program->history().undo();
        QVERIFY(!program->history().canUndo());
        QVERIFY(state().contains("|1L10|"));
        program->history().setLimits(100, 1); // one byte holds no step
        markLines(*program, 10, "4");
        QVERIFY(!program->history().canUndo());
        program->history().setLimits(0, qint64(1) << 40); // none kept: nothing recorded
        markLines(*program, 10, "5");
        QVERIFY(!program->history().canUndo());
        QCOMPARE(QDir(program->history().folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    // Written while the next block is worked on or not, a rewrite leaves the same bytes in the store
    // and in its history, and Undo brings the program back: random lines, random rewrites (longer,
    // shorter, emptied, left alone, stopped), blocks of every size.
    void writingBehindLeavesTheSameBytes()
    {
        const auto restoreWritesBehind = qScopeGuard([was = tessarc::LineStore::writesBehind()] { tessarc::LineStore::setWritesBehind(was); });
        QRandomGenerator random(20261211);
        const auto text = [](QRandomGenerator &from, int most) {
            QByteArray bytes(from.bounded(most + 1), Qt::Uninitialized);
            for (char &c : bytes)
                c = static_cast<char>(' ' + from.bounded(95));
            return bytes;
        };
        for (int round = 0; round < 12; ++round) {
            program->history().setLimits(0, qint64(1) << 40);
            tessarc::LineStore lines;
            lines.open(program->store, program->recordLength, false);
            lines.rewriteRecords(LineNumber(1), program->lineCount(), [&](LineNumber, QByteArrayView, QByteArray &out) {
                out = random.bounded(8) ? text(random, 38) : QByteArray();
                return true;
            });
            lines.close();
            program->history().setLimits(100, qint64(1) << 40);
            const QByteArray original = readBytes(program->store);
            const quint32 seed = random.generate();
            const qint64 stopAt = random.bounded(3) ? 0 : 1 + random.bounded(int(program->lineCount()));
            const qint64 blockBytes = 40 * (1 + random.bounded(400));
            QByteArrayList ran;
            for (const bool behind : {false, true}) {
                tessarc::LineStore::setWritesBehind(behind);
                QRandomGenerator work(seed);
                {
                    ChangeRecord change(*program, QStringLiteral("Random"), LineNumber(1));
                    tessarc::LineStore store;
                    store.open(program->store, program->recordLength, false);
                    store.rewriteRecords(
                        LineNumber(1), program->lineCount(),
                        [&](LineNumber record, QByteArrayView old, QByteArray &out) {
                            out = old.toByteArray();
                            switch (work.bounded(6)) {
                            case 0: break;
                            case 1: out = text(work, 38); break;
                            case 2: out.truncate(work.bounded(int(out.size()) + 1)); break;
                            case 3: out = (text(work, 4) + out).left(38); break;
                            case 4: if (!out.isEmpty()) out[work.bounded(int(out.size()))] = 'Z'; break;
                            default: out.clear(); break;
                            }
                            return record.value != stopAt;
                        },
                        change.journal(), blockBytes);
                    store.close();
                    change.finish();
                }
                const QStringList steps = QDir(program->history().folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
                QCOMPARE(steps.size(), 1);
                ran << readBytes(program->store) + readBytes(program->history().folder() + QLatin1Char('/') + steps[0] + QStringLiteral("/records"));
                program->history().undo();
                QCOMPARE(readBytes(program->store), original);
                program->history().clear();
            }
            QCOMPARE(ran[1], ran[0]);
        }
    }

    // A rewrite that fails in a block keeps for Undo what one that stopped at the block's end keeps
    // when the block's write fails (the file may grow no further than its middle), and what one that
    // stopped at its start keeps when the journal's write or the work on one of its records fails;
    // Undo brings back every line it changed. Written behind the work or not, a run leaves the same
    // store, the same history and the same failure.
    void aRewriteThatFailsKeepsWhatAStopKeeps_data()
    {
        QTest::addColumn<qint64>("throwAt");    // the work on this record throws
        QTest::addColumn<qint64>("damagedAt");  // this record claims more than its room
        QTest::addColumn<qint64>("fileLimit");  // no file may grow past this
        QTest::addColumn<bool>("wholeLines");   // every line a whole new text of 38 bytes: the journal outgrows the store
        QTest::addColumn<qint64>("stopsLikeAt"); // what a run that stopped at this record keeps (0: not checked)
        QTest::addColumn<QString>("failure");
        QTest::newRow("the store's write fails") << qint64(0) << qint64(0) << qint64(1717 * 40 + 13) << false << qint64(1801)
                                                 << QStringLiteral("too large");
        QTest::newRow("the journal's write fails") << qint64(0) << qint64(0) << qint64(1717 * 40 + 13) << true << qint64(1601)
                                                   << QStringLiteral("too large");
        QTest::newRow("the work on a record fails") << qint64(1750) << qint64(0) << qint64(0) << false << qint64(1701)
                                                    << QStringLiteral("no work");
        QTest::newRow("a damaged record") << qint64(0) << qint64(1750) << qint64(0) << false << qint64(0)
                                          << QStringLiteral("Bad record length: record 1750");
    }

    void aRewriteThatFailsKeepsWhatAStopKeeps()
    {
        QFETCH(qint64, throwAt);
        QFETCH(qint64, damagedAt);
        QFETCH(qint64, fileLimit);
        QFETCH(bool, wholeLines);
        QFETCH(qint64, stopsLikeAt);
        QFETCH(QString, failure);
        std::signal(SIGXFSZ, SIG_IGN);
        const auto restoreWritesBehind = qScopeGuard([was = tessarc::LineStore::writesBehind()] { tessarc::LineStore::setWritesBehind(was); });
        const auto whole = [](LineNumber record, QByteArrayView text) {
            return (text.toByteArray() + QByteArray::number(record.value * 7919)).leftJustified(38, '#', true);
        };
        if (wholeLines) {
            program->history().setLimits(0, qint64(1) << 40);
            tessarc::LineStore store;
            store.open(program->store, program->recordLength, false);
            store.rewriteRecords(LineNumber(1), program->lineCount(), [&](LineNumber record, QByteArrayView text, QByteArray &out) {
                out = whole(record, text);
                return true;
            });
            program->history().setLimits(100, qint64(1) << 40);
        }
        if (damagedAt) {
            QFile f(program->store);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek((damagedAt - 1) * program->recordLength) && f.write("\xff\x7f", 2) == 2);
        }
        const QByteArray original = readBytes(program->store);
        struct Ran
        {
            QString failure;
            QByteArray after;
            qint64 kept = 0;
        };
        // Blocks of 100 records: 1701 to 1800 is one.
        const auto run = [&](qint64 stopAt, bool behind) {
            tessarc::LineStore::setWritesBehind(behind);
            Ran ran;
            ChangeRecord change(*program, QStringLiteral("Mark"), LineNumber(1));
            tessarc::LineStore store;
            store.open(program->store, program->recordLength, false);
            std::optional<FileSizeLimit> limit;
            if (fileLimit && !stopAt)
                limit.emplace(fileLimit);
            ran.failure = tessarc::failureOf([&] {
                              store.rewriteRecords(
                                  LineNumber(1), program->lineCount(),
                                  [&](LineNumber record, QByteArrayView text, QByteArray &out) {
                                      if (record.value == throwAt && !stopAt)
                                          throw ControlError(ControlError::BadRecordLength, QStringLiteral("no work"));
                                      out = text.toByteArray();
                                      if (wholeLines) // no byte is the same: each entry holds all 38
                                          for (char &c : out)
                                              c ^= 1;
                                      else
                                          out.prepend('Q');
                                      return record.value != stopAt;
                                  },
                                  change.journal(), 100 * 40);
                          }).value_or(QString());
            limit.reset();
            store.close();
            change.finish();
            ran.after = readBytes(program->store);
            ran.kept = program->history().bytesHeld();
            program->history().undo();
            [&] { QCOMPARE(readBytes(program->store), original); }();
            return ran;
        };
        const Ran plain = run(0, false);
        const Ran behind = run(0, true);
        QVERIFY2(plain.failure.contains(failure), qPrintable(plain.failure));
        const auto anyStep = [](QString text) { return text.replace(QRegularExpression(QStringLiteral("history/\\d+/")), QStringLiteral("history/N/")); };
        QCOMPARE(anyStep(behind.failure), anyStep(plain.failure));
        QVERIFY(plain.after != original);
        QCOMPARE(behind.after, plain.after);
        QCOMPARE(behind.kept, plain.kept);
        if (stopsLikeAt) {
            const Ran stopped = run(stopsLikeAt, false);
            QCOMPARE(plain.kept, stopped.kept);
            if (failure != QLatin1String("too large") || wholeLines)
                QCOMPARE(plain.after, stopped.after);
        }
    }

    void aHistoryThatCannotBeWrittenRefusesTheChange()
    {
        FullDisk disk(256 * 1024);
        // The history lives beside the store, so the store moves to the small disk.
        const QString moved = disk.path(QStringLiteral("0.qen.tmp"));
        QVERIFY(QFile::copy(program->store, moved));
        program->store = moved;
        const QByteArray before = readBytes(moved);
        disk.fill();
        QVERIFY_THROWS_EXCEPTION(ControlError, markLines(*program, 1, "X"));
        QCOMPARE(readBytes(moved), before);
        QVERIFY(!program->history().canUndo());
    }

    // Links planted in the places of the program's own files are never followed: a change is
    // refused with a message rather than written through a history folder that is a link, and the
    // journal is written as a file of its own, never through a link in its place.
    void linksPlantedInItsPlaceAreNeverFollowed()
    {
        const QString kept = testEnvironment().path(QStringLiteral("kept"));
        QDir(kept).removeRecursively();
        QVERIFY(QDir().mkpath(kept + QStringLiteral("/1")));
        writeBytes(kept + QStringLiteral("/1/part.nc"), "M30\r\n");
        QDir(program->history().folder()).removeRecursively();
        QVERIFY(QFile::link(kept, program->history().folder()));
        const QByteArray before = state();
        try {
            markLines(*program, 1, "X");
            QFAIL("a change went through a history folder that is a link");
        } catch (const ControlError &error) {
            QVERIFY2(error.description().contains(QStringLiteral("is a link or a file")), qPrintable(error.description()));
        }
        QCOMPARE(state(), before);
        QCOMPARE(readBytes(kept + QStringLiteral("/1/part.nc")), QByteArray("M30\r\n"));
        QFile::remove(program->history().folder());

        const QString precious = testEnvironment().path(QStringLiteral("precious.nc"));
        writeBytes(precious, "PRECIOUS");
        const QString journal = tessarc::ProgramJournal::pathFor(program->store);
        QVERIFY(QFile::link(precious, journal + QStringLiteral(".new")));
        program->journal().write(journal);
        QCOMPARE(readBytes(precious), QByteArray("PRECIOUS"));
        QVERIFY(!QFileInfo(journal).isSymLink());
        QVERIFY(tessarc::ProgramJournal::read(journal));
    }
};

VORNEXA_TEST_MAIN(TestHistory)
#include "tst_history.moc"
