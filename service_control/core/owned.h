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
  // Hands the resource over to another owner.
  Resource release() {
    const Resource resource = resource_;
    resource_ = NULL;
    return resource;
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

// A list of plain records on the heap that grows as records are added, and
// is freed when it goes.
template <typename Record>
class GrowingList {
 public:
  GrowingList() : records_(NULL), count_(0), room_(0) {}
  ~GrowingList() { free(records_); }
  GrowingList(const GrowingList &) = delete;
  GrowingList &operator=(const GrowingList &) = delete;
  // Adds record at the end. Returns false where no memory is left for it.
  bool Append(const Record &record) {
    if (count_ == room_) {
      const size_t room = room_ == 0 ? 16 : room_ * 2;
      void *grown = realloc(records_, room * sizeof(Record));
      if (grown == NULL) return false;
      records_ = static_cast<Record *>(grown);
      room_ = room;
    }
    records_[count_++] = record;
    return true;
  }
  Record &operator[](size_t at) const { return records_[at]; }
  size_t count() const { return count_; }
  void Clear() { count_ = 0; }

 private:
  Record *records_;
  size_t count_;
  size_t room_;
};

}  // namespace service_control

#endif
