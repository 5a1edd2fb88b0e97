; A small PIC12F675 program for the checksum of the buffer: code at the reset
; and interrupt vectors, the OSCCAL RETLW in the last program word (03FFh), a
; configuration word with the band-gap bits set (bits the checksum counts only
; through the chip's implemented-bit mask), user IDs and EEPROM data, which the
; checksum leaves out.
        LIST    p=12F675
        ; INTOSC no clock out, watchdog off, power-up timer on, GP3 as MCLR,
        ; brown-out detect on, band-gap bits 13:12 = 10b. Bits 11:9 do not
        ; exist on the chip and are written as ones here.
        __CONFIG 0x2FD4
        __IDLOCS 0x0A5C

STATUS  EQU     0x03
GPIO    EQU     0x05
OSCCAL  EQU     0x90
TRISIO  EQU     0x85
RP0     EQU     5

        ORG     0x0000
        goto    start
        ORG     0x0004
        retfie
start:  bsf     STATUS, RP0
        call    0x03FF          ; the factory value into OSCCAL
        movwf   OSCCAL & 0x7F
        clrf    TRISIO & 0x7F
        bcf     STATUS, RP0
        movlw   0x2A
        movwf   GPIO
loop:   goto    loop

        ORG     0x03FF
        retlw   0x80            ; 3480, the OSCCAL word

        ORG     0x2100
        DE      0x01, 0x02, 0x03, "675"
        END
