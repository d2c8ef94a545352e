; rfpwm: a 25 % duty PWM carrier on port B bit 0, for the 14-bit OTP models (EP2706 family).
;
; Built with gpasm of gputils (Debian package gputils) by build.sh:
;     gpasm -a inhx32 -o rfpwm.hex rfpwm.asm
; The instructions are the common 14-bit set; the processor line only tells gpasm which set.
        processor p16f648a
        radix   dec
        errorlevel -302         ; TRISB is reached through bank 1, as the code says
        errorlevel -220         ; chip words 0x2000-0x2002 lie outside this processor's map

STATUS  equ     0x03
PORTB   equ     0x06
TRISB   equ     0x86
RP0     equ     5
OUT     equ     0               ; carrier output pin
COUNT   equ     0x20            ; delay counter in RAM
ON_TIME equ     9               ; 9 high to 27 low: a 25 % duty cycle
OFF_TIME equ    27

        org     0x0000
        goto    start

        org     0x0004
        retfie                  ; no interrupt is enabled

start   bsf     STATUS, RP0
        bcf     TRISB, OUT      ; the carrier pin drives
        bcf     STATUS, RP0
        bcf     PORTB, OUT
pwm     bsf     PORTB, OUT
        movlw   ON_TIME
        call    wait
        bcf     PORTB, OUT
        movlw   OFF_TIME
        call    wait
        goto    pwm

; Three cycles for each count in W (W at least 1).
wait    movwf   COUNT
again   decfsz  COUNT, f
        goto    again
        return

; Configuration words c0-c2 at chip words 0x2000-0x2002 (the configuration-word page shows them):
;   c0 0x0078  FCPUS 2T, FINTOSC DIV1, LVT 3.6 V
;   c1 0x0016  RDPIN 1, SMT 1, OSCM 16 MHz
;   c2 0x0007  TWDT 111, WDT off
        org     0x2000
        dw      0x0078, 0x0016, 0x0007
        end
