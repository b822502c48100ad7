// What the one-shot LibreOffice (WordApplication) and the session (OfficeSession) share to
// start one and wait for it: the private folder, the profile and its lock, the environment,
// and the wait with its time limit and progress (internal to convert/).
//
// Errors: MakePrivateFolder and WaitWithProgress throw ConvertError with a message for the
// user; the others never throw.
#pragma once

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelmo {

// A new private folder from pattern ("…/kelmo-office-XXXXXX") with "tmp" (LibreOffice's
// TMPDIR) and subfolders inside. Throws ConvertError "Не удалось создать временную папку для
// преобразования: <reason>".
std::unique_ptr<QTemporaryDir> MakePrivateFolder(const QString& pattern,
                                                 const QStringList& subfolders = {});

// The profile LibreOffice runs with, held while in use.
struct HeldProfile {
    QString Dir;
    std::unique_ptr<QLockFile> Lock;  // null for a throwaway profile
};

// requested, or the shared profile when empty; a profile serves one LibreOffice at a time, so
// while another holds it, or there is no home for it, a throwaway one in privateFolder serves.
// The settings every conversion needs are written into it for program.
HeldProfile HoldProfile(const QString& requested, const QString& privateFolder,
                        const QString& program);

// Our environment for LibreOffice: TMPDIR in privateFolder, and HOME there too when ours is
// unset or "/".
std::vector<std::string> OfficeEnvironment(const QString& privateFolder);

// Waits until finished(stepMs), which waits up to stepMs, says the work is done; calls
// progress about every 100 ms. Past timeoutMs (0: none) calls stop and throws ConvertError
// "Преобразование прервано: прошло больше <time>"; an exception from progress calls stop
// and passes on.
void WaitWithProgress(const std::function<bool(int stepMs)>& finished, int timeoutMs,
                      const std::function<void(int elapsedMs)>& progress,
                      const std::function<void()>& stop);

// The UNO runtime's bootstrap file of the LibreOffice whose program is given, as the URL
// URE_BOOTSTRAP takes ("vnd.sun.star.pathname:<its folder>/fundamentalrc").
QString UnoBootstrapUrl(const QString& program);

}  // namespace kelmo
