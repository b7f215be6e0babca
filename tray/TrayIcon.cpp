// SPDX-License-Identifier: MIT
#include "tray/TrayIcon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>

#include <algorithm>

std::uint32_t WM_TOOLTRAYICON = 0;
std::uint32_t WM_RESETTOOLTIP = 0;

TTrayIcon::TTrayIcon(QObject* Owner, TNotifyShell* Shell)
    : QObject(Owner), m_Shell(Shell ? *Shell : DefaultNotifyShell())
{
  m_TrayWindow = std::make_unique<TTrayWindow>([this](TMessage& M) { TrayWndProc(M); });
  WM_TOOLTRAYICON = RegisterWindowMessage("WM_TOOLTRAYICON");
  WM_RESETTOOLTIP = RegisterWindowMessage("WM_RESETTOOLTIP");
  m_AnimateInterval = 100;
  m_AnimationTimer.setInterval(m_AnimateInterval);
  connect(&m_AnimationTimer, &QTimer::timeout, this, &TTrayIcon::AnimateTick);
}

TTrayIcon::~TTrayIcon()
{
  if (m_Active) DeleteIcon();
  m_Shell.SetMenu(m_TrayWindow.get(), nullptr);
  m_AnimationTimer.stop();
}

void TTrayIcon::SetActive(bool Value)
{
  if (Value == m_Active) return;
  m_Active = Value;
  // HideAppOnActive would hide or show the application window that carries the taskbar
  // button; Qt has no such window (each top-level window has its own entry), so there is
  // nothing to do for it here.
  if (Value)
    AddIcon();
  else
    DeleteIcon();
}

void TTrayIcon::SetAnimate(bool Value)
{
  if (Value) {
    // A second start would save a frame as the icon to restore, losing the real one.
    if (m_Animate || !m_Images || m_Images->Count() < 1 || !m_Active) return;
    m_Animate = true;
    m_SavedIcon = m_Icon;
    m_FrameIndex = 0;
    m_AnimationTimer.start();
    return;
  }
  const bool WasRunning = m_Animate;
  m_Animate = false;
  m_AnimationTimer.stop();
  if (WasRunning) SetIcon(m_SavedIcon);
}

void TTrayIcon::SetAnimateInterval(int Value)
{
  if (Value <= 0) return;
  m_AnimateInterval = Value;
  m_AnimationTimer.setInterval(Value);
}

void TTrayIcon::SetShowDesigning(bool Value)
{
  // Only a visual designer acts on it; the running program just keeps the value.
  m_ShowDesigning = Value;
}

void TTrayIcon::SetIcon(const QIcon& Value)
{
  if (&Value == &m_Icon) return;
  m_Icon = Value;
  ModifyIcon(npIcon);
}

void TTrayIcon::SetImages(TImageList* Value)
{
  if (Value == m_Images) return;
  disconnect(m_ImagesWatch);
  m_Images = Value;
  if (m_Images)
    m_ImagesWatch = connect(m_Images, &QObject::destroyed, this,
                            [this](QObject* Gone) { Notification(Gone, TOperation::opRemove); });
}

void TTrayIcon::SetToolTip(std::string_view Value)
{
  m_ToolTip = std::string(Value.substr(0, ToolTipLimit));
  ModifyIcon(npIcon | npTip);
}

void TTrayIcon::SetPopupMenu(QMenu* Value)
{
  m_PopupMenu = Value;
  // A host that draws the menu itself needs to know it.
  m_Shell.SetMenu(m_TrayWindow.get(), Value);
}

void TTrayIcon::SetTrayIcon(QObject*, int Index)
{
  if (!m_Images || Index < 0 || Index >= m_Images->Count()) return;
  SetAnimate(false);
  m_FrameIndex = Index;
  SetIcon(m_Images->GetIcon(Index));
}

void TTrayIcon::Notification(QObject* Component, TOperation Operation)
{
  if (Operation != TOperation::opRemove || !Component || Component != m_Images) return;
  SetAnimate(false);
  disconnect(m_ImagesWatch);
  m_Images = nullptr;
}

void TTrayIcon::FillNotifyData(TNotifyParts Parts)
{
  m_NotifyData.cbSize = NotifyDataSize;
  m_NotifyData.Wnd = m_TrayWindow.get();
  m_NotifyData.uID = 0;
  m_NotifyData.uFlags = 0;
  if (Parts & npMessage) {
    m_NotifyData.uFlags |= NIF_MESSAGE;
    m_NotifyData.uCallbackMessage = WM_TOOLTRAYICON;
  }
  if (Parts & npIcon) {
    m_NotifyData.uFlags |= NIF_ICON;
    m_NotifyData.hIcon = m_Icon;
  }
  if (Parts & npTip) {
    m_NotifyData.uFlags |= NIF_TIP;
    m_NotifyData.szTip.fill('\0');
    const std::size_t N = std::min(m_ToolTip.size(), m_NotifyData.szTip.size() - 1);
    std::copy_n(m_ToolTip.data(), N, m_NotifyData.szTip.data());
  }
}

bool TTrayIcon::AddIcon()
{
  FillNotifyData(npMessage | npIcon | npTip);
  const bool Ok = ShellNotifyIcon(m_Shell, NIM_ADD, m_NotifyData);
  // Some shells show no tip given at add time; asking again once the icon exists helps.
  if (m_ToolTip.empty()) m_TrayWindow->PostMessage(WM_RESETTOOLTIP, 0, 0);
  return Ok;
}

bool TTrayIcon::ModifyIcon(TNotifyParts Parts)
{
  FillNotifyData(Parts);
  if (!m_Active) return false;
  return ShellNotifyIcon(m_Shell, NIM_MODIFY, m_NotifyData);
}

bool TTrayIcon::DeleteIcon() { return ShellNotifyIcon(m_Shell, NIM_DELETE, m_NotifyData); }

void TTrayIcon::TrayWndProc(TMessage& Message)
{
  if (Message.Msg == WM_RESETTOOLTIP) {
    SetToolTip(m_ToolTip);
    return;
  }
  if (Message.Msg == WM_TOOLTRAYICON) {
    // Copies, so a handler may reassign its own event while it runs.
    switch (static_cast<std::uint32_t>(Message.LParam)) {
      case WM_LBUTTONUP:
        if (TNotifyEvent Handler = OnClick) Handler(this);
        break;
      case WM_LBUTTONDBLCLK:
        if (TNotifyEvent Handler = OnDblClick) Handler(this);
        break;
      case WM_RBUTTONUP: HandleRightClick(); break;
      case WM_CONTEXTMENU:
        // The host showed the menu and ran the chosen item; what is left of a right click.
        if (TMouseEvent Handler = OnRightClick) {
          const QPoint At = QCursor::pos();
          Handler(this, TMouseButton::mbRight, 0, At.x(), At.y());
        }
        break;
      default: break;
    }
    return;
  }
  Message.Result = TTrayWindow::DefWindowProc(Message);
}

void TTrayIcon::HandleRightClick()
{
  const QPoint At = QCursor::pos();
  if (m_PopupMenu) {
    // There is no application window to bring forward first: QMenu::exec grabs the
    // pointer and keyboard itself. Pending events go first so the menu opens on a
    // settled screen.
    QCoreApplication::processEvents();
    if (m_PopupMenu) m_PopupMenu->exec(At);
  }
  if (TMouseEvent Handler = OnRightClick) Handler(this, TMouseButton::mbRight, 0, At.x(), At.y());
}

void TTrayIcon::AnimateTick()
{
  // The list may have been emptied while the animation ran.
  if (!m_Images || m_Images->Count() < 1) {
    SetAnimate(false);
    return;
  }
  if (m_FrameIndex >= m_Images->Count() - 1)
    m_FrameIndex = 0;
  else
    ++m_FrameIndex;
  SetIcon(m_Images->GetIcon(m_FrameIndex));
}
