// SPDX-License-Identifier: MIT
// Puts the calling thread into a network namespace of its own, with no interface up, for the
// life of the object, and back into its earlier one afterwards. No address has a route in
// there: a connect to any address but loopback's fails at once with "network unreachable",
// and nothing can leave the machine. Sockets made meanwhile stay in that namespace.
// A namespace per thread, not a forked child: Qt's widgets draw with helper threads that a
// fork would not carry over.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

class TOwnNetwork {
 public:
  TOwnNetwork()
  {
    m_Old = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_Old < 0) return;
    if (::unshare(CLONE_NEWNET) != 0) {
      ::close(m_Old);
      m_Old = -1;
      return;
    }
    m_Entered = true;
  }
  ~TOwnNetwork()
  {
    if (m_Entered) (void)::setns(m_Old, CLONE_NEWNET);
    if (m_Old >= 0) ::close(m_Old);
  }
  TOwnNetwork(const TOwnNetwork&) = delete;
  TOwnNetwork& operator=(const TOwnNetwork&) = delete;

  // False when this process may not make a network namespace (not root, or a container
  // without the right); the thread then stays where it was.
  bool Entered() const { return m_Entered; }

 private:
  int m_Old = -1;
  bool m_Entered = false;
};
