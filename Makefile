# Two entry points for a newcomer: `make run` and `make test`.
BUILD_RUN  ?= build/run
BUILD_TEST ?= build/test
JOBS       ?= 2
GENERATOR  := -G Ninja

.PHONY: run report test deps build-run build-test format-check format

deps:
	@scripts/setup-deps

build-run: deps
	cmake -S . -B $(BUILD_RUN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DVARNELUSAGE_TESTS=OFF -DVARNELUSAGE_BENCH=OFF
	cmake --build $(BUILD_RUN) -j$(JOBS)

# The tray application; without a display it prints the usage report instead.
run: build-run
	$(BUILD_RUN)/src/app/varnelusage

report: build-run
	$(BUILD_RUN)/src/cli/varnelusage-report $(ARGS)

build-test: deps
	cmake -S . -B $(BUILD_TEST) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVARNELUSAGE_WERROR=ON -DVARNELUSAGE_TEST_SEAMS=ON
	cmake --build $(BUILD_TEST) -j$(JOBS)

test: format-check build-test
	cd $(BUILD_TEST) && ctest --output-on-failure -j$(JOBS)

format-check: deps
	@files=$$(git ls-files '*.cpp' '*.h'); \
	  [ -z "$$files" ] || clang-format --dry-run --Werror $$files
	@echo "format check: ok"

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
