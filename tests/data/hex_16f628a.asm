; A small PIC16F628A program whose assembled HEX file the reader must place
; word for word: code at both ends of the 2K-word FLASH, the configuration
; word, user ID locations and EEPROM data.
        LIST    p=16F628A
        ; HS oscillator, watchdog off, power-up timer on, MCLR pin on,
        ; brown-out reset on, low-voltage programming off, no protection.
        __CONFIG 0x3F62
        __IDLOCS 0x1234

STATUS  EQU     0x03
PORTB   EQU     0x06
TRISB   EQU     0x86
RP0     EQU     5

        ORG     0x0000
        goto    start           ; 2805
        ORG     0x0004
        retfie                  ; 0009
start:  bsf     STATUS, RP0     ; 1683
        clrf    TRISB & 0x7F    ; 0186
        bcf     STATUS, RP0     ; 1283
        movlw   0x55            ; 3055
        movwf   PORTB           ; 0086
loop:   goto    loop            ; 280A

        ORG     0x07FF
        retlw   0x3C            ; 343C, the last FLASH word

        ORG     0x2100
        ; EEPROM data starts at 2100h and takes one word per byte. Only this
        ; ORG is used there: assemblers disagree on what an ORG further into
        ; the EEPROM area means.
        DE      0x12, 0x34, "Hi", 0xAB
        END
