#include "commwindows.h"
#include "faults.h"
#include "frmmachinesetup.h"
#include "frmreceive.h"
#include "frmrestart.h"
#include "frmsend.h"
#include "frmsendmachine.h"
#include "machinefolder.h"
#include "machinepicker.h"
#include "ptypair.h"
#include "restartboard.h"
#include "restartprogram.h"
#include "sendframing.h"
#include "testhost.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <QTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

using comm::MachineProfile;

Q_DECLARE_METATYPE(comm::MachineProfile)

namespace {

const QString kNoSuchPort = QStringLiteral("/dev/vornexa-no-such-port");

MachineProfile machine(const QString &name, const QByteArray &eob = "\r\n", int handshake = 0)
{
    MachineProfile p = comm::newProfile(name);
    p.eob = eob;
    p.handshake = static_cast<quint8>(handshake);
    return p;
}

comm::MachineFolder folder()
{
    return comm::MachineFolder::standard();
}

void pointPort(Host &host, int com, const QString &device)
{
    host.settings().setText(QStringLiteral("PORTS"), QStringLiteral("COM%1").arg(com), device);
}

void select(QListWidget *list, const QString &name)
{
    const QList<QListWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    list->setCurrentItem(found.first());
}

QList<QByteArray> program(int count)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= count; ++k)
        lines.append("N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number(k) + ".5 F300.");
    return lines;
}

} // namespace

class TestCommWindows : public HostTest
{
    Q_OBJECT

    // A Send window on `lines` (in a file named `fileName`) with machine Mill on a pty chosen.
    std::unique_ptr<frmSend> sendWindow(const QList<QByteArray> &lines, const MachineProfile &mill, const PtyPair &pty,
                                        const QString &fileName = QStringLiteral("program.nc"))
    {
        QByteArray text;
        for (const QByteArray &line : lines)
            text += line + "\r\n";
        const QString path = testEnvironment().path(fileName);
        writeBytes(path, text);
        shell->editor().lockup(false);
        shell->editor().loadFile(path);
        folder().write(mill);
        pointPort(*shell, mill.comPort, pty.slavePath());
        auto w = std::make_unique<frmSend>(*shell);
        w->Form_Load();
        select(w->picker->m, mill.name);
        return w;
    }

    // A shown Receive window with machine Lathe (end of block CR) chosen, COM1 on `device`; it
    // deletes itself when it closes.
    frmReceive *receiveWindow(const QString &device)
    {
        folder().write(machine(QStringLiteral("Lathe"), "\r"));
        pointPort(*shell, 1, device);
        auto *w = new frmReceive(*shell);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->Form_Load();
        w->show();
        select(w->picker->m, QStringLiteral("Lathe"));
        return w;
    }

    void prepare() override
    {
        comm::PortMap().write(shell->settings());
        comm::rememberMachine(shell->settings(), QString());
    }

private slots:
    // The refusals of Manage Machines, each with its message and nothing written.
    void manageMachinesRefusals()
    {
        PtyPair pty;
        pointPort(*shell, 1, pty.slavePath());
        for (const QString &name : {QStringLiteral("Drill"), QStringLiteral("Lathe"), QStringLiteral("Mill")})
            folder().write(machine(name));
        frmSendMachine w(*shell);
        w.Form_Load();
        QVERIFY(w.Command3->isHidden());
        w.Command3_Click();
        shell->scripted.answerText(QStringLiteral("Mill"));
        w.Command1_Click();
        QFile::remove(folder().fileOf(QStringLiteral("Lathe")));
        select(w.m, QStringLiteral("Lathe"));
        QCOMPARE(listed(w.m), (QStringList{QStringLiteral("Drill"), QStringLiteral("Mill")}));
        QCOMPARE(w.loaded().name, QString());

        select(w.m, QStringLiteral("Mill"));
        QVERIFY(!w.Command3->isHidden());
        const QByteArray drill = readBytes(folder().fileOf(QStringLiteral("Drill")));
        w.txtName->setText(QStringLiteral("Drill"));
        w.txtComments->setText(QStringLiteral("changed"));
        shell->scripted.answer(Prompts::Answer::Yes);
        w.Command3_Click();
        QCOMPARE(shell->messages(),
                 (QStringList{QStringLiteral("message: No machine loaded."),
                              QStringLiteral("input: Create new machine. (Name): Please enter a name for your new machine."),
                              QStringLiteral("message: ERROR: Sorry you already have a machine with that name."),
                              QStringLiteral("message: Machine does not exist."),
                              QStringLiteral("ask: VORNEXA: Are you sure you want to save changes to Mill?"),
                              QStringLiteral("message: Sorry, that name is already in use. Machine will not be saved.")}));
        QCOMPARE(readBytes(folder().fileOf(QStringLiteral("Drill"))), drill);
        QCOMPARE(folder().read(QStringLiteral("Mill")), machine(QStringLiteral("Mill")));
    }

    // Setup, for the machine loaded: its fields saved at OK in the setup file, the profile as it was.
    void setupOfAMachine()
    {
        folder().write(machine(QStringLiteral("Mill")));
        const QByteArray profile = readBytes(folder().fileOf(QStringLiteral("Mill")));
        frmSendMachine w(*shell);
        w.Form_Load();
        QVERIFY(!w.cmdSetup->isEnabled());
        select(w.m, QStringLiteral("Mill"));
        QVERIFY(w.cmdSetup->isEnabled());
        w.txtName->setText(QStringLiteral("Renamed, not saved"));
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto *setup = qobject_cast<frmMachineSetup *>(QApplication::activeModalWidget());
            QVERIFY(setup);
            shown = true;
            QCOMPARE(setup->machine(), QStringLiteral("Mill"));
            setup->findChild<QComboBox *>(QStringLiteral("cboDialect"))->setCurrentIndex(2);
            setup->findChild<QLineEdit *>(QStringLiteral("txtDefaultRapid"))->setText(QStringLiteral("9000"));
            QTableWidget *axes = setup->findChild<QTableWidget *>(QStringLiteral("axes"));
            axes->item(2, frmMachineSetup::Limited)->setCheckState(Qt::Checked);
            axes->item(2, frmMachineSetup::Min)->setText(QStringLiteral("-300"));
            axes->item(2, frmMachineSetup::MaxFeed)->setText(QString()); // empty reads as 0
            setup->chkDncEnabled->setChecked(true);
            setup->txtDncBackups->setText(QStringLiteral("5"));
            QStringList patterns = setup->txtDncRequests->toPlainText().split(QLatin1Char('\n'));
            QCOMPARE(patterns.size(), 3);
            patterns.removeAt(1);
            setup->txtDncRequests->setPlainText(patterns.join(QLatin1Char('\n')));
            setup->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        w.cmdSetup->click();
        QVERIFY(shown);
        interp::MachineSetup expected;
        expected.dialect = interp::Dialect::Grbl;
        expected.defaultRapid = 9000;
        expected.axes[2] = {true, -300, 0, 0, 0, 0};
        expected.dnc.enabled = true;
        expected.dnc.backups = 5;
        expected.dnc.requests[1] = expected.dnc.requests[2];
        expected.dnc.requests[2].clear();
        QString warning;
        QCOMPARE(folder().readSetup(QStringLiteral("Mill"), warning), expected);
        QCOMPARE(readBytes(folder().fileOf(QStringLiteral("Mill"))), profile);
        QCOMPARE(shell->messages(), QStringList());
    }

    // What OK refuses is said, and the setup file stays as it was; so it does when it cannot be written.
    void setupRefusals()
    {
        folder().write(machine(QStringLiteral("Mill")));
        const QByteArray damaged = "X.max=abc\n";
        writeBytes(folder().setupFileOf(QStringLiteral("Mill")), damaged);
        frmMachineSetup setup(*shell, folder(), QStringLiteral("Mill"));
        setup.axes->item(0, frmMachineSetup::Rapid)->setText(QStringLiteral("fast"));
        setup.cmdOK->click();
        setup.axes->item(0, frmMachineSetup::Rapid)->setText(QStringLiteral("-5"));
        setup.cmdOK->click();
        setup.axes->item(0, frmMachineSetup::Rapid)->setText(QStringLiteral("5"));
        setup.txtNDigits->setText(QStringLiteral("4.5"));
        setup.cmdOK->click();
        setup.txtNDigits->setText(QStringLiteral("4"));
        QCOMPARE(readBytes(folder().setupFileOf(QStringLiteral("Mill"))), damaged);
        bool locked = false;
        {
            LockedFolder unwritable(folder().path());
            locked = unwritable.ok();
            if (locked)
                setup.cmdOK->click();
        }
        QCOMPARE(readBytes(folder().setupFileOf(QStringLiteral("Mill"))), damaged);
        QCOMPARE(setup.result(), int(QDialog::Rejected));
        QStringList told{
            QStringLiteral("message: The setup of machine Mill (%1) is damaged: line 1: 'X.max=abc': abc is not a number; "
                           "the defaults are used.")
                .arg(folder().setupFileOf(QStringLiteral("Mill"))),
            QStringLiteral("message: Rapid (mm/min) of axis X: \"fast\" is not a number."),
            QStringLiteral("message: The setup cannot be saved: X.rapid cannot be negative (it is -5)."),
            QStringLiteral("message: N digits: \"4.5\" is not a whole number.")};
        QCOMPARE(shell->messages().mid(0, 4), told);
        QCOMPARE(shell->messages().size(), locked ? 5 : 4);
        if (locked)
            QVERIFY2(shell->messages().last().startsWith(
                         QStringLiteral("warning: ERROR: ERROR 75: The setup of machine \"Mill\" cannot be saved: ")),
                     qPrintable(shell->messages().last()));

        setup.cmdOK->click();
        QCOMPARE(setup.result(), int(QDialog::Accepted));
        QString warning;
        QCOMPARE(folder().readSetup(QStringLiteral("Mill"), warning).axes[0].rapid, 5.0);
        QCOMPARE(folder().readSetup(QStringLiteral("Mill"), warning).nDigits, 4);
    }

    // The port check of Update Changes, with the device of the number as the window shows it: 17,
    // letters and a device that does not exist are refused, 16 on a pty is saved.
    void comPortCheck()
    {
        PtyPair pty;
        folder().write(machine(QStringLiteral("Mill")));
        const QByteArray before = readBytes(folder().fileOf(QStringLiteral("Mill")));
        const std::pair<QString, QString> typed[] = { // the number, and the device typed for it
            {QStringLiteral("17"), QString()}, {QStringLiteral("COM2"), QString()}, {QStringLiteral("3"), kNoSuchPort},
            {QStringLiteral("16"), pty.slavePath()}};
        for (const auto &[com, device] : typed) {
            shell->scripted.clear();
            frmSendMachine w(*shell);
            w.Form_Load();
            select(w.m, QStringLiteral("Mill"));
            QCOMPARE(w.cboDevice->currentText(), QStringLiteral("/dev/ttyS0"));
            w.txtCom->setText(com);
            QCOMPARE(w.cboDevice->isEnabled(), com == QLatin1String("3") || com == QLatin1String("16"));
            if (!device.isEmpty())
                w.cboDevice->setEditText(device);
            shell->scripted.answer(Prompts::Answer::Yes);
            w.Command3_Click();
            const comm::PortMap stored = comm::PortMap::read(shell->settings());
            if (device == pty.slavePath()) {
                QCOMPARE(shell->messages().size(), 1);
                QCOMPARE(folder().read(QStringLiteral("Mill")).comPort, 16);
                QCOMPARE(stored.device(16), pty.slavePath());
            } else {
                QCOMPARE(shell->messages().last(), QStringLiteral("message: Invalid COM port."));
                QCOMPARE(readBytes(folder().fileOf(QStringLiteral("Mill"))), before);
                QCOMPARE(stored, comm::PortMap());
            }
        }
    }

    // A rename keeps one file; the end of block and start text come back in the notation; removing
    // the last machine hides Update Changes.
    void renameThenRemove()
    {
        PtyPair pty;
        pointPort(*shell, 1, pty.slavePath());
        folder().write(machine(QStringLiteral("Mill"), "\n"));
        frmSendMachine w(*shell);
        w.Form_Load();
        select(w.m, QStringLiteral("Mill"));
        QVERIFY(w.eob[0]->isChecked());
        w.txtName->setText(QStringLiteral("Mill 2"));
        QCOMPARE(w.Command3->text(), QStringLiteral("Update Changes To Mill 2"));
        w.eob[5]->setChecked(true);
        w.txtF->setText(QStringLiteral("(CR)(LF)"));
        w.txtBOF->setText(QStringLiteral("%(CR)"));
        shell->scripted.answer(Prompts::Answer::Yes);
        w.Command3_Click();
        QCOMPARE(QDir(folder().path()).entryList(QDir::Files), QStringList{QStringLiteral("Mill 2.qen")});
        QCOMPARE(listed(w.m), QStringList{QStringLiteral("Mill 2")});
        const MachineProfile renamed = folder().read(QStringLiteral("Mill 2"));
        QCOMPARE(renamed.eob, QByteArray("\r\n"));
        QCOMPARE(renamed.bof, QByteArray("%\r"));

        frmSendMachine again(*shell);
        again.Form_Load();
        select(again.m, QStringLiteral("Mill 2"));
        QVERIFY(again.eob[3]->isChecked());
        QCOMPARE(again.txtBOF->text(), QStringLiteral("%(CR)"));
        shell->scripted.answer(Prompts::Answer::Yes);
        again.Command2_Click();
        QCOMPARE(again.m->count(), 0);
        QVERIFY(again.Command3->isHidden());
        QVERIFY(QDir(folder().path()).entryList(QDir::Files).isEmpty());
    }

    // The list's focus item is no choice: a list that takes the keyboard focus chooses nothing and
    // remembers nothing. A click on a machine reads its profile, again on every click, and is
    // remembered; the next picker selects the machine last used, and remembers a new choice.
    void pickerChoices()
    {
        MachineProfile mill = machine(QStringLiteral("Mill"));
        mill.comments = QStringLiteral("Shop floor, bay 2");
        folder().write(mill);
        folder().write(machine(QStringLiteral("Lathe")));
        comm::MachinePicker picker(*shell, nullptr);
        picker.fill();
        picker.show();
        QVERIFY(QTest::qWaitForWindowActive(&picker));
        picker.m->setFocus();
        QTRY_VERIFY(picker.m->hasFocus());
        QVERIFY(picker.m->currentItem()); // the list made an item current by itself
        QVERIFY(!picker.profile());
        QCOMPARE(comm::lastUsedMachine(shell->settings()), QString());

        QListWidgetItem *item = picker.m->findItems(QStringLiteral("Mill"), Qt::MatchExactly).first();
        const QPoint at = picker.m->visualItemRect(item).center();
        QTest::mouseClick(picker.m->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(picker.profile()->eob, QByteArray("\r\n"));
        mill.eob = "\n";
        folder().write(mill); // changed in Manage Machines meanwhile
        QTest::mouseClick(picker.m->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(picker.profile()->eob, QByteArray("\n"));
        QCOMPARE(comm::lastUsedMachine(shell->settings()), QStringLiteral("Mill"));

        comm::MachinePicker next(*shell, nullptr);
        next.fill();
        QCOMPARE(next.profile()->name, QStringLiteral("Mill"));
        QCOMPARE(next.MachineSpec->text(), comm::profileSummary(mill));
        QCOMPARE(next.Label3->text(), QStringLiteral("Comments for Mill:"));
        select(next.m, QStringLiteral("Lathe"));
        QCOMPARE(comm::lastUsedMachine(shell->settings()), QStringLiteral("Lathe"));
        QCOMPARE(shell->messages(), QStringList());
    }

    // The bytes on the wire from the Send window, and its button while it sends.
    void sendWindow_data()
    {
        QTest::addColumn<MachineProfile>("mill");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("range"); // "" for All Lines
        QTest::addColumn<QStringList>("fly");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("captions");
        const QList<QByteArray> p = program(6);
        MachineProfile percent = machine(QStringLiteral("Mill"), "\n");
        percent.bof = "%";
        percent.bofeob = 1;
        percent.eof = "%";
        QTest::newRow("texts around it, a range") << percent << 6 << "2-4" << QStringList()
                                                  << "%\n" + p[1] + "\n" + p[2] + "\n" + p[3] + "\n%"
                                                  << QStringList{"33.33%", "66.67%", "100.00%"};
        MachineProfile strippit = machine(QStringLiteral("Mill"), "\r");
        strippit.strippit = 1;
        strippit.eof = "M30";
        const QByteArray zeros(10, '\0');
        QTest::newRow("special protocol") << strippit << 1 << "" << QStringList()
                                          << zeros + "PART.NC" + zeros + p[0] + "\rM30" + zeros << QStringList{"100.00%"};
        QTest::newRow("two edits on the fly") << machine(QStringLiteral("Mill")) << 2 << "" << QStringList{"A", "B"}
                                              << p[0] + "AB\r\n" + p[1] + "\r\n" << QStringList{"50.00%", "100.00%"};
    }
    void sendWindow()
    {
        QFETCH(MachineProfile, mill);
        QFETCH(int, lines);
        QFETCH(QString, range);
        QFETCH(QStringList, fly);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, captions);
        PtyPair pty;
        auto w = sendWindow(program(lines), mill, pty, QStringLiteral("PART.NC"));
        if (!range.isEmpty()) {
            w->LINE2LINE->setChecked(true);
            w->StartLine->setText(range.section(QLatin1Char('-'), 0, 0));
            w->EndLine->setText(range.section(QLatin1Char('-'), 1, 1));
        }
        w->Go->click();
        QVERIFY(shell->editor().Run);
        QVERIFY(!w->cq->isHidden() && !w->Command2->isHidden() && !w->picker->m->isEnabled());
        QStringList shown;
        connect(w->transfer(), &comm::SendTransfer::progress, this, [&] { shown.append(w->Go->text()); });
        for (const QString &answer : fly) {
            shell->scripted.answerText(answer);
            w->Command2->click();
        }
        QTRY_VERIFY(!shell->editor().Run);
        QTRY_COMPARE(pty.received(), wire);
        QCOMPARE(shown, captions);
        QCOMPARE(w->Go->text(), QStringLiteral("&Send"));
        QVERIFY(w->cq->isHidden() && w->Command2->isHidden() && w->picker->m->isEnabled());
        QVERIFY(!pty.slaveOpen());
        QVERIFY(!shell->busyShown);
    }

    // Start at Line: the restart is shown and drawn, then sent as the restart program is written;
    // declined, refused or sent, the lock comes back and the view is editable.
    void sendFromALine()
    {
        PtyPair pty;
        const QList<QByteArray> lines = {"G21 G90", "T2 M6", "S900 M3", "G0 X0 Y0 Z3", "G1 Z-1 F200", "X20",
                                         "G41 D2 Y20", "X0", "G40 Y0", "M2"};
        const MachineProfile mill = machine(QStringLiteral("Mill"));
        auto w = sendWindow(lines, mill, pty);
        const comm::RestartBoard &board = comm::RestartBoard::of(shell->mainWindow());
        qsizetype drawn = 0;
        connect(&board, &comm::RestartBoard::changed, this, [&] { drawn = std::max(drawn, board.moves().size()); });
        w->RESTART->setChecked(true);
        w->RestartLine->setText(QStringLiteral("6"));
        shell->scripted.answer(Prompts::Answer::No);
        w->Go->click();
        w->RestartLine->setText(QStringLiteral("8"));
        w->Go->click();
        QVERIFY(!shell->editor().Run && !shell->lock().held && w->Go->text() == QStringLiteral("&Send"));
        QCOMPARE(pty.received(), QByteArray());
        const QStringList told = shell->messages();
        QCOMPARE(told.size(), 2);
        QVERIFY2(told[0].contains(QLatin1String("Send the restart from line 6 to Mill?")) && told[0].contains(QLatin1String("\nT2 M6\n")),
                 qPrintable(told[0]));
        QVERIFY2(told[1].startsWith(QLatin1String("message: No restart from line 8: line 8 is under cutter compensation")), qPrintable(told[1]));
        QVERIFY(drawn >= 3 && board.moves().isEmpty()); // the retract and the approach, while asked

        shell->scripted.answer(Prompts::Answer::Yes);
        w->RestartLine->setText(QStringLiteral("6"));
        w->Go->click();
        QTRY_VERIFY(!shell->editor().Run);
        interp::Setup setup;
        setup.subroutineFolder = testEnvironment().path(QString());
        const interp::RestartPlan plan = comm::planRestartOf(shell->editor().program(), setup, {}, 6, 1);
        QVERIFY(plan.ok);
        comm::RestartCopy copy;
        QVERIFY(!copy.make(shell->editor().program(), plan));
        QTRY_COMPARE(pty.received(), comm::wholeSend(mill, {}, copy.program().readLines(tessarc::LineNumber(1), copy.program().lineCount())));
        QVERIFY(!shell->lock().held && !shell->busyShown);
    }

    // Save Restart Program As...: shown, drawn, written where the machinist says; stale after a change.
    void saveRestartProgram()
    {
        shell->open({"G21 G90", "G0 X0 Y0 Z2", "G1 Z-1 F100", "X30", "Y30", "M2"});
        shell->editor().curLine = 5;
        comm::frmRestart w(*shell);
        w.Form_Load();
        QCOMPARE(w.txtLine->text(), QStringLiteral("5"));
        const QString file = testEnvironment().path(QStringLiteral("rest.nc"));
        shell->scripted.answerText(file);
        w.cmdSave->click();
        QVERIFY(w.plan().ok);
        QVERIFY(w.txtRestart->toPlainText().contains(QLatin1String("\nG53 G0 Z0\n")));
        QCOMPARE(comm::RestartBoard::of(shell->mainWindow()).moves().size(), w.plan().retract.size() + w.plan().approach.size());
        QByteArray expected;
        for (const QByteArray &own : w.plan().preamble)
            expected += own + "\r\n";
        QCOMPARE(readBytes(file), expected + "Y30\r\nM2\r\n");
        QVERIFY(!shell->lock().held && !shell->editor().Run);
        QCOMPARE(shell->notes.last(), QStringLiteral("Saved the restart from line 5 to rest.nc."));

        shell->editor().program().replaceLines(tessarc::LineNumber(4), 1, {"X40"});
        QVERIFY(comm::RestartBoard::of(shell->mainWindow()).moves().isEmpty());
        QVERIFY(w.txtRestart->toPlainText().endsWith(QLatin1String("Show makes it again.")));
        w.txtLine->setText(QStringLiteral("9"));
        QVERIFY(!w.cmdShow_Click());
        QCOMPARE(shell->messages().last(), QStringLiteral("message: Restart Program: The restart needs a line of the program, from 1 to 6, and a pass from 1."));
    }

    // The machine holds XOFF; Cancel closes the port at once and gives everything back.
    void xoffThenCancel()
    {
        PtyPair pty;
        MachineProfile mill = machine(QStringLiteral("Mill"), "\r\n", 1);
        mill.eof = "%";
        auto w = sendWindow(program(3000), mill, pty);
        w->Go->click();
        connect(w->transfer(), &comm::SendTransfer::progress, this, [&] {
            if (w->transfer()->sent() == 200) {
                pty.xoff();
                QVERIFY(heldWithoutEvents(w->transfer()->port().handle()));
            }
        });
        QTRY_VERIFY(w->transfer()->port().outBufferCount() >= comm::kOutputWaitLimit);
        QVERIFY(shell->editor().Run);
        QElapsedTimer clock;
        clock.start();
        w->cq->click();
        QTRY_VERIFY(!pty.slaveOpen() && !shell->editor().Run);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(w->Go->text(), QStringLiteral("&Send"));
        QVERIFY(w->cq->isHidden());
        pty.xon();
        QVERIFY(!pty.received().endsWith('%'));
    }

    // What Send refuses, and a port that cannot be opened: the error, and the window goes.
    void sendRefusals()
    {
        PtyPair pty;
        frmSend none(*shell);
        none.Go_Click();
        MachineProfile mill = machine(QStringLiteral("Mill"));
        mill.comPort = 3;
        frmSend *w = sendWindow(program(3), mill, pty).release();
        w->setAttribute(Qt::WA_DeleteOnClose);
        const QPointer<frmSend> alive(w);
        w->show();
        w->LINE2LINE->setChecked(true);
        w->StartLine->setText(QStringLiteral("3"));
        w->EndLine->setText(QStringLiteral("2"));
        w->Go_Click();
        w->StartLine->setText(QStringLiteral("1"));
        shell->lock().take();
        w->Go_Click();
        shell->lock().release();
        pointPort(*shell, 3, kNoSuchPort);
        w->Go_Click();
        QTRY_VERIFY(!alive);
        QVERIFY(!shell->editor().Run);
        QCOMPARE(shell->messages(),
                 (QStringList{QStringLiteral("message: You must select a machine to send to."),
                              QStringLiteral("message: Are all the text boxes filled out correctly?"),
                              QStringLiteral("message: ") + shell->values().messages.alreadyRunning,
                              QStringLiteral("warning: ERROR: ERROR 8002: Invalid port number: COM3 is ") + kNoSuchPort +
                                  QStringLiteral(", which does not exist.")}));
    }

    // A capture saved where the machinist says, the overwrite question answered No first; then
    // verified against the program sent (the open one) and against another.
    void receiveAndSave()
    {
        shell->open({"N10", "N20"});
        const QString sent = shell->editor().lfile;
        const QString other = testEnvironment().path(QStringLiteral("other.nc"));
        writeBytes(other, "N10\r\nM30\r\n");
        PtyPair pty;
        const QString target = testEnvironment().path(QStringLiteral("received.nc"));
        writeBytes(target, "an older program");
        frmReceive *w = receiveWindow(pty.slavePath());
        const QPointer<frmReceive> alive(w);
        w->Go->click();
        QVERIFY(w->Go->isHidden() && !w->Command2->isHidden());
        QTRY_VERIFY(pty.slaveOpen());
        pty.write("N10\rN20\r");
        QTRY_COMPARE(w->lblProgress->text(), QStringLiteral("10"));
        for (Prompts::Answer answer : {Prompts::Answer::No, Prompts::Answer::Yes}) {
            shell->scripted.answerText(target);
            shell->scripted.answer(answer);
        }
        w->Command2->click();
        const QString overwrite = QStringLiteral("ask: File already exists.: Would you like to overwrite ") + target;
        QCOMPARE(shell->messages(),
                 (QStringList{QStringLiteral("save dialog"), overwrite, QStringLiteral("save dialog"), overwrite}));
        QCOMPARE(readBytes(target), QByteArray("N10\r\nN20\r\n"));
        QVERIFY(!shell->editor().Run && !pty.slaveOpen());
        QVERIFY(alive && !w->cmdCompare->isHidden());
        shell->scripted.clear();
        shell->scripted.answerText(sent);
        w->cmdCompare->click();
        shell->scripted.answerText(other);
        w->cmdCompare->click();
        const QString name = QFileInfo(sent).fileName();
        QCOMPARE(shell->messages(),
                 (QStringList{QStringLiteral("open dialog"),
                              QStringLiteral("message: %1 and the capture received.nc are identical as programs.").arg(name),
                              QStringLiteral("open dialog"),
                              QStringLiteral("message: other.nc and the capture received.nc differ: 1 difference; the first at "
                                             "line 2 of other.nc (line 2 of the capture received.nc).")}));
        QVERIFY(!shell->lock().held);
        w->close();
        QTRY_VERIFY(!alive);
    }

    // Stopped before anything came; a port that cannot be opened is an error, not "Nothing Received".
    void receiveEndings()
    {
        PtyPair pty;
        for (const QString &device : {pty.slavePath(), kNoSuchPort}) {
            frmReceive *w = receiveWindow(device);
            const QPointer<frmReceive> alive(w);
            w->Go->click();
            if (device == pty.slavePath()) {
                QTRY_VERIFY(pty.slaveOpen());
                w->Command2->click();
            }
            QTRY_VERIFY(!alive);
            QVERIFY(!shell->editor().Run);
        }
        QCOMPARE(shell->messages(), (QStringList{QStringLiteral("message: Nothing Received"),
                                                 "warning: ERROR: ERROR 8002: Invalid port number: COM1 is " + kNoSuchPort +
                                                     ", which does not exist."}));
    }

    // Opening with nothing to work on: the reason, and the window closes (to Manage Machines when
    // there is no machine).
    void openingWithNothing()
    {
        auto *send = new frmSend(*shell);
        send->setAttribute(Qt::WA_DeleteOnClose);
        const QPointer<frmSend> sendAlive(send);
        send->Form_Load();
        send->show();
        QTRY_VERIFY(!sendAlive);
        QCOMPARE(shell->messages(), QStringList{QStringLiteral("message: You must load a file before using this feature.")});
        shell->open(program(2));
        for (QWidget *w : {static_cast<QWidget *>(new frmSend(*shell)), static_cast<QWidget *>(new frmReceive(*shell))}) {
            const QPointer<QWidget> alive(w);
            w->setAttribute(Qt::WA_DeleteOnClose);
            w->show();
            QTRY_VERIFY(!alive);
        }
        const QList<frmSendMachine *> manage = shell->mainWindow()->findChildren<frmSendMachine *>();
        QCOMPARE(manage.size(), 1); // opened once, brought forward the second time
        QVERIFY(manage.first()->isVisible());
        QCOMPARE(shell->placed, QList<QPointer<QWidget>>{manage.first()}); // beside the text, once
        QCOMPARE(shell->messages(),
                 (QStringList{QStringLiteral("message: Sorry, cannot find any current machines. You will be taken to "
                                             "the manage machines form now."),
                              QStringLiteral("message: Sorry, cannot find any current machines. You will be taken to "
                                             "the manage machines forum now.")}));
    }
};

VORNEXA_TEST_MAIN(TestCommWindows)
#include "tst_comm_windows.moc"
