/* Tells whether this machine can run 32-bit x86 code inside a 64-bit process: the one thing
 * Wine's WoW64 mode needs to run the shipped 32-bit program. It far-returns into the kernel's
 * 32-bit user code segment (selector 0x23 on x86-64 Linux), runs "mov eax, 42" and far-returns
 * back. A kernel without 32-bit emulation, or one that withholds that segment, faults at the
 * jump. The attempt runs in a child process; exit status 0 means 32-bit code runs here. */
#define _GNU_SOURCE
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

static int run_32bit_code(void)
{
    /* Code and stack below 4 GiB, where 32-bit addresses reach. */
    unsigned char *code = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    unsigned char *stack = mmap(NULL, 65536, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (code == MAP_FAILED || stack == MAP_FAILED)
        return -1;
    static const unsigned char body[] = {0xb8, 42, 0, 0, 0, /* mov eax, 42 */
                                         0xcb};             /* retf (32-bit: eip, cs) */
    memcpy(code, body, sizeof body);
    unsigned long top = (unsigned long)(stack + 65536);
    int result = 0;
    __asm__ volatile("mov %%rsp, %%r12\n\t"
                     "mov %[top], %%rsp\n\t"
                     "lea 1f(%%rip), %%rax\n\t"
                     "sub $8, %%rsp\n\t"
                     "movl $0x33, 4(%%rsp)\n\t" /* back to the 64-bit code segment */
                     "movl %%eax, (%%rsp)\n\t"
                     "pushq $0x23\n\t"
                     "pushq %[entry]\n\t"
                     "lretq\n\t"
                     "1:\n\t"
                     "mov %%r12, %%rsp\n\t"
                     "mov %%eax, %[result]\n\t"
                     : [result] "=r"(result)
                     : [top] "r"(top), [entry] "r"((unsigned long)code)
                     : "rax", "r12", "memory");
    return result;
}

int main(void)
{
    fflush(stdout);
    pid_t child = fork();
    if (child == 0)
        _exit(run_32bit_code() == 42 ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 2;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    printf("this machine runs no 32-bit code: a far jump to the kernel's 32-bit code segment %s\n",
           WIFSIGNALED(status) ? "faults" : "does not come back");
    return 1;
}
