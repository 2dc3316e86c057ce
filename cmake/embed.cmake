# Writes a C++ source holding a file's bytes as program data:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=kSymbol -DHEADER=header.h -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by the build from ${INPUT}.\n#include \"${HEADER}\"\n\nnamespace kestrel::forms {\n\nconst unsigned char ${NAME}[] = {\n    ${bytes}\n};\nconst std::size_t ${NAME}Size = ${size};\n\n}  // namespace kestrel::forms\n")
