// One LibreOffice driven over its API for several documents: list labels written as text,
// and a LibreOffice that dies or hangs replaced for the next document.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "Converter.h"
#include "LibFunc.h"
#include "OfficePool.h"
#include "OfficeProcess.h"
#include "OfficeSession.h"

namespace kelmo {
namespace {

std::string Cp1251(const char* utf8) {
    QStringEncoder encoder("windows-1251");
    return QByteArray(encoder.encode(QString::fromUtf8(utf8))).toStdString();
}

bool Alive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }

// Until the killed process is a zombie or gone, as a crash between documents leaves it.
void AwaitDeath(qint64 pid) {
    const QString stat = QStringLiteral("/proc/%1/stat").arg(pid);
    for (int tries = 0; tries < 250; ++tries) {
        QFile file(stat);
        if (!file.open(QIODevice::ReadOnly)) return;
        const QByteArray line = file.readAll();
        if (line.mid(line.lastIndexOf(')') + 2, 1) == "Z") return;
        ::usleep(20000);
    }
}

// The paths of the Unix sockets that process pid holds open.
QStringList SocketsOf(qint64 pid) {
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:["))) inodes << target.section('[', 1).chopped(1);
    }
    QFile table(QStringLiteral("/proc/net/unix"));
    table.open(QIODevice::ReadOnly);
    QSet<QString> paths;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).simplified().split(' ');
        if (fields.size() == 8 && inodes.contains(fields[6])) paths << fields[7];
    }
    return paths.values();
}

// True when user nobody can connect to the socket at path.
bool NobodyConnects(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray local = QFile::encodeName(path);
    std::copy(local.begin(), local.end(), address.sun_path);
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t group = 65534;
        if (::setgroups(1, &group) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        _exit(::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class OfficeSessionTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        QProcess soffice;
        soffice.start(
            "soffice",
            {"-env:UserInstallation=" + QUrl::fromLocalFile(dir_->filePath("maker")).toString(),
             "--headless", "--norestore", "--convert-to", "docx", "--outdir", dir_->path(),
             QStringLiteral(KELMO_CONVERT_TEST_DIR "/data/numbered.fodt")});
        ASSERT_TRUE(soffice.waitForFinished(120000));
        document_ = dir_->filePath("numbered.docx");
        ASSERT_TRUE(QFile::exists(document_));
        session_ = new std::shared_ptr<OfficeSession>(
            std::make_shared<OfficeSession>(QString(), dir_->filePath("profile")));
    }
    static void TearDownTestSuite() {
        delete session_;
        delete dir_;
    }

    // The export of the document, as the road reads it.
    static std::string Convert(int timeoutMs = 120000, const QString& document = document_) {
        const QString work = dir_->filePath("work");
        QDir().mkpath(work);
        ConvertOptions options;
        options.Session = *session_;
        options.TimeoutMs = timeoutMs;
        ConvertDocument(document, work + "/i.~ht", options);
        return LoadTextFile((work + "/i.~ht").toStdString());
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString document_;
    static inline std::shared_ptr<OfficeSession>* session_ = nullptr;
};

TEST_F(OfficeSessionTest, ListLabelsBecomeTextFollowedByOneBlank) {
    const std::string html = Convert();
    const char* const present[] = {
        ">\r\n1 Общие сведения</h1>", ">1.1 Полное наименование", "1) Первый шаг", "2) Второй шаг",
        // neither a bullet nor digits that are the title's own get a label
        "\r\n\tПункт без номера</p>", ">3D-модели</h1>", "\r\n1С:Предприятие и прочее."};
    for (const char* piece : present)
        EXPECT_NE(html.find(Cp1251(piece)), std::string::npos) << piece;
}

TEST_F(OfficeSessionTest, PicturesKeepTheirDescriptionAndNeverTheirName) {
    const std::string html = Convert();
    EXPECT_NE(html.find(Cp1251("alt=\"Красный квадрат\" title=\"Квадрат\"")), std::string::npos);
    const std::size_t unnamed = html.find(Cp1251("name=\"Безымянный1\""));
    ASSERT_NE(unnamed, std::string::npos);
    const std::string tag = html.substr(unnamed, html.find('>', unnamed) - unnamed);
    EXPECT_NE(tag.find(" alt=\"\""), std::string::npos) << tag;
}

TEST_F(OfficeSessionTest, OneLibreOfficeServesEveryDocument) {
    Convert();
    const qint64 first = (*session_)->ProcessId();
    Convert();
    EXPECT_TRUE(Alive(first));
    EXPECT_EQ((*session_)->ProcessId(), first);
}

TEST_F(OfficeSessionTest, KilledLibreOfficeIsReplacedForTheNextDocument) {
    Convert();
    const qint64 killed = (*session_)->ProcessId();
    ASSERT_EQ(::kill(pid_t(killed), SIGKILL), 0);
    AwaitDeath(killed);
    EXPECT_NE(Convert().find(Cp1251("1.1 Полное")), std::string::npos);
    EXPECT_NE((*session_)->ProcessId(), killed);
    EXPECT_TRUE(Alive((*session_)->ProcessId()));
    // The killed one's pipe socket went with it.
    const QStringList folders =
        QDir(QStringLiteral("/tmp"))
            .entryList({QStringLiteral("OSL_PIPE_*_kelmo-%1-*").arg(::getpid())}, QDir::Dirs);
    ASSERT_EQ(folders.size(), 1);
    EXPECT_EQ(
        QDir(QStringLiteral("/tmp/") + folders[0]).entryList({"office-*"}, QDir::System).size(), 1);
}

// Whatever the umask, no other user reaches our LibreOffice; we connect to no socket
// that is not in our own folder; the memory limit holds.
TEST_F(OfficeSessionTest, LibreOfficeIsOursAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root";
    const mode_t umask = ::umask(0);
    auto own = std::make_shared<OfficeSession>(QString(), dir_->filePath("umask-profile"), 3000);
    ConvertOptions options;
    options.Session = own;
    ConvertDocument(document_, dir_->filePath("umask.~ht"), options);
    ::umask(umask);
    // As LibreOffice named them: the pipe, which is at the same place for us, and the
    // single-instance socket in what it takes for /tmp.
    const QStringList sockets = SocketsOf(own->ProcessId());
    ASSERT_EQ(sockets.size(), 2) << sockets.join(' ').toStdString();
    for (const QString& socket : sockets) {
        EXPECT_FALSE(QFileInfo::exists("/tmp/" + QFileInfo(socket).fileName()))
            << socket.toStdString() << " is in /tmp itself";
    }
    const QString pipe = sockets.filter("/office-").value(0);
    const QDir folder = QFileInfo(pipe).dir();
    ASSERT_NE(folder.path(), QStringLiteral("/tmp")) << pipe.toStdString();
    const QStringList inFolder = folder.entryList(QDir::System | QDir::NoSymLinks);
    EXPECT_EQ(inFolder.size(), 2) << inFolder.join(' ').toStdString();
    for (const QString& socket : inFolder)
        EXPECT_FALSE(NobodyConnects(folder.filePath(socket))) << socket.toStdString();
    QFile limits(QStringLiteral("/proc/%1/limits").arg(own->ProcessId()));
    ASSERT_TRUE(limits.open(QIODevice::ReadOnly));
    EXPECT_TRUE(limits.readAll().simplified().contains("Max address space 3145728000 3145728000"));
}

// What a killed run left goes; what a live one holds, a link and a stranger's name stay.
TEST(OfficeLeftoversTest, OnlyWhatEndedRunsLeftGoes) {
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const pid_t dead = ::fork();
    if (dead == 0) _exit(0);
    ::waitpid(dead, nullptr, 0);
    const QString gone = QStringLiteral("kelmo-convert-%1-aaaaaa").arg(dead);
    const QString held = QStringLiteral("kelmo-office-%1-bbbbbb").arg(dead);
    const QString link = QStringLiteral("kelmo-office-%1-cccccc").arg(dead);
    const QDir dir(temp.path());
    for (const QString& name : {gone, held, QStringLiteral("target"), QStringLiteral("kelmo-x")})
        ASSERT_TRUE(dir.mkpath(name + "/in"));
    ASSERT_TRUE(QFile::link(dir.filePath("target"), dir.filePath(link)));
    const int holding = HoldFolder(QFile::encodeName(dir.filePath(held)).toStdString());
    const std::string pipes = MakePipeFolder();
    const std::string deadPipes = PipeSocketPath("kelmo-" + std::to_string(dead) + "-dddddd");
    ASSERT_EQ(::mkdir(deadPipes.c_str(), 0700), 0);
    RemoveLeftoversOfEndedRuns();
    EXPECT_EQ(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList({held, link, "kelmo-x", "target"}));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("target/in")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(deadPipes)));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(PipeSocketPath(pipes))));
    ::close(holding);
    RemoveLeftoversOfEndedRuns();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(held)));
    RemovePipeFolder(pipes);
    qputenv("TMPDIR", oldTemp);
}

// Only a socket of ours in a folder only we can enter is ours: one planted by another
// user, or under the names pipes had before, is not.
TEST(OfficePipeTest, OnlyOurSocketInOurFolderIsOurs) {
    const std::string folder = MakePipeFolder();
    ASSERT_FALSE(folder.empty());
    const std::string own = folder + "/office-1";
    const auto bind = [](const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, path.size());
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        return ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    };
    ASSERT_TRUE(bind(PipeSocketPath(own)));
    EXPECT_TRUE(IsOwnPipe(own));
    const std::string planted = "kelmo-" + std::to_string(::getpid()) + "-1-1";
    ASSERT_TRUE(bind(PipeSocketPath(planted)));
    EXPECT_FALSE(IsOwnPipe(planted)) << "a socket in /tmp itself";
    ::unlink(PipeSocketPath(planted).c_str());
    const std::string folderPath = PipeSocketPath(folder);
    ::chmod(folderPath.c_str(), 0755);
    EXPECT_FALSE(IsOwnPipe(own)) << "a folder others may enter";
    ::chmod(folderPath.c_str(), 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(PipeSocketPath(own).c_str(), 65534, 65534), 0);
        EXPECT_FALSE(IsOwnPipe(own)) << "another user's socket";
    }
    RemovePipeFolder(folder);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folderPath)));
}

TEST_F(OfficeSessionTest, TimeoutEndsLibreOfficeAndTheNextDocumentStillConverts) {
    Convert();
    const qint64 stopped = (*session_)->ProcessId();
    try {
        Convert(1);
        ADD_FAILURE() << "no timeout";
    } catch (const ConvertError& error) {
        EXPECT_STREQ(error.what(), "Преобразование прервано: прошло больше 1 мс");
    }
    EXPECT_FALSE(Alive(stopped));
    EXPECT_NE(Convert().find(Cp1251("1.1 Полное")), std::string::npos);
}

// A second session while the first holds the shared profile: it converts with a profile in
// its private folder, the first goes on, and the second's end leaves nothing behind.
TEST_F(OfficeSessionTest, SecondSessionGetsAProfileOfItsOwnAndLeavesNothing) {
    Convert();
    const QString temp = dir_->filePath("temp");
    QDir().mkpath(temp);
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    qint64 pid = 0;
    {
        auto own = std::make_shared<OfficeSession>(QString(), dir_->filePath("profile"));
        own->StartInBackground();
        ConvertOptions options;
        options.Session = own;
        ConvertDocument(document_, dir_->filePath("own.~ht"), options);
        pid = own->ProcessId();
        EXPECT_TRUE(Alive(pid));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        EXPECT_TRUE(cmdline.open(QIODevice::ReadOnly));
        // As LibreOffice sees it, also with a /tmp of its own.
        const QByteArray arguments = cmdline.readAll();
        const std::string seen = SeenInTmpNamespace(QFile::encodeName(temp).toStdString());
        EXPECT_TRUE(arguments.contains("-env:UserInstallation=file://" + QFile::encodeName(temp) +
                                       "/kelmo-office-") ||
                    arguments.contains("-env:UserInstallation=file://" +
                                       QByteArray::fromStdString(seen) + "/kelmo-office-"));
        EXPECT_NE(Convert().find(Cp1251("1.1 Полное")), std::string::npos) << "the first one";
    }
    qputenv("TMPDIR", oldTemp);
    EXPECT_FALSE(Alive(pid));
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

// The picture is linked from 127.0.0.1:39517; a listener there must hear nothing.
TEST_F(OfficeSessionTest, RemotePictureStaysALinkAndIsNotFetched) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(39517);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    const std::string html =
        Convert(120000, QStringLiteral(KELMO_CONVERT_TEST_DIR "/data/remote-picture.docx"));
    pollfd incoming{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&incoming, 1, 500), 0) << "a connection came in";
    ::close(listener);
    EXPECT_NE(html.find("src=\"http://127.0.0.1:39517/remote.png\""), std::string::npos);
}

// INCLUDEPICTURE names a picture outside the document's folder: it stays on the disk.
TEST_F(OfficeSessionTest, PictureTheFieldNamesOnTheDiskIsNotCopied) {
    const QString picture = dir_->filePath("elsewhere/p.png");
    QDir().mkpath(dir_->filePath("elsewhere"));
    WriteWholeFile(picture.toStdString(),
                   QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4"
                                          "2mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==")
                       .toStdString());
    const QString document = dir_->filePath("linked.rtf");
    WriteWholeFile(document.toStdString(),
                   "{\\rtf1\\ansi{\\pard Text {\\field{\\*\\fldinst {INCLUDEPICTURE \"" +
                       QUrl::fromLocalFile(picture).toString().toStdString() +
                       "\" \\\\d}}{\\fldrslt }} end\\par}}");
    const std::string html = Convert(120000, document);
    EXPECT_NE(html.find("Text"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
}

// Two LibreOffices of a pool convert at once, each in its own process, to the same bytes.
TEST_F(OfficeSessionTest, PoolConvertsWithSeveralLibreOfficesAtOnce) {
    OfficePool pool(2, QString(), dir_->filePath("pool-profile"));
    std::string exports[2];
    qint64 pids[2] = {};
    pool.ForEach(2, [&](int i, const std::shared_ptr<OfficeSession>& session) {
        const QString folder = dir_->filePath(QStringLiteral("pool-%1").arg(i));
        const QString output = folder + QStringLiteral("/i.htm");  // pictures take its name
        QDir().mkpath(folder);
        ASSERT_EQ(session->SaveAsHtml(document_, output, document_, 120000,
                                      [&](int) { pids[i] = session->ProcessId(); }),
                  OfficeSession::Outcome::Saved);
        exports[i] = LoadTextFile(output.toStdString());
    });
    EXPECT_NE(pids[0], pids[1]);
    EXPECT_FALSE(exports[0].empty());
    EXPECT_EQ(exports[0], exports[1]);
}

// Jobs go to free sessions, never two at once to one; of the jobs that throw, the lowest
// one's exception comes back, and no job starts after a throw.
TEST(OfficePoolTest, HandsJobsToFreeSessionsAndRethrowsTheFirstFailure) {
    OfficePool pool(3, QString(), QStringLiteral("/nonexistent/profile"));
    std::mutex mutex;
    std::set<OfficeSession*> busy;
    std::multiset<int> ran;
    bool shared = false;
    pool.ForEach(12, [&](int i, const std::shared_ptr<OfficeSession>& session) {
        {
            const std::lock_guard lock(mutex);
            shared |= !busy.insert(session.get()).second;
            ran.insert(i);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::lock_guard lock(mutex);
        busy.erase(session.get());
    });
    EXPECT_FALSE(shared);
    EXPECT_EQ(ran.size(), 12u);
    EXPECT_EQ(std::set<int>(ran.begin(), ran.end()).size(), 12u);

    try {
        pool.ForEach(12, [&](int i, const std::shared_ptr<OfficeSession>&) {
            // job 4 throws first, job 2 later
            if (i == 2) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (i == 2 || i == 4) throw std::runtime_error(std::to_string(i));
        });
        ADD_FAILURE() << "nothing was rethrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "2");
    }

    // Nothing is handed out after a failure (one session, so no race decides it).
    OfficePool single(1, QString(), QStringLiteral("/nonexistent/profile"));
    int served = 0;
    EXPECT_THROW(single.ForEach(5,
                                [&](int i, const std::shared_ptr<OfficeSession>&) {
                                    ++served;
                                    if (i == 1) throw std::runtime_error("1");
                                }),
                 std::runtime_error);
    EXPECT_EQ(served, 2);
}

}  // namespace
}  // namespace kelmo
