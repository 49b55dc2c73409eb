#include "removecomments.h"

namespace tools {

RemoveCommentsWork::RemoveCommentsWork(const tessarc::CommentRule &rule) : m_scanner(rule)
{
}

LineFault RemoveCommentsWork::operator()(QByteArrayView line, QByteArray &out) const
{
    out.resize(0);
    m_scanner.appendStripped(line, out);
    return LineFault::None;
}

} // namespace tools
