#include "graphics/text_cache.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <utility>

namespace {

// Bytes that an entry costs beyond its text and coverage: its list node and
// its index node, roughly.
constexpr size_t EntryOverhead = 128;

// Where the alpha byte of a 32-bit surface pixel lies in memory.
int alphaByteOffset(int alphaShift) {
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    return alphaShift / 8;
#else
    return 3 - alphaShift / 8;
#endif
}

// The alpha channel of the surface, whose colour channels are not used.
bool copyAlpha(SDL_Surface* surface, TextCoverage& coverage) {
    if (surface->format->BytesPerPixel != 4 || SDL_LockSurface(surface) != 0) return false;
    coverage.width = surface->w;
    coverage.height = surface->h;
    coverage.alpha.resize(static_cast<size_t>(surface->w) * static_cast<size_t>(surface->h));
    const unsigned char* source =
        static_cast<const unsigned char*>(surface->pixels) + alphaByteOffset(surface->format->Ashift);
    unsigned char* target = coverage.alpha.data();
    for (int i = 0; i < surface->h; ++i) {
        const unsigned char* row = source + static_cast<ptrdiff_t>(i) * surface->pitch;
        for (int k = 0; k < surface->w; ++k) *target++ = row[4 * k];
    }
    SDL_UnlockSurface(surface);
    return true;
}

// White at full opacity, so that the alpha channel is the bare glyph coverage.
bool render(_TTF_Font* face, const char* text, TextCoverage& coverage) {
    const SDL_Color white{255, 255, 255, 255};
    SDL_Surface* surface = TTF_RenderText_Blended(face, text, white);
    if (surface == nullptr) return false;
    const bool copied = copyAlpha(surface, coverage);
    SDL_FreeSurface(surface);
    return copied;
}

}  // namespace

CoverageImage TextCoverage::image() const {
    CoverageImage image;
    image.data = alpha.data();
    image.width = width;
    image.height = height;
    image.stride = width;
    return image;
}

TextCache::TextCache(size_t budgetBytes) : budget_(budgetBytes) {}

TextCache& TextCache::shared() {
    static TextCache cache;
    return cache;
}

CoverageImage TextCache::coverage(_TTF_Font* face, const char* text) {
    const auto found = index_.find(Key{face, text});
    if (found != index_.end()) {
        entries_.splice(entries_.begin(), entries_, found->second);
        return found->second->coverage.image();
    }
    TextCoverage rendered;
    if (!render(face, text, rendered)) return CoverageImage();
    return keep(face, text, std::move(rendered)).image();
}

size_t TextCache::cost(const Entry& entry) { return EntryOverhead + entry.text.size() + entry.coverage.alpha.size(); }

// Drops the least recently drawn entries until the new one fits.
const TextCoverage& TextCache::keep(_TTF_Font* face, const char* text, TextCoverage&& rendered) {
    entries_.push_front(Entry{face, text, std::move(rendered)});
    const size_t needed = cost(entries_.front());
    if (needed > budget_) {
        unkept_ = std::move(entries_.front().coverage);
        entries_.pop_front();
        return unkept_;
    }
    while (used_ + needed > budget_) {
        const Entry& oldest = entries_.back();
        index_.erase(Key{oldest.face, oldest.text});
        used_ -= cost(oldest);
        entries_.pop_back();
    }
    used_ += needed;
    index_.emplace(Key{face, entries_.front().text}, entries_.begin());
    return entries_.front().coverage;
}
