#include "OfficeSession.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <condition_variable>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <future>
#include <mutex>
#include <rtl/ref.hxx>
#include <thread>

#include "ConvertMessages.h"
#include "OfficeLaunch.h"
#include "OfficeProcess.h"
#include "OfficeProfile.h"
#include "OfficeRoutines.h"

namespace kelmo {

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY;
using com::sun::star::uno::UNO_QUERY_THROW;

namespace {

constexpr int ConnectStepMs = 50;
constexpr int QuitGraceMs = 3000;
// soffice.bin asks for a restart with this code after it has set up a new profile.
constexpr int RestartRequested = 81;
constexpr int MaxRestarts = 3;

rtl::OUString ToUno(const QString& text) {
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()),
                         sal_Int32(text.size()));
}

QString Canonical(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

beans::PropertyValue Property(const char* name, const uno::Any& value) {
    beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

// Answers every question LibreOffice asks while loading as a user who never sees it
// would: a password prompt is refused (and remembered), anything else takes the answer
// that lets loading go on, or is refused when there is none.
class SilentInteraction : public cppu::WeakImplHelper1<task::XInteractionHandler> {
  public:
    void SAL_CALL handle(const Reference<task::XInteractionRequest>& request) override {
        const bool password =
            request->getRequest().isExtractableTo(cppu::UnoType<task::PasswordRequest>::get());
        if (password) PasswordAsked = true;
        const auto continuations = request->getContinuations();
        for (const auto& continuation : continuations) {
            if (!password && Reference<task::XInteractionApprove>(continuation, UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
        for (const auto& continuation : continuations) {
            if (Reference<task::XInteractionAbort>(continuation, UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
    }
    std::atomic<bool> PasswordAsked{false};
};

std::vector<std::string> OfficeEnvironment(const QString& tempDir, const QString& homeDir) {
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string line(*entry);
        if (line.rfind("TMPDIR=", 0) == 0 || line.rfind("HOME=", 0) == 0) continue;
        environment.push_back(line);
    }
    environment.push_back("TMPDIR=" + LocalPath(tempDir));
    environment.push_back("HOME=" + LocalPath(homeDir));
    return environment;
}

// What soffice accepts on and what the bridge connects to.
std::string PipeConnection(const std::string& pipeName) {
    return "pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext";
}

}  // namespace

// Everything that talks to LibreOffice runs on this object's own thread, one task at a
// time; the thread that started soffice.bin must live as long as it, for the parent-death
// signal is tied to it.
class OfficeSession::Worker {
  public:
    Worker(QString program, QString profileDir, int memoryLimitMb)
        : requestedProgram_(std::move(program)),
          requestedProfile_(std::move(profileDir)),
          memoryLimitBytes_(memoryLimitMb > 0 ? memoryLimitMb * 1024LL * 1024 : 0) {
        thread_ = std::thread([this] { Run(); });
    }

    ~Worker() {
        Post<bool>([this] {
            Quit();
            return true;
        }).wait();
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    template <typename Result>
    std::future<Result> Post(std::function<Result()> job) {
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        std::future<Result> result = task->get_future();
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back([task] { (*task)(); });
        }
        wake_.notify_all();
        return result;
    }

    // Called from the waiting thread: the job in progress is given up and its LibreOffice
    // killed; the job ends with the broken bridge, and the killed process is reaped before
    // this returns, so that no zombie of it is left for the caller to see.
    void Abandon(const std::future<Outcome>& job) {
        abandoned_ = true;
        const pid_t pid = pid_.load();
        if (pid > 0) ::kill(-pid, SIGKILL);
        job.wait();
        Post<bool>([this] {
            Forget();
            return true;
        }).wait();
    }

    // Called from the waiting thread before it posts a job.
    void Resume() {
        abandoned_ = false;
        peak_ = 0;
    }

    // Called from the waiting thread: notes how large LibreOffice has grown, which is gone
    // when it dies of it.
    void SamplePeak() {
        // Before exec the child is a copy of this program, whose size says nothing.
        if (!serving_) return;
        const long long peak = OfficePeakBytes(pid_.load());
        if (peak > peak_) peak_ = peak;
    }

    qint64 ProcessId() const { return pid_.load(); }

    void EnsureRunning();
    Outcome Convert(const QString& document, const QString& outputHtml,
                    const QString& documentPath);

  private:
    void Run() {
        // A write to a LibreOffice that has just died fails instead of ending the program:
        // SIGPIPE stays blocked here and in the bridge's threads, which start from here.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    void PrepareFolders();
    void Launch();
    void Connect();
    void Disconnect() noexcept;
    void Forget() noexcept;
    void Quit() noexcept;
    Outcome LoadAndSave(const QString& document, const QString& outputHtml,
                        const QString& documentPath);
    Reference<lang::XComponent> Load(const QString& document, const QString& documentPath);
    void Save(const Reference<lang::XComponent>& document, const QString& outputHtml);
    QString Seen(const QString& path) const;
    rtl::OUString FileUrl(const QString& path) const;
    bool OutgrewMemory();
    void RemoveSockets() noexcept;

    const QString requestedProgram_;
    const QString requestedProfile_;
    const long long memoryLimitBytes_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::atomic<bool> abandoned_{false};
    std::atomic<pid_t> pid_{0};
    std::atomic<long long> peak_{0};
    std::atomic<bool> serving_{false};  // pid_ is a LibreOffice that answered
    long long startSize_ = 0;           // the running LibreOffice's address space once it serves

    // Only the worker thread touches these.
    QString program_;
    std::unique_ptr<QTemporaryDir> privateDir_;
    HeldProfile profile_;
    std::string profileUrl_;
    std::string pipeFolder_;
    std::string pipeName_;
    int launches_ = 0;
    int served_ = 0;                 // documents the running LibreOffice has converted
    int heldFolders_[2] = {-1, -1};  // the private folder and the pipe folder, HoldFolder
    bool privateTmp_ = true;         // LibreOffice sees the pipe folder as /tmp
    Reference<uno::XComponentContext> localContext_;
    Reference<uno::XComponentContext> officeContext_;
    Reference<frame::XComponentLoader> loader_;
    std::unique_ptr<OfficeRoutines> routines_;
};

void OfficeSession::Worker::PrepareFolders() {
    if (privateDir_) return;
    program_ = OfficeBinary(FindOffice(requestedProgram_));
    privateDir_ = std::make_unique<QTemporaryDir>(
        QDir::tempPath() +
        QStringLiteral("/kelmo-office-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
    const QDir privateDir(privateDir_->path());
    pipeFolder_ = MakePipeFolder();
    if (!privateDir_->isValid() || !privateDir.mkdir(QStringLiteral("tmp")) ||
        pipeFolder_.empty()) {
        const QString reason = privateDir_->isValid() && pipeFolder_.empty()
                                   ? qt_error_string(errno)
                                   : privateDir_->errorString();
        privateDir_.reset();
        FailConversion(QStringLiteral("Не удалось создать временную папку для преобразования: %1")
                           .arg(reason));
    }
    heldFolders_[0] = HoldFolder(LocalPath(privateDir_->path()));
    heldFolders_[1] = HoldFolder(PipeSocketPath(pipeFolder_));
    profile_ = HoldProfile(requestedProfile_, privateDir_->path(), program_);
    profileUrl_ = QUrl::fromLocalFile(profile_.Dir).toString(QUrl::FullyEncoded).toStdString();
}

// The path as our LibreOffice sees it: with a /tmp of its own the real one is elsewhere.
QString OfficeSession::Worker::Seen(const QString& path) const {
    if (!privateTmp_) return path;
    return QFile::decodeName(SeenInTmpNamespace(LocalPath(Canonical(path))).c_str());
}

rtl::OUString OfficeSession::Worker::FileUrl(const QString& path) const {
    return ToUno(QUrl::fromLocalFile(Seen(path)).toString(QUrl::FullyEncoded));
}

void OfficeSession::Worker::Launch() {
    PrepareFolders();
    WriteProfileSettings(profile_.Dir, program_);
    // In our own folder, which nobody else can enter or plant a socket in.
    pipeName_ = pipeFolder_ + "/office-" + std::to_string(++launches_);
    served_ = 0;
    const QDir privateDir(privateDir_->path());
    const QString home = qEnvironmentVariable("HOME");
    const std::vector<std::string> arguments{
        "--headless",
        "--invisible",
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "-env:UserInstallation=" +
            QUrl::fromLocalFile(Seen(profile_.Dir)).toString(QUrl::FullyEncoded).toStdString(),
        "--accept=" + PipeConnection(pipeName_)};
    const pid_t pid = StartOffice(
        LocalPath(program_), arguments,
        OfficeEnvironment(Seen(privateDir.filePath(QStringLiteral("tmp"))),
                          Seen(home.isEmpty() || QDir(home).isRoot() ? privateDir.path() : home)),
        memoryLimitBytes_, privateTmp_ ? PipeSocketPath(pipeFolder_) : std::string());
    if (pid <= 0) FailOfficeStart(program_, qt_error_string(errno));
    pid_ = pid;
}

void OfficeSession::Worker::Connect() {
    if (!localContext_.is()) localContext_ = cppu::defaultBootstrap_InitialComponentContext();
    const Reference<bridge::XUnoUrlResolver> resolver =
        bridge::UnoUrlResolver::create(localContext_);
    for (int restarts = 0; !abandoned_;) {
        // Only a socket of ours, where only we can put one, is connected to.
        if (IsOwnPipe(pipeName_)) {
            try {
                // The name changes with a restart.
                const rtl::OUString url =
                    rtl::OUString::createFromAscii(("uno:" + PipeConnection(pipeName_)).c_str());
                officeContext_.set(resolver->resolve(url), UNO_QUERY_THROW);
                loader_.set(frame::Desktop::create(officeContext_), UNO_QUERY_THROW);
                return;
            } catch (const connection::NoConnectException&) {
            }
        }
        const int status = OfficeExitStatus(pid_);
        if (status != -1) {
            pid_ = 0;
            if (WIFEXITED(status) && WEXITSTATUS(status) == RestartRequested &&
                ++restarts < MaxRestarts) {
                Launch();
                continue;
            }
            if (WIFEXITED(status) && WEXITSTATUS(status) == NoPrivateTmp && privateTmp_) {
                privateTmp_ = false;
                Launch();
                continue;
            }
            FailOfficeStart(program_,
                            WIFEXITED(status)
                                ? QStringLiteral("завершился с кодом %1").arg(WEXITSTATUS(status))
                                : QStringLiteral("завершился аварийно"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ConnectStepMs));
    }
    FailConversion(QStringLiteral("Преобразование прервано"));
}

void OfficeSession::Worker::EnsureRunning() {
    if (loader_.is() && pid_ > 0 && OfficeExitStatus(pid_) == -1) return;
    Forget();
    try {
        Launch();
        Connect();
        routines_ = std::make_unique<OfficeRoutines>(officeContext_);
        startSize_ = OfficePeakBytes(pid_);
        peak_ = 0;
        serving_ = true;
    } catch (const uno::Exception& error) {
        Forget();
        FailOfficeStart(
            program_, QString::fromUtf16(reinterpret_cast<const char16_t*>(error.Message.getStr()),
                                         error.Message.getLength()));
    } catch (...) {
        Forget();
        throw;
    }
}

void OfficeSession::Worker::Disconnect() noexcept {
    routines_.reset();
    loader_.clear();
    officeContext_.clear();
}

// A killed LibreOffice leaves its sockets behind.
void OfficeSession::Worker::RemoveSockets() noexcept {
    if (!pipeName_.empty()) ::unlink(PipeSocketPath(pipeName_).c_str());
    if (!profileUrl_.empty()) RemoveStaleInstanceSocket(profileUrl_);
}

// Drops the connection and ends the process, whatever state they are in.
void OfficeSession::Worker::Forget() noexcept {
    serving_ = false;
    Disconnect();
    const pid_t pid = pid_.exchange(0);
    KillOffice(pid);
    if (pid > 0) RemoveSockets();
}

void OfficeSession::Worker::Quit() noexcept {
    const pid_t pid = pid_.load();
    if (loader_.is() && pid > 0) {
        try {
            Reference<frame::XDesktop>(loader_, UNO_QUERY_THROW)->terminate();
        } catch (...) {  // it may go before it answers
        }
        Disconnect();
        AwaitOffice(pid_.exchange(0), QuitGraceMs);
    }
    Forget();
    if (localContext_.is()) {
        try {
            Reference<lang::XComponent>(localContext_, UNO_QUERY_THROW)->dispose();
        } catch (...) {
        }
        localContext_.clear();
    }
    RemovePipeFolder(pipeFolder_);
    pipeFolder_.clear();
    for (int& held : heldFolders_) {
        if (held >= 0) ::close(held);
        held = -1;
    }
    profile_ = {};
    privateDir_.reset();
}

Reference<lang::XComponent> OfficeSession::Worker::Load(const QString& document,
                                                        const QString& documentPath) {
    const rtl::Reference<SilentInteraction> interaction(new SilentInteraction);
    const beans::PropertyValue arguments[] = {
        Property("Hidden", uno::Any(true)),
        Property("ReadOnly", uno::Any(true)),
        Property("OpenNewView", uno::Any(true)),
        Property("InteractionHandler",
                 uno::Any(Reference<task::XInteractionHandler>(interaction.get()))),
        Property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        Property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
    };
    Reference<lang::XComponent> loaded;
    try {
        const uno::Sequence<beans::PropertyValue> descriptor(arguments, std::size(arguments));
        if (!routines_->LoadLocked(FileUrl(document), descriptor, loaded)) {
            loaded = loader_->loadComponentFromURL(FileUrl(document), "_blank", 0, descriptor);
        }
    } catch (const lang::IllegalArgumentException&) {
    } catch (const io::IOException&) {
    }
    if (!loaded.is() && interaction->PasswordAsked) {
        FailPassword(documentPath);
    }
    return loaded;
}

void OfficeSession::Worker::Save(const Reference<lang::XComponent>& document,
                                 const QString& outputHtml) {
    const beans::PropertyValue arguments[] = {
        Property("FilterName", uno::Any(rtl::OUString("HTML (StarWriter)"))),
        Property("Overwrite", uno::Any(true)),
    };
    Reference<frame::XStorable>(document, UNO_QUERY_THROW)
        ->storeToURL(FileUrl(outputHtml), {arguments, std::size(arguments)});
}

namespace {

void CloseDocument(const Reference<lang::XComponent>& document) noexcept {
    try {
        Reference<util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    } catch (...) {
        try {
            document->dispose();
        } catch (...) {
        }
    }
}

}  // namespace

// A buffer that doubles needs three times its size while it moves, so a LibreOffice that
// grew by more than a third of the room its limit left may have failed to get the next
// step and gone on without it: the result cannot be trusted.
bool OfficeSession::Worker::OutgrewMemory() {
    if (memoryLimitBytes_ <= 0) return false;
    const long long peak = std::max(peak_.load(), OfficePeakBytes(pid_.load()));
    return peak > startSize_ + std::max(memoryLimitBytes_ - startSize_, 0LL) / 3;
}

OfficeSession::Outcome OfficeSession::Worker::Convert(const QString& document,
                                                      const QString& outputHtml,
                                                      const QString& documentPath) {
    // A LibreOffice that dies between documents, or one that quits for a restart right
    // after it answered, breaks the bridge at the next call: a fresh one gets a second try.
    for (int attempt = 0; attempt < 2 && !abandoned_; ++attempt) {
        try {
            EnsureRunning();
        } catch (const ConvertError&) {
            // Without LibreOffice or a private folder nothing else can work either; a
            // LibreOffice that would not serve the bridge may still convert on its own.
            if (abandoned_ || !privateDir_) throw;
            return Outcome::NotLoaded;
        }
        const int servedBefore = served_;
        Outcome outcome = Outcome::NotLoaded;
        bool broken = false;
        try {
            outcome = LoadAndSave(document, outputHtml, documentPath);
        } catch (const uno::Exception&) {
            broken = true;  // the bridge broke or LibreOffice died on this document
        }
        if (OutgrewMemory()) {
            Forget();
            peak_ = 0;
            // Grown over earlier documents, perhaps: a fresh one tries once more.
            if (servedBefore > 0 && attempt == 0) continue;
            QFile::remove(outputHtml);
            FailConversion(QStringLiteral("Документ %1 слишком велик для преобразования: "
                                          "LibreOffice не хватает памяти (предел %2 МБ)")
                               .arg(QuotedPath(documentPath))
                               .arg(memoryLimitBytes_ / (1024 * 1024)));
        }
        if (!broken) {
            ++served_;
            return outcome;
        }
        Forget();
    }
    if (abandoned_) FailConversion(QStringLiteral("Преобразование прервано"));
    return Outcome::NotLoaded;
}

OfficeSession::Outcome OfficeSession::Worker::LoadAndSave(const QString& document,
                                                          const QString& outputHtml,
                                                          const QString& documentPath) {
    const Reference<lang::XComponent> loaded = Load(document, documentPath);
    if (!loaded.is()) return Outcome::NotLoaded;
    try {
        routines_->WriteLabelsAsText(loaded);
        Save(loaded, outputHtml);
    } catch (const io::IOException&) {
        CloseDocument(loaded);
        return Outcome::NotLoaded;
    }
    CloseDocument(loaded);
    return Outcome::Saved;
}

OfficeSession::OfficeSession(QString program, QString profileDir, int memoryLimitMb) {
    // The UNO runtime finds LibreOffice's types and services through this variable. Set
    // here, before this session's thread exists, as the sessions of a pool read it at once.
    if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP")) {
        QString found;
        try {
            found = FindOffice(program);
        } catch (const ConvertError&) {  // the first conversion will say it
        }
        qputenv("URE_BOOTSTRAP", QFile::encodeName(UnoBootstrapUrl(found)));
    }
    worker_ = std::make_unique<Worker>(std::move(program), std::move(profileDir), memoryLimitMb);
}

OfficeSession::~OfficeSession() = default;

void OfficeSession::StartInBackground() {
    Worker* worker = worker_.get();
    worker->Post<bool>([worker] {
        try {
            worker->EnsureRunning();
        } catch (const ConvertError&) {  // the first conversion will say it
        }
        return true;
    });
}

OfficeSession::Outcome OfficeSession::SaveAsHtml(
    const QString& document, const QString& outputHtml, const QString& documentPath, int timeoutMs,
    const std::function<void(int elapsedMs)>& progress) {
    Worker* worker = worker_.get();
    worker->Resume();
    std::future<Outcome> outcome =
        worker->Post<Outcome>([=] { return worker->Convert(document, outputHtml, documentPath); });
    WaitWithProgress(
        [&](int stepMs) {
            if (outcome.wait_for(std::chrono::milliseconds(stepMs)) == std::future_status::ready)
                return true;
            worker->SamplePeak();
            return false;
        },
        timeoutMs, progress, [&] { worker->Abandon(outcome); });
    return outcome.get();
}

qint64 OfficeSession::ProcessId() const { return worker_->ProcessId(); }

void RemoveLeftoversOfEndedRuns(const QString& profileDir) {
    static const QRegularExpression ours(QStringLiteral("^kelmo-(office|convert)-(\\d+)-\\w{6}$"));
    const QDir temp(QDir::tempPath());
    const QStringList names = temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = ours.match(name);
        const QFileInfo folder(temp.filePath(name));
        if (!match.hasMatch() || folder.isSymLink() || folder.ownerId() != ::getuid() ||
            !LeftBehind(pid_t(match.captured(2).toLongLong()), LocalPath(folder.filePath())))
            continue;
        // A killed LibreOffice of a throwaway profile left its socket too.
        RemoveStaleInstanceSocket(
            QUrl::fromLocalFile(folder.filePath() + QStringLiteral("/profile"))
                .toString(QUrl::FullyEncoded)
                .toStdString());
        std::error_code ignored;
        std::filesystem::remove_all(LocalPath(folder.filePath()), ignored);  // links not followed
    }
    RemoveEndedRunsPipes();
    const QString profile = profileDir.isEmpty() ? DefaultProfileDir() : profileDir;
    if (!profile.isEmpty()) {
        RemoveStaleInstanceSocket(
            QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded).toStdString());
    }
}

}  // namespace kelmo
