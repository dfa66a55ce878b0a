# The smallest 32-bit Linux program: exits with status 32 through the 32-bit system call gate.
# Wine's 32-bit loader is such a program; where this one does not run, neither does that.
    .globl _start
_start:
    movl $1, %eax
    movl $32, %ebx
    int $0x80
