#pragma once

#include "commentrule.h"
#include "linerewrite.h"

#include <QByteArray>
#include <QByteArrayView>

namespace tools {

// One line of a Remove Comments run, as functions::stripComments gives it: every comment of the
// program's comment rule taken out, the text around it left as it was, spaces included. A line
// that held nothing but a comment becomes empty and stays in the program. Every line of the range
// is written back; a line never grows.
class RemoveCommentsWork
{
public:
    explicit RemoveCommentsWork(const tessarc::CommentRule &rule);
    LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    tessarc::CommentScanner m_scanner;
};

} // namespace tools
