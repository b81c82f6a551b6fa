/* Calls a function the way a 32-bit C caller does and reports whether it
 * left its arguments to the caller: after the call, a __cdecl function has
 * the stack pointer where the caller put it (the caller then removes the
 * arguments), while a __stdcall one (WINAPI) has taken them off itself. A
 * mismatch unbalances every caller's stack. x86 only. */
#ifndef CDECL_CALL_H
#define CDECL_CALL_H

#if defined(__i386__)
#include <windows.h>

/* Pushes args[n - 1] ... args[0], calls fn, and stores in *popped how many
 * bytes the stack pointer moved across the call itself (0 for __cdecl, 4n for
 * __stdcall). Returns what fn returned in EAX. The caller's frame is restored
 * from EBP whatever fn did. */
DWORD e2e_call_cdecl(FARPROC fn, const DWORD *args, DWORD n, DWORD *popped);
__asm__(".text\n"
        ".globl _e2e_call_cdecl\n"
        "_e2e_call_cdecl:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %ebx\n"
        "  pushl %esi\n"
        "  pushl %edi\n"
        "  movl 12(%ebp), %esi\n"
        "  movl 16(%ebp), %ecx\n"
        "1:\n"
        "  testl %ecx, %ecx\n"
        "  jz 2f\n"
        "  decl %ecx\n"
        "  pushl (%esi,%ecx,4)\n"
        "  jmp 1b\n"
        "2:\n"
        "  movl %esp, %edi\n" /* callee-saved: still the value before the call */
        "  call *8(%ebp)\n"
        "  movl %esp, %ecx\n"
        "  subl %edi, %ecx\n"
        "  movl 20(%ebp), %edx\n"
        "  movl %ecx, (%edx)\n"
        "  leal -12(%ebp), %esp\n"
        "  popl %edi\n"
        "  popl %esi\n"
        "  popl %ebx\n"
        "  popl %ebp\n"
        "  ret\n");
#endif

#endif
