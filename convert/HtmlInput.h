// Taking an HTML file as the input of the road: its text in windows-1251 and the local
// files it refers to, next to the export in the work folder.
//
// Errors: ImportHtml throws IoError (docproc) when the input cannot be read or the export
// written, and ConvertError when a picture folder cannot be copied.
#pragma once

#include <QString>
#include <QStringList>
#include <string_view>

namespace kelmo {

// The relative references of html (src, href and background attributes) that can name a
// local file: without a scheme, not absolute, without query and fragment, &amp; and
// percent escapes decoded. Each once, in document order.
QStringList LocalReferences(std::string_view html);

// Writes htmlPath as windows-1251 into outputHtml (HtmlAsWindows1251) and copies beside it,
// under the same relative path, every file the page refers to that lies inside the page's
// folder, and the picture folders saved with the page (CopyPictureFolders). A reference
// that leads out of that folder, also through a symbolic link, is left alone, and so is a
// target that is a link or lies under one. Nothing happens when outputHtml is htmlPath.
void ImportHtml(const QString& htmlPath, const QString& outputHtml);

}  // namespace kelmo
