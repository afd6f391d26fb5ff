#pragma once

#include <vector>

namespace bench {

struct Stats {
    double median = 0, min = 0, max = 0;
};

// The median, least and greatest of the values; all 0 for none.
Stats statsOf(std::vector<double> values);

} // namespace bench
