// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The facts about the product that boxes, the about box and the reports show.
namespace product {

inline constexpr const char* kVersion = "3.1.13";
inline constexpr int kVersionNumber = 13;

// The maker's other web addresses (the server, the Help menu's pages and
// the support address are configured: kit/makerconfig.h). There is no
// public site yet: every one is empty, and whatever would link to an empty
// address shows no link at all.
inline constexpr const char* kMakerSite = "";
inline constexpr const char* kStorageTutorialPage = "";
// The about box's one-line notice of the maker and the text of its link to
// kMakerSite (the address itself when empty).
inline constexpr const char* kMakerNotice = "";
inline constexpr const char* kMakerSiteText = "";

// The translated product title (context "QObject"): "... for Mac" on macOS,
// the bare name elsewhere; the English table has no entry for either, so it
// reads as the source text.
QString title();

} // namespace product
