// SPDX-License-Identifier: MIT
// SIGINT and SIGTERM as an event of the Qt loop: the handler only writes a byte to a pipe,
// whose read end a QSocketNotifier watches; OnStop runs from the loop. While one lives the
// two signals no longer end the process; its destruction restores what was there before.
#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QSocketNotifier>

class TStopSignal : public QObject {
 public:
  explicit TStopSignal(QObject* parent = nullptr);
  ~TStopSignal() override;
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  std::function<void()> OnStop;

 private:
  std::unique_ptr<QSocketNotifier> m_Notifier;
};
