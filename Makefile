# The two commands of the README: `make run` and `make test`.
JOBS ?= $(shell nproc)
TEST_DIR := build
RELEASE_DIR := build-release

.PHONY: run test deps build-test build-release clean

deps:
	@sh scripts/deps.sh

# Debug build with AddressSanitizer and UBSan; every test under CTest.
# The options are passed on every run so that an older cache cannot turn them off.
build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZIBO6_SANITIZE=ON -DZIBO6_TESTS=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIBO6_SANITIZE=OFF -DZIBO6_TESTS=OFF >/dev/null
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# Until the console shell exists this runs the engine test host for a few
# seconds: in a window when a display is there, headless otherwise.
run: build-release
	@echo "zibo6: the console shell is not built yet; running the engine test host for 3 seconds"
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(RELEASE_DIR)/tools/engine_host -windowed 1 frames=180; \
	else \
	  echo "no display: running headless"; \
	  $(RELEASE_DIR)/tools/engine_host -headless frames=180; \
	fi

clean:
	rm -rf $(TEST_DIR) $(RELEASE_DIR)
