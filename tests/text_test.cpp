// Text as the picture and the page carry it: whatever bytes a file name holds, the XML stays
// well-formed and valid UTF-8 passes unchanged. Numbers as reasons and files print them.
#include "text/number_text.hpp"
#include "text/xml_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(XmlText, EscapesMarkupAndReplacesWhatXmlCannotHold)
{
    struct Case {
        const char* what;
        std::string text;
        std::string xml;
    };
    const std::vector<Case> cases = {
        {"markup", "a<b>&\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;"},
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\xA9", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\xA9"},
        {"a tab stays, other controls go", "a\tb\nc\x7F", "a\tb?c?"},
        {"overlong form of '/'", "\xC0\xAF", "??"},
        {"sequence cut short at the end", "x\xE2\x82", "x??"},
        {"continuation byte alone", "\x80y", "?y"},
        {"past the last code point", "\xF5\x80\x80\x80", "????"},
    };
    for (const Case& c : cases) {
        std::string xml;
        appendXmlText(xml, c.text);
        EXPECT_EQ(xml, c.xml) << c.what;
    }
}

// Face numbers in a reason are joined by commas, a cache entry's counts by spaces; none is "".
TEST(NumberText, JoinsNumbers)
{
    EXPECT_EQ(joinNumbers(std::vector<int>{3, 7, 12}), "3, 7, 12");
    EXPECT_EQ(joinNumbers(std::vector<int>{5}), "5");
    EXPECT_EQ(joinNumbers(std::vector<int>{}), "");
    EXPECT_EQ(joinNumbers(std::vector<std::size_t>{0, 18446744073709551615u}, " "),
              "0 18446744073709551615");
}

// List entries and the record's reals print in the fewest digits that read back the same; the
// table and the reasons round, and show rounding noise as a plain zero.
TEST(NumberText, FormatsReals)
{
    EXPECT_EQ(formatReal(12), "12");
    EXPECT_EQ(formatReal(0.1), "0.1");
    EXPECT_EQ(formatReal(-2.5e-300), "-2.5e-300");
    EXPECT_EQ(std::stod(formatReal(1.0 / 3)), 1.0 / 3);
    EXPECT_EQ(formatRounded(1.0 / 3, 6), "0.333333");
    EXPECT_EQ(formatRounded(1234.56789, 8), "1234.5679");
    EXPECT_EQ(formatRounded(-1.8e-15, 6), "0");
    EXPECT_EQ(formatRounded(2e-9, 6), "2e-09");
    std::string text = "x=";
    appendReal(text, 0.5);
    appendRounded(text, 7.0, 8);
    EXPECT_EQ(text, "x=0.57");
}
