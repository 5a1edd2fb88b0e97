; A small PIC12F1840 program whose assembled HEX file must land word for word in the
; enhanced memory map: code at both ends of the 4096 words of FLASH, the configuration
; words at 8007h-8008h (HEX byte 1000Eh, behind a type 04 record), user IDs at
; 8000h-8003h (byte 10000h) and EEPROM data at F000h (byte 1E000h).
        LIST    p=12F1840
        #include <p12f1840.inc>
        __CONFIG _CONFIG1, _FOSC_INTOSC & _WDTE_OFF & _PWRTE_OFF & _MCLRE_OFF & _CP_OFF & _CPD_OFF & _BOREN_OFF & _CLKOUTEN_OFF & _IESO_ON & _FCMEN_ON
        __CONFIG _CONFIG2, _WRT_OFF & _PLLEN_ON & _STVREN_ON & _BORV_HI & _LVP_OFF
        __IDLOCS 0x1234

        ORG     0x0000
        goto    start
        ORG     0x0004
        retfie
start:  movlb   1               ; bank 1: TRISA
        clrf    TRISA
        movlb   0
        movlw   0x55
        movwf   PORTA
loop:   goto    loop

        ORG     0x0FFF
        retlw   0x3C            ; the last FLASH word

        ORG     0xF000
        ; EEPROM data: one HEX word per byte, from byte address 1E000h.
        DE      "PIC", 0x00, 0xFF, 0x80
        END
