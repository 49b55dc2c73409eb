#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QByteArrayView>

namespace tessarc {

// The bracketed names of the 32 control characters, "(NUL)" for code 0 to "(US)" for code 31.
// The store and files hold the raw characters; only the view shows the names.
TESSARC_EXPORT QByteArrayView controlName(int code);

// Every control character (codes 0 to 31) replaced by its name. Code 127 and above stay as they are.
TESSARC_EXPORT QByteArray controlToNotation(QByteArrayView text);

// Every name replaced by its control character. Names match exactly: "(lf)" stays as typed.
TESSARC_EXPORT QByteArray notationToControl(QByteArrayView text);

} // namespace tessarc
