#ifndef VELQOR_SERIALESCAPES_H
#define VELQOR_SERIALESCAPES_H

#include <cstddef>
#include <cstdint>

namespace velqor {

struct CodePointRange {
    std::uint32_t first;
    std::uint32_t last;
};

struct CodePointPair {
    std::uint32_t base;
    std::uint32_t mark;
};

/// Code points that do not show as themselves, in ascending order.
extern const CodePointRange kEscapedCodePoints[];
extern const std::size_t kEscapedCodePointCount;
/// A base character and a combining mark that together render as one
/// precomposed character, in ascending order.
extern const CodePointPair kComposingPairs[];
extern const std::size_t kComposingPairCount;

} // namespace velqor

#endif // VELQOR_SERIALESCAPES_H
