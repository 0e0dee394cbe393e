# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Corvane updater developers
# Writes the DER key file given as DER into a C++ source OUT defining PUBLIC_KEY.
file(READ "${DER}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}"
"// Generated from ${DER}; do not edit.\n"
"#include \"download/tomcryptutil.h\"\n"
"const unsigned char PUBLIC_KEY[PUBLIC_KEY_BUFFER_SIZE] = {${bytes}};\n")
