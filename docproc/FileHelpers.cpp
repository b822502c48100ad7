#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "FileIo.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view CrLf = "\r\n";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

IoError FileError(std::string_view what, const std::string& path, std::string reason) {
    return IoError(std::string(what) + Quoted(path) + ". " + reason, reason);
}

IoError FileError(std::string_view what, const std::string& path, int error) {
    return FileError(what, path, std::strerror(error));
}

// Owns a descriptor so that it is closed on every path; Close() reports a failed close.
class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }
    // 0 on success, else errno of the failed close.
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// 0 on success, else errno of the failed write.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// The next CR or LF at or after a place, through memchr; the next CR and the next LF are
// remembered, so each byte is looked at a bounded number of times.
class LineEndFinder {
  public:
    explicit LineEndFinder(const char* end) : end_(end) {}

    const char* Next(const char* from) {
        if (nextCr_ == nullptr || nextCr_ < from) nextCr_ = Find(from, '\r');
        if (nextLf_ == nullptr || nextLf_ < from) nextLf_ = Find(from, '\n');
        return std::min(nextCr_, nextLf_);
    }

  private:
    const char* Find(const char* from, char byte) const {
        const void* hit = std::memchr(from, byte, static_cast<std::size_t>(end_ - from));
        return hit != nullptr ? static_cast<const char*>(hit) : end_;
    }

    const char* end_;
    const char* nextCr_ = nullptr;
    const char* nextLf_ = nullptr;
};

// Every CR, LF or CR LF becomes CR LF; a last line without a line end gets one. A text
// that already has CR LF everywhere is returned without a copy.
std::string NormalizeLineEnds(std::string bytes) {
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    LineEndFinder finder(end);
    const char* p = begin;
    for (p = finder.Next(p); p < end; p = finder.Next(p)) {
        if (*p != '\r' || p + 1 == end || p[1] != '\n') break;
        p += 2;
    }
    if (p == end) {
        if (!bytes.empty() && bytes.back() != '\n') bytes.append(CrLf);
        return bytes;
    }

    std::string result;
    result.reserve(bytes.size() + bytes.size() / 32 + 2);
    result.append(begin, static_cast<std::size_t>(p - begin));
    while (p < end) {
        const char* lineEnd = finder.Next(p);
        result.append(p, static_cast<std::size_t>(lineEnd - p)).append(CrLf);
        if (lineEnd == end) break;
        p = lineEnd + (*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n' ? 2 : 1);
    }
    return result;
}

// What stands at a path the writers are about to write.
enum class Target { Absent, SingleFile, SharedFile, Refused };

// Target of path; for Refused, why sets the reason. A link is refused even when it leads
// to a regular file.
Target Classify(const std::string& path, std::string& why) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Target::Absent;
    if (S_ISREG(info.st_mode)) return info.st_nlink == 1 ? Target::SingleFile : Target::SharedFile;
    if (S_ISLNK(info.st_mode))
        why = std::strerror(ELOOP);
    else if (S_ISDIR(info.st_mode))
        why = std::strerror(EISDIR);
    else
        why = "Not a regular file";
    return Target::Refused;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new, empty file named name; O_EXCL creates it or fails, so nothing already there is
// ever opened.
FileHandle CreateNew(const std::string& name) {
    return FileHandle(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

// A new, empty file in folder under a name nobody holds.
FileHandle CreateTemporary(const std::string& folder, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
        name = JoinPath(folder, ".kelmo-" + std::to_string(::getpid()) + "-" +
                                    std::to_string(counter++) + ".tmp");
        FileHandle file = CreateNew(name);
        if (file.Get() >= 0 || errno != EEXIST || attempt == 100) return file;
    }
}

// The existing file of one name at path, as it is; -1 with errno set when what is there by
// the time it is opened is anything else. Without O_NONBLOCK a FIFO put there meanwhile
// would hang the open.
FileHandle OpenSingleFile(const std::string& path) {
    FileHandle file(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) return file;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) return FileHandle(-1);
    if (!S_ISREG(info.st_mode) || info.st_nlink != 1) {
        errno = EBUSY;
        return FileHandle(-1);
    }
    return file;
}

// 0 on success, else errno of the failed write or close. With cut, what the file held
// beyond the pieces goes.
int WriteAndClose(FileHandle& file, std::span<const std::string_view> pieces, bool cut) {
    off_t length = 0;
    for (const std::string_view piece : pieces) {
        if (const int error = WriteAll(file.Get(), piece)) return error;
        length += off_t(piece.size());
    }
    if (cut && ::ftruncate(file.Get(), length) != 0) return errno;
    return file.Close();
}

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::lstat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return;
        throw FileError("Cannot create folder ", path, S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR);
    }
    throw FileError("Cannot create folder ", path, error);
}

bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first ==
           outer.end();
}

}  // namespace

namespace detail {

void WritePieces(const std::string& fileName, std::span<const std::string_view> pieces) {
    // A link, a file with another name elsewhere or a FIFO left in an output folder must
    // neither lead the write elsewhere nor hang it. A file of our own is rewritten in
    // place: replacing it costs the file system far more. It is written over and cut to
    // length after, not emptied first: emptying waits for the disk to take its old bytes.
    std::string why;
    const Target target = Classify(fileName, why);
    if (target == Target::Refused) throw FileError("Cannot create file ", fileName, why);
    std::string created = fileName;
    FileHandle file = target == Target::Absent       ? CreateNew(fileName)
                      : target == Target::SingleFile ? OpenSingleFile(fileName)
                                                     : CreateTemporary(FolderOf(fileName), created);
    if (target == Target::SingleFile) created.clear();
    if (file.Get() < 0) throw FileError("Cannot create file ", fileName, errno);
    int error = WriteAndClose(file, pieces, target == Target::SingleFile);
    if (error == 0 && target == Target::SharedFile &&
        ::rename(created.c_str(), fileName.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        if (!created.empty()) ::unlink(created.c_str());
        throw FileError("Cannot write file ", fileName, error);
    }
}

}  // namespace detail

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).append(1, '/').append(name);
    return path;
}

namespace {

// Reads fd (described by info) from its current offset to its end onto the end of bytes.
// The buffer grows once to the file's size; a file that grows meanwhile, or one without a
// size (a pipe), is read on in chunks.
void ReadOnto(int fd, const struct stat& info, const std::string& fileName, std::string& bytes) {
    std::size_t filled = bytes.size();
    if (S_ISREG(info.st_mode)) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        if (at >= 0 && info.st_size > at) bytes.resize(filled + std::size_t(info.st_size - at));
    }
    char chunk[1 << 14];
    for (;;) {
        const bool intoBuffer = filled < bytes.size();
        char* const target = intoBuffer ? bytes.data() + filled : chunk;
        const std::size_t room = intoBuffer ? bytes.size() - filled : sizeof chunk;
        const ssize_t got = ::read(fd, target, room);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError("Cannot read file ", fileName, errno);
        }
        if (got == 0) break;
        if (!intoBuffer) bytes.append(chunk, static_cast<std::size_t>(got));
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
}

}  // namespace

std::string ReadWholeFile(const std::string& fileName) {
    FileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) throw FileError("Cannot open file ", fileName, errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) throw FileError("Cannot open file ", fileName, errno);
    // A folder opens on Linux but reads nothing sensible.
    if (S_ISDIR(info.st_mode)) throw FileError("Cannot open file ", fileName, EISDIR);
    std::string bytes;
    ReadOnto(file.Get(), info, fileName, bytes);
    return bytes;
}

void ReadRestOfFile(int fd, const std::string& fileName, std::string& bytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw FileError("Cannot read file ", fileName, errno);
    ReadOnto(fd, info, fileName, bytes);
}

std::string LoadTextFile(const std::string& fileName) {
    std::string bytes = ReadWholeFile(fileName);
    if (const auto zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
    return NormalizeLineEnds(std::move(bytes));
}

void WriteWholeFile(const std::string& fileName, std::string_view bytes) {
    detail::WritePieces(fileName, {bytes});
}

void CopyFolder(const std::string& source, const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path from = fs::canonical(source, error);
    if (error) throw FileError("Cannot open folder ", source, error.value());
    if (IsSameOrInside(fs::weakly_canonical(target, error), from)) {
        throw IoError("Cannot copy folder " + Quoted(source) + " into " + Quoted(target) +
                          ", which lies inside it",
                      "The copy would lie inside the folder");
    }
    MakeFolder(target);
    // Links to folders are not followed: the copy stays within source.
    fs::recursive_directory_iterator entry(from, error);
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        const std::string copy = JoinPath(target, entry->path().lexically_relative(from).string());
        const fs::file_type type = entry->symlink_status(error).type();
        if (type == fs::file_type::directory) MakeFolder(copy);
        if (type == fs::file_type::regular) WriteWholeFile(copy, ReadWholeFile(entry->path()));
    }
    if (error) throw FileError("Cannot read folder ", source, error.value());
}

bool DeleteFolder(const std::string& folder) {
    std::error_code error;
    // remove_all removes a symbolic link itself, never what it points to.
    std::filesystem::remove_all(folder, error);
    const auto status = std::filesystem::symlink_status(folder, error);
    return status.type() == std::filesystem::file_type::not_found;
}

}  // namespace kelmo
