// SPDX-License-Identifier: MIT
#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {

std::int32_t EffectiveSize(std::int32_t Size) { return Size <= 0 ? TBuffer::DefaultSize : Size; }

}  // namespace

TBuffer::TBuffer(std::int32_t Size)
    : m_Capacity(EffectiveSize(Size)), m_Data(std::make_unique<char[]>(static_cast<std::size_t>(m_Capacity)))
{
}

void TBuffer::SetSize(std::int32_t Size)
{
  std::int32_t NewCapacity = EffectiveSize(Size);
  // Unread bytes keep their offsets, so the area may not shrink below WriteCount: a smaller
  // area would drop queued bytes (or, copied blindly, overrun the new area).
  NewCapacity = std::max(NewCapacity, m_WriteCount);
  if (NewCapacity == m_Capacity) return;
  auto NewData = std::make_unique<char[]>(static_cast<std::size_t>(NewCapacity));
  if (m_WriteCount > 0) std::memcpy(NewData.get(), m_Data.get(), static_cast<std::size_t>(m_WriteCount));
  m_Data = std::move(NewData);
  m_Capacity = NewCapacity;
}

std::int32_t TBuffer::Append(const void* Data, std::int32_t Len)
{
  const std::int32_t Room = m_Capacity - m_WriteCount;
  if (Room <= 0 || Len <= 0 || !Data) return 0;
  const std::int32_t N = std::min(Room, Len);
  std::memcpy(m_Data.get() + m_WriteCount, Data, static_cast<std::size_t>(N));
  m_WriteCount += N;
  return N;
}

std::int32_t TBuffer::Peek(const char*& Data) const
{
  const std::int32_t Unread = m_WriteCount - m_ReadPosition;
  if (Unread <= 0) {
    Data = nullptr;
    return 0;
  }
  Data = m_Data.get() + m_ReadPosition;
  return Unread;
}

std::int32_t TBuffer::Consume(std::int32_t Count)
{
  const std::int32_t Unread = m_WriteCount - m_ReadPosition;
  if (Unread <= 0 || Count <= 0) return 0;
  const std::int32_t N = std::min(Count, Unread);
  m_ReadPosition += N;
  if (m_ReadPosition == m_WriteCount) {
    m_ReadPosition = 0;
    m_WriteCount = 0;
  }
  return N;
}
