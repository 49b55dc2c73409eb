#include "globalvar.h"

#include "settingsstore.h"
#include "linestore.h"
#include "tessarc.h"

#include <QFontDatabase>

#include <algorithm>
#include <cmath>

namespace {

const QString kFiles = QStringLiteral("FILES");
const QString kFormats = QStringLiteral("FORMATS");
const QString kNumbers = QStringLiteral("NUMBERS");
const QString kComments = QStringLiteral("COMMENTS");
const QString kRecent = QStringLiteral("RE");
const QString kMessages = QStringLiteral("CMSG");
const QString kColor = QStringLiteral("COLOR");
const QString kFont = QStringLiteral("FONT");
const QString kHighlight = QStringLiteral("HL");
const QString kIo = QStringLiteral("IO");
const QString kMotion = QStringLiteral("MOTION");

const char *const kRecentKeys[5] = {"REONE", "RETWO", "RETHR", "REFOU", "REFIV"};

void readFont(const SettingsStore &s, const QString &prefix, FontSetting &f)
{
    f.bold = s.boolean(kFont, prefix + QStringLiteral("FONTBOLD"), false);
    f.italic = s.boolean(kFont, prefix + QStringLiteral("FONTITALIC"), false);
    // Until one is chosen, the desktop's own monospace font.
    f.name = s.text(kFont, prefix + QStringLiteral("FONTNAME"), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    f.size = static_cast<int>(s.integer(kFont, prefix + QStringLiteral("FONTSIZE"), 12));
    f.strikethru = s.boolean(kFont, prefix + QStringLiteral("FONTSTRIKETHRU"), false);
    f.underline = s.boolean(kFont, prefix + QStringLiteral("FONTUNDERLINE"), false);
}

void writeFont(SettingsStore &s, const QString &prefix, const FontSetting &f)
{
    s.setBoolean(kFont, prefix + QStringLiteral("FONTBOLD"), f.bold);
    s.setBoolean(kFont, prefix + QStringLiteral("FONTITALIC"), f.italic);
    s.setText(kFont, prefix + QStringLiteral("FONTNAME"), f.name);
    s.setInteger(kFont, prefix + QStringLiteral("FONTSIZE"), f.size);
    s.setBoolean(kFont, prefix + QStringLiteral("FONTSTRIKETHRU"), f.strikethru);
    s.setBoolean(kFont, prefix + QStringLiteral("FONTUNDERLINE"), f.underline);
}

// SAVEENDS: the stored names of the line-end choices.
struct SaveEndsName
{
    tessarc::Program::SaveEnds ends;
    const char *name;
};
constexpr SaveEndsName kSaveEnds[] = {
    {tessarc::Program::SaveEnds::AsLoaded, "ASLOADED"},
    {tessarc::Program::SaveEnds::CrLf, "CRLF"},
    {tessarc::Program::SaveEnds::Lf, "LF"},
};

} // namespace

void FileFolders::read(const SettingsStore &s, const QString &programFolder)
{
    lastDirOpen = s.text(kFiles, QStringLiteral("LASTDIROPEN"), programFolder);
    lastDirSave = s.text(kFiles, QStringLiteral("LASTDIRSAVE"), programFolder);
}

void FileFolders::writeOpen(SettingsStore &s) const
{
    s.setText(kFiles, QStringLiteral("LASTDIROPEN"), lastDirOpen);
    s.sync();
}

void FileFolders::writeSave(SettingsStore &s) const
{
    s.setText(kFiles, QStringLiteral("LASTDIRSAVE"), lastDirSave);
    s.sync();
}

void NumberSettings::read(SettingsStore &s)
{
    const NumberSettings defaults;
    percentFormat = s.text(kFormats, QStringLiteral("PERCENTFORMAT"), defaults.percentFormat);
    calcPercent = s.boolean(kFormats, QStringLiteral("CALCPERCENT"), true);
    outputFormat = s.text(kFormats, QStringLiteral("OUTPUTFORMAT"), defaults.outputFormat);
    if (!s.contains(kFormats, QStringLiteral("CALCPERCENT"))) {
        calcPercent = true;
        s.setBoolean(kFormats, QStringLiteral("CALCPERCENT"), true);
    }
    spaces = s.boolean(kNumbers, QStringLiteral("SPACES"), true);
}

void NumberSettings::write(SettingsStore &s) const
{
    s.setText(kFormats, QStringLiteral("OUTPUTFORMAT"), outputFormat);
    s.setText(kFormats, QStringLiteral("PERCENTFORMAT"), percentFormat);
    s.setBoolean(kFormats, QStringLiteral("CALCPERCENT"), calcPercent);
    s.setBoolean(kNumbers, QStringLiteral("SPACES"), spaces);
}

void CommentSettings::read(const SettingsStore &s)
{
    startComment = s.text(kComments, QStringLiteral("STARTCOMMENT"), QStringLiteral("("));
    endComment = s.text(kComments, QStringLiteral("ENDCOMMENT"), QStringLiteral(")"));
    lineComment = s.text(kComments, QStringLiteral("LINECOMMENT"), QStringLiteral(";"));
    commands = s.text(kComments, QStringLiteral("COMMANDS"), CommentSettings().commands);
}

void CommentSettings::write(SettingsStore &s) const
{
    s.setText(kComments, QStringLiteral("STARTCOMMENT"), startComment);
    s.setText(kComments, QStringLiteral("ENDCOMMENT"), endComment);
    s.setText(kComments, QStringLiteral("LINECOMMENT"), lineComment);
    s.setText(kComments, QStringLiteral("COMMANDS"), commands);
}

void CommentSettings::applyTo(TESSARC &editor) const
{
    editor.startComment = startComment;
    editor.endComment = endComment;
    editor.lineComment = lineComment;
}

void RecentFiles::add(const QString &path)
{
    QStringList kept{path};
    for (const QString &entry : entries) {
        if (!entry.isEmpty() && entry != path && kept.size() < qsizetype(entries.size()))
            kept.append(entry);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = i < size_t(kept.size()) ? kept.at(qsizetype(i)) : QString();
}

void RecentFiles::read(const SettingsStore &s)
{
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = s.text(kRecent, QString::fromLatin1(kRecentKeys[i]), QString());
}

void RecentFiles::write(SettingsStore &s) const
{
    for (size_t i = 0; i < entries.size(); ++i)
        s.setText(kRecent, QString::fromLatin1(kRecentKeys[i]), entries[i]);
    s.sync();
}

void Messages::read(const SettingsStore &s)
{
    const Messages defaults;
    badStart = s.text(kMessages, QStringLiteral("BADSTART"), defaults.badStart);
    badEnd = s.text(kMessages, QStringLiteral("BADEND"), defaults.badEnd);
    noFile = s.text(kMessages, QStringLiteral("NOFILE"), defaults.noFile);
    textNull = s.text(kMessages, QStringLiteral("TEXTNULL"), defaults.textNull);
    alreadyRunning = s.text(kMessages, QStringLiteral("ALREADYRUNNING"), defaults.alreadyRunning);
}

void ViewSettings::read(const SettingsStore &s)
{
    const ViewSettings defaults;
    lForeColor = static_cast<int>(s.integer(kColor, QStringLiteral("LFORECOLOR"), defaults.lForeColor));
    lBackColor = static_cast<int>(s.integer(kColor, QStringLiteral("LBACKCOLOR"), defaults.lBackColor));
    readFont(s, QStringLiteral("P"), pFont);
    readFont(s, QStringLiteral("M"), mFont);
    for (size_t i = 0; i < hl.size(); ++i) {
        hl[i].axis = s.text(kHighlight, QStringLiteral("AXIS%1").arg(i), defaults.hl[i].axis);
        hl[i].color = static_cast<int>(s.integer(kHighlight, QStringLiteral("COLOR%1").arg(i), defaults.hl[i].color));
    }
}

void ViewSettings::writeColors(SettingsStore &s) const
{
    s.setInteger(kColor, QStringLiteral("LFORECOLOR"), lForeColor);
    s.setInteger(kColor, QStringLiteral("LBACKCOLOR"), lBackColor);
}

void ViewSettings::writeEditorFont(SettingsStore &s) const
{
    writeFont(s, QStringLiteral("M"), mFont);
}

void ViewSettings::writePrinterFont(SettingsStore &s) const
{
    writeFont(s, QStringLiteral("P"), pFont);
}

void ViewSettings::writeSlots(SettingsStore &s) const
{
    for (size_t i = 0; i < hl.size(); ++i) {
        s.setText(kHighlight, QStringLiteral("AXIS%1").arg(i), hl[i].axis);
        s.setInteger(kHighlight, QStringLiteral("COLOR%1").arg(i), hl[i].color);
    }
}

void ViewSettings::applyTo(TESSARC &editor) const
{
    editor.setfont(mFont.bold, mFont.italic, mFont.name, mFont.size, mFont.strikethru, mFont.underline);
    editor.setColor(lForeColor, lBackColor);
    // Slots 0, 1, 2 and 7 have colours of their own; 3 to 6 follow.
    for (int i : {0, 1, 2, 7, 3, 4, 5, 6})
        editor.assigncolors(i, hl[static_cast<size_t>(i)].color, hl[static_cast<size_t>(i)].axis);
    editor.color();
}

void IoSettings::read(const SettingsStore &s)
{
    const qint64 stored = s.integer(kIo, QStringLiteral("RECLEN"), 500);
    recLenProblem = tessarc::LineStore::recordLengthProblem(stored);
    if (recLenProblem.isEmpty())
        recLen = static_cast<int>(stored);
    else
        recLenProblem += QStringLiteral(" The record length setting is refused and stays %1 bytes.").arg(recLen);
    lfEndsLine = s.boolean(kIo, QStringLiteral("LFENDSLINE"), true);
    undoSteps = static_cast<int>(std::clamp<qint64>(s.integer(kIo, QStringLiteral("UNDOSTEPS"), 100), 0, kMostUndoSteps));
    undoMegabytes = static_cast<int>(std::clamp<qint64>(s.integer(kIo, QStringLiteral("UNDOMB"), 2048), 0, kMostUndoMegabytes));
    // A name this version does not know keeps the line ends a program had.
    const QString ends = s.text(kIo, QStringLiteral("SAVEENDS"), QString()).trimmed().toUpper();
    saveEnds = tessarc::Program::SaveEnds::AsLoaded;
    for (const SaveEndsName &choice : kSaveEnds) {
        if (ends == QLatin1String(choice.name))
            saveEnds = choice.ends;
    }
}

void IoSettings::writeSaveEnds(SettingsStore &s) const
{
    for (const SaveEndsName &choice : kSaveEnds) {
        if (choice.ends == saveEnds)
            s.setText(kIo, QStringLiteral("SAVEENDS"), QLatin1String(choice.name));
    }
}

void IoSettings::writeUndoLimits(SettingsStore &s) const
{
    s.setInteger(kIo, QStringLiteral("UNDOSTEPS"), undoSteps);
    s.setInteger(kIo, QStringLiteral("UNDOMB"), undoMegabytes);
}

void IoSettings::writeRecLen(SettingsStore &s) const
{
    s.setInteger(kIo, QStringLiteral("RECLEN"), recLen);
    s.sync();
}

void IoSettings::writeLfEndsLine(SettingsStore &s) const
{
    s.setBoolean(kIo, QStringLiteral("LFENDSLINE"), lfEndsLine);
}

void IoSettings::applyTo(tessarc::Program &program) const
{
    program.recordLength = recLen;
    program.lfEndsLine = lfEndsLine;
    program.history().setLimits(undoSteps, qint64(undoMegabytes) * 1024 * 1024);
    program.saveEnds = saveEnds;
}

void IoSettings::applyTo(TESSARC &editor) const
{
    applyTo(editor.program());
}

const QStringList &MotionSettings::dialects()
{
    static const QStringList names{QStringLiteral("linuxcnc"), QStringLiteral("fanuc"), QStringLiteral("grbl")};
    return names;
}

void MotionSettings::read(const SettingsStore &s)
{
    const MotionSettings defaults;
    QStringList refused;
    const QString stored = s.text(kMotion, QStringLiteral("DIALECT"), defaults.dialect).trimmed().toLower();
    dialect = dialects().contains(stored) ? stored : defaults.dialect;
    if (dialect != stored)
        refused << QStringLiteral("DIALECT \"%1\" is not linuxcnc, fanuc or grbl").arg(stored);
    // A rate or acceleration must be a positive number to be one.
    const auto positive = [&](const QString &key, double fallback, double &value) {
        const QString text = s.text(kMotion, key, QString()).trimmed();
        bool ok = text.isEmpty();
        value = fallback;
        if (!ok) {
            const double read = text.toDouble(&ok);
            ok = ok && std::isfinite(read) && read > 0.0;
            if (ok)
                value = read;
        }
        if (!ok)
            refused << QStringLiteral("%1 \"%2\" is not a positive number").arg(key, text);
    };
    positive(QStringLiteral("RAPID"), defaults.rapid, rapid);
    positive(QStringLiteral("ACCEL"), defaults.accel, accel);
    problem.clear();
    if (!refused.isEmpty())
        problem = QStringLiteral("Of the motion settings in Options, %1; the defaults are used in their place.")
                      .arg(refused.join(QStringLiteral(" and ")));
}

void CompareSettings::read(const SettingsStore &s)
{
    const QString text = s.text(QStringLiteral("COMPARE"), QStringLiteral("TOLERANCE"), QString()).trimmed();
    bool ok = text.isEmpty();
    tolerance = 0.0;
    problem.clear();
    if (!ok) {
        const double read = text.toDouble(&ok);
        ok = ok && std::isfinite(read) && read >= 0.0;
        if (ok)
            tolerance = read;
    }
    if (!ok)
        problem = QStringLiteral("The compare tolerance \"%1\" in Options is not a number from 0; 0 is used in its place.").arg(text);
}

void CompareSettings::write(SettingsStore &s) const
{
    s.setNumber(QStringLiteral("COMPARE"), QStringLiteral("TOLERANCE"), tolerance);
}

void MotionSettings::write(SettingsStore &s) const
{
    s.setText(kMotion, QStringLiteral("DIALECT"), dialect);
    s.setNumber(kMotion, QStringLiteral("RAPID"), rapid);
    s.setNumber(kMotion, QStringLiteral("ACCEL"), accel);
}
