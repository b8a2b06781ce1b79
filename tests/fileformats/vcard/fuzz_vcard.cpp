// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: the whole parse and card mapping, whole and in chunks of a
// size the first byte picks, which must agree. Built only with
// -DMARROWLINK_FUZZ=ON and clang++.
#include "vcardfuzzinput.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1024 * 1024)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    const qsizetype chunk = 1 + data[0] % 17;
    if (vcardfuzz::parseAndMap(input, input.size()) != vcardfuzz::parseAndMap(input, chunk))
        std::abort();
    return 0;
}
