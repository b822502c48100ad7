#include "WordFormat.h"

#include <QFile>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "AsciiText.h"

namespace kelmo {
namespace {

constexpr qint64 HeaderSize = 512;
constexpr int HeaderFatEntries = 109;
constexpr int DirectoryEntrySize = 128;
constexpr std::uint32_t LastRegularSector = 0xFFFFFFF9;
// Bounds for walking chains, so that a looping or absurd table ends the probe.
constexpr int MaxFatSectors = 1 << 16;
constexpr int MaxDirectorySectors = 4096;
constexpr qint64 MiniSectorSize = 64;

constexpr char StreamType = 2;
constexpr char RootType = 5;

constexpr std::uint16_t Word97Ident = 0xA5EC;
constexpr std::uint16_t Word6Ident = 0xA5DC;
constexpr std::uint16_t FirstWord97Fib = 105;
constexpr std::uint16_t LastWord6Fib = 101;
constexpr std::uint16_t EncryptedFlag = 0x0100;

std::uint32_t U32(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 4 > bytes.size()) return 0xFFFFFFFF;
    const auto byte = [&](qsizetype k) { return std::uint32_t(std::uint8_t(bytes[at + k])); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

std::uint16_t U16(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) return 0;
    return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

struct Stream {
    std::uint32_t Start = 0;
    std::uint32_t Size = 0;
    bool Found = false;
};

// The streams that tell the kinds apart.
struct Directory {
    Stream WordDocument;
    bool Workbook = false;
    bool Presentation = false;
    bool EncryptedPackage = false;
};

class CompoundFile {
  public:
    explicit CompoundFile(QIODevice& file) : file_(file) {}

    bool ReadHeader() {
        header_ = ReadAt(0, HeaderSize);
        if (header_.size() < HeaderSize) return false;
        const std::uint16_t shift = U16(header_, 0x1E);
        if (shift != 9 && shift != 12) return false;
        sectorSize_ = qint64(1) << shift;
        miniCutoff_ = U32(header_, 0x38);
        return ReadFatSectorList();
    }

    bool ReadDirectory(Directory& directory) {
        std::uint32_t sector = U32(header_, 0x30);
        for (int walked = 0; sector <= LastRegularSector; ++walked) {
            if (walked == MaxDirectorySectors) return false;
            const QByteArray entries = ReadSector(sector);
            if (entries.size() < sectorSize_) return false;
            for (qsizetype at = 0; at + DirectoryEntrySize <= entries.size();
                 at += DirectoryEntrySize) {
                const QByteArray entry = entries.mid(at, DirectoryEntrySize);
                if (entry[0x42] == RootType && walked == 0 && at == 0)
                    rootStart_ = U32(entry, 0x74);
                Note(entry, directory);
            }
            sector = NextSector(sector);
        }
        return true;
    }

    // The first bytes of a stream (at most one mini sector's worth); empty when they
    // cannot be found.
    QByteArray StreamStart(const Stream& stream, qint64 size) {
        size = qMin<qint64>(qMin(size, MiniSectorSize), stream.Size);
        if (stream.Start > LastRegularSector) return {};
        if (stream.Size >= miniCutoff_) {
            return ReadAt((qint64(stream.Start) + 1) * sectorSize_, size);
        }
        // Small streams live in the mini stream, a chain of regular sectors from the root.
        const qint64 offset = qint64(stream.Start) * MiniSectorSize;
        std::uint32_t sector = rootStart_;
        for (qint64 k = 0; k < offset / sectorSize_ && sector <= LastRegularSector; ++k) {
            if (k == MaxDirectorySectors) return {};
            sector = NextSector(sector);
        }
        if (sector > LastRegularSector) return {};
        return ReadAt((qint64(sector) + 1) * sectorSize_ + offset % sectorSize_, size);
    }

  private:
    QByteArray ReadAt(qint64 offset, qint64 size) {
        if (!file_.seek(offset)) return {};
        return file_.read(size);
    }

    QByteArray ReadSector(std::uint32_t sector) {
        return ReadAt((qint64(sector) + 1) * sectorSize_, sectorSize_);
    }

    // The header lists the first 109 sectors of the allocation table; a chain of further
    // sectors lists the rest.
    bool ReadFatSectorList() {
        for (int k = 0; k < HeaderFatEntries; ++k) {
            const std::uint32_t sector = U32(header_, 0x4C + 4 * k);
            if (sector > LastRegularSector) return true;
            fatSectors_.push_back(sector);
        }
        const qsizetype perSector = sectorSize_ / 4 - 1;
        for (std::uint32_t next = U32(header_, 0x44); next <= LastRegularSector;) {
            if (int(fatSectors_.size()) >= MaxFatSectors) return false;
            const QByteArray list = ReadSector(next);
            if (list.size() < sectorSize_) return false;
            for (qsizetype k = 0; k < perSector; ++k) {
                const std::uint32_t sector = U32(list, 4 * k);
                if (sector > LastRegularSector) return true;
                fatSectors_.push_back(sector);
            }
            next = U32(list, 4 * perSector);
        }
        return true;
    }

    std::uint32_t NextSector(std::uint32_t sector) {
        const std::uint32_t perSector = std::uint32_t(sectorSize_ / 4);
        const std::size_t index = sector / perSector;
        if (index >= fatSectors_.size()) return 0xFFFFFFFF;
        const qint64 at = (qint64(fatSectors_[index]) + 1) * sectorSize_ + 4 * (sector % perSector);
        return U32(ReadAt(at, 4), 0);
    }

    static void Note(const QByteArray& entry, Directory& directory) {
        const char type = entry[0x42];
        const int nameUnits = qBound(0, U16(entry, 0x40) / 2 - 1, 31);
        if (type != StreamType) return;
        QString name;
        for (int k = 0; k < nameUnits; ++k) name += QChar(U16(entry, 2 * k));
        if (name == QLatin1String("WordDocument")) {
            directory.WordDocument = {U32(entry, 0x74), U32(entry, 0x78), true};
        } else if (name == QLatin1String("Workbook") || name == QLatin1String("Book")) {
            directory.Workbook = true;
        } else if (name == QLatin1String("PowerPoint Document")) {
            directory.Presentation = true;
        } else if (name == QLatin1String("EncryptedPackage")) {
            directory.EncryptedPackage = true;
        }
    }

    QIODevice& file_;
    QByteArray header_;
    qint64 sectorSize_ = 512;
    std::uint32_t miniCutoff_ = 4096;
    std::uint32_t rootStart_ = 0xFFFFFFFF;
    std::vector<std::uint32_t> fatSectors_;
};

// The Word version and protection from the start of the WordDocument stream (the FIB).
OleContent WordVersion(const QByteArray& fib) {
    if (fib.size() < 12) return OleContent::Word97;
    const std::uint16_t ident = U16(fib, 0);
    const std::uint16_t nFib = U16(fib, 2);
    if (U16(fib, 0x0A) & EncryptedFlag) return OleContent::Encrypted;
    if (ident == Word97Ident && nFib >= FirstWord97Fib) return OleContent::Word97;
    if (ident == Word6Ident || ident == Word97Ident) {
        return nFib <= LastWord6Fib ? OleContent::Word6 : OleContent::Word95;
    }
    return OleContent::Word97;
}

}  // namespace

OleContent ProbeOle(QIODevice& file) {
    CompoundFile compound(file);
    Directory directory;
    if (!compound.ReadHeader() || !compound.ReadDirectory(directory)) {
        return OleContent::Unreadable;
    }
    if (directory.EncryptedPackage) return OleContent::Encrypted;
    if (directory.WordDocument.Found) {
        return WordVersion(compound.StreamStart(directory.WordDocument, 32));
    }
    if (directory.Workbook) return OleContent::Spreadsheet;
    if (directory.Presentation) return OleContent::Presentation;
    return OleContent::Other;
}

QString ImportFilterFor(const QString& path, InputKind kind) {
    if (kind != InputKind::Doc) return {};
    QFile file(path);
    const OleContent content =
        file.open(QIODevice::ReadOnly) ? ProbeOle(file) : OleContent::Unreadable;
    switch (content) {
        case OleContent::Word6:
            return QStringLiteral("MS WinWord 6.0");
        case OleContent::Word95:
            return QStringLiteral("MS Word 95");
        default:
            return QStringLiteral("MS Word 97");
    }
}

namespace {

constexpr std::string_view FieldInstruction = "\\fldinst";
constexpr std::string_view IncludePicture = "includepicture";
// As long as the name it replaces, so that a rename shifts nothing after it.
constexpr std::string_view Unlinked = "UNLINKPICTURE ";

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Renames the field names in the group that holds the instruction starting at at; returns
// where that group ends.
std::size_t UnlinkInstruction(std::string& rtf, std::size_t at) {
    for (int depth = 0; at < rtf.size(); ++at) {
        const char c = rtf[at];
        if (c == '\\') {
            ++at;  // an escaped character or the first letter of a control word
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (depth-- == 0) break;
        } else if (StartsWithNoCase(rtf, at, IncludePicture) &&
                   (at == 0 || !IsLetter(rtf[at - 1]))) {
            static_assert(Unlinked.size() == IncludePicture.size());
            std::copy(Unlinked.begin(), Unlinked.end(), rtf.begin() + std::ptrdiff_t(at));
            at += Unlinked.size() - 1;
        }
    }
    return at;
}

}  // namespace

void UnlinkIncludedPictures(std::string& rtf) {
    for (std::size_t at = rtf.find(FieldInstruction); at != std::string::npos;
         at = rtf.find(FieldInstruction, at)) {
        at += FieldInstruction.size();
        if (at < rtf.size() && IsLetter(rtf[at])) continue;  // a longer control word
        at = UnlinkInstruction(rtf, at);
    }
}

}  // namespace kelmo
