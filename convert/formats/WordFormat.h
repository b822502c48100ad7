// Telling the kinds of OLE2 compound files apart (Word 6, Word 95, Word 97 and later, a
// spreadsheet, a presentation, an encrypted document) from the file's directory and the
// Word file header, and the LibreOffice import filter each Word version needs.
//
// Errors: none. A file whose structure cannot be followed gives OleContent::Unreadable.
#pragma once

#include <QIODevice>
#include <QString>
#include <string>

#include "Converter.h"

namespace kelmo {

enum class OleContent {
    Word97,        // Word 97 to 2003 (and later binary Word)
    Word95,        // Word 95 (nFib 103, 104)
    Word6,         // Word 6 (nFib up to 101)
    Encrypted,     // a password-protected Word file or an encrypted Office Open XML package
    Spreadsheet,   // Excel workbook
    Presentation,  // PowerPoint
    Other,         // a readable compound file holding none of these
    Unreadable,    // the header, allocation table or directory cannot be followed
};

// What the OLE2 compound file in file holds. The device must be open for reading and
// seekable; its position is changed.
OleContent ProbeOle(QIODevice& file);

// The "--infilter" value for a document of kind at path: the Word version's own filter
// for an OLE2 file, empty (LibreOffice detects the type) for every other kind.
QString ImportFilterFor(const QString& path, InputKind kind);

// Renames INCLUDEPICTURE in the field instructions of an RTF document, so that LibreOffice
// does not read the file (or address) such a field names: the field becomes an unknown one
// and shows the result the word processor stored with it, if any. Other text is kept.
void UnlinkIncludedPictures(std::string& rtf);

}  // namespace kelmo
