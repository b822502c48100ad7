// Whole-file writing shared by the docproc writers (not part of the public interface).
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace kelmo::detail {

// Creates or rewrites fileName with the pieces one after the other, then closes it.
// Throws IoError naming the file and the system's reason; the file is closed in every case.
void WritePieces(const std::string& fileName, std::span<const std::string_view> pieces);
inline void WritePieces(const std::string& fileName,
                        std::initializer_list<std::string_view> pieces) {
    WritePieces(fileName, std::span<const std::string_view>(pieces.begin(), pieces.size()));
}

}  // namespace kelmo::detail
