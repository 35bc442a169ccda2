#pragma once

#include <cstdint>

// Colours (0xAARRGGBB) that both panels use for the same meaning, so that a
// node's partner and pointer look alike in the matrix and in the graph.
namespace palette {

constexpr uint32_t Text = 0xC0000000;
constexpr uint32_t PartnerSucceeded = 0xC0008000;
constexpr uint32_t PartnerOther = 0x60000080;
constexpr uint32_t PointerSucceeded = 0xC0808000;
constexpr uint32_t PointerOther = 0xC0800000;

// The inner radius that makes a Ring a filled disc: every distance exceeds it.
constexpr double FilledDisc = -255.0;

}  // namespace palette
