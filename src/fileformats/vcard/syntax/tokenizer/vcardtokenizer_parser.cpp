// SPDX-License-Identifier: GPL-3.0-or-later
// The tokenizer's calls besides CARD_Parse: creating and freeing it,
// setting its callbacks and how it reads, and asking where it stands.
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstdlib>
#include <cstring>
#include <new>

using namespace cardtok;

CARD_Parser* CARD_ParserCreate()
{
    return new (std::nothrow) CARD_Parser;
}

void CARD_ParserFree(CARD_Parser* parser)
{
    if (!parser)
        return;
    std::free(parser->line);
    std::free(parser->params);
    std::free(parser->paramPtrs);
    std::free(parser->foldJoins);
    delete parser;
}

void CARD_ParserReset(CARD_Parser* parser)
{
    clearLine(parser);
    parser->foldJoinCount = 0;
    parser->lfPending = true;
    parser->crEnded = false;
    parser->crHeld = false;
    parser->crNameCount = 0;
    parser->lineEnds = CARD_LINES_UNKNOWN;
    parser->firstLine = 1;
    parser->crLines = false;
    parser->lfFromCr = false;
    parser->lineAfterCr = false;
    parser->lineAfterGap = 0;
    parser->ownLabelLine = -1;
    parser->qpLinesOf = -1;
    parser->crWithLfAt = -1;
    parser->foldPending = false;
    parser->softBreak = SOFT_NONE;
    parser->lookaheadCount = 0;
    parser->base64Open = false;
    parser->unfoldMode = CARD_UNFOLD_SPACE;
    parser->position = 0;
    parser->physLine = 1;
    parser->lineStart = 0;
    parser->lineNumber = 1;
    parser->errors = 0;
    parser->errorInCall = false;
}

void CARD_SetUserData(CARD_Parser* parser, void* userData) { parser->userData = userData; }
void* CARD_GetUserData(CARD_Parser* parser) { return parser->userData; }
void CARD_SetPropHandler(CARD_Parser* parser, CARD_PropHandler handler) { parser->propCallback = handler; }
void CARD_SetDataHandler(CARD_Parser* parser, CARD_DataHandler handler) { parser->dataCallback = handler; }
void CARD_SetErrorHandler(CARD_Parser* parser, CARD_ErrorHandler handler) { parser->errorCallback = handler; }
void CARD_SetWarningHandler(CARD_Parser* parser, CARD_WarningHandler handler) { parser->warningCallback = handler; }

void CARD_SetUnfoldMode(CARD_Parser* parser, CARD_UnfoldMode mode) { parser->unfoldMode = mode; }
void CARD_StopParser(CARD_Parser* parser) { parser->stopRequested = true; }

void CARD_SetMaxLineLength(CARD_Parser* parser, long long bytes)
{
    parser->maxLine = bytes > 0 ? size_t(bytes) : kDefaultMaxLine;
}

void CARD_SetPosition(CARD_Parser* parser, long long byteOffset, long long lineNumber)
{
    parser->position = byteOffset;
    parser->lineStart = byteOffset;
    parser->ownLabelLine = -1;
    parser->qpLinesOf = -1;
    parser->crWithLfAt = -1;
    parser->physLine = lineNumber;
    parser->firstLine = lineNumber;
    parser->lineNumber = lineNumber;
}

CARD_LineEnds CARD_GetLineEnds(const CARD_Parser* parser)
{
    if (parser->lineEnds != CARD_LINES_UNKNOWN)
        return CARD_LineEnds(parser->lineEnds);
    // A CR that ended the input was the first line end: the next byte tells.
    if (parser->crEnded)
        return CARD_LINES_UNKNOWN;
    return parser->physLine != parser->firstLine ? CARD_LINES_LF : CARD_LINES_UNKNOWN;
}

void CARD_SetLineEnds(CARD_Parser* parser, CARD_LineEnds lineEnds)
{
    parser->lineEnds = lineEnds;
}

long long CARD_GetLineStart(const CARD_Parser* parser) { return parser->lineStart; }
long long CARD_GetLineNumber(const CARD_Parser* parser) { return parser->lineNumber; }
long long CARD_GetErrorCount(const CARD_Parser* parser) { return parser->errors; }
long long CARD_GetPosition(const CARD_Parser* parser) { return parser->position; }
