// The alt and title of the pictures in LibreOffice's HTML export (UTF-8), from what the
// document labels routine left in the alt: each picture's description, U+E000, its title.
// Pure bytes.
//
// Errors: none; any bytes are accepted, in linear time.
#pragma once

#include <string>
#include <string_view>

namespace kelmo {

// html with every <img> given alt="description" (empty when the picture has none, never the
// object's internal name such as "Shape34", which the export writes for a drawing) and
// title="title" when it has a title, both at the end of the tag.
std::string WithPictureTexts(std::string_view html);

}  // namespace kelmo
