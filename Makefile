# The two commands a fresh machine needs: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build in Release mode.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
DATASET ?= examples/bracket
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench docs measure-faces clean

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

# The README's picture of the example bracket with its lists marked (doc/bracket-faces.svg and a
# PNG beside it, for pages that show no SVG), and the lint of tarnfold-faces' man page.
docs: build
	scripts/install-deps --docs
	$(BUILD_DIR)/tarnfold-faces examples/bracket --svg doc/bracket-faces.svg \
	  >/dev/null 2>$(BUILD_DIR)/docs.log || { cat $(BUILD_DIR)/docs.log >&2; exit 1; }
	rsvg-convert doc/bracket-faces.svg -o doc/bracket-faces.png
	@out=$$(mandoc -T lint -W warning doc/tarnfold-faces.1 2>&1); \
	if [ -n "$$out" ]; then echo "$$out" >&2; exit 1; fi

# Time, peak memory and SVG size of tarnfold-faces drawing MODEL, over several whole runs.
MODEL ?= ../shared/corpus/many-faces.stp
measure-faces: build
	scripts/install-deps --measure
	scripts/measure-faces $(MODEL)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
