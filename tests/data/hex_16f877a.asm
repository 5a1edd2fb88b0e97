; A small PIC16F877A program across the four code pages of its 8K-word FLASH,
; with the configuration word and EEPROM data, for checking that the reader
; puts every word where the assembler put it.
        LIST    p=16F877A
        ; HS oscillator, watchdog off, power-up timer on, brown-out off,
        ; low-voltage programming off, no protection, no debugger.
        __CONFIG 0x3F32

PCLATH  EQU     0x0A

        ORG     0x0000
        movlw   0x18            ; 3018
        movwf   PCLATH          ; 008A
        goto    far_away        ; 2800, PCLATH supplies the page
        nop                     ; 0000

        ORG     0x1800
far_away:
        movlw   0xA5            ; 30A5
        addlw   0x01            ; 3E01
        sleep                   ; 0063
        goto    far_away & 0x7FF ; 2800

        ORG     0x1FFF
        retlw   0x77            ; 3477, the last FLASH word

        ORG     0x2100
        ; Only the start of the EEPROM area is given by ORG: assemblers
        ; disagree on what an ORG further into it means.
        DE      "PIC", 0x00, 0xFF, 0x80
        DE      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xC3
        END
