// SPDX-License-Identifier: MIT
// Opening the query window with large clipboard texts: time of ShowQueryForm (clipboard read,
// clean-up of the whole text, the address box filled, the window shown and closed again)
// for a short URL and for texts of 1 and 10 MiB: one long word with the address after an
// "@", one long word that is no address (cut for the box), and words with blanks.
//
// usage: show-query-bench [benchmark options]; runs offscreen unless QT_QPA_PLATFORM is set.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QTimer>

#include "app/Application.h"
#include "app/Main.h"
#include "tray/NotifyShell.h"
#include "whois/Query.h"

namespace {

// No tray here: the icon's calls succeed and do nothing.
class TNullShell : public TNotifyShell {
 public:
  bool Add(const TNotifyIconData&) override { return true; }
  bool Modify(const TNotifyIconData&) override { return true; }
  bool Delete(const TNotifyIconData&) override { return true; }
};

enum TKind { kUrl, kWordThenAddress, kLongWord, kWords };

QString Clipboard(TKind Kind, qsizetype Size)
{
  switch (Kind) {
    case kUrl: return "https://whois.example.test/path/page.html?q=1";
    case kWordThenAddress: return QString(Size, 'a') + "@host.example";
    case kLongWord: return QString(Size, 'a');
    case kWords: break;
  }
  QString Text;
  Text.reserve(Size + 16);
  while (Text.size() < Size) Text += "host.example some words of text ";
  return Text;
}

void BM_ShowQueryForm(benchmark::State& State)
{
  const auto Kind = static_cast<TKind>(State.range(0));
  const qsizetype Size = State.range(1);
  QGuiApplication::clipboard()->setText(Clipboard(Kind, Size));
  std::size_t Shown = 0;
  for (auto _ : State) {
    QTimer::singleShot(0, QueryForm, [&Shown] {
      Shown = static_cast<std::size_t>(QueryForm->Address->currentText().size());
      QueryForm->reject();
    });
    const auto Start = std::chrono::steady_clock::now();
    MainForm->ShowQueryForm(nullptr);
    const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - Start;
    State.SetIterationTime(Elapsed.count());
  }
  State.counters["box_chars"] = static_cast<double>(Shown);
}

BENCHMARK(BM_ShowQueryForm)
    ->Args({kUrl, 0})
    ->Args({kWordThenAddress, 1 << 20})
    ->Args({kWordThenAddress, 10 << 20})
    ->Args({kLongWord, 10 << 20})
    ->Args({kWords, 10 << 20})
    ->ArgNames({"kind", "size"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TNullShell Shell;
  SetDefaultNotifyShell(&Shell);
  int QtArgc = 1;
  char* QtArgv[] = {argv[0], nullptr};
  QApplication App(QtArgc, QtArgv);
  ConfigureApplication(App);
  {
    const TForms Forms;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  SetDefaultNotifyShell(nullptr);
  return 0;
}
