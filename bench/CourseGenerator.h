// Generated course documents in the shape of Word 2000's HTML export, for measurements.
#pragma once

#include <cstddef>
#include <string>

namespace kelmo::bench {

// About sizeBytes of Word-style HTML with headingCount h1..h4 headings spread evenly over
// the body. Text is windows-1251 Cyrillic; lines end in CR LF, as LoadTextFile leaves them.
// The same arguments always give the same bytes.
std::string GenerateCourse(std::size_t sizeBytes, int headingCount);

}  // namespace kelmo::bench
