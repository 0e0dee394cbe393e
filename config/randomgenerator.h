// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

// The one process-wide pseudo-random generator (mirror choice, change-log
// sources). Seeded by the engine when it prepares a run. Event-loop thread only.
class RandomGenerator
{
public:
    static void seed(unsigned int value);
    // A non-negative pseudo-random integer, 0 .. 2^31-1.
    static int next();
};
