#include "stepfields.h"
#include "steptext.h"
#include "testenv.h"

namespace {

const QString kSep = QStringLiteral("\nSEP.QEN\r");

QString joined(const QStringList &items)
{
    QString out;
    for (const QString &item : items)
        out += item + kSep;
    return out;
}

const tools::RangeFields kAllLines{true, false, QStringLiteral("3"), QStringLiteral("40")};

} // namespace

class TestMacroSteps : public QObject
{
    Q_OBJECT

private slots:
    void eleven()
    {
        QCOMPARE(tools::stepNames().size(), 11);
        for (const QString &name : tools::stepNames())
            QVERIFY2(!tools::stepFields(name).empty(), qPrintable(name));
        QVERIFY(tools::stepFields(QStringLiteral("Find")).empty());
    }

    // A step that cannot be put back is refused whole, with its reason.
    void unusableSteps_data()
    {
        QTest::addColumn<QString>("stepName");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("error");
        QTest::newRow("an item missing") << "Format" << joined({"X", "True", "False", "1"})
                                         << "The Format step cannot be used: it holds 4 of its 5 values.";
        QTest::newRow("no settings at all") << "Remove Lines" << ""
                                            << "The Remove Lines step cannot be used: it holds 0 of its 2 values.";
        QTest::newRow("an option neither True nor False")
            << "Space" << joined({"True", "False", "Yes", "False", "1", "2"})
            << "The Space step cannot be used: the value of ALL is \"Yes\" where True or False belongs.";
        QTest::newRow("a check neither 1 nor 0")
            << "Mirror" << joined({"0", "X", "True", "False", "1", "2", "2", "0"})
            << "The Mirror step cannot be used: the value of g02g03 is \"2\" where 1 or 0 belongs.";
        QTest::newRow("no such step") << "Find" << joined({"X"}) << "\"Find\" is not a step a macro can hold.";
    }
    void unusableSteps()
    {
        QFETCH(QString, stepName);
        QFETCH(QString, settings);
        const tools::StepFill fill = tools::readStep(stepName, settings, kSep);
        QTEST(fill.error, "error");
        QVERIFY(fill.fields.isEmpty());
    }

    // A value holding a line feed cannot be recorded, whether or not it forges a separator.
    void lineFeedsCannotBeRecorded()
    {
        const auto step = [](const QString &axis, const QString &value) {
            return tools::operationsStep({tools::Operation::Add, axis, value}, kAllLines, kSep);
        };
        QCOMPARE(tools::stepRefused(QStringLiteral("Operations"), step(QStringLiteral("X\n"), QStringLiteral("1")), kSep),
                 QStringLiteral("The Operations step cannot be recorded: the value of txtAxis holds a line break, "
                                "which a macro step cannot store. Please remove it and press Go again."));
        const QString forged = step(QStringLiteral("X"), QStringLiteral("1") + kSep + QStringLiteral("2"));
        QVERIFY(tools::stepRefused(QStringLiteral("Operations"), forged, kSep).has_value());
        QVERIFY(tools::stepRefused(QStringLiteral("Find"), step("X", "1"), kSep).has_value());
    }
};

VORNEXA_TEST_MAIN(TestMacroSteps)
#include "tst_macro_steps.moc"
