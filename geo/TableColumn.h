// SPDX-License-Identifier: MIT
// One field of every row of a constant table, read by index like an array of that field:
// the country and continent tables keep their rows together, and callers that want one
// field of a row at a time keep indexing a column.
#pragma once

#include <cstddef>
#include <span>

// Rows is a table of N rows that lives as long as the program; Field a member of its row.
// The column holds the table's address, not its rows, so that a column defined in one file
// over a table defined in another is still fixed at compile time.
template <typename TRow, typename TField, std::size_t N>
class TTableColumn {
 public:
  constexpr TTableColumn(const std::span<const TRow, N>& Rows, const TField TRow::*Field)
      : m_Rows(&Rows), m_Field(Field)
  {
  }

  // I below size(), as for an array.
  const TField& operator[](std::size_t I) const { return (*m_Rows)[I].*m_Field; }
  constexpr std::size_t size() const { return N; }

 private:
  const std::span<const TRow, N>* m_Rows;
  const TField TRow::*m_Field;
};
