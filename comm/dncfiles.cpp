#include "dncfiles.h"

#include "commerror.h"
#include "words.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace comm {

namespace {

QString latin(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

// The file of `folder` called `name`, or else one whose name differs only in case.
QString existingFile(const QDir &folder, const QString &name)
{
    if (name.isEmpty())
        return {};
    const QFileInfo exact(folder.filePath(name));
    if (exact.isFile())
        return exact.filePath();
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : files) {
        if (file.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(file);
    }
    return {};
}

QString padded(const QString &number, int digits)
{
    QString bare = number;
    while (bare.size() > 1 && bare.startsWith(QLatin1Char('0')))
        bare.remove(0, 1);
    return bare.rightJustified(digits, QLatin1Char('0'));
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void renameOver(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const int error = errno;
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("%1 cannot be renamed to %2: %3.")
                               .arg(from, to, QString::fromLocal8Bit(std::strerror(error))));
    }
}

} // namespace

std::optional<DncRequest> findRequest(const interp::DncSetup &setup, QByteArrayView head)
{
    const QString text = latin(head);
    for (std::size_t i = 0; i < setup.requests.size(); ++i) {
        const QList<QByteArray> parts = interp::splitRequest(setup.requests[i]);
        if (parts.size() != 3)
            continue;
        const QRegularExpression expression(latin(parts[2]), QRegularExpression::CaseInsensitiveOption |
                                                                 QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = expression.match(text);
        if (!match.hasMatch())
            continue;
        DncRequest request;
        request.pattern = int(i) + 1;
        request.how = parts[0];
        request.folder = latin(parts[1]);
        request.name = match.captured(1).trimmed();
        return request;
    }
    return std::nullopt;
}

bool safeFileName(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_.-]{1,100}$"));
    return !name.startsWith(QLatin1Char('.')) && allowed.match(name).hasMatch();
}

LocatedProgram locateProgram(const interp::DncSetup &setup, const DncRequest &request, const QString &folder)
{
    if (!safeFileName(request.name))
        return {{}, QStringLiteral("\"%1\" cannot name a program file (only letters, digits, _ - and . are taken)")
                        .arg(request.name)};
    const QString extension = latin(setup.extension);
    QStringList names;
    if (request.how == "number") {
        static const QRegularExpression number(QStringLiteral("^O?(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = number.match(request.name);
        if (!match.hasMatch())
            return {{}, QStringLiteral("\"%1\" is not a program number").arg(request.name)};
        const QString name = QStringLiteral("O") + padded(match.captured(1), setup.digits);
        names << name + extension << name;
    } else if (request.how == "extension") {
        names << request.name + extension;
    } else {
        names << request.name;
    }
    names.removeDuplicates();
    const QDir dir(folder);
    if (!dir.exists())
        return {{}, QStringLiteral("the folder %1 does not exist").arg(folder)};
    for (const QString &name : names) {
        if (const QString found = existingFile(dir, name); !found.isEmpty())
            return {found, {}};
    }
    return {{}, QStringLiteral("there is no %1 in %2").arg(names.join(QStringLiteral(" or ")), folder)};
}

QString captureFileName(const interp::DncSetup &setup, QByteArrayView head)
{
    const QString extension = latin(setup.extension);
    const tessarc::WordReader reader;
    static const QRegularExpression named(QStringLiteral("^\\s*O?<([^>]+)>"), QRegularExpression::CaseInsensitiveOption);
    QString byNumber;
    QString byName;
    qsizetype at = 0;
    while (at < head.size() && (byNumber.isEmpty() || byName.isEmpty())) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (byName.isEmpty()) {
            const QRegularExpressionMatch match = named.match(latin(line));
            if (match.hasMatch())
                byName = match.captured(1).trimmed();
        }
        if (byNumber.isEmpty()) {
            // A program number is the line's first word (Fanuc writes ":" for "O" in ISO code).
            QByteArray bare = QByteArrayView(line).trimmed().toByteArray();
            if (bare.startsWith(':'))
                bare[0] = 'O';
            const QList<tessarc::Word> words = reader.words(bare);
            if (!words.isEmpty() && words.first().letter == 'O' && words.first().letterPos == 0 && words.first().value >= 0) {
                const QByteArray digits = QByteArray::number(qint64(words.first().value));
                byNumber = QStringLiteral("O") + padded(latin(digits), setup.digits);
            }
        }
    }
    QString name = setup.fileName == "name" && !byName.isEmpty() ? byName : byNumber;
    if (name.isEmpty())
        return {};
    name += extension;
    return safeFileName(name) ? name : QString();
}

bool endsCapture(QByteArrayView line, QByteArrayView endText, bool begun)
{
    const QByteArrayView bare = line.trimmed();
    const QByteArrayView end = endText.trimmed();
    return begun && bare.compare(end.isEmpty() ? QByteArrayView("%") : end, Qt::CaseInsensitive) == 0;
}

bool endsProgram(QByteArrayView line)
{
    static const tessarc::WordReader reader;
    for (const tessarc::Word &word : reader.words(line)) {
        if (word.letter == 'M' && (word.value == 2.0 || word.value == 30.0))
            return true;
    }
    return false;
}

QString datedName(const QString &kind, const QString &machine, const QDateTime &when, const QString &folder,
                  const QString &extension)
{
    const QString stem = QStringLiteral("%1_%2_%3").arg(kind, machine, when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QDir dir(folder);
    QString name = stem + extension;
    for (int n = 2; QFileInfo::exists(dir.filePath(name)); ++n)
        name = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension);
    return name;
}

QStringList fileCapture(const QString &capture, const QString &folder, const QString &name, int backups)
{
    const QDir dir(folder);
    const QString target = dir.filePath(name);
    syncFile(capture);
    QStringList made;
    if (QFileInfo::exists(target) && backups > 0) {
        for (int k = backups - 1; k >= 1; --k) {
            const QString older = QStringLiteral("%1.%2").arg(target).arg(k);
            if (QFileInfo::exists(older))
                renameOver(older, QStringLiteral("%1.%2").arg(target).arg(k + 1));
        }
        // The old file takes its backup's name beside its own, so that the name always holds a
        // whole program while the new one takes its place.
        const QString first = target + QStringLiteral(".1");
        QFile::remove(first);
        if (::link(QFile::encodeName(target).constData(), QFile::encodeName(first).constData()) != 0)
            renameOver(target, first);
        made << name + QStringLiteral(".1");
    }
    renameOver(capture, target);
    syncFile(folder);
    return made;
}

} // namespace comm
