// Taking an HTML file as the input of the road: its text in windows-1251 and the local
// files it refers to, next to the export in the work folder.
//
// Errors: ImportHtml throws IoError (docproc) when the export or a copy cannot be written,
// and ConvertError when a picture folder cannot be copied.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace kelmo {

// The relative references of html (src, href and background attributes) that can name a
// local file inside the page's folder: without a scheme, not absolute, without query and
// fragment, &amp; and percent escapes decoded, "." and ".." resolved by name, none leading
// out. Each file once, in document order.
QStringList LocalReferences(std::string_view html);

// Writes html, the bytes of the page at htmlPath, as windows-1251 (HtmlAsWindows1251) into
// outputHtml and copies beside it, under the same relative path, every file the page refers
// to that lies inside the page's folder, and the picture folders saved with the page
// (CopyPictureFolders). A reference that leads out of that folder or passes through a
// symbolic link is left alone, and so is a target that is a link or lies under one. Nothing
// happens when outputHtml is htmlPath.
void ImportHtml(const QString& htmlPath, std::string html, const QString& outputHtml);

}  // namespace kelmo
