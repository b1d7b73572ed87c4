# Two entry points: `make demo` builds mutloc and runs its mixing sampler on
# the bundled example; `make test` builds everything and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps demo test clean format

# Installs the Debian packages the project needs when any is missing.
deps:
	setup/install-deps

all: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo: all
	mkdir -p $(BUILD)/demo
	cp examples/demo.in $(BUILD)/demo/demo.in
	cd $(BUILD)/demo && ../mutloc --sampler mixing demo.in
	@echo "Output files: $(BUILD)/demo/demo.in.{dat,log,sig,hap,hpf,mat,tre}"

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
