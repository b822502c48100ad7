// The single-pass primitives against the plain transcription on small inputs; any
// difference in text or count aborts. The first bytes choose the arguments of the text
// operations; the whole input is the text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "LibFunc.h"
#include "ReferencePrimitives.h"

namespace {

using kelmo::Pos;

// Keeps the quadratic transcription fast enough for fuzzing.
constexpr std::size_t MaxInput = 4096;

[[noreturn]] void Differ(const char* what, std::string_view text) {
    std::fprintf(stderr, "%s differs on %zu bytes\n", what, text.size());
    std::abort();
}

void SameRemoval(const char* what, std::string_view text,
                 const std::function<std::int32_t(std::string&)>& fast,
                 const std::function<std::int32_t(std::string&)>& plain) {
    std::string a(text);
    std::string b(text);
    const std::int32_t countA = fast(a);
    const std::int32_t countB = plain(b);
    if (a != b || countA != countB) Differ(what, text);
}

void CheckRemovals(std::string_view text) {
    namespace ref = kelmo::reference;
    for (const char* literal : {"class=MsoNormal", "<![endif]>", "style=''", "ab", "--"}) {
        SameRemoval(
            literal, text, [=](std::string& t) { return kelmo::RemoveAll(literal, t); },
            [=](std::string& t) { return ref::RemoveAll(literal, t); });
    }
    SameRemoval(
        "comments", text, [](std::string& t) { return kelmo::RemoveBlocks("<!--", "-->", t); },
        [](std::string& t) { return ref::RemoveBlocks("<!--", "-->", t); });
    SameRemoval(
        "o:p", text, [](std::string& t) { return kelmo::RemoveBlocks("<o:p>", "</o:p>", t); },
        [](std::string& t) { return ref::RemoveBlocks("<o:p>", "</o:p>", t); });
    SameRemoval(
        "overlapping blocks", text,
        [](std::string& t) { return kelmo::RemoveBlocks("<!-", "->", t); },
        [](std::string& t) { return ref::RemoveBlocks("<!-", "->", t); });
    SameRemoval("conditional", text, kelmo::RemoveConditionalTags, ref::RemoveConditionalTags);
    SameRemoval("nbsp", text, kelmo::CollapseDoubleNbsp, ref::CollapseDoubleNbsp);
    SameRemoval("mso", text, kelmo::RemoveMsoDeclarations, ref::RemoveMsoDeclarations);
    SameRemoval(
        "replace", text, [](std::string& t) { return kelmo::ReplaceChar('<', '.', t); },
        [](std::string& t) { return ref::ReplaceChar('<', '.', t); });
    SameRemoval(
        "plain text", text,
        [](std::string& t) {
            kelmo::HtmlToPlainText(t);
            return 0;
        },
        [](std::string& t) {
            ref::HtmlToPlainText(t);
            return 0;
        });
}

// A signed position or count from two input bytes, reaching a little past either end.
Pos Argument(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (size < at + 2) return 0;
    const int raw = data[at] | data[at + 1] << 8;
    return static_cast<Pos>(raw % (static_cast<int>(size) + 8)) - 4;
}

void CheckTextOperations(const std::uint8_t* data, std::size_t size, std::string_view text) {
    namespace ref = kelmo::reference;
    const Pos index = Argument(data, size, 0);
    const Pos count = Argument(data, size, 2);
    const std::string_view pattern = text.substr(size > 6 ? 4 : 0, 1 + size % 3);
    if (kelmo::FindFrom(pattern, text, index) != ref::FindFrom(pattern, text, index)) {
        Differ("FindFrom", text);
    }
    if (kelmo::CopyRange(text, index, count) != ref::CopyRange(text, index, count)) {
        Differ("CopyRange", text);
    }
    if (kelmo::TrimBlanks(text) != ref::TrimBlanks(text)) Differ("TrimBlanks", text);
    std::string a(text);
    std::string b(text);
    kelmo::DeleteRange(a, index, count);
    ref::DeleteRange(b, index, count);
    kelmo::InsertAt(pattern, a, count);
    ref::InsertAt(pattern, b, count);
    if (a != b) Differ("DeleteRange/InsertAt", text);
}

void CheckCleaning(std::string_view text) {
    std::string titleA;
    std::string titleB;
    std::string a(text);
    std::string b(text);
    kelmo::CleanWordHtml(titleA, a);
    kelmo::reference::CleanWordHtml(titleB, b);
    if (a != b || titleA != titleB) Differ("CleanWordHtml", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > MaxInput) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckRemovals(text);
    CheckTextOperations(data, size, text);
    CheckCleaning(text);
    return 0;
}
