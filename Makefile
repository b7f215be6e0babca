# Quorvex: the commands a newcomer needs. `make run` starts the program, `make test` builds
# and runs every test; each first installs the Debian packages it needs that are missing
# (packages.mk says which and why).

include packages.mk

BUILD     ?= build
RUN_BUILD ?= build-run
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
PACKAGE_NEWS ?= $(CURDIR)/NEWS
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Compiles go through ccache where it is installed; the launcher is emptied where it is not,
# so that a folder configured while it was there still builds after it has gone.
LAUNCHER := -DCMAKE_CXX_COMPILER_LAUNCHER=$(if $(shell command -v ccache 2>/dev/null),ccache)

.PHONY: all deps deps-run format configure build test test-only run bench asan asan-test e2e e2e-focus soak fuzz package clean

all: build

# $(call install-missing,PACKAGES): as root, installs those of PACKAGES that are missing;
# otherwise names, in one line, the command that does.
define install-missing
@missing=$$(for p in $(1); do \
    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
  done); \
if [ -z "$$missing" ]; then echo "$@: all packages present"; \
elif [ "$$(id -u)" = 0 ]; then \
  echo "$@: installing" $$missing; \
  export DEBIAN_FRONTEND=noninteractive; \
  apt-get update -qq && apt-get install -y -qq --no-install-recommends $$missing; \
else \
  echo "make $(or $(MAKECMDGOALS),all): missing Debian packages; install them with:" \
    "sudo apt-get update && sudo apt-get install -y --no-install-recommends" $$missing >&2; \
  exit 1; \
fi
endef

# Every package: the tests', the benchmarks', the desktops' and the packaging's too.
deps:
	$(call install-missing,$(PACKAGES) $(EXTRA_PACKAGES))

# What building and running the tray program needs.
deps-run:
	$(call install-missing,$(RUN_TARGET_PACKAGES) $(EXTRA_PACKAGES))

# Configured on every run, so that a changed CMAKE_FLAGS takes effect. The build makes the
# range files (Ostrand.dat, Ostrand6.dat) in the build folder from Debian's country lists,
# again whenever a list or ostrand-build changes.
configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build package
	$(MAKE) test-only

# Tests talk only to loopback. As root they also run in a network namespace of their own, so
# that not even a resolver query can leave the machine.
ISOLATE = if [ "$$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then \
	    unshare -n sh -c 'ip link set lo up && exec "$$0" "$$@"' $(1); else $(1); fi

test-only:
	@$(call ISOLATE,ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS))

# The tray program, in a build folder of its own without the tests and benchmarks: it needs
# neither GoogleTest nor Google Benchmark, and it never turns the tests off in $(BUILD), whose
# settings `make test`, the other targets and hand-run cmake share. The program reads the
# range files, which its build makes, from its working directory.
run: deps-run
	@lists=$$(tools/country-lists.sh $(RUN_BUILD)/country-lists) || exit 1; \
	  cmake -S . -B $(RUN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORVEX_BUILD_TESTS=OFF -DQUORVEX_BUILD_BENCH=OFF "-DQUORVEX_GEOIP=$$lists/geoip" \
	  "-DQUORVEX_GEOIP6=$$lists/geoip6" $(LAUNCHER) $(CMAKE_FLAGS)
	cmake --build $(RUN_BUILD) -j $(JOBS)
	cd $(RUN_BUILD) && ./app/quorvex

bench: build
	bench/run-all.sh $(BUILD)

# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer (but the
# package tests that build packages: they check the .debs, not this build).
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON -DQUORVEX_BUILD_BENCH=OFF \
	  $(LAUNCHER)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	@export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1; \
	  $(call ISOLATE,ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE 'e2e|focus|package-build')

e2e: build
	ctest --test-dir $(BUILD) --output-on-failure -L e2e

# Focus on Wayland desktops that prevent focus stealing, under KWin and under GNOME Shell with
# the AppIndicator extension, both headless, alone.
e2e-focus: build
	ctest --test-dir $(BUILD) --output-on-failure -L focus

soak: build
	ctest --test-dir $(BUILD) --output-on-failure -L soak

# libFuzzer targets, built with clang.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_FUZZ=ON -DQUORVEX_BUILD_BENCH=OFF -DQUORVEX_SANITIZE=ON \
	  $(LAUNCHER)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-all

# The Debian packages, in a build folder of their own with Debian's hardening flags; the tests
# labelled "package" check the .debs left there. Two runs of one commit give the same bytes:
# file times come from SOURCE_DATE_EPOCH (by default the last commit's time), and the
# programs are built without debug information (-g0 after Debian's -g; they ship stripped),
# so their build ids do not hang on where the folders are or on how ccache spelt the paths.
# Compiles go through ccache where it is installed (LAUNCHER), which the reproducibility
# test's second build relies on.
# PACKAGE_NEWS names other release notes (the upgrade test's, with one more release).
PKG_FLAGS = DEB_BUILD_PATH=$(CURDIR) DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
# Outside a git checkout: noon of the newest release's date in NEWS.
PKG_EPOCH = $(or $(shell git -C $(CURDIR) log -1 --format=%ct 2>/dev/null),\
  $(shell date -u -d "$$(sed -n 's/^Quorvex [0-9.]* (\(.*\))$$/\1/p' $(PACKAGE_NEWS) | head -n 1) 12:00" +%s))
package: export SOURCE_DATE_EPOCH ?= $(PKG_EPOCH)
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
	  -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEX_PACKAGE=ON -DQUORVEX_BUILD_TESTS=OFF -DQUORVEX_BUILD_BENCH=OFF \
	  "-DQUORVEX_NEWS=$(PACKAGE_NEWS)" $(LAUNCHER) $(CMAKE_FLAGS) \
	  "-DCMAKE_CXX_FLAGS=$$($(PKG_FLAGS) CPPFLAGS) $$($(PKG_FLAGS) CXXFLAGS) -g0" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$$($(PKG_FLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && rm -f *.deb && cpack

# Every C++ file git knows, in the layout .clang-format gives.
format:
	$(call install-missing,$(FORMAT_PACKAGES))
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i --style=file

clean:
	rm -rf $(BUILD) $(RUN_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(PACKAGE_BUILD)-again
