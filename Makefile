# Front door of the repository.  `make test` and `make demo` do all the set-up
# on a fresh Debian 12 machine: install what is missing, configure, build.
PRESET ?= $(if $(CI),ci,default)
BUILD  := build
CMAKE  ?= cmake
# ccache hits across clones in other folders (CI clones afresh each run).
export CCACHE_BASEDIR ?= $(CURDIR)

.PHONY: all deps configure build test bench demo demo-setup clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then $(CMAKE) --preset $(PRESET); fi

build: configure
	$(CMAKE) --build $(BUILD)

test: build
	ctest --preset $(PRESET)

bench: build
	@bash scripts/run-benchmarks.sh $(BUILD)

demo: build
	@test -f scripts/demo-monitor.sh || { echo "make demo: the monitor demo is not built yet"; exit 1; }
	@bash scripts/demo-monitor.sh $(BUILD)

demo-setup: build
	@test -f scripts/demo-setup.sh || { echo "make demo-setup: the sample setup is not built yet"; exit 1; }
	@bash scripts/demo-setup.sh $(BUILD)

clean:
	rm -rf $(BUILD)
