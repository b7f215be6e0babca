// SPDX-License-Identifier: MIT
// Which copy of IANA's bootstrap files is in use: the one built in, or the one the data
// package installs when that one is sound and no older. The installed folder is fixed at
// build time and absolute, so no file of the working directory can decide which host is asked.
#include "whois/RdapBootstrap.h"

#include <cerrno>
#include <stdexcept>
#include <optional>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QString>

#include "geo/LibOstrand.h"

namespace {

// IANA's files are a few KiB; the refresh script takes at most this much.
constexpr off_t kMaxFileBytes = 1 << 20;

bool WritableByOthers(const struct stat& St) { return (St.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// The contents of Path, or nothing with Problem set. Opened without blocking, so that a
// FIFO of that name cannot hold the command up.
std::optional<std::string> ReadSmallFile(const std::string& Path, std::string& Problem)
{
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (Fd < 0) {
    Problem = errno == ENOENT ? "no " + Path : "cannot open " + Path;
    return std::nullopt;
  }
  std::optional<std::string> Contents;
  struct stat St {};
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    Problem = Path + " is not a regular file";
  } else if (WritableByOthers(St)) {
    Problem = Path + " may be written by others than its owner";
  } else if (St.st_size > kMaxFileBytes) {
    Problem = Path + " is larger than 1 MiB";
  } else {
    std::string Text(static_cast<std::size_t>(St.st_size), '\0');
    std::size_t Have = 0;
    while (Have < Text.size()) {
      const ssize_t N = ::read(Fd, Text.data() + Have, Text.size() - Have);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) break;
      Have += static_cast<std::size_t>(N);
    }
    if (Have == Text.size())
      Contents = std::move(Text);
    else
      Problem = "cannot read " + Path;
  }
  ::close(Fd);
  return Contents;
}

// An RFC 3339 time with its zone; one without a zone would depend on the local one.
std::optional<QDateTime> PublicationTime(const std::string& Text)
{
  const QDateTime T = QDateTime::fromString(QString::fromStdString(Text), Qt::ISODate);
  if (!T.isValid() || T.timeSpec() == Qt::LocalTime) return std::nullopt;
  return T;
}

// Why Folder's copy may not replace BuiltIn; empty when it may, with Installed set.
std::string Judge(const std::string& Folder, const TRdapBootstrap& BuiltIn, std::optional<TRdapBootstrap>& Installed)
{
  if (Folder.empty() || Folder.front() != '/') return "the data folder \"" + Folder + "\" is not an absolute path";
  struct stat St {};
  if (::stat(Folder.c_str(), &St) != 0) return "no " + Folder;
  if (!S_ISDIR(St.st_mode)) return Folder + " is not a folder";
  if (WritableByOthers(St)) return Folder + " may be written by others than its owner";
  std::string Problem;
  const std::optional<std::string> V4 = ReadSmallFile(Folder + "/ipv4.json", Problem);
  if (!V4) return Problem;
  const std::optional<std::string> V6 = ReadSmallFile(Folder + "/ipv6.json", Problem);
  if (!V6) return Problem;
  std::optional<TRdapBootstrap> B = TRdapBootstrap::Read(*V4, *V6, &Problem);
  if (!B) return Folder + "/" + Problem;
  const struct {
    const char* Name;
    const std::string& Here;
    const std::string& Built;
  } Files[] = {{"ipv4.json", B->Publication4(), BuiltIn.Publication4()},
               {"ipv6.json", B->Publication6(), BuiltIn.Publication6()}};
  for (const auto& F : Files) {
    const std::string Path = Folder + "/" + F.Name;
    const std::optional<QDateTime> Here = PublicationTime(F.Here), Built = PublicationTime(F.Built);
    if (!Here) return Path + ": its publication \"" + F.Here + "\" is not a time";
    if (!Built) return std::string("the built-in ") + F.Name + "'s publication \"" + F.Built + "\" is not a time";
    if (*Here < *Built) return Path + " (" + F.Here + ") is older than the built-in copy (" + F.Built + ")";
  }
  Installed = std::move(B);
  return {};
}

struct TInUse {
  TRdapBootstrap Bootstrap;
  TRdapBootstrapSource Source;
};

const TInUse& InUse()
{
  static const TInUse Value = [] {
    TInUse V;
    V.Bootstrap = ChooseRdapBootstrap(std::string(RangeDataFolder) + "/iana-rdap", BuiltInRdapBootstrap(), &V.Source);
    return V;
  }();
  return Value;
}

}  // namespace

TRdapBootstrap BuiltInRdapBootstrap()
{
  auto Contents = [](const char* Name) {
    QFile F(QString(":/iana-rdap/") + Name);
    if (!F.open(QIODevice::ReadOnly)) throw std::runtime_error(std::string("built-in ") + Name + " is missing");
    return F.readAll().toStdString();
  };
  std::string Problem;
  std::optional<TRdapBootstrap> B = TRdapBootstrap::Read(Contents("ipv4.json"), Contents("ipv6.json"), &Problem);
  if (!B) throw std::runtime_error("built-in RDAP bootstrap: " + Problem);
  return std::move(*B);
}

TRdapBootstrap ChooseRdapBootstrap(const std::string& Folder, TRdapBootstrap BuiltIn, TRdapBootstrapSource* Source)
{
  std::optional<TRdapBootstrap> Installed;
  const std::string Ignored = Judge(Folder, BuiltIn, Installed);
  if (Source) {
    *Source = {};
    Source->Installed = Installed.has_value();
    Source->Folder = Folder;
    Source->BuiltIn4 = BuiltIn.Publication4();
    Source->BuiltIn6 = BuiltIn.Publication6();
    Source->Ignored = Ignored;
  }
  TRdapBootstrap InUse = Installed ? std::move(*Installed) : std::move(BuiltIn);
  if (Source) {
    Source->Publication4 = InUse.Publication4();
    Source->Publication6 = InUse.Publication6();
  }
  return InUse;
}

const TRdapBootstrap& ShippedRdapBootstrap() { return InUse().Bootstrap; }

const TRdapBootstrapSource& RdapBootstrapSource() { return InUse().Source; }
