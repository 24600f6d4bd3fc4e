# quillfen: `make demo` and `make test` do all the set-up they need.
HOST := build/host
WIN := build/windows
BENCH := build/bench
CLANG := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
FUZZ_SECONDS ?= 180

.PHONY: all setup host windows test demo bench fuzz clean

all: host windows

setup:
	@tools/bootstrap.sh

host: setup
	cmake -S . -B $(HOST) -G Ninja $(CLANG) -DQUILLFEN_SANITIZE=ON -DQUILLFEN_FUZZ=ON
	cmake --build $(HOST) -j2

windows: setup
	cmake -S . -B $(WIN) -G Ninja --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN) -j2

test: host windows
	ctest --test-dir $(HOST) --output-on-failure -j2
	tools/wine-session.sh ctest --test-dir $(WIN) --output-on-failure -j2

demo: host windows
	python3 tools/demo.py

bench: setup
	cmake -S . -B $(BENCH) -G Ninja $(CLANG) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH) -j2 --target extract_bench
	$(BENCH)/tests/bench/extract_bench

# Each fuzz target in turn for FUZZ_SECONDS seconds: make fuzz FUZZ_SECONDS=600
fuzz: host
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --test-dir $(HOST) -L fuzz --output-on-failure -C long \
	    --timeout $$(($(FUZZ_SECONDS) + 300))

clean:
	rm -rf build
