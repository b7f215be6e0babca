// SPDX-License-Identifier: MIT
#include "whois/Query.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
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

#include "geo/LibOstrand.h"
#include "whois/AddressCleanup.h"
#include "whois/ErrorBox.h"
#include "whois/RegistryChoice.h"
#include "ui_Query.h"

TQueryForm* QueryForm = nullptr;

const std::string TQueryForm::WhoisServerPrefix = "whois.";
const std::string TQueryForm::WhoisServerSuffix = ".net";
const std::string TQueryForm::ReplyCutLine = "Reply cut after 8 MiB; the rest was dropped.";
TQueryForm::TServerLookup TQueryForm::WhoisServerFor = &TQueryForm::DefaultWhoisServer;

namespace {

constexpr char kRangeFileName[] = "Ostrand.dat";
constexpr int kReceiveBlock = 4096;
// The widget is fed from the event loop in slices, so that a reply of megabytes neither
// delays the query nor freezes the window while the text document takes it in.
constexpr std::size_t kFlushSlice = 256 * 1024;
constexpr int kStreamPauseMs = 15;
constexpr int kStreamLatencyMs = 150;
// Text layout of one line costs time in its length; a hostile reply of megabytes without a
// line end would freeze the window. The display breaks such lines; the text keeps them.
constexpr std::size_t kDisplayLineMax = 1024;

const QChar kReplacement(0xFFFD);

bool IsBlankOrControl(unsigned char C) { return C <= 32; }

std::string Trim(std::string_view S)
{
  std::size_t B = 0, E = S.size();
  while (B < E && IsBlankOrControl(static_cast<unsigned char>(S[B]))) ++B;
  while (E > B && IsBlankOrControl(static_cast<unsigned char>(S[E - 1]))) --E;
  return std::string(S.substr(B, E - B));
}

std::size_t RightTrimmedLength(std::string_view S)
{
  std::size_t E = S.size();
  while (E > 0 && IsBlankOrControl(static_cast<unsigned char>(S[E - 1]))) --E;
  return E;
}

bool IsContinuation(unsigned char C) { return (C & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at S[0..N), or 0 when it is not one (including a
// sequence cut short by the end of the input). Sets Code on success.
int DecodeUtf8(const unsigned char* S, std::size_t N, char32_t& Code)
{
  const unsigned char C = S[0];
  int Len = 0;
  unsigned char Lo = 0x80, Hi = 0xBF;
  if (C >= 0xC2 && C <= 0xDF) {
    Len = 2;
  } else if (C >= 0xE0 && C <= 0xEF) {
    Len = 3;
    if (C == 0xE0) Lo = 0xA0;
    if (C == 0xED) Hi = 0x9F;  // no surrogates
  } else if (C >= 0xF0 && C <= 0xF4) {
    Len = 4;
    if (C == 0xF0) Lo = 0x90;
    if (C == 0xF4) Hi = 0x8F;
  } else {
    return 0;
  }
  if (N < static_cast<std::size_t>(Len)) return 0;
  if (S[1] < Lo || S[1] > Hi) return 0;
  for (int I = 2; I < Len; ++I)
    if (!IsContinuation(S[I])) return 0;
  char32_t V = C & (0xFF >> (Len + 1));
  for (int I = 1; I < Len; ++I) V = (V << 6) | (S[I] & 0x3F);
  Code = V;
  return Len;
}

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

void AppendCode(QString& Out, char32_t Code)
{
  if (Code >= 0x10000) {
    Out += QChar(QChar::highSurrogate(Code));
    Out += QChar(QChar::lowSurrogate(Code));
  } else {
    Out += QChar(static_cast<char16_t>(Code));
  }
}

// Characters that the text document would turn into paragraph or frame breaks, or that
// show as nothing: displayed as the replacement character so every byte stays visible.
bool IsUnprintable(char32_t Code)
{
  return Code < 0x20 || (Code >= 0x7F && Code <= 0x9F) || Code == 0x2028 || Code == 0x2029 ||
         Code == 0xFDD0 || Code == 0xFDD1;
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
      if (Len == 0) Code = C;  // Latin-1
      else I += static_cast<std::size_t>(Len - 1);
      if (IsUnprintable(Code)) Out += kReplacement;
      else AppendCode(Out, Code);
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

// Appends Block to Out, cleaned: one pass equal to the three replacements in turn. Once
// the NULs are gone, a LF that follows a CR stays as it is (CR LF -> CR CR LF -> CR LF) and
// any other LF gains a CR. Runs without NUL or LF are copied whole.
void AppendCleanBlock(std::string& Out, std::string_view Block)
{
  char Previous = '\0';
  std::size_t I = 0;
  const std::size_t N = Block.size();
  while (I < N) {
    std::size_t J = std::min(Block.find('\n', I), N);
    J = std::min(Block.substr(0, J).find('\0', I), J);
    if (J > I) {
      Out.append(Block.data() + I, J - I);
      Previous = Block[J - 1];
    }
    if (J == N) break;
    if (Block[J] == '\n') {
      if (Previous != '\r') Out += '\r';
      Out += '\n';
      Previous = '\n';
    }
    I = J + 1;
  }
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
    "16 16 5 1",
    ". c None",
    "b c #000080",
    "c c #00FFFF",
    "g c #008000",
    "k c #000000",
    "....bbbbb.......",
    "..bbccgccbb.....",
    ".bcggcccgccb....",
    ".bcgggccggcb....",
    "bccgggcggcccb...",
    "bcccgccggcccb...",
    "bccccccgccgcb...",
    "bcgccccccggcb...",
    ".bcggcccgggb....",
    ".bccggcccgcb....",
    "..bbccccckkk....",
    "....bbbbbkkkk...",
    "..........kkkk..",
    "...........kkkk.",
    "............kkk.",
    ".............k..",
};

}  // namespace

TQueryForm::TQueryForm(QWidget* parent)
    : QDialog(parent), m_Ui(std::make_unique<Ui::TQueryForm>()), m_Socket(this), m_Timer(this), m_FlushTimer(this)
{
  QueryForm = this;
  m_Ui->setupUi(this);
  BotPanel = m_Ui->BotPanel;
  Address = m_Ui->Address;
  bGo = m_Ui->bGo;
  WHOIS = &m_Socket;
  Response = m_Ui->Response;
  WHOIStimer = &m_Timer;

  move(520, 185);
  setWindowIcon(QIcon(QPixmap(kQueryIcon)));
  setFont(WithFallback(font(), false));
  Response->setFont(WithFallback(Response->font(), true));
  Response->setUndoRedoEnabled(false);
  m_Text = Response->toPlainText().toStdString();
  m_Shown = m_Text.size();
  m_Column = m_Text.size();

  WHOIS->SetLineMode(false);
  WHOIS->SetLineLimit(65536);
  WHOIS->SetLineEnd("\r\n");
  WHOIS->SetLineEcho(false);
  WHOIS->SetLineEdit(false);
  WHOIS->SetProto("tcp");
  WHOIS->SetLocalAddr("0.0.0.0");
  WHOIS->SetLocalPort("0");
  WHOIS->SetMultiThreaded(false);
  WHOIS->SetMultiCast(false);
  WHOIS->SetMultiCastIpTTL(1);
  WHOIS->SetReuseAddr(false);
  WHOIS->SetComponentOptions(0);
  WHOIS->SetListenBacklog(5);
  WHOIS->SetFlushTimeout(60);
  WHOIS->SetSendFlags(wsSendNormal);
  WHOIS->SetLingerOnOff(wsLingerOn);
  WHOIS->SetLingerTimeout(0);
  WHOIS->SetSocksLevel("5");
  WHOIS->SetSocksAuthentication(socksNoAuthentication);
  WHOIS->OnDnsLookupDone = [this](TCustomWSocket* S, std::uint16_t E) { HostResolved(S, E); };
  WHOIS->OnSessionConnected = [this](TCustomWSocket* S, std::uint16_t E) { SendWHOISquery(S, E); };
  WHOIS->OnDataAvailable = [this](TCustomWSocket* S, std::uint16_t E) { DisplayWHOISdata(S, E); };
  WHOIS->OnSessionClosed = [this](TCustomWSocket* S, std::uint16_t E) { WHOISdone(S, E); };
  WHOIS->OnBgException = [this](TCustomWSocket* S, const std::exception& E, bool& C) { FlagWHOISerror(S, E, C); };

  WHOIStimer->setSingleShot(false);
  WHOIStimer->setInterval(90000);
  connect(WHOIStimer, &QTimer::timeout, this, &TQueryForm::WHOIStimeout);
  m_FlushTimer.setSingleShot(true);
  connect(&m_FlushTimer, &QTimer::timeout, this, &TQueryForm::FlushPane);

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
  // The socket outlives nothing of the form, but its handlers must not reach a form that is
  // half gone while it closes.
  WHOIS->OnDnsLookupDone = nullptr;
  WHOIS->OnSessionConnected = nullptr;
  WHOIS->OnDataAvailable = nullptr;
  WHOIS->OnSessionClosed = nullptr;
  WHOIS->OnBgException = nullptr;
  if (QueryForm == this) QueryForm = nullptr;
}

std::pair<std::string, std::string> TQueryForm::DefaultWhoisServer(const std::string& Registry)
{
  std::string Lower = Registry;
  for (char& C : Lower)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return {WhoisServerPrefix + Lower + WhoisServerSuffix, "43"};
}

void TQueryForm::FormCreate()
{
  setWindowTitle(QGuiApplication::applicationDisplayName());
  ResponseHistory.clear();
}

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
    char Ch = Key->key() == Qt::Key_Escape ? char(27)
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

void TQueryForm::DoQuery()
{
  if (m_Running) return;  // re-entered from the message loop below: one query at a time
  try {
    SetResponseText("");
    Address->setEditText(FromEightBit(CleanAddress(Address->currentText().toStdString())));
    QueryAddress = Address->currentText().toStdString();
    if (QueryAddress.empty()) {
      bGo->setEnabled(true);
      return;
    }
    bGo->setEnabled(false);
    m_Running = true;
    m_ReplyBytes = 0;
    m_ReplyCut = false;
    if (IsDottedAddress(QueryAddress)) {
      StartWhoisQuery();
      return;
    }
    AddResponseLine("Resolving " + QueryAddress + "..", 1);
    FlushPane();
    QCoreApplication::processEvents();
    // The host entry is valid only until the next blocking lookup on this thread, which the
    // message loop may run; take what is needed before running it.
    bool Found = false;
    std::string Official;
    if (const hostent* Host = WSocketGetHostByName(QueryAddress)) {
      Found = true;
      if (Host->h_name) Official = Host->h_name;
    }
    QCoreApplication::processEvents();
    if (!Found) {
      AddResponseLine("No such host", 1);
      m_Running = false;
      bGo->setEnabled(true);
      ScheduleFlush();
      return;
    }
    WHOIS->DnsLookup(Trim(Official));
  } catch (const std::exception& E) {
    // Qt cannot carry an exception through its event loop: report it here, the way the
    // program's top-level handler does, and leave the window ready for the next query.
    const std::string Message = E.what();
    ReturnToIdle();
    ShowApplicationError(Message);
  }
}

void TQueryForm::HostResolved(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  if (m_Discarding) return;
  QueryAddress = Trim(WHOIS->DnsResult());
  if (QueryAddress.empty()) {
    AddResponseLine("Could not resolve host. Please correct or enter a numeric address.", 1);
    m_Running = false;
    bGo->setEnabled(true);
    ScheduleFlush();
    return;
  }
  StartWhoisQuery();
}

void TQueryForm::FlagWHOISerror(TCustomWSocket* /*Sender*/, const std::exception& E, bool& /*CanClose*/)
{
  // CR LF in the 8-bit text; a label breaks lines at LF alone.
  const QString Text = QStringLiteral("Unhandled WHOIS error:\n") + FromEightBit(E.what());
  {
    QMessageBox Box(QMessageBox::Critical, QStringLiteral("Error"), Text, QMessageBox::NoButton, this);
    Box.setTextFormat(Qt::PlainText);
    QPushButton* AbortButton = Box.addButton(QStringLiteral("&Abort"), QMessageBox::AcceptRole);
    Box.setDefaultButton(AbortButton);
    Box.setEscapeButton(AbortButton);
    Box.exec();
  }
  try {
    WHOIS->Abort();
  } catch (...) {
    // The socket layer discards what a background-exception handler raises anyway.
  }
  // An exception before the connection existed (Connect failing from HostResolved) leaves
  // nothing open, so no OnSessionClosed will end the query: end it here.
  if (m_Running && WHOIS->State() == wsClosed) ReturnToIdle();
}

void TQueryForm::SendWHOISquery(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  if (m_Discarding) return;
  WHOIS->SendStr(QueryAddress + "\r\n");
}

void TQueryForm::DisplayWHOISdata(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  char Buffer[kReceiveBlock];
  for (;;) {
    const std::int32_t N = WHOIS->Receive(Buffer, kReceiveBlock);
    if (N <= 0) break;
    if (m_ReplyCut) continue;
    const std::size_t Got = static_cast<std::size_t>(N);
    const std::size_t Take = std::min(Got, ReplyCap - m_ReplyBytes);
    m_ReplyBytes += Take;
    if (Take > 0) {
      AppendCleanBlock(m_Text, std::string_view(Buffer, Take));
      ScheduleFlush(true);
    }
    if (Take < Got) {
      // A reply this long is no WHOIS record; keep memory bounded and end the query.
      m_ReplyCut = true;
      AddResponseLine("\r\n" + ReplyCutLine, 1);
      try {
        WHOIS->Close();
      } catch (...) {
        // Exceptions die in the receive loop; make sure the session still ends with "Done.".
        try {
          WHOIS->Abort();
        } catch (...) {
        }
        if (m_Running) WHOISdone(WHOIS, 0);
      }
      break;
    }
  }
}

void TQueryForm::WHOISdone(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  if (m_Discarding) return;
  WHOIStimer->stop();

  // Store the reply: more than 5 lines, an address not yet in the list.
  if (CountLines(m_Text) > 5) {
    const QString Queried = FromEightBit(QueryAddress);
    bool Known = false;
    for (int I = 0; I < Address->count() && !Known; ++I)
      Known = Address->itemText(I).compare(Queried, Qt::CaseInsensitive) == 0;
    if (!Known) {
      const QString Typed = Address->currentText();
      Address->insertItem(0, Typed);
      // The box keeps the user's text whatever the list does with its new item (the first
      // item of an empty list becomes the current one and is written into the box).
      if (Address->currentText() != Typed) Address->setEditText(Typed);
      ResponseHistory.push_back(CutHeader(m_Text));
    }
  }

  const std::size_t Kept = RightTrimmedLength(m_Text);
  if (Kept < m_Shown) {
    // Only when text was shown while no query ran; rebuild the display from the text.
    ResetPaneWidget();
  }
  m_Text.resize(Kept);
  m_Text += "\r\n\r\nDone.";
  m_Running = false;
  bGo->setEnabled(true);
  ScheduleFlush();
}

void TQueryForm::WHOIStimeout()
{
  try {
    AddResponseLine("\r\nConnection timeout", 1);
    WHOIS->Close();
  } catch (const std::exception& E) {
    ShowApplicationError(E.what());
  }
}

void TQueryForm::AddressSelect(int Index)
{
  if (Index < 0 || static_cast<std::size_t>(Index) >= ResponseHistory.size()) return;
  SetResponseText(ResponseHistory[ResponseHistory.size() - 1 - static_cast<std::size_t>(Index)]);
}

void TQueryForm::AddResponseLine(const std::string& Text, int Breaks)
{
  m_Text += Text;
  for (int I = 0; I < Breaks; ++I) m_Text += "\r\n";
  ScheduleFlush();
}

void TQueryForm::StartWhoisQuery()
{
  ContinentCode Continent = 0;
  CountryIndex Country = NoCountry;
  std::error_code Error;
  if (std::filesystem::exists(kRangeFileName, Error)) {
    // Bytes 245..254 of a range file name no country; they must not index the tables.
    const CountryIndex Found = IpToCountry(QueryAddress);
    if (IsKnownCountry(Found)) {
      Country = Found;
      Continent = CountryContinents[Country];
      if (Continent >= ContinentAdjectives.size()) Continent = 0;
      AddResponseLine(QueryAddress + " is based in " + std::string(CountryNames[Country]), 2);
    }
  }
  const std::string Registry = ChooseRegistry(Continent, Country);
  AddResponseLine("Address is " + std::string(ContinentAdjectives[Continent]) + ", querying " + Registry + "..", 2);
  const auto [Host, Port] = WhoisServerFor ? WhoisServerFor(Registry) : DefaultWhoisServer(Registry);
  WHOIS->SetAddr(Host);
  WHOIS->SetPort(Port);
  WHOIS->Connect();
  WHOIStimer->start();
}

void TQueryForm::ReturnToIdle()
{
  WHOIStimer->stop();
  if (WHOIS->State() != wsClosed) {
    // A Connect that failed after creating its socket leaves it open; close it quietly so
    // the next query can set Addr and Port again.
    m_Discarding = true;
    try {
      WHOIS->Abort();
    } catch (...) {
    }
    m_Discarding = false;
  }
  m_Running = false;
  bGo->setEnabled(true);
  ScheduleFlush();
}

void TQueryForm::SetResponseText(const std::string& Text)
{
  m_Text = Text;
  ResetPaneWidget();
  ScheduleFlush();
}

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
  const std::string_view Text(m_Text);
  std::size_t End = Text.size();
  if (m_Running) {
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

std::string TQueryForm::CleanReplyBlock(std::string_view Block)
{
  std::string Out;
  AppendCleanBlock(Out, Block);
  return Out;
}

std::string TQueryForm::CutHeader(const std::string& PaneText)
{
  const std::size_t Start = PaneText.find(", querying ");
  if (Start == std::string::npos) return PaneText;
  std::size_t P = Start;
  while (P < PaneText.size() && static_cast<unsigned char>(PaneText[P]) >= 32) ++P;
  // Positions count from 1 in the rule: "p less than the length" is P + 1 < size here.
  if (P + 1 < PaneText.size()) return Trim(std::string_view(PaneText).substr(P));
  return PaneText;
}

std::size_t TQueryForm::CountLines(std::string_view PaneText)
{
  // Every LF ends a line, and so does every CR that no LF follows.
  std::size_t Breaks = 0;
  for (std::size_t P = PaneText.find('\n'); P != std::string_view::npos; P = PaneText.find('\n', P + 1)) ++Breaks;
  for (std::size_t P = PaneText.find('\r'); P != std::string_view::npos; P = PaneText.find('\r', P + 1))
    if (P + 1 == PaneText.size() || PaneText[P + 1] != '\n') ++Breaks;
  const bool OpenLine = !PaneText.empty() && PaneText.back() != '\r' && PaneText.back() != '\n';
  return Breaks + (OpenLine ? 1 : 0);
}

QString TQueryForm::FromEightBit(std::string_view Text)
{
  QString Out;
  Out.reserve(static_cast<qsizetype>(Text.size()));
  const auto* S = reinterpret_cast<const unsigned char*>(Text.data());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    char32_t Code = S[I];
    if (S[I] >= 0x80) {
      const int Len = DecodeUtf8(S + I, Text.size() - I, Code);
      if (Len == 0) Code = S[I];
      else I += static_cast<std::size_t>(Len - 1);
    }
    AppendCode(Out, Code);
  }
  return Out;
}
