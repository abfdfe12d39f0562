// A set of small movies that together use every record the builder writes:
// seeds for fuzzing and inputs for whole-file tests.
#pragma once

#include "swf_builder.h"

#include <string>
#include <utility>
#include <vector>

namespace zf::test {

struct SampleMovie {
    std::string name;
    Bytes bytes;
};

std::vector<SampleMovie> sampleMovies();

// One movie with every kind of definition and control tag, in the given
// container; version chooses 16- or 32-bit clip event flags among others.
Bytes kitchenSinkMovie(int version, Compression compression);

} // namespace zf::test
