#include "ZarvikEngine/Tools/RectPacking.h"

namespace ZarvikEngine {

namespace {

std::uint32_t area(const Range2Dus& range) {
    const Vector2us size = range.size();
    return std::uint32_t(size.x) * size.y;
}

Vector2us checkedSize(const Vector2i& size) {
    ZE_ASSERT(size.x >= 1 && size.x <= 65534 && size.y >= 1 && size.y <= 65534,
              "RectPacking::RectPacking(): Invalid size for unsigned short dimensions.");
    return Vector2us{size};
}

} // namespace

RectPacking::RectPacking(const Vector2us& size)
    : _spaces{Range2Dus{{}, size}}, _width{size.x}, _height{size.y} {}

RectPacking::RectPacking(const Vector2i& size) : RectPacking{checkedSize(size)} {}

void RectPacking::removeSpace(std::size_t index) {
    _spaces[index] = _spaces.back();
    _spaces.pop_back();
}

std::optional<Range2Dus> RectPacking::insert(const Vector2us& size) {
    /* An empty rectangle would leave empty free spaces behind, which remove() refuses */
    ZE_ASSERT(size.x && size.y, "RectPacking::insert(): Invalid size");
    if (_spaces.empty())
        return std::nullopt;

    const std::size_t none = _spaces.size();
    std::size_t chosen = none;
    for (std::size_t i = 0; i != _spaces.size(); ++i) {
        const Vector2us spaceSize = _spaces[i].size();
        if (spaceSize == size) {
            const Range2Dus exact = _spaces[i];
            removeSpace(i);
            return exact;
        }
        if (chosen == none && ((spaceSize.y == size.y && spaceSize.x >= size.x) ||
                               (spaceSize.x == size.x && spaceSize.y >= size.y)))
            chosen = i;
    }
    /* From the back, where the smaller leftovers of earlier cuts are */
    if (chosen == none) {
        for (std::size_t i = _spaces.size(); i-- != 0;) {
            const Vector2us spaceSize = _spaces[i].size();
            if (spaceSize.x >= size.x && spaceSize.y >= size.y) {
                chosen = i;
                break;
            }
        }
        if (chosen == none)
            return std::nullopt;
    }

    const Range2Dus space = _spaces[chosen];
    removeSpace(chosen);
    const auto x0 = space.min().x, y0 = space.min().y, x1 = space.max().x, y1 = space.max().y;
    const auto x = std::uint16_t(x0 + size.x), y = std::uint16_t(y0 + size.y);
    const Range2Dus result{space.min(), {x, y}};

    /* Exact fits were taken during the walk, so something is left */
    if (y == y1) {
        _spaces.push_back({{x, y0}, {x1, y}});
        return result;
    }
    if (x == x1) {
        _spaces.push_back({{x0, y}, {x, y1}});
        return result;
    }

    /* Of the two guillotine cuts, a narrow right strip under a full-width top scores
       rightW/H + spaceW/topH, a full-height right strip beside a narrow top
       rightW/spaceH + W/topH, and the latter is taken unless its score is higher. Term by term
       it never is (spaceH >= H, W <= spaceW), so the full-height strip is always the cut. */
    const Range2Dus right{{x, y0}, {x1, y1}};
    const Range2Dus top{{x0, y}, {x, y1}};
    /* The smaller one last, so that the backward search tries it first */
    const bool topLarger = area(top) > area(right);
    _spaces.push_back(topLarger ? top : right);
    _spaces.push_back(topLarger ? right : top);
    return result;
}

void RectPacking::remove(Range2Dus range) {
    ZE_ASSERT(range.min().x < range.max().x && range.min().y < range.max().y &&
                  range.max().x <= _width && range.max().y <= _height,
              "RectPacking::remove(): Invalid range");
    for (std::size_t i = 0; i != _spaces.size();) {
        const Range2Dus& space = _spaces[i];
        const Range2Dus bounds{glm::min(range.min(), space.min()),
                               glm::max(range.max(), space.max())};
        if (area(bounds) == area(range) + area(space)) {
            removeSpace(i);
            range = bounds;
            i = 0;
        } else
            ++i;
    }
    _spaces.push_back(range);
}

float RectPacking::occupancy() const {
    std::uint64_t free = 0;
    for (const Range2Dus& space : _spaces)
        free += area(space);
    return 1.0f - float(free) / (float(_width) * float(_height));
}

} // namespace ZarvikEngine
