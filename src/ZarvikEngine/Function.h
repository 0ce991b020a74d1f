#ifndef ZarvikEngine_Function_h
#define ZarvikEngine_Function_h

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

template<class Signature>
class Function;

/* Move-only, type-erased callable. A callable of at most InlineSize bytes that is nothrow
   movable lives inside the object; anything else is allocated on the heap. */
template<class R, class... Args>
class Function<R(Args...)> {
public:
    static constexpr std::size_t InlineSize = 64;

    Function() noexcept = default;
    Function(std::nullptr_t) noexcept {}

    template<class F>
    requires(!std::is_same_v<std::decay_t<F>, Function> &&
             std::is_invocable_r_v<R, std::decay_t<F>&, Args...>) Function(F&& callable) {
        using Callable = std::decay_t<F>;
        if constexpr (storedInline<Callable>) {
            new (_storage) Callable(std::forward<F>(callable));
            _operations = &InlineOperations<Callable>::Table;
        } else {
            *reinterpret_cast<Callable**>(_storage) = new Callable(std::forward<F>(callable));
            _operations = &HeapOperations<Callable>::Table;
        }
    }

    Function(Function&& other) noexcept : _operations{other._operations} {
        if (_operations)
            _operations->move(_storage, other._storage);
        other._operations = nullptr;
    }

    Function& operator=(Function&& other) noexcept {
        if (this != &other) {
            reset();
            _operations = other._operations;
            if (_operations)
                _operations->move(_storage, other._storage);
            other._operations = nullptr;
        }
        return *this;
    }

    Function(const Function&) = delete;
    Function& operator=(const Function&) = delete;

    ~Function() { reset(); }

    explicit operator bool() const { return _operations != nullptr; }

    /* Like std::function, a const Function may still call a callable that changes its own
       state */
    R operator()(Args... args) const {
        ZE_ASSERT(_operations, "Function::operator(): the function is empty");
        return _operations->call(_storage, std::forward<Args>(args)...);
    }

private:
    template<class Callable>
    static constexpr bool storedInline = sizeof(Callable) <= InlineSize &&
                                         alignof(Callable) <= alignof(std::max_align_t) &&
                                         std::is_nothrow_move_constructible_v<Callable>;

    struct Operations {
        R (*call)(void* storage, Args&&... args);
        void (*move)(void* to, void* from) noexcept;
        void (*destroy)(void* storage) noexcept;
    };

    template<class Callable>
    struct InlineOperations {
        static Callable* get(void* storage) {
            return std::launder(static_cast<Callable*>(storage));
        }
        static R call(void* storage, Args&&... args) {
            return (*get(storage))(std::forward<Args>(args)...);
        }
        static void move(void* to, void* from) noexcept {
            new (to) Callable(std::move(*get(from)));
            get(from)->~Callable();
        }
        static void destroy(void* storage) noexcept { get(storage)->~Callable(); }
        static constexpr Operations Table{call, move, destroy};
    };

    template<class Callable>
    struct HeapOperations {
        static Callable*& get(void* storage) { return *static_cast<Callable**>(storage); }
        static R call(void* storage, Args&&... args) {
            return (*get(storage))(std::forward<Args>(args)...);
        }
        static void move(void* to, void* from) noexcept { get(to) = get(from); }
        static void destroy(void* storage) noexcept { delete get(storage); }
        static constexpr Operations Table{call, move, destroy};
    };

    void reset() noexcept {
        if (_operations)
            _operations->destroy(_storage);
        _operations = nullptr;
    }

    alignas(std::max_align_t) mutable unsigned char _storage[InlineSize];
    const Operations* _operations{};
};

} // namespace ZarvikEngine

#endif
