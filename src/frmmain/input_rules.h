#pragma once

#include "key_filter.h"

#include <span>

// The twelve parameter fields: what may be typed into each, and what start-up shows.
struct ParameterField {
    const char* name;
    InputRule rule;
    const char* startText;
};

std::span<const ParameterField> parameterFields();
