// SPDX-License-Identifier: GPL-3.0-or-later
// What the tokenizer keeps of the blanks in parameters.
#include "fileformats/vcard/syntax/vcardtokenizer_p.h"

namespace cardtok {

namespace {

// The value from `from` in the line ends before the blanks it ends in.
void dropEndBlanks(CARD_Parser* p, size_t from)
{
    while (p->lineLength > from && (p->line[p->lineLength - 1] == ' ' || p->line[p->lineLength - 1] == '\t'))
        --p->lineLength;
}

bool isReadingWord(const char* name)
{
    const auto is = [name](const char* word) {
        size_t i = 0;
        for (; name[i] && word[i]; ++i) {
            if ((name[i] >= 'a' && name[i] <= 'z' ? char(name[i] - 'a' + 'A') : name[i]) != word[i])
                return false;
        }
        return name[i] == word[i];
    };
    return is("CHARSET") || is("ENCODING") || is("VALUE");
}

} // namespace

bool keepsParamBlank(CARD_Parser* p, unsigned char c)
{
    if (c != ' ' && c != '\t')
        return false;
    // Blanks before a value's first byte never come here.
    if (append(p, c))
        p->paramBlanks = true;
    return true;
}

void endBlankedValue(CARD_Parser* p)
{
    const ParamOffsets& param = p->params[p->paramCount - 1];
    dropEndBlanks(p, param.value);
    if (!isReadingWord(p->line + param.name))
        return;
    size_t to = param.value;
    for (size_t from = param.value; from < p->lineLength; ++from) {
        if (p->line[from] != ' ' && p->line[from] != '\t')
            p->line[to++] = p->line[from];
    }
    p->lineLength = to;
}

} // namespace cardtok
