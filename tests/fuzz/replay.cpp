// The fuzz targets built by every host build and run on a few inputs, so
// that they keep compiling against the code they fuzz (the fuzzing itself
// is scripts/fuzz.sh's, with clang): each argument's bytes, then each
// built-in one, given to the target.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Run(std::string_view bytes)
{
    return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.good() && !file.eof()) return 2;
        Run(bytes);
    }
    // UTF-16LE "k /quiet /wait /log:x -- /s", a lone quote, nothing at all.
    static constexpr char kLine[] = "k\0 \0/\0q\0u\0i\0e\0t\0 \0/\0w\0a\0i\0t\0 \0/\0l\0o\0g\0:\0x\0 \0-\0-\0 \0/\0s\0";
    for (const std::string_view bytes :
         {std::string_view(kLine, sizeof kLine - 1), std::string_view("\"\0", 2), std::string_view()}) {
        Run(bytes);
    }
    return 0;
}
