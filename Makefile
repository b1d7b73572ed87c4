# Two entry points: `make demo` builds mutloc and its report program, runs
# the mixing sampler on the bundled example, writes the report and prints
# where it is; `make test` builds everything and runs every test.
# `make install [PREFIX=DIR]` installs the three programs and their manual
# pages.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Empty: the configured CMAKE_INSTALL_PREFIX (/usr/local unless set).
PREFIX ?=

.PHONY: all configure deps demo test install clean format

# Installs the Debian packages the project needs when any is missing.
deps:
	setup/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

all: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds only what the demo runs, not the test programs.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target mutloc mutloc-report
	mkdir -p $(BUILD)/demo
	cp examples/demo.in $(BUILD)/demo/demo.in
	cd $(BUILD)/demo && ../mutloc --sampler mixing demo.in
	cd $(BUILD)/demo && ../mutloc-report demo.in > /dev/null
	@echo "Output files: $(BUILD)/demo/demo.in.{dat,log,sig,hap,hpf,mat,tre}"
	@echo "Summary, traces, draws: $(BUILD)/demo/demo.in.{summary.tsv,chain1.tsv,chain2.tsv,draws.tsv}"
	@echo "Report: $(BUILD)/demo/demo.in.report.html"

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Builds only the installed programs, not the test programs.
install: configure
	cmake --build $(BUILD) -j $(JOBS) --target mutloc mutloc-prepare mutloc-report
	cmake --install $(BUILD) $(if $(PREFIX),--prefix '$(PREFIX)')

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
