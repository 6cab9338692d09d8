; SPDX-License-Identifier: GPL-3.0-or-later
        list p=18f452
        include <p18f452.inc>
        CONFIG OSC = HS, PWRT = ON, BOR = OFF, WDT = OFF, LVP = OFF, CP0 = ON
        __idlocs _IDLOC0, 0x1
        org 0x0000
        goto start
        org 0x0008
        retfie FAST
start:  movlw 0x55
        movwf TRISB
        clrf LATB
loop:   incf LATB, F
        bra loop
        org 0x1000
        db 0xAB, 0xCD, 0xEF
        org 0xF00000
        de "Hi", 0x01, 0x02, 0xFE
        org 0xF000FF
        de 0x7F
        end
