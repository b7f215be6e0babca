# Quorvex: the commands a newcomer needs. `make run` starts the program, `make test` builds
# and runs every test; both install missing Debian packages first.

BUILD     ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
PACKAGE_NEWS ?= $(CURDIR)/NEWS
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
RANGE_FILE := $(BUILD)/Ostrand.dat
RANGE_FILE6 := $(BUILD)/Ostrand6.dat

PACKAGES := g++ make cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev \
  libgtest-dev libgmock-dev libbenchmark-dev netbase tor-geoipdb \
  xvfb openbox trayer xdotool xclip xsel x11-utils x11-apps imagemagick fonts-dejavu-core \
  iproute2 util-linux procps psmisc whois geoip-bin geoip-database libgeoip-dev hyperfine \
  clang libclang-rt-14-dev python3 \
  dpkg-dev file appstream desktop-file-utils man-db groff-base lintian ccache \
  sway waybar qt6-wayland grim wl-clipboard wtype dbus-daemon systemd \
  kwin-wayland libwayland-dev wayland-protocols \
  gnome-shell gnome-shell-extension-appindicator libglib2.0-bin

.PHONY: all deps configure build test test-only run bench asan asan-test e2e e2e-focus soak fuzz package clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -z "$$missing" ]; then echo "deps: all packages present"; \
	elif [ "$$(id -u)" = 0 ]; then \
	  echo "deps: installing $$missing"; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  apt-get update -qq && apt-get install -y -qq --no-install-recommends $$missing; \
	else \
	  echo "deps: missing packages; run as root:"; \
	  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends $$missing"; \
	  exit 1; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

$(RANGE_FILE): | build
	$(BUILD)/tools/ostrand-build/ostrand-build /usr/share/tor/geoip $(RANGE_FILE)

$(RANGE_FILE6): | build
	$(BUILD)/tools/ostrand-build/ostrand-build -6 /usr/share/tor/geoip6 $(RANGE_FILE6)

test: build package
	$(MAKE) test-only

# Tests talk only to loopback. As root they also run in a network namespace of their own, so
# that not even a resolver query can leave the machine.
ISOLATE = if [ "$$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then \
	    unshare -n sh -c 'ip link set lo up && exec "$$0" "$$@"' $(1); else $(1); fi

test-only:
	@$(call ISOLATE,ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS))

# The tray program reads the range files from its working directory.
run: build $(RANGE_FILE) $(RANGE_FILE6)
	cd $(BUILD) && ./app/quorvex

bench: build $(RANGE_FILE) $(RANGE_FILE6)
	bench/run-all.sh $(BUILD)

# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer (but the
# package tests that build packages: they check the .debs, not this build).
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON -DQUORVEX_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	@export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1; \
	  $(call ISOLATE,ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE 'e2e|focus|package-build')

e2e: build $(RANGE_FILE) $(RANGE_FILE6)
	ctest --test-dir $(BUILD) --output-on-failure -L e2e

# Focus on Wayland desktops that prevent focus stealing, under KWin and under GNOME Shell with
# the AppIndicator extension, both headless, alone.
e2e-focus: build
	ctest --test-dir $(BUILD) --output-on-failure -L focus

soak: build
	ctest --test-dir $(BUILD) --output-on-failure -L soak

# libFuzzer targets, built with clang.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_FUZZ=ON -DQUORVEX_BUILD_BENCH=OFF -DQUORVEX_SANITIZE=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-all

# The Debian packages, in a build folder of their own with Debian's hardening flags; the tests
# labelled "package" check the .debs left there. Two runs of one commit give the same bytes:
# file times come from SOURCE_DATE_EPOCH (by default the last commit's time), and the
# programs are built without debug information (-g0 after Debian's -g; they ship stripped),
# so their build ids do not hang on where the folders are or on how ccache spelt the paths.
# Compiles go through ccache where it is installed, which the reproducibility test's second
# build relies on.
# PACKAGE_NEWS names other release notes (the upgrade test's, with one more release).
PKG_FLAGS = DEB_BUILD_PATH=$(CURDIR) DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
PKG_LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Outside a git checkout: noon of the newest release's date in NEWS.
PKG_EPOCH = $(or $(shell git -C $(CURDIR) log -1 --format=%ct 2>/dev/null),\
  $(shell date -u -d "$$(sed -n 's/^Quorvex [0-9.]* (\(.*\))$$/\1/p' $(PACKAGE_NEWS) | head -n 1) 12:00" +%s))
package: export SOURCE_DATE_EPOCH ?= $(PKG_EPOCH)
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
	  -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEX_PACKAGE=ON -DQUORVEX_BUILD_TESTS=OFF -DQUORVEX_BUILD_BENCH=OFF \
	  "-DQUORVEX_NEWS=$(PACKAGE_NEWS)" $(PKG_LAUNCHER) $(CMAKE_FLAGS) \
	  "-DCMAKE_CXX_FLAGS=$$($(PKG_FLAGS) CPPFLAGS) $$($(PKG_FLAGS) CXXFLAGS) -g0" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$$($(PKG_FLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && rm -f *.deb && cpack

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(PACKAGE_BUILD)-again
