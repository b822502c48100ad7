#include "ErrorText.h"

namespace kelmo {

QString ErrorDisplayText(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + QLatin1Char('.');
}

}  // namespace kelmo
