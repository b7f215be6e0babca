// SPDX-License-Identifier: MIT
// The input of quorvex-query's answers: arguments one target each, standard input ("-") and
// files read as they are needed, their text scanned for every IPv4 and IPv6 address, each
// once, in the order they first appear. Reading stops while the answer engine holds Window
// targets that are not handed out yet, so memory does not grow with the input's size.
// GUI thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QSocketNotifier>

#include "whois/AddressScan.h"
#include "whois/AnswerRun.h"

class TTargetFeed : public QObject {
 public:
  struct TSource {
    enum class TKind { Argument, Stream } Kind = TKind::Argument;
    std::string Text;  // the argument, or the file's name ("-": standard input)
  };
  // Classify turns an argument into its target.
  TTargetFeed(std::vector<TSource> Sources, TAnswerRun& Run, std::size_t Window,
              std::function<TAnswerTarget(const std::string&)> Classify, QObject* parent = nullptr);
  ~TTargetFeed() override;

  // Adds targets until the window is full or the input waits; call it again whenever answers
  // have been handed out.
  void Pump();
  // Every source read to its end.
  bool Ended() const { return m_Next >= m_Sources.size() && m_Fd < 0; }
  // Reads nothing more.
  void Stop();

  // A file that could not be opened or read: its name and the reason.
  std::function<void(const std::string& Name, const std::string& Reason)> OnError;
  // Something more was read (for the progress line).
  std::function<void()> OnRead;

 private:
  bool Full() const { return m_Run.Waiting() >= m_Window; }
  bool OpenNext();
  // Reads one chunk of the open stream; false when it has to wait for the stream.
  bool ReadChunk();
  void CloseStream();
  void AddFound();

  std::vector<TSource> m_Sources;
  TAnswerRun& m_Run;
  std::size_t m_Window;
  std::function<TAnswerTarget(const std::string&)> m_Classify;
  std::size_t m_Next = 0;
  int m_Fd = -1;
  bool m_OwnFd = false;
  bool m_Regular = false;
  std::string m_Name;
  std::unique_ptr<QSocketNotifier> m_Notifier;
  bool m_Ready = false;              // the notifier said the stream has something
  std::vector<std::string> m_Found;  // what the scanner yielded from the chunk read last
  TAddressScanner m_Scan;            // one for all streams: an address is answered once
  bool m_Stopped = false;
  bool m_Pumping = false;
};
