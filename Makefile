# The two commands a fresh machine needs: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build in Release mode.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
DATASET ?= examples/bracket
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build run test bench install lint-man package check-package test-cluster clean

all: build

deps:
	scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/tarnfold $(DATASET)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Generates its models once (kept in $(BENCH_DIR)), prints a table of figures, writes
# $(BENCH_DIR)/bench/results.csv, allocators.csv and times.png. Takes about 20 minutes.
bench:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_bench

# Installs into $(DESTDIR)$(PREFIX): bin, share/man/man1, share/doc/tarnfold.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# Every man page must pass mandoc's lint without a single message.
lint-man:
	scripts/install-deps --package
	@out=$$(mandoc -T lint -W warning doc/*.1 2>&1); \
	if [ -n "$$out" ]; then echo "$$out" >&2; exit 1; fi; echo "lint-man: doc/*.1 clean"

# $(BUILD_DIR)/tarnfold_<version>_<arch>.deb
package: build
	scripts/install-deps --package
	cd $(BUILD_DIR) && cpack -G DEB

# lintian, then the packaged binary against the build tree's on the example dataset.
check-package: package
	scripts/check-package $(BUILD_DIR)

# A one-node Slurm cluster and GNU parallel run README's batch recipes (as root; about a minute).
test-cluster: build
	scripts/install-deps --cluster
	scripts/test-cluster $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
