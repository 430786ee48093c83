# Thin wrapper around CMake. `make run` builds a Release engine and starts it;
# `make test` builds and runs every test (Release, sanitizers, and 32-bit when
# the toolchain is present).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all build run test test-release test-sanitize test-m32 bench match match-glaurung tune clean

all: build

build:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build build -j $(JOBS)

run: build
	@if [ -f data/kestrion.pbk ] && [ ! -f kestrion.pbk ]; then cp data/kestrion.pbk kestrion.pbk; fi
	./build/kestrion

test: test-release test-sanitize test-m32

test-release: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	$(CMAKE) -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTRION_SANITIZE=ON
	$(CMAKE) --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -LE slow

test-m32:
	@if echo 'int main(){return 0;}' | $(CXX) -m32 -x c++ - -o /tmp/kestrion-m32-probe 2>/dev/null \
	    && [ -d /usr/src/googletest ]; then \
		$(CMAKE) -S . -B build-m32 -DCMAKE_BUILD_TYPE=Release -DKESTRION_M32=ON && \
		$(CMAKE) --build build-m32 -j $(JOBS) && \
		if /tmp/kestrion-m32-probe; then \
			cd build-m32 && ctest --output-on-failure -j $(JOBS); \
		else echo "this kernel does not run 32-bit programs: the -m32 build was compiled, not run"; fi; \
	else echo "32-bit toolchain not present: skipping the -m32 tests"; fi

bench: build
	./build/kestrion-tool bench

# A match against a real engine from Debian's packages (installed on demand).
MATCH_GAMES ?= 20
MATCH_TC ?= 10+0.1
MATCH_ELO ?= 2000
match: build
	@command -v stockfish >/dev/null 2>&1 || [ -x /usr/games/stockfish ] || \
		(apt-get update -qq && apt-get install -y -qq stockfish)
	./build/kestrion-tool match --engine ./build/kestrion --name Kestrion \
		--engine /usr/games/stockfish --name Stockfish \
		--option UCI_LimitStrength=true --option UCI_Elo=$(MATCH_ELO) \
		--games $(MATCH_GAMES) --tc $(MATCH_TC)

# The strength yardstick: Debian's glaurung, one thread, no pondering, no
# books on either side, balanced openings played with both colours.
GLAURUNG_GAMES ?= 200
GLAURUNG_TC ?= 10+0.1
GLAURUNG_CONCURRENCY ?= 2
match-glaurung: build
	@command -v glaurung >/dev/null 2>&1 || [ -x /usr/games/glaurung ] || \
		(apt-get update -qq && apt-get install -y -qq glaurung)
	./build/kestrion-tool match --engine ./build/kestrion --name Kestrion --option OwnBook=false \
		--engine "$$(command -v glaurung || echo /usr/games/glaurung)" --name Glaurung \
		--option Threads=1 --option Ponder=false --option OwnBook=false \
		--games $(GLAURUNG_GAMES) --tc $(GLAURUNG_TC) --concurrency $(GLAURUNG_CONCURRENCY) \
		--openings data/eco_lines.txt --pgn /tmp/kestrion-glaurung.pgn

# The evaluation tuner: self-play positions, then the weight fit. The data
# stays outside the repository; the fitted weights land in TUNE_DIR/fitted.inc
# (copy it to src/eval/fitted.inc only when a match accepts it). With
# TUNE_REFERENCE set to a UCI engine's command the positions are labelled by
# it too, and the fit targets the blend of result and label.
TUNE_DIR ?= /tmp/kestrion-tune
TUNE_POSITIONS ?= 1000000
TUNE_NODES ?= 800
TUNE_JOBS ?= 1
TUNE_REFERENCE ?=
TUNE_REFERENCE_NODES ?= 2000
TUNE_BLEND ?= 0.5
TUNE_PENALTY ?= 2e-9
tune: build
	mkdir -p $(TUNE_DIR)
	nice -n 19 ./build/kestrion-tool tune gen --out $(TUNE_DIR)/positions.txt --positions $(TUNE_POSITIONS) \
		--nodes $(TUNE_NODES) --jobs $(TUNE_JOBS) --openings data/eco_lines.txt
ifeq ($(TUNE_REFERENCE),)
	nice -n 19 ./build/kestrion-tool tune fit --data $(TUNE_DIR)/positions.txt --out $(TUNE_DIR)/fitted.inc
else
	nice -n 19 ./build/kestrion-tool tune label --data $(TUNE_DIR)/positions.txt --out $(TUNE_DIR)/labelled.txt \
		--engine "$(TUNE_REFERENCE)" --nodes $(TUNE_REFERENCE_NODES) --jobs $(TUNE_JOBS)
	nice -n 19 ./build/kestrion-tool tune fit --data $(TUNE_DIR)/labelled.txt --out $(TUNE_DIR)/fitted.inc \
		--blend $(TUNE_BLEND) --penalty $(TUNE_PENALTY)
endif

clean:
	rm -rf build build-sanitize build-m32
