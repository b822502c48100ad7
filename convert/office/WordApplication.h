// The converter behind ConvertDocument, shaped like a word processor's automation client:
// Connect, DocumentsOpen, ActiveDocumentSaveAs, ActiveDocumentClose, Quit, Disconnect, in
// that order.
//
// LibreOffice runs headless with a private profile, so it is always a separate instance
// from any the user has open; Quit ends only the processes that this object started.
// The document is copied into a private folder before LibreOffice sees it, so neither
// the document nor its folder is ever written to.
//
// Errors: the operations throw ConvertError with a message for the user; the destructor
// quits and disconnects without throwing.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "Converter.h"
#include "OfficeLaunch.h"

namespace kelmo {

class WordApplication {
  public:
    static constexpr int HtmlFormat = 8;

    explicit WordApplication(ConvertOptions options);
    ~WordApplication();
    WordApplication(const WordApplication&) = delete;
    WordApplication& operator=(const WordApplication&) = delete;

    // Finds the converter program and prepares the private folder.
    void Connect();
    // Takes a read-only copy of the document, already recognised as kind.
    void DocumentsOpen(const QString& documentPath, InputKind kind);
    // Runs the conversion and leaves windows-1251 HTML at outputHtml, pictures beside it.
    void ActiveDocumentSaveAs(const QString& outputHtml, int fileFormat = HtmlFormat);
    // Drops the copy of the document.
    void ActiveDocumentClose();
    // Ends whatever this object started that is still running.
    void Quit() noexcept;
    // Releases the profile and removes the private folder.
    void Disconnect() noexcept;

  private:
    void RunConverter(const QStringList& arguments);
    void StopConverter() noexcept;
    [[noreturn]] void FailWithConverterWords(const QString& fallback) const;
    QStringList ConverterArguments() const;
    QString OutputFolder() const;

    ConvertOptions options_;
    QString program_;
    HeldProfile profile_;
    std::unique_ptr<QTemporaryDir> privateDir_;
    int heldFolder_ = -1;  // privateDir_ marked in use (HoldFolder)
    QString documentPath_;
    QString stagedDocument_;
    InputKind kind_ = InputKind::Doc;
    std::unique_ptr<QProcess> process_;
    qint64 processGroup_ = 0;
    QByteArray said_;  // what the converter printed, stderr first
};

}  // namespace kelmo
