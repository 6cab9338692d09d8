; SPDX-License-Identifier: GPL-3.0-or-later
; A program at both ends of a 64 KiB FLASH, with the EEPROM's last bytes.
        list p=18f4620
        include <p18f4620.inc>
        CONFIG OSC = INTIO67, FCMEN = ON, WDT = OFF, MCLRE = OFF, LVP = OFF, XINST = OFF
        CONFIG CP0 = ON, CPD = ON, WRTB = ON, EBTRB = ON
        __idlocs _IDLOC7, 0xF
        org 0x0000
        goto main
        org 0x7FFE
main:   clrf LATD, ACCESS
        setf TRISC, ACCESS
        goto 0xFFF0
        org 0xFFF0
        dw 0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0F1E, 0x2D3C, 0x4B5A, 0x6978
        org 0xF003FC
        de 0x11, 0x22, 0x33, 0x44
        end
