// SPDX-License-Identifier: GPL-3.0-or-later
// What the tokenizer keeps of the blanks in parameters, and the soft breaks
// it joins inside a phone's own label.
#include "fileformats/vcard/syntax/vcardownlabel.h"
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

namespace cardtok {

namespace {

// The last parameter's text as written so far, its name's end read as the
// "=" it was, is passed to read(); the line is as it was after.
template <typename Read>
bool readParameterText(CARD_Parser* p, const ParamOffsets& param, Read read)
{
    char* const equals = param.value ? p->line + param.value - 1 : nullptr;
    if (equals)
        *equals = '=';
    const bool result = read(p->line + param.name, p->lineLength - param.name);
    if (equals)
        *equals = 0;
    return result;
}

// The name or value from `from` in the line ends before the blanks it
// ends in.
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
    // Blanks before a value's first byte never come here. A name holds no
    // "=": its start alone tells, so a label of many words costs a look at
    // nine bytes a blank. A handset writes the label a user gave a number
    // as a word of its own as well, "X-" and the label ("TEL;X-Gate
    // Code:"): such a name keeps its blanks too.
    if (p->state == STATE_PARAM_NAME) {
        const size_t name = p->params[p->paramCount - 1].name;
        const char* const start = p->line + name;
        const bool handsetWord
            = p->lineLength - name > 2 && (start[0] == 'X' || start[0] == 'x') && start[1] == '-';
        if (!handsetWord && !vcardsyntax::startsOwnLabel(start, p->lineLength - name))
            return false;
    }
    if (append(p, c))
        p->paramBlanks = true;
    return true;
}

void endBlankedName(CARD_Parser* p)
{
    dropEndBlanks(p, p->params[p->paramCount - 1].name);
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

bool continuesOwnLabel(CARD_Parser* p)
{
    if (p->paramCount == 0 || p->paramQuoted || p->lineAfterGap == p->physLine)
        return false;
    const ParamOffsets& param = p->params[p->paramCount - 1];
    // Blanks may stand between a soft break's "=" and its line end.
    size_t end = p->lineLength;
    while (end > param.value && (p->line[end - 1] == ' ' || p->line[end - 1] == '\t'))
        --end;
    if (end == param.value || p->line[end - 1] != '=')
        return false;
    // A label goes on over many lines: what its options say is read at its
    // first soft break, and its text looked through for the ")" only where
    // the last look left off, so that its lines cost in proportion to them.
    const bool known = p->ownLabelLine == p->lineStart && p->ownLabelParam == param.name;
    if (!known) {
        const bool open = readParameterText(p, param, [](const char* text, size_t length) {
            vcardsyntax::OwnLabelParts parts;
            return vcardsyntax::readOwnLabel(text, length, parts) && parts.encoding
                && vcardsyntax::namesQuotedPrintable(parts.encoding, parts.encodingLength);
        });
        if (!open)
            return false;
        p->ownLabelLine = p->lineStart;
        p->ownLabelParam = param.name;
        p->ownLabelLooked = param.name;
    }
    const size_t from = p->ownLabelLooked < end ? p->ownLabelLooked : end;
    if (std::memchr(p->line + from, ')', end - from))
        return false;
    p->ownLabelLooked = end - 1;
    p->lineLength = end - 1;
    return true;
}

} // namespace cardtok
