// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
int main() { return 0; }
