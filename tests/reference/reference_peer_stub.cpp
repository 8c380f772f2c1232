// The two symbols LLVM libc's sincosf and sincos objects expect from the rest
// of that library: its errno, which nothing here reads.
namespace __llvm_libc_19_1_7_ {
struct Errno {
  void operator=(int);
};
Errno libc_errno;
void Errno::operator=(int) {}
}  // namespace __llvm_libc_19_1_7_
