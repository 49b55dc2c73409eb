#pragma once

#include "commerror.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <cstdint>

// The line settings of a port as one text, "9600,N,8,1": baud rate, parity letter, data bits and
// stop bits, separated by commas. This is the form a machine profile stores.
namespace comm {

enum class StopBits : std::uint8_t { One, OneAndHalf, Two };

struct LineSettings
{
    qint32 baud = 9600;
    char parity = 'N'; // 'E' even, 'M' mark, 'N' none, 'O' odd, 'S' space
    int dataBits = 8;  // 4 to 8
    StopBits stopBits = StopBits::One;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

// The baud rates a machine profile offers, lowest first.
const QList<qint32> &profileBaudRates();

// The lowest and highest rate a settings text may name; the device decides what it can do between.
inline constexpr qint32 kLowestBaud = 50;
inline constexpr qint32 kHighestBaud = 4000000;

// Reads a settings text. Spaces around an item are ignored and the parity letter may be in either
// case. A text that is not four valid items throws ControlError (InvalidPropertyValue) whose
// description says which item is wrong. 4 data bits and 1.5 stop bits are valid here: the
// profile format allows them; only opening a port with them fails (serialport.h).
LineSettings parseLineSettings(QStringView text);

// The text of settings, "9600,N,8,1" (stop bits "1", "1.5" or "2").
QString settingsText(const LineSettings &settings);

// The four items of a settings text as the profile holds them, split at ","; fewer when it has fewer.
QStringList settingsItems(QStringView text);

} // namespace comm
