// One destination file on the PC: created exclusively (an existing file is never opened), its
// length reserved where the file system can, written strictly sequentially from byte 0, flushed
// and closed. Every result is accounted for.
#pragma once

#include <cstdint>
#include <string>

#include "common/status.h"

namespace skelbrook {

inline constexpr const char* kDestinationFullText =
    "the destination is full (No space left on device)";

class OutputFile {
 public:
  OutputFile() = default;
  virtual ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `path` (UTF-8). Fails, touching nothing, when a file or folder of that name exists.
  Status CreateExclusive(const std::string& path);
  // Reserves room for `bytes` without changing the file's length, so that a destination without
  // that room fails now rather than half way through. Succeeds without reserving where the file
  // system cannot reserve (FUSE file systems, FAT); fails with kDestinationFullText when full.
  virtual Status ReserveOutput(int64_t bytes);
  // Appends `count` bytes; fails with the system's words (kDestinationFullText when full).
  virtual Status WriteOutput(const uint8_t* data, int64_t count);
  Status FlushOutput();
  // Closes the file; the stored handle is reset, so a second close does nothing.
  Status CloseOutput();
  bool IsOpen() const;

  int64_t BytesWritten() const { return written_; }

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  int64_t written_ = 0;
  int64_t reserved_ = 0;  // bytes reserved; what the copy did not use is given back at the flush
};

}  // namespace skelbrook
