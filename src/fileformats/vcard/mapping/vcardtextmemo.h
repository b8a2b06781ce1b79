// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>

// What the card mapper works out of a text it meets on nearly every card: a
// property's name, a parameter's word. The stream parser hands out one
// shared text per name and word, so a slot that holds the text a QString
// points to answers at once, without hashing or comparing the text.
//
// A text's set of slots is chosen by its length and its first and last
// letters, which keep a file's usual names and words apart, so that a file
// costs the same on every run: chosen by where the text lives, two texts of
// every card could share a slot on one run and not on the next, and be
// worked out again each time. A text at another address, as the parser now
// and then shares a new one, takes its slot over after one comparison. A
// slot holds its text, so the text at an address it knows cannot turn into
// another.
template <class Value, std::size_t kSets>
class VCardTextMemo {
public:
    // The value of the text read the way `way` names, work(text) when the
    // memo does not hold it.
    template <class Work>
    const Value& value(const QString& text, unsigned way, Work work)
    {
        const qsizetype size = text.size();
        const QChar* const at = text.constData();
        const std::size_t letters = size == 0
            ? 0
            : std::size_t(size) * 5 + at[0].unicode() + std::size_t(at[size - 1].unicode()) * 3;
        Slot* const set = m_slots.data() + (letters + way * 17) % kSets * kWays;
        Slot* const end = set + kWays;
        for (Slot* slot = set; slot != end; ++slot) {
            if (slot->known && slot->text.constData() == at && slot->text.size() == size && slot->way == way)
                return slot->value;
        }
        for (Slot* slot = set; slot != end; ++slot) {
            if (slot->known && slot->way == way && slot->text == text) {
                slot->text = text;
                return slot->value;
            }
        }
        // The text met longest ago makes room.
        std::move_backward(set, end - 1, end);
        *set = { text, way, true, work(text) };
        return set->value;
    }

private:
    // The texts of a card share a set only four at a time.
    static constexpr std::size_t kWays = 4;
    struct Slot {
        QString text;
        unsigned way = 0;
        bool known = false;
        Value value {};
    };
    std::array<Slot, kSets * kWays> m_slots;
};
