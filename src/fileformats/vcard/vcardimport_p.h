// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the two files of the vCard reader share: the reading of the cards
// (vcardimport.cpp) and the problems named once the last card was read
// (vcardimport_ending.cpp).

#include "fileformats/legacytext.h"
#include "fileformats/vcard/vcardimport.h"

#include <atomic>
#include <mutex>

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
};
