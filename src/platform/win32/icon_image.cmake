# Writes the one image of an icon file as a resource-script block of raw data
# (RT_ICON 30001), after checking that the file holds exactly the image the
# icon group in pelmora.rc describes: one 32 x 32, 4-bit image of 744 bytes.
# Usage: cmake -DICON=pelmora.ico -DOUTPUT=pelmora_icon_image.rc -P icon_image.cmake
file(READ "${ICON}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")

# Little-endian field of the file: offset and width in bytes.
function(field offset width out)
  set(value 0)
  math(EXPR last "${offset} + ${width} - 1")
  foreach(i RANGE ${last} ${offset} -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

if(size LESS 22)
  message(FATAL_ERROR "${ICON}: not an icon file (${size} bytes)")
endif()
field(0 2 reserved)
field(2 2 type)
field(4 2 count)
field(6 1 width)
field(7 1 height)
field(8 1 colours)
field(12 2 bits)
field(14 4 bytes)
field(18 4 offset)
if(NOT reserved EQUAL 0 OR NOT type EQUAL 1 OR NOT count EQUAL 1)
  message(FATAL_ERROR "${ICON}: expected an icon file with one image")
endif()
if(NOT width EQUAL 32 OR NOT height EQUAL 32 OR NOT colours EQUAL 16 OR NOT bits EQUAL 4
   OR NOT bytes EQUAL 744)
  message(FATAL_ERROR "${ICON}: expected one 32 x 32, 16-colour, 4-bit image of 744 bytes, "
                      "found ${width} x ${height}, ${colours} colours, ${bits} bits, ${bytes} bytes")
endif()
math(EXPR end "${offset} + ${bytes}")
if(end GREATER size)
  message(FATAL_ERROR "${ICON}: the image runs past the end of the file")
endif()

# Raw data in a resource script is written in 16-bit little-endian words.
set(words "")
math(EXPR last "${offset} + ${bytes} - 2")
set(column 0)
foreach(i RANGE ${offset} ${last} 2)
  math(EXPR at "${i} * 2")
  string(SUBSTRING "${hex}" ${at} 2 low)
  math(EXPR at "${at} + 2")
  string(SUBSTRING "${hex}" ${at} 2 high)
  string(APPEND words "0x${high}${low},")
  math(EXPR column "${column} + 1")
  if(column EQUAL 12)
    string(APPEND words "\n  ")
    set(column 0)
  else()
    string(APPEND words " ")
  endif()
endforeach()
string(REGEX REPLACE ",[ \n]*$" "" words "${words}")
file(WRITE "${OUTPUT}.tmp"
  "/* The image of the program's icon, taken from ${ICON}. */\n"
  "PELMORA_ICON_IMAGE 3\nBEGIN\n  ${words}\nEND\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
