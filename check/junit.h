// The release check's report as JUnit XML, for a machine nobody watches: a
// CI runner or a lab's collector reads the file, not the console.
#pragma once

#include <string>
#include <string_view>

#include "report.h"

namespace kestrel::check {

// Text for an XML attribute or element, UTF-8: the five markup characters as
// entities; tab, line feed and carriage return as character references (an
// attribute keeps them so); every other character XML 1.0 forbids (the other
// C0 controls, U+FFFE, U+FFFF) and every byte that is no UTF-8 as "\xNN"
// text, so that what the check saw is still told and the file stays XML.
std::string XmlText(std::string_view text);

// One <testsuite> named `suite`: the facts as <properties>, each kept line a
// <testcase> in the order run, a failure's text as the console line says it
// (its seen part as the message), a skipped line as <skipped/> with its
// reason; `cannotRun`, when not empty, as one <testcase> in <error>: the
// check could not run at all.
std::string JunitXml(const Report& report, std::string_view suite, std::string_view cannotRun = {});

}  // namespace kestrel::check
