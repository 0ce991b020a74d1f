#ifndef ZarvikEngine_Utils_Result_h
#define ZarvikEngine_Utils_Result_h

#include <string>
#include <utility>
#include <variant>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Utils {

/* Either a value or an error. Reading the side that isn't there is a programming error. */
template<class T, class E = std::string>
class Result {
public:
    /* A valid result */
    Result(T value) : _data{std::in_place_index<0>, std::move(value)} {}

    /* An invalid result carrying the error */
    static Result failure(E error) { return Result{std::in_place_index<1>, std::move(error)}; }

    bool isValid() const { return _data.index() == 0; }
    explicit operator bool() const { return isValid(); }

    T& operator*() & {
        checkValue();
        return std::get<0>(_data);
    }
    const T& operator*() const& {
        checkValue();
        return std::get<0>(_data);
    }
    T&& operator*() && {
        checkValue();
        return std::get<0>(std::move(_data));
    }
    T* operator->() { return &**this; }
    const T* operator->() const { return &**this; }

    const E& error() const {
        ZE_ASSERT(!isValid(), "Result::error(): Accessed error of valid result");
        return std::get<1>(_data);
    }

private:
    explicit Result(std::in_place_index_t<1>, E error)
        : _data{std::in_place_index<1>, std::move(error)} {}

    void checkValue() const {
        ZE_ASSERT(isValid(), "Result::*(): Accessed value of invalid result");
    }

    std::variant<T, E> _data;
};

} // namespace ZarvikEngine::Utils

#endif
