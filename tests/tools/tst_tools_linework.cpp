#include "format.h"
#include "linework.h"
#include "numbers.h"
#include "operationsplus.h"
#include "testenv.h"

#include <QRandomGenerator>

using tools::LineFault;

Q_DECLARE_METATYPE(tools::LineFault)

namespace {

// Random program-like lines: words of letters and numbers, signs, points, spaces, comments and a
// few other bytes, so the prepared rewrite meets what the full one meets.
QByteArray randomLine(QRandomGenerator &random)
{
    static const char *const pieces[] = {"X", "x", "Y", "Z", "G01", "G02", "G41", "(", ")", " ", "  ", "-", "+", ".",
                                         "0", "1", "9", "12.5", "-0.0001", "99999.99995", "0.00005", "1234567.8",
                                         "3.14159265358979", "1e5", "E", "\t", "\xe9", "\x01", "N10", "F300."};
    QByteArray line;
    const int words = random.bounded(12);
    for (int i = 0; i < words; ++i)
        line += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
    return line;
}

QString randomValue(QRandomGenerator &random)
{
    static const char *const values[] = {"0.5", "-2", "3", "0.1", "1E2", "0.00001", "7.25", "-0.5", "1000000",
                                         "0.3333333", "2.5", "1e300", "0.00005"};
    return QString::fromLatin1(values[random.bounded(static_cast<int>(std::size(values)))]);
}

} // namespace

// The per-line work of the value tools: one writer of numbers, and the tools written as Operations writes.
class TestLineWork : public QObject
{
    Q_OBJECT

private slots:
    void numberWriterWritesAsThePicture_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<bool>("direct");
        QTest::newRow("default") << "0.####" << true;
        QTest::newRow("places always written") << "0.00" << true;
        QTest::newRow("mixed") << "0.00###" << true;
        QTest::newRow("point only") << "0." << true;
        QTest::newRow("no point") << "0" << true;
        QTest::newRow("leading zeros") << "000.0#" << true;
        QTest::newRow("twenty places") << "0." + QString(20, QLatin1Char('#')) << true;
        QTest::newRow("hashes before the point") << "#.##" << false;
        QTest::newRow("literal text") << "0.00 mm" << false;
    }
    void numberWriterWritesAsThePicture()
    {
        QFETCH(QString, picture);
        QFETCH(bool, direct);
        const tools::NumberWriter writer(picture);
        QCOMPARE(writer.direct(), direct);
        QList<double> values = {0.0, -0.0, 2.0, 2.5, 0.5, -0.25, 1.23456, 0.00004, 12.3456, 100.0, 1.005, -1.005,
                                0.125, 0.0625, 2.675, 1234567.0, -0.00004, 999.99995, 0.5e-20, 1e15, 123456789012345.67,
                                1e300, -1e-300, 4503599627370496.5, 0.1 + 0.2};
        QRandomGenerator random(12345);
        for (int i = 0; i < 20000; ++i) {
            const double magnitude = std::pow(10.0, random.bounded(16.0) - 6.0);
            values.append((random.bounded(2) ? -1 : 1) * magnitude * random.generateDouble());
            // Values on and near halves of the last place.
            values.append(random.bounded(100000) / 1e4 + 0.00005 + (random.bounded(3) - 1) * 1e-12);
        }
        for (double v : values) {
            QByteArray out("X");
            QVERIFY(writer.append(v, out));
            QCOMPARE(out.mid(1), functions::formatNumber(v, picture).toLatin1());
        }
        QByteArray out;
        QVERIFY(!writer.append(std::numeric_limits<double>::infinity(), out));
        QVERIFY(!writer.append(std::nan(""), out));
        QVERIFY(out.isEmpty());
    }

    // Format writes a number again as Operations adding 0 writes it; Operations Plus, where its
    // condition holds, writes as Operations does.
    void formatAndOperationsPlusAsOperations()
    {
        QRandomGenerator random(99);
        tools::LineRules rules;
        rules.maxLength = 30;
        QByteArray out;
        for (int i = 0; i < 2000; ++i) {
            rules.spaces = random.bounded(2) == 1;
            const tools::OperationsSettings settings{static_cast<tools::Operation>(1 + random.bounded(4)),
                                                     QStringLiteral("X"), randomValue(random)};
            tools::OperationsPlusSettings plus;
            plus.conditionAxis = QStringLiteral("x");
            plus.comparison = tools::Comparison::NotEqual;
            plus.conditionValue = QStringLiteral("12345.678");
            plus.operation = settings.operation;
            plus.value = settings.value;
            plus.axis = settings.axis;
            tools::OperationsPlusWork plusWork(plus, rules);
            const tools::FormatWork format(tools::FormatSettings{settings.axis}, rules);
            for (int j = 0; j < 10; ++j) {
                const QByteArray line = randomLine(random);
                const tools::LineResult full = tools::rewriteLine(settings, line, rules);
                QCOMPARE(plusWork(line, out), full.fault);
                QCOMPARE(out, full.line);
                const tools::LineResult same =
                    tools::rewriteLine({tools::Operation::Add, settings.axis, QStringLiteral("0")}, line, rules);
                QCOMPARE(format(line, out), same.fault);
                QCOMPARE(out, same.line);
            }
        }
    }
};

VORNEXA_TEST_MAIN(TestLineWork)
#include "tst_tools_linework.moc"
