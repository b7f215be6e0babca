// SPDX-License-Identifier: MIT
// TBuffer: one fixed-capacity block of a socket's send queue, filled at its end and drained
// from its front. Knows nothing of sockets.
#pragma once

#include <cstdint>
#include <memory>

class TBuffer {
 public:
  // Size <= 0 means 1514 bytes.
  explicit TBuffer(std::int32_t Size);
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  std::int32_t Size() const { return m_Capacity; }
  void SetSize(std::int32_t Size);

  // Bytes taken; space freed at the front is not reused until the block empties.
  std::int32_t Append(const void* Data, std::int32_t Len);
  // Pointer to the first unread byte (null when none) and the count of unread bytes.
  std::int32_t Peek(const char*& Data) const;
  std::int32_t Consume(std::int32_t Count);

  std::int32_t WriteCount() const { return m_WriteCount; }
  std::int32_t ReadPosition() const { return m_ReadPosition; }

  static constexpr std::int32_t DefaultSize = 1514;

 private:
  std::int32_t m_Capacity = 0;
  std::unique_ptr<char[]> m_Data;
  std::int32_t m_WriteCount = 0;
  std::int32_t m_ReadPosition = 0;
};
