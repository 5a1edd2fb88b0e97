; A code-protected PIC16F628A build with user IDs and EEPROM data: it must
; program and verify (the configuration word is written last), and its user
; IDs must come back from Read All.
        LIST    p=16F628A
        INCLUDE "p16f628a.inc"
        __CONFIG _CP_ON & _XT_OSC & _WDT_OFF & _PWRTE_ON & _LVP_OFF & _BOREN_ON & _MCLRE_ON
        __IDLOCS 0x1A2B

        ORG     0x0000
        goto    start
        ORG     0x0004
        retfie
start:  movlw   0x55
        movwf   PORTB
loop:   goto    loop

        ORG     0x2100
        DE      "CP", 0x01, 0x02
        END
