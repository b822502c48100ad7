// The single-pass primitives against the plain transcription on many random texts built
// from marker fragments: same text, same count, for each primitive alone and for the
// removals of the cleaning pass in their order.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "LibFunc.h"
#include "MarkerTexts.h"
#include "ReferencePrimitives.h"

namespace kelmo {
namespace {

using Removal = std::function<std::int32_t(std::string&)>;

struct RemovalPair {
    const char* name;
    Removal fast;
    Removal plain;
};

std::vector<RemovalPair> AllRemovals() {
    std::vector<RemovalPair> pairs;
    // RemoveAll with literals that overlap themselves and each other's fragments
    for (const char* literal :
         {"class=MsoNormal", "<![endif]>", "style=''", "&nbsp;", "--", "ab", "\r\n", "o"}) {
        pairs.push_back({literal, [=](std::string& t) { return RemoveAll(literal, t); },
                         [=](std::string& t) { return reference::RemoveAll(literal, t); }});
    }
    // RemoveBlocks, including closings that overlap or sit inside the opening
    const std::vector<std::pair<const char*, const char*>> blocks = {
        {"<!--", "-->"}, {"<o:p>", "</o:p>"}, {"<!-", "->"},
        {"<![if", "if"}, {"--", "-"},         {"<", ">"},
    };
    for (const auto& block : blocks) {
        const char* opening = block.first;
        const char* closing = block.second;
        pairs.push_back(
            {opening, [=](std::string& t) { return RemoveBlocks(opening, closing, t); },
             [=](std::string& t) { return reference::RemoveBlocks(opening, closing, t); }});
    }
    pairs.push_back({"conditional", RemoveConditionalTags, reference::RemoveConditionalTags});
    pairs.push_back({"nbsp", CollapseDoubleNbsp, reference::CollapseDoubleNbsp});
    pairs.push_back({"mso", RemoveMsoDeclarations, reference::RemoveMsoDeclarations});
    pairs.push_back({"replace", [](std::string& t) { return ReplaceChar(';', '_', t); },
                     [](std::string& t) { return reference::ReplaceChar(';', '_', t); }});
    pairs.push_back({"plain",
                     [](std::string& t) {
                         HtmlToPlainText(t);
                         return 0;
                     },
                     [](std::string& t) {
                         reference::HtmlToPlainText(t);
                         return 0;
                     }});
    return pairs;
}

void ExpectSameRemoval(const RemovalPair& pair, const std::string& text) {
    std::string fast = text;
    std::string plain = text;
    const std::int32_t fastCount = pair.fast(fast);
    const std::int32_t plainCount = pair.plain(plain);
    ASSERT_EQ(fast, plain) << pair.name << " on [" << text << "]";
    ASSERT_EQ(fastCount, plainCount) << pair.name << " on [" << text << "]";
}

// Short texts meet every marker combination; long ones cross any block edge of a search.
TEST(Differential, EveryPrimitiveOnRandomTexts) {
    std::mt19937 random(20240611);
    const std::vector<RemovalPair> pairs = AllRemovals();
    for (int i = 0; i < 4000; ++i) {
        const int pieces = i < 3500 ? static_cast<int>(random() % 40) : 200 + i % 400;
        const std::string text = testing::MarkerText(random, pieces);
        for (const RemovalPair& pair : pairs) ExpectSameRemoval(pair, text);
        if (HasFatalFailure()) return;
    }
}

TEST(Differential, TextOperationsOnRandomArguments) {
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = testing::MarkerText(random, static_cast<int>(random() % 30));
        const Pos length = static_cast<Pos>(text.size());
        const Pos index = static_cast<Pos>(random() % (length + 4)) - 2;
        const Pos count = static_cast<Pos>(random() % (length + 4)) - 2;
        const std::string pattern = testing::MarkerText(random, 1 + static_cast<int>(random() % 2));

        ASSERT_EQ(FindFrom(pattern, text, index), reference::FindFrom(pattern, text, index))
            << pattern << " in " << text << " from " << index;
        ASSERT_EQ(CopyRange(text, index, count), reference::CopyRange(text, index, count));
        ASSERT_EQ(TrimBlanks(text), reference::TrimBlanks(text));

        std::string fast = text;
        std::string plain = text;
        DeleteRange(fast, index, count);
        reference::DeleteRange(plain, index, count);
        ASSERT_EQ(fast, plain);
        InsertAt(pattern, fast, index);
        reference::InsertAt(pattern, plain, index);
        ASSERT_EQ(fast, plain);
    }
}

// A text without "</head>" loses nothing before the removals, so the fast pass on a bare
// body is the removal sequence alone.
TEST(Differential, CleaningRemovalsInSequence) {
    std::mt19937 random(99);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = testing::MarkerText(random, static_cast<int>(random() % 80));
        std::string title;
        std::string fast = text;
        std::string plain = text;
        CleanWordHtml(title, fast);
        reference::RemoveWordMarkup(plain);
        ASSERT_EQ(fast, plain) << "[" << text << "]";
    }
}

// The whole cleaning pass, with and without a head in front of the random body.
TEST(Differential, CleanWordHtml) {
    std::mt19937 random(1251);
    const std::vector<std::string> heads = {"", "<html><head><title>T</title></head>",
                                            "<head>\r\n<title>\xC3</title>\r\n</head>\r\n",
                                            "<title>x", "</title></head>"};
    for (int i = 0; i < 3000; ++i) {
        const std::string text =
            heads[i % heads.size()] + testing::MarkerText(random, static_cast<int>(random() % 80));
        std::string fastTitle = "old";
        std::string plainTitle = "old";
        std::string fast = text;
        std::string plain = text;
        CleanWordHtml(fastTitle, fast);
        reference::CleanWordHtml(plainTitle, plain);
        ASSERT_EQ(fast, plain) << "[" << text << "]";
        ASSERT_EQ(fastTitle, plainTitle) << "[" << text << "]";
    }
}

}  // namespace
}  // namespace kelmo
