# Writes one stored file as a C++ byte array: cmake -DINPUT=file -DSYMBOL=name -DOUTPUT=file.cpp -P embed.cmake
foreach(variable INPUT SYMBOL OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "embed.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
file(SIZE "${INPUT}" size)
string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
get_filename_component(name "${INPUT}" NAME)

file(WRITE "${OUTPUT}.part" "// Made from ${name} at build time; edit the picture, not this file.
#include <cstddef>
#include <cstdint>

namespace pictures::data {
extern std::uint8_t const ${SYMBOL}[];
extern std::size_t const ${SYMBOL}_size;
std::uint8_t const ${SYMBOL}[] = {
${hex}};
std::size_t const ${SYMBOL}_size = ${size};
}
")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
