# Debian 12 packages, by what needs them. `make run` installs the build's and the program's
# (BUILD_PACKAGES, RUN_PACKAGES); `make deps`, `make test` and the other targets install all
# of them (CI runs `make test` on a fresh machine). apt-get runs with --no-install-recommends:
# what is named here and what it depends on, nothing more.

# Building the programs: the compiler and build tools; Qt 6 (Core, Gui, Widgets, DBus,
# Network, with moc, uic and rcc; its CMake files look for OpenGL's, which libgl-dev holds).
BUILD_PACKAGES := g++ make cmake ninja-build qt6-base-dev libgl-dev

# Debian's country lists, which the range files are made from. The package depends on the
# Tor daemon, so `make run` does not install it on a desktop: it unpacks the package into its
# build folder (tools/country-lists.sh) unless the lists are installed already.
COUNTRY_LIST_PACKAGES := tor-geoipdb

# Running the tray program on a desktop: Qt's platform plugins, X11's and Wayland's.
RUN_PACKAGES := qt6-qpa-plugins qt6-wayland

# Unit tests, the sanitizer and fuzz builds: GoogleTest, the protocol and service databases,
# clang with its sanitizer and fuzzer runtime, pkg-config (the optional lookups of the test
# helpers and benchmarks), unshare and ip for the tests' own network namespace.
UNIT_TEST_PACKAGES := libgtest-dev libgmock-dev netbase clang libclang-rt-14-dev pkg-config \
  util-linux iproute2

# Benchmarks, and the tools they compare the programs with.
BENCH_PACKAGES := libbenchmark-dev whois geoip-bin geoip-database libgeoip-dev hyperfine time

# The end-to-end tests on desktops: Xvfb with an XEmbed tray, sway with waybar, KWin and
# GNOME Shell with the AppIndicator extension, headless; the tools that drive and picture
# them, a D-Bus session, and the scripts' process tools and python3.
DESKTOP_PACKAGES := xvfb openbox trayer xdotool xclip xsel x11-utils x11-apps imagemagick \
  fonts-dejavu-core procps psmisc python3 \
  sway waybar grim wl-clipboard wtype dbus-daemon systemd \
  kwin-wayland libwayland-dev wayland-protocols \
  gnome-shell gnome-shell-extension-appindicator libglib2.0-bin

# `make format`: the formatter the tree's .clang-format is written for.
FORMAT_PACKAGES := clang-format

# The Debian packages and their checks (ccache: the reproducibility check's second build).
PACKAGING_PACKAGES := dpkg-dev file appstream desktop-file-utils man-db groff-base lintian ccache

RUN_TARGET_PACKAGES := $(BUILD_PACKAGES) $(RUN_PACKAGES)
PACKAGES := $(RUN_TARGET_PACKAGES) $(COUNTRY_LIST_PACKAGES) $(UNIT_TEST_PACKAGES) $(BENCH_PACKAGES) $(DESKTOP_PACKAGES) \
  $(PACKAGING_PACKAGES) $(FORMAT_PACKAGES)
