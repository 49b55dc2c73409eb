#include "faults.h"
#include "numbers.h"
#include "pdftext.h"
#include "printing.h"
#include "testhost.h"

#include "pageview.h"

#include <QDir>
#include <QFontDatabase>

namespace {

const QString kAbort = QStringLiteral("message: Error in line numbers. Aborting printing.");

// The program's path as the header prints it.
QString printedProgramPath()
{
    return QDir::toNativeSeparators(testEnvironment().path(QStringLiteral("program.nc")));
}

QFont printerFont(int size, bool bold = false)
{
    QFont font(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    font.setPointSize(size);
    font.setBold(bold);
    return font;
}

} // namespace

class TestPrinting : public HostTest
{
    Q_OBJECT

    QString pdf;

    // Queues the answers of a print that goes through: the font, the copies, the range, the file.
    void answerPrint(const QFont &font, const QString &copies, const QString &start, const QString &end)
    {
        shell->scripted.answerFont(font);
        shell->scripted.answerText(copies);
        shell->scripted.answerText(start);
        shell->scripted.answerText(end);
        shell->scripted.answerText(pdf);
    }

    void print() { printing::printProgram(*shell, &functions::leadingNumber); }

    void prepare() override
    {
        pdf = testEnvironment().path(QStringLiteral("listing.pdf"));
        QFile::remove(pdf);
    }

private slots:
    void initTestCase()
    {
        // This machine's printers, if any, are never used: the listings go to PDF files.
        qputenv("CUPS_SERVER", QFile::encodeName(testEnvironment().path(QStringLiteral("no-cups.sock"))));
        QVERIFY2(printing::defaultPrinterName().isEmpty(), "a printer is reachable");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext is missing: run scripts/deps.sh");
    }

    // Lines 3 to 5 after the header, on one page; the chosen font is stored; the machinist is told
    // where the listing went.
    void printsTheChosenLines()
    {
        shell->open(numberedLines(10));
        answerPrint(printerFont(10, true), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("5"));
        print();
        QCOMPARE(shell->scripted.log,
                 (QStringList{"message: VORNEXA: Please Choose a Font.", "font dialog",
                              "input: Copies: Please enter the number of copies you would like to print:",
                              "input: Start Line: Please enter line number to start printing at:",
                              "input: End Line: Please enter line number to end printing at:", "save dialog",
                              "message: VORNEXA: No printer is set up, so the listing was written to " +
                                  QDir::toNativeSeparators(pdf) + "."}));
        const QList<QStringList> pages = pdfPages(pdf);
        QCOMPARE(pages.size(), 1);
        const QStringList &page = pages.front();
        QCOMPARE(page.size(), 6);
        QVERIFY2(page.at(0).startsWith(QStringLiteral("QEN EDIT ")), qPrintable(page.at(0)));
        QCOMPARE(page.mid(1), (QStringList{printedProgramPath(), "", "N3 X3", "N4 X4", "N5 X5"}));
        QCOMPARE(storedSetting(QStringLiteral("FONT/PFONTBOLD")), QStringLiteral("True"));
        QCOMPARE(storedSetting(QStringLiteral("FONT/PFONTSIZE")), QStringLiteral("10"));
        QVERIFY(shell->allGivenBack());
    }

    // Pages break when full, the header only at the top of each copy, a long line wrapped whole.
    void pagesBreakAndLongLinesWrap()
    {
        QList<QByteArray> lines = numberedLines(150);
        lines[6] = "N7 (" + QByteArray(260, 'W') + ") X7";
        shell->open(lines);
        answerPrint(printerFont(12), QStringLiteral("2 copies"), QStringLiteral("1"), QStringLiteral("150"));
        print();
        const QList<QStringList> pages = pdfPages(pdf);
        QVERIFY(pages.size() >= 4 && pages.size() % 2 == 0);
        const int perCopy = static_cast<int>(pages.size()) / 2;
        QByteArray expected;
        for (const QByteArray &line : lines)
            expected += line;
        for (int copy = 0; copy < 2; ++copy) {
            QString body;
            int wrapped = 0;
            for (int p = copy * perCopy; p < (copy + 1) * perCopy; ++p) {
                QStringList page = pages.at(p);
                QCOMPARE(page.front().startsWith(QStringLiteral("QEN EDIT ")), p == copy * perCopy);
                if (p == copy * perCopy)
                    page = page.mid(3);
                if (p < (copy + 1) * perCopy - 1)
                    QCOMPARE(pages.at(p).size(), pages.front().size()); // every page but the last is full
                for (const QString &line : page)
                    wrapped += line.startsWith(QLatin1Char('W')) ? 1 : 0;
                body += page.join(QString());
            }
            // A line wraps at a space where it can, and the space goes with the break.
            QCOMPARE(body.remove(QLatin1Char(' ')), QString::fromLatin1(expected).remove(QLatin1Char(' ')));
            QVERIFY(wrapped >= 1);
        }
        QVERIFY(shell->allGivenBack());
    }

    void refusalsGiveEverythingBack_data()
    {
        // After the font: the copies, start and end boxes, the file; "<cancel>" cancels a box.
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("fontChosen");
        QTest::addColumn<QString>("last");        // the last thing the machinist saw
        QTest::newRow("font dialog cancelled: the preset font, and on to the copies") << QStringList{"0"} << false
                                                                                    << kAbort;
        QTest::newRow("no copies") << QStringList{"0"} << true << kAbort;
        QTest::newRow("copies box cancelled") << QStringList{"<cancel>"} << true << kAbort;
        QTest::newRow("too many copies") << QStringList{"1000"} << true
                                         << "message: VORNEXA: No more than 999 copies can be printed at once. Aborting printing.";
        QTest::newRow("start 0") << QStringList{"1", "0", "5"} << true << kAbort;
        QTest::newRow("end before start") << QStringList{"1", "5", "4"} << true << kAbort;
        QTest::newRow("end past the last line") << QStringList{"1", "1", "11"} << true << kAbort;
        QTest::newRow("save dialog cancelled") << QStringList{"1", "1", "10", "<cancel>"} << true << "save dialog";
    }
    void refusalsGiveEverythingBack()
    {
        QFETCH(QStringList, answers);
        QFETCH(bool, fontChosen);
        QFETCH(QString, last);
        shell->open(numberedLines(10));
        if (fontChosen)
            shell->scripted.answerFont(printerFont(9));
        else
            shell->scripted.answerNothing();
        for (const QString &answer : answers) {
            if (answer == QLatin1String("<cancel>"))
                shell->scripted.answerNothing();
            else
                shell->scripted.answerText(answer);
        }
        print();
        QCOMPARE(shell->scripted.log.last().replace(QStringLiteral("VORNEXA: "), QString()),
                 QString(last).replace(QStringLiteral("VORNEXA: "), QString()));
        QVERIFY(shell->allGivenBack());
        QVERIFY(!QFile::exists(pdf));
        // The font settings are written even when the printout is abandoned.
        QCOMPARE(storedSetting(QStringLiteral("FONT/PFONTSIZE")), fontChosen ? QStringLiteral("9") : QStringLiteral("12"));
    }

    void anotherOperationRefusesPrinting()
    {
        shell->open(numberedLines(3));
        QVERIFY(shell->lock().take());
        print();
        QCOMPARE(shell->messages(), QStringList{"message: An operation is currently being preformed on this file, please "
                                                "wait for it to stop and then try again."});
        QVERIFY(shell->editor().Run);
        shell->lock().release();
    }

    // A file that cannot be written is reported, and no half-written file is left.
    void aFailedFileIsReported()
    {
        shell->open(numberedLines(400));
        FullDisk disk(256 * 1024);
        pdf = disk.path(QStringLiteral("full.pdf"));
        disk.fill();
        answerPrint(printerFont(10), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("400"));
        print();
        QVERIFY2(shell->scripted.log.last().startsWith(QStringLiteral("message: VORNEXA: The listing was not printed. ")),
                 qPrintable(shell->scripted.log.last()));
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(shell->allGivenBack());
    }

    // A printout stopped part way leaves the file that was there as it was, and nothing beside it.
    void aCancelledPrintoutLeavesTheOldFile()
    {
        const QString folder = testEnvironment().path(QStringLiteral("cancelled"));
        QDir().mkpath(folder);
        const QString path = QDir(folder).filePath(QStringLiteral("old.pdf"));
        writeBytes(path, "the old listing");
        printing::Listing listing;
        listing.bodyLines = 100000;
        listing.body = [](const std::function<bool(const QString &)> &line) {
            for (int k = 0; k < 100000 && line(QStringLiteral("G01 X%1").arg(k)); ++k) {
            }
        };
        int reports = 0;
        const printing::PrintResult result = printing::printToPdf(path, listing, printerFont(10), 1, [&](qint64 done, qint64 total) {
            ++reports;
            return done < total / 10;
        });
        QCOMPARE(result.end, printing::PrintEnd::Cancelled);
        QVERIFY(reports > 1);
        QCOMPARE(readBytes(path), QByteArray("the old listing"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"old.pdf"});
    }
};

VORNEXA_TEST_MAIN(TestPrinting)
#include "tst_printing.moc"
