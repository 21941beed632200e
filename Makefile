# Thin wrapper over CMake; `make test` is the one command that builds
# everything and runs every test (plain build, with the layout check and the
# fuzz seeds replayed, then the documentation's shell blocks, then the
# consumer builds of the installed library, then under sanitizers, then the
# library's thread test under ThreadSanitizer,
# then the fuzz targets, each for its fixed number of executions). `make run`
# and `make test` first install the Debian packages they need (scripts/setup.sh).
BUILD        ?= build
SAN_BUILD    ?= build-sanitize
TSAN_BUILD   ?= build-tsan
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS         ?= $(shell nproc)

# `make docs-check` runs the shell blocks of README.md and docs/*.md against build/.
.PHONY: all build program test test-plain test-consumer docs-check test-sanitize test-tsan test-fuzz fuzz fuzz-build run report bench throughput bench-python clean

all: build

# Everything, the tests and the tools asked for by name: a missing package
# is a configure error rather than a test left out.
build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DFUELCALC_BUILD_TESTS=ON \
	  -DFUELCALC_TOOLS=ON
	cmake --build $(BUILD) -j $(JOBS)

# The program alone: needs neither GoogleTest nor Google Benchmark.
program:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS) --target fuelcalc

test:
	scripts/setup.sh test
	$(MAKE) test-plain docs-check test-consumer test-sanitize test-tsan test-fuzz

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The shell blocks of the documentation (scripts/docs_check.sh), over the plain build.
docs-check: build
	scripts/docs_check.sh $(BUILD)

# The library as others use it: installed (CMake package and pkg-config) and
# through add_subdirectory (tests/consumer).
test-consumer: build
	JOBS=$(JOBS) tests/consumer/run.sh $(BUILD)

test-sanitize:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUELCALC_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The library's thread test under ThreadSanitizer.
test-tsan:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUELCALC_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target library_threads_test
	$(TSAN_BUILD)/library_threads_test

# The fuzz targets (tests/fuzz), built with clang++ and libFuzzer. As tests
# each runs a fixed number of executions over its seeds (FUZZ_SECONDS=0), the
# same work however fast the machine; `make fuzz` runs them for FUZZ_SECONDS.
FUZZ_CONFIGURE = cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUELCALC_FUZZ=ON

fuzz-build:
	$(FUZZ_CONFIGURE) -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

test-fuzz:
	$(FUZZ_CONFIGURE) -DFUZZ_SECONDS=0
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)

# Long runs, e.g. `make fuzz FUZZ_SECONDS=1800`: the three targets side by
# side, each growing its corpus in $(FUZZ_BUILD)/fuzz/<target>/corpus; their
# closing statistics are collected in $(FUZZ_BUILD)/fuzz/final_stats.log.
fuzz: fuzz-build
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j 3; status=$$?; \
	  cat fuzz/*/final_stats.log > fuzz/final_stats.log; cat fuzz/final_stats.log; exit $$status

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)

# Runs the example map over the example drive cycle and shows the first
# result lines and the closing message (written in code page 932), then the
# checker's findings and summary of the same run, and the cycle's totals.
run:
	scripts/setup.sh run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFUELCALC_TOOLS=ON
	cmake --build $(BUILD) -j $(JOBS) --target fuelcalc fuelcalc-check fuelcalc-cycle
	@$(BUILD)/fuelcalc examples/torque_map.dat examples/drive_cycle.dat $(BUILD)/drive_cycle.out \
	  > $(BUILD)/drive_cycle.log; status=$$?; \
	  echo "== $(BUILD)/drive_cycle.out (first lines)"; head -n 8 $(BUILD)/drive_cycle.out | tr -d '\r'; \
	  echo "== closing message"; iconv -f CP932 -t UTF-8 $(BUILD)/drive_cycle.log | tr -d '\r'; \
	  echo "== fuelcalc-check examples/torque_map.dat examples/drive_cycle.dat"; \
	  $(BUILD)/fuelcalc-check examples/torque_map.dat examples/drive_cycle.dat; \
	  echo "== fuelcalc-cycle examples/torque_map.dat examples/drive_cycle.dat --step 1"; \
	  $(BUILD)/fuelcalc-cycle examples/torque_map.dat examples/drive_cycle.dat --step 1; \
	  exit $$status

bench: build
	@for b in $(BUILD)/*_bench; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

throughput: build
	bench/throughput.sh $(BUILD)

# The Python package: m.fuel on one thread and on four, read_points against numpy.loadtxt.
bench-python: build
	PYTHONPATH=$(BUILD)/python /usr/bin/python3 bench/python_throughput.py

# The HTML report of the example map over the example drive cycle, made by
# the Python package of the build tree: $(BUILD)/drive_cycle.html.
report:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS) --target fuelcalc_python
	PYTHONPATH=$(BUILD)/python /usr/bin/python3 -m fuelcalc report \
	  examples/torque_map.dat examples/drive_cycle.dat -o $(BUILD)/drive_cycle.html
	@echo "report: $(BUILD)/drive_cycle.html"
