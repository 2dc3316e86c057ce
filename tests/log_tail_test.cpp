// What a writer cuts from the end of a log before it appends its line, and
// whether its line must start on a line of its own.
#include <gtest/gtest.h>

#include <string>

#include "log_tail.h"

namespace kestrel {
namespace {

std::string Repeated(char c, std::size_t n) { return std::string(n, c); }

TEST(LogTail, KeepsEveryWholeLineAndCutsOffAFragment)
{
    const std::size_t tail = kLogTailBytes;
    struct Case {
        const char* name;
        std::string log;
        std::uint64_t keep;
        bool newline;
    };
    const Case cases[] = {
        {.name = "empty", .log = "", .keep = 0, .newline = false},
        {.name = "whole lines", .log = "{}\n{\"a\":1}\n", .keep = 11, .newline = false},
        {.name = "a fragment after lines", .log = "{}\n{\"a\":1}\n{\"time\":\"x\",\"b", .keep = 11, .newline = false},
        {.name = "one fragment", .log = "{\"time\":\"x\",\"b", .keep = 0, .newline = false},
        {.name = "one line feed", .log = "\n", .keep = 1, .newline = false},
        {.name = "a fragment longer than the tail read",
         .log = "{}\n" + Repeated('x', tail + 100),
         .keep = 3 + tail + 100,
         .newline = true},
        {.name = "a fragment as long as the tail read",
         .log = "{}\n" + Repeated('x', tail),
         .keep = 3 + tail,
         .newline = true},
        {.name = "a fragment one shorter than the tail read",
         .log = "{}\n" + Repeated('x', tail - 1),
         .keep = 3,
         .newline = false},
        {.name = "a tail that is exactly a line",
         .log = "{}\n" + Repeated('x', tail - 1) + "\n",
         .keep = 3 + tail,
         .newline = false},
        {.name = "a long line, then a fragment",
         .log = Repeated('x', tail + 10) + "\n{\"ti",
         .keep = tail + 11,
         .newline = false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string_view log = c.log;
        const std::size_t read = log.size() < tail ? log.size() : tail;
        const LogMend mend = MendLogTail(log.substr(log.size() - read), log.size());
        EXPECT_EQ(mend.keep, c.keep);
        EXPECT_EQ(mend.newline, c.newline);
    }
}

}  // namespace
}  // namespace kestrel
