// SPDX-License-Identifier: MIT
// The readiness watcher: QSocketNotifiers on the socket's current handle, turned into the
// Windows Sockets notifications (connect with its error, read, write, close with its error)
// and handed to the hidden window's entry as MsgSocketEvent, on the owner thread. They are
// delivered straight from the notifier, as a sent message would be: every posted message
// and every notifier (re)registration costs an event-loop wakeup, which dominated short
// sessions. The socket's own write notification after Send is posted.
//
// Level-triggered readiness would repeat endlessly, so the write notifier is on only while
// a connect is pending or a send could not take everything; the read notifier is off while
// paused, after the peer closed, and while a nested event loop runs inside a read handler.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "net/SocketApi.h"

class QSocketNotifier;
class TCustomWSocket;

class TSocketWatcher {
 public:
  explicit TSocketWatcher(TCustomWSocket& Socket);
  ~TSocketWatcher();
  TSocketWatcher(const TSocketWatcher&) = delete;
  TSocketWatcher& operator=(const TSocketWatcher&) = delete;

  // Watches S; nothing is reported until BeginConnect.
  void Start(TSocket S);
  // A connect was started: report its outcome when the handle becomes writable.
  void BeginConnect();
  // Nothing more will be reported for this handle.
  void EndWatching();
  // Before the handle is closed.
  void Stop();
  // A send could not take everything: report once when the handle is writable again.
  void WantWrite();
  // A receive on the handle returned 0: the peer's orderly close, with nothing left to read.
  void EndOfStreamSeen() { m_EndOfStream = true; }
  void Pause();
  // As a fresh registration would: report readability, and writability once.
  void Resume();

 private:
  enum class TPhase { Idle, Connecting, Connected, Ended };
  void OnReadable();
  void OnWritable();
  void Deliver(std::uint16_t Bits, std::uint16_t ErrCode);
  void BuryNotifiers();
  void SetRead(bool On);
  void SetWrite(bool On);

  TCustomWSocket& m_Socket;
  TSocket m_Handle = InvalidSocket;
  std::uint64_t m_Generation = 0;
  TPhase m_Phase = TPhase::Idle;
  bool m_Paused = false;
  std::unique_ptr<QSocketNotifier> m_Read;
  std::unique_ptr<QSocketNotifier> m_Write;
  // Depth of notifier slots running, and whether the read notifier was switched off
  // because one fired again inside a read handler's nested event loop.
  int m_SlotDepth = 0;
  bool m_InRead = false;
  bool m_ReadHeldBack = false;
  bool m_EndOfStream = false;
  // Notifiers of ended handles, disabled; a notifier must not be deleted while its own
  // signal is being emitted, so they go only when no slot is running.
  std::vector<std::unique_ptr<QSocketNotifier>> m_Graveyard;
};
