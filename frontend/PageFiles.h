// How the viewer reaches the files of the work folder: every page, picture and style
// sheet is served through the "kelmo" URL scheme, and only from inside the work folder.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace kelmo {

inline constexpr char PageScheme[] = "kelmo";

// kelmo://local/<absolute path of file>.
QUrl PageUrl(const QString& filePath);

// The canonical path of the existing regular file that url names inside folder (or a
// folder below it); empty for any other URL, a ".." step, a missing file or a symbolic
// link that leads out of folder.
QString ResolvePageFile(const QString& folder, const QUrl& url);

// The content type by the file's ending; the HTML files of a document are windows-1251.
QByteArray PageMimeType(const QString& filePath);

}  // namespace kelmo
