# The two commands a fresh machine needs: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build in Release mode.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
SANITIZERS_DIR ?= build-sanitizers
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
DATASET ?= examples/bracket
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-sanitizers fuzz bench clean

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

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer (clang).
test-sanitizers:
	scripts/install-deps --sanitizers
	scripts/test-sanitizers $(SANITIZERS_DIR) $(JOBS)

# The libFuzzer targets of the text readers (clang), each run for FUZZ_SECONDS.
fuzz:
	scripts/install-deps --fuzz
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(JOBS)

# Generates its models once (kept in $(BENCH_DIR)), prints a table of figures, writes
# $(BENCH_DIR)/bench/results.csv, allocators.csv and times.png. Takes about 20 minutes.
bench:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_bench

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(SANITIZERS_DIR) $(FUZZ_DIR)
