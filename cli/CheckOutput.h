// How kelmo-convert shows the author's check.
#pragma once

#include <LibFunc.h>

#include <string>
#include <vector>

namespace kelmo::cli {

// One line per finding: the severity word, two blanks, the page and the message.
std::string FindingLines(const std::vector<Finding>& findings);

// {"findings": [{"kind", "severity", "page" (null without a page), "message"}]}, and
// "material" for a finding of a course's material.
std::string FindingsJson(const std::vector<Finding>& findings);

// True when any finding is an error.
bool HasErrors(const std::vector<Finding>& findings);

}  // namespace kelmo::cli
