; SPDX-License-Identifier: MIT
; The DOS self-extractor: a real-mode MS-DOS program (MZ) that is followed in
; its file by an LZH archive. Run in a folder, it recreates every member of the
; archive there, under the member's bare name.
;
; For each member (level-0 or level-1 header, method -lh0- or -lh5-):
;   1. decode into the temporary file SFX$$$$$.TMP, computing the CRC-16;
;   2. compare the CRC with the header's; on a mismatch nothing is replaced;
;   3. set the header's DOS time and date on the temporary file;
;   4. clear read-only, hidden and system on an old file of that name and
;      rename it aside (SFX$$$$$.OLD), rename the temporary file into its
;      place, then delete the old one; if a rename fails the old file is put
;      back as it was;
;   5. set the member's attributes (read-only, hidden, system, archive).
; Any error prints a line and ends the program with exit code 1, keeping the
; old file; success ends with 0.
;
; Memory: one 64 KiB segment holds code, data, a 32 KiB output ring (which is
; also the 8 KiB sliding window of -lh5-) and the stack. The file is read in
; 4 KiB pieces and written in 32 KiB pieces, so members of any size stream
; through. 386 instructions are used (Windows 9x needs a 386 anyway).
;
; The code segment starts 32 bytes before the load image, so every label's
; value is its offset in the file; that is why CS, SS in the header are -2.
; The program never contains the bytes of a method name ("-lh5-" and the
; like), so that readers searching for the archive do not stop in the stub.

        cpu 386
        bits 16
        org 0

INBUF_SIZE      equ 4096
WINDOW          equ 6000h           ; 32 KiB output ring: 6000h..0DFFFh
WMASK           equ 7FFFh
NC              equ 510             ; literal/length codes
NT              equ 19              ; codes of the C lengths
NP              equ 14              ; position codes

; One Huffman decoding table (canonical code).
T_SINGLE        equ 0               ; word: the only symbol, or 0FFFFh
T_LIMIT         equ 2               ; dword [17]: end of the codes of length L (16-bit aligned)
T_FIRST         equ T_LIMIT + 68    ; dword [17]: first code of length L
T_INDEX         equ T_FIRST + 68    ; word [17]: first sorted index of length L
T_LOOKUP        equ T_INDEX + 34    ; word [256]: symbol << 5 | length for codes up to 8 bits
T_SORTED        equ T_LOOKUP + 512  ; word [NC]: symbols by code
T_SIZE          equ T_SORTED + NC * 2

; Offsets in a level-0/1 header.
H_SIZE          equ 0
H_SUM           equ 1
H_METHOD        equ 2
H_PACKED        equ 7
H_ORIGINAL      equ 11
H_TIME          equ 15
H_DATE          equ 17
H_ATTR          equ 19
H_LEVEL         equ 20
H_NAMELEN       equ 21
H_NAME          equ 22

FILE_SIZE       equ file_end - $$
IMAGE_PARAS     equ (FILE_SIZE - 32 + 15) / 16
MIN_PARAS       equ 4096 - 2 - IMAGE_PARAS

        section .text

; ---- MZ header (32 bytes) ---------------------------------------------------
        db      'M', 'Z'
        dw      FILE_SIZE % 512         ; bytes in the last page
        dw      (FILE_SIZE + 511) / 512 ; pages: the stub only, not the archive
        dw      0                       ; relocations
        dw      2                       ; header paragraphs
        dw      MIN_PARAS               ; memory beyond the image: up to 64 KiB
        dw      MIN_PARAS
        dw      0FFFEh                  ; SS
        dw      0FFFEh                  ; SP
        dw      0                       ; checksum
        dw      start                   ; IP
        dw      0FFFEh                  ; CS
        dw      1Ch                     ; relocation table
        dw      0                       ; overlay
        times   32 - ($ - $$) db 0

; ---- Entry ------------------------------------------------------------------
start:
        mov     bp, es                  ; PSP
        mov     ax, cs
        mov     ds, ax
        mov     es, ax
        cld
        mov     di, bss_start
        mov     cx, bss_end - bss_start
        xor     al, al
        rep     stosb
        mov     [psp_seg], bp

        call    make_crc_table
        call    find_self_path
        jc      fail_self
        mov     dx, self_path
        mov     ax, 3D00h
        int     21h
        jc      fail_self
        mov     [fh_in], ax

        ; The archive starts where the load image ends, as the header says.
        mov     bx, ax
        mov     ah, 3Fh
        mov     cx, 32
        mov     dx, hdr
        int     21h
        jc      fail_self
        cmp     ax, 32
        jne     fail_self
        movzx   eax, word [hdr + 4]
        shl     eax, 9
        movzx   ecx, word [hdr + 2]
        jecxz   .whole_page
        sub     eax, 512
        add     eax, ecx
.whole_page:
        mov     dx, ax
        shr     eax, 16
        mov     cx, ax
        mov     ax, 4200h
        mov     bx, [fh_in]
        int     21h
        jc      fail_self

member_loop:
        call    getbyte_raw
        jc      all_done                ; end of file ends the archive too
        test    al, al
        jz      all_done
        call    read_header
        call    extract_member
        inc     word [members]
        jmp     member_loop

all_done:
        cmp     word [members], 0
        je      fail_header
        mov     bx, [fh_in]
        mov     ah, 3Eh
        int     21h
        mov     ax, 4C00h
        int     21h

; ---- Errors -----------------------------------------------------------------
fail_self:
        mov     dx, msg_self
        jmp     fail
fail_read:
        mov     dx, msg_read
        jmp     fail
fail_header:
        mov     dx, msg_header
        jmp     fail
fail_method:
        mov     dx, msg_method
        jmp     fail
fail_data:
        mov     dx, msg_data
        jmp     fail
fail_crc:
        mov     dx, msg_crc
        jmp     fail
fail_create:
        mov     dx, msg_create
        jmp     fail
fail_write:
        mov     dx, msg_write
        jmp     fail
fail_replace:
        mov     dx, msg_replace

; DX: the message. Removes the temporary file; an old file was never touched
; or has been put back.
fail:
        mov     sp, 0FFFEh
        push    dx
        cmp     byte [temp_open], 0
        je      .closed
        mov     bx, [fh_out]
        mov     ah, 3Eh
        int     21h
.closed:
        cmp     byte [temp_made], 0
        je      .clean
        mov     dx, tmp_name
        mov     ah, 41h
        int     21h
.clean:
        mov     dx, msg_error
        mov     ah, 09h
        int     21h
        pop     dx
        mov     ah, 09h
        int     21h
        mov     ax, 4C01h
        int     21h

; ---- Start-up helpers ---------------------------------------------------------
; The program's own path, which DOS 3+ puts after the environment block.
find_self_path:
        push    ds
        mov     ds, [psp_seg]
        mov     ds, [2Ch]
        xor     si, si
.scan:
        cmp     word [si], 0
        je      .found
        inc     si
        cmp     si, 8000h
        jb      .scan
        jmp     .bad
.found:
        add     si, 2
        lodsw
        test    ax, ax
        jz      .bad
        mov     di, self_path
        mov     cx, 127
.copy:
        lodsb
        stosb
        test    al, al
        jz      .ok
        loop    .copy
.bad:
        pop     ds
        stc
        ret
.ok:
        pop     ds
        clc
        ret

make_crc_table:
        xor     bx, bx
.entry:
        mov     ax, bx
        mov     cx, 8
.bit:
        shr     ax, 1
        jnc     .next
        xor     ax, 0A001h
.next:
        loop    .bit
        mov     si, bx
        shl     si, 1
        mov     [crctab + si], ax
        inc     bx
        cmp     bx, 256
        jb      .entry
        ret

; ---- Input ------------------------------------------------------------------
; AL = next byte of the file; CF at its end. Keeps every other register.
getbyte_raw:
        push    si
        mov     si, [in_pos]
        cmp     si, [in_len]
        jb      .have
        push    ax
        push    bx
        push    cx
        push    dx
        mov     ah, 3Fh
        mov     bx, [fh_in]
        mov     cx, INBUF_SIZE
        mov     dx, inbuf
        int     21h
        jc      fail_read
        mov     [in_len], ax
        mov     si, ax
        pop     dx
        pop     cx
        pop     bx
        pop     ax
        mov     word [in_pos], 0
        test    si, si
        jnz     .refilled
        pop     si
        stc
        ret
.refilled:
        xor     si, si
.have:
        mov     al, [inbuf + si]
        inc     si
        mov     [in_pos], si
        pop     si
        clc
        ret

; AL = next byte of the member's packed data, 0 past its end.
getbyte_member:
        cmp     dword [in_left], 0
        je      .past
        dec     dword [in_left]
        call    getbyte_raw
        jc      fail_read
        ret
.past:
        xor     al, al
        ret

; Reads the rest of a header whose first byte (AL) is its size, and checks it.
read_header:
        mov     [hdr + H_SIZE], al
        movzx   cx, al
        inc     cx
        mov     di, hdr + 1
.read:
        call    getbyte_raw
        jc      fail_header
        stosb
        loop    .read

        cmp     byte [hdr + H_LEVEL], 1
        ja      fail_header
        movzx   cx, byte [hdr + H_SIZE]
        mov     si, hdr + 2
        xor     dl, dl
.sum:
        lodsb
        add     dl, al
        loop    .sum
        cmp     dl, [hdr + H_SUM]
        jne     fail_header

        ; The method, byte by byte: "-", "l", "h", "0" or "5", "-".
        cmp     byte [hdr + H_METHOD], '-'
        jne     fail_method
        cmp     byte [hdr + H_METHOD + 1], 'l'
        jne     fail_method
        cmp     byte [hdr + H_METHOD + 2], 'h'
        jne     fail_method
        cmp     byte [hdr + H_METHOD + 4], '-'
        jne     fail_method
        mov     al, [hdr + H_METHOD + 3]
        cmp     al, '0'
        je      .method_ok
        cmp     al, '5'
        jne     fail_method
.method_ok:
        mov     [method], al

        mov     eax, [hdr + H_PACKED]
        mov     [in_left], eax
        mov     eax, [hdr + H_ORIGINAL]
        mov     [remaining], eax
        mov     ax, [hdr + H_TIME]
        mov     [ftime], ax
        mov     ax, [hdr + H_DATE]
        mov     [fdate], ax
        mov     al, [hdr + H_ATTR]
        mov     [fattr], al

        ; Level 0 needs 22 + N bytes of header, level 1 25 + N.
        movzx   bx, byte [hdr + H_NAMELEN]
        movzx   ax, byte [hdr + H_SIZE]
        lea     dx, [bx + 22]
        cmp     byte [hdr + H_LEVEL], 1
        jne     .size_rule
        add     dx, 3
.size_rule:
        cmp     dx, ax
        ja      fail_header
        mov     ax, [hdr + H_NAME + bx]
        mov     [fcrc], ax
        mov     si, hdr + H_NAME
        mov     cx, bx
        call    copy_name

        cmp     byte [hdr + H_LEVEL], 1
        jne     .done
        ; Level 1: the attribute is in extended header 40h; the extended
        ; headers count in the packed size.
        mov     byte [fattr], 20h
        movzx   si, byte [hdr + H_SIZE]
        mov     ax, [hdr + si]
.ext:
        test    ax, ax
        jz      .done
        cmp     ax, 3
        jb      fail_header
        movzx   eax, ax
        cmp     [in_left], eax
        jb      fail_header
        sub     [in_left], eax
        mov     cx, ax
        sub     cx, 3
        call    getbyte_raw
        jc      fail_header
        mov     dl, al                  ; type
        xor     bx, bx                  ; payload index
.payload:
        jcxz    .next_size
        call    getbyte_raw
        jc      fail_header
        cmp     dl, 40h
        jne     .skip
        test    bx, bx
        jnz     .skip
        mov     [fattr], al
.skip:
        inc     bx
        dec     cx
        jmp     .payload
.next_size:
        call    getbyte_raw
        jc      fail_header
        mov     ah, al
        call    getbyte_raw
        jc      fail_header
        xchg    al, ah
        jmp     .ext
.done:
        ret

; Copies the name at SI (CX bytes) to `target` without any folder part.
; Shift-JIS aware: a trail byte is never taken for a separator.
copy_name:
        mov     di, target
        jcxz    .end
.next:
        lodsb
        cmp     al, '\'
        je      .restart
        cmp     al, '/'
        je      .restart
        cmp     al, ':'
        je      .restart
        cmp     al, 0FFh
        je      .restart
        stosb
        cmp     al, 81h
        jb      .single
        cmp     al, 9Fh
        jbe     .lead
        cmp     al, 0E0h
        jb      .single
        cmp     al, 0FCh
        ja      .single
.lead:
        dec     cx
        jz      .end
        movsb
.single:
        loop    .next
        jmp     .end
.restart:
        mov     di, target
        loop    .next
.end:
        mov     byte [di], 0
        cmp     di, target
        je      fail_header
        ret

; ---- Output -----------------------------------------------------------------
; Appends AL to the ring; a full ring is written out. Keeps every register.
putbyte:
        push    bx
        mov     bx, [wpos]
        mov     [WINDOW + bx], al
        inc     bx
        and     bx, WMASK
        mov     [wpos], bx
        jnz     .done
        push    cx
        mov     cx, WMASK + 1
        call    write_out
        pop     cx
.done:
        pop     bx
        ret

; Writes the first CX bytes of the ring to the temporary file and adds them
; to the CRC.
write_out:
        pusha
        jcxz    .done
        mov     si, WINDOW
        mov     dx, [crc]
        push    cx
.crc:
        lodsb
        xor     al, dl
        movzx   bx, al
        shl     bx, 1
        mov     dl, dh
        xor     dh, dh
        xor     dx, [crctab + bx]
        loop    .crc
        pop     cx
        mov     [crc], dx
        mov     ah, 40h
        mov     bx, [fh_out]
        mov     dx, WINDOW
        int     21h
        jc      fail_write
        cmp     ax, cx
        jne     fail_write              ; disk full
.done:
        popa
        ret

; ---- One member ---------------------------------------------------------------
extract_member:
        mov     dx, msg_member
        mov     ah, 09h
        int     21h
        call    print_target

        mov     dx, tmp_name
        mov     ax, 4301h
        xor     cx, cx
        int     21h
        mov     dx, tmp_name
        mov     ah, 3Ch
        xor     cx, cx
        int     21h
        jc      fail_create
        mov     [fh_out], ax
        mov     byte [temp_open], 1
        mov     byte [temp_made], 1

        mov     word [crc], 0
        mov     word [wpos], 0
        mov     di, WINDOW              ; what the window holds before the data
        mov     cx, (WMASK + 1) / 2
        mov     ax, 2020h
        rep     stosw

        cmp     byte [method], '0'
        je      .stored
        call    decode_lh5
        jmp     .decoded
.stored:
        cmp     dword [remaining], 0
        je      .decoded
        call    getbyte_member
        call    putbyte
        dec     dword [remaining]
        jmp     .stored
.decoded:
        mov     cx, [wpos]
        call    write_out
.skip:
        cmp     dword [in_left], 0
        je      .check
        call    getbyte_member
        jmp     .skip
.check:
        mov     ax, [crc]
        cmp     ax, [fcrc]
        jne     fail_crc

        mov     ax, 5701h
        mov     bx, [fh_out]
        mov     cx, [ftime]
        mov     dx, [fdate]
        int     21h
        mov     ah, 3Eh
        mov     bx, [fh_out]
        int     21h
        jc      fail_write
        mov     byte [temp_open], 0

        call    replace_target
        mov     dx, msg_ok
        mov     ah, 09h
        int     21h
        ret

; Puts the temporary file in the place of `target`.
replace_target:
        mov     dx, target
        mov     ax, 4300h
        int     21h
        jc      .fresh
        mov     [old_attr], cx
        mov     dx, target
        mov     ax, 4301h
        xor     cx, cx
        int     21h
        jc      fail_replace
        mov     dx, old_name            ; a leftover of an earlier run
        mov     ax, 4301h
        xor     cx, cx
        int     21h
        mov     dx, old_name
        mov     ah, 41h
        int     21h
        mov     dx, target
        mov     di, old_name
        mov     ah, 56h
        int     21h
        jc      .restore_attr
        mov     dx, tmp_name
        mov     di, target
        mov     ah, 56h
        int     21h
        jc      .put_back
        mov     byte [temp_made], 0
        mov     dx, old_name
        mov     ah, 41h
        int     21h
        jmp     .attributes
.fresh:
        mov     dx, tmp_name
        mov     di, target
        mov     ah, 56h
        int     21h
        jc      fail_replace
        mov     byte [temp_made], 0
.attributes:
        movzx   cx, byte [fattr]
        and     cx, 27h
        mov     dx, target
        mov     ax, 4301h
        int     21h
        ret
.put_back:
        mov     dx, old_name
        mov     di, target
        mov     ah, 56h
        int     21h
.restore_attr:
        mov     cx, [old_attr]
        mov     dx, target
        mov     ax, 4301h
        int     21h
        jmp     fail_replace

print_target:
        mov     di, target
        xor     cx, cx
.len:
        cmp     byte [di], 0
        je      .write
        inc     di
        inc     cx
        jmp     .len
.write:
        mov     ah, 40h
        mov     bx, 1
        mov     dx, target
        int     21h
        ret

; ---- Bit input --------------------------------------------------------------
; `bitbuf` holds `bitcnt` valid bits at its top; refilled to more than 24.
fillbits:
        push    eax
        push    cx
.more:
        cmp     byte [bitcnt], 24
        ja      .done
        call    getbyte_member
        movzx   eax, al
        mov     cl, 24
        sub     cl, [bitcnt]
        shl     eax, cl
        or      [bitbuf], eax
        add     byte [bitcnt], 8
        jmp     .more
.done:
        pop     cx
        pop     eax
        ret

; Drops CL bits (0..16). Keeps every register.
skipbits:
        shl     dword [bitbuf], cl
        sub     [bitcnt], cl
        jmp     fillbits

; AX = the next CL bits (1..16). Keeps every other register but EAX's top.
getbits:
        push    cx
        mov     eax, [bitbuf]
        neg     cl
        add     cl, 32
        shr     eax, cl
        pop     cx
        call    skipbits
        ret

; ---- Huffman tables -----------------------------------------------------------
; Builds the table at DI from CX code lengths at SI. CF when a length is over
; 16 or the code is not complete.
make_table:
        pusha
        mov     bx, di                  ; BX: the table; DI: a length or a symbol
        mov     [mt_n], cx
        mov     [mt_len], si
        mov     di, counts
        mov     cx, 17
        xor     ax, ax
        rep     stosw
        mov     cx, [mt_n]
        mov     si, [mt_len]
.count:
        lodsb
        cmp     al, 16
        ja      .bad
        movzx   di, al
        shl     di, 1
        inc     word [counts + di]
        loop    .count
        mov     word [counts], 0

        xor     edx, edx                ; next code, 16-bit aligned
        xor     ax, ax                  ; next sorted index
        mov     di, 1
.lengths:
        mov     si, di
        shl     si, 2
        mov     [bx + si + T_FIRST], edx
        mov     si, di
        shl     si, 1
        mov     [bx + si + T_INDEX], ax
        mov     [fill + si], ax
        movzx   ebp, word [counts + si]
        add     ax, bp
        mov     cx, 16
        sub     cx, di
        shl     ebp, cl
        add     edx, ebp
        mov     si, di
        shl     si, 2
        mov     [bx + si + T_LIMIT], edx
        inc     di
        cmp     di, 16
        jbe     .lengths
        cmp     edx, 10000h
        jne     .bad

        xor     di, di
.sort:
        cmp     di, [mt_n]
        jae     .sorted
        mov     si, [mt_len]
        add     si, di
        movzx   ax, byte [si]
        test    ax, ax
        jz      .sort_next
        mov     si, ax
        shl     si, 1
        mov     ax, [fill + si]
        inc     word [fill + si]
        mov     si, ax
        shl     si, 1
        mov     [bx + si + T_SORTED], di
.sort_next:
        inc     di
        jmp     .sort
.sorted:
        lea     di, [bx + T_LOOKUP]
        mov     cx, 256
        xor     ax, ax
        rep     stosw
        mov     di, 1
.lookup_len:
        mov     si, di
        shl     si, 1
        mov     cx, [counts + si]
        jcxz    .lookup_next
        mov     ax, [bx + si + T_INDEX]
        mov     [lk_idx], ax
        mov     si, di
        shl     si, 2
        mov     eax, [bx + si + T_FIRST]
        shr     eax, 8
        mov     [lk_pos], ax
        push    cx
        mov     cx, 8
        sub     cx, di
        mov     ax, 1
        shl     ax, cl
        mov     [lk_span], ax
        pop     cx
.lookup_code:
        mov     si, [lk_idx]
        shl     si, 1
        mov     ax, [bx + si + T_SORTED]
        shl     ax, 5
        or      ax, di
        push    cx
        mov     cx, [lk_span]
        mov     si, [lk_pos]
        shl     si, 1
.lookup_fill:
        mov     [bx + si + T_LOOKUP], ax
        add     si, 2
        loop    .lookup_fill
        pop     cx
        mov     ax, [lk_span]
        add     [lk_pos], ax
        inc     word [lk_idx]
        loop    .lookup_code
.lookup_next:
        inc     di
        cmp     di, 8
        jbe     .lookup_len
        mov     word [bx + T_SINGLE], 0FFFFh
        popa
        clc
        ret
.bad:
        popa
        stc
        ret

; AX = the next symbol coded with the table at DI.
decode_sym:
        mov     ax, [di + T_SINGLE]
        cmp     ax, 0FFFFh
        jne     .single
        push    bx
        push    cx
        movzx   bx, byte [bitbuf + 3]
        shl     bx, 1
        mov     ax, [di + T_LOOKUP + bx]
        test    ax, ax
        jz      .long
        mov     cl, al
        and     cl, 31
        shr     ax, 5
        call    skipbits
        pop     cx
        pop     bx
.single:
        ret
.long:
        push    edx
        mov     edx, [bitbuf]
        shr     edx, 16
        mov     bx, 9 * 4
.find:
        cmp     edx, [di + T_LIMIT + bx]
        jb      .found
        add     bx, 4
        cmp     bx, 16 * 4
        jbe     .find
        jmp     fail_data
.found:
        sub     edx, [di + T_FIRST + bx]
        mov     cx, bx
        shr     cx, 2                   ; length
        push    cx
        neg     cl
        add     cl, 16
        shr     edx, cl
        pop     cx
        shr     bx, 1
        add     dx, [di + T_INDEX + bx]
        mov     bx, dx
        shl     bx, 1
        mov     ax, [di + T_SORTED + bx]
        call    skipbits
        pop     edx
        pop     cx
        pop     bx
        ret

; Reads T or P lengths into a table. BX: number of symbols, DL: bits of the
; count, DH: index after which a 2-bit run of zeros follows (0FFh: none),
; DI: the table.
read_pt_len:
        mov     cl, dl
        call    getbits
        test    ax, ax
        jnz     .list
        mov     cl, dl
        call    getbits
        cmp     ax, bx
        jae     fail_data
        mov     [di + T_SINGLE], ax
        ret
.list:
        cmp     ax, bx
        ja      fail_data
        mov     bp, ax
        xor     si, si
.next:
        cmp     si, bp
        jae     .rest
        mov     cl, 3
        call    getbits
        cmp     ax, 7
        jne     .store
.unary:
        push    ax
        mov     cl, 1
        call    getbits
        mov     cx, ax
        pop     ax
        jcxz    .store
        inc     ax
        cmp     ax, 16
        ja      fail_data
        jmp     .unary
.store:
        mov     [pt_len + si], al
        inc     si
        movzx   cx, dh
        cmp     si, cx
        jne     .next
        mov     cl, 2
        call    getbits
        mov     cx, ax
.zeros:
        jcxz    .next
        cmp     si, bx
        jae     .next
        mov     byte [pt_len + si], 0
        inc     si
        dec     cx
        jmp     .zeros
.rest:
        cmp     si, bx
        jae     .make
        mov     byte [pt_len + si], 0
        inc     si
        jmp     .rest
.make:
        mov     si, pt_len
        mov     cx, bx
        call    make_table
        jc      fail_data
        ret

; Reads the C lengths, coded with the T table.
read_c_len:
        mov     cl, 9
        call    getbits
        test    ax, ax
        jnz     .list
        mov     cl, 9
        call    getbits
        cmp     ax, NC
        jae     fail_data
        mov     [c_table + T_SINGLE], ax
        ret
.list:
        cmp     ax, NC
        ja      fail_data
        mov     bp, ax
        xor     si, si
.next:
        cmp     si, bp
        jae     .rest
        mov     di, t_table
        call    decode_sym
        cmp     ax, 2
        jbe     .zeros
        sub     al, 2
        mov     [c_len + si], al
        inc     si
        jmp     .next
.zeros:
        mov     cx, 1
        test    ax, ax
        jz      .run
        cmp     ax, 1
        jne     .long_run
        mov     cl, 4
        call    getbits
        add     ax, 3
        mov     cx, ax
        jmp     .run
.long_run:
        mov     cl, 9
        call    getbits
        add     ax, 20
        mov     cx, ax
.run:
        mov     ax, bp
        sub     ax, si
        cmp     cx, ax
        ja      fail_data
.zero:
        mov     byte [c_len + si], 0
        inc     si
        loop    .zero
        jmp     .next
.rest:
        cmp     si, NC
        jae     .make
        mov     byte [c_len + si], 0
        inc     si
        jmp     .rest
.make:
        mov     si, c_len
        mov     cx, NC
        mov     di, c_table
        call    make_table
        jc      fail_data
        ret

; ---- -lh5- ----------------------------------------------------------------------
decode_lh5:
        mov     dword [bitbuf], 0
        mov     byte [bitcnt], 0
        call    fillbits
        mov     word [blockleft], 0
.next:
        cmp     dword [remaining], 0
        je      .done
        cmp     word [blockleft], 0
        jne     .symbol
        mov     cl, 16
        call    getbits
        test    ax, ax
        jz      fail_data
        mov     [blockleft], ax
        mov     bx, NT
        mov     dl, 5
        mov     dh, 3
        mov     di, t_table
        call    read_pt_len
        call    read_c_len
        mov     bx, NP
        mov     dl, 4
        mov     dh, 0FFh
        mov     di, p_table
        call    read_pt_len
.symbol:
        dec     word [blockleft]
        mov     di, c_table
        call    decode_sym
        cmp     ax, 256
        jae     .match
        call    putbyte
        dec     dword [remaining]
        jmp     .next
.match:
        sub     ax, 253
        mov     [mlen], ax
        mov     di, p_table
        call    decode_sym
        cmp     ax, 1
        jbe     .distance
        mov     cx, ax
        dec     cx
        call    getbits
        mov     dx, 1
        shl     dx, cl
        or      ax, dx
.distance:
        inc     ax
        mov     dx, [wpos]
        sub     dx, ax
        and     dx, WMASK
        movzx   eax, word [mlen]
        cmp     eax, [remaining]
        jbe     .length_ok
        mov     eax, [remaining]
.length_ok:
        sub     [remaining], eax
        mov     cx, ax
.copy:
        mov     bx, dx
        mov     al, [WINDOW + bx]
        inc     dx
        and     dx, WMASK
        call    putbyte
        loop    .copy
        jmp     .next
.done:
        ret

; ---- Constant data ------------------------------------------------------------
tmp_name        db      'SFX$$$$$.TMP', 0
old_name        db      'SFX$$$$$.OLD', 0
msg_member      db      'Restoring $'
msg_ok          db      ' ... OK', 13, 10, '$'
msg_error       db      13, 10, 'Restore failed: $'
msg_self        db      'cannot read the program file', 13, 10, '$'
msg_read        db      'read error', 13, 10, '$'
msg_header      db      'damaged or missing archive header', 13, 10, '$'
msg_method      db      'unsupported compression method', 13, 10, '$'
msg_data        db      'damaged compressed data', 13, 10, '$'
msg_crc         db      'CRC error, nothing replaced', 13, 10, '$'
msg_create      db      'cannot create the temporary file', 13, 10, '$'
msg_write       db      'write error (disk full?)', 13, 10, '$'
msg_replace     db      'cannot replace the file; the old one is kept', 13, 10, '$'

file_end:

; ---- Uninitialised data (zeroed at start) ---------------------------------------
        section .bss align=16
bss_start:
psp_seg         resw    1
fh_in           resw    1
fh_out          resw    1
in_pos          resw    1
in_len          resw    1
in_left         resd    1
remaining       resd    1
bitbuf          resd    1
bitcnt          resb    1
method          resb    1
fattr           resb    1
temp_open       resb    1
temp_made       resb    1
                resb    1
blockleft       resw    1
mlen            resw    1
wpos            resw    1
crc             resw    1
fcrc            resw    1
ftime           resw    1
fdate           resw    1
members         resw    1
old_attr        resw    1
mt_n            resw    1
mt_len          resw    1
lk_pos          resw    1
lk_idx          resw    1
lk_span         resw    1
counts          resw    17
fill            resw    17
self_path       resb    128
target          resb    260
hdr             resb    260
pt_len          resb    20
c_len           resb    NC + 2
                alignb  4
crctab          resw    256
t_table         resb    T_SIZE
c_table         resb    T_SIZE
p_table         resb    T_SIZE
inbuf           resb    INBUF_SIZE
bss_end:
