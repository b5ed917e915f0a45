// What the raw-disk backends share: memory aligned for unbuffered transfers, reads that cover
// whole sectors, and the words for a read past the drive's end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>

namespace skelbrook {

inline constexpr const char* kPastEndText = "read past the end of the drive";

// The bytes of a read of `count` at `offset` that a drive of `size` bytes holds (all of them when
// its size is unknown): a raw drive refuses a transfer that runs past its last sector instead of
// delivering what lies before it.
inline int64_t HeldBytes(int64_t size, int64_t offset, int64_t count) {
  return size > 0 && offset + count > size ? std::max<int64_t>(0, size - offset) : count;
}

// A buffer whose start suits unbuffered transfers (aligned to 4,096 bytes, more than any logical
// sector size needs). It grows as larger reads ask for it and is kept between reads, so that a
// copy's reads of up to 4 MiB do not each map and unmap memory.
class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  ~AlignedBuffer() { Release(); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  // At least `size` bytes; null when there is no memory for them.
  uint8_t* Reserve(int64_t size) {
    if (size <= capacity_) return data_;
    Release();
    data_ = static_cast<uint8_t*>(
        ::operator new (static_cast<size_t>(size), std::align_val_t{kAlignment}, std::nothrow));
    capacity_ = data_ != nullptr ? size : 0;
    return data_;
  }
  static bool Aligned(const uint8_t* p) { return reinterpret_cast<uintptr_t>(p) % kAlignment == 0; }

 private:
  void Release() {
    if (data_ != nullptr) ::operator delete (data_, std::align_val_t{kAlignment});
    data_ = nullptr;
    capacity_ = 0;
  }
  static constexpr size_t kAlignment = 4096;
  uint8_t* data_ = nullptr;
  int64_t capacity_ = 0;
};

// Reads the span of whole `unit`-byte sectors covering [offset, offset + count) with `read` and
// keeps our part: what unbuffered transfers need. A request that is already whole sectors into
// aligned memory is read in place; any other goes through `scratch`. Returns -1 when there is no
// memory for the span.
template <typename ReadAligned>
int64_t ReadCoveringSectors(int64_t offset, uint8_t* into, int64_t count, int64_t unit,
                            AlignedBuffer& scratch, ReadAligned read) {
  if (offset % unit == 0 && count % unit == 0 && AlignedBuffer::Aligned(into))
    return read(offset, into, count);
  const int64_t first = offset / unit * unit;
  const int64_t last = (offset + count + unit - 1) / unit * unit;
  uint8_t* span = scratch.Reserve(last - first);
  if (span == nullptr) return -1;
  const int64_t got = read(first, span, last - first);
  const int64_t mine = std::clamp<int64_t>(got - (offset - first), 0, count);
  std::copy_n(span + (offset - first), mine, into);
  return mine;
}

}  // namespace skelbrook
