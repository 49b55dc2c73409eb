#include "frmreclen.h"
#include "mainwindowtest.h"
#include "options.h"
#include "pageview.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpinBox>

class TestOptions : public MainWindowTest
{
    Q_OBJECT

private slots:
    // Cancel writes nothing; what the window shows is what Apply writes: the defaults, in the
    // store's own forms.
    void cancelWritesNothingApplyWritesTheDefaults()
    {
        start();
        {
            Options o(*w);
            o.txtStartComment->setText(QStringLiteral("["));
            o.scrMax->setValue(9);
            o.Check3->setChecked(false);
            o.Command3->click();
            QVERIFY(!o.isVisible());
        }
        QCOMPARE(storedSetting(QStringLiteral("COMMENTS/STARTCOMMENT")), QStringLiteral("(absent)"));
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/OUTPUTFORMAT")), QStringLiteral("(absent)"));
        QCOMPARE(w->globalVar.comments.startComment, QStringLiteral("("));
        QVERIFY(w->TESSARC1->lfEndsLine);
        Options o(*w);
        o.Command1->click();
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/OUTPUTFORMAT")), QStringLiteral("0.####"));
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/PERCENTFORMAT")), QStringLiteral("0.00"));
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/CALCPERCENT")), QStringLiteral("True"));
        QCOMPARE(storedSetting(QStringLiteral("NUMBERS/SPACES")), QStringLiteral("True"));
        QCOMPARE(storedSetting(QStringLiteral("IO/LFENDSLINE")), QStringLiteral("True"));
        QCOMPARE(storedSetting(QStringLiteral("HL/COLOR7")), QStringLiteral("16711935"));
        QVERIFY(prompts.log.isEmpty());
    }

    void placesMakeTheNumberPictures_data()
    {
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("percentPicture");
        QTest::newRow("2 and 5") << 2 << 5 << 2 << "0.00###" << "0.00";
        QTest::newRow("0 and 0") << 0 << 0 << 0 << "0." << "0.";
        QTest::newRow("all places always written") << 3 << 3 << 4 << "0.000" << "0.0000";
        QTest::newRow("the most the bars hold") << 20 << 20 << 20 << "0." + QString(20, QLatin1Char('0'))
                                                << "0." + QString(20, QLatin1Char('0'));
    }
    void placesMakeTheNumberPictures()
    {
        QFETCH(int, least);
        QFETCH(int, most);
        QFETCH(int, percent);
        QFETCH(QString, output);
        QFETCH(QString, percentPicture);
        start();
        {
            Options o(*w);
            o.scrMax->setValue(most);
            o.scrMin->setValue(least);
            o.scrPer->setValue(percent);
            o.Command4->click(); // Ok: Apply, then close
        }
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/OUTPUTFORMAT")), output);
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/PERCENTFORMAT")), percentPicture);
        QCOMPARE(w->globalVar.numbers.outputFormat, output);
        QCOMPARE(w->globalVar.numbers.percentFormat, percentPicture);
        // Opened again, the window reads the same places back.
        Options again(*w);
        QCOMPARE(again.scrMin->value(), least);
        QCOMPARE(again.scrMax->value(), most);
        QCOMPARE(again.scrPer->value(), percent);
    }

    // The least places never pass the most; a hand-edited picture is shown as the bars hold it.
    void theBarsHoldTheirLimits()
    {
        storeSetting(QStringLiteral("FORMATS/OUTPUTFORMAT"), QStringLiteral("0.") + QString(25, QLatin1Char('0')) + QStringLiteral("##"));
        storeSetting(QStringLiteral("FORMATS/PERCENTFORMAT"), QStringLiteral("0.0"));
        start();
        Options o(*w);
        QCOMPARE(o.scrMin->value(), 20);
        QCOMPARE(o.scrMax->value(), 20);
        QCOMPARE(o.scrPer->value(), 1);
        o.scrMax->setValue(3);
        QCOMPARE(o.scrMin->value(), 3);
        o.scrMin->setValue(7);
        QCOMPARE(o.scrMax->value(), 7);
    }

    void applyHandsTheEditorItsSettings()
    {
        start();
        auto o = std::make_unique<Options>(*w);
        QVERIFY(o->txtCommands->text().startsWith(QStringLiteral("MSG, ")));
        o->txtStartComment->setText(QStringLiteral(";"));
        o->txtEndComment->clear();
        o->txtCommands->clear();
        o->Check1->setChecked(false);
        o->Check2->setChecked(false);
        o->Check3->setChecked(false);
        o->a[3]->setText(QStringLiteral("IJK"));
        o->txtUndoSteps->setValue(3);
        QCOMPARE(o->saveEnds->currentText(), QStringLiteral("as the program had them"));
        o->saveEnds->setCurrentText(QStringLiteral("LF"));
        o->Command1->click();
        QCOMPARE(storedSetting(QStringLiteral("COMMENTS/STARTCOMMENT")), QStringLiteral(";"));
        QCOMPARE(storedSetting(QStringLiteral("COMMENTS/COMMANDS")), QString());
        QCOMPARE(w->TESSARC1->startComment, QStringLiteral(";"));
        QCOMPARE(w->TESSARC1->endComment, QString());
        QCOMPARE(storedSetting(QStringLiteral("NUMBERS/SPACES")), QStringLiteral("False"));
        QCOMPARE(storedSetting(QStringLiteral("FORMATS/CALCPERCENT")), QStringLiteral("False"));
        QCOMPARE(storedSetting(QStringLiteral("IO/LFENDSLINE")), QStringLiteral("False"));
        QVERIFY(!w->globalVar.numbers.spaces);
        QVERIFY(!w->globalVar.numbers.calcPercent);
        QVERIFY(!w->TESSARC1->lfEndsLine);
        QCOMPARE(storedSetting(QStringLiteral("HL/AXIS3")), QStringLiteral("IJK"));
        QCOMPARE(w->TESSARC1->colorSlots()[3].letters, QStringLiteral("IJK"));
        QCOMPARE(w->TESSARC1->program().history().stepLimit(), 3);
        QCOMPARE(storedSetting(QStringLiteral("IO/SAVEENDS")), QStringLiteral("LF"));
        QCOMPARE(w->TESSARC1->program().saveEnds, tessarc::Program::SaveEnds::Lf);

        o.reset();
        // The next start reads them back, the line feed rule included.
        w.reset();
        start();
        QVERIFY(!w->TESSARC1->lfEndsLine);
        QCOMPARE(w->TESSARC1->program().history().stepLimit(), 3);
        Options again(*w);
        QVERIFY(!again.Check3->isChecked());
        QCOMPARE(again.saveEnds->currentText(), QStringLiteral("LF"));
        QCOMPARE(w->TESSARC1->program().saveEnds, tessarc::Program::SaveEnds::Lf);
        QVERIFY(!again.Check1->isChecked());
        QCOMPARE(again.txtEndComment->text(), QString());
    }

    void coloursComeFromTheColourDialog()
    {
        start();
        Options o(*w);
        prompts.answerColor(QColor(1, 2, 3));
        o.c[3]->click();
        QCOMPARE(o.c[3]->colorValue(), 0x030201);
        QCOMPARE(o.a[3]->palette().color(QPalette::Text), QColor(1, 2, 3));
        prompts.answerColor(QColor(0, 0, 128));
        o.bColor->click();
        QCOMPARE(o.a[7]->palette().color(QPalette::Base), QColor(0, 0, 128)); // the rows show the back colour
        // A dialog closed without a choice keeps the colour the button had.
        prompts.answerNothing();
        o.fColor->click();
        QCOMPARE(o.fColor->colorValue(), 255);
        prompts.answerColor(QColor(0, 255, 0));
        o.fColor->click();
        // Nothing is written before Apply.
        QCOMPARE(storedSetting(QStringLiteral("HL/COLOR3")), QStringLiteral("(absent)"));
        o.Command1->click();
        QCOMPARE(storedSetting(QStringLiteral("HL/COLOR3")), QString::number(0x030201));
        QCOMPARE(storedSetting(QStringLiteral("COLOR/LBACKCOLOR")), QString::number(0x800000));
        QCOMPARE(storedSetting(QStringLiteral("COLOR/LFORECOLOR")), QString::number(0x00ff00));
        QCOMPARE(w->TESSARC1->colorSlots()[3].color, 0x030201);
        QCOMPARE(w->TESSARC1->textColor(), 0x00ff00);
    }

    void theFontComesFromTheFontDialog()
    {
        start();
        Options o(*w);
        QFont chosen(QStringLiteral("DejaVu Sans"));
        chosen.setPointSizeF(14.5);
        chosen.setBold(true);
        chosen.setUnderline(true);
        prompts.answerFont(chosen);
        o.Command2->click();
        // Cancelled the second time: the font chosen first stays.
        prompts.answerNothing();
        o.Command2->click();
        o.Command1->click();
        QCOMPARE(storedSetting(QStringLiteral("FONT/MFONTNAME")), QStringLiteral("DejaVu Sans"));
        QCOMPARE(storedSetting(QStringLiteral("FONT/MFONTSIZE")), QStringLiteral("14")); // halves to the even neighbour
        QCOMPARE(storedSetting(QStringLiteral("FONT/MFONTBOLD")), QStringLiteral("True"));
        QCOMPARE(storedSetting(QStringLiteral("FONT/MFONTUNDERLINE")), QStringLiteral("True"));
        QCOMPARE(w->globalVar.view.mFont.size, 14);
    }

    void clearingTheRecentDocumentsAsksFirst()
    {
        storeSetting(QStringLiteral("RE/REONE"), testEnvironment().path(QStringLiteral("one.nc")));
        storeSetting(QStringLiteral("RE/RETWO"), testEnvironment().path(QStringLiteral("two.nc")));
        writeBytes(testEnvironment().path(QStringLiteral("one.nc")), "X1\r\n");
        start();
        QCOMPARE(w->item(QStringLiteral("re1"))->text(), QStringLiteral("1   one.nc"));
        Options o(*w);
        prompts.answer(Prompts::Answer::No);
        o.clear->click();
        QCOMPARE(prompts.log, QStringList{QStringLiteral("ask: VORNEXA: Are you sure you want to clear most recent documents?")});
        QVERIFY(!w->globalVar.recent.entries[1].isEmpty());
        QVERIFY(storedSetting(QStringLiteral("RE/REONE")).endsWith(QStringLiteral("one.nc")));

        prompts.answer(Prompts::Answer::Yes);
        o.clear->click();
        for (const QString &entry : w->globalVar.recent.entries)
            QVERIFY(entry.isEmpty());
        for (const char *key : {"REONE", "RETWO", "RETHR", "REFOU", "REFIV"})
            QCOMPARE(storedSetting(QStringLiteral("RE/") + QLatin1String(key)), QString());
        QVERIFY(!w->item(QStringLiteral("re1"))->isVisible()); // no empty items
        // Cancel afterwards does not bring them back.
        o.Command3->click();
        QVERIFY(w->globalVar.recent.entries[0].isEmpty());
    }

    // The motion of a program sent to no machine: shown as stored, written back as plain text, and a
    // rate that is no number refused before anything is written, the window left open.
    void motionDefaults()
    {
        storeSetting(QStringLiteral("MOTION/DIALECT"), QStringLiteral("grbl"));
        storeSetting(QStringLiteral("MOTION/RAPID"), QStringLiteral("8000"));
        start();
        Options o(*w);
        QCOMPARE(o.findChild<QComboBox *>(QStringLiteral("cboDialect"))->currentText(), QStringLiteral("GRBL"));
        QCOMPARE(o.findChild<QLineEdit *>(QStringLiteral("txtRapid"))->text(), QStringLiteral("8000"));
        QCOMPARE(o.findChild<QLineEdit *>(QStringLiteral("txtAccel"))->text(), QStringLiteral("500"));
        QCOMPARE(o.findChild<QLineEdit *>(QStringLiteral("txtTolerance"))->text(), QStringLiteral("0"));

        o.show();
        o.cboDialect->setCurrentIndex(o.cboDialect->findText(QStringLiteral("Fanuc")));
        o.txtRapid->setText(QStringLiteral("12000.5"));
        o.txtAccel->setText(QStringLiteral("fast"));
        o.txtStartComment->setText(QStringLiteral("["));
        o.Command4->click();
        QCOMPARE(prompts.log, QStringList{QStringLiteral("message: VORNEXA: The acceleration must be a number above 0; "
                                                         "\"fast\" is not one.")});
        QVERIFY(o.isVisible());
        QCOMPARE(storedSetting(QStringLiteral("MOTION/DIALECT")), QStringLiteral("grbl"));
        QCOMPARE(storedSetting(QStringLiteral("COMMENTS/STARTCOMMENT")), QStringLiteral("(absent)"));

        o.txtAccel->setText(QStringLiteral("250"));
        o.txtTolerance->setText(QStringLiteral("-0.01"));
        o.Command4->click();
        QCOMPARE(prompts.log.last(), QStringLiteral("message: VORNEXA: The compare tolerance must be a number from 0; \"-0.01\" is not one."));
        QCOMPARE(storedSetting(QStringLiteral("MOTION/DIALECT")), QStringLiteral("grbl"));
        o.txtTolerance->setText(QStringLiteral("0.001"));
        o.Command4->click();
        QVERIFY(!o.isVisible());
        QCOMPARE(storedSetting(QStringLiteral("COMPARE/TOLERANCE")), QStringLiteral("0.001"));
        QCOMPARE(w->globalVar.compare.tolerance, 0.001);
        QCOMPARE(storedSetting(QStringLiteral("MOTION/DIALECT")), QStringLiteral("fanuc"));
        QCOMPARE(storedSetting(QStringLiteral("MOTION/RAPID")), QStringLiteral("12000.5"));
        QCOMPARE(storedSetting(QStringLiteral("MOTION/ACCEL")), QStringLiteral("250"));
        QCOMPARE(w->globalVar.motion.dialect, QStringLiteral("fanuc"));
    }

    // A record length in the settings that a record cannot hold (3 to 65537 bytes) is refused at
    // start, with a message, and the default kept; a good one is used.
    void recordLengthSettings()
    {
        const std::pair<const char *, int> stored[] = { // 0: refused
            {"2147483647", 0}, {"0", 0}, {"65538", 0}, {"65537", 65537}, {"3", 3}};
        for (const auto &[text, recLen] : stored) {
            w.reset();
            prompts.clear();
            storeSetting(QStringLiteral("IO/RECLEN"), QLatin1String(text));
            start();
            const QString refused = QStringLiteral("message: VORNEXA: Bad record length: %1 bytes is outside what a record "
                                                   "holds (3 to 65537 bytes). The record length setting is refused and "
                                                   "stays 500 bytes.").arg(QLatin1String(text));
            QCOMPARE(prompts.log, recLen ? QStringList() : QStringList{refused});
            QCOMPARE(w->TESSARC1->recLen, recLen ? recLen : 500);
        }
    }

    // A length typed in the dialog is taken from 5 to 32750, compared before it is rounded to even,
    // with spaces around it or in hexadecimal; anything else is refused (0), and the dialog stays.
    void recordLengths()
    {
        const std::pair<const char *, int> typed[] = {
            {"4", 0}, {"32751", 0}, {"5", 5}, {"32750", 32750}, {"500.5", 500}, {"501.5", 502}, {"4.9", 0},
            {"32750.4", 0}, {" 1000 ", 1000}, {"abc", 0}, {"600x", 0}, {"", 0}, {"&H400", 1024}};
        for (const auto &[text, recLen] : typed) {
            w.reset();
            prompts.clear();
            emptyRunFolders();
            start();
            frmRecLen dialog(*w);
            QCOMPARE(dialog.txtValue->text(), QStringLiteral("500"));
            dialog.show();
            dialog.txtValue->setText(QLatin1String(text));
            dialog.cmdOK->click();
            QVERIFY2(prompts.log == (recLen ? QStringList() : QStringList{QStringLiteral("message: VORNEXA: Bad Value.")}), text);
            QCOMPARE(dialog.isVisible(), recLen == 0);
            QCOMPARE(w->TESSARC1->recLen, recLen ? recLen : 500);
            QCOMPARE(storedSetting(QStringLiteral("IO/RECLEN")), recLen ? QString::number(recLen) : QStringLiteral("(absent)"));
        }
    }

    // With a program open the new length is kept for the next program opened: the open one keeps
    // the records its store is laid out in until it is opened again.
    void recordLengthWithAProgramOpen()
    {
        start();
        const QString path = writeTestFile(QStringLiteral("open.nc"), "G1 X1\r\nM30\r\n");
        openThroughMenu(path);
        prompts.clear();
        frmRecLen dialog(*w);
        dialog.txtValue->setText(QStringLiteral("1000"));
        dialog.cmdOK->click();
        QCOMPARE(prompts.log, QStringList{"message: VORNEXA: The open program keeps records of 500 bytes until it is "
                                          "opened again; programs opened from now on use records of 1000 bytes."});
        QCOMPARE(storedSetting(QStringLiteral("IO/RECLEN")), QStringLiteral("1000"));
        QCOMPARE(w->TESSARC1->recLen, 500);
        QCOMPARE(w->TESSARC1->txtmain->pageLines().first(), QStringLiteral("G1 X1"));
        openThroughMenu(path);
        QCOMPARE(w->TESSARC1->recLen, 1000);
        QCOMPARE(w->TESSARC1->program().recordLength, 1000);
        QCOMPARE(frmRecLen(*w).txtValue->text(), QStringLiteral("1000"));
    }
};

VORNEXA_TEST_MAIN(TestOptions)
#include "tst_options.moc"
