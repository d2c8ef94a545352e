; blink: toggles port A bit 1 about twice a second at 4 MHz, for the built-in models (EP2702).
;
; Built with gpasm of gputils (Debian package gputils) by build.sh:
;     gpasm -a inhx32 -o blink.hex blink.asm
        processor p16f648a
        radix   dec
        errorlevel -302         ; TRISA is reached through bank 1, as the code says
        errorlevel -220         ; chip words 0x2000-0x2002 lie outside this processor's map

STATUS  equ     0x03
PORTA   equ     0x05
TRISA   equ     0x85
RP0     equ     5
LED     equ     1
OUTER   equ     0x20
INNER   equ     0x21
MASK    equ     0x22

        org     0x0000
        goto    start

        org     0x0004
        retfie

start   bsf     STATUS, RP0
        bcf     TRISA, LED
        bcf     STATUS, RP0
        movlw   1 << LED
        movwf   MASK
loop    movf    MASK, w
        xorwf   PORTA, f        ; toggle the LED
        movlw   250
        movwf   OUTER
outer   clrf    INNER
inner   nop
        decfsz  INNER, f
        goto    inner
        decfsz  OUTER, f
        goto    outer
        goto    loop

; Configuration words c0-c2 at chip words 0x2000-0x2002:
;   c0 0x3B10  IO_MODE 18, PWRT 1, SMTEN 1, RDPIN 1, LVTEN 1, WDTEN 0, CRYSTALEN 0
;   c1 0x07FE  OTP_MODE 4K, CRYSTAL HIGH, LVT 3.6 V, FINTOSC 20M, RESETE 0
;   c2 0x00EF  WDTPS 1:128, SUTEN 1, SUT 1:128
        org     0x2000
        dw      0x3B10, 0x07FE, 0x00EF
        end
