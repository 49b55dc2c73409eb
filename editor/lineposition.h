#pragma once

#include <QtGlobal>
#include <compare>

// Three kinds of position meet where the page is shown: a line of the program, a row of the page,
// and a character of the page's text. Each is its own type, so one cannot be passed for another;
// the few ways they combine are spelled out below.
namespace tessarc {

template <class Tag, class T>
struct Position
{
    T value{};
    constexpr Position() = default;
    constexpr explicit Position(T v) : value(v) {}
    constexpr auto operator<=>(const Position &) const = default;
};

struct LineNumberTag;
struct PageRowTag;
struct CharOffsetTag;

// A line of the program, from 1; line k is record k of the line store.
using LineNumber = Position<LineNumberTag, qint64>;
// A row of the page shown in the view, from 0 at the top.
using PageRow = Position<PageRowTag, int>;
// A character of the page's text, from 0, each line break counting two characters (CR LF).
using CharOffset = Position<CharOffsetTag, int>;

// The line `count` lines after `line` (before it, for a negative count).
constexpr LineNumber operator+(LineNumber line, qint64 count)
{
    return LineNumber(line.value + count);
}
constexpr LineNumber operator-(LineNumber line, qint64 count)
{
    return LineNumber(line.value - count);
}
// How many lines lie from `from` up to `to`.
constexpr qint64 operator-(LineNumber to, LineNumber from)
{
    return to.value - from.value;
}

// The line shown on `row` of a page whose top line is `top`.
constexpr LineNumber lineAt(LineNumber top, PageRow row)
{
    return LineNumber(top.value + row.value);
}

} // namespace tessarc
