#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <new>
#include <utility>
#include <vector>

// An allocator that leaves new elements uninitialised, for buffers that are
// written in full right after they are sized: no pass that only zeroes them.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

template <typename T>
using UninitialisedBuffer = std::vector<T, UninitialisedAllocator<T>>;

// numpy arrays over the engine's own buffers: the vector moves into a capsule
// that the array keeps as its base, so no value is copied and the buffer
// lives exactly as long as the array and its views.
template <typename T, typename Allocator>
pybind11::array ownedArray(std::vector<T, Allocator>&& values, std::vector<pybind11::ssize_t> shape,
                           pybind11::dtype dtype = pybind11::dtype::of<T>()) {
    using Buffer = std::vector<T, Allocator>;
    auto* owned = new Buffer(std::move(values));
    pybind11::capsule base(owned, [](void* pointer) { delete static_cast<Buffer*>(pointer); });
    return pybind11::array(dtype, std::move(shape), {}, owned->data(), base);
}

// The same, read-only: results that belong to the object handing them out.
template <typename T, typename Allocator>
pybind11::array readOnlyArray(std::vector<T, Allocator>&& values, std::vector<pybind11::ssize_t> shape,
                              pybind11::dtype dtype = pybind11::dtype::of<T>()) {
    pybind11::array array = ownedArray(std::move(values), std::move(shape), std::move(dtype));
    array.attr("flags").attr("writeable") = false;
    return array;
}
