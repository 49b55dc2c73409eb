#include "machinefields.h"

#include "linesettings.h"
#include "notation.h"
#include "numbers.h"
#include "serialport.h"

#include <cmath>

namespace comm {

namespace {

QByteArray fieldBytes(const QString &text, const char *field)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            throw ControlError(InvalidPropertyValue,
                               QStringLiteral("The %1 field holds the character \"%2\", which cannot be sent on a serial line.")
                                   .arg(QLatin1String(field), QString(c)));
    }
    return text.toLatin1();
}

} // namespace

QString invalidComPortText()
{
    return QStringLiteral("Invalid COM port.");
}

std::optional<int> comFieldPort(const QString &text)
{
    if (!functions::isNumeric(text))
        return std::nullopt;
    const double value = functions::leadingNumber(text);
    if (!(value >= PortMap::kFirstPort && value <= PortMap::kLastPort))
        return std::nullopt;
    return static_cast<int>(std::nearbyint(value));
}

std::optional<QString> checkComField(const QString &text, const PortMap &ports)
{
    const std::optional<int> port = comFieldPort(text);
    if (!port)
        return invalidComPortText();
    try {
        SerialPort test(ports);
        test.setCommPort(*port);
        test.setPortOpen(true);
        test.setPortOpen(false);
    } catch (const ControlError &) {
        return invalidComPortText();
    }
    return std::nullopt;
}

std::optional<QString> checkSettingsText(const QString &text)
{
    try {
        parseLineSettings(text);
    } catch (const ControlError &error) {
        return error.description();
    }
    return std::nullopt;
}

QByteArray eobOfChoice(EobChoice choice, const QString &otherText)
{
    switch (choice) {
    case EobChoice::Lf:
        return "\n";
    case EobChoice::Cr:
        return "\r";
    case EobChoice::LfCr:
        return "\n\r";
    case EobChoice::CrLf:
        return "\r\n";
    case EobChoice::LfCrCr:
        return "\n\r\r";
    case EobChoice::Other:
        return tessarc::notationToControl(fieldBytes(otherText, "end-of-block characters"));
    case EobChoice::None:
        break;
    }
    return QByteArray();
}

EobShown eobChoiceOf(const QByteArray &eob)
{
    for (EobChoice c : {EobChoice::Lf, EobChoice::Cr, EobChoice::LfCr, EobChoice::CrLf, EobChoice::LfCrCr}) {
        if (eob == eobOfChoice(c, QString()))
            return {c, QString()};
    }
    return {EobChoice::Other, QString::fromLatin1(tessarc::controlToNotation(eob))};
}

ManageFields fieldsOf(const MachineProfile &p)
{
    ManageFields f;
    const QStringList items = settingsItems(p.settings);
    f.name = p.name;
    f.comments = p.comments;
    f.com = QString::number(p.comPort);
    f.baud = items.value(0);
    f.parity = items.value(1);
    f.dataBits = items.value(2);
    f.stopBits = items.value(3);
    f.handshake = p.handshake <= 3 ? p.handshake : -1;
    const EobShown eob = eobChoiceOf(p.eob);
    f.eob = eob.choice;
    if (eob.choice == EobChoice::Other)
        f.otherEob = eob.otherText;
    f.bof = QString::fromLatin1(tessarc::controlToNotation(p.bof));
    f.bofeob = p.bofeob != 0;
    f.eof = QString::fromLatin1(tessarc::controlToNotation(p.eof));
    f.eofeob = p.eofeob != 0;
    f.strippit = p.strippit == 1;
    return f;
}

MachineProfile profileFromFields(const ManageFields &f, const MachineProfile &loaded)
{
    MachineProfile p = loaded;
    p.name = f.name;
    p.comments = f.comments;
    p.bof = tessarc::notationToControl(fieldBytes(f.bof, "beginning-of-file text"));
    p.eof = tessarc::notationToControl(fieldBytes(f.eof, "end-of-file text"));
    p.bofeob = f.bofeob ? 1 : 0;
    p.eofeob = f.eofeob ? 1 : 0;
    if (const std::optional<int> port = comFieldPort(f.com))
        p.comPort = static_cast<quint8>(*port);
    if (f.handshake >= 0 && f.handshake <= 3)
        p.handshake = static_cast<quint8>(f.handshake);
    if (f.eob != EobChoice::None)
        p.eob = eobOfChoice(f.eob, f.otherEob);
    // A group with no chosen option keeps the loaded item, or a new profile's when there is none.
    const QStringList loadedItems = settingsItems(loaded.settings);
    const QStringList fresh = settingsItems(newProfile(QString()).settings);
    const QString chosen[4] = {f.baud, f.parity, f.dataBits, f.stopBits};
    QStringList items;
    for (int i = 0; i < 4; ++i) {
        const bool kept = loadedItems.size() >= 4;
        items.append(!chosen[i].isEmpty() ? chosen[i] : kept ? loadedItems[i] : fresh[i]);
    }
    p.settings = items.join(QLatin1Char(','));
    p.strippit = f.strippit ? 1 : 0;
    return p;
}

QString specialCharactersTips()
{
    QString text = QStringLiteral("To use special characters in the EOB: other, BOF, or EOF text boxes use the character's"
                                  " abbreviation in parenthesis like \"(NUL)\" would equal character 0. See the chart "
                                  "below for abbreviations.");
    text += QStringLiteral("\r\n");
    QStringList rows;
    auto bare = [](int code) {
        const QByteArrayView name = tessarc::controlName(code);
        return QString::fromLatin1(name.sliced(1, name.size() - 2));
    };
    for (int k = 0; k < 16; ++k)
        rows.append(QStringLiteral("%1\t%2\t%3\t%4").arg(2 * k).arg(bare(2 * k)).arg(2 * k + 1).arg(bare(2 * k + 1)));
    return text + rows.join(QStringLiteral("\r\n"));
}

} // namespace comm
