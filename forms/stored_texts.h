// Texts of the forms that are stored in code page 950 (Traditional Chinese,
// Big5): captions, labels, the main form's paragraph and its font name.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel::forms {

inline constexpr unsigned kStoredCodePage = 950;
inline constexpr int kChineseBig5Charset = 136;

struct StoredText {
    const char* bytes;
    std::size_t size;
    std::string_view view() const { return {bytes, size}; }
};

extern const StoredText kLoginCaption;
extern const StoredText kOkCaption;
extern const StoredText kCancelCaption;
extern const StoredText kUserNameLabel;
extern const StoredText kPasswordLabel;
extern const StoredText kMainCaption;
extern const StoredText kMainFontName;
extern const StoredText kMainParagraph;  // six lines, each ending in CR LF

}  // namespace kestrel::forms
