// Putting a finished file or folder in place in one step: it is made under a temporary
// name beside its target and renamed over it, so a failure never leaves half of it there.
// A symbolic link at the target is replaced, never written through.
#pragma once

#include <QString>
#include <string_view>

namespace kelmo {

// A name beside target that nothing has yet ("<target>.part-<random>").
QString TemporaryNameBeside(const QString& target);

// Renames temporary over target (a file, or an empty folder). On failure temporary is
// removed when it is a file and the error is thrown as std::system_error.
void RenameIntoPlace(const QString& temporary, const QString& target);

// Writes bytes to target through a temporary file. Throws IoError.
void WriteFileReplacing(const QString& target, std::string_view bytes);

}  // namespace kelmo
