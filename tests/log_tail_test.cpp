// What stands in a log once a writer has appended its line: everything that
// was there, and the line whole on a line of its own.
#include <gtest/gtest.h>

#include <string>

#include "log_tail.h"

namespace kestrel {
namespace {

TEST(LogTail, KeepsEveryByteAndStartsTheLineOnItsOwn)
{
    const std::string line = "{\"decision\":\"launched\"}\n";
    struct Case {
        const char* name;
        std::string log;
        std::string after;
    };
    const Case cases[] = {
        {.name = "empty", .log = "", .after = line},
        {.name = "whole lines", .log = "{}\n{\"a\":1}\n", .after = "{}\n{\"a\":1}\n" + line},
        {.name = "another writer's line not ended",
         .log = "{}\n{\"time\":\"x\",\"b",
         .after = "{}\n{\"time\":\"x\",\"b\n" + line},
        {.name = "text of one line with no line feed", .log = "notes", .after = "notes\n" + line},
        {.name = "one line feed", .log = "\n", .after = "\n" + line},
        {.name = "a carriage return is no end of line", .log = "{}\r", .after = "{}\r\n" + line},
        {.name = "a long fragment", .log = std::string(5000, 'x'), .after = std::string(5000, 'x') + "\n" + line},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string_view end = std::string_view(c.log).substr(c.log.empty() ? 0 : c.log.size() - 1);
        EXPECT_EQ(c.log + (LineFeedFirst(end) ? "\n" : "") + line, c.after);
    }
}

}  // namespace
}  // namespace kestrel
