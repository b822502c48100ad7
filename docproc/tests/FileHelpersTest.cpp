#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "LibFunc.h"
#include "TempFolder.h"

namespace kelmo {
namespace {

using namespace std::string_literals;
using testing::FileBytes;
using testing::IoErrorText;
using testing::PutFile;
using testing::TempFolder;
namespace fs = std::filesystem;

// --- LoadTextFile: line ends and the 0 byte --------------------------------------------

struct LoadCase {
    const char* name;
    std::string bytes;
    std::string text;
};

const LoadCase LoadCases[] = {
    {"empty file", ""s, ""s},
    {"last line gains an end", "abc"s, "abc\r\n"s},
    {"LF only", "a\nb\n"s, "a\r\nb\r\n"s},
    {"CR only", "a\rb\r"s, "a\r\nb\r\n"s},
    {"CR LF kept", "a\r\nb\r\n"s, "a\r\nb\r\n"s},
    {"LF CR is two ends", "a\n\rb"s, "a\r\n\r\nb\r\n"s},
    {"CR CR LF is two ends", "a\r\r\nb"s, "a\r\n\r\nb\r\n"s},
    {"lone line end", "\n"s, "\r\n"s},
    {"blank lines kept", "\n\n"s, "\r\n\r\n"s},
    {"stops at 0 byte", "ab\ncd\0ef\n"s, "ab\r\ncd\r\n"s},
    {"0 byte first", "\0abc"s, ""s},
    {"0 byte right after a line end", "ab\r\n\0cd"s, "ab\r\n"s},
    {"high bytes untouched", "\xc3\xeb\xe0\xe2\xe0\xa0"s, "\xc3\xeb\xe0\xe2\xe0\xa0\r\n"s},
};

TEST(LoadTextFile, NormalisesLineEndsAndStopsAtZero) {
    TempFolder folder;
    for (const LoadCase& c : LoadCases) {
        SCOPED_TRACE(c.name);
        PutFile(folder / "in.txt", c.bytes);
        EXPECT_EQ(LoadTextFile(folder / "in.txt"), c.text);
    }
}

// --- Opening failures name the file and the reason --------------------------------------

TEST(LoadTextFile, OpeningFailuresNamePathAndReason) {
    TempFolder folder;
    const std::string missing = folder / "missing.~ht";
    EXPECT_EQ(IoErrorText([&] { LoadTextFile(missing); }),
              "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_EQ(IoErrorText([&] { LoadTextFile(folder.Path()); }),
              "Cannot open file \"" + folder.Path() + "\". Is a directory");
}

TEST(ReadWholeFile, KeepsEveryByte) {
    TempFolder folder;
    const std::string bytes = "a\rb\n\0c\r\n\xff"s;
    PutFile(folder / "raw", bytes);
    EXPECT_EQ(ReadWholeFile(folder / "raw"), bytes);
}

TEST(ReadWholeFile, ReadsAPipeWithoutSize) {
    TempFolder folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes(100000, 'x');
    bytes.back() = 'y';
    std::thread writer([&] { PutFile(fifo, bytes); });
    const std::string read = ReadWholeFile(fifo);
    writer.join();
    EXPECT_EQ(read, bytes);
}

// --- WriteWholeFile ---------------------------------------------------------------------

TEST(WriteWholeFile, CreatesThenEmptiesAndRewrites) {
    TempFolder folder;
    const std::string path = folder / "out.htm";
    WriteWholeFile(path, "first, longer\r\n");
    WriteWholeFile(path, "x\0y"s);
    EXPECT_EQ(FileBytes(path), "x\0y"s);
}

struct WriteFailure {
    const char* name;
    std::string path;
    std::string message;
};

TEST(WriteWholeFile, FailuresNameFileAndReason) {
    TempFolder folder;
    PutFile(folder / "plain", "not a folder");
    PutFile(folder / "document.htm", "author's text");
    fs::create_symlink(folder / "document.htm", folder / "i.~ht");
    ASSERT_EQ(::mkfifo((folder / "page_1_.htm").c_str(), 0600), 0);
    fs::create_directory(folder / "clear.~ht");
    // Tests may run as root, where permission bits do not stop a write.
    const WriteFailure cases[] = {
        {"missing parent", folder / "no/such/file",
         "Cannot create file \"" + (folder / "no/such/file") + "\". No such file or directory"},
        {"parent is a file", folder / "plain/file",
         "Cannot create file \"" + (folder / "plain/file") + "\". Not a directory"},
        {"FIFO does not hang", folder / "page_1_.htm",
         "Cannot create file \"" + (folder / "page_1_.htm") + "\". Not a regular file"},
        {"folder", folder / "clear.~ht",
         "Cannot create file \"" + (folder / "clear.~ht") + "\". Is a directory"},
        {"link to another file", folder / "i.~ht",
         "Cannot create file \"" + (folder / "i.~ht") + "\". Too many levels of symbolic links"},
    };
    for (const WriteFailure& c : cases) {
        EXPECT_EQ(IoErrorText([&] { WriteWholeFile(c.path, "bytes"); }), c.message) << c.name;
    }
    EXPECT_EQ(FileBytes(folder / "document.htm"), "author's text");
    EXPECT_TRUE(fs::is_fifo(folder / "page_1_.htm"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 5)
        << "no temporary file is left";
}

TEST(WriteWholeFile, ReplacesAHardLinkedFileWithoutChangingTheOtherName) {
    TempFolder folder;
    PutFile(folder / "outside.txt", "author's text");
    fs::create_hard_link(folder / "outside.txt", folder / "Names.txt");
    WriteWholeFile(folder / "Names.txt", "outline");
    EXPECT_EQ(FileBytes(folder / "Names.txt"), "outline");
    EXPECT_EQ(FileBytes(folder / "outside.txt"), "author's text");
}

// A file size limit makes a write fail part way, as a full disk would.
std::string WriteWithSizeLimit(const std::string& path, std::string_view bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 2;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = IoErrorText([&] { WriteWholeFile(path, bytes); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return error;
}

TEST(WriteWholeFile, FailedWriteLeavesNoFileOfItsOwn) {
    TempFolder folder;
    const std::string fresh = folder / "Titles.txt";
    EXPECT_EQ(WriteWithSizeLimit(fresh, "new"),
              "Cannot write file \"" + fresh + "\". File too large");
    EXPECT_FALSE(fs::exists(fresh));

    PutFile(folder / "outside.txt", "old");
    fs::create_hard_link(folder / "outside.txt", folder / "Names.txt");
    EXPECT_EQ(WriteWithSizeLimit(folder / "Names.txt", "new"),
              "Cannot write file \"" + (folder / "Names.txt") + "\". File too large");
    EXPECT_EQ(FileBytes(folder / "Names.txt"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 2)
        << "no temporary file is left";
}

TEST(JoinPath, UsesNativeSeparator) {
    EXPECT_EQ(JoinPath("/work/ABC", "page_1_.htm"), "/work/ABC/page_1_.htm");
    EXPECT_EQ(JoinPath("rel", "Names.txt"), "rel/Names.txt");
}

// --- CopyFolder -------------------------------------------------------------------------

TEST(CopyFolder, CopiesFoldersAndRegularFilesOnly) {
    TempFolder folder;
    const std::string source = folder / "course.files";
    fs::create_directories(source + "/sub/deeper");
    PutFile(source + "/image001.png", "png");
    PutFile(source + "/sub/deeper/image002.gif", "gif");
    PutFile(folder / "secret.txt", "private");
    fs::create_symlink(folder / "secret.txt", source + "/linked.png");
    fs::create_directory_symlink(folder.Path(), source + "/up");
    ASSERT_EQ(::mkfifo((source + "/pipe").c_str(), 0600), 0);
    // A hard link in the work folder is replaced, its other name keeps its bytes.
    const std::string work = folder / "work";
    fs::create_directories(work + "/course.files");
    fs::create_hard_link(folder / "secret.txt", work + "/course.files/image001.png");

    CopyFolder(source, work + "/course.files");
    EXPECT_EQ(FileBytes(work + "/course.files/image001.png"), "png");
    EXPECT_EQ(FileBytes(work + "/course.files/sub/deeper/image002.gif"), "gif");
    EXPECT_EQ(FileBytes(folder / "secret.txt"), "private");
    for (const char* skipped : {"linked.png", "up", "pipe"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(work + "/course.files/" + skipped))) << skipped;
    }
}

TEST(CopyFolder, RefusesTargetsInsideOrThroughLinks) {
    TempFolder folder;
    const std::string source = folder / "course.files";
    fs::create_directories(source + "/sub");
    PutFile(source + "/sub/image001.png", "png");
    const std::string elsewhere = folder / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, folder / "linked.files");
    fs::create_directories(folder / "work/pictures");
    fs::create_directory_symlink(elsewhere, folder / "work/pictures/sub");
    const auto inside = [&](const std::string& target) {
        return "Cannot copy folder \"" + source + "\" into \"" + target +
               "\", which lies inside it";
    };
    const WriteFailure cases[] = {
        {"the folder itself", source, inside(source)},
        {"a folder inside it", source + "/sub/course.files", inside(source + "/sub/course.files")},
        {"a link to another folder", folder / "linked.files",
         "Cannot create folder \"" + (folder / "linked.files") +
             "\". Too many levels of symbolic links"},
        {"a link below the target", folder / "work/pictures",
         "Cannot create folder \"" + (folder / "work/pictures/sub") +
             "\". Too many levels of symbolic links"},
    };
    for (const WriteFailure& c : cases) {
        EXPECT_EQ(IoErrorText([&] { CopyFolder(source, c.path); }), c.message) << c.name;
    }
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::exists(source + "/sub/course.files"));
}

// --- DeleteFolder -----------------------------------------------------------------------

TEST(DeleteFolder, RemovesTreeAndReportsGone) {
    TempFolder folder;
    const std::string work = folder / "work";
    fs::create_directories(work + "/a/b");
    PutFile(work + "/a/b/page_1_.htm", "x");
    PutFile(work + "/i.~ht", "y");
    EXPECT_TRUE(DeleteFolder(work));
    EXPECT_FALSE(fs::exists(work));
    EXPECT_TRUE(DeleteFolder(work)) << "an absent folder is gone too";
}

TEST(DeleteFolder, DoesNotFollowLinksOut) {
    TempFolder folder;
    const std::string outside = folder / "outside";
    fs::create_directory(outside);
    PutFile(outside + "/keep.doc", "author's work");
    const std::string work = folder / "work";
    fs::create_directory(work);
    fs::create_directory_symlink(outside, work + "/link");
    fs::create_symlink(outside + "/keep.doc", work + "/file-link");

    EXPECT_TRUE(DeleteFolder(work));
    EXPECT_FALSE(fs::exists(work));
    EXPECT_EQ(FileBytes(outside + "/keep.doc"), "author's work");
}

TEST(DeleteFolder, LinkGivenAsFolderLeavesTarget) {
    TempFolder folder;
    const std::string target = folder / "target";
    fs::create_directory(target);
    PutFile(target + "/keep", "k");
    fs::create_directory_symlink(target, folder / "link");
    EXPECT_TRUE(DeleteFolder(folder / "link"));
    EXPECT_EQ(FileBytes(target + "/keep"), "k");
}

}  // namespace
}  // namespace kelmo
