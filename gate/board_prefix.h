// The board version prefix: the one value the probe leaves for the gate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// What one read of a board's Version property gave.
struct VersionRead {
    enum class Status { Failed, Null, Text };

    Status status = Status::Failed;
    std::u16string text;

    static VersionRead Failed() { return {}; }
    static VersionRead Null() { return {Status::Null, {}}; }
    static VersionRead Text(std::u16string_view value) { return {Status::Text, std::u16string(value)}; }
};

// A variant with three states: empty (never assigned), a text of at most two
// UTF-16 code units, or null (the board's Version held no value).
class BoardPrefix {
public:
    enum class Kind { Empty, Text, Null };

    BoardPrefix() = default;

    static BoardPrefix Null();
    // The leftmost two code units of a version; a shorter text is taken whole.
    static BoardPrefix LeftTwo(std::u16string_view version);

    Kind kind() const { return kind_; }
    const std::u16string& text() const { return text_; }
    // Length of the value: 0 for empty; for null too, as no text is there.
    std::size_t Length() const { return text_.size(); }

    // Assigns what a successful Version read gave; a failed read changes nothing.
    void Assign(const VersionRead& read);

    bool operator==(const BoardPrefix&) const = default;

private:
    BoardPrefix(Kind kind, std::u16string text) : kind_(kind), text_(std::move(text)) {}

    Kind kind_ = Kind::Empty;
    std::u16string text_;
};

}  // namespace kestrel
