// What the author's check reads from the cleaned text: one pass over the body that finds
// link targets, links, pictures and paragraphs that look like headings, with the page each
// lies on. Internal to docproc.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "LibFunc.h"

namespace kelmo::check {

// Page 0 is the text in front of the first heading, which is on no page.
struct Link {
    std::string Name;  // after the "#"
    int Page = 0;
};

struct Picture {
    std::string Source;  // the src as written
    int Page = 0;
};

struct FakeHeading {
    std::string Text;  // plain text, windows-1251
    int Page = 0;
};

struct ScanResult {
    Pos BodyStart = 1;                             // first byte after the body start tag
    std::unordered_map<std::string, int> Targets;  // name or id -> page of its first use
    std::vector<Link> Links;
    std::vector<Picture> Pictures;
    std::vector<FakeHeading> FakeHeadings;
};

ScanResult Scan(const HeadingTable& table, std::string_view html);

// The name of the tag that opens at tag[0] == '<', lower case, with a leading "/" for a
// closing tag.
std::string TagName(std::string_view tag);
// The value of attribute name in tag, unquoted, as a view into tag; empty when the tag has
// none.
std::string_view AttributeValue(std::string_view tag, std::string_view name);

// Heading starts counted as the split finds them, also past MaxHeaders.
int CountHeadings(std::string_view html);

// The bytes from 1-based position from up to, not including, to; clamped to the text.
std::string_view Range(std::string_view html, Pos from, Pos to);
// How many start tags named name ("img") the text has.
int CountTags(std::string_view html, std::string_view name);
// The characters html shows, counted without copying it: tags and entities left out, each
// run of blanks one blank.
Pos CountText(std::string_view html);
// True when html shows a letter or a digit; stops at the first.
bool ShowsWordChars(std::string_view html);

// True when html shows any character but a blank or a no-break space; stops at the first.
bool ShowsContent(std::string_view html);

// True when text has a letter or a digit (Latin or Cyrillic).
bool HasWordChars(std::string_view text);
// About the first 60 bytes of text, cut at a blank, with "…" when cut.
std::string FirstWords(std::string_view text);

// Word's and LibreOffice's link from a footnote or endnote reference to its text.
bool IsNoteLink(std::string_view name);
// The link back from the note's text to the reference.
bool IsNoteBackLink(std::string_view name);
// "top" in any case: without such a bookmark a browser takes the link to the page's top.
bool IsTopLink(std::string_view name);
// A src as a path below the work folder: "./" dropped, "%xx" decoded, "\" made "/".
std::string PicturePath(std::string_view source);
// WMF, EMF or TIFF, by extension or data: type.
bool IsUnsupportedPicture(std::string_view source);
// bytes in megabytes with one decimal: "5.2".
std::string Megabytes(std::uint64_t bytes);

}  // namespace kelmo::check
