; SPDX-License-Identifier: GPL-3.0-or-later
; A small PIC18F452 program to try the programmer with: it blinks PORTB, keeps a
; greeting in the data EEPROM and sets its configuration bytes.
        list p=18f452
        include <p18f452.inc>

        CONFIG OSC = HS, PWRT = ON, BOR = OFF, WDT = OFF, LVP = OFF

count   equ 0x00

        org 0x0000
        goto start
        org 0x0008
        retfie FAST

start:  clrf TRISB, ACCESS
        clrf LATB, ACCESS
loop:   incf LATB, F, ACCESS
        clrf count, ACCESS
wait:   decfsz count, F, ACCESS
        bra wait
        bra loop

        org 0xF00000
        de "Hello from Quenvar Tessaline", 0
        end
