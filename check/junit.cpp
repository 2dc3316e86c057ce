#include "junit.h"

namespace kestrel::check {

namespace {

// The length of the UTF-8 sequence at `at` and its code point, or 0 where the
// bytes there are no sequence (a stray continuation byte, one cut short, an
// overlong form, a surrogate, beyond U+10FFFF).
std::size_t Sequence(std::string_view text, std::size_t at, char32_t& point)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    // The lead byte's own bits: 5, 4 or 3 of them.
    point = lead & (0x7Fu >> length);
    if (text.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        point = (point << 6) | (byte(at + i) & 0x3F);
    }
    const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

std::string Hex(unsigned char byte)
{
    const char digits[] = "0123456789ABCDEF";
    return std::string("\\x") + digits[byte >> 4] + digits[byte & 0xF];
}

std::string Attribute(std::string_view name, std::string_view value)
{
    std::string attribute = " ";
    attribute.append(name).append("=\"").append(XmlText(value)).append("\"");
    return attribute;
}

}  // namespace

std::string XmlText(std::string_view text)
{
    std::string xml;
    xml.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = 0;
        const std::size_t length = Sequence(text, at, point);
        if (length == 0) {
            xml += Hex(static_cast<unsigned char>(text[at++]));
            continue;
        }
        switch (point) {
        case '&': xml += "&amp;"; break;
        case '<': xml += "&lt;"; break;
        case '>': xml += "&gt;"; break;
        case '"': xml += "&quot;"; break;
        case '\'': xml += "&apos;"; break;
        case '\t': xml += "&#9;"; break;
        case '\n': xml += "&#10;"; break;
        case '\r': xml += "&#13;"; break;
        default:
            if (point < 0x20 || point == 0x7F || point == 0xFFFE || point == 0xFFFF)
                for (std::size_t i = 0; i < length; ++i) xml += Hex(static_cast<unsigned char>(text[at + i]));
            else xml.append(text.substr(at, length));
        }
        at += length;
    }
    return xml;
}

std::string JunitXml(const Report& report, std::string_view suite, std::string_view cannotRun)
{
    int failures = 0, skipped = 0;
    for (const Report::Line& line : report.lines()) {
        failures += line.verdict == Report::Verdict::Failed;
        skipped += line.verdict == Report::Verdict::Skipped;
    }
    const std::size_t tests = report.lines().size() + (cannotRun.empty() ? 0 : 1);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite" + Attribute("name", suite) +
        Attribute("tests", std::to_string(tests)) + Attribute("failures", std::to_string(failures)) +
        Attribute("errors", cannotRun.empty() ? "0" : "1") + Attribute("skipped", std::to_string(skipped)) + ">\n";
    if (!report.facts().empty()) {
        xml += "    <properties>\n";
        for (const Report::Fact& fact : report.facts())
            xml += "      <property" + Attribute("name", fact.topic) + Attribute("value", fact.value) + "/>\n";
        xml += "    </properties>\n";
    }
    const std::string classname = Attribute("classname", suite);
    for (const Report::Line& line : report.lines()) {
        xml += "    <testcase" + Attribute("name", line.check) + classname;
        switch (line.verdict) {
        case Report::Verdict::Held:
            xml += ">\n      <system-out>" + XmlText(ConsoleLine(line)) + "</system-out>\n    </testcase>\n";
            break;
        case Report::Verdict::Failed:
            xml += ">\n      <failure" + Attribute("message", line.text) + ">" + XmlText(ConsoleLine(line)) +
                   "</failure>\n    </testcase>\n";
            break;
        case Report::Verdict::Skipped:
            xml += ">\n      <skipped" + Attribute("message", line.text) + "/>\n    </testcase>\n";
            break;
        }
    }
    if (!cannotRun.empty())
        xml += "    <testcase" + Attribute("name", "the check itself") + classname + ">\n      <error" +
               Attribute("message", cannotRun) + "/>\n    </testcase>\n";
    return xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace kestrel::check
