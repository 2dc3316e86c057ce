// The logo panel's picture: a baseline JPEG of 227 x 184 pixels with three
// colour components, made at build time by make_logo.pl and cjpeg.
#pragma once

#include <cstddef>

namespace kestrel::forms {

extern const unsigned char kLogoJpeg[];
extern const std::size_t kLogoJpegSize;

}  // namespace kestrel::forms
