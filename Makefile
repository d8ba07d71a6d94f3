# The project's front door: make deps, make, make test, make run, make bench.

BUILD   ?= build
PREFIX  ?= /usr/local
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=
# The expander's fuzz target: its own build with clang, a bounded run (make fuzz) and a short
# one inside make test.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 10
FUZZ_CXX ?= clang++-14

# Every Debian package that building, testing and running need.
DEB_PACKAGES := cmake make g++ pkg-config \
	qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev \
	libicu-dev googletest libgtest-dev libgmock-dev libbenchmark-dev \
	fonts-ipafont-gothic xvfb xauth \
	clang-14 libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build deps test run bench install clean fuzz fuzz-build fuzz-smoke

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

bench: build
	@for b in $(BUILD)/bin/bench_*; do [ -x "$$b" ] && { echo "== $$b"; "$$b"; } ; done; true

run: build
	@if [ -x $(BUILD)/bin/TamoZP ]; then \
	  $(BUILD)/bin/TamoZP; \
	else \
	  echo "TamoZP is not built yet. What exists: $$(ls $(BUILD)/bin 2>/dev/null | tr '\n' ' ')"; \
	fi

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-fuzz
