#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Copy Lines: the text a range of lines puts on the clipboard, built in one buffer while the
// frame's read-only run hands it the lines, so the clipboard is set once at the end.
namespace tools {

class CopyLinesText
{
public:
    // Every line is followed by CR LF, the last one too.
    void addLine(QByteArrayView line)
    {
        m_text.append(line.data(), line.size());
        m_text.append("\r\n", 2);
    }

    const QByteArray &bytes() const { return m_text; }
    // The text for the clipboard: every byte as the Latin-1 character of that code.
    QString text() const { return QString::fromLatin1(m_text); }

private:
    QByteArray m_text;
};

} // namespace tools
