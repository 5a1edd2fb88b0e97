// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/device_identity.h"

#include <gtest/gtest.h>

#include <string>

#include "core/devices/model_application.h"

namespace corvanel {
namespace {

DeviceDatabase three_models() {
    const std::string text =
        "idalgdef 2: begin,s00-3fff,s06,s06,s06,s06,s06,s06,deviceid=s04,end\r\n"
        "model: PIC16F628A\r\nconfigerased: 3fff 3fff\r\nconfigmask: 21ff 3FFF\r\n"
        "deviceid: 1060 3FE0\r\nidalg: 2\r\n"
        "model: PIC16F877A\r\nCONFIGMASK: 2FCF\r\ndeviceid: 0E20 3ff0\r\n"
        "model: OLDPART\r\n"
        "model: PIC16F877A-ALIAS\r\ndeviceid: 0E20 3FF0\r\n";
    DeviceDatabase database;
    EXPECT_EQ(parse_device_database(text, "t.txt", database).status, DatabaseStatus::Loaded);
    return database;
}

TEST(DeviceIdentity, NewKeysAreReadAndAppliedWithoutInheriting) {
    const DeviceDatabase database = three_models();
    ASSERT_EQ(database.model_count(), 4);
    EXPECT_EQ(database.model(1).configmask, "21ff 3FFF");
    EXPECT_EQ(database.model(1).deviceid, "1060 3FE0");
    EXPECT_EQ(database.model(1).idalg, "begin,s00-3fff,s06,s06,s06,s06,s06,s06,deviceid=s04,end");

    ActiveModel active;
    MemoryImage image;
    ASSERT_TRUE(apply_model(database, 1, active, image));
    EXPECT_EQ(active.config_mask1, 0x21FF);
    EXPECT_EQ(active.config_mask2, 0x3FFF);
    ASSERT_TRUE(active.device_id.has_value());
    EXPECT_EQ(active.device_id->id, 0x1060);
    EXPECT_EQ(active.device_id->mask, 0x3FE0);
    EXPECT_EQ(active.id_list.size(), 10u);

    // Only the first group given: the second word is compared whole.
    ASSERT_TRUE(apply_model(database, 2, active, image));
    EXPECT_EQ(active.config_mask1, 0x2FCF);
    EXPECT_EQ(active.config_mask2, kWholeWordMask);
    EXPECT_TRUE(active.id_list.empty()) << "no idalg: the generic read is used";

    // A model without the keys behaves as before they existed, whatever came before.
    ASSERT_TRUE(apply_model(database, 3, active, image));
    EXPECT_EQ(active.config_mask1, kWholeWordMask);
    EXPECT_EQ(active.config_mask2, kWholeWordMask);
    EXPECT_FALSE(active.device_id.has_value());
}

TEST(DeviceIdentity, KeyTextsThatAreNotHexGiveNoKey) {
    const std::pair<const char*, bool> ids[] = {{"1060 3FE0", true},  {"1060", false},
                                                {"10G0 3FE0", false}, {"1060 0000", false},
                                                {"", false},          {"0e20 3ff0 extra", true}};
    for (const auto& [text, valid] : ids) {
        EXPECT_EQ(parse_device_id(text).has_value(), valid) << text;
    }
    const ConfigMasks masks = parse_config_masks("21FF zzzz");
    EXPECT_EQ(masks.mask1, 0x21FF);
    EXPECT_EQ(masks.mask2, kWholeWordMask);
    EXPECT_TRUE(config_words_agree(0x3F21, 0x2121, 0x21FF));
    EXPECT_FALSE(config_words_agree(0x3F25, 0x2121, 0x21FF));
    EXPECT_FALSE(config_words_agree(0x3F21, 0x2121, kWholeWordMask));
}

TEST(DeviceIdentity, QuestionsAndReportsNameTheChipAndItsRevision) {
    const DeviceDatabase database = three_models();
    const DeviceIdKey f628a{0x1060, 0x3FE0};
    struct Case {
        std::int32_t word;
        const char* question;  // before Program All of a PIC16F628A
        const char* report;    // Identify Chip
    };
    const Case cases[] = {
        {0x1062, "", "The chip in the socket answers as PIC16F628A (ID 1060h, revision 2)."},
        {0x0E23,
         "The chip in the socket answers as PIC16F877A or PIC16F877A-ALIAS (ID 0E20h, "
         "revision 3), not PIC16F628A. Continue?",
         "The chip in the socket answers as PIC16F877A or PIC16F877A-ALIAS (ID 0E20h, "
         "revision 3)."},
        {0x0D02,
         "The chip in the socket answers as an unknown chip (ID 0D00h, revision 2), not "
         "PIC16F628A. Continue?",
         "The chip in the socket answers as an unknown chip (ID 0D00h, revision 2), which no "
         "model of the device database has."},
        {0x3FFF, "No chip found (device ID 3FFFh). Continue?", "No chip found (device ID 3FFFh)."},
        {0x0000, "No chip found (device ID 0000h). Continue?", "No chip found (device ID 0000h)."},
        {-1, "No chip found (device ID 3FFFh). Continue?", "No chip found (device ID 3FFFh)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(device_id_question(database, f628a, "PIC16F628A", c.word), c.question);
        EXPECT_EQ(identify_report(database, c.word), c.report);
    }
    const auto found = models_with_id(database, 0x0E2F);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].number, 2);
    EXPECT_EQ(found[1].number, 4);
    EXPECT_EQ(found[0].revision, 15);
}

}  // namespace
}  // namespace corvanel
