// SPDX-License-Identifier: MIT
#include "net/SocketErrors.h"

#include <algorithm>
#include <cerrno>
#include <span>
#include <string_view>

#include <netdb.h>

#include "text/AsciiText.h"

namespace {

struct TErrorTextRow {
  int Code;
  std::string_view Text;
  // The resolver's codes only: what a failed lookup's report says.
  std::string_view LookupCause = {};
};

// Windows Sockets 1.1 codes and their texts, sorted by code for the binary search below.
constexpr TErrorTextRow kErrorTextRows[] = {
    {0, "No Error"},
    {kWsaEIntr, "Interrupted system call"},
    {kWsaEBadF, "Bad file number"},
    {kWsaEAcces, "Permission denied"},
    {kWsaEFault, "Bad address"},
    {kWsaEInval, "Invalid argument"},
    {kWsaEMFile, "Too many open files"},
    {kWsaEWouldBlock, "Operation would block"},
    {kWsaEInProgress, "Operation now in progress"},
    {kWsaEAlready, "Operation already in progress"},
    {kWsaENotSock, "Socket operation on non-socket"},
    {kWsaEDestAddrReq, "Destination address required"},
    {kWsaEMsgSize, "Message too long"},
    {kWsaEProtoType, "Protocol wrong type for socket"},
    {kWsaENoProtoOpt, "Protocol not available"},
    {kWsaEProtoNoSupport, "Protocol not supported"},
    {kWsaESocktNoSupport, "Socket type not supported"},
    {kWsaEOpNotSupp, "Operation not supported on socket"},
    {kWsaEPfNoSupport, "Protocol family not supported"},
    {kWsaEAfNoSupport, "Address family not supported by protocol family"},
    {kWsaEAddrInUse, "Address already in use"},
    {kWsaEAddrNotAvail, "Address not available"},
    {kWsaENetDown, "Network is down"},
    {kWsaENetUnreach, "Network is unreachable"},
    {kWsaENetReset, "Network dropped connection on reset"},
    {kWsaEConnAborted, "Connection aborted"},
    {kWsaEConnReset, "Connection reset by peer"},
    {kWsaENoBufs, "No buffer space available"},
    {kWsaEIsConn, "Socket is already connected"},
    {kWsaENotConn, "Socket is not connected"},
    {kWsaEShutdown, "Can't send after socket shutdown"},
    {kWsaETooManyRefs, "Too many references: can't splice"},
    {kWsaETimedOut, "Connection timed out"},
    {kWsaEConnRefused, "Connection refused"},
    {kWsaELoop, "Too many levels of symbolic links"},
    {kWsaENameTooLong, "File name too long"},
    {kWsaEHostDown, "Host is down"},
    {kWsaEHostUnreach, "No route to host"},
    {kWsaENotEmpty, "Directory not empty"},
    {kWsaEProcLim, "Too many processes"},
    {kWsaEUsers, "Too many users"},
    {kWsaEDQuot, "Disc quota exceeded"},
    {kWsaEStale, "Stale NFS file handle"},
    {kWsaERemote, "Too many levels of remote in path"},
    {kWsaSysNotReady, "Network sub-system is unusable"},
    {kWsaVerNotSupported, "WinSock DLL cannot support this application"},
    {kWsaNotInitialised, "WinSock not initialized"},
    {kWsaHostNotFound, "Host not found", "no such host"},
    {kWsaTryAgain, "Non-authoritative host not found", "the name server did not answer; try again later"},
    {kWsaNoRecovery, "Non-recoverable error", "the name server failed"},
    {kWsaNoData, "No Data", "the name has no IPv4 address"},
};

constexpr std::span<const TErrorTextRow> kErrorTexts{kErrorTextRows};

struct TErrnoRow {
  int Errno;
  int Code;
};

// Every errno with a counterpart in the table above. Windows Sockets numbers its codes as
// 10000 plus the BSD errno, but Linux numbers them differently, so each is listed by name.
// Codes kWsaEProcLim (too many processes) and kWsaSysNotReady..kWsaNotInitialised (the
// library's state) have no Linux errno.
constexpr TErrnoRow kErrnoRowsData[] = {
    {EINTR, kWsaEIntr},
    {EBADF, kWsaEBadF},
    {EACCES, kWsaEAcces},
    {EPERM, kWsaEAcces},  // e.g. a firewall refusing connect(): the caller lacks permission
    {EFAULT, kWsaEFault},
    {EINVAL, kWsaEInval},
    {EMFILE, kWsaEMFile},
    {ENFILE, kWsaEMFile},  // the system-wide table is full; to the caller the same condition
    {EWOULDBLOCK, kWsaEWouldBlock},
    {EAGAIN, kWsaEWouldBlock},
    {EINPROGRESS, kWsaEInProgress},
    {EALREADY, kWsaEAlready},
    {ENOTSOCK, kWsaENotSock},
    {EDESTADDRREQ, kWsaEDestAddrReq},
    {EMSGSIZE, kWsaEMsgSize},
    {EPROTOTYPE, kWsaEProtoType},
    {ENOPROTOOPT, kWsaENoProtoOpt},
    {EPROTONOSUPPORT, kWsaEProtoNoSupport},
    {ESOCKTNOSUPPORT, kWsaESocktNoSupport},
    {EOPNOTSUPP, kWsaEOpNotSupp},
    {ENOTSUP, kWsaEOpNotSupp},
    {EPFNOSUPPORT, kWsaEPfNoSupport},
    {EAFNOSUPPORT, kWsaEAfNoSupport},
    {EADDRINUSE, kWsaEAddrInUse},
    {EADDRNOTAVAIL, kWsaEAddrNotAvail},
    {ENETDOWN, kWsaENetDown},
    {ENETUNREACH, kWsaENetUnreach},
    {ENETRESET, kWsaENetReset},
    {ECONNABORTED, kWsaEConnAborted},
    {ECONNRESET, kWsaEConnReset},
    {ENOBUFS, kWsaENoBufs},
    {ENOMEM, kWsaENoBufs},  // kernel out of socket memory
    {EISCONN, kWsaEIsConn},
    {ENOTCONN, kWsaENotConn},
    {EPIPE, kWsaEShutdown},
    {ESHUTDOWN, kWsaEShutdown},
    {ETOOMANYREFS, kWsaETooManyRefs},
    {ETIMEDOUT, kWsaETimedOut},
    {ECONNREFUSED, kWsaEConnRefused},
    {ELOOP, kWsaELoop},
    {ENAMETOOLONG, kWsaENameTooLong},
    {EHOSTDOWN, kWsaEHostDown},
    {EHOSTUNREACH, kWsaEHostUnreach},
    {ENOTEMPTY, kWsaENotEmpty},
    {EUSERS, kWsaEUsers},
    {EDQUOT, kWsaEDQuot},
    {ESTALE, kWsaEStale},
    {EREMOTE, kWsaERemote},
};

constexpr std::span<const TErrnoRow> kErrnoRows{kErrnoRowsData};

// The resolver's codes follow this one.
constexpr int kWsaResolverBase = kWsaBaseError + 1000;

const TErrorTextRow* FindRow(int Code)
{
  const auto It = std::lower_bound(kErrorTexts.begin(), kErrorTexts.end(), Code,
                                   [](const TErrorTextRow& Row, int Value) { return Row.Code < Value; });
  return It == kErrorTexts.end() || It->Code != Code ? nullptr : &*It;
}

}  // namespace

std::string SocketErrorText(int Code)
{
  const TErrorTextRow* Row = FindRow(Code);
  return Row ? std::string(Row->Text) : std::string("Not a WinSock error");
}

std::string SocketErrorCause(int Code)
{
  if (Code < kWsaBaseError || Code >= kWsaResolverBase) return "the connection failed";
  // Inside a sentence: the first letter in lower case, unless the first word is in
  // capitals (an abbreviation).
  std::string Text = SocketErrorText(Code);
  LowerSentenceStart(Text);
  return Text;
}

std::string LookupErrorCause(int Code)
{
  const TErrorTextRow* Row = FindRow(Code);
  if (!Row || Row->LookupCause.empty()) return "the name could not be looked up";
  return std::string(Row->LookupCause);
}

int MapNativeError(int Errno)
{
  if (Errno == 0) return 0;
  for (const TErrnoRow& Row : kErrnoRows) {
    if (Row.Errno == Errno) return Row.Code;
  }
  // errno values are small and positive; anything else still lands outside the table.
  return Errno > 0 ? kUnmappedErrorBase + Errno : kUnmappedErrorBase;
}

int MapConnectError(int Errno)
{
  if (Errno == EINPROGRESS) return kWsaEWouldBlock;
  return MapNativeError(Errno);
}

int MapResolverError(int HErrno)
{
  switch (HErrno) {
    case 0: return 0;
    case HOST_NOT_FOUND: return kWsaHostNotFound;
    case TRY_AGAIN: return kWsaTryAgain;
    case NO_RECOVERY: return kWsaNoRecovery;
    case NO_DATA: return kWsaNoData;
    default:
      // NETDB_INTERNAL and anything unknown: the caller cannot fix it by retrying.
      return kWsaNoRecovery;
  }
}

int MapAddrInfoError(int EaiCode)
{
  switch (EaiCode) {
    case 0: return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
      return kWsaHostNotFound;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      // The host exists but has no IPv4 address: that is what "No Data" means.
      return kWsaNoData;
#endif
    case EAI_AGAIN: return kWsaTryAgain;
    case EAI_FAIL: return kWsaNoRecovery;
    case EAI_MEMORY: return kWsaENoBufs;
    case EAI_FAMILY: return kWsaEAfNoSupport;
    case EAI_SOCKTYPE:
    case EAI_SERVICE: return kWsaESocktNoSupport;
    case EAI_BADFLAGS: return kWsaEInval;
    case EAI_SYSTEM:
      // errno holds the cause only right after getaddrinfo returned, so map it now.
      return errno != 0 ? MapNativeError(errno) : kWsaNoRecovery;
    default: return kWsaNoRecovery;
  }
}
