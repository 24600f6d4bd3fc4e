# quillfen: `make demo` and `make test` do all the set-up they need.
HOST := build/host
WIN := build/windows
RELEASE := build/release
CLANG := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 180

.PHONY: all setup host windows test demo bench fuzz mutants coverage install clean

all: host windows

setup:
	@tools/bootstrap.sh

# Each build folder is configured once; afterwards its build tool re-runs
# CMake by itself whenever a CMakeLists.txt changes. (Passing the options
# again would only make CMake warn that the toolchain file went unused.)
$(HOST)/build.ninja: | setup
	cmake -S . -B $(HOST) -G Ninja $(CLANG) -DQUILLFEN_SANITIZE=ON -DQUILLFEN_FUZZ=ON

$(WIN)/build.ninja: | setup
	cmake -S . -B $(WIN) -G Ninja --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel

# Optimised and without sanitizers: the quillpack that `make install`
# installs, and the benchmarks.
$(RELEASE)/build.ninja: | setup
	cmake -S . -B $(RELEASE) -G Ninja $(CLANG) -DCMAKE_BUILD_TYPE=Release

host: setup $(HOST)/build.ninja
	cmake --build $(HOST) -j2

windows: setup $(WIN)/build.ninja
	cmake --build $(WIN) -j2

# The Windows tests run under Wine in one session: a copy of the shared
# template prefix with Wine's server started away from ctest's pipes.
test: host windows
	ctest --test-dir $(HOST) --output-on-failure -j2
	python3 tools/wineplay.py session -- ctest --test-dir $(WIN) --output-on-failure -j2

demo: host windows
	python3 tools/demo.py

# The benchmark compares quillpack with `tar -I pigz`; as root it installs
# pigz first when it is missing (otherwise that row says it is skipped).
bench: windows $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j2 --target copy_bench quillpack
	@command -v pigz >/dev/null || [ "$$(id -u)" != 0 ] || { \
	    echo "quillfen: installing pigz (1 package) for the benchmark's build comparison"; \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends pigz >/dev/null; }
	python3 tests/bench/bench.py

# Each fuzz target in turn for FUZZ_SECONDS seconds: make fuzz FUZZ_SECONDS=600
fuzz: host
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --test-dir $(HOST) -L fuzz --output-on-failure -C long \
	    --timeout $$(($(FUZZ_SECONDS) + 300))

# Single mutations of the product code, each against the unit and flow tests.
mutants: setup
	python3 tests/mutants/mutants.py

# Line coverage of the product code by the unit, quillpack and flow tests.
coverage: setup
	tests/mutants/coverage.sh

# quillpack and quillpack-try in PREFIX/bin; the installer stub, quillpack.exe,
# the UI driver and quillpack-try's modules in PREFIX/share/quillfen.
install: windows $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j2 --target quillpack
	cmake --install $(RELEASE) --prefix $(PREFIX)
	cmake --install $(WIN) --prefix $(PREFIX)

clean:
	rm -rf build
