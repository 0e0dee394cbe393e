// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/randomgenerator.h"

#include <random>

namespace {
std::mt19937& generator()
{
    static std::mt19937 instance(1);
    return instance;
}
}

void RandomGenerator::seed(unsigned int value)
{
    generator().seed(value);
}

int RandomGenerator::next()
{
    return int(generator()() >> 1);
}
