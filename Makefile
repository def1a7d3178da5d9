# The two commands: `make play` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)
RUN_DIR := build/run

.PHONY: play test setup build build-test test-asan test-tsan test-fuzz soak bench-frame clean

play: build
	cd $(RUN_DIR) && ../app/zavgolf

test: test-asan test-tsan test-fuzz

setup:
	tools/setup.sh

build: setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_TESTS=OFF -DZAV_BENCH=OFF
	cmake --build build -j$(JOBS)

# Every test with AddressSanitizer and UBSan, the end-to-end tests under Xvfb among them.
test-asan: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZAV_SANITIZE=ON
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS)

# The threaded tests again under ThreadSanitizer.
test-tsan: setup
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_TSAN=ON
	cmake --build build-tsan --target zav_tsan_tests -j$(JOBS)
	cd build-tsan && ctest --output-on-failure -j$(JOBS)

# Each fuzz target of tests/fuzz briefly on its corpus, built with clang in its own tree. The tree
# builds the whole product too (zav_product), so that what only clang refuses fails here.
test-fuzz: setup
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DZAV_FUZZ=ON -DZAV_TESTS=OFF -DZAV_BENCH=OFF
	cmake --build build-fuzz --target zav_fuzz zav_product -j$(JOBS)
	cd build-fuzz && ctest -L fuzz --output-on-failure -j$(JOBS)

# Not in CI: 30 minutes of random input on the sanitizer build of the game (tools/soak.sh).
soak: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZAV_SANITIZE=ON
	cmake --build build-asan --target zavgolf data -j$(JOBS)
	SOAK_OUT=$(CURDIR)/build-asan/soak tools/soak.sh build-asan/app/zavgolf build-asan/run

# Not in CI: CPU per frame and start-up against Neverputt in the same run (bench/frame).
bench-frame:
	tools/setup.sh --bench
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_TESTS=OFF -DZAV_BENCH=OFF
	cmake --build build --target zavgolf data -j$(JOBS)
	bench/frame/bench_frame.py --game build/app/zavgolf --run-folder build/run --out build/bench-frame

clean:
	rm -rf build build-asan build-tsan build-fuzz
