// SPDX-License-Identifier: MIT
// What the loaders of both range files share: the existence test, an owned descriptor, the
// read-only open of a regular file, and a block read that keeps what arrived before a failure;
// and a range file searched where it lies. Internal to geo/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether a file (not a directory) of that name exists. A name with an embedded NUL would
// name a different file at the system call, so it names none.
bool RangeFileExists(const std::string& FileName);

// Both loaders' frame: a file that is not there, and a load that fails, become ERangeFileError
// with the texts both files share. Defined beside ERangeFileError.
void LoadRangeFileChecked(const std::string& FileName, void (*LoadOpen)(const std::string&));

// Owns the descriptor so that every way out of a load closes the file.
class TRangeFileHandle {
 public:
  explicit TRangeFileHandle(int Fd) : m_Fd(Fd) {}
  ~TRangeFileHandle();
  TRangeFileHandle(const TRangeFileHandle&) = delete;
  TRangeFileHandle& operator=(const TRangeFileHandle&) = delete;
  int Fd() const { return m_Fd; }
  // Hands the descriptor on; the handle no longer closes it.
  int Release()
  {
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

// Reads Count records of RecordSize bytes from Fd, a block of BlockSize bytes (a multiple of
// RecordSize) at a time into Block, and hands each block's whole records to Append. A read
// failure throws std::runtime_error with its text once the whole records read before it are
// handed on; a record it cut short counts as not read. A file that shrinks while being read
// ends the records early, and a record it cut short is handed on with its missing bytes zero,
// as reading record by record would have left it.
using TRangeRecordSink = void (*)(const unsigned char* Records, std::size_t Count);
void ReadRangeRecords(int Fd, std::size_t Count, std::size_t RecordSize, unsigned char* Block, std::size_t BlockSize,
                      TRangeRecordSink Append);

// A range file searched where it lies, for a process that asks about a few addresses and would
// spend more on loading the whole table than on the searches: the descriptor stays open and
// each probe reads one record with pread. The record count is fixed at the open, as the
// loader fixes the table's. Bytes the file no longer holds, or that a read fails on, read as
// zero, as the loader leaves the records it could not read.
class TRangeFileInPlace {
 public:
  explicit TRangeFileInPlace(std::size_t RecordSize) : m_RecordSize(RecordSize) {}
  ~TRangeFileInPlace() { Close(); }
  TRangeFileInPlace(const TRangeFileInPlace&) = delete;
  TRangeFileInPlace& operator=(const TRangeFileInPlace&) = delete;

  // Opens the file by OpenRangeFile's rules and keeps it open; false, with nothing open, when
  // there is no file of that name or it cannot be opened.
  bool Open(const std::string& FileName);
  void Close();
  bool IsOpen() const { return m_Fd >= 0; }
  std::size_t Count() const { return m_Count; }
  // Reads record I (below Count()) into Out, RecordSize bytes.
  void Read(std::size_t I, unsigned char* Out) const;

 private:
  std::size_t m_RecordSize;
  int m_Fd = -1;
  std::size_t m_Count = 0;
};

// The two files start-up opened in place (see LibOstrandStartup); closed when it loads instead.
extern TRangeFileInPlace RangeFileInPlace;
extern TRangeFileInPlace RangeFile6InPlace;
