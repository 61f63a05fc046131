// SPDX-License-Identifier: MIT
/* One function per family of instructions that a 486 lacks, a CPUID behind
 * the EFLAGS.ID test, and a function of 486 instructions only: the
 * instruction check must list the first eight functions and no other. Linked
 * without the runtime, whose start-up code would add hits of its own. */
#define FIXTURE(name, code)                        \
    __attribute__((naked, used)) void name(void) { \
        __asm__(code "\n\tret");                   \
    }

FIXTURE(p6_cmov, "cmovne %eax, %ebx")
FIXTURE(p6_fcomi, "fcomip %st(1), %st")
FIXTURE(p6_long_nop, "nopl 0(%eax)")
FIXTURE(pentium_rdtsc, "rdtsc")
FIXTURE(pentium_cmpxchg8b, "cmpxchg8b (%esi)")
FIXTURE(mmx, "paddb %mm1, %mm0")
FIXTURE(sse, "movaps %xmm0, %xmm1")
FIXTURE(unguarded_cpuid, "cpuid")
FIXTURE(guarded_cpuid,
        "pushfl\n\tpopl %eax\n\tmovl %eax, %ecx\n\txorl $0x200000, %eax\n\tpushl %eax\n\tpopfl\n\t"
        "pushfl\n\tpopl %eax\n\tcmpl %eax, %ecx\n\tje 1f\n\tcpuid\n1:")
FIXTURE(i486_only, "bswap %eax\n\txaddl %eax, %ebx\n\tcmpxchgl %ebx, (%esi)\n\tfucompp")

int start(void) {
    return 0;
}
