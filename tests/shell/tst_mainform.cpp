#include "frmabout.h"
#include "mainwindowtest.h"
#include "pageview.h"
#include "tessarc.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString samplePath(const QString &name, const QByteArray &text = "G1 X1\r\nG2 X2\r\nM30\r\n")
{
    return writeTestFile(name, text);
}

// Another instance of the program, as far as the instance check can tell: a lock held on a file
// of the instances folder.
class OtherInstance
{
public:
    OtherInstance()
    {
        QDir().mkpath(programPath(QStringLiteral("instances")));
        m_fd = ::open(QFile::encodeName(programPath(QStringLiteral("instances/99999.lock"))).constData(),
                      O_RDWR | O_CREAT, 0644);
        ::flock(m_fd, LOCK_EX);
    }
    ~OtherInstance() { ::close(m_fd); }

private:
    int m_fd;
};

} // namespace

class TestMainform : public MainWindowTest
{
    Q_OBJECT

private slots:
    void storedSettingsAreKept()
    {
        storeSetting(QStringLiteral("FORMATS/CALCPERCENT"), QStringLiteral("False"));
        storeSetting(QStringLiteral("COMMENTS/ENDCOMMENT"), QString());
        storeSetting(QStringLiteral("IO/LFENDSLINE"), QStringLiteral("False"));
        storeSetting(QStringLiteral("HL/AXIS3"), QStringLiteral("I J"));
        start();
        QVERIFY(!w->globalVar.numbers.calcPercent);
        QCOMPARE(w->TESSARC1->endComment, QString());
        QVERIFY(!w->TESSARC1->lfEndsLine);
        QCOMPARE(w->TESSARC1->colorSlots()[3].letters, QStringLiteral("IJ"));
    }

    // A first run, branded (all three lines of NAME.DAT, its name found in any case) or not (two
    // lines): the defaults are written under the program's title, and there is nothing to edit or
    // save until a program is open.
    void brandingNeedsAllThreeLines()
    {
        const struct
        {
            QByteArray dat;
            QString title, brand, web;
        } runs[] = {{"SHOP EDIT\r\nhttps://shop.example\r\nSHOP\r\n", "SHOP EDIT", "SHOP", "https://shop.example"},
                    {"SHOP EDIT\r\nhttps://shop.example\r\n", "VORNEXA", "QEN", "https://www.vornexa.example"}};
        for (const auto &run : runs) {
            w.reset();
            emptyRunFolders();
            writeBytes(programPath(QStringLiteral("NAME.DAT")), run.dat);
            start();
            QCOMPARE(w->windowTitle(), run.title);
            QCOMPARE(w->globalVar.brand.programTitle, run.title);
            QCOMPARE(w->TESSARC1->e->text(), run.brand);
            QCOMPARE(storedSetting(QStringLiteral("FORMATS/CALCPERCENT"), run.title), QStringLiteral("True"));
            frmAbout about(*w);
            QCOMPARE(about.Label1->text(), run.title);
            QCOMPARE(about.Label8->text(), run.web);
            QVERIFY(w->TESSARC1->txtmain->isReadOnly());
            QVERIFY(!w->item(QStringLiteral("SaveFile"))->isVisible());
        }
    }

    // A program named on the command line opens: quoted, unquoted and split at its space, one
    // argument holding runs of spaces, a quote inside the name.
    void programOnTheCommandLineOpens()
    {
        const QString spaced = testEnvironment().path(QStringLiteral("my part.nc"));
        const std::pair<QString, QStringList> runs[] = {
            {QStringLiteral("my part.nc"), {QStringLiteral("\"") + spaced + QStringLiteral("\"")}},
            {QStringLiteral("my part.nc"), spaced.split(QLatin1Char(' '))},
            {QStringLiteral("a  b   c.nc"), {testEnvironment().path(QStringLiteral("a  b   c.nc"))}},
            {QStringLiteral("say \"hi\".nc"), {testEnvironment().path(QStringLiteral("say \"hi\".nc"))}}};
        for (const auto &[name, arguments] : runs) {
            w.reset();
            emptyRunFolders();
            const QString path = samplePath(name);
            start(arguments);
            QCOMPARE(w->TESSARC1->lfile, path);
            QVERIFY(!w->TESSARC1->txtmain->isReadOnly());
            QCOMPARE(w->globalVar.recent.entries[0], path);
            QCOMPARE(w->item(QStringLiteral("SaveFile"))->text(), QStringLiteral("Save ") + name);
            QVERIFY(w->item(QStringLiteral("search"))->isVisible() && w->item(QStringLiteral("search"))->isEnabled());
            QVERIFY(w->item(QStringLiteral("setRecLen"))->isVisible()); // it applies to the next program opened
        }
    }

    // A missing program on the command line is passed over without a word; an open with no choice
    // or of a missing file opens nothing, its dialog in the home folder while no program is open.
    void aMissingProgramOpensNothing()
    {
        start({testEnvironment().path(QStringLiteral("gone.nc"))});
        QCOMPARE(w->TESSARC1->lfile, QString());
        QVERIFY(prompts.log.isEmpty());
        prompts.answerNothing();
        w->LoadFile_Click();
        openThroughMenu(testEnvironment().path(QStringLiteral("not-there.nc")));
        QCOMPARE(w->TESSARC1->lfile, QString());
        QCOMPARE(prompts.dialogFolders.first(), QDir::homePath());
    }

    void staleStoresGoOnlyWhenNoOtherInstanceRuns()
    {
        writeBytes(programPath(QStringLiteral("0.qen.tmp")), "x");
        writeBytes(programPath(QStringLiteral("1.qen.tmp")), "x");
        {
            OtherInstance other;
            start();
            QVERIFY(w->otherInstanceRunning());
            QVERIFY(QFileInfo::exists(programPath(QStringLiteral("0.qen.tmp"))));
            w->allocateTempFiles();
            QCOMPARE(w->TESSARC1->tempFile, programPath(QStringLiteral("2.qen.tmp")));
            QCOMPARE(w->TESSARC1->tempFile2, programPath(QStringLiteral("2.2.qen.tmp")));
            w.reset();
        }
        start(); // the other instance has ended: its lock no longer counts
        QVERIFY(!w->otherInstanceRunning());
        QCOMPARE(QDir(programPath()).entryList({QStringLiteral("*.qen.tmp")}, QDir::Files), QStringList());
    }

    // New File over a file that is there, with comments closed by round brackets and by nothing.
    void newFileOverAnExistingFile()
    {
        for (const QString &endComment : {QStringLiteral(")"), QString()}) {
            w.reset();
            prompts.clear();
            storeSetting(QStringLiteral("COMMENTS/ENDCOMMENT"), endComment);
            start();
            const QString path = samplePath(QStringLiteral("new.nc"), "OLD CONTENT\r\n");
            prompts.answerText(path);
            prompts.answer(Prompts::Answer::Yes);
            w->newFile1_Click();
            const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
            QCOMPARE(prompts.log, (QStringList{QStringLiteral("save dialog"),
                                               QStringLiteral("ask: Overwrite?: File already exists, would you like to overwrite?"),
                                               QStringLiteral("message: Save completed.: ") + path + QStringLiteral(" created.")}));
            QCOMPARE(readBytes(path), ("(QEN EDIT" + endComment + "\r\n(" + date + endComment + "\r\n").toLatin1());
            QCOMPARE(w->TESSARC1->numberOfLines(), 2);
            QCOMPARE(w->globalVar.folders.lastDirSave, testEnvironment().root());
            QCOMPARE(storedSetting(QStringLiteral("FILES/LASTDIRSAVE")), testEnvironment().root());
            QVERIFY(w->item(QStringLiteral("edit1"))->isVisible());
        }
    }

    // Replacing or closing an edited program asks to save it first: Cancel ends the command, No goes
    // on without saving, Yes saves and goes on. A program without changes is never asked about.
    void theSaveQuestionComesFirst_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::addColumn<int>("answer"); // -1: no edit, so no question
        for (bool closing : {false, true}) {
            const char *command = closing ? "close" : "open";
            QTest::addRow("%s, Cancel", command) << closing << int(Prompts::Answer::Cancel);
            QTest::addRow("%s, No", command) << closing << int(Prompts::Answer::No);
            QTest::addRow("%s, Yes", command) << closing << int(Prompts::Answer::Yes);
            QTest::addRow("%s, nothing changed", command) << closing << -1;
        }
    }

    void theSaveQuestionComesFirst()
    {
        QFETCH(bool, closing);
        QFETCH(int, answer);
        const bool goesOn = answer != int(Prompts::Answer::Cancel);
        start();
        const QString first = samplePath(QStringLiteral("first.nc"));
        const QString second = samplePath(QStringLiteral("second.nc"), "M3\r\n");
        openThroughMenu(first);
        const QString store = w->TESSARC1->tempFile;
        prompts.clear();
        if (answer < 0) {
            if (closing) {
                QVERIFY(w->close());
            } else {
                prompts.answerText(second);
                w->LoadFile_Click();
                QCOMPARE(w->TESSARC1->lfile, second);
            }
            QVERIFY2(!prompts.log.join(QLatin1Char('\n')).contains(QStringLiteral("Would you like to save")),
                     qPrintable(prompts.log.join(QLatin1Char('\n'))));
            return;
        }
        w->TESSARC1->txtmain->textCursor().insertText(QStringLiteral("N1 ")); // an edit on the page
        prompts.answer(static_cast<Prompts::Answer>(answer));
        if (closing) {
            QCOMPARE(w->close(), goesOn);
        } else {
            if (goesOn)
                prompts.answerText(second);
            w->LoadFile_Click();
        }
        QCOMPARE(prompts.log.first(), QStringLiteral("ask: VORNEXA: Would you like to save ") + first +
                                          (closing ? QStringLiteral(" before exiting?")
                                                   : QStringLiteral(" before opening a new file?")));
        QCOMPARE(readBytes(first), answer == int(Prompts::Answer::Yes) ? QByteArray("N1 G1 X1\r\nG2 X2\r\nM30\r\n")
                                                                        : QByteArray("G1 X1\r\nG2 X2\r\nM30\r\n"));
        QCOMPARE(QFileInfo::exists(store), !goesOn); // the store goes with its program
        if (!goesOn) {
            QCOMPARE(prompts.log.size(), 1);
            QCOMPARE(w->TESSARC1->lfile, first);
        } else if (closing) {
            QCOMPARE(storedSetting(QStringLiteral("RE/REONE")), first);
            QCOMPARE(storedSetting(QStringLiteral("MAINPOS/MAINWIDTH")), QStringLiteral("10000")); // as read, not 10005
        } else {
            QCOMPARE(w->TESSARC1->lfile, second);
            QCOMPARE(w->globalVar.recent.entries[0], second);
            QCOMPARE(w->globalVar.recent.entries[1], first);
            QCOMPARE(storedSetting(QStringLiteral("FILES/LASTDIROPEN")), testEnvironment().root());
        }
    }

    void saveAsMovesTheProgramToTheNewName()
    {
        start();
        const QString old = samplePath(QStringLiteral("old.nc"));
        openThroughMenu(old);
        w->TESSARC1->txtmain->textCursor().insertText(QStringLiteral("G90 "));
        const QString renamed = testEnvironment().path(QStringLiteral("renamed.nc"));
        QFile::remove(renamed);
        prompts.clear();
        prompts.answerText(renamed);
        w->SaveFileAs_Click();
        QCOMPARE(prompts.dialogFolders.last(), old); // beside the open program, its name proposed
        const QString saved = QStringLiteral("message: Save completed.: ") + renamed + QStringLiteral(" saved.");
        QCOMPARE(prompts.log.last(), saved);
        QCOMPARE(w->TESSARC1->lfile, renamed);
        QCOMPARE(w->item(QStringLiteral("SaveFile"))->text(), QStringLiteral("Save renamed.nc"));
        QCOMPARE(w->item(QStringLiteral("re1"))->text(), QStringLiteral("1   renamed.nc"));
        QCOMPARE(readBytes(renamed), QByteArray("G90 G1 X1\r\nG2 X2\r\nM30\r\n"));
        QCOMPARE(readBytes(old), QByteArray("G1 X1\r\nG2 X2\r\nM30\r\n"));
        // Save File now writes the new name.
        prompts.clear();
        w->SaveFile_Click();
        QCOMPARE(prompts.log, QStringList{saved});
    }

    void openInNewWindowStartsASecondProgram()
    {
        start();
        const QString path = samplePath(QStringLiteral("other window.nc"));
        QString program;
        QStringList arguments;
        w->startProcess = [&](const QString &p, const QStringList &a) {
            program = p;
            arguments = a;
            return true;
        };
        prompts.answerText(path);
        w->openfileinnewwindow_Click();
        QCOMPARE(program, QCoreApplication::applicationFilePath());
        QCOMPARE(arguments, QStringList{path}); // one argument, spaces and all: no shell in between
        QCOMPARE(prompts.log.last(), QStringLiteral("open dialog")); // no box with the command line
        QCOMPARE(w->TESSARC1->lfile, QString()); // this window is left as it was
        QCOMPARE(w->globalVar.recent.entries[0], QString());
        // A process that does not start is reported.
        w->startProcess = [](const QString &, const QStringList &) { return false; };
        prompts.answerText(path);
        w->openfileinnewwindow_Click();
        QCOMPARE(prompts.log.last(), QStringLiteral("message: VORNEXA: A new window could not be started for ") + path);
    }

    void fileCommandsWaitForARunningOperation()
    {
        start();
        openThroughMenu(samplePath(QStringLiteral("busy.nc")));
        prompts.clear();
        w->TESSARC1->Run = true;
        w->LoadFile_Click();
        w->SaveFile_Click();
        w->newFile1_Click();
        const QString store = w->TESSARC1->tempFile;
        w->globalVar.recent.entries[1] = samplePath(QStringLiteral("recent.nc"));
        w->re_Click(2); // the running tool keeps its store
        QCOMPARE(w->TESSARC1->tempFile, store);
        QVERIFY(!w->close()); // nor can the window close under it, and nothing is asked
        const QString busy = QStringLiteral("message: VORNEXA: ") + w->globalVar.messages.alreadyRunning;
        QCOMPARE(prompts.log, (QStringList{busy, busy, busy, busy}));
        // With nothing open, saving only beeps.
        w->TESSARC1->Run = false;
        w->TESSARC1->lfile.clear();
        prompts.clear();
        w->SaveFile_Click();
        w->SaveFileAs_Click();
        QCOMPARE(prompts.log, (QStringList{QStringLiteral("beep"), QStringLiteral("beep")}));
    }

    void recentListRules()
    {
        start();
        const QString a = samplePath(QStringLiteral("a.nc"));
        const QString b = samplePath(QStringLiteral("b.nc"));
        const QString c = samplePath(QStringLiteral("c.nc"));
        w->addRecentFile(a);
        w->addRecentFile(b);
        w->addRecentFile(c);
        w->addRecentFile(c); // entry 1 again: unchanged
        QCOMPARE(w->globalVar.recent.entries, (std::array<QString, 5>{c, b, a, QString(), QString()}));
        QVERIFY(w->item(QStringLiteral("re3"))->isVisible());
        QVERIFY(!w->item(QStringLiteral("re4"))->isVisible()); // no empty items
        w->addRecentFile(a); // entry 3 again: it moves to the front, once
        QCOMPARE(w->globalVar.recent.entries, (std::array<QString, 5>{a, c, b, QString(), QString()}));
        QCOMPARE(w->item(QStringLiteral("re1"))->text(), QStringLiteral("1   a.nc"));
        QCOMPARE(w->item(QStringLiteral("re1"))->toolTip(), QDir::toNativeSeparators(a));
        QFile::remove(b);
        w->refreshRecentMenu();
        QCOMPARE(w->item(QStringLiteral("re3"))->text(), QStringLiteral("3   b.nc (not found)"));
        // Opened from the list: a missing file is said and stays listed; the others open, not reordered.
        prompts.clear();
        w->globalVar.recent.entries = {b, c, QString(), QStringLiteral("a\0b.nc"), QString()};
        w->re_Click(1);
        w->re_Click(3); // empty: nothing
        w->re_Click(4); // a name no file can have
        QCOMPARE(prompts.log, (QStringList{QStringLiteral("message: File Not Found: ") + b + QStringLiteral(" Not Found"),
                                           QStringLiteral("message: File Not Found: Bad drive.")}));
        QCOMPARE(w->globalVar.recent.entries[0], b);
        w->re_Click(2);
        QCOMPARE(w->TESSARC1->lfile, c);
        QCOMPARE(w->globalVar.recent.entries[1], c);
        QVERIFY(w->item(QStringLiteral("search"))->isVisible());
    }

    // A file dropped on the page opens after the save question; a folder is refused with a message.
    void aDroppedFileOpens()
    {
        start();
        const QString first = samplePath(QStringLiteral("first.nc"));
        const QString second = samplePath(QStringLiteral("dropped & more.nc"), "M3\r\n");
        openThroughMenu(first);
        w->TESSARC1->txtmain->textCursor().insertText(QStringLiteral("N1 "));
        prompts.clear();
        const auto drop = [&](const QString &path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QWidget *page = w->TESSARC1->txtmain->viewport();
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(page, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(page, &dropped);
            QVERIFY(dropped.isAccepted());
        };
        // While the program loads, the menus that need one are greyed, not taken off the menu bar.
        QList<std::pair<bool, bool>> whileLoading; // visible, enabled
        connect(&w->lock(), &tessarc::OperationLock::busyChanged, w.get(), [&](bool busy) {
            if (busy)
                whileLoading.append({w->item(QStringLiteral("search"))->isVisible(),
                                     w->item(QStringLiteral("search"))->isEnabled()});
        });
        prompts.answer(Prompts::Answer::No);
        drop(second);
        QTRY_COMPARE(w->TESSARC1->lfile, second);
        QVERIFY(!whileLoading.isEmpty());
        QCOMPARE(whileLoading.first(), std::make_pair(true, false));
        QVERIFY(w->item(QStringLiteral("search"))->isEnabled());
        QCOMPARE(prompts.log, QStringList{"ask: VORNEXA: Would you like to save " + first + " before opening a new file?"});
        QCOMPARE(w->TESSARC1->txtmain->pageLines().first(), QStringLiteral("M3"));
        prompts.clear();
        drop(testEnvironment().root());
        QTRY_COMPARE(prompts.log.size(), 1);
        QCOMPARE(prompts.log.first(), "message: File Not Found: " + testEnvironment().root() +
                                          " is not a file that can be opened.");
        QCOMPARE(w->TESSARC1->lfile, second);
    }

    void aMaximizedWindowKeepsItsStoredPlace()
    {
        storeSetting(QStringLiteral("MAINPOS/MAINLEFT"), QStringLiteral("1500"));
        start();
        QCOMPARE(w->pos().x(), 100);
        w->showMaximized();
        QCoreApplication::processEvents();
        QVERIFY(w->close());
        QCOMPARE(storedSetting(QStringLiteral("MAINPOS/MAINLEFT")), QStringLiteral("1500"));
        QCOMPARE(storedSetting(QStringLiteral("MAINPOS/MAINWIDTH")), QStringLiteral("(absent)"));
        QCOMPARE(storedSetting(QStringLiteral("MAINPOS/MAXIMIZED")), QStringLiteral("True"));
        start(); // the next run opens maximized
        QTRY_VERIFY(w->isMaximized());
        w->showNormal();
        QVERIFY(w->close());
        QCOMPARE(storedSetting(QStringLiteral("MAINPOS/MAXIMIZED")), QStringLiteral("False"));
    }

    void aWindowOffTheScreenIsBroughtOnIt()
    {
        storeSetting(QStringLiteral("MAINPOS/MAINTOP"), QStringLiteral("-3000"));
        storeSetting(QStringLiteral("MAINPOS/MAINLEFT"), QStringLiteral("-90000"));
        start();
        const QRect room = w->screen()->availableGeometry();
        QTRY_VERIFY(room.contains(w->frameGeometry().topLeft()));
        // One larger than the screen (stored at a smaller scale) is made to fit it.
        w.reset();
        storeSetting(QStringLiteral("MAINPOS/MAINWIDTH"), QString::number(room.width() * 15 * 3));
        storeSetting(QStringLiteral("MAINPOS/MAINHEIGHT"), QString::number(room.height() * 15 * 3));
        start();
        QTRY_VERIFY(room.contains(w->frameGeometry()));
    }

    void anOperationGreysWhatWouldReplaceTheProgram()
    {
        start();
        openThroughMenu(samplePath(QStringLiteral("busy.nc")));
        QVERIFY(w->lock().take());
        QVERIFY(w->row->isActive());
        for (const char *name : {"newFile1", "LoadFile", "SaveFile", "re1", "paste"})
            QVERIFY2(!w->item(QString::fromLatin1(name))->isEnabled(), name);
        QVERIFY(!w->lock().take()); // one operation at a time
        QStringList turns; // the busy indicator turns in the caption
        for (int i = 0; i < 5; ++i) {
            w->row_Timer();
            turns.append(w->windowTitle());
        }
        const QString title = QStringLiteral("busy.nc - VORNEXA");
        QCOMPARE(turns, QStringList({title + " |", title + " /", title + " --", title + " \\", title + " |"}));
        w->lock().release();
        QVERIFY(!w->row->isActive());
        for (const char *name : {"newFile1", "LoadFile", "SaveFile", "re1", "paste"})
            QVERIFY2(w->item(QString::fromLatin1(name))->isEnabled(), name);
        QCOMPARE(w->windowTitle(), title);
    }

    // Typing comes back in the view until its page is written back; from then on it is a step of the
    // program's history, like a page that gained a line; a save changes nothing of that.
    void undoAndRedoTypingPagesAndSaves()
    {
        start();
        QByteArray text;
        for (int k = 1; k <= 100; ++k)
            text += "N" + QByteArray::number(k) + "\r\n";
        const QString path = samplePath(QStringLiteral("undo.nc"), text);
        openThroughMenu(path);
        TESSARC &e = *w->TESSARC1;
        QAction *undo = w->item(QStringLiteral("undo"));
        QAction *redo = w->item(QStringLiteral("redo"));
        QVERIFY(!undo->isEnabled());
        // One history: type, pause (the page goes to the store), Ctrl+Z, Ctrl+Z, Ctrl+Y.
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        e.setTypingPause(20);
        e.txtmain->setFocus();
        QTest::keyClicks(e.txtmain, QStringLiteral("A "));
        QCOMPARE(undo->text(), QStringLiteral("Undo Typing"));
        QTRY_VERIFY(e.pageIsStored());
        QTest::keyClick(e.txtmain, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.txtmain->pageLines().first(), QStringLiteral("N1"));
        QVERIFY(!undo->isEnabled());
        QTest::keyClick(e.txtmain, Qt::Key_Z, Qt::ControlModifier); // nothing more to take back
        QCOMPARE(e.txtmain->pageLines().first(), QStringLiteral("N1"));
        QCOMPARE(redo->text(), QStringLiteral("Redo Typing"));
        QTest::keyClick(e.txtmain, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e.txtmain->pageLines().first(), QStringLiteral("A N1"));
        QTest::keyClick(e.txtmain, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.txtmain->pageLines().first(), QStringLiteral("N1"));
        e.setTypingPause(2000);

        QTest::keyClicks(e.txtmain, QStringLiteral("B "));
        QTest::keyClick(e.txtmain, Qt::Key_End, Qt::ControlModifier); // the page is written back: a step of its own
        QTest::keyClick(e.txtmain, Qt::Key_Return); // a line added at the end
        QTest::keyClick(e.txtmain, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(e.numberOfLines(), 101);
        QCOMPARE(w->windowTitle(), QStringLiteral("undo.nc * - VORNEXA")); // changed, not saved
        w->SaveFile_Click();
        QCOMPARE(w->windowTitle(), QStringLiteral("undo.nc - VORNEXA"));
        const QByteArray saved = readBytes(path);
        QVERIFY(saved.startsWith("B N1\r\n"));
        QCOMPARE(undo->text(), QStringLiteral("Undo Typing"));
        undo->trigger();
        QCOMPARE(e.numberOfLines(), 100);
        undo->trigger();
        QCOMPARE(e.txtmain->pageLines().first(), QStringLiteral("N1"));
        QCOMPARE(redo->text(), QStringLiteral("Redo Typing"));
        prompts.clear();
        w->SaveFile_Click();
        QCOMPARE(readBytes(path), text); // what was on screen when it was saved
        redo->trigger();
        redo->trigger();
        QCOMPARE(e.numberOfLines(), 101);
        QVERIFY(!redo->isEnabled());
        w->SaveFile_Click();
        QCOMPARE(readBytes(path), saved);
        // Nothing can be taken back while an operation holds the program.
        QVERIFY(w->lock().take());
        QVERIFY(!undo->isEnabled());
        w->lock().release();
        QVERIFY(undo->isEnabled());
    }

    void savingWorksFromAnyWindowOfTheProgram()
    {
        start();
        openThroughMenu(samplePath(QStringLiteral("shortcut.nc")));
        QWidget tool(w.get(), Qt::Tool);
        tool.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tool));
        tool.activateWindow();
        prompts.clear();
        QTest::keyClick(&tool, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(prompts.log.size(), 1);
        QVERIFY(prompts.log.first().endsWith(QStringLiteral("shortcut.nc saved.")));
    }

    void helpPagesOpenOrAreReportedMissing()
    {
        start();
        // The build puts the pages beside the program.
        w->item(QStringLiteral("help2"))->trigger();
        QCOMPARE(prompts.opened, QStringList{QCoreApplication::applicationDirPath() + QStringLiteral("/help/quickstart.htm")});
        w->openHelp(QStringLiteral("nosuch"));
        QCOMPARE(prompts.log, QStringList{QStringLiteral("message: VORNEXA: Help file missing.")});
        // A page in the program folder, on a desktop that cannot open it: said as it is.
        QDir().mkpath(programPath(QStringLiteral("help")));
        writeBytes(programPath(QStringLiteral("help/shop.htm")), "<html></html>");
        prompts.clear();
        prompts.documentsOpen = false;
        w->openHelp(QStringLiteral("shop"));
        QCOMPARE(prompts.log.size(), 1);
        QVERIFY(prompts.log.first().contains(QStringLiteral("/help/shop.htm could not be shown")));
        prompts.documentsOpen = true;
    }

    void menuItemsWaitForTheirWindows()
    {
        start();
        QAction *receive = w->item(QStringLiteral("Receive1"));
        QVERIFY(!receive->isEnabled()); // greyed while its window is not there yet
        int made = 0;
        w->addWindow(QStringLiteral("Receive1"), [&made](Host &host) {
            ++made;
            return new QWidget(host.mainWindow(), Qt::Window);
        });
        receive->trigger();
        receive->trigger(); // brought forward, not made again
        QCOMPARE(made, 1);
        QVERIFY(w->window(QStringLiteral("Receive1"))->isVisible());
        w->window(QStringLiteral("Receive1"))->close();
        QTRY_VERIFY(!w->window(QStringLiteral("Receive1")));
        receive->trigger();
        QCOMPARE(made, 2);
    }

    void rightButtonShowsTheContextMenu()
    {
        start();
        openThroughMenu(samplePath(QStringLiteral("menu.nc")));
        bool sawDisabledEditor = false;
        QMenu *context = w->menu(QStringLiteral("mnuFile"));
        QTimer::singleShot(50, context, [&]() {
            sawDisabledEditor = !w->TESSARC1->Enabled();
            context->close();
        });
        QTest::mousePress(w->TESSARC1->txtmain->viewport(), Qt::RightButton, {}, QPoint(20, 10));
        QVERIFY(sawDisabledEditor);
        QVERIFY(w->TESSARC1->Enabled());
    }
};

VORNEXA_TEST_MAIN(TestMainform)
#include "tst_mainform.moc"
