; A small PIC16F1459 program whose assembled HEX file must land word for word in the
; enhanced memory map: code at both ends of the 8192 words of FLASH, the configuration
; words at 8007h-8008h (HEX byte 1000Eh, behind a type 04 record), user IDs at
; 8000h-8003h (byte 10000h).
        LIST    p=16F1459
        #include <p16f1459.inc>
        __CONFIG _CONFIG1, _FOSC_INTOSC & _WDTE_OFF & _PWRTE_ON & _MCLRE_OFF & _CP_OFF & _BOREN_ON & _CLKOUTEN_OFF & _IESO_OFF & _FCMEN_OFF
        __CONFIG _CONFIG2, _WRT_OFF & _CPUDIV_NOCLKDIV & _USBLSCLK_48MHz & _PLLMULT_3x & _PLLEN_ENABLED & _STVREN_ON & _BORV_LO & _LPBOR_OFF & _LVP_ON
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
        END
