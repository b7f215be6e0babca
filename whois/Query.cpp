// SPDX-License-Identifier: MIT
#include "whois/Query.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include "whois/ErrorBox.h"
#include "ui_Query.h"

TQueryForm* QueryForm = nullptr;

TQueryForm::TServerLookup& TQueryForm::WhoisServerFor = TQuerySession::WhoisServerFor;
const std::string& TQueryForm::WhoisServerPrefix = TQuerySession::WhoisServerPrefix;
const std::string& TQueryForm::WhoisServerSuffix = TQuerySession::WhoisServerSuffix;
const std::string& TQueryForm::ReplyCutLine = ::ReplyCutLine;

namespace {

// The widget is fed from the event loop in slices, so that a reply of megabytes neither
// delays the query nor freezes the window while the text document takes it in.
constexpr std::size_t kFlushSlice = 256 * 1024;
constexpr int kStreamPauseMs = 15;
constexpr int kStreamLatencyMs = 150;
// Text layout of one line costs time in its length; a hostile reply of megabytes without a
// line end would freeze the window. The display breaks such lines; the text keeps them.
constexpr std::size_t kDisplayLineMax = 1024;

const QChar kReplacement(0xFFFD);

bool IsContinuation(unsigned char C) { return (C & 0xC0) == 0x80; }

// True when the bytes from Pos to the end are the start of a UTF-8 sequence that more bytes
// could still complete.
bool IsIncompleteUtf8Tail(std::string_view S, std::size_t Pos)
{
  const auto* P = reinterpret_cast<const unsigned char*>(S.data()) + Pos;
  const std::size_t N = S.size() - Pos;
  if (N == 0 || N >= 4) return false;
  const unsigned char C = P[0];
  std::size_t Need = C >= 0xC2 && C <= 0xDF ? 2 : C >= 0xE0 && C <= 0xEF ? 3 : C >= 0xF0 && C <= 0xF4 ? 4 : 0;
  if (Need <= N) return false;
  for (std::size_t I = 1; I < N; ++I)
    if (!IsContinuation(P[I])) return false;
  return true;
}

// Characters that the text document would turn into paragraph or frame breaks, or that
// show as nothing: displayed as the replacement character so every byte stays visible.
bool IsUnprintable(char32_t Code)
{
  return Code < 0x20 || (Code >= 0x7F && Code <= 0x9F) || Code == 0x2028 || Code == 0x2029 || Code == 0xFDD0 ||
         Code == 0xFDD1;
}

// The display form of a piece of pane text. CR LF, a lone CR and a lone LF each become one
// line break; the caller never cuts a piece between CR and LF or inside a UTF-8 sequence.
QString DisplayPiece(std::string_view Bytes, std::size_t& Column)
{
  QString Out;
  Out.reserve(static_cast<qsizetype>(Bytes.size() + Bytes.size() / kDisplayLineMax + 1));
  const auto* S = reinterpret_cast<const unsigned char*>(Bytes.data());
  const std::size_t N = Bytes.size();
  for (std::size_t I = 0; I < N; ++I) {
    const unsigned char C = S[I];
    if (C == '\r' || C == '\n') {
      if (C == '\r' && I + 1 < N && S[I + 1] == '\n') ++I;
      Out += QChar('\n');
      Column = 0;
      continue;
    }
    if (Column >= kDisplayLineMax) {
      Out += QChar('\n');
      Column = 0;
    }
    ++Column;
    if (C == '\t') {
      Out += QChar('\t');
    } else if (C < 0x80) {
      Out += IsUnprintable(C) ? kReplacement : QChar(C);
    } else {
      char32_t Code = 0;
      const int Len = DecodeUtf8(S + I, N - I, Code);
      if (Len == 0)
        Code = C;  // Latin-1
      else
        I += static_cast<std::size_t>(Len - 1);
      if (IsUnprintable(Code))
        Out += kReplacement;
      else
        AppendCodePoint(Out, Code);
    }
  }
  return Out;
}

// Moves a cut point in S back so that it splits neither CR LF nor a UTF-8 sequence.
std::size_t SafeCut(std::string_view S, std::size_t Low, std::size_t Cut)
{
  for (int I = 0; I < 3 && Cut > Low + 1 && IsContinuation(static_cast<unsigned char>(S[Cut])); ++I) --Cut;
  if (Cut > Low + 1 && S[Cut - 1] == '\r' && S[Cut] == '\n') --Cut;
  return Cut;
}

// Latin-1 fallbacks of the desktop fonts that the layout names.
QFont WithFallback(const QFont& Wanted, bool FixedPitch)
{
  const QFontInfo Info(Wanted);
  if (Info.family().compare(Wanted.family(), Qt::CaseInsensitive) == 0 && (!FixedPitch || Info.fixedPitch()))
    return Wanted;
  QFont F = FixedPitch ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
  F.setPointSize(Wanted.pointSize());
  if (FixedPitch) {
    F.setFixedPitch(true);
    F.setStyleHint(QFont::Monospace);
  }
  return F;
}

// The window's own 16 x 16 icon in 16 colours: a globe under a magnifying glass.
const char* const kQueryIcon[] = {
    "16 16 5 1",        ". c None",         "b c #000080",      "c c #00FFFF",      "g c #008000",
    "k c #000000",      "....bbbbb.......", "..bbccgccbb.....", ".bcggcccgccb....", ".bcgggccggcb....",
    "bccgggcggcccb...", "bcccgccggcccb...", "bccccccgccgcb...", "bcgccccccggcb...", ".bcggcccgggb....",
    ".bccggcccgcb....", "..bbccccckkk....", "....bbbbbkkkk...", "..........kkkk..", "...........kkkk.",
    "............kkk.", ".............k..",
};

}  // namespace

TQueryForm::TQueryForm(QWidget* parent)
    : QDialog(parent), m_Ui(std::make_unique<Ui::TQueryForm>()), m_Session(*this, this), m_FlushTimer(this)
{
  QueryForm = this;
  m_Ui->setupUi(this);
  BotPanel = m_Ui->BotPanel;
  Address = m_Ui->Address;
  bGo = m_Ui->bGo;
  WHOIS = m_Session.WHOIS;
  Response = m_Ui->Response;
  WHOIStimer = m_Session.WHOIStimer;

  move(520, 185);
  setWindowIcon(QIcon(QPixmap(kQueryIcon)));
  setFont(WithFallback(font(), false));
  Response->setFont(WithFallback(Response->font(), true));
  Response->setUndoRedoEnabled(false);
  m_FlushTimer.setSingleShot(true);
  connect(&m_FlushTimer, &QTimer::timeout, this, &TQueryForm::FlushPane);
  // The layout's initial text becomes the pane's text, which the widget already shows.
  const std::string Initial = Response->toPlainText().toStdString();
  m_Session.SetResponseText(Initial);
  m_Shown = Initial.size();
  m_Column = Initial.size();

  // The box queries what the user typed. Qt's editable combo box would complete the text
  // inline with a longer earlier item ("192.0.2.1" becoming "192.0.2.11"), and, when editing
  // ends on a text equal to an item in any letter case, would put the item's spelling in
  // place of the user's and report the item as chosen.
  Address->setCompleter(nullptr);
  if (QLineEdit* Edit = Address->lineEdit()) {
    QObject::disconnect(Edit, &QLineEdit::editingFinished, Address, nullptr);
    QObject::disconnect(Edit, &QLineEdit::returnPressed, Address, nullptr);
  }
  // A stored reply is recalled by a choice in the drop-down list only: a click on an item or
  // Enter on it. The box reports those as "activated", as it does for the arrow keys and the
  // wheel on the closed box, so the list's own events mark the choices (this filter runs
  // before the list's, which was installed when the list was made).
  m_List = Address->view();
  m_List->installEventFilter(this);
  m_List->viewport()->installEventFilter(this);
  connect(Address, &QComboBox::activated, this, [this](int Index) {
    if (!m_ListChoice) return;
    m_ListChoice = false;
    AddressSelect(Index);
  });

  // Key presses have no signal: the window's filter hands them to CheckEscapeKey.
  Address->installEventFilter(this);
  if (Address->lineEdit()) Address->lineEdit()->installEventFilter(this);
  bGo->installEventFilter(this);

  FormCreate();
}

TQueryForm::~TQueryForm()
{
  if (QueryForm == this) QueryForm = nullptr;
}

void TQueryForm::FormCreate() { setWindowTitle(QGuiApplication::applicationDisplayName()); }

void TQueryForm::FormClose()
{
  if (OnFormClosed) OnFormClosed();
}

void TQueryForm::done(int Result)
{
  // Every way of closing a dialog ends here; the window is hidden, never destroyed.
  QDialog::done(Result);
  FormClose();
}

void TQueryForm::CheckEscapeKey(QObject* /*Sender*/, char& Key)
{
  if (Key == 27) close();
}

bool TQueryForm::eventFilter(QObject* Watched, QEvent* Event)
{
  if (m_List && (Watched == m_List || Watched == m_List->viewport())) {
    const bool Click = Event->type() == QEvent::MouseButtonRelease && Watched == m_List->viewport();
    // The list takes Enter already as a shortcut override, before the key press proper.
    const bool Enter = (Event->type() == QEvent::ShortcutOverride || Event->type() == QEvent::KeyPress) &&
                       Watched == m_List &&
                       (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Return ||
                        static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Enter);
    if (Click || Enter) {
      // The list decides whether this is a choice; if it is, "activated" follows while the
      // event is handled. The mark ends with the event either way.
      m_ListChoice = true;
      QTimer::singleShot(0, this, [this] { m_ListChoice = false; });
    }
    return QDialog::eventFilter(Watched, Event);
  }
  if (Event->type() == QEvent::KeyPress &&
      (Watched == Address || Watched == bGo || (Address && Watched == Address->lineEdit()))) {
    auto* Key = static_cast<QKeyEvent*>(Event);
    const QString Text = Key->text();
    char Ch = Key->key() == Qt::Key_Escape                  ? char(27)
              : Text.size() == 1 && Text[0].unicode() < 128 ? static_cast<char>(Text[0].unicode())
                                                            : char(0);
    if (Ch == 27) {
      CheckEscapeKey(Watched, Ch);
      return true;
    }
  }
  return QDialog::eventFilter(Watched, Event);
}

void TQueryForm::keyPressEvent(QKeyEvent* Event)
{
  // Keys reach the window's own handler only when nothing inside it takes them (the window
  // previews no keys): Escape or Enter left over by the pane does nothing, as in a read-only
  // text control, instead of QDialog's reject() or default-button click.
  QWidget* Focus = focusWidget();
  if (Event->key() == Qt::Key_Escape) {
    if (!Focus || Focus == this) {
      char Ch = 27;
      CheckEscapeKey(this, Ch);
    }
    Event->accept();
    return;
  }
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && Focus == Response) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

void TQueryForm::DoQuery() { m_Session.DoQuery(); }

void TQueryForm::HostResolved(TCustomWSocket* Sender, std::uint16_t ErrCode)
{
  m_Session.HostResolved(Sender, ErrCode);
}

void TQueryForm::FlagWHOISerror(TCustomWSocket* Sender, const std::exception& E, bool& CanClose)
{
  m_Session.FlagWHOISerror(Sender, E, CanClose);
}

void TQueryForm::SendWHOISquery(TCustomWSocket* Sender, std::uint16_t ErrCode)
{
  m_Session.SendWHOISquery(Sender, ErrCode);
}

void TQueryForm::DisplayWHOISdata(TCustomWSocket* Sender, std::uint16_t ErrCode)
{
  m_Session.DisplayWHOISdata(Sender, ErrCode);
}

void TQueryForm::WHOISdone(TCustomWSocket* Sender, std::uint16_t ErrCode) { m_Session.WHOISdone(Sender, ErrCode); }

void TQueryForm::WHOIStimeout() { m_Session.WHOIStimeout(); }

void TQueryForm::AddressSelect(int Index) { m_Session.RecallReply(Index); }

void TQueryForm::SetResponseText(const std::string& Text) { m_Session.SetResponseText(Text); }

std::string TQueryForm::AddressText() const { return Address->currentText().toStdString(); }

void TQueryForm::SetAddressText(const std::string& Text) { Address->setEditText(FromEightBit(Text)); }

void TQueryForm::PaneChanged(std::size_t From, bool Reply)
{
  // Text the widget shows was taken back or rewritten: rebuild the display from the text.
  if (From < m_Shown) ResetPaneWidget();
  ScheduleFlush(Reply);
}

void TQueryForm::ShowPaneNow() { FlushPane(); }

void TQueryForm::QueryRunningChanged(bool Running)
{
  bGo->setEnabled(!Running);
  // What was held back while the query ran (its trailing line ends) may show now.
  if (!Running) ScheduleFlush();
}

void TQueryForm::ReplyStored(const std::string& Item)
{
  const QString Typed = Address->currentText();
  Address->insertItem(0, FromEightBit(Item));
  // The box keeps the user's text whatever the list does with its new item (the first item
  // of an empty list becomes the current one and is written into the box).
  if (Address->currentText() != Typed) Address->setEditText(Typed);
}

void TQueryForm::ShowWhoisError(const std::string& Message)
{
  // CR LF in the 8-bit text; a label breaks lines at LF alone.
  const QString Text = FromEightBit(TQuerySession::WhoisErrorHeading) + QChar('\n') + FromEightBit(Message);
  QMessageBox Box(QMessageBox::Critical, QStringLiteral("Error"), Text, QMessageBox::NoButton, this);
  Box.setTextFormat(Qt::PlainText);
  QPushButton* AbortButton = Box.addButton(QStringLiteral("&Abort"), QMessageBox::AcceptRole);
  Box.setDefaultButton(AbortButton);
  Box.setEscapeButton(AbortButton);
  Box.exec();
}

void TQueryForm::ShowTopLevelError(const std::string& Message) { ShowApplicationError(Message); }

void TQueryForm::ResetPaneWidget()
{
  // Like a rewrite of the whole text: caret and view go back to the start.
  Response->clear();
  m_Shown = 0;
  m_Column = 0;
}

void TQueryForm::ScheduleFlush(bool Streaming)
{
  // Progress lines show at once. Reply data shows when the stream pauses, and at the latest
  // kStreamLatencyMs after it began to wait, so a fast reply is not slowed down by the text
  // document and a slow one still shows as it comes.
  if (!m_Pending.isValid()) m_Pending.start();
  int Delay = 0;
  if (Streaming) {
    const qint64 Left = kStreamLatencyMs - m_Pending.elapsed();
    Delay = static_cast<int>(std::clamp<qint64>(Left, 0, kStreamPauseMs));
  }
  if (!m_FlushTimer.isActive() || Delay < m_FlushTimer.remainingTime() || Streaming) m_FlushTimer.start(Delay);
}

void TQueryForm::FlushPane()
{
  const std::string_view Text(m_Session.ResponseText());
  std::size_t End = Text.size();
  if (m_Session.QueryRunning()) {
    // While a query runs, blanks and line ends at the end may still be trimmed away by
    // WHOISdone, and a UTF-8 sequence or a CR LF may still be completed by the next block:
    // hold them back, so the widget never has to take back what it shows.
    End = RightTrimmedLength(Text);
    if (End == Text.size()) {
      for (std::size_t Back = 1; Back <= 3 && Back <= End; ++Back) {
        if (IsIncompleteUtf8Tail(Text, End - Back)) {
          End -= Back;
          break;
        }
      }
    }
  }
  m_Pending.invalidate();
  if (End <= m_Shown) return;
  std::size_t Stop = End;
  if (Stop - m_Shown > kFlushSlice) Stop = SafeCut(Text, m_Shown, m_Shown + kFlushSlice);

  const QString Piece = DisplayPiece(Text.substr(m_Shown, Stop - m_Shown), m_Column);
  m_Shown = Stop;

  QScrollBar* H = Response->horizontalScrollBar();
  QScrollBar* V = Response->verticalScrollBar();
  const int HValue = H->value();
  const int VValue = V->value();
  const QTextCursor Before = Response->textCursor();
  const int Anchor = Before.anchor();
  const int Position = Before.position();
  QTextCursor Tail(Response->document());
  Tail.movePosition(QTextCursor::End);
  Tail.insertText(Piece);
  // A caret at the end travels with the inserted text; put it and the view back.
  QTextCursor After = Response->textCursor();
  if (After.anchor() != Anchor || After.position() != Position) {
    After.setPosition(Anchor);
    After.setPosition(Position, QTextCursor::KeepAnchor);
    Response->setTextCursor(After);
  }
  H->setValue(HValue);
  V->setValue(VValue);

  if (m_Shown < End) m_FlushTimer.start(0);
}
