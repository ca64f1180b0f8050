#include "app/identity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pelmora::app::identity {
namespace {

TEST(Identity, RecordTextPadsWhatTheAboutBoxWritesPlain) {
    const struct {
        std::int16_t major, minor, revision;
        std::string text;
    } cases[] = {{1, 0, 26, "1.00.0026"}, {2, 5, 3, "2.05.0003"}, {9, 99, 9999, "9.99.9999"}};
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(versionRecordText(c.major, c.minor, c.revision).data()), c.text);
    }
}

TEST(Identity, TheStringTableReadsAsTheRecordSaysInItsOrder) {
    const std::string keys[] = {"FileDescription", "ProductName",  "FileVersion",
                                "ProductVersion",  "InternalName", "OriginalFilename"};
    for (std::size_t i = 0; i < kVersionStrings.size(); ++i) {
        EXPECT_EQ(kVersionStrings[i].key, keys[i]);
    }
    EXPECT_EQ(kVersionStrings[5].value, std::string(kExeName) + ".exe");
    EXPECT_EQ(kVersionStrings[4].value, kExeName);
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", kVersionLanguage, kVersionCodePage);
    EXPECT_EQ(kStringTableName, table);
}

}  // namespace
}  // namespace pelmora::app::identity
