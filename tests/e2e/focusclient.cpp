// SPDX-License-Identifier: MIT
// The "panel" of the focus test: a plain Wayland client (libwayland only) that shows a window,
// owns the clipboard once it has the keyboard, and hands out XDG activation tokens as a
// StatusNotifierItem host does before it calls Activate. Commands on standard input, one per
// line: "token" prints "token TOKEN" (a token for the last input serial on its own surface).
// It reports "focus in", "focus out" and "paste MIME" (someone read the clipboard) as they
// happen.
// usage: focusclient CLIPBOARD_TEXT
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <wayland-client.h>

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct TClient {
  wl_display* Display = nullptr;
  wl_compositor* Compositor = nullptr;
  wl_shm* Shm = nullptr;
  wl_seat* Seat = nullptr;
  wl_keyboard* Keyboard = nullptr;
  wl_data_device_manager* DataManager = nullptr;
  wl_data_device* DataDevice = nullptr;
  xdg_wm_base* WmBase = nullptr;
  xdg_activation_v1* Activation = nullptr;
  wl_surface* Surface = nullptr;
  std::uint32_t Serial = 0;
  bool Focused = false;
  bool Configured = false;
  std::string Clipboard;
  std::string Token;
  bool TokenDone = false;
};

void Say(const std::string& Line)
{
  std::printf("%s\n", Line.c_str());
  std::fflush(stdout);
}

// A mid-grey buffer of W x H pixels in a memory file.
wl_buffer* Buffer(TClient& C, int W, int H)
{
  const int Stride = W * 4, Size = Stride * H;
  const int Fd = memfd_create("focusclient", MFD_CLOEXEC);
  if (Fd < 0 || ftruncate(Fd, Size) != 0) return nullptr;
  void* Data = mmap(nullptr, static_cast<size_t>(Size), PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
  std::memset(Data, 0x80, static_cast<size_t>(Size));
  munmap(Data, static_cast<size_t>(Size));
  wl_shm_pool* Pool = wl_shm_create_pool(C.Shm, Fd, Size);
  wl_buffer* B = wl_shm_pool_create_buffer(Pool, 0, W, H, Stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(Pool);
  close(Fd);
  return B;
}

void SourceSend(void* Data, wl_data_source*, const char* Mime, int Fd)
{
  const auto* C = static_cast<TClient*>(Data);
  if (write(Fd, C->Clipboard.data(), C->Clipboard.size()) < 0) {
  }
  close(Fd);
  Say(std::string("paste ") + Mime);
}
void SourceCancelled(void*, wl_data_source* Source) { wl_data_source_destroy(Source); }
void SourceTarget(void*, wl_data_source*, const char*) {}
const wl_data_source_listener kSource = {SourceTarget, SourceSend, SourceCancelled, nullptr, nullptr, nullptr};

void OwnClipboard(TClient& C)
{
  if (!C.DataDevice || C.Clipboard.empty()) return;
  wl_data_source* Source = wl_data_device_manager_create_data_source(C.DataManager);
  wl_data_source_add_listener(Source, &kSource, &C);
  wl_data_source_offer(Source, "text/plain;charset=utf-8");
  wl_data_source_offer(Source, "text/plain");
  wl_data_device_set_selection(C.DataDevice, Source, C.Serial);
}

void KeyMap(void*, wl_keyboard*, std::uint32_t, int Fd, std::uint32_t) { close(Fd); }
void KeyEnter(void* Data, wl_keyboard*, std::uint32_t Serial, wl_surface*, wl_array*)
{
  auto* C = static_cast<TClient*>(Data);
  C->Serial = Serial;
  C->Focused = true;
  Say("focus in");
  OwnClipboard(*C);
}
void KeyLeave(void* Data, wl_keyboard*, std::uint32_t, wl_surface*)
{
  static_cast<TClient*>(Data)->Focused = false;
  Say("focus out");
}
void Key(void* Data, wl_keyboard*, std::uint32_t Serial, std::uint32_t, std::uint32_t, std::uint32_t)
{
  static_cast<TClient*>(Data)->Serial = Serial;
}
void Modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void Repeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener kKeyboard = {KeyMap, KeyEnter, KeyLeave, Key, Modifiers, Repeat};

void SeatCaps(void* Data, wl_seat* Seat, std::uint32_t Caps)
{
  auto* C = static_cast<TClient*>(Data);
  if ((Caps & WL_SEAT_CAPABILITY_KEYBOARD) && !C->Keyboard) {
    C->Keyboard = wl_seat_get_keyboard(Seat);
    wl_keyboard_add_listener(C->Keyboard, &kKeyboard, C);
  }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeat = {SeatCaps, SeatName};

void Ping(void*, xdg_wm_base* Base, std::uint32_t Serial) { xdg_wm_base_pong(Base, Serial); }
const xdg_wm_base_listener kWmBase = {Ping};

void SurfaceConfigure(void* Data, xdg_surface* Surface, std::uint32_t Serial)
{
  auto* C = static_cast<TClient*>(Data);
  xdg_surface_ack_configure(Surface, Serial);
  if (!C->Configured) {
    C->Configured = true;
    wl_surface_attach(C->Surface, Buffer(*C, 240, 160), 0, 0);
  }
  wl_surface_commit(C->Surface);
}
const xdg_surface_listener kXdgSurface = {SurfaceConfigure};

void ToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void ToplevelClose(void*, xdg_toplevel*) {}
const xdg_toplevel_listener kToplevel = {ToplevelConfigure, ToplevelClose, nullptr, nullptr};

void TokenDone(void* Data, xdg_activation_token_v1* Token, const char* Text)
{
  auto* C = static_cast<TClient*>(Data);
  C->Token = Text;
  C->TokenDone = true;
  xdg_activation_token_v1_destroy(Token);
}
const xdg_activation_token_v1_listener kToken = {TokenDone};

void Global(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface, std::uint32_t)
{
  auto* C = static_cast<TClient*>(Data);
  const std::string I = Interface;
  if (I == wl_compositor_interface.name)
    C->Compositor = static_cast<wl_compositor*>(wl_registry_bind(Registry, Name, &wl_compositor_interface, 4));
  else if (I == wl_shm_interface.name)
    C->Shm = static_cast<wl_shm*>(wl_registry_bind(Registry, Name, &wl_shm_interface, 1));
  else if (I == wl_seat_interface.name && !C->Seat) {
    C->Seat = static_cast<wl_seat*>(wl_registry_bind(Registry, Name, &wl_seat_interface, 5));
    wl_seat_add_listener(C->Seat, &kSeat, C);
  } else if (I == wl_data_device_manager_interface.name)
    C->DataManager =
        static_cast<wl_data_device_manager*>(wl_registry_bind(Registry, Name, &wl_data_device_manager_interface, 3));
  else if (I == xdg_wm_base_interface.name) {
    C->WmBase = static_cast<xdg_wm_base*>(wl_registry_bind(Registry, Name, &xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(C->WmBase, &kWmBase, C);
  } else if (I == xdg_activation_v1_interface.name)
    C->Activation = static_cast<xdg_activation_v1*>(wl_registry_bind(Registry, Name, &xdg_activation_v1_interface, 1));
}
void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

}  // namespace

int main(int argc, char** argv)
{
  TClient C;
  C.Clipboard = argc > 1 ? argv[1] : "";
  C.Display = wl_display_connect(nullptr);
  if (!C.Display) {
    std::fprintf(stderr, "focusclient: no Wayland display\n");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(C.Display), &kRegistry, &C);
  wl_display_roundtrip(C.Display);
  if (!C.Compositor || !C.Shm || !C.WmBase || !C.Seat) {
    std::fprintf(stderr, "focusclient: the compositor lacks a global this client needs\n");
    return 1;
  }
  if (!C.Activation) Say("no xdg_activation_v1");
  if (C.DataManager) C.DataDevice = wl_data_device_manager_get_data_device(C.DataManager, C.Seat);
  C.Surface = wl_compositor_create_surface(C.Compositor);
  xdg_surface* XdgSurface = xdg_wm_base_get_xdg_surface(C.WmBase, C.Surface);
  xdg_surface_add_listener(XdgSurface, &kXdgSurface, &C);
  xdg_toplevel* Toplevel = xdg_surface_get_toplevel(XdgSurface);
  xdg_toplevel_add_listener(Toplevel, &kToplevel, &C);
  xdg_toplevel_set_title(Toplevel, "focus-host");
  wl_surface_commit(C.Surface);

  std::string Input;
  for (;;) {
    wl_display_flush(C.Display);
    pollfd Fds[2] = {{wl_display_get_fd(C.Display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(Fds, 2, -1) < 0) continue;
    if (Fds[0].revents & POLLIN) {
      if (wl_display_dispatch(C.Display) < 0) return 1;
    } else if (Fds[0].revents & (POLLERR | POLLHUP)) {
      return 1;
    }
    if (!(Fds[1].revents & (POLLIN | POLLHUP))) continue;
    char Buf[256];
    const ssize_t N = read(STDIN_FILENO, Buf, sizeof Buf);
    if (N <= 0) return 0;
    Input.append(Buf, static_cast<size_t>(N));
    for (size_t End; (End = Input.find('\n')) != std::string::npos; Input.erase(0, End + 1)) {
      if (Input.compare(0, End, "token") != 0 || !C.Activation) continue;
      C.TokenDone = false;
      xdg_activation_token_v1* Token = xdg_activation_v1_get_activation_token(C.Activation);
      xdg_activation_token_v1_add_listener(Token, &kToken, &C);
      xdg_activation_token_v1_set_serial(Token, C.Serial, C.Seat);
      xdg_activation_token_v1_set_surface(Token, C.Surface);
      xdg_activation_token_v1_commit(Token);
      while (!C.TokenDone && wl_display_dispatch(C.Display) >= 0) {
      }
      Say("token " + C.Token);
    }
  }
}
