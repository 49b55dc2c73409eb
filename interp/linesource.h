#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <vector>

// Where the interpreter reads a program's lines: by number, from 1, front to back as a rule and
// elsewhere when the program jumps (a loop, a subroutine call).
namespace interp {

class LineSource
{
public:
    virtual ~LineSource() = default;
    virtual qint64 lineCount() const = 0;
    // Line `number` (1 ... lineCount()), valid until the next call. Failures are thrown as
    // tessarc::ControlError.
    virtual QByteArrayView line(qint64 number) = 0;
};

// The lines of a text held whole: a test's program, a subroutine's file.
class TextLines : public LineSource
{
public:
    explicit TextLines(const QByteArray &text);
    qint64 lineCount() const override { return m_lines.size(); }
    QByteArrayView line(qint64 number) override { return m_lines.at(number - 1); }

private:
    QList<QByteArray> m_lines;
};

// The records of a line store, read a block at a time through a file descriptor of its own, so
// a thread away from the window can read it. The store's path, record length and line count are
// taken when it is made: a change of the program after that is the caller's to notice.
class StoreLines : public LineSource
{
public:
    StoreLines(const QString &store, int recordLength, qint64 lines);
    ~StoreLines() override;
    StoreLines(const StoreLines &) = delete;
    StoreLines &operator=(const StoreLines &) = delete;
    qint64 lineCount() const override { return m_lines; }
    QByteArrayView line(qint64 number) override;

private:
    void readBlock(qint64 first);

    QString m_path;
    int m_fd = -1;
    int m_recLen;
    qint64 m_lines;
    std::vector<char> m_buffer;
    qint64 m_first = 0; // the block's first line; 0 before the first read
    qint64 m_count = 0; // lines the block holds
};

} // namespace interp
