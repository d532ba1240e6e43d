# The two everyday commands: `make run` and `make test`. Both install what is missing first.
# A fresh Debian has no make: the README runs scripts/install-deps (bash and apt only) before them.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps build run test test-asan check-mutations bench clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/mainwindow/tallyleaf

# The suite runs twice: as built, and under AddressSanitizer and UndefinedBehaviorSanitizer;
# then the day-book tests must catch each way of breaking the save's crash safety.
test: build
	ctest --preset dev -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) check-mutations

check-mutations: deps
	JOBS=$(JOBS) scripts/check-mutations

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	scripts/run-benchmarks build/release

clean:
	rm -rf build
