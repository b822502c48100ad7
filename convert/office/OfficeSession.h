// One LibreOffice of our own, driven through its UNO API, serving every conversion of a
// program run.
//
// The session starts soffice.bin headless with a private profile, a private pipe name and
// its own temporary folder, and connects to it on first use (or at once through
// StartInBackground). A document is loaded hidden, read-only, with macros off, links not
// updated and no dialog; numbered paragraphs get their list label as text, then it is
// saved as "HTML (StarWriter)" and closed. A LibreOffice that crashes, hangs past the time
// limit or loses its bridge is ended by its process id and started afresh for the next
// document. It is started with a parent-death signal, so it ends with the program even
// when the program is killed. The destructor quits it and removes the private folder.
//
// Errors: SaveAsHtml throws ConvertError with a message for the user; a document that
// LibreOffice cannot load this way gives NotLoaded, so that the caller can try the
// one-shot process instead.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "Converter.h"

namespace kelmo {

class OfficeSession {
  public:
    enum class Outcome { Saved, NotLoaded };

    // program: the soffice (or soffice.bin) to start, empty for the installed one;
    // profileDir: the profile to use while nobody else holds it, empty for the default;
    // memoryLimitMb: the address space LibreOffice may have (0: no limit). A document
    // that takes it more than a third of the way from its size at start to the limit is
    // refused as too large and LibreOffice replaced.
    explicit OfficeSession(QString program = {}, QString profileDir = {},
                           int memoryLimitMb = DefaultOfficeMemoryMb);
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // Begins starting LibreOffice and returns at once; a conversion asked for meanwhile
    // waits for the start.
    void StartInBackground();

    // Loads document (a private copy) and saves it as LibreOffice's UTF-8 HTML at
    // outputHtml, pictures beside it. documentPath names the author's file in messages.
    // timeoutMs (0: none) covers the start too; progress is called about every 100 ms.
    Outcome SaveAsHtml(const QString& document, const QString& outputHtml,
                       const QString& documentPath, int timeoutMs,
                       const std::function<void(int elapsedMs)>& progress);

    // The running soffice.bin, 0 when none (for tests and diagnostics).
    qint64 ProcessId() const;

  private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};

// Removes what earlier runs of this user that were killed left behind: their private
// temporary folders (kelmo-office-<pid>-*, kelmo-convert-<pid>-*, with the copy of a
// document), LibreOffice's sockets and the stale single-instance socket of profileDir
// (empty: the default profile). Only our own names, only when the process is gone, never
// through a link.
void RemoveLeftoversOfEndedRuns(const QString& profileDir = {});

}  // namespace kelmo
