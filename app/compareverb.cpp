// vornexa --compare: two programs compared as programs, with no window.

#include "headless.h"

#include "globalvar.h"
#include "interpoptions.h"
#include "programcompare.h"
#include "settingsstore.h"

#include <QFileInfo>

#include <cmath>

namespace headless {

int compareVerb(const QStringList &arguments)
{
    QStringList rest = arguments;
    const std::unique_ptr<SettingsStore> settings = openSettings();
    GlobalVar values;
    values.comments.read(*settings);
    values.compare.read(*settings);
    compare::Rules rules;
    rules.comments = values.comments.rule();
    rules.tolerance = values.compare.tolerance;
    if (rest.removeAll(QStringLiteral("--plain")) > 0) {
        const tessarc::CommentRule comments = rules.comments;
        rules = compare::Rules::plain();
        rules.comments = comments;
    }
    if (rest.removeAll(QStringLiteral("--ignore-comments")) > 0)
        rules.ignoreComments = true;
    const std::optional<QString> tolerance = takeOption(rest, QStringLiteral("--tolerance"));
    if (!tolerance)
        return usage("--compare", QStringLiteral("--tolerance takes a number from 0."));
    if (!tolerance->isEmpty()) {
        bool ok = false;
        rules.tolerance = tolerance->toDouble(&ok);
        if (!ok || !std::isfinite(rules.tolerance) || rules.tolerance < 0.0)
            return usage("--compare", QStringLiteral("--tolerance takes a number from 0, not \"%1\".").arg(*tolerance));
    }
    if (rules.isPlain() && !tolerance->isEmpty())
        return usage("--compare", QStringLiteral("--plain compares byte for byte: it takes no --tolerance."));
    if (rest.size() != 2)
        return usage("--compare", QStringLiteral("--compare takes two programs, then optionally --tolerance, --plain and --ignore-comments."));
    for (const QString &file : rest) {
        if (!QFileInfo(file).isFile()) {
            printError(QStringLiteral("vornexa: there is no program file %1.").arg(file));
            return BadUsage;
        }
    }
    if (!values.compare.problem.isEmpty() && tolerance->isEmpty())
        printError(QStringLiteral("vornexa: ") + values.compare.problem);

    StopSignals stop;
    OpenedProgram a(QStringLiteral("a")), b(QStringLiteral("b"));
    if (!a.open(rest[0]) || !b.open(rest[1]))
        return Failed;
    ProgressLine progress;
    compare::Result result;
    compare::ProgramFeed left(a.program), right(b.program);
    const std::optional<QString> failure = tessarc::failureOf([&] {
        result = compare::comparePrograms(left, right, rules, [&](qint64 done, qint64 total) {
            progress.show(QStringLiteral("comparing: %1%").arg(total > 0 ? done * 100 / total : 100));
            return StopSignals::caught().isEmpty();
        });
        progress.end();
        if (!result.cancelled)
            compare::report(result, left, right, rules, [](const QString &row) { printOut(row); });
    });
    progress.end();
    if (failure) {
        printError(QStringLiteral("vornexa: %1 and %2 could not be compared: %3.").arg(rest[0], rest[1], *failure));
        return Failed;
    }
    if (result.cancelled) {
        printError(QStringLiteral("vornexa: the compare was stopped by %1; nothing is reported.").arg(StopSignals::caught()));
        return Failed;
    }
    if (result.nothingInCommon)
        printError(QStringLiteral("vornexa: %1 and %2 have no line in common.").arg(rest[0], rest[1]));
    return result.identical() ? Done : Failed;
}

} // namespace headless
