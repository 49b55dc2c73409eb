#include "machineprofile.h"

#include "linesettings.h"
#include "notation.h"

#include <QtEndian>

namespace comm {

namespace {

constexpr qsizetype kLongestText = 0xFFFF;

void putText(QByteArray &out, const QByteArray &bytes, const char *field, const MachineProfile &profile)
{
    if (bytes.size() > kLongestText)
        throw ControlError(ControlError::Overflow,
                           QStringLiteral("The %1 field of machine \"%2\" is %3 bytes long; a machine file holds at most %4.")
                               .arg(QLatin1String(field), profile.name)
                               .arg(bytes.size())
                               .arg(kLongestText));
    const quint16 length = static_cast<quint16>(bytes.size());
    out.append(static_cast<char>(length & 0xFF));
    out.append(static_cast<char>(length >> 8));
    out.append(bytes);
}

QByteArray latin1(const QString &text, const char *field, const MachineProfile &profile)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            throw ControlError(InvalidPropertyValue,
                               QStringLiteral("The %1 field of machine \"%2\" holds the character \"%3\", which a "
                                              "machine file cannot store.")
                                   .arg(QLatin1String(field), profile.name, QString(c)));
    }
    return text.toLatin1();
}

// Reads the record's fields in order, each checked against the bytes that are left.
class RecordReader
{
public:
    RecordReader(QByteArrayView bytes, const QString &source) : m_bytes(bytes), m_source(source) {}

    QByteArray text(const char *field)
    {
        need(2, field);
        const quint16 length = qFromLittleEndian<quint16>(m_bytes.data() + m_at);
        m_at += 2;
        if (m_bytes.size() - m_at < length)
            throw damaged(QStringLiteral("the %1 field runs past the end of the file (%2 bytes given, %3 left)")
                              .arg(QLatin1String(field))
                              .arg(length)
                              .arg(m_bytes.size() - m_at));
        const QByteArray value = m_bytes.sliced(m_at, length).toByteArray();
        m_at += length;
        return value;
    }
    quint8 byte(const char *field)
    {
        need(1, field);
        return static_cast<quint8>(m_bytes[m_at++]);
    }
    qint32 int32(const char *field)
    {
        need(4, field);
        const qint32 value = qFromLittleEndian<qint32>(m_bytes.data() + m_at);
        m_at += 4;
        return value;
    }

private:
    void need(qsizetype count, const char *field)
    {
        if (m_bytes.size() - m_at < count)
            throw damaged(QStringLiteral("it ends before the %1 field").arg(QLatin1String(field)));
    }
    ControlError damaged(const QString &why) const
    {
        return ControlError(InputPastEndOfFile, QStringLiteral("The machine file %1 is damaged: %2.").arg(m_source, why));
    }

    QByteArrayView m_bytes;
    QString m_source;
    qsizetype m_at = 0;
};

} // namespace

MachineProfile newProfile(const QString &name)
{
    MachineProfile p;
    p.name = name;
    return p;
}

QByteArray encodeProfile(const MachineProfile &p)
{
    QByteArray out;
    putText(out, latin1(p.name, "name", p), "name", p);
    putText(out, latin1(p.comments, "comments", p), "comments", p);
    putText(out, latin1(p.settings, "line settings", p), "line settings", p);
    out.append(static_cast<char>(p.handshake));
    out.append(static_cast<char>(p.comPort));
    putText(out, p.eob, "end-of-block characters", p);
    putText(out, p.bof, "beginning-of-file text", p);
    out.append(static_cast<char>(p.bofeob));
    putText(out, p.eof, "end-of-file text", p);
    out.append(static_cast<char>(p.eofeob));
    char strippit[4];
    qToLittleEndian<qint32>(p.strippit, strippit);
    out.append(strippit, 4);
    return out;
}

MachineProfile decodeProfile(QByteArrayView bytes, const QString &source)
{
    RecordReader r(bytes, source);
    MachineProfile p;
    p.name = QString::fromLatin1(r.text("name"));
    p.comments = QString::fromLatin1(r.text("comments"));
    p.settings = QString::fromLatin1(r.text("line settings"));
    p.handshake = r.byte("handshake");
    p.comPort = r.byte("port number");
    p.eob = r.text("end-of-block characters");
    p.bof = r.text("beginning-of-file text");
    p.bofeob = r.byte("beginning-of-file EOB flag");
    p.eof = r.text("end-of-file text");
    p.eofeob = r.byte("end-of-file EOB flag");
    p.strippit = r.int32("special protocol flag");
    return p;
}

std::optional<QString> profileProblem(const MachineProfile &p)
{
    try {
        parseLineSettings(p.settings);
    } catch (const ControlError &error) {
        return QStringLiteral("Machine \"%1\" cannot be used: %2").arg(p.name, error.description());
    }
    if (p.handshake > 3)
        return QStringLiteral("Machine \"%1\" cannot be used: its handshake %2 is not one of 0 to 3.")
            .arg(p.name)
            .arg(p.handshake);
    return std::nullopt;
}

QString handshakeName(int handshake)
{
    switch (handshake) {
    case 0:
        return QStringLiteral("None");
    case 1:
        return QStringLiteral("XOn/XOff");
    case 2:
        return QStringLiteral("RTS");
    case 3:
        return QStringLiteral("RTS XOn/XOff");
    default:
        return QString();
    }
}

QString profileSummary(const MachineProfile &p)
{
    const QStringList items = settingsItems(p.settings);
    auto item = [&items](int i) { return i < items.size() ? items[i] : QString(); };
    auto shown = [](const QByteArray &raw) { return QString::fromLatin1(tessarc::controlToNotation(raw)); };
    const QStringList lines = {
        p.name,
        QStringLiteral("COM%1").arg(p.comPort),
        QStringLiteral("Handshake: ") + handshakeName(p.handshake),
        QStringLiteral("EOB Character: ") + shown(p.eob),
        QStringLiteral("Baud Rate: ") + item(0),
        QStringLiteral("Parity: ") + item(1),
        QStringLiteral("Data Bits: ") + item(2),
        QStringLiteral("Stop Bits: ") + item(3),
        QStringLiteral("Special Beginning of File: ") + shown(p.bof),
        QStringLiteral("Special End of File: ") + shown(p.eof),
    };
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace comm
