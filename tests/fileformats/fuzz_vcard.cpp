// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: the first byte picks the bare tokenizer (either unfold
// mode) or the whole parse and card mapping, whole and in chunks, which must
// agree. Built only with -DMARROWLINK_FUZZ=ON and clang++.
#include "vcardfuzzinput.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1024 * 1024)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const int length = int(size - 1);
    switch (data[0] % 3) {
    case 0:
        vcardfuzz::tokenize(bytes, length, CARD_UNFOLD_SPACE);
        break;
    case 1:
        vcardfuzz::tokenize(bytes, length, CARD_UNFOLD_JOIN);
        break;
    default: {
        const QByteArray input(bytes, length);
        const qsizetype chunk = 1 + data[0] % 17;
        if (vcardfuzz::parseAndMap(input, input.size()) != vcardfuzz::parseAndMap(input, chunk))
            std::abort();
        break;
    }
    }
    return 0;
}
