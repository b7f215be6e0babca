// SPDX-License-Identifier: MIT
// The readiness watcher: QSocketNotifiers on the socket's current handle, turned into the
// Windows Sockets notifications (connect with its error, read, write, close with its error)
// and posted to the hidden window as MsgSocketEvent. Owner thread only.
//
// Level-triggered readiness would repeat endlessly, so a notifier is on only while the
// notification it produces is wanted: write while connecting and after a refused or partial
// send, read while no read notification is waiting to be dispatched and the peer has not
// closed.
#pragma once

#include <cstdint>
#include <memory>

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
    // The connect's outcome is already known; nothing more will come for this handle.
    void EndWatching();
    // Before the handle is closed.
    void Stop();
    // A read notification was dispatched: watch for the next one.
    void ReadHandled();
    // A send could not take everything: report once when the handle is writable again.
    void WantWrite();
    // Event delivery resumes after a pause.
    void Resume();

private:
    enum class TPhase { Idle, Connecting, Connected, Ended };
    void OnReadable();
    void OnWritable();
    void Post(std::uint16_t Bits, std::uint16_t ErrCode);

    TCustomWSocket& m_Socket;
    TSocket m_Handle = InvalidSocket;
    TPhase m_Phase = TPhase::Idle;
    std::unique_ptr<QSocketNotifier> m_Read;
    std::unique_ptr<QSocketNotifier> m_Write;
};
