// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: the whole parse and card mapping, whole and in chunks of a
// size the first byte picks, which must agree, and no stored text may hold
// a control character but tab and line breaks. Built only with
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
    QString controlAt;
    if (vcardfuzz::parseAndMap(input, input.size(), nullptr, &controlAt) != vcardfuzz::parseAndMap(input, chunk)
        || !controlAt.isEmpty())
        std::abort();
    return 0;
}
