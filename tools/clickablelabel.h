#pragma once

#include <QString>
#include <functional>

class QLabel;
class QWidget;

namespace tools {

// A label that reads as a link (underlined, in the link colour, a pointing hand over it) and runs
// `clicked` when the left mouse button is released over it.
QLabel *clickableLabel(const QString &caption, QWidget *parent, std::function<void()> clicked);

} // namespace tools
