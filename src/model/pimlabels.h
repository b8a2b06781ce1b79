// SPDX-License-Identifier: GPL-3.0-or-later
// English labels of the sub-type and protocol codes, and the order in which
// phones are listed. The labels are plain English on purpose: the CSV reader
// recognises column names built from them, so they are never translated and
// a changed label changes which columns are read.
#pragma once

#include "model/contact.h"

#include <QMap>
#include <QString>
#include <QStringView>

#include <optional>

namespace pim {

// Each returns its fixed table (code -> label), walked in ascending code
// order. The copy shares storage; changing it never changes the table.
QMap<int, QString> phoneTypeMap(); // phone "data2"
QMap<int, QString> emailTypeMap(); // e-mail "data2"
QMap<int, QString> eventTypeMap(); // date "data2"
QMap<int, QString> imProtocolMap(); // instant messaging "data5"
QMap<int, QString> imTypeMap(); // instant messaging "data2"
QMap<int, QString> nicknameTypeMap(); // nickname "data2"
QMap<int, QString> orgTypeMap(); // organisation "data2"
QMap<int, QString> relTypeMap(); // relation "data2"
QMap<int, QString> addrTypeMap(); // postal address "data2"
QMap<int, QString> urlTypeMap(); // website "data2"

// The letters and digits of a name, in lower case: how a reader compares a
// name it meets ("Yahoo!", "homePage", "Gadu-Gadu") with the words and
// labels of these tables.
QString labelKey(QStringView name);

// Whether a name names the label by the rule of labelKey(): their letters
// and digits alike, letter case aside ("Home-Page", "homePage" and "HOME
// PAGE" name "Home page"). Builds no key, so it costs nothing per call.
bool namesLabel(QStringView name, QStringView label);
// The code whose label of the table the name names (namesLabel()): how the
// file readers tell the kind a word of another program means, a CSV type
// cell and a vCard item's label alike. None when it names no label.
std::optional<int> codeNamed(QStringView name, const QMap<int, QString>& labels);

// The protocol code (imProtocolMap) that a service's name names, however a
// reader meets it: a label of the table ("Google Talk", "Other"), a word of
// another program ("GoogleTalk", "Gadu-Gadu", "Yahoo!", "gadu"), a URI scheme
// of a messaging address ("xmpp", "ymsgr", "msnim") or "netmetting", the
// spelling this program's own writer has always used. Letter case and every
// character that is no letter or digit are passed over. None when the name
// names no protocol of the table.
std::optional<int> imProtocolNamed(QStringView name);

// The phone kind (phone "data2") of an assistant's number: a number that
// reaches someone else, so a contact is neither known nor found by it.
constexpr int kAssistantPhone = 19;
bool isAssistantPhone(const Entity& phone);

// Sort predicate for phones: Mobile, Main, Home, Work, then the rest.
// Phones of equal rank are equivalent (no tie-break).
bool comparePhoneLess(const Entity& a, const Entity& b);

} // namespace pim
