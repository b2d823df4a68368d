# The front door: `make demo` and `make test` set up everything they need on Debian 12.
.PHONY: all deps build demo dist dist-check test test-native test-windows test-fuzz fuzz faults attacks bench format clean

all: build

deps:
	@bash tools/deps.sh

build: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows

demo: build
	@bash tools/demo.sh

# The package a vendor ships: build/dist/uninstall-<version>.zip (docs/shipping.md). With
# SIGN_CERT=cert.pem SIGN_KEY=key.pem, or SIGN_PKCS12=file.p12 (and SIGN_PASS), the program is
# signed first; SIGN_TIMESTAMP=URL adds a time stamp from that server.
dist: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target uninstall languages
	@# Not echoed: the line holds the key's password.
	@SIGN_CERT=$(SIGN_CERT) SIGN_KEY=$(SIGN_KEY) SIGN_PKCS12=$(SIGN_PKCS12) SIGN_PASS=$(SIGN_PASS) \
		SIGN_TIMESTAMP=$(SIGN_TIMESTAMP) bash tools/dist.sh build/windows build/dist

# Not part of `make test`: builds the package twice from clean clones and compares the bytes.
dist-check: deps
	bash tools/check-reproducible.sh

test: test-native test-windows test-fuzz

test-native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native
	ctest --preset native

# The shipped 32-bit program is always built and its form checked. Its Wine tests run where this
# machine runs 32-bit programs; elsewhere the 64-bit build of the same sources runs them.
test-windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	@if bash tools/wine32-usable.sh; then \
		ctest --preset windows; \
	else \
		echo "32-bit Wine is not usable on this machine: its tests run on the 64-bit build"; \
		ctest --preset windows -L form && \
		cmake --preset windows64 >/dev/null && cmake --build --preset windows64 && \
		ctest --preset windows64; \
	fi

# Each fuzz target for FUZZ_SECONDS (default 20), one after the other: a few minutes in all.
test-fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),20) ctest --preset fuzz

# Not part of `make test`: a longer run of every fuzz target, FUZZ_SECONDS each (default 60) or, with
# FUZZ_RUNS, that many executions each, FUZZ_JOBS targets at a time (1 or 2); then a table of the
# figures (docs/fuzzing.md). The corpora in build/fuzz/corpus grow from one run to the next.
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),$(if $(FUZZ_RUNS),0,60)) FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_JOBS=$(or $(FUZZ_JOBS),1) \
		bash tools/fuzz-campaign.sh build/fuzz

# Every row of the fault matrix (`make test` runs its fast subset), in a Wine session of its own, with
# C:\windows on a small file system where mount works. FAULT_FLAGS passes options to the matrix, e.g.
# `make faults FAULT_FLAGS=--seed=7` or `make faults FAULT_FLAGS=--records=1000000`.
faults: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	@if bash tools/wine32-usable.sh; then \
		bash tools/run-faults.sh build/windows /usr/lib/wine/wine $(FAULT_FLAGS); \
	else \
		echo "32-bit Wine is not usable on this machine: the matrix runs on the 64-bit build"; \
		cmake --preset windows64 >/dev/null && cmake --build --preset windows64 && \
		bash tools/run-faults.sh build/windows64 /usr/lib/wine/wine64 $(FAULT_FLAGS); \
	fi

# The attack table: the matrix's rows that attack the elevated run (docs/security.md), alone. `make
# faults` runs them too; `make test` runs their fast subset with the matrix's.
attacks: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	@if bash tools/wine32-usable.sh; then \
		bash tools/run-faults.sh build/windows /usr/lib/wine/wine --attacks $(FAULT_FLAGS); \
	else \
		echo "32-bit Wine is not usable on this machine: the attacks run on the 64-bit build"; \
		cmake --preset windows64 >/dev/null && cmake --build --preset windows64 && \
		bash tools/run-faults.sh build/windows64 /usr/lib/wine/wine64 --attacks $(FAULT_FLAGS); \
	fi

# Not part of `make test`: it measures, it does not check. BENCH_FLAGS passes options to the script,
# e.g. `make bench BENCH_FLAGS=--unpinned` or `make bench BENCH_FLAGS=--smoke`.
# It measures the shipped 32-bit program where this machine runs it, the 64-bit build elsewhere
# (tools/wine32-usable.sh); the script builds the one it measures.
bench: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	bash tools/bench.sh $(BENCH_FLAGS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
