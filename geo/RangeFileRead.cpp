// SPDX-License-Identifier: MIT
#include "geo/RangeFileRead.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool RangeFileExists(const std::string& FileName)
{
  if (FileName.find('\0') != std::string::npos) return false;
  struct stat St {};
  if (::stat(FileName.c_str(), &St) != 0) return false;
  return !S_ISDIR(St.st_mode);
}

TRangeFileHandle::~TRangeFileHandle()
{
  if (m_Fd >= 0) ::close(m_Fd);
}

int OpenRangeFile(const std::string& FileName, std::uint64_t& Size)
{
  // Windows opens the file without sharing; Linux has no mandatory locks, so the file is
  // simply opened read-only. O_NONBLOCK keeps a FIFO of that name from stalling the open.
  const int Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Fd < 0) throw std::runtime_error("Cannot open file " + FileName);
  TRangeFileHandle File(Fd);
  struct stat St {};
  if (::fstat(Fd, &St) != 0) throw std::runtime_error(std::strerror(errno));
  // Only a regular file has a size worth trusting; a FIFO or a device is no range file.
  if (!S_ISREG(St.st_mode)) throw std::runtime_error("Cannot open file " + FileName);
  Size = static_cast<std::uint64_t>(St.st_size);
  return File.Release();
}

std::size_t ReadRangeBlock(int Fd, unsigned char* Buf, std::size_t Len, std::string& Error)
{
  std::size_t Got = 0;
  while (Got < Len) {
    const ssize_t N = ::read(Fd, Buf + Got, Len - Got);
    if (N < 0) {
      if (errno == EINTR) continue;
      Error = std::string("Read error: ") + std::strerror(errno);
      break;
    }
    if (N == 0) break;
    Got += static_cast<std::size_t>(N);
  }
  return Got;
}

void ReadRangeRecords(int Fd, std::size_t Count, std::size_t RecordSize, unsigned char* Block, std::size_t BlockSize,
                      TRangeRecordSink Append)
{
  std::size_t Left = Count;
  while (Left > 0) {
    const std::size_t Want = std::min(BlockSize, Left * RecordSize);
    std::string Error;
    const std::size_t Got = ReadRangeBlock(Fd, Block, Want, Error);
    const std::size_t Records = Got / RecordSize;
    Append(Block, Records);
    Left -= Records;
    if (!Error.empty()) throw std::runtime_error(Error);
    if (Got < Want) {
      if (Got % RecordSize != 0) {
        std::memset(Block + Got, 0, RecordSize - Got % RecordSize);
        Append(Block + Records * RecordSize, 1);
      }
      break;
    }
  }
}

bool TRangeFileInPlace::Open(const std::string& FileName)
{
  Close();
  if (!RangeFileExists(FileName)) return false;
  std::uint64_t Size = 0;
  try {
    m_Fd = OpenRangeFile(FileName, Size);
  } catch (const std::exception&) {
    return false;
  }
  // Cannot happen with 64-bit sizes; a 32-bit build searches what its indexes reach.
  m_Count = static_cast<std::size_t>(std::min<std::uint64_t>(Size / m_RecordSize, SIZE_MAX / m_RecordSize));
  return true;
}

void TRangeFileInPlace::Close()
{
  if (m_Fd >= 0) ::close(m_Fd);
  m_Fd = -1;
  m_Count = 0;
}

void TRangeFileInPlace::Read(std::size_t I, unsigned char* Out) const
{
  std::size_t Got = 0;
  const auto At = static_cast<off_t>(I * m_RecordSize);
  while (Got < m_RecordSize) {
    const ssize_t N = ::pread(m_Fd, Out + Got, m_RecordSize - Got, At + static_cast<off_t>(Got));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Got += static_cast<std::size_t>(N);
  }
  std::fill(Out + Got, Out + m_RecordSize, 0);
}
