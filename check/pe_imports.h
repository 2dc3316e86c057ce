// The DLLs a Windows executable imports by name, read from its file: the
// import directory of a PE image, every offset and length checked before it
// is read.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel::check {

// The names in the import directory, as they stand; nothing when the bytes
// are not a PE image or the directory leads outside them.
std::optional<std::vector<std::string>> ImportedDlls(std::span<const unsigned char> image);

}  // namespace kestrel::check
