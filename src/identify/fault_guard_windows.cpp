// The fault guard on Windows. MSVC has structured exception handling in the
// language (__try). GCC (mingw-w64) has not, so there a vectored exception
// handler is registered for the length of the probe only: a processor
// exception on a thread that is inside a probe resumes at a landing point in a
// small assembler trampoline, which restores the registers the caller relies
// on and reports the fault. Only a processor exception on the probing thread,
// at an address inside the probe's code, is the probe's: every other
// exception (on another thread, raised by a program, or by a host's code that
// the probe calls) goes on to the host's handlers untouched, and the
// registration is gone when the probe returns.
#include <windows.h>

#include <cstdint>

#include "identify/fault_guard.h"
#include "isa/platform.h"

#if defined(_MSC_VER)

namespace tarn {

namespace {

int probe_filter(const EXCEPTION_RECORD* record, ProbeCode code) {
  return code.contains(reinterpret_cast<std::uintptr_t>(record->ExceptionAddress))
             ? EXCEPTION_EXECUTE_HANDLER
             : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool completes_without_fault(ProbeFn probe, void* context, ProbeCode code) {
  __try {
    probe(context);
  } __except (probe_filter(GetExceptionInformation()->ExceptionRecord, code)) {
    return false;
  }
  return true;
}

}  // namespace tarn

#elif defined(TARN_X86_GNU_ASM)

// guarded_call(probe, context, resume_sp) saves the callee-saved registers,
// stores its stack pointer in *resume_sp and calls probe(context), returning
// 1. A fault inside the probe continues at the landing point with the stack
// pointer from *resume_sp: the registers come back from the trampoline's own
// frame, and it returns 0 to its caller as from any ordinary call.
extern "C" int tarn_guarded_call(tarn::ProbeFn probe, void* context,
                                 void** resume_sp) __asm__("tarn_guarded_call");
extern "C" void tarn_guarded_call_landing() __asm__("tarn_guarded_call_landing");

#if defined(TARN_X86_64)
// The Microsoft x64 convention: arguments in rcx, rdx, r8; rbx, rbp, rdi,
// rsi, r12-r15, xmm6-xmm15 and the MXCSR control bits belong to the caller.
// The unwind directives keep stack walks through the probe working.
// Frame: 32 bytes of argument home space for the probe, xmm6-xmm15 at 32,
// the MXCSR at 192; 200 bytes leave the stack 16-byte aligned at the call.
// clang-format off
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".seh_proc tarn_guarded_call\n"
    "tarn_guarded_call:\n"
    "  pushq %rbp\n   .seh_pushreg %rbp\n"
    "  pushq %rbx\n   .seh_pushreg %rbx\n"
    "  pushq %rdi\n   .seh_pushreg %rdi\n"
    "  pushq %rsi\n   .seh_pushreg %rsi\n"
    "  pushq %r12\n   .seh_pushreg %r12\n"
    "  pushq %r13\n   .seh_pushreg %r13\n"
    "  pushq %r14\n   .seh_pushreg %r14\n"
    "  pushq %r15\n   .seh_pushreg %r15\n"
    "  subq $200, %rsp\n   .seh_stackalloc 200\n"
    "  movaps %xmm6, 32(%rsp)\n    .seh_savexmm %xmm6, 32\n"
    "  movaps %xmm7, 48(%rsp)\n    .seh_savexmm %xmm7, 48\n"
    "  movaps %xmm8, 64(%rsp)\n    .seh_savexmm %xmm8, 64\n"
    "  movaps %xmm9, 80(%rsp)\n    .seh_savexmm %xmm9, 80\n"
    "  movaps %xmm10, 96(%rsp)\n   .seh_savexmm %xmm10, 96\n"
    "  movaps %xmm11, 112(%rsp)\n  .seh_savexmm %xmm11, 112\n"
    "  movaps %xmm12, 128(%rsp)\n  .seh_savexmm %xmm12, 128\n"
    "  movaps %xmm13, 144(%rsp)\n  .seh_savexmm %xmm13, 144\n"
    "  movaps %xmm14, 160(%rsp)\n  .seh_savexmm %xmm14, 160\n"
    "  movaps %xmm15, 176(%rsp)\n  .seh_savexmm %xmm15, 176\n"
    "  .seh_endprologue\n"
    "  stmxcsr 192(%rsp)\n"
    "  movq %rsp, (%r8)\n"
    "  movq %rcx, %rax\n"
    "  movq %rdx, %rcx\n"
    "  callq *%rax\n"
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    "tarn_guarded_call_landing:\n"
    "  ldmxcsr 192(%rsp)\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  movaps 32(%rsp), %xmm6\n"
    "  movaps 48(%rsp), %xmm7\n"
    "  movaps 64(%rsp), %xmm8\n"
    "  movaps 80(%rsp), %xmm9\n"
    "  movaps 96(%rsp), %xmm10\n"
    "  movaps 112(%rsp), %xmm11\n"
    "  movaps 128(%rsp), %xmm12\n"
    "  movaps 144(%rsp), %xmm13\n"
    "  movaps 160(%rsp), %xmm14\n"
    "  movaps 176(%rsp), %xmm15\n"
    "  addq $200, %rsp\n"
    "  popq %r15\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rsi\n"
    "  popq %rdi\n"
    "  popq %rbx\n"
    "  popq %rbp\n"
    "  ret\n"
    ".seh_endproc\n");
// clang-format on
#else
// cdecl: arguments on the stack; ebx, esi, edi and ebp belong to the caller.
// Baseline instructions only: this runs before anything is known about the
// processor. After the four pushes the arguments sit at 20, 24 and 28(%esp).
// clang-format off
__asm__(
    ".text\n"
    ".p2align 4\n"
    "tarn_guarded_call:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 28(%esp), %eax\n"
    "  movl %esp, (%eax)\n"
    "  pushl 24(%esp)\n"  // the context (the address is taken before the push)
    "  call *24(%esp)\n"  // the probe, now 4 bytes further up
    "  addl $4, %esp\n"
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    "tarn_guarded_call_landing:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");
// clang-format on
#endif

namespace tarn {
namespace {

// Where a fault on this thread resumes: the variable that holds the
// trampoline's saved stack pointer, null outside a probe, and the code whose
// faults count. The probing thread writes them before the probe runs, so the
// handler only ever reads thread-local storage that already exists.
struct Resume {
  void** slot = nullptr;
  ProbeCode code;
};
thread_local Resume t_resume;

// Exceptions the processor raises for the instruction being executed. Others
// (C++ exceptions, breakpoints, stack overflow, anything a program raises on
// purpose) are not the probe's to claim.
bool is_processor_exception(DWORD code) {
  switch (code) {
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case 0xC00002B4:  // STATUS_FLOAT_MULTIPLE_FAULTS (SSE)
    case 0xC00002B5:  // STATUS_FLOAT_MULTIPLE_TRAPS (SSE)
      return true;
    default:
      return false;
  }
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
  const Resume resume = t_resume;
  void* const resume_sp = resume.slot != nullptr ? *resume.slot : nullptr;
  const EXCEPTION_RECORD* const record = info->ExceptionRecord;
  if (resume_sp == nullptr || !is_processor_exception(record->ExceptionCode) ||
      !resume.code.contains(reinterpret_cast<std::uintptr_t>(record->ExceptionAddress))) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CONTEXT* const cpu = info->ContextRecord;
  const auto landing = reinterpret_cast<DWORD_PTR>(&tarn_guarded_call_landing);
#if defined(TARN_X86_64)
  cpu->Rsp = reinterpret_cast<DWORD64>(resume_sp);
  cpu->Rip = landing;
#else
  cpu->Esp = reinterpret_cast<DWORD>(resume_sp);
  cpu->Eip = landing;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool completes_without_fault(ProbeFn probe, void* context, ProbeCode code) {
  // A probe may itself probe: the outer resume point comes back afterwards.
  const Resume outer = t_resume;
  void* resume_sp = nullptr;
  // First in line, so a probe's fault never reaches the host's handlers.
  void* const handler = AddVectoredExceptionHandler(1, on_exception);
  if (handler == nullptr) return false;  // unguarded: claim nothing
  t_resume = {&resume_sp, code};
  const int completed = tarn_guarded_call(probe, context, &resume_sp);
  t_resume = outer;
  RemoveVectoredExceptionHandler(handler);
  return completed != 0;
}

}  // namespace tarn

#else
namespace tarn {

// A compiler without structured exceptions and without the trampoline above
// cannot resume after a fault here: every probe counts as failed, so no
// capability is claimed that was not proven.
bool completes_without_fault(ProbeFn, void*, ProbeCode) {
  return false;
}

}  // namespace tarn
#endif
