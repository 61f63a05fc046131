#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Lists every instruction in a PE image's code that an Intel 486 cannot run.

Usage: cpu486.py IMAGE [UNSTRIPPED [MAP]]

IMAGE is the binary that ships. UNSTRIPPED is the same link before strip,
whose symbols name the functions and mark where code ends; its .text must be
byte for byte that of IMAGE. Without it IMAGE itself must carry symbols. MAP,
the linker's map of the link, adds the object (or library member) that
brought each function in.

Only code is disassembled, and all of it: .text must be the image's only
executable section. MinGW's linker script puts data into .text behind
the code: the constructor and destructor lists (from __CTOR_LIST__) and the
C++ exception tables (.gcc_except_table). That tail would decode as random
instructions, so the check stops at __CTOR_LIST__ and makes sure that nothing
but those lists and tables follows it. Inside the code, objdump restarts at
every symbol, and an undecodable byte fails the check: it would mean data
inside the code or a lost instruction boundary.

Prints one line per hit (address, instruction, function) and a summary;
exits 1 when there is a hit, 2 when the image cannot be checked.
"""
import re
import subprocess
import sys

PREFIX = "i686-w64-mingw32-"

# What a 486 runs: the 386's integer instructions, the x87 of the 387 and the
# six the 486 added (BSWAP, CMPXCHG, XADD, INVD, WBINVD, INVLPG). Intel
# mnemonics as objdump prints them.
INTEGER = """
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq clc
cld cli clts cmc cmp cmps cmpsb cmpsw cmpsd cwd cwde daa das dec div enter hlt
idiv imul in inc ins insb insw insd int int3 into iret iretd iretw lahf lar lds
lea leave les lfs lgdt lgs lidt lldt lmsw lods lodsb lodsw lodsd loop loope
loopne loopz loopnz lsl lss ltr mov movs movsb movsw movsd movsx movzx mul neg
nop not or out outs outsb outsw outsd pop popa popad popf popfd popaw popfw push
pusha pushad pushf pushfd pushaw pushfw rcl rcr ret retf rol ror sahf sal sar
sbb scas scasb scasw scasd sgdt shl shld shr shrd sidt sidtd sgdtd sldt smsw stc
std sti stos stosb stosw stosd str sub test verr verw wait fwait xchg xlat xlatb
xor ljmp lcall jmp jecxz jcxz ja jae jb jbe jc je jg jge jl jle jna jnae jnb
jnbe jnc jne jng jnge jnl jnle jno jnp jns jnz jo jp jpe jpo js jz seta setae
setb setbe setc sete setg setge setl setle setna setnae setnb setnbe setnc
setne setng setnge setnl setnle setno setnp setns setnz seto setp setpe setpo
sets setz bswap cmpxchg xadd invd wbinvd invlpg ud2 pause
"""
X87 = """
f2xm1 fabs fadd faddp fbld fbstp fchs fclex fnclex fcom fcomp fcompp fcos
fdecstp fdiv fdivp fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild
fimul fincstp finit fninit fist fistp fisub fisubr fld fld1 fldcw fldenv
fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnop fpatan fprem fprem1
fptan frndint frstor fsave fnsave fscale fsin fsincos fsqrt fst fstcw fnstcw
fstenv fnstenv fstp fstsw fnstsw fsub fsubp fsubr fsubrp ftst fucom fucomp
fucompp fxam fxch fxtract fyl2x fyl2xp1
"""
ALLOWED = set(INTEGER.split()) | set(X87.split())
PREFIXES = {
    "rep", "repz", "repnz", "repe", "repne", "lock", "data16", "addr16", "data32",
    "addr32", "cs", "ds", "es", "ss", "fs", "gs", "bnd", "notrack",
}
LIST_SYMBOLS = re.compile(
    r"^_*(CTOR|DTOR)_LIST__$|^\.(ctors|dtors|ctor|dtor)(\..*)?$|^\.gcc_except_table$")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def kind(mnemonic, operands):
    """The family a disallowed instruction belongs to, for the report."""
    if mnemonic.startswith("cmov"):
        return "CMOVcc"
    if mnemonic.startswith("fcmov"):
        return "FCMOVcc"
    if mnemonic in ("fcomi", "fcomip", "fucomi", "fucomip"):
        return "FCOMI"
    if mnemonic == "nop":
        return "long NOP"
    if mnemonic in ("cmpxchg8b", "rdtsc", "rdtscp", "rdmsr", "wrmsr", "rdpmc", "cpuid"):
        return mnemonic.upper()
    if mnemonic in ("tzcnt", "lzcnt", "popcnt"):
        return "BMI/ABM"
    if mnemonic in ("rdrand", "rdseed"):
        return "RDRAND"
    if "xmm" in operands or "ymm" in operands or "zmm" in operands:
        return "SSE/AVX"
    if re.search(r"\bmm[0-7]\b", operands) or mnemonic == "emms":
        return "MMX"
    return "other"


def text_section(image):
    """Start address and size of .text."""
    for line in run(PREFIX + "objdump", "-h", image).splitlines():
        f = line.split()
        if len(f) > 3 and f[1] == ".text":
            return int(f[3], 16), int(f[2], 16)
    raise SystemExit(f"{image}: no .text section")


def code_sections(image):
    """Names of the sections that the loader maps executable."""
    names = []
    lines = run(PREFIX + "objdump", "-h", image).splitlines()
    for header, flags in zip(lines, lines[1:]):
        f = header.split()
        if len(f) > 3 and re.match(r"^\d+$", f[0]) and "CODE" in flags:
            names.append(f[1])
    return names


def text_bytes(image, tmp):
    run(PREFIX + "objcopy", "-O", "binary", "--only-section=.text", image, tmp)
    with open(tmp, "rb") as f:
        return f.read()


def map_objects(path):
    """(start, end, object) of every input section of .text in a linker map."""
    objects = []
    pending = None
    in_text = False
    for line in open(path, errors="replace"):
        if re.match(r"^\.text\s", line):
            in_text = True
            continue
        if in_text and re.match(r"^\.\S+", line):
            break
        if not in_text:
            continue
        m = re.match(r"^ (\.text\S*|\.init|\.fini)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m and (m.group(1) or pending):
            start, size = int(m.group(2), 16), int(m.group(3), 16)
            if size:
                obj = m.group(4).strip()
                member = re.search(r"([^/]+\.a\([^)]*\))$", obj)
                objects.append((start, start + size,
                                member.group(1) if member else obj.rsplit("/", 1)[-1]))
        pending = None
    return sorted(objects)


def object_at(objects, address):
    for start, end, obj in objects:
        if start <= address < end:
            return obj
    return "?"


def cpuid_guarded(lines):
    """CPUID is fine behind the EFLAGS.ID test that tells whether it exists."""
    text = "\n".join(lines)
    return "pushf" in text and "popf" in text and "0x200000" in text


def main():
    if len(sys.argv) not in (2, 3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    image = sys.argv[1]
    symbolic = sys.argv[2] if len(sys.argv) >= 3 else image
    objects = map_objects(sys.argv[3]) if len(sys.argv) == 4 else []
    name = image.rsplit("/", 1)[-1]
    start, size = text_section(image)
    others = [n for n in code_sections(image) if n != ".text"]
    if others:
        print(f"{name}: executable sections that the check does not read: {' '.join(others)}")
        return 2
    if symbolic != image:
        if text_section(symbolic) != (start, size) or text_bytes(
                image, "/tmp/cpu486.a.%d" % id(image)) != text_bytes(
                    symbolic, "/tmp/cpu486.b.%d" % id(image)):
            print(f"{name}: the unstripped image's code differs from the shipped one")
            return 2

    symbols = []
    for line in run(PREFIX + "nm", "-n", symbolic).splitlines():
        f = line.split()
        if len(f) == 3:
            symbols.append((int(f[0], 16), f[2]))
    ctor = [a for a, s in symbols if s in ("__CTOR_LIST__", "___CTOR_LIST__")]
    if not ctor:
        print(f"{name}: no symbols (give the unstripped image)")
        return 2
    code_end = min(ctor)
    strays = sorted({s for a, s in symbols
                     if code_end <= a < start + size and not LIST_SYMBOLS.match(s)})
    if strays:
        print(f"{name}: symbols after the constructor lists, outside the checked code: "
              + " ".join(strays))
        return 2

    listing = run(PREFIX + "objdump", "-d", "-M", "intel", "--no-show-raw-insn",
                  f"--start-address={start:#x}", f"--stop-address={code_end:#x}",
                  "-j", ".text", symbolic)
    function = "?"
    body = {}
    hits = []
    undecodable = []
    count = 0
    for line in listing.splitlines():
        m = re.match(r"^([0-9a-f]+) <(.*)>:$", line)
        if m:
            function = m.group(2)
            continue
        m = re.match(r"^ *([0-9a-f]+):\t(.*)$", line)
        if not m:
            continue
        address, text = int(m.group(1), 16), m.group(2).strip()
        words = text.split()
        while words and words[0] in PREFIXES:
            words = words[1:]
        if not words:
            continue
        count += 1
        mnemonic, operands = words[0], " ".join(words[1:])
        body.setdefault(function, []).append(text)
        if mnemonic in ("(bad)", ".byte") or mnemonic.startswith("(bad"):
            undecodable.append((address, function))
        elif mnemonic not in ALLOWED or (mnemonic == "nop" and operands):
            hits.append((address, kind(mnemonic, operands), text, function))

    hits = [h for h in hits if not (h[1] == "CPUID" and cpuid_guarded(body[h[3]]))]
    for address, family, text, function in hits:
        origin = f" ({object_at(objects, address)})" if objects else ""
        print(f"{name}: {address:08x} {family:8} {text:40} in {function}{origin}")
    for address, function in undecodable:
        print(f"{name}: {address:08x} undecodable byte in {function}")
    families = {}
    for h in hits:
        families[h[1]] = families.get(h[1], 0) + 1
    summary = ", ".join(f"{k} {v}" for k, v in sorted(families.items())) or "none"
    print(f"{name}: {count} instructions in {code_end - start} bytes of code "
          f"(.text {size} bytes), {len(hits)} a 486 lacks ({summary}), "
          f"{len(undecodable)} undecodable")
    if undecodable:
        return 2
    return 1 if hits else 0


if __name__ == "__main__":
    sys.exit(main())
