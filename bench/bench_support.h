// What the benchmark's parts share: how a run dies, and its clock.

#pragma once

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "shop_builder/shop_builder.h"

namespace kestrova::bench {

using Clock = std::chrono::steady_clock;
using Kind = tools::BenchmarkRecord::Kind;

[[noreturn]] inline void die(const std::string& what) {
  std::cerr << "kestrova-bench: " << what << '\n';
  std::exit(1);
}

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace kestrova::bench
