# Drives CMake: the first use of a target configures its build folder, later
# uses rebuild incrementally.
#
#   make run    build bitrun and run it on its embedded default program
#   make test   build and run the whole test suite
#   make check  the suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
#               with the collector in stress mode (a pass before every allocation)
#               and warnings as errors
#   make tsan   the thread and collector tests under ThreadSanitizer (clang)
#   make bench  benchmarks against malloc, Boehm's collector and the C library
#   make install   install bitrun, the tools, the manual page, the runtime's
#                  libraries, headers and CMake/pkg-config files under PREFIX
#   make package   build the Debian packages (bitrun, orvane-dev) under build/
#   make fuzz   every libFuzzer target for FUZZ_SECONDS each (default 60), from
#               its seed corpus in fuzz/corpus; fails on any finding

GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= 2
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60

.PHONY: all run test check tsan bench install package fuzz clean

all: build/CMakeCache.txt
	cmake --build build -j $(JOBS)

build/CMakeCache.txt:
	cmake -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build-check/CMakeCache.txt:
	cmake -S . -B build-check $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DOV_SANITIZE=ON -DOV_GC_STRESS=ON -DOV_WERROR=ON

build-fuzz/CMakeCache.txt:
	cmake -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DOV_FUZZ=ON -DOV_BUILD_TESTS=OFF

build-tsan/CMakeCache.txt:
	cmake -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_C_FLAGS=-fsanitize=thread \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread

build-bench/CMakeCache.txt:
	cmake -S . -B build-bench $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DOV_BUILD_TESTS=OFF -DOV_BUILD_BENCH=ON

run: all
	./build/app/bitrun

test: all
	cd build && ctest -j $(JOBS) --output-on-failure

check: build-check/CMakeCache.txt
	cmake --build build-check -j $(JOBS)
	cd build-check && ASAN_OPTIONS=detect_stack_use_after_return=0:detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

# Any report fails the run: ThreadSanitizer exits with status 66 after one.
TSAN_TESTS := ^(Thread|Atomics|Collector|Memory)
tsan: build-tsan/CMakeCache.txt
	cmake --build build-tsan -j $(JOBS) --target runtime_tests
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1" \
	  ctest -j $(JOBS) -R '$(TSAN_TESTS)' --no-tests=error --output-on-failure

bench: build-bench/CMakeCache.txt
	@dpkg -s libgc-dev >/dev/null 2>&1 || \
	  (DEBIAN_FRONTEND=noninteractive apt-get install -y libgc-dev >/dev/null || \
	   (apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y libgc-dev >/dev/null))
	cmake -S . -B build-bench >/dev/null
	cmake --build build-bench -j $(JOBS)
	./bench/run build-bench

install: all
	cmake --install build --prefix $(PREFIX)

package: all
	cd build && cpack -G DEB

fuzz: build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS)
	./fuzz/run build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-check build-tsan build-bench build-fuzz
