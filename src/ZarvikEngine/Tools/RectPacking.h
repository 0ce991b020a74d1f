#ifndef ZarvikEngine_Tools_RectPacking_h
#define ZarvikEngine_Tools_RectPacking_h

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine {

/* Guillotine packer of rectangles inside a fixed area. Only the free spaces are kept: the
   caller owns what insert() hands out and gives it back with remove(). Move-only. */
class RectPacking {
public:
    /* No free space and a size of zero */
    RectPacking() = default;
    /* One free space covering the whole size */
    explicit RectPacking(const Vector2us& size);
    /* The same; each axis has to lie in 1 to 65534 */
    explicit RectPacking(const Vector2i& size);

    RectPacking(const RectPacking&) = delete;
    RectPacking(RectPacking&&) noexcept = default;
    RectPacking& operator=(const RectPacking&) = delete;
    RectPacking& operator=(RectPacking&&) noexcept = default;

    /* Place of a rectangle of exactly that size, nothing when no free space can hold it. Both
       axes have to be non-zero. */
    std::optional<Range2Dus> insert(const Vector2us& size);

    /* Gives back a range insert() handed out, merging it with the free spaces it completes
       to a larger rectangle */
    void remove(Range2Dus range);

    /* 1 minus the free area over the whole area; NaN for a packer of no area */
    float occupancy() const;

    /* Free spaces in list order */
    std::span<const Range2Dus> spaces() const { return _spaces; }

private:
    void removeSpace(std::size_t index);

    std::vector<Range2Dus> _spaces;
    std::int32_t _width{}, _height{};
};

} // namespace ZarvikEngine

#endif
