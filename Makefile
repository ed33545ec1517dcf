# Korvo: the two commands of the README.
#   make run   builds what is missing and starts the desktop program
#   make test  builds the sanitizer test build and runs every test
# and an optional third:
#   make package  builds the Debian package build/korvo_<version>_amd64.deb
SHELL := /bin/bash
BUILD      := build
TEST_BUILD := build-test
JOBS       ?= $(shell nproc)

# libxy-bin brings xyconv, an independent VAMAS reader that the tests check Korvo's export against;
# poppler-utils brings pdfinfo and pdftoppm, with which the print tests count and look at PDF pages;
# the peak fit solves over Ceres Solver with libcerf's Voigt profile, and python3-lmfit is the
# independent fitting program its tests compare with. libhdf5-dev is the HDF5 C library of the NeXus
# files; python3-h5py the independent reader the NeXus tests check every written file with.
# korvo-tango is a Tango device server over libtango-dev; python3-tango is the client its tests drive it with.
DEBIAN_PACKAGES := cmake make g++ pkg-config qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev \
                   libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev \
                   libcurl4-openssl-dev xvfb xauth libgl1-mesa-dri libhdf5-dev \
                   libxy-bin poppler-utils libceres-dev libcerf-dev python3-lmfit python3-h5py \
                   libtango-dev python3-tango

# Only for `make package`: dpkg-shlibdeps (dpkg-dev) and file, with which cpack finds the libraries
# the programs need and declares their packages.
PACKAGE_DEBIAN_PACKAGES := dpkg-dev file

.PHONY: run test deps package package-deps

deps: NEEDED := $(DEBIAN_PACKAGES)
deps: NEEDED_BY := Korvo needs
package-deps: NEEDED := $(PACKAGE_DEBIAN_PACKAGES)
package-deps: NEEDED_BY := Packaging Korvo needs
# Both may call apt-get, which takes one lock: never at the same time, also under make -j.
package-deps: | deps
deps package-deps:
	@missing=""; for p in $(NEEDED); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null || exit 1; \
	  else \
	    echo "$(NEEDED_BY) these Debian packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

$(TEST_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g0 -DKORVO_SANITIZE=ON -DKORVO_BENCH=OFF

run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)
	./$(BUILD)/korvo

# Many tests wait on instruments' time-outs, servers and child processes rather than compute: two
# tests per core keep both cores busy (164 s instead of 212 s on two cores).
test: deps $(TEST_BUILD)/CMakeCache.txt
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $$(( $(JOBS) * 2 ))

# Only the four programs and what is installed beside them are built: cpack installs, it does not
# build, and the tests and benchmarks are no part of the package.
package: deps package-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target korvo korvo-cli korvo-sim korvo-tango korvo_installed_files
	cd $(BUILD) && cpack -G DEB
	@deb=$$(ls -t $(BUILD)/korvo_*.deb | head -n 1); \
	echo "Install it with:  sudo apt-get install ./$$deb"
