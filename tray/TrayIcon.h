// SPDX-License-Identifier: MIT
// TTrayIcon: one icon with a tool tip in the desktop's notification area. Mouse actions on
// it become OnClick / OnDblClick / OnRightClick, a right click shows PopupMenu at the
// cursor, and it can cycle through the images of an image list. Where the host draws the
// menu itself (a StatusNotifierItem host), the shell is given PopupMenu and the menu's
// closing raises only OnRightClick. GUI thread only; event
// handlers may run nested event loops (a modal dialog inside OnClick is fine).
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tray/ImageList.h"
#include "tray/NotifyShell.h"
#include "tray/TrayWindow.h"

// Ids of the two registered messages, shared by all instances; 0 until the first icon
// is created.
extern std::uint32_t WM_TOOLTRAYICON;
extern std::uint32_t WM_RESETTOOLTIP;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = unsigned;

enum class TOperation { opInsert, opRemove };

// Parts of the shell record FillNotifyData fills.
enum TNotifyPart : unsigned { npMessage = 1, npIcon = 2, npTip = 4 };
using TNotifyParts = unsigned;

class TTrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int ToolTipLimit = 62;
  static constexpr std::uint32_t NotifyDataSize = 88;

  using TNotifyEvent = std::function<void(QObject* Sender)>;
  using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

  // Shell nullptr: DefaultNotifyShell(), taken at creation.
  explicit TTrayIcon(QObject* Owner = nullptr, TNotifyShell* Shell = nullptr);
  // Removes the icon if it is active.
  ~TTrayIcon() override;

  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // Published properties, in the order a layout assigns them.
  bool HideAppOnActive() const { return m_HideAppOnActive; }
  void SetHideAppOnActive(bool Value) { m_HideAppOnActive = Value; }
  bool Active() const { return m_Active; }
  void SetActive(bool Value);
  bool Animate() const { return m_Animate; }
  void SetAnimate(bool Value);
  int AnimateInterval() const { return m_AnimateInterval; }
  void SetAnimateInterval(int Value);
  bool ShowDesigning() const { return m_ShowDesigning; }
  void SetShowDesigning(bool Value);
  const QIcon& Icon() const { return m_Icon; }
  void SetIcon(const QIcon& Value);
  TImageList* Images() const { return m_Images; }
  void SetImages(TImageList* Value);
  const std::string& ToolTip() const { return m_ToolTip; }
  void SetToolTip(std::string_view Value);
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnRightClick;
  QMenu* PopupMenu() const { return m_PopupMenu; }
  void SetPopupMenu(QMenu* Value);

  // Shows image Index of Images as a still icon; nothing happens for an index out of range
  // or without Images. Sender is not used.
  void SetTrayIcon(QObject* Sender, int Index);

  // Removal of Images stops the animation and unsets Images; other removals are ignored.
  // Called by itself when Images or PopupMenu is destroyed.
  void Notification(QObject* Component, TOperation Operation);

  // Read-only views for the owner and for tests.
  int FrameIndex() const { return m_FrameIndex; }
  const QIcon& SavedIcon() const { return m_SavedIcon; }
  const TNotifyIconData& NotifyData() const { return m_NotifyData; }
  TTrayWindow* TrayWindow() const { return m_TrayWindow.get(); }
  const QTimer& AnimationTimer() const { return m_AnimationTimer; }

 private:
  void FillNotifyData(TNotifyParts Parts);
  bool AddIcon();
  bool ModifyIcon(TNotifyParts Parts);
  bool DeleteIcon();
  void TrayWndProc(TMessage& Message);
  void HandleRightClick();
  void AnimateTick();

  TNotifyShell& m_Shell;
  TNotifyIconData m_NotifyData;
  bool m_Animate = false;
  bool m_HideAppOnActive = false;
  bool m_Active = false;
  bool m_ShowDesigning = false;
  int m_AnimateInterval = 100;
  int m_FrameIndex = 0;
  QIcon m_Icon;
  QIcon m_SavedIcon;
  std::string m_ToolTip;
  std::unique_ptr<TTrayWindow> m_TrayWindow;
  QTimer m_AnimationTimer;
  // Not owned. A menu destroyed behind our back reads as unset instead of dangling.
  QPointer<QMenu> m_PopupMenu;
  // Not owned; its destruction reaches Notification, which unsets it.
  TImageList* m_Images = nullptr;
  QMetaObject::Connection m_ImagesWatch;
};
