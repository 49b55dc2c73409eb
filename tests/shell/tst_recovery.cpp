#include "frmop.h"
#include "pageview.h"
#include "linestore.h"
#include "mainwindowtest.h"
#include "instancelock.h"
#include "program.h"
#include "recovery.h"
#include "storeclaim.h"
#include "tessarc.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

namespace {

using tessarc::LineNumber;

QByteArray numberedProgram(int lines)
{
    QByteArray text;
    for (int k = 1; k <= lines; ++k)
        text += "N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number(k) + ".5 Y2\r\n";
    return text;
}

// The program as the store holds it, written out the way a save writes it.
QByteArray storedText(tessarc::Program &program)
{
    QByteArray text;
    for (const QByteArray &line : program.readLines(LineNumber(1), program.lineCount()))
        text += line + "\r\n";
    return text;
}

// An instance of the application on `program`, in this test's folders: one Operations run, then
// typing on the page left on screen until it is written back. What the machinist sees is written
// to `screen`; then it waits to be killed.
int runInstance(const QString &program, const QString &screen)
{
    ScriptedPrompts prompts;
    mainform w(prompts);
    w.Form_Load({program});
    w.show();
    {
        frmOp op(w);
        op.Form_Load();
        op.txtAxis->setText(QStringLiteral("X"));
        op.txtValue->setText(QStringLiteral("1"));
        op.Option1->click();
        op.Go->click();
    }
    TESSARC &editor = *w.TESSARC1;
    editor.setTypingPause(200);
    editor.txtmain->setFocus();
    editor.txtmain->moveCursor(QTextCursor::Start);
    QTest::keyClicks(editor.txtmain, QStringLiteral("G04 P2"));
    QTest::keyClick(editor.txtmain, Qt::Key_Return);
    if (!QTest::qWaitFor([&] { return editor.pageIsStored(); }, 10000) || !prompts.unexpected.isEmpty()) {
        std::fprintf(stderr, "the page was not written back: %s\n", qPrintable(prompts.log.join(QLatin1Char('\n'))));
        return 3;
    }
    editor.program().finishJournal();
    writeBytes(screen, storedText(editor.program()));
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}

// Another instance that opens `program`, types `mark` as a new first line and saves it: 0 when
// the save said it succeeded.
int saveInstance(const QString &program, const QString &mark)
{
    ScriptedPrompts prompts;
    mainform w(prompts);
    w.Form_Load({program});
    w.show();
    TESSARC &editor = *w.TESSARC1;
    if (editor.lfile != program)
        return 3;
    editor.txtmain->setFocus();
    editor.txtmain->moveCursor(QTextCursor::Start);
    QTest::keyClicks(editor.txtmain, mark);
    QTest::keyClick(editor.txtmain, Qt::Key_Return);
    return editor.saveFile(editor.lfile) ? 0 : 4;
}

} // namespace

// After the program or the machine stopped, the next start offers the changes back from the line
// store its journal describes.
class TestRecovery : public MainWindowTest
{
    Q_OBJECT

    const QString m_program = testEnvironment().path(QStringLiteral("part.nc"));

    // A store `name` left by an instance that is gone: the program loaded and never saved, its
    // first line changed unless `changed` is false. Gives the store's path.
    QString leaveStore(const QString &name = QStringLiteral("7"), bool changed = true)
    {
        writeBytes(m_program, numberedProgram(100));
        tessarc::Program p;
        p.store = programPath(name + QStringLiteral(".qen.tmp"));
        p.scratch = programPath(name + QStringLiteral(".2.qen.tmp"));
        p.recordLength = 500;
        p.instance = 2147483000; // no instance runs with this number
        p.load(m_program, {});
        if (changed) {
            p.replaceLines(LineNumber(1), 1, {QByteArray("N5 G90 (CHANGED)")});
            p.markChanged();
        } else {
            p.finishJournal();
        }
        return p.store;
    }

    QStringList leftFiles() const
    {
        return QDir(programPath()).entryList({QStringLiteral("7.*")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }

private slots:
    // Two instances started together on one program folder, each opening its own program: each
    // works on a store of its own, and each saved program is its own, byte for byte.
    void twoInstancesAtOnceKeepTheirOwnPrograms()
    {
        QList<QByteArray> originals;
        QStringList paths;
        for (int k = 0; k < 2; ++k) {
            QByteArray text;
            for (int n = 1; n <= 60000; ++n)
                text += (k == 0 ? "N" : "M") + QByteArray::number(n) + " G01 X" + QByteArray::number(n * (k + 2)) + "\r\n";
            paths.append(testEnvironment().path(QStringLiteral("part%1.nc").arg(k)));
            writeBytes(paths.last(), text);
            originals.append(text);
        }
        QProcess first;
        QProcess second;
        first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-instance"), paths[0], QStringLiteral("(FIRST)")});
        second.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-instance"), paths[1], QStringLiteral("(SECOND)")});
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(readBytes(paths[0]), "(FIRST)\r\n" + originals[0]);
        QCOMPARE(readBytes(paths[1]), "(SECOND)\r\n" + originals[1]);
    }

    void killedInstanceIsRecoveredByteForByte()
    {
        const QByteArray original = numberedProgram(300);
        writeBytes(m_program, original);
        const QString screen = testEnvironment().path(QStringLiteral("screen.nc"));
        QProcess instance;
        instance.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--instance"), m_program, screen});
        QVERIFY(instance.waitForStarted());
        QByteArray said;
        (void)QTest::qWaitFor([&] {
            said += instance.readAllStandardOutput();
            return said.contains("ready") || instance.state() == QProcess::NotRunning;
        }, 60000);
        QVERIFY2(said.contains("ready"), instance.readAllStandardError().constData());

        // While it runs, its store is its own: nothing is offered or cleared.
        start();
        QVERIFY(w->TESSARC1->lfile.isEmpty());
        w.reset();

        instance.kill(); // SIGKILL: nothing is tidied up
        QVERIFY(instance.waitForFinished());
        prompts.answer(Prompts::Answer::Yes);
        start();
        QVERIFY2(prompts.log.value(0).contains(QStringLiteral("Recover the unsaved changes to ") + m_program + " from "),
                 qPrintable(prompts.log.join(QLatin1Char('\n'))));
        QCOMPARE(w->TESSARC1->lfile, m_program);
        QVERIFY(w->TESSARC1->program().isChanged());
        QCOMPARE(readBytes(m_program), original); // nothing is written until the machinist saves
        QVERIFY(w->TESSARC1->saveFile(m_program));
        QCOMPARE(readBytes(m_program), readBytes(screen));
        QVERIFY(readBytes(m_program).startsWith("G04 P2\r\nN10 G01 X2.5"));
    }

    void answersNoAndCancel()
    {
        const QString store = leaveStore();
        // Cancel leaves it for the next start, which asks again; No deletes it with everything beside it.
        prompts.answer(Prompts::Answer::Cancel);
        start();
        QVERIFY(w->TESSARC1->lfile.isEmpty());
        QVERIFY(QFileInfo::exists(store));
        w.reset();
        prompts.answer(Prompts::Answer::No);
        start();
        QCOMPARE(prompts.log.size(), 2);
        QCOMPARE(leftFiles(), QStringList());
        QVERIFY(w->TESSARC1->lfile.isEmpty());
        w.reset();
        start(); // nothing is left to ask about
        QCOMPARE(prompts.log.size(), 2);
    }

    void disagreeingStoreOrJournal_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("linesLeft");  // after Yes; -1: not offered at all
        QTest::addColumn<QString>("message");
        QTest::newRow("store cut short") << "truncate" << 50
                                         << "Lines 51 to 100 could not be read from the line store and are left out.";
        QTest::newRow("damaged record") << "record" << 39
                                        << "Lines 40 to 100 could not be read from the line store and are left out.";
        QTest::newRow("damaged journal") << "journal" << -1 << "but they cannot be recovered";
        QTest::newRow("journal with a huge record length")
            << "reclen" << -1 << "its record length of 2147483647 bytes is outside what a record holds (3 to 65537 bytes)";
        QTest::newRow("journal with another record length")
            << "reclen300" << -1 << "no whole number of records of the 300 bytes its journal gives";
    }

    void disagreeingStoreOrJournal()
    {
        QFETCH(QString, damage);
        QFETCH(int, linesLeft);
        QFETCH(QString, message);
        const QString store = leaveStore();
        const bool inJournal = damage.startsWith(QLatin1String("journal")) || damage.startsWith(QLatin1String("reclen"));
        QFile file(inJournal ? tessarc::ProgramJournal::pathFor(store) : store);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage.startsWith(QLatin1String("reclen"))) {
            const QByteArray length = damage == QLatin1String("reclen") ? "2147483647" : "300";
            const QByteArray journal = file.readAll().replace("reclen=500\n", "reclen=" + length + "\n");
            QVERIFY(journal.contains("reclen=" + length));
            file.resize(0);
            file.write(journal);
        } else if (damage == QLatin1String("truncate"))
            file.resize(50 * 500);
        else if (damage == QLatin1String("record"))
            file.seek(39 * 500), file.write("\xff\x7f", 2);
        else
            file.resize(file.size() / 2);
        file.close();

        if (linesLeft >= 0)
            prompts.answer(Prompts::Answer::Yes);
        start();
        QVERIFY2(prompts.log.join(QLatin1Char('\n')).contains(message), qPrintable(prompts.log.join(QLatin1Char('\n'))));
        if (linesLeft < 0) {
            // Never offered, never opened, and never deleted unread.
            QVERIFY(w->TESSARC1->lfile.isEmpty());
            QVERIFY(QFileInfo::exists(store + QStringLiteral(".damaged")));
            return;
        }
        QCOMPARE(w->TESSARC1->numberOfLines(), linesLeft);
        QCOMPARE(w->TESSARC1->program().readLines(LineNumber(1), 1).value(0), QByteArray("N5 G90 (CHANGED)"));
    }

    // A store is claimed as its number is chosen, and held until it is let go: another instance
    // choosing meanwhile (another process, here flock(1)) takes another number, even while the
    // store file is deleted and written anew by a load, and a claimed store is never offered,
    // asked about twice or cleared.
    void claimedStores()
    {
        const QString folder = programPath();
        tessarc::StoreClaim first = tessarc::StoreClaim::claimFree(folder);
        QVERIFY(first.held());
        QCOMPARE(QFileInfo(first.store()).fileName(), QStringLiteral("0.qen.tmp"));
        QCOMPARE(QFileInfo(first.scratch()).fileName(), QStringLiteral("0.2.qen.tmp"));
        QVERIFY(!QFileInfo::exists(first.store())); // a load writes the store; the claim does not wait for it
        const tessarc::StoreClaim second = tessarc::StoreClaim::claimFree(folder);
        QCOMPARE(QFileInfo(second.store()).fileName(), QStringLiteral("1.qen.tmp"));
        QVERIFY(!tessarc::StoreClaim::claim(first.store()).held());
        const auto otherProcessGets = [](const QString &store) {
            return QProcess::execute(QStringLiteral("flock"),
                                     {QStringLiteral("-n"), tessarc::StoreClaim::lockPathFor(store), QStringLiteral("true")}) == 0;
        };
        QVERIFY(!otherProcessGets(first.store()));
        first.release();
        QVERIFY(!QFileInfo::exists(tessarc::StoreClaim::lockPathFor(programPath(QStringLiteral("0.qen.tmp")))));
        QVERIFY(otherProcessGets(programPath(QStringLiteral("0.qen.tmp"))));
        QCOMPARE(QFileInfo(tessarc::StoreClaim::claimFree(folder).store()).fileName(), QStringLiteral("0.qen.tmp"));

        // Two windows of one folder each save their own program.
        const QString other = testEnvironment().path(QStringLiteral("other.nc"));
        writeBytes(m_program, numberedProgram(20));
        writeBytes(other, "G00 X9 Y9\r\nM30\r\n");
        start({m_program});
        ScriptedPrompts otherPrompts;
        mainform second_window(otherPrompts);
        second_window.Form_Load({other});
        QVERIFY(second_window.TESSARC1->tempFile != w->TESSARC1->tempFile);
        QVERIFY(w->TESSARC1->saveFile(m_program));
        QVERIFY(second_window.TESSARC1->saveFile(other));
        QCOMPARE(readBytes(m_program), numberedProgram(20));
        QCOMPARE(readBytes(other), QByteArray("G00 X9 Y9\r\nM30\r\n"));
        second_window.TESSARC1->done();
        w.reset();

        // A store left with changes, claimed by an instance asking about it: nobody else asks.
        const QString store = leaveStore();
        {
            const tessarc::StoreClaim asking = tessarc::StoreClaim::claim(store);
            QVERIFY(asking.held());
            start();
            QVERIFY(!prompts.log.join(QLatin1Char('\n')).contains(QStringLiteral("Recover")));
            QVERIFY(QFileInfo::exists(store));
            w.reset();
        }
        prompts.answer(Prompts::Answer::Yes);
        start();
        QCOMPARE(w->TESSARC1->tempFile, store);
        QVERIFY(!tessarc::StoreClaim::claim(store).held()); // the window that took it back holds it
    }

    // Every start, with a window or without, clears the stores left without changes by instances
    // that are gone, and never those still held; a link in the history's place goes alone; and the
    // journals, histories and claims of stores that are gone, and journals cut short, go too.
    void unchangedStoresCleared()
    {
        const QString held = leaveStore(QStringLiteral("7"), false);
        const QString gone = leaveStore(QStringLiteral("8"), false);
        const QString kept = testEnvironment().path(QStringLiteral("kept"));
        QVERIFY(QDir().mkpath(kept));
        writeBytes(kept + QStringLiteral("/part.nc"), "M30\r\n");
        QVERIFY(QFile::link(kept, programPath(QStringLiteral("8.qen.history"))));
        const tessarc::StoreClaim claim = tessarc::StoreClaim::claim(held);
        // Orphans: of a store that is gone (9), and a journal cut short beside the held store (7)
        // and beside one whose store is gone (cli12).
        writeBytes(programPath(QStringLiteral("9.qen.journal")), "journal");
        QVERIFY(QDir().mkpath(programPath(QStringLiteral("9.qen.history/1"))));
        writeBytes(programPath(QStringLiteral("9.qen.lock")), "");
        writeBytes(programPath(QStringLiteral("cli12.qen.journal.new")), "cut");
        writeBytes(programPath(QStringLiteral("7.qen.journal.new")), "cut");
        const InstanceLock instance(programPath());
        QCOMPARE(recovery::clearUnchanged(programPath(), instance), 4);
        QVERIFY(QFileInfo::exists(held));
        QVERIFY(!QFileInfo::exists(gone));
        QVERIFY(!QFileInfo(programPath(QStringLiteral("8.qen.history"))).isSymLink());
        QCOMPARE(readBytes(kept + QStringLiteral("/part.nc")), QByteArray("M30\r\n"));
        for (const char *orphan : {"9.qen.journal", "9.qen.history", "9.qen.lock", "cli12.qen.journal.new"})
            QVERIFY2(!QFileInfo::exists(programPath(QLatin1String(orphan))), orphan);
        QVERIFY(QFileInfo::exists(programPath(QStringLiteral("7.qen.journal.new")))); // its store is held
    }

    // The journal says "changed" from the first change to the next save, never for a run that
    // changed nothing, and a clean exit leaves nothing to recover.
    // The journal says what the store holds, and how the file ended its lines (LF, none after the
    // last line here), so that a recovered program saves as it would have.
    void journalFollowsTheProgram()
    {
        QByteArray text = numberedProgram(10).replace("\r\n", "\n");
        text.chop(1);
        writeBytes(m_program, text);
        start({m_program});
        tessarc::Program &p = w->TESSARC1->program();
        const QString journal = tessarc::ProgramJournal::pathFor(p.store);
        const auto saysChanged = [&] {
            p.finishJournal();
            const std::optional<tessarc::ProgramJournal> j = tessarc::ProgramJournal::read(journal);
            return j && j->changed && j->lines == p.lineCount() && j->program == m_program && j->lineEnd == "\n" &&
                   !j->lastEnded;
        };
        QVERIFY(!saysChanged());
        tessarc::ChangeRecord(p, QStringLiteral("Find Size"), LineNumber(1)).finish();
        QVERIFY(!saysChanged());
        {
            tessarc::ChangeRecord change(p, QStringLiteral("Insert File"), LineNumber(1));
            const QList<QByteArray> old = p.readLines(LineNumber(1), 1);
            p.replaceLines(LineNumber(1), 1, {QByteArray("N1"), QByteArray("N2")});
            change.keepLines(LineNumber(1), old, 2);
            change.finish();
        }
        QVERIFY(saysChanged());
        QVERIFY(w->TESSARC1->saveFile(m_program));
        QVERIFY(readBytes(m_program).startsWith("N1\nN2\n"));
        QVERIFY(!readBytes(m_program).endsWith("\n"));
        QVERIFY(!tessarc::ProgramJournal::read(journal)->changed);
        w->TESSARC1->done();
        QVERIFY(!QFileInfo::exists(journal));
        QVERIFY(!QFileInfo::exists(p.store));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--save-instance") == 0) {
        QApplication app(argc, argv);
        return saveInstance(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    if (argc == 4 && qstrcmp(argv[1], "--instance") == 0) {
        // The folders are the parent test's, from the environment it was started in.
        QApplication app(argc, argv);
        return runInstance(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    testEnvironment();
    QApplication app(argc, argv);
    TestRecovery tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_recovery.moc"
