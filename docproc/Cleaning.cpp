#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view CrLf = "\r\n";

constexpr char PageHeaderBytes[] =
    "<html><head>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">\r\n"
    "<style>\r\n"
    "p  { text-align:justify; text-indent:34pt; font-size: 14pt }\r\n"
    "li { text-align:justify; text-indent:34pt; font-size: 14pt }\r\n"
    "div { text-align:justify; text-indent:34pt; font-size:14pt }\r\n"
    "td { font-size: 14pt }\r\n"
    "</style>\r\n";

static_assert(sizeof PageHeaderBytes - 1 == 317);

// Cuts "<title>" .. "</title>" out by position arithmetic, keeping the edge rules of
// CopyRange: a missing "<title>" starts the copy at the first byte.
std::string CutTitle(std::string_view html) {
    const Pos from = FindFrom("<title>", html, 1);
    const Pos to = FindFrom("</title>", html, 1);
    return CopyRange(html, from, to - from + 8);
}

void DropWordHead(std::string& html) { DeleteRange(html, 1, FindFrom("</head>", html, 1) - 1); }

void RemoveWordMarkup(std::string& html) {
    RemoveBlocks("<!--", "-->", html);
    RemoveBlocks("<o:p>", "</o:p>", html);
    RemoveAll("class=MsoNormal", html);
    RemoveAll("<![if !vml]>", html);
    RemoveAll("<![endif]>", html);
    CollapseDoubleNbsp(html);
    RemoveConditionalTags(html);
    RemoveMsoDeclarations(html);
    RemoveAll("style=''", html);
}

}  // namespace

const std::string_view PageHeader(PageHeaderBytes, sizeof PageHeaderBytes - 1);

void CleanWordHtml(std::string& docTitle, std::string& html) {
    docTitle = CutTitle(html);
    DropWordHead(html);
    RemoveWordMarkup(html);
}

void WriteCleanDocument(const std::string& fileName, const std::string& docTitle,
                        std::string& html) {
    std::string head;
    head.reserve(PageHeader.size() + docTitle.size() + CrLf.size());
    head.append(PageHeader).append(docTitle).append(CrLf);
    // The cleaning shrank html in place, so the head usually fits its spare capacity and
    // the text moves without a new allocation.
    html.insert(0, head);
    WriteWholeFile(fileName, html);
}

}  // namespace kelmo
