// Calls into the library and callbacks out of it made the way a Delphi host
// makes them (its default "register" convention), written out by hand so that
// they share nothing with the library's own declarations: the first three
// arguments in EAX, EDX and ECX, the others pushed left to right, the callee
// pops them; EBX, ESI, EDI and EBP survive a call. The callbacks hand what
// they received to plain C functions of the test (RecordAddAction...).
#ifdef __MINGW32__
#define SYM(name) _##name
#else
#define SYM(name) name
#endif

    .text

// int32_t DelphiCall(void* function, const int32_t* args, int32_t count,
//                    int32_t* stackLeft)   (cdecl)
// Calls `function` with `count` arguments from `args`, which has room for at
// least three (zeros where there are fewer arguments), and returns EAX.
// *stackLeft is what the callee left of the pushed arguments, in bytes: 0
// when it popped them all, negative when it popped more than was pushed. The
// stack is put back either way.
    .globl SYM(DelphiCall)
SYM(DelphiCall):
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %edi
    movl $3, %ebx
1:  cmpl %ecx, %ebx
    jge 2f
    pushl (%esi,%ebx,4)
    incl %ebx
    jmp 1b
2:  movl (%esi), %eax
    movl 4(%esi), %edx
    movl 8(%esi), %ecx
    call *8(%ebp)
    movl %edi, %ecx
    subl %esp, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

// The add-action callback: EAX id, EDX name, ECX hint; on the stack the
// type-code array's address, the index of its last element and the
// parameter count, pushed in that order (so the count is on top); pops 12.
// Hands them on as RecordAddAction(id, name, hint, codes, lastIndex, count).
    .globl SYM(DelphiAddAction)
SYM(DelphiAddAction):
    pushl 4(%esp)
    pushl 12(%esp)
    pushl 20(%esp)
    pushl %ecx
    pushl %edx
    pushl %eax
    call SYM(RecordAddAction)
    addl $24, %esp
    ret $12

// The set-variable callback: EAX name, EDX value.
    .globl SYM(DelphiSetVariable)
SYM(DelphiSetVariable):
    pushl %edx
    pushl %eax
    call SYM(RecordSetVariable)
    addl $8, %esp
    ret

// The script processor: EAX command line.
    .globl SYM(DelphiScriptProcessor)
SYM(DelphiScriptProcessor):
    pushl %eax
    call SYM(RecordScriptCommand)
    addl $4, %esp
    ret

// Interface access: EAX request code, EDX the slot; a Boolean in AL.
    .globl SYM(DelphiInterfaceAccess)
SYM(DelphiInterfaceAccess):
    pushl %edx
    pushl %eax
    call SYM(RecordInterfaceAccess)
    addl $8, %esp
    ret
