#include <gtest/gtest.h>
#include <sys/stat.h>

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
    // Tests may run as root, where permission bits do not stop a write.
    const WriteFailure cases[] = {
        {"missing parent", folder / "no/such/file",
         "Cannot create file \"" + (folder / "no/such/file") + "\". No such file or directory"},
        {"parent is a file", folder / "plain/file",
         "Cannot create file \"" + (folder / "plain/file") + "\". Not a directory"},
        {"device full", "/dev/full", "Cannot write file \"/dev/full\". No space left on device"},
        {"link to another file", folder / "i.~ht",
         "Cannot create file \"" + (folder / "i.~ht") + "\". Too many levels of symbolic links"},
    };
    for (const WriteFailure& c : cases) {
        EXPECT_EQ(IoErrorText([&] { WriteWholeFile(c.path, "bytes"); }), c.message) << c.name;
    }
    EXPECT_EQ(FileBytes(folder / "document.htm"), "author's text");
}

TEST(JoinPath, UsesNativeSeparator) {
    EXPECT_EQ(JoinPath("/work/ABC", "page_1_.htm"), "/work/ABC/page_1_.htm");
    EXPECT_EQ(JoinPath("rel", "Names.txt"), "rel/Names.txt");
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
