#!/usr/bin/env bash
# Grabkit's two entry points, on a fresh Debian machine with JDK 17, Maven and g++:
#   ./run.sh main   build, then grab 100 frames from the bundled simulated camera into
#                   build/grabkit-frame.png (any arguments go to the grabkit tool instead)
#   ./run.sh test   build and run every test (native under ASan/UBSan, JUnit under -Xcheck:jni
#                   twice: against the release library and against its ASan/UBSan build), then
#                   a seconds-long run of the benchmark suite to show that it still runs
#   ./run.sh bench  build and run the benchmark suite against FFM, JNA and C++; prints one table
#                   of ratios and writes it to docs/benchmarks.md (--quick: a seconds-long run)
# Each installs the Debian packages it lacks (as root, through apt-get): the jar's Linux aarch64
# and Windows x86-64 files come from Debian's cross compilers, and the tests run the cross-built
# native tests under qemu-aarch64 and Wine.
set -euo pipefail
cd "$(dirname "$0")"

need_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  command -v mvn >/dev/null || missing+=(maven)
  command -v javac >/dev/null || missing+=(openjdk-17-jdk-headless)
  local pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# What the jar's cross builds need; the tests also need the emulators.
cross_packages=(g++-mingw-w64-x86-64-posix g++-aarch64-linux-gnu googletest)
emulator_packages=(qemu-user wine64)

mvn_batch() { mvn -B -ntp -f java/pom.xml "$@"; }

case "${1:-}" in
  main)
    need_packages libgtest-dev "${cross_packages[@]}"
    # The build's own output only matters when it fails.
    mkdir -p build
    if ! mvn_batch -q package -DskipTests >build/main-build.log 2>&1; then
      cat build/main-build.log >&2
      exit 1
    fi
    shift
    if (($# == 0)); then
      set -- grab --frames 100 --png build/grabkit-frame.png
    fi
    exec bin/grabkit "$@"
    ;;
  test)
    need_packages libgtest-dev clang-format "${cross_packages[@]}" "${emulator_packages[@]}"
    echo "== clang-format"
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
    echo "== build, native tests (ASan/UBSan; aarch64 under qemu, Windows under Wine),"
    echo "   JUnit (-Xcheck:jni; release, then ASan/UBSan)"
    mvn_batch verify
    if grep -rl "WARNING in native method" java/target/surefire-reports \
      java/target/surefire-reports-sanitized 2>/dev/null; then
      echo "JNI warnings in the JUnit runs (see the files above)" >&2
      exit 1
    fi
    echo "== no JNI warnings"
    echo "== the jar's platforms"
    jar tf java/target/grabkit.jar | grep -E 'gentl/native/[^/]+/.' | sed 's/^/  /'
    echo "== benchmark suite, smoke run (figures not kept)"
    "$0" bench --quick >build/bench-smoke.log 2>&1 || {
      cat build/bench-smoke.log >&2
      echo "the benchmark suite no longer runs" >&2
      exit 1
    }
    echo "benchmark suite runs"
    ;;
  bench)
    need_packages libgtest-dev "${cross_packages[@]}"
    shift
    quick=()
    markdown=docs/benchmarks.md
    if [[ "${1:-}" == --quick ]]; then
      quick=(--quick)
      markdown=build/bench/benchmarks.md
    fi
    mkdir -p build/bench
    echo "== build"
    mvn_batch -q -Pbench package -DskipTests >build/bench/build.log 2>&1 || {
      cat build/bench/build.log >&2
      exit 1
    }
    echo "== C++ loop"
    g++ -std=c++17 -O2 -Wall -Wextra -Werror -Inative/producer bench/native_calls.cpp -ldl \
      -o build/bench/native_calls
    acq_seconds=2
    acq_rounds=3
    ((${#quick[@]})) && acq_seconds=0.2 && acq_rounds=1
    build/bench/native_calls build/release/producers/sim/grabkit-sim.cti "${quick:+3}" |
      tee build/bench/native.txt
    echo "== start of grabkit info against an empty JVM (wall time, pairs run in turn)"
    bin/grabkit info >/dev/null # the first start fills the per-user cache
    runs=11
    ((${#quick[@]})) && runs=3
    for ((i = 0; i < runs; i++)); do
      t0=$(date +%s%N)
      bin/grabkit info >/dev/null
      t1=$(date +%s%N)
      java -version 2>/dev/null
      t2=$(date +%s%N)
      echo "$(((t1 - t0) / 1000)) $(((t2 - t1) / 1000))"
    done >build/bench/startup.txt
    awk '{ a[NR] = $1; b[NR] = $2; r[NR] = $1 / $2 }
      function median(x, n,   i, j, t) {
        for (i = 2; i <= n; i++) for (j = i; j > 1 && x[j - 1] > x[j]; j--) { t = x[j]; x[j] = x[j - 1]; x[j - 1] = t }
        return x[int((n + 1) / 2)]
      }
      END {
        ga = median(a, NR); gb = median(b, NR); gr = median(r, NR)
        printf "## Start of the tool (%d runs each, in turn; median wall time)\n\n", NR
        printf "| command | ms |\n|---|---|\n"
        printf "| `grabkit info` (per-user cache filled) | %.0f |\n", ga / 1000
        printf "| `java -version` (an empty JVM) | %.0f |\n", gb / 1000
        printf "| ratio, median of the pairs | %.2f× (goal ≤ 1.5×) |\n", gr
      }' build/bench/startup.txt | tee build/bench/extra.md
    echo "== acquisition through each layer against the C++ loop"
    mvn_batch -q -Pbench exec:exec@bench -Dbench.main=org.grabkit.bench.AcquisitionLoops \
      -Dbench.args="$acq_seconds $PWD/build/bench/native_calls $PWD/build/bench/acquisition.md $acq_rounds"
    { echo; cat build/bench/acquisition.md; } >>build/bench/extra.md
    cat bench/notes.md >>build/bench/extra.md
    jdk=/usr/lib/jvm/temurin-25-jdk-amd64
    bindings=grabkit,jna
    java_bin="$(command -v java)"
    rm -rf java/target/bench-ffm
    if [[ -x "$jdk/bin/javac" ]]; then
      "$jdk/bin/javac" --release 25 -nowarn -proc:none -d java/target/bench-ffm \
        -cp java/target/test-classes:java/target/classes \
        java/src/bench-ffm/java/org/grabkit/bench/ffm/*.java
      bindings=grabkit,ffm,jna
      java_bin="$jdk/bin/java"
    else
      echo "No JDK 22+ at $jdk: FFM is skipped, JNA is the yardstick"
    fi
    echo "== JMH ($java_bin)"
    lock=()
    ((${#quick[@]})) && lock=(-Dsuite.jvm.args=-Djmh.ignoreLock=true)
    mvn_batch -q -Pbench exec:exec@suite -Dbench.java="$java_bin" "${lock[@]}" \
      -Dsuite.args="${quick[*]} --bindings $bindings --native $PWD/build/bench/native.txt --extra $PWD/build/bench/extra.md --markdown $PWD/$markdown"
    ;;
  *)
    echo "usage: ./run.sh main [grabkit arguments] | ./run.sh test | ./run.sh bench [--quick]" >&2
    exit 2
    ;;
esac
