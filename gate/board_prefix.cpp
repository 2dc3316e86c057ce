#include "board_prefix.h"

namespace kestrel {

BoardPrefix BoardPrefix::Null() { return BoardPrefix(Kind::Null, {}); }

BoardPrefix BoardPrefix::LeftTwo(std::u16string_view version)
{
    return BoardPrefix(Kind::Text, std::u16string(version.substr(0, 2)));
}

void BoardPrefix::Assign(const VersionRead& read)
{
    switch (read.status) {
    case VersionRead::Status::Failed: break;
    case VersionRead::Status::Null: *this = Null(); break;
    case VersionRead::Status::Text: *this = LeftTwo(read.text); break;
    }
}

}  // namespace kestrel
