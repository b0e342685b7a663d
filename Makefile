# The two commands a fresh machine needs: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build in Release mode.
BUILD_DIR ?= build
DATASET ?= examples/bracket
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean

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

clean:
	rm -rf $(BUILD_DIR)
