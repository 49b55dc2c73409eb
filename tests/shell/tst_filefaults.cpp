#include "faults.h"
#include "frmreclen.h"
#include "mainwindowtest.h"
#include "pageview.h"
#include "tessarc.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>

#include <memory>

// The file commands meeting real faults: a failure is never followed by a success message, and
// the program (its store, its file on disk, the edits on the page) and the window's state
// (lfile, captions, recent list, menus, the lock) are what they were, or, when a load failed, no
// program is open and the view is locked.

namespace {

enum class Command { Save, SaveAs, CloseYes, New, Open, OpenRecent, OpenSavingFirst };
enum class Fault {
    LockedFolder, FullDisk, StoresDiskFull, StoreDeleted, StoreTruncated, LineTooLong, LoadFails
};
enum class Outcome { Unchanged, NoProgram };

// A program long enough that no small disk holds a second copy of it.
QByteArray longProgram()
{
    QByteArray text;
    for (int k = 1; k <= 2000; ++k)
        text += "N" + QByteArray::number(k) + " X" + QByteArray::number(k) + ".5\r\n";
    return text;
}

struct State
{
    QString lfile, saveCaption, saveAsCaption, page;
    std::array<QString, 5> recent;
    bool fileMenus = false, recLenItem = false, run = false, readOnly = false;
    QByteArray store;
    bool operator==(const State &) const = default;
};

State stateOf(mainform &w)
{
    TESSARC &e = *w.TESSARC1;
    return {e.lfile,
            w.item(QStringLiteral("SaveFile"))->text(),
            w.item(QStringLiteral("SaveFileAs"))->text(),
            e.txtmain->pageText(),
            w.globalVar.recent.entries,
            w.item(QStringLiteral("edit1"))->isVisible(),
            w.item(QStringLiteral("setRecLen"))->isVisible(),
            e.Run,
            e.txtmain->isReadOnly(),
            readBytes(e.tempFile)};
}

QStringList storesOnDisk()
{
    return QDir(programPath()).entryList({QStringLiteral("*.qen.tmp")}, QDir::Files, QDir::Name);
}

} // namespace

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Outcome)

class TestFileFaults : public MainWindowTest
{
    Q_OBJECT

private slots:
    void commandUnderFault_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QStringList>("shown"); // the start of each prompt, in order
        QTest::addColumn<Outcome>("outcome");
        const QString saveWarning = QStringLiteral("warning: TESSARC1 - SaveFile: ");
        const QString conveWarning = QStringLiteral("warning: TESSARC1 - Conve2: ");
        const QString pageWarning = QStringLiteral("warning: TESSARC1 - LoadLine: ");
        const QString saveFirst = QStringLiteral("ask: VORNEXA: Would you like to save");
        const auto row = [](const char *name, Command c, Fault f, QStringList shown, Outcome o) {
            QTest::newRow(name) << c << f << shown << o;
        };
        row("save, folder not writable", Command::Save, Fault::LockedFolder, {saveWarning}, Outcome::Unchanged);
        row("save, disk full", Command::Save, Fault::FullDisk, {saveWarning}, Outcome::Unchanged);
        row("save, store deleted", Command::Save, Fault::StoreDeleted, {saveWarning}, Outcome::Unchanged);
        row("save, store truncated", Command::Save, Fault::StoreTruncated, {saveWarning}, Outcome::Unchanged);
        row("save, line too long for its record", Command::Save, Fault::LineTooLong, {pageWarning}, Outcome::Unchanged);
        row("save as, folder not writable", Command::SaveAs, Fault::LockedFolder,
            {QStringLiteral("save dialog"), saveWarning}, Outcome::Unchanged);
        row("save as, disk full", Command::SaveAs, Fault::FullDisk, {QStringLiteral("save dialog"), saveWarning},
            Outcome::Unchanged);
        row("close saving, folder not writable", Command::CloseYes, Fault::LockedFolder, {saveFirst, saveWarning},
            Outcome::Unchanged);
        row("close saving, disk full", Command::CloseYes, Fault::FullDisk, {saveFirst, saveWarning}, Outcome::Unchanged);
        row("close saving, line too long", Command::CloseYes, Fault::LineTooLong, {saveFirst, pageWarning},
            Outcome::Unchanged);
        row("new file, folder not writable", Command::New, Fault::LockedFolder,
            {saveFirst, QStringLiteral("save dialog"), QStringLiteral("message: VORNEXA:")}, Outcome::Unchanged);
        row("new file, load fails", Command::New, Fault::LoadFails,
            {saveFirst, QStringLiteral("save dialog"), conveWarning}, Outcome::NoProgram);
        row("open, load fails", Command::Open, Fault::LoadFails, {saveFirst, QStringLiteral("open dialog"), conveWarning},
            Outcome::NoProgram);
        row("open, no room for its store", Command::Open, Fault::StoresDiskFull,
            {saveFirst, QStringLiteral("open dialog"), conveWarning}, Outcome::NoProgram);
        row("open recent, load fails", Command::OpenRecent, Fault::LoadFails, {saveFirst, conveWarning},
            Outcome::NoProgram);
        row("open, saving first fails", Command::OpenSavingFirst, Fault::LockedFolder, {saveFirst, saveWarning},
            Outcome::Unchanged);
    }

    void commandUnderFault()
    {
        QFETCH(Command, command);
        QFETCH(Fault, fault);
        QFETCH(QStringList, shown);
        QFETCH(Outcome, outcome);

        // The program lives in a folder of its own, on a small disk where the disk is to fill; the
        // stores too when there is to be no room for them.
        std::unique_ptr<FullDisk> disk;
        const QString folder = testEnvironment().path(QStringLiteral("programs"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        if (fault == Fault::FullDisk)
            disk = std::make_unique<FullDisk>(96 * 1024);
        const QByteArray home = qgetenv("VORNEXA_HOME");
        const auto restoreHome = qScopeGuard([&] { qputenv("VORNEXA_HOME", home); });
        std::unique_ptr<FullDisk> storesDisk;
        if (fault == Fault::StoresDiskFull) {
            storesDisk = std::make_unique<FullDisk>(4 * 1024 * 1024);
            qputenv("VORNEXA_HOME", QFile::encodeName(storesDisk->path(QStringLiteral("."))));
        }
        const QString path = disk ? disk->path(QStringLiteral("part.nc")) : folder + QStringLiteral("/part.nc");
        const QByteArray text = longProgram();
        writeBytes(path, text);
        const QString tooLong = folder + QStringLiteral("/wide.nc");
        writeBytes(tooLong, "G1 X1\r\n" + QByteArray(600, 'X') + "\r\n");
        const QString target = (disk ? disk->path(QStringLiteral("copy.nc")) : folder + QStringLiteral("/copy.nc"));

        if (command == Command::New && fault == Fault::LoadFails)
            storeSetting(QStringLiteral("COMMENTS/STARTCOMMENT"), QString(500, QLatin1Char('('))); // a header too long
        start();
        openThroughMenu(path);
        QCOMPARE(w->TESSARC1->lfile, path);
        w->TESSARC1->txtmain->textCursor().insertText(QStringLiteral("G90 ")); // an edit not yet in the store
        if (fault == Fault::LineTooLong)
            w->TESSARC1->txtmain->textCursor().insertText(QString(600, QLatin1Char('Y')));
        else
            w->TESSARC1->loadLine(w->TESSARC1->curLine);
        w->globalVar.recent.entries[1] = tooLong;
        w->refreshRecentMenu();
        const State before = stateOf(*w);

        std::unique_ptr<LockedFolder> locked;
        switch (fault) {
        case Fault::LockedFolder:
            locked = std::make_unique<LockedFolder>(folder);
            if (!locked->ok())
                QSKIP("this machine cannot make a folder refuse writes");
            break;
        case Fault::FullDisk:
            disk->fill();
            break;
        case Fault::StoresDiskFull:
            storesDisk->fill();
            break;
        case Fault::StoreDeleted:
            QFile::remove(w->TESSARC1->tempFile);
            break;
        case Fault::StoreTruncated:
            QFile::resize(w->TESSARC1->tempFile, QFileInfo(w->TESSARC1->tempFile).size() / 2);
            break;
        case Fault::LoadFails:
        case Fault::LineTooLong:
            break;
        }
        const QByteArray storeAfterFault = readBytes(w->TESSARC1->tempFile);

        prompts.clear();
        bool closed = false;
        switch (command) {
        case Command::Save:
            QVERIFY(!w->SaveFile_Click());
            break;
        case Command::SaveAs:
            prompts.answerText(target);
            w->SaveFileAs_Click();
            break;
        case Command::CloseYes:
            prompts.answer(Prompts::Answer::Yes);
            closed = w->close();
            break;
        case Command::New:
            prompts.answer(Prompts::Answer::No);
            prompts.answerText(folder + QStringLiteral("/new.nc"));
            w->newFile1_Click();
            break;
        case Command::Open:
            prompts.answer(Prompts::Answer::No);
            prompts.answerText(fault == Fault::LoadFails ? tooLong : path);
            w->LoadFile_Click();
            break;
        case Command::OpenRecent:
            prompts.answer(Prompts::Answer::No);
            w->re_Click(2);
            break;
        case Command::OpenSavingFirst:
            prompts.answer(Prompts::Answer::Yes);
            w->LoadFile_Click();
            break;
        }

        QCOMPARE(prompts.log.size(), shown.size());
        for (qsizetype i = 0; i < shown.size(); ++i)
            QVERIFY2(prompts.log.at(i).startsWith(shown.at(i)), qPrintable(prompts.log.join(QLatin1Char('\n'))));
        QVERIFY(!closed);
        QVERIFY(w->isVisible());
        QCOMPARE(readBytes(path), text);
        QVERIFY(!QFile::exists(target));

        const State after = stateOf(*w);
        if (outcome == Outcome::Unchanged) {
            State expected = before;
            expected.store = storeAfterFault;
            QCOMPARE(after.page, expected.page); // the edits are still there to be saved elsewhere
            QVERIFY(after == expected);
            return;
        }
        // A failed load leaves no program: nothing half-open, and no store of it or of the one before.
        QCOMPARE(after.lfile, QString());
        QCOMPARE(after.saveCaption, QStringLiteral("&Save File"));
        QCOMPARE(after.saveAsCaption, QStringLiteral("S&ave File As..."));
        QCOMPARE(after.recent, before.recent);
        QVERIFY(!after.fileMenus);
        QVERIFY(after.recLenItem); // so the record length can be raised for the file that failed
        QVERIFY(!after.run);
        QVERIFY(after.readOnly);
        QCOMPARE(storesOnDisk(), QStringList());
    }

    void onlyTheLastProgramsStoresStay()
    {
        start();
        for (const char *name : {"one.nc", "two.nc", "three.nc"}) {
            if (!w->TESSARC1->lfile.isEmpty())
                prompts.answer(Prompts::Answer::No);
            openThroughMenu(writeTestFile(QString::fromLatin1(name), "G1 X1\r\nM30\r\n"));
        }
        QCOMPARE(storesOnDisk(), QStringList{QFileInfo(w->TESSARC1->tempFile).fileName()});
        prompts.answer(Prompts::Answer::No);
        QVERIFY(w->close());
        QCOMPARE(storesOnDisk(), QStringList());
    }
};

VORNEXA_TEST_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
