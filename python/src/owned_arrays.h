#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <utility>
#include <vector>

// numpy arrays over the engine's own buffers: the vector moves into a capsule
// that the array keeps as its base, so no value is copied and the buffer
// lives exactly as long as the array and its views.
template <typename T>
pybind11::array ownedArray(std::vector<T>&& values, std::vector<pybind11::ssize_t> shape,
                           pybind11::dtype dtype = pybind11::dtype::of<T>()) {
    auto* owned = new std::vector<T>(std::move(values));
    pybind11::capsule base(owned, [](void* pointer) { delete static_cast<std::vector<T>*>(pointer); });
    return pybind11::array(dtype, std::move(shape), {}, owned->data(), base);
}

// The same, read-only: results that belong to the object handing them out.
template <typename T>
pybind11::array readOnlyArray(std::vector<T>&& values, std::vector<pybind11::ssize_t> shape,
                              pybind11::dtype dtype = pybind11::dtype::of<T>()) {
    pybind11::array array = ownedArray(std::move(values), std::move(shape), std::move(dtype));
    array.attr("flags").attr("writeable") = false;
    return array;
}
