; Blinks an LED on RB0 of a PIC16F628A running from its internal 4 MHz
; oscillator, and keeps a greeting in the data EEPROM. Assemble with
;     gpasm -o blink-16f628a.hex blink-16f628a.asm
        LIST    p=16F628A
        ; Internal oscillator with I/O on RA6/RA7, watchdog off, power-up timer
        ; on, MCLR as input, brown-out reset on, low-voltage programming off.
        ; Bits 12-9 do not exist on this chip; they read back as 1, as an
        ; assembler's _CONFIG names leave them, and Verify compares only the
        ; implemented bits anyway.
        __CONFIG 0x3F50

STATUS  EQU     0x03
PORTB   EQU     0x06
CMCON   EQU     0x1F
TRISB   EQU     0x86
RP0     EQU     5
COUNT1  EQU     0x20
COUNT2  EQU     0x21

        ORG     0x0000
        goto    start
        ORG     0x0004
        retfie

start:  movlw   0x07            ; comparators off, PORTA digital
        movwf   CMCON
        bsf     STATUS, RP0
        clrf    TRISB & 0x7F    ; PORTB all outputs
        bcf     STATUS, RP0
        clrf    PORTB

blink:  movlw   0x01
        xorwf   PORTB, f        ; toggle RB0
        call    delay
        goto    blink

; About 200 ms at 1 MIPS.
delay:  movlw   0xFF
        movwf   COUNT1
outer:  movlw   0xFF
        movwf   COUNT2
inner:  decfsz  COUNT2, f
        goto    inner
        decfsz  COUNT1, f
        goto    outer
        return

        ORG     0x2100
        DE      "Hello from Tavrelix Corvanel", 0
        END
