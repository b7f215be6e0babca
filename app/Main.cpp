// SPDX-License-Identifier: MIT
#include "app/Main.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScreen>

#include "app/FocusedClipboard.h"
#include "app/Image.h"
#include "ui_Main.h"
#include "tray/TrayIcon.h"
#include "whois/AddressCleanup.h"
#include "whois/Query.h"

TMainForm* MainForm = nullptr;

namespace {

// Disables a window for as long as it lives, if it was visible and enabled; the modal
// showing of the query window must not leave the About picture clickable.
class TDisabledWhileModal {
 public:
  explicit TDisabledWhileModal(QWidget* Window)
      : m_Window(Window->isVisible() && Window->isEnabled() ? Window : nullptr)
  {
    if (m_Window) m_Window->setEnabled(false);
  }
  ~TDisabledWhileModal()
  {
    if (m_Window) m_Window->setEnabled(true);
  }
  TDisabledWhileModal(const TDisabledWhileModal&) = delete;
  TDisabledWhileModal& operator=(const TDisabledWhileModal&) = delete;

 private:
  QPointer<QWidget> m_Window;
};

// Hands the activation token that came with the request being served (if any) to Qt's
// Wayland plugin: it reads XDG_ACTIVATION_TOKEN at the next activation of a window (a dialog's
// showing included), passes it to the compositor and clears it. Elsewhere a token means
// nothing and is dropped.
void UseActivationToken()
{
  const QString Token = TakeActivationToken();
  if (!Token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    qputenv("XDG_ACTIVATION_TOKEN", Token.toLatin1());
}

}  // namespace

void LoadAssets()
{
  // The resources live in a static library: nothing would pull them into the program
  // unless something refers to them.
  static const bool Loaded = [] {
    Q_INIT_RESOURCE(assets);
    return true;
  }();
  (void)Loaded;
}

QIcon TrayIconImage()
{
  LoadAssets();
  QIcon Icon(QStringLiteral(":/assets/tray.ico"));
  for (const int Size : {22, 24, 32, 48})
    Icon.addFile(QStringLiteral(":/assets/tray-%1.png").arg(Size), QSize(Size, Size));
  return Icon;
}

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), m_Ui(std::make_unique<Ui::TMainForm>())
{
  MainForm = this;
  LoadAssets();
  m_Ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  Image1 = m_Ui->Image1;
  PopupMenu = m_Ui->PopupMenu;
  QueryWHOIS1 = m_Ui->QueryWHOIS1;
  Exit1 = m_Ui->Exit1;
  About1 = m_Ui->About1;
  N1 = PopupMenu->actions().value(2);
  N1->setObjectName("N1");
  PopupMenu->setDefaultAction(QueryWHOIS1);
  FocusedClipboard = new TFocusedClipboardRead(this);
  ReadClipboardOnFocus = TFocusedClipboardRead::NeededOn(QGuiApplication::platformName());

  // The tray icon's stored properties, in the order a layout assigns them.
  TrayIcon = new TTrayIcon(this);
  TrayIcon->setObjectName("TrayIcon");
  TrayIcon->SetHideAppOnActive(false);
  TrayIcon->SetActive(false);
  TrayIcon->SetAnimate(false);
  TrayIcon->SetShowDesigning(false);
  TrayIcon->SetIcon(TrayIconImage());
  TrayIcon->SetToolTip("Quorvex 2.0");
  TrayIcon->OnClick = [this](QObject* Sender) { ShowQueryForm(Sender); };
  TrayIcon->SetPopupMenu(PopupMenu);

  FormCreate(this);
}

TMainForm::~TMainForm()
{
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate(QObject*)
{
  // Nothing asks Qt to show this window at start, so there is no show flag to clear.
  TrayIcon->SetToolTip(QGuiApplication::applicationDisplayName().toStdString());
  TrayIcon->SetActive(true);
}

void TMainForm::FormClose(QObject*, TCloseAction&) { TrayIcon->SetActive(false); }

void TMainForm::HideForm(QObject*) { hide(); }

void TMainForm::ShowSplashForm(QObject*)
{
  if (!m_Placed) {
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
      const QRect Area = Screen->geometry();
      move(Area.center() - QPoint(width() / 2, height() / 2));
    }
    m_Placed = true;
  }
  UseActivationToken();
  show();
  raise();
  activateWindow();
}

void TMainForm::ShowQueryForm(QObject*)
{
  if (!QueryForm) return;
  UseActivationToken();
  if (QueryForm->isVisible()) {
    // The most recent window of the program over the query window: a message box that
    // stands over it, or the query window itself.
    QWidget* Top = QApplication::activeModalWidget();
    if (!Top || Top == this || !Top->isVisible() || !Top->isEnabled()) Top = QueryForm;
    Top->raise();
    Top->activateWindow();
    return;
  }
  QueryForm->SetResponseText(std::string());
  if (ReadClipboardOnFocus) {
    // Nothing of the clipboard is ours to read before the window has the focus: the box
    // opens empty and is filled, selected and focused as soon as it has.
    PutAddress(std::string());
    FocusedClipboard->Arm(QueryForm, QueryForm->Address, [this] {
      const std::string Text = ClipboardAddress();
      QWidget* Focus = QueryForm->focusWidget();
      const bool InBox = !Focus || Focus == QueryForm->Address || QueryForm->Address->isAncestorOf(Focus);
      PutAddress(Text);
      // The user may have moved on to the pane meanwhile; leave the focus there.
      if (InBox) QueryForm->Address->setFocus(Qt::OtherFocusReason);
      return !Text.empty();
    });
  } else {
    PutAddress(ClipboardAddress());
  }
  QueryForm->Address->setFocus(Qt::OtherFocusReason);

  // Modal for the user, but blocking no other window by Qt's rules: application modality
  // would also block the tray icon's own window, and its menu must keep working ("Exit"
  // while the query window is open). The About picture is disabled by hand instead.
  QueryForm->setWindowModality(Qt::WindowModal);
  const TDisabledWhileModal Splash(this);
  QueryForm->exec();
}

void TMainForm::PutAddress(const std::string& Text)
{
  QueryForm->Address->setEditText(TQueryForm::FromEightBit(Text));
  if (QLineEdit* Edit = QueryForm->Address->lineEdit()) Edit->selectAll();
}

void TMainForm::CloseApp(QObject*) { close(); }

void TMainForm::closeEvent(QCloseEvent* Event)
{
  TCloseAction Action = TCloseAction::caHide;
  FormClose(this, Action);
  if (Action == TCloseAction::caNone) {
    Event->ignore();
    return;
  }
  Event->accept();
  m_Closed = true;
  // exit(), not quit(): quit() would first close every window, and the query window's
  // close handler would bring the tray icon back. exit() also ends a running modal loop.
  QCoreApplication::exit(0);
}

std::string TMainForm::CleanAddress(std::string_view Text) const { return ::CleanAddress(Text); }

std::string TMainForm::ClipboardAddress() const
{
  const QMimeData* Data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (!Data || !Data->hasText()) return CleanAddress({});
  const QString Text = Data->text();
  qsizetype End = Text.indexOf(QChar(0));
  if (End < 0) End = Text.size();
  // The whole text is cleaned (the clean-up is linear): its first word may be long, and the
  // address may stand after it.
  const QByteArray Bytes = QStringView(Text).first(End).toUtf8();
  std::string Address = CleanAddress(std::string_view(Bytes.constData(), static_cast<std::size_t>(Bytes.size())));
  if (Address.size() > static_cast<std::size_t>(ClipboardAddressCap)) {
    std::size_t Cut = ClipboardAddressCap;
    while (Cut > 0 && (static_cast<unsigned char>(Address[Cut]) & 0xC0) == 0x80) --Cut;
    Address.resize(Cut);
  }
  return Address;
}
