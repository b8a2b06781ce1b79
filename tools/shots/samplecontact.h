// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QByteArray>
#include <QVariant>

#include <initializer_list>
#include <utility>

// An entity of the given id holding the fields.
pim::Entity sampleEntity(unsigned long long id, std::initializer_list<std::pair<const char*, QVariant>> fields);

// A 240 x 240 JPEG portrait.
QByteArray samplePhoto();

// A contact with every list the card and the editor show filled, entity
// ids 1 and up.
pim::_Contact sampleContact();
