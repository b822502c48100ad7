#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Every CR, LF or CR LF becomes CR LF; a last line without a line end gets one.
std::string NormalizeLineEnds(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32 + 2);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* run = p;
        while (p < end && *p != '\r' && *p != '\n') ++p;
        result.append(run, static_cast<std::size_t>(p - run));
        if (p == end) {
            result.append(CrLf);
            break;
        }
        result.append(CrLf);
        if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
        ++p;
    }
    return result;
}

}  // namespace

namespace detail {

void WritePieces(const std::string& fileName, std::initializer_list<std::string_view> pieces) {
    FileHandle file(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
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

    std::string bytes;
    std::size_t filled = 0;
    if (S_ISREG(info.st_mode)) bytes.resize(static_cast<std::size_t>(info.st_size));
    for (;;) {
        if (filled == bytes.size()) bytes.resize(bytes.size() + (1 << 16));
        const ssize_t got = ::read(file.Get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError("Cannot read file ", fileName, errno);
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

std::string LoadTextFile(const std::string& fileName) {
    const std::string bytes = ReadWholeFile(fileName);
    std::string_view text = bytes;
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);
    return NormalizeLineEnds(text);
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
