#include "findsize.h"

#include <algorithm>
#include <bit>

namespace tools {

SizeLineReader::SizeLineReader(const SizeRules &rules)
    : m_commentAware(rules.commentAware && tessarc::CommentScanner(rules.comments).any()), m_scanner(rules.comments)
{
}

QByteArrayView SizeLineReader::operator()(QByteArrayView line)
{
    // A line without a comment is read as it is, without a copy.
    qsizetype from = 0;
    tessarc::CommentSpan span;
    if (!m_commentAware || !m_scanner.next(line, from, span))
        return line;
    m_stripped.resize(0);
    m_scanner.appendStripped(line, m_stripped);
    return m_stripped;
}

void SizeScan::addLine(QByteArrayView line)
{
    m_scan.addLine(m_reader(line));
}

QStringList SizeScan::rows() const
{
    QStringList rows;
    for (int i = 0; i < 26; ++i) {
        const LetterExtent &extent = m_scan.extents()[static_cast<std::size_t>(i)];
        if (extent.seen)
            rows.append(QChar(u'A' + i) + QStringLiteral("\t\t") + plainNumber(extent.max) + QStringLiteral("\t\t")
                        + plainNumber(extent.min));
    }
    return rows;
}

PositionScan::PositionScan(QChar letter, const SizeRules &rules)
    : m_reader(rules), m_spaces(rules.spaces), m_letter(letter.toUpper())
{
    if (m_letter >= QLatin1Char('A') && m_letter <= QLatin1Char('Z'))
        m_bit = letterBit(static_cast<char>(m_letter.unicode()));
}

void PositionScan::addLine(qint64 line, QByteArrayView text)
{
    if (!m_bit)
        return;
    m_scan.read(m_reader(text), m_spaces, m_bit);
    if (m_scan.found() & m_bit)
        m_positions.push_back({line, m_scan.number(m_letter.unicode() - 'A').value()});
}

QString positionRow(QChar letter, const LetterPosition &position)
{
    return QStringLiteral("Line %1: %2 = %3").arg(position.line).arg(letter).arg(plainNumber(position.value));
}

QString plainNumber(double value)
{
    if (value == 0.0)
        return QStringLiteral("0"); // never "-0"
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

} // namespace tools
