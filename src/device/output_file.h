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
  virtual Status Reserve(int64_t bytes);
  // Opens an existing file of ours (a rescued copy being completed) for writing, unchanged.
  Status OpenExisting(const std::string& path);
  // Writes `count` bytes at the current position (the end of a new file); fails with the
  // system's words (kDestinationFullText when full).
  virtual Status Write(const uint8_t* data, int64_t count);
  // Moves the write position, for filling in what a rescue read later.
  Status Seek(int64_t position);
  Status Flush();
  // Makes what is written so far durable on the destination (its data and its length), without
  // giving back reserved room: a rescue's map is saved only after this, so that it never says
  // more than the copy holds.
  virtual Status SyncData();
  // Closes the file; the stored handle is reset, so a second close does nothing.
  Status Close();
  bool IsOpen() const { return handle_ != kNoHandle; }

  int64_t BytesWritten() const { return written_; }

 private:
  static std::string FullText();
  static std::string TooLargeText();

  // The platform's handle (a file descriptor, or a Windows HANDLE), kNoHandle when closed.
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
  void Advance(int64_t bytes) {
    written_ += bytes;
    position_ += bytes;
    if (position_ > end_) end_ = position_;
  }

  int64_t written_ = 0;
  int64_t position_ = 0;
  int64_t end_ = 0;       // the file's length
  int64_t reserved_ = 0;  // bytes reserved; what the copy did not use is given back at the flush
  int64_t writebackFrom_ = 0;  // written bytes whose write-back has not been started yet
};

}  // namespace skelbrook
