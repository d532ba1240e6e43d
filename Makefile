# The two everyday commands: `make run` and `make test`. Each installs what it needs first: the
# program's packages for run, and everything the suite needs for test.
# A fresh Debian has no make: the README runs scripts/install-deps (bash and apt only) before them.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps-run deps-test build build-dev run test test-asan check-mutations fuzz bench clean

deps-run:
	@scripts/install-deps run

deps-test:
	@scripts/install-deps test

# The program alone: no tests, nothing only the tests need.
build: deps-run
	cmake --preset run
	cmake --build --preset run -j $(JOBS)

# The diary goes to the user's data folder (~/.local/share/Tallyleaf), or the folder chosen in
# 编辑 → 日程文件位置…, never into build/, which clean removes. One an older version made beside
# the program is still used: the menu moves it out.
run: build
	@if [ -e build/run/mainwindow/things.dat ]; then \
	  echo "Note: build/run/mainwindow/things.dat is a diary an earlier version kept beside the program, where"; \
	  echo "'make clean' would delete it; move it with 编辑 → 日程文件位置… in the window."; \
	fi
	./build/run/mainwindow/tallyleaf

# The program with every test.
build-dev: deps-test
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

# The suite runs twice: as built, and under AddressSanitizer and UndefinedBehaviorSanitizer;
# then the day-book tests must catch each way of breaking the save's crash safety.
test: build-dev
	ctest --preset dev -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) check-mutations

check-mutations: deps-test
	JOBS=$(JOBS) scripts/check-mutations

test-asan: deps-test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# Open-ended fuzzing, apart from the suite: each fuzz target in turn for SECONDS (make fuzz
# SECONDS=600), at the lowest priority, from a fresh seed. An input it fails on goes into the
# target's corpus under a name that says what it is, with the fix; make test replays it from then on.
SECONDS ?= 600
FUZZ_TARGETS = fuzz_dayfile:corpus fuzz_todomapping:corpus-todo

fuzz: deps-test
	cmake --preset dev
	cmake --build --preset dev --target fuzz_targets -j $(JOBS)
	for pair in $(FUZZ_TARGETS); do \
	    nice -n 19 cmake -DFUZZER=$(CURDIR)/build/dev/fuzz/$${pair%%:*} -DCORPUS=$(CURDIR)/tests/fuzz/$${pair#*:} \
	        -DSECONDS=$(SECONDS) -P tests/fuzz/run-fuzz.cmake || exit 1; \
	done

bench: deps-test
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	scripts/run-benchmarks build/release

# A diary an older version kept beside a program in build/ stops the clean: nothing deletes it.
clean:
	@diaries=$$(find build -path '*/mainwindow/things.dat' 2>/dev/null); \
	if [ -n "$$diaries" ]; then \
	  echo "make clean: these are diaries an earlier version kept beside the program; nothing was removed:"; \
	  echo "$$diaries"; \
	  echo "Move each with 编辑 → 日程文件位置… in the window (or elsewhere by hand), then clean again."; \
	  exit 1; \
	fi
	rm -rf build
