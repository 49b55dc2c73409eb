#include "macrofile.h"

#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include "safefile.h"

namespace macro {

namespace {

constexpr qsizetype kLongestString = 0xFFFF;

const char *const kFieldNames[3] = {"step name", "comment", "settings"};

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

std::optional<QByteArray> readWhole(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("The macro file %1 could not be read: %2").arg(nativePath(path), file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("The macro file %1 could not be read: %2").arg(nativePath(path), file.errorString());
        return std::nullopt;
    }
    return bytes;
}

// Replaces the file at `path` with `bytes` through a temporary file renamed over it. Unbuffered,
// with every write checked, so a full disk stops the rename (a buffered write would only fail when
// the file is closed, after which the rename still happens).
std::optional<QString> writeWhole(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (const std::optional<QString> why = tessarc::SafeFile::writeWhole(path, bytes))
        return QStringLiteral("The macro file %1 could not be written: %2").arg(nativePath(path), *why);
    return std::nullopt;
}

} // namespace

std::optional<QString> encodeMacro(const QList<MacroStep> &steps, QByteArray &bytes)
{
    QByteArray out;
    for (qsizetype s = 0; s < steps.size(); ++s) {
        const QString *fields[3] = {&steps[s].stepType, &steps[s].comment, &steps[s].stepSettings};
        for (int f = 0; f < 3; ++f) {
            const QString &text = *fields[f];
            for (QChar c : text) {
                if (c.unicode() > 0xFF)
                    return QStringLiteral("Step %1 cannot be stored: its %2 holds the character \"%3\", which a "
                                          "macro file cannot hold.")
                        .arg(s + 1)
                        .arg(QLatin1String(kFieldNames[f]), QString(c));
            }
            if (text.size() > kLongestString)
                return QStringLiteral("Step %1 cannot be stored: its %2 is %3 characters long, and a macro file "
                                      "holds at most %4.")
                    .arg(s + 1)
                    .arg(QLatin1String(kFieldNames[f]))
                    .arg(text.size())
                    .arg(kLongestString);
            const auto n = static_cast<quint16>(text.size());
            out.append(static_cast<char>(n & 0xFF));
            out.append(static_cast<char>(n >> 8));
            out.append(text.toLatin1());
        }
    }
    bytes = out;
    return std::nullopt;
}

DecodedMacro decodeMacro(QByteArrayView bytes)
{
    DecodedMacro macro;
    qsizetype at = 0;
    while (at < bytes.size()) {
        QString fields[3];
        for (int f = 0; f < 3; ++f) {
            const qsizetype left = bytes.size() - at;
            if (left < 2) {
                macro.error = QStringLiteral("Step %1 is cut short: the file ends inside the length of its %2.")
                                  .arg(macro.steps.size() + 1)
                                  .arg(QLatin1String(kFieldNames[f]));
                return macro;
            }
            const qsizetype n = static_cast<uchar>(bytes[at]) | (static_cast<uchar>(bytes[at + 1]) << 8);
            at += 2;
            if (n > left - 2) {
                macro.error = QStringLiteral("Step %1 runs past the end of the file: its %2 claims %3 bytes where "
                                             "%4 are left.")
                                  .arg(macro.steps.size() + 1)
                                  .arg(QLatin1String(kFieldNames[f]))
                                  .arg(n)
                                  .arg(left - 2);
                return macro;
            }
            fields[f] = QString::fromLatin1(bytes.sliced(at, n));
            at += n;
        }
        macro.steps.append({fields[0], fields[1], fields[2]});
    }
    return macro;
}

QString macroExtension()
{
    return QStringLiteral(".macro.qen");
}

QString macroFolder()
{
    return QDir(tessarc::programFolder()).filePath(QStringLiteral("macro"));
}

QString macroPath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name + macroExtension());
}

QStringList macroNames(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({QLatin1Char('*') + macroExtension()}, QDir::Files,
                                                     QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QString &file : files)
        names.append(file.chopped(macroExtension().size()));
    return names;
}

std::optional<QString> macroNameRefused(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("Please enter a name for the macro.");
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return QStringLiteral("\"%1\" cannot name a macro: a name cannot hold / or \\.").arg(name);
    return std::nullopt;
}

DecodedMacro readMacro(const QString &path)
{
    DecodedMacro macro;
    const std::optional<QByteArray> bytes = readWhole(path, macro.error);
    if (!bytes)
        return macro;
    macro = decodeMacro(*bytes);
    if (!macro.ok())
        macro.error = QStringLiteral("The macro file %1 is damaged. %2").arg(nativePath(path), macro.error);
    return macro;
}

std::optional<QString> writeMacro(const QString &path, const QList<MacroStep> &steps)
{
    QByteArray bytes;
    if (std::optional<QString> refused = encodeMacro(steps, bytes))
        return refused;
    return writeWhole(path, bytes);
}

std::optional<QString> copyMacro(const QString &from, const QString &to)
{
    const QFileInfo source(from);
    const QFileInfo target(to);
    if (source.absoluteFilePath() == target.absoluteFilePath()
        || (target.exists() && source.canonicalFilePath() == target.canonicalFilePath()))
        return QStringLiteral("A backup cannot be written over the macro itself. Please choose another name.");
    QString error;
    const std::optional<QByteArray> bytes = readWhole(from, error);
    if (!bytes)
        return error;
    return writeWhole(to, *bytes);
}

} // namespace macro
