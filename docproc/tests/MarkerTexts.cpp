#include "MarkerTexts.h"

#include <array>
#include <string_view>

namespace kelmo::testing {
namespace {

constexpr std::array<std::string_view, 42> Pieces = {
    "<",
    ">",
    "<!--",
    "-->",
    "<!-",
    "--",
    "<o:p>",
    "</o:p>",
    "<o:",
    "class=MsoNormal",
    "class=Mso",
    "<![if",
    "<![if !vml]>",
    "<![endif]>",
    "<![",
    "&nbsp;",
    "&nbsp",
    "nbsp;",
    "mso",
    "ms",
    "o",
    "mso-list:l0",
    ";",
    "'",
    "\"",
    "&",
    "\r",
    "\n",
    "\r\n",
    " ",
    "style=''",
    "a",
    "<p ",
    "</p>",
    // title text: line breaks, character references, control bytes
    "<br>",
    "<BR/>",
    "&#",
    "&#x",
    "171;",
    "A0;",
    "&laquo;",
    "\t",
};

}  // namespace

std::string MarkerText(std::mt19937& random, int pieceCount) {
    std::uniform_int_distribution<std::size_t> pick(0, Pieces.size());
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text;
    for (int i = 0; i < pieceCount; ++i) {
        const std::size_t k = pick(random);
        if (k == Pieces.size()) {
            text += static_cast<char>(byte(random));
        } else {
            text += Pieces[k];
        }
    }
    return text;
}

}  // namespace kelmo::testing
