#pragma once
// One decoded point of a sweep.

namespace vireo {

struct Sample {
    double frequency_mhz;
    double level_dbm;

    friend bool operator==(const Sample&, const Sample&) = default;
};

}  // namespace vireo
