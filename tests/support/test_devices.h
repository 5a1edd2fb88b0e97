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

// Enhanced mid-range models: user IDs at 8000h, configuration words from 8007h,
// EEPROM at F000h in HEX files. Model 1 is shaped like a 16F1847 (two words,
// classic-format ID, low-voltage entry allowed), model 2 like a 16F1614 (three
// words, full-word ID with the revision at 8005h, no EEPROM), model 3 like a
// 16F18313 (four words, no "lvp:"). Configuration is read, written and
// checked from Load Configuration (00) and seven increments to 8007h.
inline constexpr const char* kTestDevicesEnhanced =
    "erasealgdef 1: begin,s00-3fff,s09,w10,end\r\n"
    "programalgdef 1: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,"
    "s02-config1,s08,w5,s06,s02-config2,s08,w5,end\r\n"
    "programalgdef 2: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,"
    "s02-config1,s08,w5,s06,s02-config2,s08,w5,s06,s02-config3,s08,w5,end\r\n"
    "programalgdef 3: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,"
    "s02-config1,s08,w5,s06,s02-config2,s08,w5,s06,s02-config3,s08,w5,"
    "s06,s02-config4,s08,w5,end\r\n"
    "readalgdef 1: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,config1=s04,s06,config2=s04,end\r\n"
    "readalgdef 2: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,config1=s04,s06,config2=s04,"
    "s06,config3=s04,end\r\n"
    "readalgdef 3: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,config1=s04,s06,config2=s04,"
    "s06,config3=s04,s06,config4=s04,end\r\n"
    "blankcheckalgdef 2: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkblankconfig1,"
    "s06,temp=s04,checkblankconfig2,s06,temp=s04,checkblankconfig3,end\r\n"
    "verifyalgdef 1: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkconfig1,"
    "s06,temp=s04,checkconfig2,end\r\n"
    "verifyalgdef 2: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkconfig1,"
    "s06,temp=s04,checkconfig2,s06,temp=s04,checkconfig3,end\r\n"
    "verifyalgdef 3: begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,temp=s04,checkconfig1,"
    "s06,temp=s04,checkconfig2,s06,temp=s04,checkconfig3,s06,temp=s04,checkconfig4,end\r\n"
    "idalgdef 2: beginvppvdd,s00-3fff,s06,s06,s06,s06,s06,revision=s04,s06,deviceid=s04,end\r\n"
    "model: PIC16F1847\r\nflash: 8192\r\neeprom: 256\r\nconfigerased: 3FFF 3FFF\r\n"
    "config2used: true\r\nvoltageseq: vppvdd\r\nprogtime: 3\r\npagesize: 32\r\n"
    "erasealg: 1\r\nprogramalg: 1\r\nreadalg: 1\r\nblankcheckalg: 2\r\nverifyalg: 1\r\n"
    "configwords: 2\r\nconfigaddr: 8007\r\nidaddr: 8000\r\neepromaddr: F000\r\n"
    "configmask: 3FFF 3703\r\ndeviceid: 1480 3FE0\r\nlvp: true\r\nvpp: 8.0 9.0\r\n"
    "model: PIC16F1614\r\nflash: 4096\r\neeprom: 0\r\nconfigerased: 3FFF 3FFF 3FFF\r\n"
    "config2used: true\r\nvoltageseq: vppvdd\r\nprogtime: 3\r\npagesize: 32\r\n"
    "erasealg: 1\r\nprogramalg: 2\r\nreadalg: 2\r\nblankcheckalg: 2\r\nverifyalg: 2\r\n"
    "configwords: 3\r\nconfigaddr: 8007\r\nidaddr: 8000\r\neepromaddr: F000\r\n"
    "revaddr: 8005\r\nconfigmask: 0EE3 3F87 3F7F\r\ndeviceid: 3078 3FFF\r\nidalg: 2\r\n"
    "lvp: true\r\nvpp: 8.0 9.0\r\n"
    "model: PIC16F18313\r\nflash: 2048\r\neeprom: 256\r\n"
    "configerased: 3FFF 3FFF 3FFF 3FFF\r\nconfig2used: true\r\nvoltageseq: vppvdd\r\n"
    "progtime: 3\r\npagesize: 32\r\nerasealg: 1\r\nprogramalg: 3\r\nreadalg: 3\r\n"
    "blankcheckalg: 2\r\nverifyalg: 3\r\nconfigwords: 4\r\nconfigaddr: 8007\r\n"
    "idaddr: 8000\r\neepromaddr: F000\r\nconfigmask: 2977 3AEF 2003 0003\r\nvpp: 8.0 9.0\r\n";

}  // namespace corvanel::test
