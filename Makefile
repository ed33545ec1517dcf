# Korvo: the two commands of the README.
#   make run   builds what is missing and starts the desktop program
#   make test  builds the sanitizer test build and runs every test
SHELL := /bin/bash
BUILD      := build
TEST_BUILD := build-test
JOBS       ?= $(shell nproc)

# libxy-bin brings xyconv, an independent VAMAS reader that the tests check Korvo's export against.
DEBIAN_PACKAGES := cmake make g++ pkg-config qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev \
                   libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev \
                   libcurl4-openssl-dev xvfb xauth libgl1-mesa-dri \
                   libxy-bin

.PHONY: run test deps

deps:
	@missing=""; for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null || exit 1; \
	  else \
	    echo "Korvo needs these Debian packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

$(TEST_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DKORVO_SANITIZE=ON -DKORVO_BENCH=OFF

run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)
	./$(BUILD)/korvo

test: deps $(TEST_BUILD)/CMakeCache.txt
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
