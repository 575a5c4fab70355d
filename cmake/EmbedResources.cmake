# Writes a C++ source holding the given files as byte arrays, numbered in the
# order given: the built-in "DATA" resources of the library on platforms
# without a resource section.
#   cmake -DOUTPUT=file.cpp -DINPUTS="a.png|b.png" -P EmbedResources.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(body "// Generated at build time from resources/. Do not edit.\n#include <cstddef>\n\nnamespace platform::embedded {\n\n")
set(table "")
set(index 0)
foreach(input IN LISTS INPUTS)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  " bytes "${bytes}")
  get_filename_component(name "${input}" NAME)
  string(APPEND body "// ${name}\nstatic const unsigned char resource${index}[${size}] = {\n  ${bytes}\n};\n\n")
  string(APPEND table "  {resource${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "struct Resource {\n  const unsigned char* bytes;\n  std::size_t size;\n};\n\n")
string(APPEND body "extern const Resource kResources[] = {\n${table}};\nextern const int kResourceCount = ${index};\n\n}  // namespace platform::embedded\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
