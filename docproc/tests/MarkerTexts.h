// Random texts made of the pieces that the removal primitives look for, so that markers,
// terminators and near-misses meet far more often than in real documents.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace kelmo::testing {

// A text of pieceCount pieces: markers and their fragments, terminators, CR, LF, letters
// and random bytes (0 and >= 128 included).
std::string MarkerText(std::mt19937& random, int pieceCount);

}  // namespace kelmo::testing
