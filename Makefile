# The two commands of the README: `make run` and `make test`.
JOBS ?= $(shell nproc)
TEST_DIR := build
RELEASE_DIR := build-release

.PHONY: run play test test-long deps build-test build-release clean

deps:
	@sh scripts/deps.sh

# Debug build with AddressSanitizer and UBSan; every test under CTest.
# The options are passed on every run so that an older cache cannot turn them off.
build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZIBO6_SANITIZE=ON -DZIBO6_TESTS=ON \
	    -DZIBO6_LAYER_CHECK=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)

# Each test's time goes to build/test-results.xml, which .ci/run checks.
test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --output-junit test-results.xml

# The same tests with their exhaustive sweeps whole (every truncation of the
# large files, every value at every offset) where make test takes a sample.
test-long: build-test
	cd $(TEST_DIR) && ZIBO6_LONG_TESTS=1 ctest --output-on-failure -j $(JOBS) --timeout 7200

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIBO6_SANITIZE=OFF -DZIBO6_TESTS=OFF >/dev/null
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# The Release player in a window; without a display it says so and runs the
# demo cart headless instead.
run: build-release
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(RELEASE_DIR)/zibo6; \
	else \
	  echo "no display: running assets/carts/demo.z6 headless (zibo6 -x)"; \
	  $(RELEASE_DIR)/zibo6 -x assets/carts/demo.z6; \
	fi

# A cart of your own in a window: make play CART=path/to/cart.z6
play: build-release
	@if [ -z "$(CART)" ]; then echo "usage: make play CART=path/to/cart.z6"; exit 2; fi
	sh scripts/play.sh "$(CART)"

clean:
	rm -rf $(TEST_DIR) $(RELEASE_DIR)
