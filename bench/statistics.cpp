#include "statistics.h"

#include <algorithm>
#include <cstddef>

namespace bench {

Stats statsOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return { median, values.front(), values.back() };
}

} // namespace bench
