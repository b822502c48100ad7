// Texts of the error displays.
#pragma once

#include <QString>

namespace kelmo {

// The text of the default error display: a "." is added when the last character's code
// is above that of "." (so "…)" and "….", and an empty text, stay as they are).
QString ErrorDisplayText(const QString& message);

}  // namespace kelmo
