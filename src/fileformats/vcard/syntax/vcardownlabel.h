// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A handset maker's 2.1 export writes a phone's label of the user's own as
// a parameter of its own, its options and the label between parentheses:
// "TEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,=47=61=74=65):...".
// Read by the tokenizer, which joins such a label's soft-broken lines, and
// by the property, which decodes it; without Qt, as the tokenizer is.

#include <cstddef>

namespace vcardsyntax {

// The parts of a parameter that is such a label, as written.
struct OwnLabelParts {
    // The options, without the blanks around them; null when not named.
    const char* charset = nullptr;
    size_t charsetLength = 0;
    const char* encoding = nullptr;
    size_t encodingLength = 0;
    // The rest of the text: the label and what follows it (the ")").
    const char* label = nullptr;
    size_t labelLength = 0;
};

// Whether the parameter's text as written, its name, "=" and its value
// ("X-CUSTOM(CHARSET" "=" "UTF-8,...", or a bare "X-CUSTOM(Gate Code)"),
// opens such a label: "X-CUSTOM(" (ASCII case aside), then CHARSET=... and
// ENCODING=..., each at most once, in either order or left out, each ended
// by a comma; the rest is the label. An option not ended by a comma
// ("X-CUSTOM(CHARSET=UTF-8)") leaves no label: false.
bool readOwnLabel(const char* text, size_t length, OwnLabelParts& parts);

// Whether the text starts with "X-CUSTOM(" (ASCII case aside): a
// parameter's name without an "=" that does opens such a label, whatever
// follows, as readOwnLabel() reads it.
bool startsOwnLabel(const char* text, size_t length);

// Whether the word is QUOTED-PRINTABLE, ASCII case aside.
bool namesQuotedPrintable(const char* word, size_t length);

} // namespace vcardsyntax
