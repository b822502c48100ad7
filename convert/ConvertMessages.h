// Message helpers shared by the conversion sources (internal).
#pragma once

#include <QDir>
#include <QString>

#include "Converter.h"

namespace kelmo {

// A path as the user knows it, in double quotes.
inline QString QuotedPath(const QString& path) {
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

[[noreturn]] inline void FailConversion(const QString& message) {
    throw ConvertError(message.toStdString());
}

}  // namespace kelmo
