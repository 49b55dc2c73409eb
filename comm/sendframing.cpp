#include "sendframing.h"

#include "numbers.h"

#include <QFile>
#include <QFileInfo>

namespace comm {

QByteArray strippitLeader()
{
    return QByteArray(10, '\0');
}

QByteArray programNameOnWire(const QString &programFile)
{
    const QFileInfo info(programFile);
    if (programFile.isEmpty() || !info.isFile())
        return QByteArray();
    return QFile::encodeName(info.fileName());
}

QByteArray sendHeader(const MachineProfile &profile, QByteArrayView programName)
{
    QByteArray out;
    if (profile.strippit == 1) {
        out += strippitLeader();
        out += programName;
        out += strippitLeader();
    }
    out += profile.bof;
    if (profile.bofeob != 0)
        out += profile.eob;
    return out;
}

void appendSendLine(QByteArray &out, QByteArrayView line, QByteArrayView flyText, QByteArrayView eob)
{
    out.append(line);
    out.append(flyText);
    out.append(eob);
}

QByteArray sendTrailer(const MachineProfile &profile)
{
    QByteArray out;
    out += profile.eof;
    if (profile.eofeob != 0)
        out += profile.eob;
    if (profile.strippit == 1)
        out += strippitLeader();
    return out;
}

QByteArray wholeSend(const MachineProfile &profile, QByteArrayView programName, const QList<QByteArray> &lines)
{
    QByteArray out = sendHeader(profile, programName);
    for (const QByteArray &line : lines)
        appendSendLine(out, line, {}, profile.eob);
    return out + sendTrailer(profile);
}

QString sendCaption(qint64 sent, qint64 total, const QString &percentFormat)
{
    const double share = total > 0 ? static_cast<double>(sent) * 100.0 / static_cast<double>(total) : 100.0;
    return functions::formatNumber(share, percentFormat) + QLatin1Char('%');
}

} // namespace comm
