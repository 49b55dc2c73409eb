#pragma once

#include <QByteArrayView>
#include <QString>

// Copy Lines: the text a range of lines puts on the clipboard, built in one buffer while the
// frame's read-only run hands it the lines, so the clipboard is set once at the end.
namespace tools {

class CopyLinesText
{
public:
    // `lines`: how many lines are coming, so that the buffer is sized once, from the length of the
    // first few, rather than grown again and again.
    explicit CopyLinesText(qint64 lines = 0) : m_lines(lines) {}

    // Every line is followed by CR LF, the last one too; every byte becomes the Latin-1 character
    // of that code.
    void addLine(QByteArrayView line)
    {
        const qsizetype n = line.size();
        if (m_used + n + 2 > m_text.size())
            grow(n + 2);
        char16_t *to = reinterpret_cast<char16_t *>(m_text.data()) + m_used;
        widen(line.data(), n, to);
        to[n] = u'\r';
        to[n + 1] = u'\n';
        m_used += n + 2;
        ++m_added;
    }

    // The text as it stands; the builder is empty afterwards.
    QString take()
    {
        m_text.resize(m_used);
        m_used = 0;
        m_added = 0;
        return std::move(m_text);
    }

private:
    void grow(qsizetype need);
    // Each of the n bytes at `from` as the character of that code.
    static void widen(const char *from, qsizetype n, char16_t *to);

    QString m_text; // its first m_used characters are the text; the rest is room
    qsizetype m_used = 0;
    qint64 m_added = 0;
    qint64 m_lines;
};

} // namespace tools
