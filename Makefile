# The project's front door: make deps, make, make test, make run, make bench, make install,
# make screenshot.

BUILD   ?= build
# make install configures and builds here, for PREFIX, and leaves BUILD as it is.
INSTALL_BUILD ?= build-install
PREFIX  ?= /usr/local
DESTDIR ?=
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=
# The expander's fuzz target: its own build with clang, a bounded run (make fuzz) and a short
# one inside make test.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 10
FUZZ_CXX ?= clang++-14
# make package configures and builds the Debian package here, for /usr.
PACKAGE_BUILD ?= build-package

# Every Debian package that building, testing and running need.
DEB_PACKAGES := cmake make g++ pkg-config \
	qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev \
	libicu-dev googletest libgtest-dev libgmock-dev libbenchmark-dev \
	fonts-ipafont-gothic xvfb xauth qt6-wayland desktop-file-utils \
	clang-14 libclang-rt-14-dev

# The manual pages are written in scdoc; a test reads them through man.
DEB_PACKAGES += scdoc man-db
# make package builds the Debian package with CPack (dpkg-shlibdeps, fakeroot); make test checks it.
DEB_PACKAGES += dpkg-dev fakeroot lintian

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build deps test run bench install screenshot clean fuzz fuzz-build fuzz-smoke \
	package package-check

all: build

deps:
	@missing=$$(for p in $(DEB_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300
	$(MAKE) fuzz-smoke
	$(MAKE) package-check

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)

fuzz-build: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Every kept finding first, one run each; then the corpus (build-fuzz/corpus, grown by the
# runs) with the seeds and the findings, for a bounded time.
FUZZ_RUN = $(FUZZ_BUILD)/fuzz_expander -runs=0 fuzz/regressions fuzz/seeds && mkdir -p $(FUZZ_BUILD)/corpus && \
	$(FUZZ_BUILD)/fuzz_expander -dict=fuzz/expander.dict -artifact_prefix=$(FUZZ_BUILD)/ \
	  -print_final_stats=1 $(FUZZ_BUILD)/corpus fuzz/seeds fuzz/regressions

fuzz: deps fuzz-build
	$(FUZZ_RUN) -max_total_time=$(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	$(FUZZ_RUN) -max_total_time=$(FUZZ_SMOKE_SECONDS)

# A benchmark that fails stops the run and fails it.
bench: build
	@for b in $(BUILD)/bin/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; \
	done

# Sets itself up like make test, builds, prints what tamo-clock shows now and starts TamoZP.
# Without a display the clock still shows, and one line says that TamoZP needs a desktop.
run: deps
	@$(MAKE) --no-print-directory build
	@$(BUILD)/bin/tamo-clock
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: above, what tamo-clock shows now; TamoZP, the settings window, needs a desktop (neither DISPLAY nor WAYLAND_DISPLAY is set)."; \
	else \
	  $(BUILD)/bin/TamoZP; \
	fi

# DESTDIR stages the files for packaging; PREFIX is where they will live.
# The build is configured for PREFIX first: the library folder (lib/<multiarch>/tamo under /usr)
# and the programs' path to it are fixed when CMake configures, not when it installs. It is a
# build of its own, without tests and benchmarks, so the development build keeps its prefix.
install:
	cmake -S . -B $(INSTALL_BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) \
	  -DTAMO_BUILD_TESTS=OFF -DTAMO_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(INSTALL_BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(INSTALL_BUILD)

# The Debian package tamo-zp_<version>_<arch>.deb, in PACKAGE_BUILD: configured for /usr like
# make install PREFIX=/usr, without tests and benchmarks, and compiled with Debian's hardening
# flags (packaging/debian.cmake says what goes in). package-check compares its files with
# packaging/expected-files.txt and runs lintian; it never installs the package.
package:
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_INSTALL_PREFIX=/usr -DTAMO_DEBIAN_PACKAGE=ON \
	  -DTAMO_BUILD_TESTS=OFF -DTAMO_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack

package-check: package
	sh packaging/check.sh \
	  $(PACKAGE_BUILD)/tamo-zp_$$(dpkg-parsechangelog -l packaging/changelog -S Version)_$$(dpkg --print-architecture).deb \
	  packaging/expected-files.txt

# The README's pictures of the windows, drawn offscreen at a fixed instant
# (bench/screenshot.cpp, bench/clock_screenshot.cpp).
screenshot: build
	@mkdir -p docs
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/tamozp_screenshot docs/TamoZP.png
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/tamoclock_screenshot docs/TamoClock.png docs/TamoClockCalendar.png
	@echo "docs/TamoZP.png docs/TamoClock.png docs/TamoClockCalendar.png"

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(INSTALL_BUILD) $(PACKAGE_BUILD)
