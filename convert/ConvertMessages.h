// Message helpers shared by the conversion sources (internal).
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <string>
#include <string_view>

#include "Converter.h"
#include "LibFunc.h"
#include "LocalPath.h"

namespace kelmo {

// A path as the user knows it, in double quotes.
inline QString QuotedPath(const QString& path) {
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

[[noreturn]] inline void FailConversion(const QString& message) {
    throw ConvertError(message.toStdString());
}

// "Не удалось запустить LibreOffice (<program>): <reason>".
[[noreturn]] inline void FailOfficeStart(const QString& program, const QString& reason) {
    FailConversion(QStringLiteral("Не удалось запустить LibreOffice (%1): %2")
                       .arg(QDir::toNativeSeparators(program), reason));
}

// A document that opens only with its password.
[[noreturn]] inline void FailPassword(const QString& path) {
    FailConversion(QStringLiteral("Документ защищён паролем: %1. Откройте его в текстовом "
                                  "редакторе, сохраните копию без пароля и откройте её")
                       .arg(QuotedPath(path)));
}

// A file whose name promises a document that its content does not hold.
[[noreturn]] inline void FailDamaged(const QString& path) {
    FailConversion(QStringLiteral("Файл %1 повреждён: внутри нет документа, которого ждёшь по "
                                  "его имени. Откройте его в текстовом редакторе и сохраните "
                                  "заново или попросите прислать файл ещё раз")
                       .arg(QuotedPath(path)));
}

// The bytes of a whole file, or "Не удалось прочитать файл "<path>": <reason>".
inline std::string ReadFileOrFail(const QString& path) {
    try {
        return ReadWholeFile(LocalPath(path));
    } catch (const IoError& error) {
        FailConversion(QStringLiteral("Не удалось прочитать файл %1: %2")
                           .arg(QuotedPath(path), QString::fromLocal8Bit(error.Reason())));
    }
}

// Writes a whole file as WriteWholeFile does, or fails with
// "Не удалось записать файл "<path>": <reason>".
inline void WriteFileOrFail(const QString& path, std::string_view bytes) {
    try {
        WriteWholeFile(LocalPath(path), bytes);
    } catch (const IoError& error) {
        FailConversion(QStringLiteral("Не удалось записать файл %1: %2")
                           .arg(QuotedPath(path), QString::fromLocal8Bit(error.Reason())));
    }
}

}  // namespace kelmo
