// SPDX-License-Identifier: MIT
#include "net/SocketErrors.h"

#include <algorithm>
#include <cerrno>
#include <span>
#include <string_view>

#include <netdb.h>

namespace {

struct TErrorTextRow {
    int Code;
    std::string_view Text;
};

// Windows Sockets 1.1 codes and their texts, sorted by code for the binary search below.
constexpr TErrorTextRow kErrorTextRows[] = {
    {0, "No Error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Address not available"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Connection aborted"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};

constexpr std::span<const TErrorTextRow> kErrorTexts{kErrorTextRows};

struct TErrnoRow {
    int Errno;
    int Code;
};

// Every errno with a counterpart in the table above. Windows Sockets numbers its codes as
// 10000 plus the BSD errno, but Linux numbers them differently, so each is listed by name.
// Codes 10067 (too many processes) and 10091..10093 (library state) have no Linux errno.
constexpr TErrnoRow kErrnoRowsData[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EPERM, 10013},  // e.g. a firewall refusing connect(): the caller lacks permission
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},  // the system-wide table is full; to the caller the same condition
    {EWOULDBLOCK, 10035},
    {EAGAIN, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {ENOTSUP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},  // kernel out of socket memory
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {EPIPE, 10058},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
    {EUSERS, 10068},
    {EDQUOT, 10069},
    {ESTALE, 10070},
    {EREMOTE, 10071},
};

constexpr std::span<const TErrnoRow> kErrnoRows{kErrnoRowsData};

constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;
constexpr int kNoData = 11004;

} // namespace

std::string SocketErrorText(int Code)
{
    const auto It = std::lower_bound(kErrorTexts.begin(), kErrorTexts.end(), Code,
        [](const TErrorTextRow& Row, int Value) { return Row.Code < Value; });
    if (It == kErrorTexts.end() || It->Code != Code)
        return "Not a WinSock error";
    return std::string(It->Text);
}

int MapNativeError(int Errno)
{
    if (Errno == 0)
        return 0;
    for (const TErrnoRow& Row : kErrnoRows) {
        if (Row.Errno == Errno)
            return Row.Code;
    }
    // errno values are small and positive; anything else still lands outside the table.
    return Errno > 0 ? kUnmappedErrorBase + Errno : kUnmappedErrorBase;
}

int MapConnectError(int Errno)
{
    if (Errno == EINPROGRESS)
        return 10035;
    return MapNativeError(Errno);
}

int MapResolverError(int HErrno)
{
    switch (HErrno) {
    case 0:
        return 0;
    case HOST_NOT_FOUND:
        return kHostNotFound;
    case TRY_AGAIN:
        return kTryAgain;
    case NO_RECOVERY:
        return kNoRecovery;
    case NO_DATA:
        return kNoData;
    default:
        // NETDB_INTERNAL and anything unknown: the caller cannot fix it by retrying.
        return kNoRecovery;
    }
}

int MapAddrInfoError(int EaiCode)
{
    switch (EaiCode) {
    case 0:
        return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return kHostNotFound;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        // The host exists but has no IPv4 address: that is what "No Data" means.
        return kNoData;
#endif
    case EAI_AGAIN:
        return kTryAgain;
    case EAI_FAIL:
        return kNoRecovery;
    case EAI_MEMORY:
        return 10055;
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
    case EAI_SERVICE:
        return 10044;
    case EAI_BADFLAGS:
        return 10022;
    case EAI_SYSTEM:
        // errno holds the cause only right after getaddrinfo returned, so map it now.
        return errno != 0 ? MapNativeError(errno) : kNoRecovery;
    default:
        return kNoRecovery;
    }
}
