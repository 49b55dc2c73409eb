#include "linesettings.h"

namespace comm {

namespace {

ControlError invalid(const QString &description)
{
    return ControlError(InvalidPropertyValue, description);
}

} // namespace

const QList<qint32> &profileBaudRates()
{
    static const QList<qint32> rates = {110,   300,   600,   1200,  2400,  4800,   9600,
                                        14400, 19200, 28800, 38400, 56000, 128000, 256000};
    return rates;
}

QStringList settingsItems(QStringView text)
{
    QStringList items;
    for (QStringView item : text.split(QLatin1Char(',')))
        items.append(item.toString());
    return items;
}

LineSettings parseLineSettings(QStringView text)
{
    const QList<QStringView> items = text.split(QLatin1Char(','));
    if (items.size() != 4)
        throw invalid(QStringLiteral("The line settings \"%1\" are not four items: baud rate, parity, data bits "
                                     "and stop bits, as in \"9600,N,8,1\".")
                          .arg(text));
    LineSettings s;

    const QStringView baud = items[0].trimmed();
    bool ok = !baud.isEmpty();
    for (QChar c : baud)
        ok = ok && c.isDigit() && c.unicode() < 128;
    const qint64 rate = ok && baud.size() <= 9 ? baud.toLongLong() : -1;
    if (rate < kLowestBaud || rate > kHighestBaud)
        throw invalid(QStringLiteral("The baud rate \"%1\" is not a whole number from %2 to %3.")
                          .arg(items[0])
                          .arg(kLowestBaud)
                          .arg(kHighestBaud));
    s.baud = static_cast<qint32>(rate);

    const QStringView parity = items[1].trimmed();
    const char letter = parity.size() == 1 ? static_cast<char>(parity[0].toUpper().toLatin1()) : '\0';
    if (letter != 'E' && letter != 'M' && letter != 'N' && letter != 'O' && letter != 'S')
        throw invalid(QStringLiteral("The parity \"%1\" is not one of E, M, N, O or S.").arg(items[1]));
    s.parity = letter;

    const QStringView data = items[2].trimmed();
    if (data.size() != 1 || data[0] < QLatin1Char('4') || data[0] > QLatin1Char('8'))
        throw invalid(QStringLiteral("The data bits \"%1\" are not one of 4, 5, 6, 7 or 8.").arg(items[2]));
    s.dataBits = data[0].unicode() - '0';

    const QStringView stop = items[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = StopBits::One;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == QLatin1String("2"))
        s.stopBits = StopBits::Two;
    else
        throw invalid(QStringLiteral("The stop bits \"%1\" are not one of 1, 1.5 or 2.").arg(items[3]));
    return s;
}

QString settingsText(const LineSettings &settings)
{
    const char *stop = settings.stopBits == StopBits::One ? "1" : settings.stopBits == StopBits::Two ? "2" : "1.5";
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baud)
        .arg(QLatin1Char(settings.parity))
        .arg(settings.dataBits)
        .arg(QLatin1String(stop));
}

} // namespace comm
