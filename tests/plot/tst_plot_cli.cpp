#include "raster.h"

#include "scriptrun.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTest>

namespace {

int drawnPixels(const QImage &image)
{
    const QColor background = plot::RasterStyle().background;
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            drawn += image.pixelColor(x, y) != background;
    }
    return drawn;
}

const QByteArray kPart = "G21 G90\nG0 X0 Y0 Z5\nG1 Z-1 F200\nX40\nG3 X40 Y30 J15\nG1 X0\nY0\nG0 Z5\nM30\n";

} // namespace

class TestPlotCommandLine : public QObject
{
    Q_OBJECT

private slots:
    // The picture decodes at the size asked for (1200 x 900 unless told), with the path drawn on it.
    void draws_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("told");
        const QByteArray lathe = "G18 G7 G21\nG0 X40 Z2\nG1 Z-30 F100\nX50\nG0 Z2\nM30\n";
        QTest::addRow("defaults") << kPart << QStringList() << QSize(1200, 900) << "drew 7 moves of part.ngc (";
        QTest::addRow("top, wide") << kPart << QStringList{"--view", "top", "--size", "320x120"} << QSize(320, 120)
                                   << "in the top view at 320x120";
        QTest::addRow("side, tall, a dialect") << kPart << QStringList{"--size", "64x400", "--view", "side", "--dialect", "fanuc"}
                                                << QSize(64, 400) << "in the side view";
        QTest::addRow("a lathe program in diameter mode") << lathe << QStringList{"--size", "300x200"} << QSize(300, 200)
                                                           << "in the lathe view";
        QTest::addRow("a lathe program seen from the top") << lathe << QStringList{"--size", "300x200", "--view", "top"}
                                                            << QSize(300, 200) << "in the top view";
    }
    void draws()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(QString, told);
        const QString program = writeTestFile(QStringLiteral("part.ngc"), text);
        const QString picture = testEnvironment().path(QStringLiteral("part.png"));
        QFile::remove(picture);
        ScriptRun run(QStringList{"--plot", program, "-o", picture} + options);
        QVERIFY2(run.exitCode() == 0, qPrintable(run.err()));
        QVERIFY2(run.out().contains(told), qPrintable(run.out()));
        const QImage image(picture);
        QCOMPARE(image.size(), size);
        const int drawn = drawnPixels(image);
        QVERIFY2(drawn > 100 && drawn < size.width() * size.height() / 4, qPrintable(QString::number(drawn)));
    }

    // A line it cannot follow is said and ringed, and the picture is drawn all the same, exit 1.
    void findings()
    {
        const QString program = writeTestFile(QStringLiteral("odd.ngc"), "G1 X10 F100\nG123\nY10\n");
        const QString picture = testEnvironment().path(QStringLiteral("odd.png"));
        ScriptRun run({"--plot", program, "-o", picture, "--size", "200x200"});
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(run.err().startsWith(QStringLiteral("line 2: ")), qPrintable(run.err()));
        QVERIFY2(run.out().contains(QStringLiteral("1 line could not be followed")), qPrintable(run.out()));
        QCOMPARE(QImage(picture).size(), QSize(200, 200));
    }

    // Bad usage is exit 2 and a picture that cannot be made or written exit 1, each with its reason;
    // nothing is left behind either way.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("told");
        const QString program = writeTestFile(QStringLiteral("part.ngc"), kPart);
        const QString still = writeTestFile(QStringLiteral("still.ngc"), "G21\nG4 P1\nM30\n");
        const QString folder = testEnvironment().path(QStringLiteral("pictures"));
        QDir().mkpath(folder);
        const QString picture = folder + QStringLiteral("/p.png");
        QTest::addRow("a view it does not know") << QStringList{program, "-o", picture, "--view", "bottom"} << 2
                                                  << "--view takes top, front, side, iso or lathe";
        QTest::addRow("a size without a height") << QStringList{program, "-o", picture, "--size", "12x"} << 2 << "--size takes";
        QTest::addRow("a size too small") << QStringList{program, "-o", picture, "--size", "10x10"} << 2 << "--size takes";
        QTest::addRow("a size too large") << QStringList{program, "-o", picture, "--size", "9000x100"} << 2 << "--size takes";
        QTest::addRow("a view twice") << QStringList{program, "-o", picture, "--view", "top", "--view", "iso"} << 2
                                       << "--view takes";
        QTest::addRow("no picture") << QStringList{program} << 2 << "--plot takes one program and -o";
        QTest::addRow("no such program") << QStringList{program + ".gone", "-o", picture} << 2 << "there is no program file";
        QTest::addRow("a program that moves nowhere") << QStringList{still, "-o", picture} << 1 << "makes no move to draw";
        QTest::addRow("a folder for the picture") << QStringList{program, "-o", folder} << 1 << "cannot be written";
        QTest::addRow("a picture in no folder") << QStringList{program, "-o", folder + "/none/p.png"} << 1
                                                 << "cannot be written";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, told);
        const QDir folder(testEnvironment().path(QStringLiteral("pictures")));
        ScriptRun run(QStringList{"--plot"} + arguments);
        QCOMPARE(run.exitCode(), code);
        QVERIFY2(run.err().contains(told), qPrintable(run.err()));
        QVERIFY2(!run.out().contains(QStringLiteral("drew")), qPrintable(run.out()));
        QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QCOMPARE(QDir(programPath()).entryList({QStringLiteral("cli*")}), QStringList());
    }
};

int main(int argc, char *argv[])
{
    testEnvironment();
    QCoreApplication app(argc, argv);
    TestPlotCommandLine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plot_cli.moc"
