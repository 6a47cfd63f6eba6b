// Backup value texts decoded for writing back, by the type number their line carries.
#include <gtest/gtest.h>

#include "provider/backup/backup_sections.h"
#include "provider/backup/text_hex.h"

namespace {

using revivo::DecodeBackupValue;

TEST(BackupValuesTest, EachTypeDecodesAsItsWriterEncodedIt) {
    std::optional<revivo::DecodedValue> text = DecodeBackupValue(8, revivo::EncodeTextHex(u"Smith, John"));
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->binary);
    EXPECT_EQ(text->text, u"Smith, John");
    EXPECT_EQ(DecodeBackupValue(11, revivo::EncodeTextHex(u"True"))->text, u"TRUE");
    EXPECT_EQ(DecodeBackupValue(11, revivo::EncodeTextHex(u"False"))->text, u"FALSE");
    EXPECT_FALSE(DecodeBackupValue(11, revivo::EncodeTextHex(u"Maybe")));
    EXPECT_EQ(DecodeBackupValue(3, revivo::EncodeTextHex(u"-512"))->text, u"-512");
    std::optional<revivo::DecodedValue> bytes = DecodeBackupValue(8209, u"00FF10");
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->binary);
    EXPECT_EQ(bytes->bytes, (std::vector<unsigned char>{0x00, 0xFF, 0x10}));
    // A date's text is the platform's own: not written back rather than guessed.
    EXPECT_FALSE(DecodeBackupValue(7, u"12/8/2026 10:00:00 AM"));
    // Broken hex is refused, never written as something else.
    EXPECT_FALSE(DecodeBackupValue(8, u"61006"));
    EXPECT_FALSE(DecodeBackupValue(8209, u"0G"));
}

TEST(BackupValuesTest, ArrayElementsAreTextUnlessTheyCannotBe) {
    EXPECT_EQ(DecodeBackupValue(8204, revivo::EncodeTextHex(u"+1 555 0101"))->text, u"+1 555 0101");
    // Byte hex of an odd number of bytes is no text hex at all.
    std::optional<revivo::DecodedValue> odd = DecodeBackupValue(8204, u"0102AB");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(odd->binary);
    EXPECT_EQ(odd->bytes, (std::vector<unsigned char>{0x01, 0x02, 0xAB}));
    // Whole characters that are control codes are bytes too.
    std::optional<revivo::DecodedValue> control = DecodeBackupValue(8204, u"01000200");
    ASSERT_TRUE(control);
    EXPECT_TRUE(control->binary);
    EXPECT_EQ(control->bytes.size(), 4u);
}

}  // namespace
