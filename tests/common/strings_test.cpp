#include <gtest/gtest.h>

#include <climits>

#include "common/directive.h"
#include "common/strings.h"

TEST(Strings, TrimsOnlyTheGivenSet) {
    EXPECT_EQ(trimLeft(" \t a b \t", " \t"), "a b \t");
    EXPECT_EQ(trimRight(" \t a b \t", " \t"), " \t a b");
    EXPECT_EQ(trimRight(" \t \t", " \t"), "");
    EXPECT_EQ(trimBoth("\r x \r", " "), "\r x \r");
}

TEST(Strings, ReplaceAllResumesAfterTheInsertedText) {
    EXPECT_EQ(replaceAll("show.qvtrx", ".qvtrx", ".qvtrxc"), "show.qvtrxc");
    EXPECT_EQ(replaceAll("a.qvtrx/b.qvtrx-preset", ".qvtrx", ".qvtrxc"),
              "a.qvtrxc/b.qvtrxc-preset");
    EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
}

TEST(Strings, ReadDecimalActsLikeAtoi) {
    struct Case {
        const char* text;
        long long value;
    } cases[] = {{"3004", 3004},   {"  250ms", 250}, {"-5", -5},
                 {"+7", 7},        {"abc", 0},       {"", 0},
                 {"70000", 70000}, {" - 1", 0},      {"99999999999999999999", LLONG_MAX}};
    for (const auto& c : cases) {
        EXPECT_EQ(readDecimal(c.text), c.value) << c.text;
    }
}

TEST(Strings, FormatStringGrowsPastTwiceTheFormat) {
    const std::string big(10000, 'x');
    EXPECT_EQ(formatString("%s", big.c_str()), big);
    EXPECT_EQ(formatString("*set=%s,%s", "logo", "01ABFF"), "*set=logo,01ABFF");
    EXPECT_EQ(formatString("%s", ""), "");
}

TEST(Directive, KeywordIsLowerCasedButNeverTrimmed) {
    struct Case {
        const char* line;
        const char* keyword;
        const char* argument;
    } cases[] = {
        {"*HOST=a", "host", "a"},
        {"*host =x", "host ", "x"},
        {"*wait", "wait", ""},
        {"*set= \tn,v=w \t", "set", "n,v=w"},
        {"*", "", ""},
        {"*WaitFor=Go", "waitfor", "Go"},
        {"*set= \t ", "set", ""},
        {"*=v", "", "v"},
        {"*a=b=c", "a", "b=c"},
        {"* a \t= \tb c\t ", " a \t", "b c"},
    };
    for (const auto& c : cases) {
        const Directive d = splitDirective(c.line);
        EXPECT_EQ(d.keyword, c.keyword) << c.line;
        EXPECT_EQ(d.argument, c.argument) << c.line;
        EXPECT_EQ(directiveKeyword(c.line), c.keyword) << c.line;
    }
}
