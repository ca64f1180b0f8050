// The program's fixed identity: title, executable name, version numbers, the version
// record's values and the icon's resource numbers. Backends answer the application
// information from these, and the Windows resource script is checked against them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pelmora::app::identity {

// Project description handed to the forms runtime at start.
inline constexpr std::string_view kProjectName = "Pelmora";
inline constexpr std::string_view kTitle = "Pelmora";
inline constexpr std::string_view kExeName = "Pelmora";
inline constexpr std::string_view kHelpFile = "";
inline constexpr std::uint16_t kPrimaryLocale = 0x0C0A;    // Spanish (Spain)
inline constexpr std::uint16_t kSecondaryLocale = 0x0409;  // English (United States)

// Version numbers as the application information reports them.
inline constexpr std::int16_t kMajor = 1;
inline constexpr std::int16_t kMinor = 0;
inline constexpr std::int16_t kRevision = 26;

// The version record: one language, a fixed part and a string table.
inline constexpr std::uint16_t kVersionLanguage = 0x0C0A;
inline constexpr std::uint16_t kVersionCodePage = 0x04B0;  // 1200, UTF-16
inline constexpr std::string_view kStringTableName = "0C0A04B0";
inline constexpr std::array<std::uint16_t, 4> kFileVersion{1, 0, 0, 26};
inline constexpr std::array<std::uint16_t, 4> kProductVersion{1, 0, 0, 26};
inline constexpr std::uint32_t kFileFlags = 0;
inline constexpr std::uint32_t kFileFlagsMask = 0;
inline constexpr std::uint32_t kFileOs = 0x00000004;  // 32-bit Windows
inline constexpr std::uint32_t kFileType = 1;         // application
inline constexpr std::uint32_t kFileSubtype = 0;

struct VersionString {
    std::string_view key;
    std::string_view value;
};

// In the order the string table lists them.
inline constexpr std::array<VersionString, 6> kVersionStrings{{
    {"FileDescription", "System Information"},
    {"ProductName", "Tovquel.Exe"},
    {"FileVersion", "1.00.0026"},
    {"ProductVersion", "1.00.0026"},
    {"InternalName", "Pelmora"},
    {"OriginalFilename", "Pelmora.exe"},
}};

// The icon: group 1 holding one 32 x 32, 4-bit image with a mask.
inline constexpr std::uint16_t kIconGroupId = 1;
inline constexpr std::uint16_t kIconImageId = 30001;
inline constexpr int kIconSize = 32;
inline constexpr int kIconBitsPerPixel = 4;
inline constexpr std::uint32_t kIconImageBytes = 744;

// The string form of the version: major (one digit), minor in two digits, revision in four.
constexpr std::array<char, 10> versionRecordText(std::int16_t major, std::int16_t minor,
                                                 std::int16_t revision) {
    std::array<char, 10> text{};
    text[0] = static_cast<char>('0' + major % 10);
    text[1] = '.';
    text[2] = static_cast<char>('0' + minor / 10 % 10);
    text[3] = static_cast<char>('0' + minor % 10);
    text[4] = '.';
    for (int i = 0, value = revision; i < 4; ++i, value /= 10) {
        text[8 - i] = static_cast<char>('0' + value % 10);
    }
    text[9] = '\0';
    return text;
}

constexpr bool sameText(std::string_view a, const std::array<char, 10>& b) {
    return a == std::string_view(b.data());
}

static_assert(kMajor < 10 && kMinor < 100 && kRevision < 10000);
static_assert(sameText(kVersionStrings[2].value, versionRecordText(kMajor, kMinor, kRevision)));
static_assert(sameText(kVersionStrings[3].value, versionRecordText(kMajor, kMinor, kRevision)));
static_assert(kFileVersion[0] == kMajor && kFileVersion[1] == kMinor &&
              kFileVersion[3] == kRevision);

}  // namespace pelmora::app::identity
