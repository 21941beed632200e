# Thin wrapper over CMake; `make test` is the one command that builds
# everything and runs every test (plain build, then under sanitizers).
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)

.PHONY: all build test test-plain test-sanitize run bench throughput clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

test: test-plain test-sanitize

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUELCALC_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

# Runs the example map over the example drive cycle and shows the first
# result lines and the closing message (written in code page 932).
run: build
	@$(BUILD)/fuelcalc examples/torque_map.dat examples/drive_cycle.dat $(BUILD)/drive_cycle.out \
	  > $(BUILD)/drive_cycle.log; status=$$?; \
	  echo "== $(BUILD)/drive_cycle.out (first lines)"; head -n 8 $(BUILD)/drive_cycle.out | tr -d '\r'; \
	  echo "== closing message"; iconv -f CP932 -t UTF-8 $(BUILD)/drive_cycle.log | tr -d '\r'; \
	  exit $$status

bench: build
	@for b in $(BUILD)/*_bench; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

throughput: build
	bench/throughput.sh $(BUILD)
