// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the vCard reader's steps share: its scan and lanes (vcardimport.cpp)
// and its looks at the whole file (vcardimport_surveys.cpp).

#include "fileformats/legacytext.h"
#include "fileformats/vcard/vcardimport.h"

#include <QByteArray>
#include <QIODevice>

#include <atomic>
#include <functional>
#include <mutex>

namespace vcardread {

// Feeds bytes [begin, end) of the device to the parser in chunks, telling
// `fed` how far it got after each; it stops early when `fed` says false.
void feedRange(QIODevice& device, qint64 begin, qint64 end, VCardStreamParser& parser, QByteArray& buffer,
               const std::function<bool(qint64)>& fed = {});

} // namespace vcardread

// The Western code page of a file's text that names no charset, shared by
// the reader and its lanes.
struct VCardImport::Survey {
    std::mutex mutex;
    bool done = false;
    legacytext::WesternSet set = legacytext::WesternSet::Windows1252;
};

// The folds of a file's text values, shared by the reader and its lanes.
struct VCardImport::FoldSurvey {
    std::mutex mutex;
    bool done = false;
    // The import was cancelled: the survey need not go on.
    std::atomic<bool> stop { false };
    VCardFoldLookahead::Folds folds;
    // When the folds say the file was cut at one width: the cards whose
    // folds were all pooled (VCardStreamParser::pooledCards()), each read as
    // cut without measuring them again.
    QList<VCardStreamParser::WholeCard> cutCards;
    // Set once the above are, which then no longer change: a card asks
    // without waiting for the survey or starting it.
    std::atomic<bool> published { false };
};
