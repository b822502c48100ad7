// Links and notes across the pages of one split. Internal to docproc.
#pragma once

#include <string_view>

#include "LibFunc.h"

namespace kelmo::links {

// Fills table.Edits, table.Notes and each entry's Notes for the pages the table already
// describes: a link to an anchor on another page names that page, and a note's text moves
// to the page that first cites it. One pass over the body from bodyStart.
void PlanLinks(HeadingTable& table, std::string_view html, Pos bodyStart);

}  // namespace kelmo::links
