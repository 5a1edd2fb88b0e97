// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/config_sections.h"

#include <gtest/gtest.h>

#include <string>

namespace corvanel {
namespace {

std::string joined(const InstructionList& list) {
    std::string text;
    for (const std::string& instruction : list) {
        text += (text.empty() ? "" : ",") + instruction;
    }
    return text;
}

// The configuration sections are cut out whole, in order, and everything else
// (the erase, the memories, the user ID block with its condition around it, the
// sections that only keep calibration bits) stays in the rest as it was.
TEST(ConfigSections, CutsOutTheSectionsOfTheConfigurationWords) {
    struct Case {
        const char* algorithm;
        const char* rest;
        const char* config;
    };
    const Case cases[] = {
        {"begin,s00-3fff,s09,w6,end,begin,calcflash,setflashloop,s02-flash,s08,wprog,s06,loop,end,"
         "begin,s00-3fff,s06,s02-config1,s08,wprog,end,"
         "begin,ifuserids,s00-3fff,s02-userid1,s08,wprog,endifuserids,end",
         "begin,s00-3fff,s09,w6,end,begin,calcflash,setflashloop,s02-flash,s08,wprog,s06,loop,end,"
         "begin,ifuserids,s00-3fff,s02-userid1,s08,wprog,endifuserids,end",
         "begin,s00-3fff,s06,s02-config1,s08,wprog,end"},
        // A verify: the configuration checks go, the ID checks stay.
        {"begin,setflashloop,temp=s04,checkflash,s06,loop,end,"
         "begin,s00-3fff,s06,temp=s04,checkconfig1,s06,temp=s04,checkconfig2,end,"
         "begin,ifuserids,s00-3fff,temp=s04,checkuserid1,endifuserids,end",
         "begin,setflashloop,temp=s04,checkflash,s06,loop,end,"
         "begin,ifuserids,s00-3fff,temp=s04,checkuserid1,endifuserids,end",
         "begin,s00-3fff,s06,temp=s04,checkconfig1,s06,temp=s04,checkconfig2,end"},
        // Calibration bits kept and written back belong to the erase.
        {"beginvppvdd,s00-3fff,calconfig1=s04,end,begin,s00-3fff,s02-calconfig1,s08,end,"
         "begin,s00-3fff,s02-config1,s08,end",
         "beginvppvdd,s00-3fff,calconfig1=s04,end,begin,s00-3fff,s02-calconfig1,s08,end",
         "begin,s00-3fff,s02-config1,s08,end"},
        // No section of its own: nothing to cut.
        {"begin,s02-flash,s08,end", "begin,s02-flash,s08,end", ""},
        // A section that never ends stays with the rest.
        {"begin,s02-config1,s08", "begin,s02-config1,s08", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.algorithm);
        const ConfigSplit split = split_config_sections(split_instructions(c.algorithm));
        EXPECT_EQ(joined(split.rest), c.rest);
        EXPECT_EQ(joined(split.config), c.config);
        EXPECT_EQ(split.found(), *c.config != '\0');
    }
}

}  // namespace
}  // namespace corvanel
