// The forms' stored texts are code page 950 bytes that decode to what the
// forms show (checked with the C library's own converter).
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "stored_texts.h"

namespace kestrel::forms {
namespace {

std::string Cp950ToUtf8(std::string_view bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP950");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string in(bytes), out(bytes.size() * 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size(), dstLeft = out.size();
    const auto done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || srcLeft != 0) return "<invalid>";
    out.resize(out.size() - dstLeft);
    return out;
}

TEST(StoredTexts, DecodeFromCodePage950)
{
    const std::pair<const StoredText*, const char*> cases[] = {
        {&kLoginCaption, "登入"},       {&kOkCaption, "確定"},
        {&kCancelCaption, "取消"},      {&kUserNameLabel, "使用者名稱(&U):"},
        {&kPasswordLabel, "密碼(&P):"}, {&kMainCaption, "主表單"},
        {&kMainFontName, "新細明體"},
    };
    for (const auto& [text, utf8] : cases) EXPECT_EQ(Cp950ToUtf8(text->view()), utf8);
}

TEST(StoredTexts, ParagraphIsSixChineseLinesEachEndingInCrLf)
{
    const std::string paragraph = Cp950ToUtf8(kMainParagraph.view());
    ASSERT_NE(paragraph, "<invalid>");
    std::size_t lines = 0, start = 0;
    for (std::size_t end; (end = paragraph.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_GT(end, start) << "empty line " << lines;
        EXPECT_EQ(paragraph.substr(start, end - start).find('\n'), std::string::npos);
        ++lines;
    }
    EXPECT_EQ(lines, 6u);
    EXPECT_EQ(start, paragraph.size()) << "text after the last CR LF";
    EXPECT_NE(paragraph.find("主表單"), std::string::npos);
    EXPECT_NE(paragraph.find("Main"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::forms
