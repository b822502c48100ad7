#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FileIo.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view CrLf = "\r\n";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

IoError FileError(std::string_view what, const std::string& path, int error) {
    return IoError(std::string(what) + Quoted(path) + ". " + std::strerror(error));
}

// Owns a descriptor so that it is closed on every path; Close() reports a failed close.
class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
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

}  // namespace

namespace detail {

void WritePieces(const std::string& fileName, std::initializer_list<std::string_view> pieces) {
    // Never through a link: a link left in an output folder must not lead the write to a
    // file elsewhere, such as the author's document.
    FileHandle file(
        ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (file.Get() < 0) throw FileError("Cannot create file ", fileName, errno);
    for (const std::string_view piece : pieces) {
        if (const int error = WriteAll(file.Get(), piece))
            throw FileError("Cannot write file ", fileName, error);
    }
    if (const int error = file.Close()) throw FileError("Cannot write file ", fileName, error);
}

}  // namespace detail

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).append(1, '/').append(name);
    return path;
}

std::string ReadWholeFile(const std::string& fileName) {
    FileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) throw FileError("Cannot open file ", fileName, errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) throw FileError("Cannot open file ", fileName, errno);
    // A folder opens on Linux but reads nothing sensible.
    if (S_ISDIR(info.st_mode)) throw FileError("Cannot open file ", fileName, EISDIR);

    // Read straight into a buffer of the file's size; a file that grows meanwhile, or one
    // without a size (a pipe), is read on in chunks.
    std::string bytes;
    if (S_ISREG(info.st_mode)) bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    char chunk[1 << 14];
    for (;;) {
        const bool intoBuffer = filled < bytes.size();
        char* const target = intoBuffer ? bytes.data() + filled : chunk;
        const std::size_t room = intoBuffer ? bytes.size() - filled : sizeof chunk;
        const ssize_t got = ::read(file.Get(), target, room);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError("Cannot read file ", fileName, errno);
        }
        if (got == 0) break;
        if (!intoBuffer) bytes.append(chunk, static_cast<std::size_t>(got));
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

std::string LoadTextFile(const std::string& fileName) {
    std::string bytes = ReadWholeFile(fileName);
    if (const auto zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
    return NormalizeLineEnds(std::move(bytes));
}

void WriteWholeFile(const std::string& fileName, std::string_view bytes) {
    detail::WritePieces(fileName, {bytes});
}

bool DeleteFolder(const std::string& folder) {
    std::error_code error;
    // remove_all removes a symbolic link itself, never what it points to.
    std::filesystem::remove_all(folder, error);
    const auto status = std::filesystem::symlink_status(folder, error);
    return status.type() == std::filesystem::file_type::not_found;
}

}  // namespace kelmo
