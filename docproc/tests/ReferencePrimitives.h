// A plain transcription of the text operations and removal primitives: every removal is a
// search from the removal point followed by a delete that moves the rest of the text.
// Quadratic on large texts; used only to check the fast versions and to measure them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "LibFunc.h"

namespace kelmo::reference {

Pos FindFrom(std::string_view pattern, std::string_view text, Pos start);
void DeleteRange(std::string& text, Pos index, Pos count);
void InsertAt(std::string_view piece, std::string& text, Pos index);
std::string CopyRange(std::string_view text, Pos index, Pos count);
std::string TrimBlanks(std::string_view text);

std::int32_t RemoveAll(std::string_view literal, std::string& text);
std::int32_t RemoveBlocks(std::string_view opening, std::string_view closing, std::string& text);
std::int32_t RemoveConditionalTags(std::string& text);
std::int32_t CollapseDoubleNbsp(std::string& text);
std::int32_t RemoveMsoDeclarations(std::string& text);
std::int32_t ReplaceChar(char oldChar, char newChar, std::string& text);
void HtmlToPlainText(std::string& text);

// The removals of the cleaning pass that follow the cut of the head, in their order:
// comments, <o:p> elements, class=MsoNormal, <![if !vml]>, <![endif]>, &nbsp; pairs,
// other <![if ...]> tags, mso declarations, empty style attributes.
void RemoveWordMarkup(std::string& html);

// The whole cleaning pass: the title cut, the head cut and RemoveWordMarkup.
void CleanWordHtml(std::string& docTitle, std::string& html);

}  // namespace kelmo::reference
