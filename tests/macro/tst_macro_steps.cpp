#include "replace.h"
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

// What a fill sets, one entry a field: "name" for an option turned on, "name:1" or "name:0" for a
// check box, "name=text" for a text or a caption.
QStringList described(const macro::StepFill &fill)
{
    QStringList out;
    for (const macro::FieldValue &field : fill.fields) {
        switch (field.kind) {
        case macro::FieldKind::Option:
            out.append(field.name);
            break;
        case macro::FieldKind::Check:
            out.append(field.name + (field.on ? QStringLiteral(":1") : QStringLiteral(":0")));
            break;
        default:
            out.append(field.name + QLatin1Char('=') + field.text);
            break;
        }
    }
    return out;
}

const tools::RangeFields kLines10To20{false, true, QStringLiteral("10"), QStringLiteral("20")};
const tools::RangeFields kAllLines{true, false, QStringLiteral("3"), QStringLiteral("40")};

search::ReplaceSettings replaceSettings()
{
    search::ReplaceSettings s;
    s.find = "G01";
    s.axis = "X";
    s.comparison = search::Comparison::Less;
    s.value = "0";
    s.thenFind = "M08";
    s.thenMatchCase = true;
    return s;
}

} // namespace

class TestMacroSteps : public QObject
{
    Q_OBJECT

private slots:
    void eleven()
    {
        QCOMPARE(macro::stepNames().size(), 11);
        for (const QString &name : macro::stepNames())
            QVERIFY2(!macro::stepFields(name).empty(), qPrintable(name));
        QVERIFY(macro::stepFields(QStringLiteral("Find")).empty());
    }

    // A step recorded by its tool reads back into the same fields, and names the button to press.
    void readStep_data()
    {
        QTest::addColumn<QString>("stepName");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("button");
        QTest::newRow("Operations, lines 10 to 20")
            << "Operations"
            << tools::operationsStep({tools::Operation::Subtract, QStringLiteral("X"), QStringLiteral("2")},
                                     kLines10To20, kSep)
            << QStringList{"Option2", "txtValue=2", "txtAxis=X", "LINE2LINE", "StartLine=10", "EndLine=20"} << "Go";
        QTest::newRow("Operations, all lines: the range fields stay")
            << "Operations"
            << tools::operationsStep({tools::Operation::Add, QStringLiteral("Z"), QStringLiteral("-1")}, kAllLines, kSep)
            << QStringList{"Option1", "txtValue=-1", "txtAxis=Z", "ALL"} << "Go";
        QTest::newRow("Mirror") << "Mirror"
                                << tools::mirrorStep({QStringLiteral("Y"), QStringLiteral("5"), true, false},
                                                     kLines10To20, kSep)
                                << QStringList{"txtValue=5", "txtAxis=Y",   "LINE2LINE", "StartLine=10",
                                               "EndLine=20", "g02g03:1", "g41g42:0"}
                                << "Go";
        QTest::newRow("Replace, mode 3 presses go3")
            << "Replace" << search::replaceStep(replaceSettings(), kAllLines, search::ReplaceMode::ReplaceText, kSep)
            << QStringList{"txtFind=G01", "txtReplace=", "r1", "case1:0", "ALL", "txtAxis=X", "l", "txtValue=0",
                           "txtReplaceAxis=", "txtReplaceValue=", "Text1=M08", "Text2=", "case2:1",
                           "txtReplaceLine=", "txtAppendLine="}
            << "go3";
        QString seven = search::replaceStep(replaceSettings(), kAllLines, search::ReplaceMode::Text, kSep);
        seven.back() = QLatin1Char('7');
        QTest::newRow("Replace, mode 7 fills and presses nothing")
            << "Replace" << seven
            << QStringList{"txtFind=G01", "txtReplace=", "r1", "case1:0", "ALL", "txtAxis=X", "l", "txtValue=0",
                           "txtReplaceAxis=", "txtReplaceValue=", "Text1=M08", "Text2=", "case2:1",
                           "txtReplaceLine=", "txtAppendLine="}
            << "";
        QTest::newRow("Remove Lines always sets its range") << "Remove Lines" << joined({"5", "9"})
                                                            << QStringList{"StartLine=5", "EndLine=9"} << "Go";
        QTest::newRow("Insert File puts the name on its button")
            << "Insert File" << joined({"/jobs/probe.nc", "0"})
            << QStringList{"Command1=/jobs/probe.nc", "StartLine=0"} << "Go";
    }
    void readStep()
    {
        QFETCH(QString, stepName);
        QFETCH(QString, settings);
        QCOMPARE(macro::stepRefused(stepName, settings, kSep), std::nullopt);
        const macro::StepFill fill = macro::readStep(stepName, settings, kSep);
        QVERIFY2(fill.ok(), qPrintable(fill.error));
        QTEST(described(fill), "fields");
        QTEST(fill.button, "button");
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
        const macro::StepFill fill = macro::readStep(stepName, settings, kSep);
        QTEST(fill.error, "error");
        QVERIFY(fill.fields.isEmpty());
    }

    // A value holding a line feed cannot be recorded, whether or not it forges a separator.
    void lineFeedsCannotBeRecorded()
    {
        const auto step = [](const QString &axis, const QString &value) {
            return tools::operationsStep({tools::Operation::Add, axis, value}, kAllLines, kSep);
        };
        QCOMPARE(macro::stepRefused(QStringLiteral("Operations"), step(QStringLiteral("X\n"), QStringLiteral("1")), kSep),
                 QStringLiteral("The Operations step cannot be recorded: the value of txtAxis holds a line break, "
                                "which a macro step cannot store. Please remove it and press Go again."));
        const QString forged = step(QStringLiteral("X"), QStringLiteral("1") + kSep + QStringLiteral("2"));
        QVERIFY(macro::stepRefused(QStringLiteral("Operations"), forged, kSep).has_value());
        QVERIFY(macro::stepRefused(QStringLiteral("Find"), step("X", "1"), kSep).has_value());
    }
};

VORNEXA_TEST_MAIN(TestMacroSteps)
#include "tst_macro_steps.moc"
