// The work folder: a fresh folder beside the document that receives the converter's
// export, the clean document, the pages and the outline.
//
// Errors: MakeWorkFolder throws WorkFolderError with a message for the user.
#pragma once

#include <QString>
#include <stdexcept>

namespace kelmo {

class WorkFolderError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Characters 2 to 13 of a new GUID's upper-case braced text ("{1A2B3C4D-5E6F-...}" gives
// "1A2B3C4D-5E6"); "temp" when no GUID can be made.
QString NewSessionName();

// The folder part of a document path, without a trailing separator (a root keeps its own).
QString DocumentFolder(const QString& documentPath);

struct WorkFolder {
    QString Path;  // documentFolder + separator + session name
    bool Created =
        false;  // true when this call made the folder (only such a folder may be deleted)
    bool Elsewhere = false;  // made in the fallback folder, not beside the document
};

// Makes documentFolder/sessionName, one level deep. An existing folder of that name is
// used unchanged. Throws WorkFolderError("Невозможно создать " + path) when it cannot be made.
WorkFolder MakeWorkFolder(const QString& documentFolder, const QString& sessionName);

// Where work folders go when the document's folder is read-only: the user's cache folder
// ("~/.cache/<program>/work").
QString FallbackWorkRoot();

// MakeWorkFolder beside the document; when documentFolder exists but takes no new folder
// (read-only: a share, a CD), fallbackRoot/sessionName instead, fallbackRoot made with its
// parents. Throws what MakeWorkFolder throws beside the document when neither can be made.
WorkFolder MakeWorkFolderOrElsewhere(const QString& documentFolder, const QString& sessionName,
                                     const QString& fallbackRoot);

}  // namespace kelmo
