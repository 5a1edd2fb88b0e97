// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Device database texts the tests and the benchmark share.

namespace corvanel::test {

// A PIC16F877A with all five algorithms.
// Eight write latches: words go into the latches with 02 and 06, and after
// every eighth word 08 writes the block while the counter still points into
// it. Configuration word 1 is reached with 00 and seven increments.
inline constexpr const char* kTestDevice877A =
    "erasealgdef 1: begin,s00-3fff,s1f,w15,end\r\n"
    "programalgdef 1: begin,s00-3fff,s1f,w15,end,"
    "begin,calcflashpage,setflashloop,s02-flash,ifpage,s08,wprog,endifpage,s06,loop,end,"
    "begin,calceeprom,seteepromloop,s03-eeprom,s08,w8,s06,loop,end,"
    "begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,s02-config1,s08,wprog,end\r\n"
    "readalgdef 1: begin,setflashloop,flash=s04,s06,loop,end,"
    "begin,seteepromloop,eeprom=s05,s06,loop,end,"
    "begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,config1=s04,end\r\n"
    "blankcheckalgdef 1: begin,setflashloop,temp=s04,checkblankflash,s06,loop,end,"
    "begin,seteepromloop,temp=s05,checkblankeeprom,s06,loop,end,"
    "begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkblankconfig1,end\r\n"
    "verifyalgdef 1: begin,setflashloop,temp=s04,checkflash,s06,loop,end,"
    "begin,seteepromloop,temp=s05,checkeeprom,s06,loop,end,"
    "begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkconfig1,end\r\n"
    "model: PIC16F877A\r\n"
    "flash: 8192\r\n"
    "eeprom: 256\r\n"
    "configerased: 3FFF 3FFF\r\n"
    "config2used: false\r\n"
    "voltageseq: vddvpp\r\n"
    "progtime: 8\r\n"
    "pagesize: 8\r\n"
    "erasealg: 1\r\n"
    "programalg: 1\r\n"
    "readalg: 1\r\n"
    "blankcheckalg: 1\r\n"
    "verifyalg: 1\r\n";

// Model 1: 2048 words, 128 bytes; model 2: 64 words, no EEPROM;
// model 3: 8192 words, 256 bytes and configuration word 2.
inline constexpr const char* kTestDevices =
    "model: PIC16F628A\r\nflash: 2048\r\neeprom: 128\r\nconfigerased: 3FFF 3FFF\r\n"
    "config2used: false\r\n"
    "model: TINY64\r\nflash: 64\r\neeprom: 0\r\nconfigerased: 3FF1 3FFF\r\n"
    "config2used: false\r\n"
    "model: PIC16F88\r\nflash: 8192\r\neeprom: 256\r\nconfigerased: 3FFF 3FFF\r\n"
    "config2used: true\r\n";

}  // namespace corvanel::test
