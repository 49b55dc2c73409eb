#include "gcodedefinitions.h"

#include "programfolder.h"

#include <QDir>
#include <QFile>
#include "safefile.h"

#include <algorithm>
#include <utility>

namespace definitions {

namespace {

QString fileError(const QString &path, const QString &doing, const QString &reason)
{
    return QStringLiteral("The definitions file %1 could not be %2: %3")
        .arg(QDir::toNativeSeparators(path), doing, reason);
}

// Replaces the file at `path` with `bytes`, through a temporary file renamed over it. The file is
// written unbuffered and every write checked, so a full disk is noticed before the rename (a
// buffered write would only fail when the file is closed, and the rename would still happen).
std::optional<QString> writeWhole(const QString &path, const QByteArray &bytes)
{
    if (const std::optional<QString> why = tessarc::SafeFile::writeWhole(path, bytes))
        return fileError(path, QStringLiteral("written"), *why);
    return std::nullopt;
}

std::optional<QByteArray> readWhole(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = fileError(path, QStringLiteral("read"), file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = fileError(path, QStringLiteral("read"), file.errorString());
        return std::nullopt;
    }
    return bytes;
}

// Letters folded one character at a time, so a text keeps its length (the capitals of "ß" and
// "ÿ" lie outside the file's characters and are left as they are).
QString upper(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const QChar u = c.toUpper();
        if (u.unicode() <= 0xFF)
            c = u;
    }
    return out;
}

QString lower(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = c.toLower();
    return out;
}

QString withoutCommas(QString text)
{
    return text.remove(QLatin1Char(','));
}

bool sortsBefore(const QString &a, const QString &b)
{
    const int folded = lower(a).compare(lower(b), Qt::CaseSensitive);
    return folded != 0 ? folded < 0 : a.compare(b, Qt::CaseSensitive) < 0;
}

} // namespace

QString fileName()
{
    return QStringLiteral("g&mcode.txt");
}

QString definitionsPath()
{
    return QDir(tessarc::programFolder()).filePath(fileName());
}

QByteArray defaultContent()
{
    return QByteArrayLiteral("G Rapid Travel\r\nG0 Rapid Travel\r\nG00 Rapid Travel\r\nM6 Tool Change\r\n");
}

QStringList readFields(QByteArrayView bytes)
{
    QStringList fields;
    const qsizetype n = bytes.size();
    auto lineEnd = [&bytes](qsizetype i) { return bytes[i] == '\r' || bytes[i] == '\n'; };
    qsizetype i = 0;
    while (i < n) {
        while (i < n && bytes[i] == ' ')
            ++i;
        QByteArrayView field;
        if (i < n && bytes[i] == '"') {
            const qsizetype from = i + 1;
            qsizetype close = from;
            while (close < n && bytes[close] != '"')
                ++close;
            field = bytes.sliced(from, close - from);
            // Whatever follows the closing quote up to the field's end is not part of it.
            i = close;
            while (i < n && bytes[i] != ',' && !lineEnd(i))
                ++i;
        } else {
            const qsizetype from = i;
            while (i < n && bytes[i] != ',' && !lineEnd(i))
                ++i;
            qsizetype to = i;
            while (to > from && bytes[to - 1] == ' ')
                --to;
            field = bytes.sliced(from, to - from);
        }
        if (!field.trimmed().isEmpty())
            fields.append(QString::fromLatin1(field));
        if (i < n && bytes[i] == ',')
            ++i;
        else if (i < n && bytes[i] == '\r')
            i += (i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
        else if (i < n)
            ++i;
    }
    return fields;
}

QByteArray encode(const QStringList &items)
{
    QByteArray out;
    for (QString item : items) {
        item.replace(QStringLiteral("\r\n"), QStringLiteral(" newline "));
        item.replace(QLatin1Char('\r'), QStringLiteral(" newline "));
        item.replace(QLatin1Char('\n'), QStringLiteral(" newline "));
        const bool quote = item.contains(QLatin1Char(',')) || item.startsWith(QLatin1Char(' '))
                           || item.startsWith(QLatin1Char('"'));
        if (quote) {
            item.replace(QLatin1Char('"'), QLatin1Char('\''));
            item = QLatin1Char('"') + item + QLatin1Char('"');
        }
        out += item.toLatin1();
        out += "\r\n";
    }
    return out;
}

QString shownDefinition(const QString &field)
{
    QString shown = field;
    return shown.replace(QStringLiteral(" newline "), QStringLiteral("\r\n"));
}

DefinitionList::DefinitionList(QString path) : m_path(std::move(path))
{
}

std::optional<QString> DefinitionList::load()
{
    m_created = false;
    m_items.clear();
    if (!QFile::exists(m_path)) {
        if (std::optional<QString> error = writeWhole(m_path, defaultContent()))
            return error;
        m_created = true;
    }
    QString error;
    const std::optional<QByteArray> bytes = readWhole(m_path, error);
    if (!bytes)
        return error;
    m_items = readFields(*bytes);
    std::stable_sort(m_items.begin(), m_items.end(), sortsBefore);
    return std::nullopt;
}

QString DefinitionList::codeFor(const QString &typed)
{
    return upper(withoutCommas(typed.trimmed()).trimmed());
}

std::optional<QString> DefinitionList::itemFor(const QString &code, const QString &meaning)
{
    const QString c = codeFor(code);
    const QString m = withoutCommas(meaning.trimmed()).trimmed();
    if (c.isEmpty() || m.isEmpty())
        return std::nullopt;
    return c + QLatin1Char(' ') + m;
}

int DefinitionList::add(const QString &item)
{
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), item, sortsBefore);
    const auto row = static_cast<int>(at - m_items.begin());
    m_items.insert(row, item);
    return row;
}

void DefinitionList::remove(int row)
{
    if (row >= 0 && row < m_items.size())
        m_items.removeAt(row);
}

std::optional<QString> DefinitionList::save() const
{
    return writeWhole(m_path, encode(m_items));
}

QString selectionKey(const QString &selected)
{
    QString key = selected;
    key.remove(QLatin1Char('\r'));
    key.remove(QLatin1Char('\n'));
    qsizetype from = 0;
    qsizetype to = key.size();
    while (from < to && key.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && key.at(to - 1) == QLatin1Char(' '))
        --to;
    return key.mid(from, to - from) + QLatin1Char(' ');
}

Lookup lookup(const QString &path, const QString &key)
{
    Lookup result;
    if (!QFile::exists(path)) {
        result.status = Lookup::NoFile;
        return result;
    }
    const std::optional<QByteArray> bytes = readWhole(path, result.error);
    if (!bytes) {
        result.status = Lookup::Failed;
        return result;
    }
    const QString wanted = lower(key);
    for (const QString &field : readFields(*bytes)) {
        if (lower(field.left(key.size())) == wanted) {
            result.status = Lookup::Found;
            result.definition = field;
            return result;
        }
    }
    result.status = Lookup::NotFound;
    return result;
}

QString lookupLine(const QString &key, const QString &answer)
{
    return upper(key) + QLatin1Char(' ') + withoutCommas(answer);
}

std::optional<QString> appendLine(const QString &path, const QString &line)
{
    QByteArray bytes;
    if (QFile::exists(path)) {
        QString error;
        const std::optional<QByteArray> old = readWhole(path, error);
        if (!old)
            return error;
        bytes = *old;
        if (!bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r'))
            bytes += "\r\n";
    }
    bytes += encode({line});
    return writeWhole(path, bytes);
}

} // namespace definitions
