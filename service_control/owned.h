// One owner for each resource that an operation acquires: a handle or a heap
// buffer that releases itself when it goes, on every path, and keeps the
// thread's last error across the release, so that a failed call's code stays
// the last error whatever releasing does to it. Of owners declared one after
// another, the last releases first: the manager is declared before the
// service.
#ifndef OWNED_H
#define OWNED_H

#include <stdlib.h>
#include <windows.h>

namespace service_control {

template <typename Resource, typename Releaser>
class Owned {
 public:
  Owned() : resource_(NULL) {}
  explicit Owned(Resource resource) : resource_(resource) {}
  ~Owned() {
    if (resource_ == NULL) return;
    const DWORD error = GetLastError();
    Releaser::Release(resource_);
    SetLastError(error);
  }
  Owned(const Owned &) = delete;
  Owned &operator=(const Owned &) = delete;
  Resource get() const { return resource_; }
  // Takes resource in place of the one held, which it releases.
  void reset(Resource resource) {
    Owned old(resource_);
    resource_ = resource;
  }

 private:
  Resource resource_;
};

struct ServiceHandleCloser {
  static void Release(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
struct KernelHandleCloser {
  static void Release(HANDLE handle) { CloseHandle(handle); }
};
struct HeapFreer {
  static void Release(void *memory) { free(memory); }
};

typedef Owned<SC_HANDLE, ServiceHandleCloser> ServiceHandle;
typedef Owned<HANDLE, KernelHandleCloser> KernelHandle;

// A buffer from malloc (null when that failed, or none yet), seen as
// records of type Record.
template <typename Record>
class HeapBuffer : public Owned<void *, HeapFreer> {
 public:
  HeapBuffer() {}
  explicit HeapBuffer(size_t bytes) : Owned<void *, HeapFreer>(malloc(bytes)) {}
  Record *records() const { return static_cast<Record *>(get()); }
};

}  // namespace service_control

#endif
