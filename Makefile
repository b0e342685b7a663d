# The two commands a fresh machine needs: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps), then configure and build in Release mode.
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
SANITIZERS_DIR ?= build-sanitizers
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
WINDOWS_DIR ?= build-windows
DATASET ?= examples/bracket
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build run test test-slow test-browser test-sanitizers fuzz bench bench-quick \
	bench-allocators bench-since bench-record bench-batch bench-reals bench-cache bench-mesh \
	check-cache-corpus install lint-man package \
	check-package image check-image test-cluster docs \
	windows test-windows test-windows-base measure-faces check-rooms clean

all: build

deps:
	scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds only what it runs: tarnfold, not the other commands and the test suite.
run: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tarnfold
	$(BUILD_DIR)/tarnfold $(DATASET)

# test: the tests labelled quick; test-slow: the slow ones (meshing, pages, the batch, the
# commands run many times over or killed at each call), which CI runs right after it.
test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L '^quick$$'

test-slow: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L '^slow$$'

# The rooms of src/ (its folders): includes only point down, no room holds more than a fifth
# of the code, and only app/ and console/ print. Reads the sources only; no build needed.
check-rooms:
	python3 scripts/check-rooms src

# The page of tarnfold-faces --html in each of BROWSERS: Chromium headless (WebGL through
# SwiftShader) through the DevTools protocol, Firefox on a private Xvfb display through WebDriver
# BiDi. The bracket's page, then a plate of PLATE_FACES faces for exact picking (0 leaves it out;
# with 10,000, about a minute and a half a browser on 2 cores). Screenshots are kept in
# $(BUILD_DIR)/browser-test/<browser>/.
PLATE_FACES ?= 10000
BROWSERS ?= chromium firefox
test-browser: build
	scripts/install-deps --browser
	@status=0; for browser in $(BROWSERS); do \
	  tests/browser/page_test.py $(BUILD_DIR) --browser $$browser \
	    --plate-faces $(PLATE_FACES) || status=1; \
	done; exit $$status

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer (clang), and
# the progress tests built with ThreadSanitizer.
test-sanitizers:
	scripts/install-deps --sanitizers
	scripts/test-sanitizers $(SANITIZERS_DIR) $(JOBS)

# The libFuzzer targets of the text readers (clang), each run for FUZZ_SECONDS.
fuzz:
	scripts/install-deps --fuzz
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(JOBS)

# The benchmark. Each target builds in $(BENCH_DIR) and prints a table of figures; the models it
# generates are kept there for the next run. Any setting below can be given on the command line,
# e.g. `make bench-allocators SIZES=50000 PAIRS=5`:
#   SIZES     face counts of the generated plates
#   PAIRS     rounds of alternating runs (tool against the floors, allocator variants)
#   DATASETS  of 10,10%,all,10k-list: the face lists made for each model
#   MEASURE   of phases,runs,allocators: what is measured (bench/tarnfold_bench.cpp says more)
#   CORPUS    one more STEP model to measure when it exists; empty for none
# bench: everything, at 1k, 10k and 50k faces, and the corpus model when present.
# bench-quick: the 1k and 10k plates with every face listed, one round, no allocators; for checks
#   before and after a change (4 minutes on 2 cores; the 10-face datasets would make it 5.6).
# bench-allocators: only the allocator variants of the tool against its glibc build.
SIZES = 1000,10000,50000
PAIRS = 3
DATASETS = 10,10%,all,10k-list
MEASURE = phases,runs,allocators
CORPUS = $(CURDIR)/../shared/corpus/many-faces.stp
bench-quick: SIZES = 1000,10000
bench-quick: PAIRS = 1
bench-quick: DATASETS = all
bench-quick: MEASURE = phases,runs
bench-quick: CORPUS =
bench-allocators: PAIRS = 5
bench-allocators: MEASURE = allocators
bench-allocators: CORPUS =

# bench-since: the faces that tarnfold-faces --since follows over generated revision pairs and
#   over MODELS (default: the corpus model) moved, counted against the modelling history; then
#   --since on each of MODELS against a copy drilled through, and one moved and drilled, next to
#   the reading of both, in each mode of the matching; PAIRS rounds. SINCE_MEASURE=pairs or
#   costs measures one of the two.
MODELS = $(CORPUS)
SINCE_MEASURE = pairs,costs
bench-since:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_PAIRS="$(PAIRS)" -DTARNFOLD_BENCH_SINCE_MODELS="$(MODELS)" \
	  -DTARNFOLD_BENCH_SINCE_MEASURE="$(SINCE_MEASURE)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_since_bench

# bench-reals: the check of a STEP file's reals on MODELS (default: the corpus model) against the
#   library's read of it and a whole tarnfold run; PAIRS rounds.
bench-reals:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_PAIRS="$(PAIRS)" -DTARNFOLD_BENCH_SINCE_MODELS="$(MODELS)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_reals_bench

# bench-record: what the record of a run costs a run of MODELS (default: the corpus model) with
#   every face listed, tarnfold-faces --follow against --since on a drilled copy, and 20 datasets
#   sharing it in one command against one alone; PAIRS rounds.
bench-record:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_PAIRS="$(PAIRS)" -DTARNFOLD_BENCH_RECORD_MODELS="$(MODELS)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_record_bench

bench bench-quick bench-allocators:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_SIZES="$(SIZES)" -DTARNFOLD_BENCH_PAIRS="$(PAIRS)" \
	  -DTARNFOLD_BENCH_DATASETS="$(DATASETS)" -DTARNFOLD_BENCH_MEASURE="$(MEASURE)" \
	  -DTARNFOLD_BENCH_CORPUS="$(CORPUS)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_bench

# bench-mesh: tarnfold-mesh over MESH_MODELS (STEP models, or directories of them; default: the
#   corpus directory), the example and the models its tests build: which meshed, on which try, in
#   how long and with how much memory. MESH_ROUNDS rounds (default 1: meshing is slow), each try
#   stopped after TRY_TIMEOUT seconds (default 60, the command's own).
MESH_MODELS = $(CURDIR)/../shared/corpus
MESH_ROUNDS = 1
TRY_TIMEOUT = 60
bench-mesh:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_PAIRS="$(MESH_ROUNDS)" -DTARNFOLD_BENCH_MESH_MODELS="$(MESH_MODELS)" \
	  -DTARNFOLD_BENCH_TRY_TIMEOUT="$(TRY_TIMEOUT)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_mesh_bench

# bench-batch: tarnfold-batch against tarnfold: the corpus model with 100 datasets and the
# 10,000-face plate with 20, the whole batch against one tarnfold run, the floors and every
# dataset run apart (cases), then --jobs 2 against --jobs 1 over two plates (jobs). PAIRS rounds
# (default 3); SEPARATE=no leaves out the runs apart (minutes); BATCH_MEASURE=jobs only the jobs.
# Prints its figures; never fails on a time.
SEPARATE = yes
BATCH_MEASURE = cases,jobs
bench-batch:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_ROUNDS="$(PAIRS)" -DTARNFOLD_BENCH_SEPARATE="$(SEPARATE)" \
	  -DTARNFOLD_BENCH_BATCH_MEASURE="$(BATCH_MEASURE)" -DTARNFOLD_BENCH_CORPUS="$(CORPUS)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_bench_batch

# bench-cache: the model cache on the corpus model (CORPUS): 10 listed faces through a filled
# cache against the same run without one, every face through it against the bare floor, the cost
# of a first run that leaves the entry, peak memory; then tarnfold-batch on 30 datasets of the
# model against one run. PAIRS rounds (default 5 here). Prints its figures; never fails on a time.
bench-cache: PAIRS = 5
bench-cache:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTARNFOLD_BENCH=ON \
	  -DTARNFOLD_BENCH_PAIRS="$(PAIRS)" -DTARNFOLD_BENCH_CORPUS="$(CORPUS)"
	cmake --build $(BENCH_DIR) -j $(JOBS) --target run_cache_bench

# Every face file of every model in CORPUS_DIR through the model cache (when it keeps the model
# and when it gives it) against the same run without it, byte for byte, with stdout, stderr and
# the exit status. Not a test: it needs models that the tests may not rely on.
CORPUS_DIR ?= ../shared/corpus
check-cache-corpus: build
	scripts/check-cache-corpus $(BUILD_DIR) $(CORPUS_DIR)

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

# $(BUILD_DIR)/tarnfold-image.tar: an OCI image archive of the packages and what they need, from
# Debian's archive alone, for Apptainer, podman and docker (about a minute; needs the archive).
image: package
	scripts/install-deps --image
	scripts/build-image $(BUILD_DIR)

# The image unpacked with umoci, and the commands run inside it on the example (as root).
check-image: image
	scripts/check-image $(BUILD_DIR)

# A one-node Slurm cluster and GNU parallel run the guide's batch recipes (as root; about 30 s).
test-cluster: build
	scripts/install-deps --cluster
	scripts/test-cluster $(BUILD_DIR)

# Windows, cross-built with mingw-w64 and tested under wine (packaging/windows/windows.cmake).
# windows: OpenCASCADE's toolkits once (scripts/build-windows-occt, cached in $(WINDOWS_DIR)/occt:
#   some 3,950 compile steps; later runs skip it), then tarnfold.exe and tarnfold-faces.exe,
#   packed with README, the guide and the example into
#   $(WINDOWS_DIR)/tarnfold-<version>-windows-x86_64.zip.
# test-windows: the Windows tests under wine, the example's run on a D: drive among them.
# test-windows-base: only the parts of ours that need no OpenCASCADE library, with their tests,
#   in $(WINDOWS_DIR)/base (minutes; what CI runs).
# Wine keeps its own prefix in the build tree and says nothing of its own. Under C.UTF-8 it
# takes Linux names and arguments as UTF-8, and gives its programs code page 1252, as an English
# Windows does.
WINE_ENV = WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wine WINEDEBUG=-all LC_ALL=C.UTF-8
WINDOWS_CMAKE = -G Ninja -DCMAKE_BUILD_TYPE=Release \
	-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/packaging/windows/mingw-w64-x86_64.cmake
windows:
	scripts/install-deps --windows
	scripts/build-windows-occt $(WINDOWS_DIR) $(JOBS)
	cmake -S . -B $(WINDOWS_DIR)/tarnfold $(WINDOWS_CMAKE) \
	  -DTARNFOLD_OCCT_PREFIX=$(CURDIR)/$(WINDOWS_DIR)/occt \
	  -DTARNFOLD_LINUX_BINARY=$(CURDIR)/$(BUILD_DIR)/tarnfold
	$(WINE_ENV) cmake --build $(WINDOWS_DIR)/tarnfold -j $(JOBS)
	cd $(WINDOWS_DIR)/tarnfold && cpack -G ZIP -B $(CURDIR)/$(WINDOWS_DIR) >/dev/null
	@ls $(WINDOWS_DIR)/tarnfold-*-windows-x86_64.zip

test-windows: windows build
	$(WINE_ENV) ctest --test-dir $(WINDOWS_DIR)/tarnfold --output-on-failure -j $(JOBS)

test-windows-base:
	scripts/install-deps --windows
	cmake -S . -B $(WINDOWS_DIR)/base $(WINDOWS_CMAKE) -DTARNFOLD_WINDOWS_BASE=ON
	$(WINE_ENV) cmake --build $(WINDOWS_DIR)/base -j $(JOBS)
	$(WINE_ENV) ctest --test-dir $(WINDOWS_DIR)/base --output-on-failure -j $(JOBS)

# The pictures of the example bracket with its lists marked: doc/bracket-faces.svg, a
# PNG beside it for pages that show no SVG, doc/bracket-page.png, its 3D page in Chromium
# with the pointer on face 8, and doc/bracket-mesh.png, its mesh from tarnfold-mesh.
docs: build
	scripts/install-deps --docs --browser
	$(BUILD_DIR)/tarnfold-faces examples/bracket --svg doc/bracket-faces.svg \
	  --html $(BUILD_DIR)/bracket.html >$(BUILD_DIR)/bracket.tsv 2>$(BUILD_DIR)/docs.log || \
	  { cat $(BUILD_DIR)/docs.log >&2; exit 1; }
	rsvg-convert doc/bracket-faces.svg -o doc/bracket-faces.png
	scripts/page-screenshot $(BUILD_DIR)/bracket.html doc/bracket-page.png --point 8 \
	  --table $(BUILD_DIR)/bracket.tsv
	rm -rf $(BUILD_DIR)/docs-mesh && mkdir $(BUILD_DIR)/docs-mesh && cp -r examples $(BUILD_DIR)/docs-mesh/
	cd $(BUILD_DIR)/docs-mesh && $(CURDIR)/$(BUILD_DIR)/tarnfold examples/bracket >/dev/null && \
	  $(CURDIR)/$(BUILD_DIR)/tarnfold-mesh examples/bracket bracket.msh >/dev/null
	scripts/mesh-picture $(BUILD_DIR)/docs-mesh/bracket.msh $(BUILD_DIR)/bracket-mesh.svg --width 640
	rsvg-convert $(BUILD_DIR)/bracket-mesh.svg -o doc/bracket-mesh.png

# Time, peak memory and output size of tarnfold-faces drawing MODEL, over several whole runs:
# FORMAT=svg (the default), html (the 3D page) or none (the table alone).
MODEL ?= ../shared/corpus/many-faces.stp
FORMAT ?= svg
measure-faces: build
	scripts/install-deps --measure
	FORMAT=$(FORMAT) scripts/measure-faces $(MODEL)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(SANITIZERS_DIR) $(SANITIZERS_DIR)-thread $(FUZZ_DIR) \
	  $(WINDOWS_DIR)
