#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "graphics/font.h"

// The glyph coverage of one rendered text, one byte per pixel, rows packed.
struct TextCoverage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> alpha;

    CoverageImage image() const;
};

// The coverage of recently drawn texts, keyed by face and string, so that a
// text drawn frame after frame is rendered once. Rendering the same string
// with the same face always yields the same coverage, and the blend reads
// nothing else, so drawing from the cache changes no pixel.
//
// Faces are never closed before exit, so a face's address names one face for
// the whole run. The least recently drawn texts go first once the entries
// outgrow the budget; a budget of 0 keeps nothing and renders every text anew.
class TextCache {
public:
    static constexpr size_t DefaultBudgetBytes = size_t{1} << 20;

    explicit TextCache(size_t budgetBytes = DefaultBudgetBytes);
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    // The one that fonts share unless they are given another.
    static TextCache& shared();

    // The coverage of `text` in `face`: kept from an earlier call, or rendered
    // now. Valid until the next call. An empty image when SDL_ttf renders
    // nothing (an empty string, for one).
    CoverageImage coverage(_TTF_Font* face, const char* text);

private:
    struct Key {
        const _TTF_Font* face;
        std::string_view text;
        bool operator==(const Key& other) const { return face == other.face && text == other.text; }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const {
            return std::hash<std::string_view>()(key.text) * 31 + std::hash<const void*>()(key.face);
        }
    };
    struct Entry {
        _TTF_Font* face;
        std::string text;
        TextCoverage coverage;
    };

    const TextCoverage& keep(_TTF_Font* face, const char* text, TextCoverage&& rendered);
    static size_t cost(const Entry& entry);

    size_t budget_;
    size_t used_ = 0;
    std::list<Entry> entries_;  // most recently drawn first
    // Keys view the text of their entry, which never moves inside the list.
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index_;
    TextCoverage unkept_;  // a text that the budget cannot hold
};
