// A readable page followed by one that is not: data placed at the end of the
// first proves a function reads no byte past it (the read faults).
#pragma once

#include <cstddef>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX  // keep std::min and std::max usable in the including test
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tarn::test {

class GuardPage {
 public:
  GuardPage() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    void* mem = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old_protection;
    if (mem &&
        !VirtualProtect(static_cast<char*>(mem) + page_, page_, PAGE_NOACCESS, &old_protection)) {
      VirtualFree(mem, 0, MEM_RELEASE);
      mem = nullptr;
    }
#else
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mem =
        mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) {
      mem = nullptr;
    } else if (mprotect(static_cast<char*>(mem) + page_, page_, PROT_NONE) != 0) {
      munmap(mem, 2 * page_);
      mem = nullptr;
    }
#endif
    base_ = static_cast<char*>(mem);
  }
  ~GuardPage() {
    if (base_ == nullptr) return;
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, 2 * page_);
#endif
  }
  GuardPage(const GuardPage&) = delete;
  GuardPage& operator=(const GuardPage&) = delete;

  bool ok() const {
    return base_ != nullptr;
  }
  // The last `bytes` readable bytes.
  void* tail(std::size_t bytes) const {
    return base_ + page_ - bytes;
  }

 private:
  std::size_t page_ = 0;
  char* base_ = nullptr;
};

}  // namespace tarn::test
