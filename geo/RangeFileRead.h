// SPDX-License-Identifier: MIT
// What the loaders of both range files share: the existence test, an owned descriptor, the
// read-only open of a regular file, and a block read that keeps what arrived before a failure.
// Internal to geo/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether a file (not a directory) of that name exists. A name with an embedded NUL would
// name a different file at the system call, so it names none.
bool RangeFileExists(const std::string& FileName);

// Owns the descriptor so that every way out of a load closes the file.
class TRangeFileHandle {
 public:
  explicit TRangeFileHandle(int Fd) : m_Fd(Fd) {}
  ~TRangeFileHandle();
  TRangeFileHandle(const TRangeFileHandle&) = delete;
  TRangeFileHandle& operator=(const TRangeFileHandle&) = delete;
  int Fd() const { return m_Fd; }
  // Hands the descriptor on; the handle no longer closes it.
  int Release() {
    const int Fd = m_Fd;
    m_Fd = -1;
    return Fd;
  }

 private:
  int m_Fd;
};

// Opens a regular file read-only and returns its descriptor and size. Throws
// std::runtime_error "Cannot open file <name>" (or the error's text) otherwise.
int OpenRangeFile(const std::string& FileName, std::uint64_t& Size);

// Reads as much of [Buf, Buf+Len) as the file still delivers; fewer bytes at the end of the
// file are no error, the rest of the block stays as it was. A failing read ends the block too:
// Error then holds its text, and the bytes read before it still count.
std::size_t ReadRangeBlock(int Fd, unsigned char* Buf, std::size_t Len, std::string& Error);
