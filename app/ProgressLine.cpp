// SPDX-License-Identifier: MIT
#include "app/ProgressLine.h"

#include <cstdio>

#include <unistd.h>

namespace {
constexpr qint64 kRedrawMs = 100;
}

TProgressLine::TProgressLine() : m_Terminal(::isatty(STDERR_FILENO) == 1) {}

TProgressLine::~TProgressLine() { Clear(); }

void TProgressLine::Update(std::size_t Done, std::size_t Known, std::size_t Queries, std::size_t FromCache, bool Force)
{
  if (!m_Terminal) return;
  if (!Force && m_Drawn && m_Since.isValid() && m_Since.elapsed() < kRedrawMs) return;
  const std::string Text = std::to_string(Done) + " of " + std::to_string(Known) + " answered, " +
                           std::to_string(Queries) + (Queries == 1 ? " query, " : " queries, ") +
                           std::to_string(FromCache) + " from the cache";
  if (m_Drawn && Text == m_Last) return;
  m_Last = Text;
  std::fprintf(stderr, "\r%s\033[K", Text.c_str());
  std::fflush(stderr);
  m_Drawn = true;
  m_Since.start();
}

void TProgressLine::Clear()
{
  if (!m_Terminal || !m_Drawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  m_Drawn = false;
  m_Last.clear();
}
