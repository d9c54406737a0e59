# Turns one resource file into a C++ source defining `const char* NAME()`, which returns the
# file's bytes, NUL-terminated. The bytes are written as numbers, so no content of the file
# (quotes, backslashes, a raw-string delimiter) can end the literal early.
# Usage: cmake -DNAME=<function> -DINPUT=<file> -DOUTPUT=<file.cpp> -P EmbedFile.cmake
foreach(var NAME INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "EmbedFile.cmake: ${var} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 row)  # CMake's regular expressions have no {16}
string(REGEX REPLACE "(${row})" "\\1\n        " bytes "${bytes}")
get_filename_component(source "${INPUT}" NAME)

file(WRITE "${OUTPUT}.tmp" "// Generated at build time from ${source}: edit that file, not this one.
const char* ${NAME}();

const char* ${NAME}()
{
    static const unsigned char bytes[] = {
        ${bytes}0x00};
    return reinterpret_cast<const char*>(bytes);
}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
