// SPDX-License-Identifier: MIT
// The tray icon's hidden message window: a QObject that receives numbered messages, sent
// directly or posted through the Qt event loop, and hands them to its window procedure.
// Also the process-wide registry of named messages. GUI thread only.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string_view>

// Mouse messages the notification area reports in a callback message's LParam.
// WM_CONTEXTMENU: a pop-up menu that the host drew for the icon has closed.
constexpr std::uint32_t WM_CONTEXTMENU = 0x007B;
constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
constexpr std::uint32_t WM_MBUTTONUP = 0x0208;

struct TMessage {
  std::uint32_t Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

// The same name always gives the same id, from 0xC000 upwards; an empty name gives 0
// (no message), as there is nothing to tell such messages apart by.
std::uint32_t RegisterWindowMessage(std::string_view Name);

class TTrayWindow : public QObject {
  Q_OBJECT

 public:
  using TWndProc = std::function<void(TMessage&)>;

  explicit TTrayWindow(TWndProc WndProc, QObject* parent = nullptr);
  ~TTrayWindow() override;

  // Runs the window procedure now and returns the message's result.
  std::intptr_t SendMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);
  // Queues the message; the window procedure runs from the event loop. Messages posted to
  // a window that is destroyed before they are handled are dropped with it.
  void PostMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);

  // What a message no handler claims gets: nothing happens, result 0.
  static std::intptr_t DefWindowProc(const TMessage& Message);

 protected:
  bool event(QEvent* e) override;

 private:
  TWndProc m_WndProc;
};
