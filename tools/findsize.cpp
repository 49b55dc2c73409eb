#include "findsize.h"

#include <algorithm>
#include <bit>

namespace tools {

void SizeScan::addLine(QByteArrayView line)
{
    m_reader.words(line, m_words);
    quint32 met = 0;
    for (const tessarc::Word &word : std::as_const(m_words)) {
        const int i = word.letter - 'A';
        if ((met >> i) & 1u)
            continue;
        met |= 1u << i;
        LetterExtent &extent = m_extents[static_cast<std::size_t>(i)];
        if (!extent.seen) {
            extent = {true, word.value, word.value};
        } else {
            extent.min = std::min(extent.min, word.value);
            extent.max = std::max(extent.max, word.value);
        }
    }
}

QStringList SizeScan::rows() const
{
    QStringList rows;
    for (int i = 0; i < 26; ++i) {
        const LetterExtent &extent = m_extents[static_cast<std::size_t>(i)];
        if (extent.seen)
            rows.append(QChar(u'A' + i) + QStringLiteral("\t\t") + plainNumber(extent.max) + QStringLiteral("\t\t")
                        + plainNumber(extent.min));
    }
    return rows;
}

PositionScan::PositionScan(QChar letter, const SizeRules &rules)
    : m_reader(rules.comments, rules.spaces), m_letter(letter.toUpper())
{
    if (m_letter >= QLatin1Char('A') && m_letter <= QLatin1Char('Z'))
        m_byte = static_cast<char>(m_letter.unicode());
}

void PositionScan::addLine(qint64 line, QByteArrayView text)
{
    if (!m_byte)
        return;
    if (const std::optional<tessarc::Word> word = m_reader.first(text, m_byte))
        m_positions.push_back({line, word->value});
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
