#include "log_lines.h"

#include <cstdint>

#include "utf8.h"

namespace kestrel::check {

namespace {

// A recursive reader of the JSON text of one line (RFC 8259).
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    void Blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) ++at_;
    }
    bool End() const { return at_ == text_.size(); }
    bool Take(char c)
    {
        Blanks();
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    // A string, decoded to UTF-8 (an unpaired surrogate as U+FFFD).
    bool String(std::string& out)
    {
        if (!Take('"')) return false;
        std::u16string units;
        while (at_ < text_.size() && text_[at_] != '"') {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c < 0x20) return false;
            if (c != '\\') {
                out += Utf8Of(units) + char(c);
                units.clear();
                continue;
            }
            if (at_ == text_.size()) return false;
            const char e = text_[at_++];
            const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const std::size_t i = simple.find(e); i != std::string_view::npos) {
                out += Utf8Of(units) + meant[i];
                units.clear();
            } else if (e == 'u' && at_ + 4 <= text_.size()) {
                unsigned value = 0;
                for (int k = 0; k < 4; ++k) {
                    const char h = text_[at_++];
                    const int digit = h >= '0' && h <= '9'   ? h - '0'
                                      : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                      : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                             : -1;
                    if (digit < 0) return false;
                    value = value * 16 + unsigned(digit);
                }
                units += char16_t(value);
            } else {
                return false;
            }
        }
        out += Utf8Of(units);
        return Take('"');
    }

    bool Value(JsonMember& member, int depth)
    {
        Blanks();
        if (at_ == text_.size() || depth > 16) return false;
        const char c = text_[at_];
        if (c == '"') {
            member.kind = JsonMember::Kind::String;
            return String(member.value);
        }
        if (c == '{' || c == '[') {
            member.kind = JsonMember::Kind::Other;
            return Nested(c == '{', depth + 1);
        }
        for (const std::string_view word : {"null", "true", "false"}) {
            if (text_.substr(at_, word.size()) == word) {
                at_ += word.size();
                member.kind = word == "null" ? JsonMember::Kind::Null : JsonMember::Kind::Other;
                return true;
            }
        }
        const std::size_t from = at_;
        while (at_ < text_.size() && std::string_view("-+.eE0123456789").find(text_[at_]) != std::string_view::npos)
            ++at_;
        member.kind = JsonMember::Kind::Number;
        member.value = std::string(text_.substr(from, at_ - from));
        return at_ > from && (member.value[0] == '-' || (member.value[0] >= '0' && member.value[0] <= '9'));
    }

    // An object's members (or an array's values) after its opening.
    bool Nested(bool object, int depth, std::vector<JsonMember>* members = nullptr)
    {
        if (!Take(object ? '{' : '[')) return false;
        if (Take(object ? '}' : ']')) return true;
        do {
            JsonMember member;
            if (object && (!String(member.key) || !Take(':'))) return false;
            if (!Value(member, depth)) return false;
            if (members) members->push_back(std::move(member));
        } while (Take(','));
        return Take(object ? '}' : ']');
    }

private:
    static std::string Utf8Of(const std::u16string& units)
    {
        std::string out;
        ForEachUtf8(units, [&](const char* bytes, std::size_t n) { out.append(bytes, n); });
        return out;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

const JsonMember* Find(const std::vector<JsonMember>& members, std::string_view key)
{
    for (const JsonMember& member : members)
        if (member.key == key) return &member;
    return nullptr;
}

// Whether a line names the board as read: "board" that text, or null where
// the version held none; where no version was read, "board" null or absent
// and the step named ("notRead", or "boardNotRead" in the log that names
// every key on every road).
bool NamesBoard(const std::vector<JsonMember>& members, const VersionRead& board, const std::string& asRead)
{
    const JsonMember* named = Find(members, "board");
    if (board.status == VersionRead::Status::Text)
        return named && named->kind == JsonMember::Kind::String && named->value == asRead;
    if (board.status == VersionRead::Status::Null) return named && named->kind == JsonMember::Kind::Null;
    const JsonMember* step = Find(members, "notRead");
    if (!step || step->kind != JsonMember::Kind::String) step = Find(members, "boardNotRead");
    return step && step->kind == JsonMember::Kind::String && (!named || named->kind == JsonMember::Kind::Null);
}

}  // namespace

std::optional<std::vector<JsonMember>> JsonObject(std::string_view line)
{
    Reader reader(line);
    std::vector<JsonMember> members;
    if (!reader.Nested(true, 0, &members)) return std::nullopt;
    reader.Blanks();
    if (!reader.End()) return std::nullopt;
    return members;
}

std::string LogFault(std::string_view log, const VersionRead& board, unsigned long status)
{
    if (log.empty()) return "no line in the log";
    if (log.back() != '\n') return "the log's last line has no line feed";
    std::string asRead;
    ForEachUtf8(board.text, [&](const char* bytes, std::size_t n) { asRead.append(bytes, n); });
    std::string last;  // the last line's status, as written
    for (std::size_t from = 0; from < log.size();) {
        const std::size_t end = log.find('\n', from);
        const std::string_view line = log.substr(from, end - from);
        from = end + 1;
        const auto members = JsonObject(line);
        if (!members) return "not a whole JSON object: " + std::string(line);
        const bool names = NamesBoard(*members, board, asRead);
        if (!names) return "does not name the board as read: " + std::string(line);
        // A line before the run's end may hold no status yet.
        const JsonMember* status = Find(*members, "status");
        last = status && status->kind == JsonMember::Kind::Number ? status->value : std::string();
        if (from == log.size() && last.empty()) return "no status on the last line: " + std::string(line);
    }
    // Written as a signed 32-bit number (0xC0000005 as -1073741819).
    const std::string signedStatus = std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(status)));
    if (last != signedStatus) return "the last line's status is " + last + ", the run's " + signedStatus;
    return {};
}

std::string KeptLogFault(std::string_view before, std::string_view after, const VersionRead& board,
                         unsigned long status)
{
    if (after.substr(0, before.size()) != before) {
        std::size_t same = 0;
        while (same < before.size() && same < after.size() && before[same] == after[same]) ++same;
        return "the earlier text changed from byte " + std::to_string(same) + " of " + std::to_string(before.size());
    }
    std::string_view added = after.substr(before.size());
    if (!before.empty() && before.back() != '\n') {
        const std::size_t feed = before.rfind('\n');
        const std::size_t last = feed == std::string_view::npos ? 0 : feed + 1;
        if (added.empty() || added.front() != '\n')
            return "the run's first line joined to the earlier text's last: " +
                   std::string(after.substr(last, before.size() - last + 40));
        added.remove_prefix(1);
    }
    if (std::string fault = LogFault(added, board, status); !fault.empty()) return fault;
    // Every line is a whole object by now, ending with its line feed.
    for (std::size_t from = 0; from < added.size();) {
        const std::size_t end = added.find('\n', from);
        const std::string_view line = added.substr(from, end - from);
        from = end + 1;
        const auto members = JsonObject(line);
        for (const std::string_view key : kLogKeys)
            if (!members || !Find(*members, key))
                return "a line without \"" + std::string(key) + "\": " + std::string(line);
    }
    return {};
}

std::string StartingFault(std::string_view log)
{
    std::vector<std::vector<JsonMember>> lines;
    for (std::size_t from = 0; from < log.size();) {
        const std::size_t end = log.find('\n', from);
        auto members = JsonObject(log.substr(from, end - from));
        if (!members) return "not a whole JSON object";
        lines.push_back(std::move(*members));
        from = end == std::string_view::npos ? log.size() : end + 1;
    }
    const auto text = [](const std::vector<JsonMember>& line, std::string_view key) {
        const JsonMember* member = Find(line, key);
        return member && member->kind == JsonMember::Kind::String ? member->value : std::string();
    };
    if (lines.empty()) return "no line in the log";
    const std::string run = text(lines.back(), "run");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (text(lines[i], "decision") != "starting") continue;
        const JsonMember* status = Find(lines[i], "status");
        if (status && status->kind != JsonMember::Kind::Null) return "the line \"starting\" holds a status";
        if (text(lines[i], "run") != run || run.empty()) return "the line \"starting\" is of another run";
        return {};
    }
    return "no line \"starting\" before the run's last: a run ended during the flash would leave none";
}

std::string ForcedEndFault(std::string_view log)
{
    for (std::size_t from = 0; from < log.size();) {
        const std::size_t end = log.find('\n', from);
        const auto members = JsonObject(log.substr(from, end - from));
        from = end == std::string_view::npos ? log.size() : end + 1;
        if (!members) continue;
        const JsonMember* decision = Find(*members, "decision");
        const JsonMember* status = Find(*members, "status");
        bool whole = true;
        for (const std::string_view key : kLogKeys) whole = whole && Find(*members, key);
        if (whole && decision && decision->kind == JsonMember::Kind::String && decision->value == "starting" &&
            status && status->kind == JsonMember::Kind::Null)
            return {};
    }
    return "no line \"starting\" from the run ended during its flash: it was written after the start, or never";
}

std::string SharedLogFault(std::string_view log, const VersionRead& board, std::size_t runs)
{
    std::string asRead;
    ForEachUtf8(board.text, [&](const char* bytes, std::size_t n) { asRead.append(bytes, n); });
    std::vector<std::string> ids;
    for (std::size_t from = 0; from < log.size();) {
        const std::size_t end = log.find('\n', from);
        if (end == std::string_view::npos) return "the log's last line has no line feed";
        const std::string_view line = log.substr(from, end - from);
        from = end + 1;
        const auto members = JsonObject(line);
        if (!members) return "not a whole JSON object (two runs' pieces in one line?): " + std::string(line);
        for (const std::string_view key : kLogKeys)
            if (!Find(*members, key)) return "a line without \"" + std::string(key) + "\": " + std::string(line);
        if (!NamesBoard(*members, board, asRead)) return "does not name the board as read: " + std::string(line);
        const JsonMember* run = Find(*members, "run");
        const std::string id = run && run->kind == JsonMember::Kind::String ? run->value : std::string();
        for (const std::string& earlier : ids)
            if (earlier == id) return "two lines of the run \"" + id + "\"";
        ids.push_back(id);
    }
    if (ids.size() != runs) return std::to_string(ids.size()) + " lines of " + std::to_string(runs) + " runs";
    return {};
}

}  // namespace kestrel::check
