// SPDX-License-Identifier: MIT
// A list of icon images, the frames a tray icon animates through.
#pragma once

#include <QIcon>
#include <QObject>

#include <vector>

class TImageList : public QObject {
  Q_OBJECT

 public:
  explicit TImageList(QObject* parent = nullptr) : QObject(parent) {}

  int Count() const { return static_cast<int>(m_Images.size()); }
  // Index must lie in 0 .. Count() - 1.
  const QIcon& GetIcon(int Index) const { return m_Images.at(static_cast<std::size_t>(Index)); }
  void Add(const QIcon& Image) { m_Images.push_back(Image); }
  void Clear() { m_Images.clear(); }

 private:
  std::vector<QIcon> m_Images;
};
