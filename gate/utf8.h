// UTF-16 texts as UTF-8 bytes, with nothing to allocate: a lone surrogate
// becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

// One code point as UTF-8; returns the bytes used (at most 4). What is not a
// Unicode scalar value (a surrogate, or past U+10FFFF) is written as U+FFFD,
// so that every decoder accepts the bytes.
inline std::size_t EncodeUtf8(char32_t c, char (&out)[4])
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

// Calls `emit` with the UTF-8 bytes of each code point of `text`.
template <typename Emit>
void ForEachUtf8(std::u16string_view text, Emit&& emit)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char bytes[4];
        emit(bytes, EncodeUtf8(c, bytes));
    }
}

}  // namespace kestrel
