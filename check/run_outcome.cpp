#include "run_outcome.h"

#include "report.h"
#include "utf8.h"

namespace kestrel::check {

namespace {

std::string Utf8(std::u16string_view text)
{
    std::string out;
    ForEachUtf8(text, [&](const char* bytes, std::size_t n) { out.append(bytes, n); });
    return out;
}

std::string Describe(const Box& box)
{
    return "box \"" + box.caption + "\": \"" + box.text + "\"" + (box.warning ? " with the warning icon" : "");
}

std::string Ending(const Seen& seen)
{
    return seen.timedOut ? "did not end within a minute" : "exit status " + std::to_string(seen.exit);
}

std::string Utility(const Seen& seen)
{
    return seen.utility.empty() ? "utility not started" : "utility: " + seen.utility;
}

bool SameBoxes(const Seen& a, const Seen& b)
{
    if (a.boxes.size() != b.boxes.size()) return false;
    for (std::size_t i = 0; i < a.boxes.size(); ++i)
        if (Describe(a.boxes[i]) != Describe(b.boxes[i])) return false;
    return true;
}

// A path as the comparison takes it.
std::wstring Comparable(std::wstring_view path)
{
    std::wstring out;
    if (path.substr(0, 8) == L"\\\\?\\UNC\\") out = L"\\" + std::wstring(path.substr(7));  // \\server\share
    else if (path.substr(0, 4) == L"\\\\?\\") out = path.substr(4);
    else out = path;
    for (wchar_t& c : out) {
        if (c == L'/') c = L'\\';
        else if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    }
    while (!out.empty() && out.back() == L'\\') out.pop_back();
    return out;
}

}  // namespace

Expected ExpectedFor(Decision road)
{
    switch (road) {
    case Decision::Launch: return {true, {}, {}, kExitLaunched};
    case Decision::WrongModel: return {false, Utf8(kWrongModelCaption), Utf8(kWrongModelText), kExitWrongModel};
    case Decision::Privilege: break;
    }
    return {false, Utf8(kPrivilegeCaption), Utf8(kPrivilegeText), kExitPrivilege};
}

std::string RoadName(Decision road)
{
    switch (road) {
    case Decision::Launch: return "the launch road";
    case Decision::WrongModel: return "the wrong-model road";
    case Decision::Privilege: break;
    }
    return "the privilege road";
}

bool AsExpected(const Seen& seen, const Expected& expected, std::string_view utilityFolder)
{
    if (!seen.planted.empty() || seen.startError || seen.timedOut || seen.exit != expected.status) return false;
    if (expected.launches) {
        const std::string folder = "cwd=" + Lower(utilityFolder) + " ";
        return seen.boxes.empty() && seen.utility.find(" show=1 ") != std::string::npos &&
               Lower(seen.utility).find(folder) != std::string::npos;
    }
    return seen.boxes.size() == 1 && seen.boxes[0].caption == expected.caption && seen.boxes[0].text == expected.text &&
           seen.boxes[0].warning && seen.utility.empty();
}

std::string Describe(const Seen& seen)
{
    if (seen.startError) return "could not be started (error " + std::to_string(seen.startError) + ")";
    std::string out;
    for (const Box& box : seen.boxes) out += Describe(box) + "; ";
    return out + Ending(seen) + "; " + Utility(seen);
}

std::string DescribeAgainst(const Seen& now, const Seen& road)
{
    if (now.startError) return Describe(now);
    std::string out;
    const auto add = [&](const std::string& part) { out += (out.empty() ? "" : "; ") + part; };
    if (!SameBoxes(now, road)) {
        if (now.boxes.empty()) add("no box");
        for (const Box& box : now.boxes) add(Describe(box));
    }
    if (now.timedOut != road.timedOut || now.exit != road.exit) add(Ending(now));
    // The record names the stage's own folder, which differs from run to
    // run: a start is compared by whether there was one and its show state.
    const auto show = [](const std::string& record) {
        const std::size_t at = record.find(" show=");
        return record.empty() ? std::string() : record.substr(at == std::string::npos ? 0 : at, 8);
    };
    if (now.utility.empty() != road.utility.empty() || show(now.utility) != show(road.utility)) add(Utility(now));
    return out.empty() ? "as on the road" : out;
}

std::vector<std::wstring> PlantedImages(const std::vector<std::wstring>& images, std::wstring_view scratch,
                                        std::wstring_view program)
{
    std::vector<std::wstring> planted;
    const std::wstring root = Comparable(scratch) + L"\\";
    const std::wstring self = Comparable(program);
    if (root.size() < 2) return planted;
    for (const std::wstring& image : images) {
        const std::wstring path = Comparable(image);
        if (path.compare(0, root.size(), root) == 0 && path != self) planted.push_back(image);
    }
    return planted;
}

}  // namespace kestrel::check
