// The alt and title of the pictures in LibreOffice's HTML export (UTF-8), from what the
// document labels routine left in them: each picture's description, U+E000, its title (and,
// for a drawing, U+E000 and an index). Pure bytes.
//
// Errors: none; any bytes are accepted, in linear time.
#pragma once

#include <string>
#include <string_view>

namespace kelmo {

// html with every <img> given alt="description" (empty when the picture has none, never the
// object's internal name such as "Shape34") and title="title" when it has a title. A name
// attribute carrying the routine's marks goes.
std::string WithPictureTexts(std::string_view html);

}  // namespace kelmo
