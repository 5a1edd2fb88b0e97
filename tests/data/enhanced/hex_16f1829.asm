; A small PIC16F1829 program whose assembled HEX file must land word for word in the
; enhanced memory map: code at both ends of the 8192 words of FLASH, the configuration
; words at 8007h-8008h (HEX byte 1000Eh, behind a type 04 record), user IDs at
; 8000h-8003h (byte 10000h) and EEPROM data at F000h (byte 1E000h).
        LIST    p=16F1829
        #include <p16f1829.inc>
        __CONFIG _CONFIG1, _FOSC_HS & _WDTE_SWDTEN & _PWRTE_ON & _MCLRE_ON & _CP_OFF & _CPD_OFF & _BOREN_NSLEEP & _CLKOUTEN_ON & _IESO_OFF & _FCMEN_ON
        __CONFIG _CONFIG2, _WRT_BOOT & _PLLEN_OFF & _STVREN_OFF & _BORV_LO & _LVP_ON
        __IDLOCS 0x1234

        ORG     0x0000
        goto    start
        ORG     0x0004
        retfie
start:  movlb   1               ; bank 1: TRISC
        clrf    TRISC
        movlb   0
        movlw   0x55
        movwf   PORTC
loop:   goto    loop

        ORG     0x1FFF
        retlw   0x3C            ; the last FLASH word

        ORG     0xF000
        ; EEPROM data: one HEX word per byte, from byte address 1E000h.
        DE      1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC3
        END
