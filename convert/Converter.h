// Conversion of a word-processor document into Word-style HTML in the work folder.
//
// LibreOffice, run headless with a private profile, does the rendering; WordApplication
// keeps the order of operations of an automation client (connect, open, save as HTML,
// close, quit, disconnect). The result is windows-1251 bytes with that charset declared.
//
// Errors: every failure throws ConvertError whose text (UTF-8) is meant for the user; an HTML
// input that cannot be read or copied throws IoError (docproc), which names the file too.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace kelmo {

class OfficeSession;
class OfficePool;

class ConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class InputKind { Html, Doc, Docx, Odt, Rtf };

// The address space one LibreOffice may take, in MB. A real course of 1,000 pages takes it
// to about 0.9 GB; a document that takes it further than a third of the way from its size
// at start to the limit is refused (OfficeSession).
constexpr int DefaultOfficeMemoryMb = 4096;
// The largest document taken, in MB; a larger one is refused before it is read.
constexpr int DefaultMaxDocumentMb = 1024;

// Recognises a document by its content (and, for HTML, by its name ending), reading no
// more than its first and last 64 KB. Throws ConvertError for a missing, unreadable,
// unsupported or larger than maxDocumentMb (0: any size) file.
InputKind RecognizeInput(const QString& path, int maxDocumentMb = DefaultMaxDocumentMb);

// A document as recognised, with a web page's whole text.
struct InputDocument {
    InputKind Kind = InputKind::Html;
    std::string Html;  // a web page's bytes as read; empty for the other kinds
};

// Recognises path as RecognizeInput does and reads a web page on to its end through the same
// descriptor, so its bytes are read once. Throws ConvertError as RecognizeInput does, and
// IoError (docproc) when the rest of a web page cannot be read.
InputDocument ReadInput(const QString& path, int maxDocumentMb = DefaultMaxDocumentMb);

struct ConvertOptions {
    QString Program;             // converter executable; empty: LibreOffice found on PATH
    QStringList ExtraArguments;  // given to Program before the usual ones (tests)
    int TimeoutMs = 120000;      // a conversion running longer is stopped; 0: no limit
    QString ProfileDir;          // private converter profile; empty: under the user's cache
    int OfficeMemoryMb = DefaultOfficeMemoryMb;   // address space of a one-shot LibreOffice
    int MaxDocumentMb = DefaultMaxDocumentMb;     // a larger document is refused
    std::function<void(int elapsedMs)> Progress;  // called about every 100 ms while waiting;
                                                  // an exception thrown there stops the run
    // The running LibreOffice that serves the conversions of this program (OfficeSession.h);
    // empty: a one-shot LibreOffice process per document.
    std::shared_ptr<OfficeSession> Session;
    // Several LibreOffices (OfficePool.h) for converting a course's materials at once;
    // empty: one after the other through Session. ConvertDocument does not use it.
    std::shared_ptr<OfficePool> Pool;
};

// Copies the picture folder that a word processor saves beside a web page ("course.files"
// or "course_files" for "course.htm") into targetFolder, without following links inside
// it, so the page's relative picture references resolve there too. Nothing happens when
// there is no such folder. Throws ConvertError when the copy fails.
void CopyPictureFolders(const QString& htmlPath, const QString& targetFolder);

// Converts documentPath into outputHtml (normally WorkDir + "/i.~ht"), with its pictures
// beside it. HTML input is taken as ImportHtml does. The document is never opened for
// writing.
void ConvertDocument(const QString& documentPath, const QString& outputHtml,
                     const ConvertOptions& options = {});

}  // namespace kelmo
