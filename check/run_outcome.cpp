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

std::string Joined(const std::vector<std::string>& lines, const char* between = " | ")
{
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : between) + line;
    return out;
}

std::string Describe(const Box& box)
{
    return "box \"" + box.caption + "\": \"" + box.text + "\"" + (box.warning ? " with the warning icon" : "") +
           (box.onlyOk ? "" : " with the buttons " + (box.buttons.empty() ? "(none)" : Joined(box.buttons, ", ")));
}

std::string Ending(const Seen& seen)
{
    return seen.timedOut ? "did not end within a minute" : "exit status " + std::to_string(seen.exit);
}

std::string Utility(const Seen& seen)
{
    const auto lines = StartLines(seen.utility);
    std::string out = lines.empty() ? "utility not started"
                      : lines.size() == 1
                          ? "utility: " + lines[0]
                          : "utility started " + std::to_string(lines.size()) + " times: " + Joined(lines);
    if (!lines.empty() && !EndedOnItsOwn(seen.utility)) out += "; it was ended before its own end";
    else if (!lines.empty() && !seen.endedWhileUtilityRan) out += "; the program ended only after it";
    if (!seen.decoy.empty()) out += "; the current folder's WinPhlash.exe started: " + Joined(StartLines(seen.decoy));
    if (!seen.children.empty()) out += "; also started: " + Joined(seen.children);
    if (!seen.leftovers.empty()) out += "; still running when the run was over: " + Joined(seen.leftovers);
    if (!seen.platform.empty()) out += "; started by the platform: " + Joined(seen.platform);
    return out;
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

bool AsExpected(const Seen& seen, const Expected& expected, std::string_view utilityFolder, bool errorModeCounts)
{
    if (!seen.planted.empty() || seen.startError || seen.timedOut || seen.exit != expected.status ||
        !seen.decoy.empty() || !seen.children.empty() || !seen.leftovers.empty())
        return false;
    const auto lines = StartLines(seen.utility);
    if (expected.launches) {
        if (!seen.boxes.empty() || lines.size() != 1 || !seen.endedWhileUtilityRan || !EndedOnItsOwn(seen.utility))
            return false;
        const auto start = ParseStart(lines[0]);
        return start && start->useStartup && start->show == 1 && start->args.empty() &&
               Lower(start->cwd) == Lower(utilityFolder) && (!errorModeCounts || start->errorMode == 0);
    }
    if (!lines.empty()) return false;
    if (!expected.box) return seen.boxes.empty();
    return seen.boxes.size() == 1 && seen.boxes[0].caption == expected.caption && seen.boxes[0].text == expected.text &&
           seen.boxes[0].warning && seen.boxes[0].onlyOk;
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
    if (now.utility.empty() != road.utility.empty() || show(now.utility) != show(road.utility) ||
        StartLines(now.utility).size() != StartLines(road.utility).size() ||
        EndedOnItsOwn(now.utility) != EndedOnItsOwn(road.utility) ||
        now.endedWhileUtilityRan != road.endedWhileUtilityRan || !now.decoy.empty() || !now.children.empty() ||
        !now.leftovers.empty())
        add(Utility(now));
    return out.empty() ? "as on the road" : out;
}

std::vector<std::wstring> PlantedImages(const std::vector<std::wstring>& images,
                                        const std::vector<std::wstring>& scratch, std::wstring_view program)
{
    std::vector<std::wstring> planted;
    const std::wstring self = Comparable(program);
    for (const std::wstring& image : images) {
        const std::wstring path = Comparable(image);
        bool under = false;
        for (const std::wstring& spelling : scratch) {
            const std::wstring root = Comparable(spelling) + L"\\";
            under = under || (root.size() >= 2 && path.compare(0, root.size(), root) == 0);
        }
        if (under && path != self) planted.push_back(image);
    }
    return planted;
}

}  // namespace kestrel::check
