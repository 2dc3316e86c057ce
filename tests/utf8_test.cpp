// UTF-16 texts as UTF-8 bytes: every code point as its bytes, and what is no
// Unicode scalar value as U+FFFD.
#include <gtest/gtest.h>

#include <string>

#include "utf8.h"

namespace kestrel {
namespace {

std::string Encoded(char32_t c)
{
    char bytes[4];
    return std::string(bytes, EncodeUtf8(c, bytes));
}

TEST(Utf8, EncodesScalarValuesAndReplacesTheRest)
{
    const std::pair<char32_t, std::string> cases[] = {
        {0x00, std::string(1, '\0')},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0xD800, "\xEF\xBF\xBD"},
        {0xDFFF, "\xEF\xBF\xBD"},
        {0x110000, "\xEF\xBF\xBD"},
        {0xFFFFFFFF, "\xEF\xBF\xBD"},
    };
    for (const auto& [c, bytes] : cases) EXPECT_EQ(Encoded(c), bytes) << std::hex << std::uint32_t(c);
}

TEST(Utf8, PairsSurrogatesAndReplacesLoneOnes)
{
    std::string got;
    ForEachUtf8(u"a\U0001F600\xD800z\xDC00", [&got](const char* bytes, std::size_t n) { got.append(bytes, n); });
    EXPECT_EQ(got, "a\xF0\x9F\x98\x80\xEF\xBF\xBDz\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrel
