# The program's identity, stated once: the version comes from project(VERSION), the names
# and the version record's strings from here. It is generated into the C++ constants, the
# Windows version record and the values the resource check compares against.
set(PELMORA_TITLE "Pelmora")
set(PELMORA_EXE_NAME "Pelmora")
set(PELMORA_FILE_DESCRIPTION "System Information")
set(PELMORA_PRODUCT_NAME "Tovquel.Exe")
# Spanish (Spain), Unicode.
set(PELMORA_VERSION_LANGUAGE "0C0A")
set(PELMORA_VERSION_CODEPAGE "04B0")
# What desktops and package managers know the program by: the application id (reverse DNS
# of the project's home; it names the desktop entry, the metainfo and the icons), the home
# page and the release's date.
set(PELMORA_APP_ID "io.github.pelmora.Pelmora")
set(PELMORA_HOMEPAGE "https://github.com/pelmora/pelmora")
set(PELMORA_RELEASE_DATE "2026-12-09")
# The Windows installer's upgrade code: the same for every version and both architectures, so
# that each installer knows the ones before it. Never change it.
set(PELMORA_MSI_UPGRADE_CODE "A9730035-9272-42E7-BA77-ED0354ED8DDB")
set(PELMORA_ICON_GROUP_ID 1)
set(PELMORA_ICON_IMAGE_ID 30001)

set(PELMORA_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(PELMORA_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(PELMORA_VERSION_REVISION ${PROJECT_VERSION_PATCH})
if(PELMORA_VERSION_MAJOR GREATER 9 OR PELMORA_VERSION_MINOR GREATER 99
   OR PELMORA_VERSION_REVISION GREATER 9999)
  message(FATAL_ERROR "The version record writes major.minor.revision as 9.99.9999 at most")
endif()

# Pads a number with leading zeros to a width.
function(pelmora_pad value width out)
  string(LENGTH "${value}" length)
  math(EXPR zeros "${width} - ${length}")
  string(REPEAT "0" ${zeros} padding)
  set(${out} "${padding}${value}" PARENT_SCOPE)
endfunction()
pelmora_pad(${PELMORA_VERSION_MINOR} 2 minor_text)
pelmora_pad(${PELMORA_VERSION_REVISION} 4 revision_text)
# The record's text form: "1.00.0026".
set(PELMORA_VERSION_TEXT "${PELMORA_VERSION_MAJOR}.${minor_text}.${revision_text}")

# The LANGUAGE statement takes the language's primary and sub-language parts.
math(EXPR PELMORA_LANGUAGE_PRIMARY "0x${PELMORA_VERSION_LANGUAGE} & 0x3FF" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR PELMORA_LANGUAGE_SUB "0x${PELMORA_VERSION_LANGUAGE} >> 10" OUTPUT_FORMAT HEXADECIMAL)

set(PELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/src/app/identity.h.in
               ${PELMORA_GENERATED_DIR}/identity/app/identity.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in
               ${PELMORA_GENERATED_DIR}/version.rc @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/pelmora.manifest.in
               ${PELMORA_GENERATED_DIR}/pelmora.manifest @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/identity.json.in
               ${PELMORA_GENERATED_DIR}/identity.json @ONLY)

# The identity's C++ constants, for the system and the entry points.
add_library(pelmora_identity INTERFACE)
target_include_directories(pelmora_identity INTERFACE ${PELMORA_GENERATED_DIR}/identity)
