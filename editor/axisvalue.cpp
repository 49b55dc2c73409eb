#include "axisvalue.h"

#include <charconv>

namespace tessarc {

namespace {

QString trimSpaces(const QString &s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && s.at(to - 1) == QLatin1Char(' '))
        --to;
    return s.mid(from, to - from);
}

// An optional sign, then digits with at most one point; reading stops at the first character
// that does not fit. No digit read gives 0.
double readSignedDecimal(const QString &text)
{
    QByteArray accepted;
    qsizetype i = 0;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        accepted.append(static_cast<char>(text.at(i++).unicode()));
    bool point = false;
    bool digit = false;
    for (; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.unicode() >= '0' && ch.unicode() <= '9') {
            digit = true;
        } else if (ch == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
        accepted.append(static_cast<char>(ch.unicode()));
    }
    if (!digit)
        return 0.0;
    return decimalValue(accepted);
}

} // namespace

double decimalValue(QByteArrayView text)
{
    // Read the same whatever the user's locale: a point is always the decimal point.
    if (!text.isEmpty() && text.front() == '+')
        text = text.sliced(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    Q_UNUSED(end);
    return error == std::errc() ? value : 0.0;
}

bool isAxisNumberChar(QChar ch)
{
    const char16_t u = ch.unicode();
    return u == ' ' || u == '-' || u == '+' || u == '.' || (u >= '0' && u <= '9');
}

AxisValue getAxisValue(QString &gcaxis, const QString &strLine)
{
    gcaxis = trimSpaces(gcaxis).left(1);
    if (strLine.isEmpty())
        return {0.0, 0.0, 0.0};
    // An empty letter is found at the first position, as a search for nothing is.
    const qsizetype p = gcaxis.isEmpty() ? 0 : strLine.indexOf(gcaxis, 0, Qt::CaseInsensitive);
    if (p < 0)
        return {0.0, 0.0, 0.0};
    qsizetype i = gcaxis.isEmpty() ? 1 : p + 1;
    QString taken;
    while (i < strLine.size() && isAxisNumberChar(strLine.at(i))) {
        taken.append(strLine.at(i));
        ++i;
    }
    const double count = static_cast<double>(taken.size());
    taken.remove(QLatin1Char(' '));
    return {readSignedDecimal(taken), count, 1.0};
}

} // namespace tessarc
